// The shapes nearly every row and shared string of an .xlsx workbook takes,
// read without the general XML reading: a sheet of a million rows is tens of
// millions of such small elements, and reading them by their known shape is
// several times faster.  Anything else, even a row with one formula, is left
// to the general reading, which gives the same cells.  Internal to
// source/formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "source/formats/sharedstrings.h"

namespace vesper {

struct ShapedCell {
  int col = 0;                // from the cell's reference; 0 when it has none
  std::string_view type, style, value;
};

// The row at `data` (starting "<row") when it is whole there and of the
// simple shape: cells that are empty or hold one <v> value, attribute values
// and values without references.  Its number goes to `row` (-1 when it gives
// none) and its cells to `cells`; returns the bytes it takes, 0 when it is of
// another shape or cut short.
std::size_t shapedrow(std::string_view data, long long& row, std::vector<ShapedCell>& cells);

// The shared string at `data` (starting "<si>") when it is one plain <t>
// without references or carriage returns: its text goes to `text`; returns
// the bytes it takes, 0 otherwise.
std::size_t shapedstring(std::string_view data, std::string_view& text);

// The shared string at `data` when it is <si><t>TEXT</t></si> with a TEXT
// that is the string as it stands: no reference, no control character and
// no '_' (which may start an _xHHHH_ escape).  Returns the bytes it takes, 0
// otherwise.
std::size_t plainstring(std::string_view data, std::string_view& text);

// Counts in `uses` the shared strings the cells of `text`, a stretch of a
// sheet's XML, name.  Only a hint of which strings many rows share: a
// reference cut by the stretch's end, or written in an unusual way, is not
// counted.
void countsharedrefs(std::string_view text, StringUses& uses);

}  // namespace vesper
