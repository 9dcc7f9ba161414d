// The import history of a contact table kept in a table file: the tables
// IMPORTS and IMPORTKEYS inside the contact table's own file
// (importhistory.h), on the table's connection.
//
// Contract (beyond ImportHistory's):
// - The trail of a writer (`SqliteTrail`) gathers the row id and fingerprint
//   of each row the open group stores, as the writer binds it, and writes
//   them when the group commits (and every few thousand rows before), inside
//   the group's transaction, as rows of IMPORTKEYS (Run, FirstRow, Prints):
//   a stretch of rows numbered one after another, by its first row id and
//   for each row its fingerprint and a print of its key, twelve bytes.  Nothing is read back from the table
//   while an import runs.
// - NumImport lies in DATABASE.DB, a file of its own: an undo leaves the
//   correction it owes in its run's row (committed with the rest) and pays
//   it right after; one left unpaid by a crash is paid by the next use of the
//   history.
#pragma once

#include <cstdint>
#include <string>

#include "store/importhistory.h"
#include "store/sqlitehelp.h"

namespace vesper {

struct TableFile;

// Names of the history's tables, which the table file's own lookup passes
// over.
bool ishistorytable(const std::string& name);

class SqliteTrail {
 public:
  // Rows stored from now on are recorded under `run` (0: none).
  void setrun(long long run) { run_ = run; }
  long long run() const { return run_; }
  void begin() { prints_.clear(); }  // a group begins, or its rows are gone
  // A row the open group stored: its row id, fingerprint and key print
  // (rowprint.h).
  // While a group holds the table its new rows are numbered one after
  // another, so a stretch of them is kept as its first row id and the
  // prints; a row id out of turn (one the row gave itself) starts another
  // stretch.  A stretch is written once it holds kRows rows, inside the
  // group's transaction, so that a long group holds little in memory.
  void add(TableFile& file, long long rowid, std::uint64_t print, std::uint32_t key);
  // Writes the group's rows not yet written, before its COMMIT.
  void commit(TableFile& file);

 private:
  static constexpr std::size_t kRows = 4096;
  static constexpr std::size_t kPrint = 12;
  Statement insert_;
  long long run_ = 0;
  long long first_ = 0;  // the row id of the stretch's first row
  std::string prints_;   // per row of the stretch: its fingerprint and key print, kPrint bytes
};

class SqliteHistory final : public ImportHistory {
 public:
  explicit SqliteHistory(TableFile& file) : file_(file) {}
  long long addrun(const ImportRecord& record) override;
  void endrun(const ImportRecord& record) override;
  std::vector<ImportRecord> runs() override;
  UndoOutcome undo(long long run, const std::function<void()>& midway) override;

 private:
  bool exists();
  void make();
  void payfixes();
  TableFile& file_;
};

}  // namespace vesper
