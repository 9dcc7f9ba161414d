// What stores new rows into a table on a PostgreSQL server: inserts of built
// and packed rows, many rows with one COPY, and commit groups.
//
// Contract (beyond TableRowWriter's, tablebackend.h, and RowWriter's,
// contactstore.h):
// - A group is a transaction of the table's connection; without one each
//   row is a transaction of its own.
// - A row is inserted naming the columns it gives a value, and the columns
//   with a default that is not a number (those receive the row's value, NULL
//   included).  A taken key is passed over by the insert itself (ON
//   CONFLICT DO NOTHING), so it is told apart without failing, and the open
//   group goes on.  Any other refusal would end the group's transaction:
//   where one is possible (a table with triggers, foreign keys, checks the
//   engine does not keep, other unique indexes or NOT NULL columns; a row
//   without key) a row inside a group goes inside a savepoint of its own.
//   A failure that still took the group with it is TableUnavailable, saying
//   the group's rows were not saved, and the group is over.
// - A connection lost while a group commits: the server, asked over a new
//   connection, says whether it took the commit before.  When it did, the
//   commit has succeeded (and the next statement meets the lost
//   connection); otherwise TableUnavailable says the rows were not saved,
//   or that this cannot be known where the server cannot be reached.
// - Autoincrement fields left empty are numbered by the server; a number
//   given is kept and the server's numbering moved past it.  Numbers the
//   server gave to rows not stored are not given again (there are gaps).
// - insertmany() needs an open group and a table with a key.  The rows go
//   with one COPY inside a savepoint, in COPY's binary form where every
//   column and value has one (else as text), sent while the later rows are
//   still being made; when a key of them is taken (another
//   program stored it meanwhile, or two of them share it) the COPY is
//   undone and the rows go through a temporary table that passes over the
//   taken keys, so that `stored` says exactly which rows were stored.  Any
//   other failure stores none of them (each then goes on its own, which
//   says why).  Rows some of which give a number to an autoincrement field
//   and some not go one by one as well.
// - Texts longer than their alpha field are cut to its size, as the row
//   builder cuts them.
// - setbackgroundcopy() does nothing: the server writes its own journal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/tablebackend.h"

namespace vesper {

struct ServerLink;

class ServerWriter final : public TableRowWriter {
 public:
  explicit ServerWriter(ServerLink& link);
  ~ServerWriter();
  ServerWriter(const ServerWriter&) = delete;
  ServerWriter& operator=(const ServerWriter&) = delete;

  StoreResult insert(const RowBuilder& row) override;
  StoreResult insert(const PackedRow& row) override;
  StoreResult insert(const PackedRow& row, int field, const Cell& value) override;
  void insertmany(const PackedRow* rows, std::size_t count, bool* stored) override;
  // Each insertmany() waits for the server once: as many rows as it can.
  std::size_t manyrows() const override { return 4096; }
  std::string lastkeybetween(std::string_view low, std::string_view high) override;

  void begingroup() override;
  void commitgroup() override;
  void rollbackgroup() override;
  bool ingroup() const override;
  void settrail(long long run) override;
  void setbackgroundcopy(bool) override {}
  long long bytesstored() const override;

  long long rowsstored() const override;
  long long lastrowid() const override;
  long long rollbacks() const override;

 private:
  friend class ServerBackend;
  // The engine's side: an update of row `id`, inside a savepoint when a
  // group is open.
  void updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written);
  // Commits an open group (rolls it back when it cannot); never throws.
  void close();

  struct State;
  template <class Source>
  StoreResult storerow(Source& source, const std::uint64_t* valued);
  StoreResult insertpacked(const PackedRow& row, int field, const Cell* value);
  // insertmany() when a key of its rows was taken: which rows are stored.
  void storestaged(const PackedRow* rows, std::size_t count, bool* stored);

  ServerLink& link_;
  std::unique_ptr<State> s_;
};

}  // namespace vesper
