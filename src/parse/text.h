// Text primitives shared by every parser of the importer.
//
// Contract: free functions without state; none fails.  Positions are 1-based
// where a function returns one.  Character classes are plain ASCII:
//   leading blank  : space, CR, LF, backspace (a tab is NOT a leading blank)
//   trailing blank : space and tab only
//   word separator : the space character alone
//   digit 0-9, letter A-Z a-z; bytes above 127 belong to no class.
// Case conversions and comparisons change the 26 ASCII letters only, except
// mixed case, which cases the letters of every script that has case.
// Texts are UTF-8 byte strings; `cuttext` is the one place that limits a text
// to a capacity, and it counts characters, never cutting inside a sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vesper {

// The text cut to at most n characters (UTF-8 aware; ASCII counts 1 each).
std::string cuttext(std::string_view text, std::size_t n);
// The same cut, as a view into `text`.  A text of no more bytes than n has
// no more characters either and is taken whole without a call.
std::string_view cutlongview(std::string_view text, std::size_t n);
inline std::string_view cutview(std::string_view text, std::size_t n) {
  return text.size() <= n ? text : cutlongview(text, n);
}
// Number of characters (not bytes) in a UTF-8 text.
std::size_t textlength(std::string_view text);

inline bool isdigitchar(char c) { return c >= '0' && c <= '9'; }
inline bool isletterchar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isleadingblank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\b'; }
inline bool istrailingblank(char c) { return c == ' ' || c == '\t'; }
inline char upperchar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline char lowerchar(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

std::string trimleft(std::string_view text);
std::string trimright(std::string_view text);
// Spaces and tabs off both ends (stored values and declarations).
std::string trimmed(std::string_view text);
// trimleft then trimright ("cleaning" a text in the name and address parsers).
std::string cleantext(std::string_view text);
// Position (1-based) of the last space, 0 when there is none.
std::size_t lastblank(std::string_view text);
std::string replacechar(std::string_view text, char a, char b);
std::string digitsanddots(std::string_view text);
std::string digitsandletters(std::string_view text);
std::string fromfirstdigit(std::string_view text);
bool isblank(std::string_view text);
int countdigits(std::string_view text);
int countletters(std::string_view text);
std::string uppertext(std::string_view text);
std::string lowertext(std::string_view text);
// Whole-text comparison folding the 26 ASCII letters.
bool sametext(std::string_view a, std::string_view b);
// Mixed case when `on`: lower case, leading blanks dropped, first character and
// every character after a space upper case (title case, for the few letters
// that have one, such as the digraph "Dz").  Letters of every cased script
// change ("MÜLLER" gives "Müller", "ΟΔΥΣΣΕΑΣ" gives "Οδυσσεας" with its final
// sigma); trailing blanks remain.  An e-mail or web address (a text holding
// "@" or "://") is no name: it is left as it is, leading blanks and all.
std::string mixedcase(bool on, std::string_view text);
// mixedcase(true, text) into `out` (its storage kept); `out` must not hold
// the text.
void mixedcaseinto(std::string_view text, std::string& out);
// The same, as a view of the front of `buffer`, which is only ever made
// longer (what lies past the view is left over from earlier texts); the view
// is valid until the buffer is used again.  An address is `text` itself, valid
// as long as the text.  `buffer` must not hold the text.  A text of ASCII
// only is cased eight bytes at a time, with no allocation once the buffer
// has grown to its length.
std::string_view mixedcaseview(std::string_view text, std::string& buffer);
// Category codes A-Z then 0-4 found in the text, each once, in that order.
std::string cleancategory(std::string_view text);

// Copies `n` bytes to `to` and returns the end.  Most values are short:
// pieces of up to 16 bytes go as two overlapping moves, without a call.
inline char* copyshort(char* to, const char* from, std::size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + n - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + n - 8, &b, 8);
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, from, 4);
    std::memcpy(&b, from + n - 4, 4);
    std::memcpy(to, &a, 4);
    std::memcpy(to + n - 4, &b, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
  return to + n;
}

}  // namespace vesper
