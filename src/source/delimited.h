// Comma-delimited records: the field scanner, source identification, the
// sample reader of the assignment dialog and the run's record reader.
//
// Contract.  A line is what ReadSourceLine leaves in a buffer.  Fields are
// separated by commas and grouped by double quotes, with a per-field scanning
// state (quote count, quote opened, data seen):
//   blank         no change
//   double quote  counted (quote count + 1, quote opened) only while no data
//                 was seen before it
//   comma         text while exactly one quote is counted, else ends the field
//   other         data seen, unless a quote was opened
// There is no header line: the first line of the file fixes the number of
// fields (`SourceFieldCount`), and only lines with exactly that many fields
// are records.
//
// Joined line-per-field records (lineperfield.h) carry the commas inside their
// values as kJoinedComma, a control character that no line read from a file
// can hold (the line reader turns control characters into spaces);
// GetDelimitedField gives it back as a comma.  So a joined value is always one
// field, whatever quotes and commas it holds.
//
// Lines longer than 4000 characters arrive in pieces; such a line is never a
// record.  The run's reader hands all of its bytes to the bad-line sink as one
// line.  The blank that the line reader reports after the final line end of
// the file is not a line and is never handed on.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "source/textfile.h"
#include "source/textlayout.h"

namespace vesper {

struct SourceDescription;
struct SourceState;
class SourceTable;

constexpr char kJoinedComma = '\x1f';

// Number of fields of the line; at least 1.
int CountDelimitedFields(std::string_view line);
inline int CountDelimitedFields(const char* buffer, int count) {
  return CountDelimitedFields(std::string_view(buffer, static_cast<std::size_t>(count)));
}

// Field n (from 1) of the line, cleaned with CleanValue; empty when the line
// has fewer than n fields.
std::string GetDelimitedField(std::string_view line, int n);
inline std::string GetDelimitedField(const char* buffer, int count, int n) {
  return GetDelimitedField(std::string_view(buffer, static_cast<std::size_t>(count)), n);
}

// The fields of the line as they stand in it (uncleaned, separators left out);
// joining them with commas gives the line back.
std::vector<std::string_view> SplitDelimitedLine(std::string_view line);
// The same fields into `fields` (cleared first, its storage kept); returns
// their number, which is CountDelimitedFields of the line.
int SplitDelimitedLine(std::string_view line, std::vector<std::string_view>& fields);

// Rewinds the source file and counts the fields of its first line.
int CountFirstLineFields(SourceDescription& source);

struct SourceIdentity {
  int kind = 0;        // SourceKind
  int fieldcount = 0;  // for tables the column count (0: the table did not open)
};

// Sets SourceFile up afresh for `path` (caption "Source file") and decides
// the kind: a file name containing ".DBF" (any letter case) is a dBASE table,
// one containing ".DB" a Paradox table (both opened in `table`); otherwise a
// first line of fewer than 3 fields makes a line-per-field source and 3 or more
// a delimited one.  Only the file name is tested, not the folders above it.
// Before that the layout of a text file is recognised (textsniff.h) under
// SourceLayoutChoice, with `judge` telling a header line: when it calls for
// the standard reading the source is delimited whatever its field count, and
// the count is the header's (else the first record's).  SourceLayout holds
// what was recognised (the classic layout for a table).
SourceIdentity IdentifySource(SourceState& state, const std::string& path, SourceTable& table,
                              const HeaderJudge& judge = {});

// Field n of the k-th record (from 1) counted from the start of the source;
// empty when there are fewer records.  Rewinds the source and reads into a
// buffer of its own; RecordBuffer is left alone.
std::string PeekDelimitedField(SourceDescription& source, int n, int k);

// Receives every line of the source that is not a record: the bytes of the
// line as the file has them, without any line-end character.
using BadLineSink = std::function<void(std::string_view line)>;

// Reads lines into RecordBuffer until one has SourceFieldCount fields (true)
// or the source ends (false).  Every other line goes to `badline` and clears
// NoBadRecords; `afterline` (optional) runs after each line read.  A run
// stopped from one of the two callbacks (ImportStopped) ends the reading
// before the next line, as the end of the source does.  With
// `fields`, a record found is left split there as SplitDelimitedLine splits
// it (views into RecordBuffer, valid until it is read into again), so the
// line is scanned once for both the count and the values.
bool ReadNextDelimitedRecord(SourceState& state, const BadLineSink& badline,
                             const std::function<void()>& afterline = {},
                             std::vector<std::string_view>* fields = nullptr);

}  // namespace vesper
