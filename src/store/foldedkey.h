// Lookups of rows by the folded form of some of their fields: a text
// lower-cased in ASCII, without blanks, full stops, hyphens and apostrophes,
// and a missing value as empty ("Van Dyke-Smith" and "vandykesmith" fold
// alike).  The engines fold the stored values the same way in their own
// SQL, in an index, so that a lookup reads only the rows it finds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesper {

// One field of a lookup and the folded forms it may take.
struct FoldedKey {
  int field = -1;
  std::vector<std::string> forms;
};

// `text` in its folded form.
std::string foldedtext(std::string_view text);

}  // namespace vesper
