// Personal name splitting: one text holding a whole name becomes title,
// given names, middle initials, surname and suffix.
//
// Contract: pure functions; none fails or shows a message.  The parts are
// built by concatenation and usually begin with a blank (each word is added
// with one blank in front of it); callers remove leading blanks before they
// store a part, and blanks inside or at the end of a part are meaningful to
// nobody but stay as produced.  Every part is held to its capacity through
// cuttext (characters, not bytes); the rest of an overlong part is dropped.
//
//   splitfirstlast  "Mr. and Mrs. John Q. Public Jr."  (commas carry no meaning)
//   splitlastfirst  "Public, John Q."                  (first word is the surname)
//
// An empty text gives Last "-" and nothing else; a text of blanks only gives
// five empty parts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesper {

struct NameParts {
  std::string Prefix;  // honorifics with "and" / "&" between them
  std::string First;   // given names
  std::string Middle;  // middle initials
  std::string Last;    // surname, with a leading particle
  std::string Suffix;  // generational suffixes, degrees, orders
};

inline constexpr std::size_t PrefixCapacity = 20;
inline constexpr std::size_t FirstCapacity = 20;
inline constexpr std::size_t MiddleCapacity = 6;
inline constexpr std::size_t LastCapacity = 20;
inline constexpr std::size_t SuffixCapacity = 20;

// Given names first: titles only at the front, suffixes only at the end, the
// last word left is the surname unless a particle starts it earlier.
NameParts splitfirstlast(std::string_view text);
// Surname first: the first word (two when the first is a particle) is the
// surname wherever the comma stands; titles and suffixes may follow it.
NameParts splitlastfirst(std::string_view text);

// The word operations the two splitters share.  Each works on the splitter's
// working text (a view that only ever shrinks, so a long name is walked
// without copying it word by word), may shorten it, and tells whether it did
// something.

// Takes one title word (with or without a full stop) or "and" / "&" from the
// front of `text` into parts.Prefix; the text then begins with the blank that
// followed the word, so one call takes at most one word.
bool takefronttitle(std::string_view& text, NameParts& parts);
// True if the text's first word (text before the first blank; no word when
// there is no blank) is a surname particle.  Changes nothing.
bool isparticle(std::string_view text);
// Takes the last word, with the blank before it, into parts.Suffix when it is
// a suffix word or starts with one followed by ".", "," or ";".  The word is
// removed from the end of the text.  A text without a blank has no last word.
bool takesuffixatend(std::string_view& text, NameParts& parts);
// Takes the first word into the front of parts.Suffix when it is a suffix word
// with or without a full stop; the blank after it stays in the text.
bool takesuffixatfront(std::string_view& text, NameParts& parts);

}  // namespace vesper
