// Address splitting: a city line into city, state and postal code, and one
// long address text into two address lines.
//
// Contract: pure functions; none fails or shows a message.  Pieces keep the
// blank that stood in front of them in the source text ("Boston, MA" gives the
// state " MA"); callers remove leading blanks when they store a piece.
// City, State and Zip are held to 30, 20 and 11 characters through cuttext,
// the blank in front counted; the rest of an overlong piece is dropped.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vesper {

struct CityStateZip {
  std::string City;   // city
  std::string State;  // state, province or region
  std::string Zip;    // postal code
};

inline constexpr std::size_t CityCapacity = 30;
inline constexpr std::size_t StateCapacity = 20;
inline constexpr std::size_t ZipCapacity = 11;

// First words of two-word regions ("North Dakota", "Puerto Rico"); a city's
// last word that contains one of them (any letter case) moves to the state.
extern const std::array<std::string_view, 10> RegionWords;

// "City, State" (the first comma decides) or "City State" (the last word is
// the state, two when the word before it holds a region word).  Zip is empty.
CityStateZip splitcitystate(std::string_view text);
// As splitcitystate, after taking the postal code from the end: the last word
// when it holds a digit or a full stop, and the word before it too when that
// one does ("K1A 0B1" is taken whole, as " K1A  0B1").
CityStateZip splitcitystatezip(std::string_view text);
// If the city text's last word (with the blank before it) contains a region
// word, moves it in front of parts.State, one blank between, and removes it
// from the city.  A city text without a blank is left alone.
void moveregionword(std::string& city, CityStateZip& parts);

struct AddressLines {
  std::string First;
  std::string Second;
};
// Cuts an address text that is longer than `width` characters at the last
// blank within its first `width` characters (the second line begins with
// that blank), or after `width` characters when they hold no blank.  The two
// lines together are always exactly the text; the second is not limited.
AddressLines splitaddress(std::string_view text, std::size_t width);

}  // namespace vesper
