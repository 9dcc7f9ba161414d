// Line-per-field text sources: a record is SourceFieldCount consecutive lines,
// field i its i-th line.
//
// Contract.  A record is read with ReadLineRecord, which joins the
// cleaned values of its lines into one delimited record in JoinBuffer and
// copies it to RecordBuffer: a blank, then every value in double quotes, the
// quoted values separated by commas (RecordLength stops before the comma that
// follows the last value).  GetDelimitedField(RecordBuffer, i) then gives line
// i's value back exactly: commas inside a value are held as kJoinedComma
// (delimited.h), so quotes and commas in a value never split it.
//
// A line of the file is one field however long it is (a line over 4000
// characters is read in all its pieces).  A record whose joined text would
// pass 4000 characters is not cut inside a value: joining stops at the first
// value that does not fit, that field and the fields after it stay empty, the
// record's remaining lines are still read (so the next record starts in its
// place), and an error box names the record.  The record is numbered from the
// run's counters (AcceptedCount + RejectedCount + 1, the number of the record
// being read when every earlier record was accepted, rejected or passed over).
//
// The blank line that follows the final line end of the file reads as one
// more (empty) line, so a file of 6 lines with 3 per record gives a third,
// empty record.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vesper {

struct SourceDescription;
struct SourceState;

// The first count characters of the buffer, cleaned with CleanValue.
std::string BufferToValue(const char* buffer, int count);

// Appends one value to the record being joined and refreshes RecordBuffer
// and RecordLength.  False (and nothing appended) when the joined record would
// pass 4000 characters.
bool JoinValue(SourceDescription& source, std::string_view value);

// Reads the next record into RecordBuffer as a joined record.  A record cut
// short by the end of the source has its missing fields empty.  `afterline`
// (optional) runs after each line read.
void ReadLineRecord(SourceState& state, const std::function<void()>& afterline = {});

// Line k (from 1) of the line view for field f: the lines of the first record
// around line f, starting at line f - 2 (line 1 when f is 3 or less), with
// "  <<<<<<" appended to line f.  Empty past the end of the file.  Rewinds the
// source and reads into a buffer of its own.
std::string PeekSourceLine(SourceDescription& source, int f, int k);

}  // namespace vesper
