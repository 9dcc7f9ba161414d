// The import history of a contact table kept in a table file: the tables
// IMPORTS and IMPORTKEYS inside the contact table's own file
// (importhistory.h), on the table's connection.
//
// Contract (beyond ImportHistory's):
// - The trail of a writer (`SqliteTrail`) gathers the key and fingerprint of
//   each row the open group stores, as the writer binds it, and writes them
//   when the group commits (and every few thousand rows before), inside the
//   group's transaction, as rows of IMPORTKEYS (Run, Keys, Prints): the keys
//   packed one after another, the fingerprints eight bytes each.  Nothing is read back from the table
//   while an import runs.
// - NumImport lies in DATABASE.DB, a file of its own: an undo leaves the
//   correction it owes in its run's row (committed with the rest) and pays
//   it right after; one left unpaid by a crash is paid by the next use of the
//   history.
#pragma once

#include <cstdint>
#include <string>

#include "store/importhistory.h"
#include "store/packedvalues.h"
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
  void begin() { keys_.clear(), prints_.clear(); }  // a group begins, or its rows are gone
  // A row the open group stored: its key and fingerprint (rowprint.h).
  // Every kRows rows are written at once, inside the group's transaction, so
  // that a long group holds little in memory.
  void add(TableFile& file, const CellRef& key, std::uint64_t print);
  // Writes the group's rows not yet written, before its COMMIT.
  void commit(TableFile& file);

 private:
  static constexpr std::size_t kRows = 4096;
  Statement insert_;
  long long run_ = 0;
  std::string keys_;    // the keys, packed as a row's values are (kind, then the value)
  std::string prints_;  // their fingerprints, eight bytes each
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
