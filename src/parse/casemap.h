// Letter case beyond ASCII, for mixed case: the letters of every script that
// has letter case (Latin and its extensions, Greek, Cyrillic, Armenian,
// Georgian, Cherokee, ...), one character for one character, by the case
// mappings of the Unicode character database (utf8proc).
//
// Contract: works on UTF-8; bytes that are not well-formed UTF-8 are copied
// as they are and start no word.  A character keeps its number of code
// points but may change its number of bytes: a two-byte letter can have a
// three-byte counterpart (U+023A and U+2C65), never more than that.
#pragma once

#include <cstddef>

namespace vesper {

// Bytes the mixed case of n bytes of UTF-8 can take at most.
constexpr std::size_t mixedcaseroom(std::size_t n) { return n + n / 2 + 1; }

// Writes the mixed case of the UTF-8 text [in, end) to `out` and returns the
// end of what it wrote; `out` has room for mixedcaseroom(end - in) bytes.
// The first character of each word (the first of all when `up`, then each
// one after a space) takes its title case, every other one its lower case.
// `afterletter` tells that the character before `in` is a letter.  A Greek
// capital sigma at the end of a word becomes the final small sigma.
char* mixedcaseutf8(const char* in, const char* end, char* out, bool up, bool afterletter);

}  // namespace vesper
