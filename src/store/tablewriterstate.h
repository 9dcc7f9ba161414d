// Inner state of a table writer (internal to the table engine; include only
// from the writer's own sources): the kept insert statements, the
// autoincrement counters, the open group and the journal copier.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "store/journalcopier.h"
#include "store/packedvalues.h"
#include "store/sqlitehelp.h"
#include "store/sqlitehistory.h"
#include "store/tablefile.h"
#include "store/tablewriter.h"

namespace vesper {

struct TableWriter::State {
  explicit State(TableFile& f) : file(f) {}
  TableFile& file;

  // Insert statements by the set of columns they name (one bit per field).
  struct InsertPlan {
    std::vector<std::uint64_t> mask;
    std::vector<int> columns;  // the named fields, in table order
    std::size_t rows = 1;      // rows the statement inserts
    Statement statement;
  };
  static constexpr std::size_t kInsertPlans = 16;
  std::vector<std::unique_ptr<InsertPlan>> inserts;      // most recently used first
  std::vector<std::unique_ptr<InsertPlan>> manyinserts;  // ... of several rows (insertmany)
  std::vector<std::uint64_t> rowmask;  // scratch: the columns of the row to insert
  Statement storedprobe;  // was a row of a several-row insert stored?
  Statement dataversion, keyrange;
  // The table has triggers: 1 yes, 0 no, -1 not asked in the open group
  // (nobody can add one while a group holds the table).  Their own
  // statements would take the several-row insert's way with conflicts, so
  // rows then go one by one.
  int triggered = -1;
  std::vector<std::uint64_t> packedmask;  // scratch: the columns of a packed row to store
  std::vector<std::uint64_t> packedbits;  // ... and the values it holds
  std::vector<std::uint64_t> cellsmask;   // ... and of a built row being stored
  long long bytesstored = 0;
  long long rowsstored = 0, rollbacks = 0, lastrowid = 0;

  int groupdepth = 0;
  SqliteTrail trail;  // the keys of the rows each group stores, for the import history
  // While a copier copies the journal back, the frames it held after the
  // last commit.
  std::unique_ptr<JournalCopier> copier;
  int walframes = 0;
  long long journallimit = 0;
  static int onwal(void* state, sqlite3*, const char*, int frames) {
    static_cast<State*>(state)->walframes = frames;
    return SQLITE_OK;
  }
  // Copies the journal back on this connection (`mode`: a restart or a
  // truncating checkpoint), waiting only briefly for a reader of it; what
  // cannot be copied now stays in the journal, safe.
  void copyback(int mode) {
    sqlite3_busy_timeout(file.db, std::min(file.busyms, 200));
    sqlite3_wal_checkpoint_v2(file.db, nullptr, mode, nullptr, nullptr);
    sqlite3_busy_timeout(file.db, file.busyms);
  }

  // Next autoincrement values, valid while no other connection has written.
  std::vector<long long> nextauto;
  std::vector<long long> assigned;  // the numbers given to the row being inserted
  long long seenversion = -1;
  // The counters were read inside the open group: no other connection can
  // write until it ends, so they stay valid without asking again.
  bool autoincfresh = false;

  // Called inside a write transaction: the autoincrement counters are
  // re-read when another connection has committed since they were last read.
  void refreshautoinc();
  // Forgets the counters (the group that held them is gone).
  void forgetautoinc() {
    nextauto.clear();
    autoincfresh = false;
  }
  // An insert statement naming every column of the row that must be named
  // (`valued`: the fields holding a value, a bit per field), for `rows` rows.
  InsertPlan& insertplan(const std::uint64_t* valued, std::size_t rows = 1);
  // Fails for a failed statement (`msg`: the engine's message, taken before
  // anything else ran on the connection); inside a group that the failure
  // took with it, with TableUnavailable saying the group's rows are lost.
  [[noreturn]] void failingroup(int rc, std::string msg);
  [[noreturn]] void failingroup(int rc) { failingroup(rc, file.describe(rc)); }
  // A failed insert of one row: refused (its key taken, or otherwise) as an
  // outcome, or thrown when the table cannot be written.
  StoreResult refusal(int rc, std::string msg);
};

}  // namespace vesper
