// The import history kept beside the contacts: one record for each import
// run into the contact table, and which contacts each run stored,
// so that a whole run can be taken back.
//
// Contract:
// - The history lives where the contact table lives, in two tables of its
//   own made on first use: IMPORTS (one row per run) and IMPORTKEYS (the
//   run, and the contacts stored with a fingerprint of each: on a server a
//   row for each contact's key, in a table file a row for each stretch of
//   row ids a group stored).  In a
//   data folder they are tables of the contact table's own file, so that the
//   keys of a group commit in the same transaction as its rows (and an undo
//   takes rows, keys and the run's mark in one); on a server they are tables
//   of the database's schema.  The contact table itself is never altered.
// - A run is added when it starts (`addrun`, its number given back) and its
//   counts written when it ends (`endrun`); a run killed meanwhile stays with
//   the counts of its start and the keys of every group it committed.  The
//   keys themselves are recorded by the table's writer (RowWriter::settrail)
//   with each group it commits.
// - A fingerprint is a hash of a stored row's values, the same for the same
//   values in every run, so that a contact changed since it was stored is
//   told apart.
// - `undo` removes, in one transaction, every contact of the run whose
//   fingerprint is still the stored one, marks the run undone and, when the
//   run's database still shows the run's own count in NumImport, sets it to
//   the number of the run's contacts kept.  A failure anywhere leaves the
//   contacts, the history and the statistics as they were.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vesper {

struct ImportRecord {
  long long run = 0;   // its number, from 1
  std::string when;    // local date and time of its start, "YYYY-MM-DD HH:MM:SS"
  std::string source;  // the source file
  std::string spec;    // the import specification file, "" for none
  std::string database;  // the DB name imported into
  long long read = 0, imported = 0, rejected = 0, bad = 0;
  enum class State { Running, Finished, Undone } state = State::Running;
};

struct UndoOutcome {
  enum class Result { Done, NoSuchRun, AlreadyUndone } result = Result::Done;
  ImportRecord run;                  // the run as it was before the undo
  long long removed = 0;             // contacts removed
  std::vector<std::string> kept;     // keys of contacts changed since, left in place
  long long gone = 0;                // contacts of the run no longer there
};

class ImportHistory {
 public:
  virtual ~ImportHistory() = default;
  // Adds the run `record` (its number ignored) and gives back its number.
  virtual long long addrun(const ImportRecord& record) = 0;
  // Writes the counts of `record.run` and marks it finished.
  virtual void endrun(const ImportRecord& record) = 0;
  // Every run, oldest first; none before the first import.
  virtual std::vector<ImportRecord> runs() = 0;
  // Takes back run `run` (see above).  `midway`, when given, is called inside
  // the transaction after the contacts were removed (a failure it throws
  // rolls everything back).
  virtual UndoOutcome undo(long long run, const std::function<void()>& midway = {}) = 0;
};

// "YYYY-MM-DD HH:MM:SS" of a local date and time.
std::string historytime(int year, int month, int day, int hour, int minute, int second);

}  // namespace vesper
