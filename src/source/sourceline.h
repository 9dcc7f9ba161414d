// Whole physical lines of a text source on top of ReadSourceLine.
//
// Contract: ReadSourceLine delivers at most 4000 characters per call; a longer
// line of the file arrives in pieces, and a piece that continues a line has no
// line end in front.  The helpers here tell such pieces apart from new lines,
// so that every reader treats one line of the file as one unit (one record
// candidate, one bad line, one field of a line-per-field record), and they
// recognise the blank that ReadSourceLine reports after the file's final line
// end, which is not a line of the file.
#pragma once

#include <string>

#include "source/textfile.h"

namespace vesper {

struct SourceDescription;

// Opens the source slot when it is closed and rewinds it to the first line.
// False when the slot could not be opened.
bool RewindSourceFile(SourceDescription& source);

// True when `piece` (just read from `slot`) filled the buffer and the line
// goes on in the file: the next read continues the same line.
bool LineContinues(TextFileSlot& slot, const LineBuffer& piece);

// Reads the rest of a line whose first piece was `piece` (when it continues),
// appending the characters as the reader gives them (control characters as
// spaces) to `text` and the bytes of the file to `raw`; either may be null.
// `scratch` is a working buffer.  Returns the number of extra pieces read.
int ReadRestOfLine(TextFileSlot& slot, const LineBuffer& piece, LineBuffer& scratch,
                   std::string* text, std::string* raw);

// True when `line` is the empty remainder that follows the final line end of
// the file (nothing but the line end, and the file is at its end).
bool IsBlankAfterFinalLineEnd(TextFileSlot& slot, const LineBuffer& line);

// The bytes of the line as the file has them, without the previous line's end.
inline std::string_view LineBytes(const LineBuffer& line) {
  return std::string_view(line.raw).substr(static_cast<std::size_t>(line.lineendinfront));
}

}  // namespace vesper
