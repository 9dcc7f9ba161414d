// One source of records, whatever its kind: the reader the assignment
// dialog, the count and the import run work through.
//
// Contract.  A `RecordSource` reads the source the import state describes
// (SourceFile and SourceFieldCount for text, the open `SourceTable` for
// tables) and offers, for every kind alike:
//   - the field names (table columns; none for text);
//   - the records in order: `rewind` goes back before the first, `more` says
//     whether another may follow, `next` reads it, `value` gives its fields
//     as views, valid until the next read;
//   - the assignment dialog's samples (`sample`, which rewinds the source);
//   - the count of its records (`count`, through a reading of its own, so the
//     record on display and the place in the source stay as they were);
//   - `close`.
// Lines of a text source that are no record go to the bad-line hook; the
// line hook runs after every line read (after every row moved to, for a
// table), so a batch can pace itself and hear "Cancel" while a reading goes on.
//
// What tells one kind from another where the other steps of the import need
// to know is in its `SourceTraits`, so that nothing outside this folder asks
// which kind a source is.  `MakeRecordSource` is the one place that turns a
// kind into a reader.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "source/delimited.h"

namespace vesper {

struct SourceState;
class SourceTable;

// The fields of one record: the text of source field `field` (from 1),
// valid until the record changes.  Empty for a field the record lacks.
class RecordValues {
 public:
  virtual std::string_view value(int field) = 0;

 protected:
  ~RecordValues() = default;
};

// What the count window does while a text source is counted.
struct CountProgress {
  // Shows the number of lines read so far; called after every 10th line.
  std::function<void(int lines)> show;
  // Lets pending user input run (the window's Cancel sets CountCancelled);
  // called after every line.  When empty, the state's Messages::processevents.
  std::function<void()> letinputrun;
};

// How far the reading has come, in bytes of the file (total 0: unknown).
struct ReadProgress {
  long long done = 0, total = 0;
};

struct SourceTraits {
  // The fields have names of their own, shown in the assignment dialog.
  bool namedfields = false;
  // The date layout code the source's dates come in; 0 when the user is asked
  // for each date field.
  int datelayout = 0;
  // The user ends the record ("&Next Record"): the source has no field count
  // of its own; otherwise its own count (first line, columns) is the record's.
  bool fieldsbyuser = false;
  // The field names say what the fields hold, as a header line of column
  // names does: an assignment is proposed from them.
  bool fieldsnamedforproposal = false;
  // The user may choose the separator, and whether the first line (the first
  // row of a sheet) holds column names, as TextLayout and LayoutChoice have them.
  bool separatorchoice = false;
  bool headerchoice = false;
  // The kind's list of fields is its own and only ever grows at its end: a
  // specification made for fewer fields (an earlier list) still fits, each
  // field where it was.
  bool fieldsgrowatend = false;
};

// The traits of the source kind `kind` (SourceKind).
const SourceTraits& SourceTraitsOf(int kind);

class RecordSource : public RecordValues {
 public:
  virtual ~RecordSource() = default;

  // The kind's number (SourceKind), as the import specification records it.
  virtual int kind() const = 0;
  const SourceTraits& traits() const { return SourceTraitsOf(kind()); }
  // Why the source opened by OpenRecordSource at `path` cannot be read, in
  // the user's words; empty when it can.
  virtual std::string openfailure(const std::string& path) const = 0;
  // The name of field `field` (from 1); empty when the fields have none.
  virtual std::string fieldname(int field) const = 0;

  // Back before the first record, the source opened when it was closed.
  virtual void rewind() = 0;
  // False once the source is known to hold no further record.
  virtual bool more() = 0;
  // Reads the next record; false when there is none.
  virtual bool next() = 0;
  virtual ReadProgress readprogress() const { return {}; }
  // True when reading the source failed before its end (the user was
  // told): the records after that point were not read.
  virtual bool readfailed() const { return false; }
  // Tells the user that the review reached the end of the source.
  virtual void tellend() = 0;
  virtual void close() = 0;

  // Field `field` of record `record` (both from 1) for the assignment
  // dialog; for a line-per-field source, line `record` of the line view of
  // field `field` (see PeekSourceLine).  Empty when there is none.
  virtual std::string sample(int field, int record) = 0;
  // The records of the source (see doit); stops when CountCancelled is set.
  virtual int count(const CountProgress& progress) = 0;

  void setbadlinesink(BadLineSink sink) { badline_ = std::move(sink); }
  void setlinehook(std::function<void()> hook) { afterline_ = std::move(hook); }

 protected:
  BadLineSink badline_;
  std::function<void()> afterline_;
};

// The reader of kind `kind` over the state's source (a table kind reads
// `table`); the state's SourceType when no kind is given.  A delimited source
// whose SourceLayout asks for the standard reading gets its reader.
std::unique_ptr<RecordSource> MakeRecordSource(int kind, SourceState& state, SourceTable& table);
std::unique_ptr<RecordSource> MakeRecordSource(SourceState& state, SourceTable& table);

// The file at `path` opened as a source (IdentifySource) and its reader.
struct OpenedSource {
  std::unique_ptr<RecordSource> source;
  int fieldcount = 0;  // its own: the first line's fields, the table's columns
};
OpenedSource OpenRecordSource(SourceState& state, const std::string& path, SourceTable& table,
                              const HeaderJudge& judge = {});

}  // namespace vesper
