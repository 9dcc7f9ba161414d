// The import history of a contact table kept on a PostgreSQL server: the
// tables imports and importkeys of the database's schema (importhistory.h),
// on the table's own connection.
//
// Contract (beyond ImportHistory's):
// - The tables are made on first use, under a lock of the schema's history
//   so that two importers starting at once make them once.
// - A writer's trail (`ServerTrail`) is written inside the group's
//   transaction, every 4096 rows and before its commit: one importkeys row
//   holding the keys of the rows the group stored, as their texts, and
//   their fingerprints (`addheld`), each packed into one bytea and sent by
//   one prepared INSERT.  Nothing is read back from the table while an
//   import runs.
// - The fingerprint is that of rowprint.h over the values as the server
//   gives them back: the writer takes it from the values it sends, an undo
//   from the row read back.  Fields the server numbers are left out (a
//   writer leaving one empty does not know its number); the key, which
//   finds the row, is in it.
// - An undo is one transaction of the connection: the contacts, the run's
//   mark and NumImport in the database table together.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/importhistory.h"
#include "store/packedvalues.h"

namespace vesper {

struct ServerLink;
class RowPrint;

// Adds value `c` of field `field`, as the writer sends it, to `print` as the
// server will give it back (a text cut to its alpha field, a logical as 0
// or 1); a field the server numbers adds nothing.
void addheld(RowPrint& print, const ServerLink& link, int field, CellRef c);

class ServerTrail {
 public:
  // Rows stored from now on are recorded under `run` (0: none).
  void setrun(long long run) { run_ = run, seq_ = 0; }
  long long run() const { return run_; }
  // A group begins, or its rows are gone: the rows not written are dropped.
  void begin();
  // A row the open group stored: its key as text, and its fingerprint.
  // Every kRows rows they are written; the failed result when that fails
  // (the group's transaction is then over), else null.
  PGresult* add(ServerLink& link, const std::string& key, std::uint64_t print);
  // Writes the rows not yet written, before the group's commit; as add().
  PGresult* write(ServerLink& link);

 private:
  static constexpr std::size_t kRows = 4096;
  long long run_ = 0;
  long long seq_ = 0;  // the last written row's number in the run
  std::size_t rows_ = 0;
  std::string keys_, prints_;  // the rows not yet written, packed
  PGconn* prepared_ = nullptr;  // the connection the insert is prepared on
};

class ServerHistory final : public ImportHistory {
 public:
  explicit ServerHistory(ServerLink& link) : link_(link) {}
  long long addrun(const ImportRecord& record) override;
  void endrun(const ImportRecord& record) override;
  std::vector<ImportRecord> runs() override;
  UndoOutcome undo(long long run, const std::function<void()>& midway) override;

 private:
  ServerLink& link_;
};

}  // namespace vesper
