// The import history of a contact table kept in a table file: the tables
// IMPORTS and IMPORTKEYS inside the contact table's own file
// (importhistory.h), on the table's connection.
//
// Contract (beyond ImportHistory's):
// - The trail of a writer (`SqliteTrail`) is marked when a group begins (the
//   greatest row id then) and written when it commits, inside the group's
//   transaction: every row stored since, with its key and fingerprint.  Row
//   ids only grow while a group holds the table, so the rows past the mark
//   are the group's own.
// - NumImport lies in DATABASE.DB, a file of its own: an undo leaves the
//   correction it owes in its run's row (committed with the rest) and pays
//   it right after; one left unpaid by a crash is paid by the next use of the
//   history.
#pragma once

#include <string>

#include "store/importhistory.h"

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
  void begin(TableFile& file);   // in a group just begun
  void commit(TableFile& file);  // before the group's COMMIT (once per group)

 private:
  long long run_ = 0;
  long long mark_ = 0;
  bool written_ = false;
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
