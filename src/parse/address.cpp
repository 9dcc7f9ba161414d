#include "parse/address.h"

#include "parse/text.h"

namespace vesper {

const std::array<std::string_view, 10> RegionWords = {
    "New", "North", "South", "East", "West", "british", "the", "puerto", "virgin", "saint",
};

namespace {

// True when the postal code test accepts the word: a digit or a full stop.
bool postalword(std::string_view word) { return !digitsanddots(word).empty(); }

}  // namespace

void moveregionword(std::string& city, CityStateZip& parts) {
  std::size_t b = city.rfind(' ');
  if (b == std::string::npos) return;
  std::string tail = city.substr(b);
  std::string upper = uppertext(tail);
  for (std::string_view region : RegionWords) {
    if (upper.find(uppertext(region)) == std::string::npos) continue;
    parts.State = cuttext(tail + " " + parts.State, StateCapacity);
    city.erase(b);
    return;
  }
}

CityStateZip splitcitystate(std::string_view input) {
  CityStateZip parts;
  std::string text = cleantext(input);
  if (text.empty()) return parts;
  std::size_t comma = text.find(',');
  if (comma != std::string::npos) {
    parts.City = cuttext(std::string_view(text).substr(0, comma), CityCapacity);
    parts.State = cuttext(std::string_view(text).substr(comma + 1), StateCapacity);
    return parts;
  }
  std::size_t b = text.rfind(' ');
  if (b == std::string::npos) {
    parts.City = cuttext(text, CityCapacity);
    return parts;
  }
  parts.State = cuttext(std::string_view(text).substr(b), StateCapacity);
  text = trimright(std::string_view(text).substr(0, b));
  if (text.find(' ') != std::string::npos) moveregionword(text, parts);
  parts.City = cuttext(text, CityCapacity);
  return parts;
}

CityStateZip splitcitystatezip(std::string_view input) {
  std::string text = cleantext(input);
  if (text.empty()) return {};
  std::string zip;
  std::size_t b = text.rfind(' ');
  if (b != std::string::npos && postalword(std::string_view(text).substr(b))) {
    zip = cuttext(std::string_view(text).substr(b), ZipCapacity);
    text = trimright(std::string_view(text).substr(0, b));
    // A postal code of two words ("K1A 0B1", "SW1A 1AA"); a third word is
    // never looked at.
    b = text.rfind(' ');
    if (b != std::string::npos && postalword(std::string_view(text).substr(b))) {
      zip = cuttext(text.substr(b) + " " + zip, ZipCapacity);
      text = trimright(std::string_view(text).substr(0, b));
    }
  }
  CityStateZip parts = splitcitystate(text);
  parts.Zip = zip;
  return parts;
}

AddressLines splitaddress(std::string_view text, std::size_t width) {
  if (width >= textlength(text)) return {std::string(text), {}};
  // Byte length of the first `width` characters (a space is never part of a
  // multi-byte character, so searching bytes for it is safe).
  std::size_t end = cuttext(text, width).size();
  std::size_t k = text.substr(0, end).rfind(' ');
  if (k == std::string_view::npos) k = end;
  return {std::string(text.substr(0, k)), std::string(text.substr(k))};
}

}  // namespace vesper
