#include "source/sourceline.h"

#include "source/sourcestate.h"

namespace vesper {

namespace {
constexpr int kCtrlZ = 26;
}

bool RewindSourceFile(SourceDescription& source) {
  if (source.SourceFile.State == 0 && !OpenSlot(source.SourceFile)) return false;
  return ResetSlot(source.SourceFile);
}

bool LineContinues(TextFileSlot& slot, const LineBuffer& piece) {
  if (piece.count < kLineCapacity || slot.State != -1) return false;
  int next = slot.peek();
  return next >= 0 && next != kCtrlZ && next != '\r' && next != '\n';
}

int ReadRestOfLine(TextFileSlot& slot, const LineBuffer& piece, LineBuffer& scratch,
                   std::string* text, std::string* raw) {
  int pieces = 0;
  bool more = LineContinues(slot, piece);
  while (more) {
    ReadSourceLine(slot, scratch);
    ++pieces;
    if (text) text->append(scratch.view());
    if (raw) raw->append(scratch.raw);
    more = LineContinues(slot, scratch);
  }
  return pieces;
}

bool IsBlankAfterFinalLineEnd(TextFileSlot& slot, const LineBuffer& line) {
  if (line.lineendinfront == 0 || static_cast<int>(line.raw.size()) != line.lineendinfront)
    return false;
  return SlotEof(slot);
}

}  // namespace vesper
