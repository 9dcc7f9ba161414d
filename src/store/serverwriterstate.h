// Inner state of a server writer (internal to the server engine; include
// only from the writer's own sources): the open group, the counts, and the
// buffers kept from row to row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/serverhistory.h"
#include "store/serverlink.h"
#include "store/servertables.h"
#include "store/serverwriter.h"

namespace vesper {

struct ServerWriter::State {
  explicit State(ServerLink& l) : link(l) {}
  ServerLink& link;

  int groupdepth = 0;
  // The import history's trail of the open group's rows.
  ServerTrail trail;
  std::vector<std::uint64_t> rowprints;  // insertmany: each row's fingerprint
  // Records a row the open group stored; a failure writing the trail ends
  // the group as failure() says.
  void trailrow(const std::string& key, std::uint64_t print) {
    if (PGresult* r = trail.add(link, key, print)) {
      PgResult failed = pgresult(r);
      failure(failed.get());
    }
  }
  // The number of the open group's transaction, to ask the server whether
  // it was committed when the connection is lost during the commit.
  std::string xid;
  long long rowsstored = 0, rollbacks = 0, bytesstored = 0;
  // The key (or tuple id) of the row stored last; its id is asked for only
  // when the table wants it, so storing gives no row an id.
  std::string lastkey;
  bool haslast = false;
  // Per field: the server's numbering is known to be at or past this number.
  std::vector<long long> numberedpast;

  ServerParams params;
  // The insert statement of the last column set used.
  std::vector<std::uint64_t> insertmask;
  std::string insertsql;
  // Scratch: the columns of the row to insert, the bits of a packed row.
  std::vector<std::uint64_t> rowmask, packedbits;
  // insertmany: the COPY rows (in the binary form or not), each row's value
  // bytes, and of the last column set copied its column list, statements,
  // each column's binary type, and whether its rows go in the binary form.
  std::string copy;
  bool copyisbinary = false;
  std::vector<long long> rowbytes;
  std::vector<std::uint64_t> copymask, copiedmask;
  std::string copycolumns, copysql, copysqlbinary, stagecolumns;
  std::vector<BinaryColumn> copykinds;
  bool copybinary = false;
  std::string valuetext;  // scratch: a value's text for a text column
  std::string keyscratch;

  bool named(const std::vector<std::uint64_t>& mask, std::size_t i) const { return mask[i / 64] >> (i % 64) & 1; }
  // The columns an insert of a row holding the values `valued` names.
  void columnsfor(const std::uint64_t* valued, std::vector<std::uint64_t>& out) const;

  // A statement that ran without a savepoint failed: inside a group the
  // group's transaction is over, which is TableUnavailable saying so.
  [[noreturn]] void failure(const PGresult* r);
  // Runs `sql` (no values); a failure as failure() says.
  void exec(const char* sql);
  // Moves the numbering of field `field` past `number`, a number given to a
  // stored row.
  void numberpast(int field, long long number);
  // What a row stored leaves behind.
  void stored(const std::string& key, long long bytes);
};

}  // namespace vesper
