#include "source/lineperfield.h"

#include <algorithm>
#include <cstring>

#include "source/delimited.h"
#include "source/sourceline.h"
#include "source/sourcestate.h"

namespace vesper {

namespace {

// Reads one whole line of the file into `line` (and `scratch` for the pieces
// of a long line) and returns its cleaned value.
std::string readlinevalue(TextFileSlot& slot, LineBuffer& line, LineBuffer& scratch) {
  ReadSourceLine(slot, line);
  if (!LineContinues(slot, line)) return BufferToValue(line.text, line.count);
  std::string text(line.view());
  ReadRestOfLine(slot, line, scratch, &text, nullptr);
  return CleanValue(text);
}

void copyjointorecord(SourceDescription& source) {
  const int L = source.JoinLength;
  std::memcpy(source.RecordBuffer.text, source.JoinBuffer.text, static_cast<std::size_t>(L) + 1);
  source.RecordBuffer.count = L;
  source.RecordBuffer.raw.clear();
  source.RecordBuffer.lineendinfront = 0;
}

}  // namespace

std::string BufferToValue(const char* buffer, int count) {
  return CleanValue(std::string_view(buffer, static_cast<std::size_t>(std::max(count, 0))));
}

bool JoinValue(SourceDescription& source, std::string_view value) {
  int L = source.JoinLength;
  if (static_cast<std::size_t>(L) + value.size() + 3 > static_cast<std::size_t>(kLineCapacity))
    return false;
  char* join = source.JoinBuffer.text;
  join[1 + L++] = '"';
  for (char c : value) join[1 + L++] = c == ',' ? kJoinedComma : c;
  join[1 + L++] = '"';
  join[1 + L++] = ',';
  source.JoinLength = L;
  copyjointorecord(source);
  return true;
}

void ReadLineRecord(SourceState& state, const std::function<void()>& afterline) {
  std::memset(state.JoinBuffer.text, ' ', sizeof state.JoinBuffer.text);
  state.JoinLength = 0;
  copyjointorecord(state);
  TextFileSlot& slot = state.SourceFile;
  LineBuffer scratch;
  int cutat = 0;  // the first line whose value did not fit
  for (int i = 1; i <= state.SourceFieldCount; ++i) {
    if (SlotEof(slot)) break;
    std::string value = readlinevalue(slot, state.RecordBuffer, scratch);
    if (cutat == 0 && !JoinValue(state, value)) cutat = i;
    if (afterline) afterline();
  }
  copyjointorecord(state);  // the lines read after a cut used RecordBuffer
  if (cutat > 0) {
    errorbox(state.messages,
             "Record " + std::to_string(state.AcceptedCount + state.RejectedCount + 1) +
                 " of the source file does not fit in 4000 characters: its fields from line " +
                 std::to_string(cutat) + " on were left empty.");
  }
}

std::string PeekSourceLine(SourceDescription& source, int f, int k) {
  if (k < 1) return {};
  TextFileSlot& slot = source.SourceFile;
  RewindSourceFile(source);
  LineBuffer line, scratch;
  for (int skip = f - 3; skip > 0; --skip) {
    if (SlotEof(slot)) return {};
    readlinevalue(slot, line, scratch);
  }
  const int mark = std::min(f, 3);
  for (int i = 1;; ++i) {
    if (SlotEof(slot)) return {};
    std::string text = readlinevalue(slot, line, scratch);
    if (i == mark) text += "  <<<<<<";
    if (i == k) return text;
  }
}

}  // namespace vesper
