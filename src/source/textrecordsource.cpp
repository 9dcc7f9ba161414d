#include "source/textrecordsource.h"

#include <algorithm>
#include <cstring>

#include "source/sourcestate.h"
#include "source/lineperfield.h"
#include "source/sourceline.h"

namespace vesper {

// --- both text kinds ---

void TextRecordSource::rewind() { RewindSourceFile(state_); }

void TextRecordSource::close() { CloseSlot(state_.SourceFile); }

ReadProgress TextRecordSource::readprogress() const {
  const TextFileSlot& f = state_.SourceFile;
  if (f.fd < 0 || f.writing || f.filesize <= 0) return {};
  // Bytes read from the file less those still waiting in the buffer (as
  // decoded text: near enough for this).
  return {f.readoffset - static_cast<long long>(f.len - f.pos), f.filesize};
}

void TextRecordSource::notejoinedcommas() {
  joinedcommas_ = false;
  if (split_.empty()) return;
  // The fields are the pieces of one line, in order: one search covers them
  // all, and a line read from a file never holds a joined comma.
  const char* from = split_.front().data();
  const char* to = split_.back().data() + split_.back().size();
  joinedcommas_ = to > from && std::memchr(from, kJoinedComma, static_cast<std::size_t>(to - from));
}

std::string_view TextRecordSource::value(int field) {
  if (field < 1 || field > static_cast<int>(split_.size())) return {};
  std::string_view v = CleanView(split_[static_cast<std::size_t>(field - 1)]);
  if (!joinedcommas_ || v.find(kJoinedComma) == std::string_view::npos) return v;
  joined_.assign(v);
  std::replace(joined_.begin(), joined_.end(), kJoinedComma, ',');
  return joined_;
}

TextRecordSource::LineCount TextRecordSource::countlines(const CountProgress& progress,
                                                         bool withrecords) {
  LineCount n;
  TextFileSlot slot;
  slot.setup(state_.messages, state_.SourceFile.Name, "Source file");
  if (!OpenSlot(slot) || !ResetSlot(slot)) return n;
  LineBuffer line, scratch;
  while (!state_.CountCancelled && !SlotEof(slot)) {
    ReadSourceLine(slot, line);
    bool toolong = ReadRestOfLine(slot, line, scratch, nullptr, nullptr) > 0;
    ++n.lines;
    if (withrecords && !toolong && !IsBlankAfterFinalLineEnd(slot, line) &&
        CountDelimitedFields(line.view()) == state_.SourceFieldCount)
      ++n.records;
    if (n.lines % 10 == 0 && progress.show) progress.show(n.lines);
    if (progress.letinputrun)
      progress.letinputrun();
    else
      state_.messages.processevents();
  }
  CloseSlot(slot);
  return n;
}

// --- delimited ---

int DelimitedSource::kind() const { return kDelimited; }

bool DelimitedSource::more() { return !SlotEof(state_.SourceFile); }

bool DelimitedSource::next() {
  if (!ReadNextDelimitedRecord(state_, badline_, afterline_, &split_)) return false;
  notejoinedcommas();
  return true;
}

void DelimitedSource::tellend() { state_.messages.errormessage("The record is empty"); }

std::string DelimitedSource::sample(int field, int record) {
  return PeekDelimitedField(state_, field, record);
}

// The lines that are records: an exact count allows an exact accept-X.
int DelimitedSource::count(const CountProgress& progress) {
  return countlines(progress, true).records;
}

// --- line per field ---

int LinePerFieldSource::kind() const { return kLinePerField; }

void LinePerFieldSource::rewind() {
  std::memset(state_.JoinBuffer.text, ' ', sizeof state_.JoinBuffer.text);
  state_.JoinLength = 0;
  TextRecordSource::rewind();
}

// A record of no lines never moves the reading on: such a source offers no
// record at all.
bool LinePerFieldSource::more() {
  return !SlotEof(state_.SourceFile) && state_.SourceFieldCount >= 1;
}

bool LinePerFieldSource::next() {
  if (!more()) return false;
  ReadLineRecord(state_, afterline_);
  SplitDelimitedLine(state_.RecordBuffer.view(), split_);
  notejoinedcommas();
  return true;
}

void LinePerFieldSource::tellend() { errorbox(state_.messages, "That was the last record"); }

std::string LinePerFieldSource::sample(int field, int record) {
  return PeekSourceLine(state_, field, record);
}

// Lines read (the blank after a final line end included) over the lines of
// a record, rounded down.
int LinePerFieldSource::count(const CountProgress& progress) {
  int lines = countlines(progress, false).lines;
  return state_.SourceFieldCount >= 1 ? lines / state_.SourceFieldCount : 0;
}

}  // namespace vesper

namespace vesper {

bool TextRecordSource::readfailed() const {
  return state_.SourceFile.State == 1 && !state_.SourceFile.writing && !state_.SourceFile.fault.empty();
}

}  // namespace vesper
