#include "parse/countries.h"

#include <array>

#include "parse/text.h"

namespace vesper {

namespace {

template <std::size_t N>
bool isoneof(std::string_view value, const std::array<std::string_view, N>& words) {
  for (std::string_view w : words)
    if (value.size() == w.size() && sametext(value, w)) return true;  // lengths first, without a call
  return false;
}

constexpr std::array<std::string_view, 7> kUnitedStates = {
    "US", "USA", "United States", "United States of America", "America", "U.S.", "U.S.A."};
constexpr std::array<std::string_view, 2> kCanada = {"Canada", "CAN"};
constexpr std::array<std::string_view, 9> kUnitedKingdom = {
    "UK",  "United Kingdom", "England", "GB",      "G.B.",
    "Great Britain", "Wales", "Ireland", "Scotland"};

// The first byte of the character at 1-based character position `pos`, or
// NUL when the text is shorter.  Continuation bytes of a UTF-8 sequence do not
// start a character, so a multi-byte character counts once.
char charat(std::string_view text, std::size_t pos) {
  std::size_t chars = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;
    if (++chars == pos) return c;
  }
  return '\0';
}

const std::array<const char*, 6> kFormatFields = {
    "FormatUS", "FormatCanada", "FormatUK", "FormatLatin", "FormatEurope", "FormatSpecial"};

}  // namespace

bool isunitedstates(std::string_view country) { return isoneof(country, kUnitedStates); }
bool iscanada(std::string_view country) { return isoneof(country, kCanada); }
bool isunitedkingdom(std::string_view country) { return isoneof(country, kUnitedKingdom); }

bool isuszip(std::string_view zip) {
  switch (countdigits(zip)) {
    case 5:
      return textlength(zip) == 5;
    case 9:
      return charat(zip, 6) == '-';
    case 11:
      return charat(zip, 6) == '-' && charat(zip, 11) == '-';
    default:
      return false;
  }
}

bool iscanadianpostcode(std::string_view zip) {
  return countdigits(zip) == 3 && countletters(zip) == 3;
}

std::optional<int> countryformat(std::string_view zip, std::string_view country) {
  if (!country.empty()) {
    if (isunitedstates(country)) return kFormatUS;
    if (iscanada(country)) return kFormatCanada;
    if (isunitedkingdom(country)) return kFormatUK;
    return std::nullopt;
  }
  if (isuszip(zip)) return kFormatUS;
  if (iscanadianpostcode(zip)) return kFormatCanada;
  return std::nullopt;
}

int chooseformat(std::string_view zip, std::string_view country, int formatwhich) {
  int n = countryformat(zip, country).value_or(formatwhich);
  return n < 0 ? kFormatUS : n;
}

std::string format2field(int f, Messages& messages) {
  if (f >= 0 && f < static_cast<int>(kFormatFields.size())) return kFormatFields[f];
  messages.plainmessage("ERROR! in format2field, f = " + std::to_string(f));
  return {};
}

}  // namespace vesper
