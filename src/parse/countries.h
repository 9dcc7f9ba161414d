// Country recognition and the choice of a contact's address format.
//
// Contract: pure functions except `format2field`, which reports a bad format
// number through `Messages` (a plain box) and returns the empty name.  Country
// words are compared with the whole value, ASCII letters folded; blanks count,
// so " USA" is not the United States.  Postal-code shapes look at characters
// (UTF-8 aware) counted from the first character of the value as given.
//
// Format numbers and the settings fields that hold their templates:
//   0 FormatUS  1 FormatCanada  2 FormatUK  3 FormatLatin  4 FormatEurope
//   5 FormatSpecial
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/seams.h"

namespace vesper {

constexpr int kFormatUS = 0;
constexpr int kFormatCanada = 1;
constexpr int kFormatUK = 2;
constexpr int kFormatLatin = 3;
constexpr int kFormatEurope = 4;
constexpr int kFormatSpecial = 5;

// "US", "USA", "United States", "United States of America", "America",
// "U.S.", "U.S.A."
bool isunitedstates(std::string_view country);
// "Canada", "CAN"
bool iscanada(std::string_view country);
// "UK", "United Kingdom", "England", "GB", "G.B.", "Great Britain", "Wales",
// "Ireland", "Scotland"
bool isunitedkingdom(std::string_view country);

// 5 digits in a 5-character text; or 9 digits with "-" as 6th character;
// or 11 digits with "-" as 6th and 11th characters.
bool isuszip(std::string_view zip);
// Exactly 3 digits and exactly 3 letters, in any order, anything between.
bool iscanadianpostcode(std::string_view zip);

// 0, 1 or 2 from a non-empty country (the postal code is then ignored); from
// the postal code's shape (0 or 1) when the country is empty; otherwise none.
std::optional<int> countryformat(std::string_view zip, std::string_view country);

// The recognised format, else `formatwhich`, with a negative number giving 0.
// A `formatwhich` above 5 comes back unchanged (format2field reports it).
int chooseformat(std::string_view zip, std::string_view country, int formatwhich);

// Settings field name of a format number; any other number shows the plain
// message "ERROR! in format2field, f = <n>" and gives the empty name.
std::string format2field(int f, Messages& messages);

}  // namespace vesper
