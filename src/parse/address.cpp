#include "parse/address.h"

#include "parse/text.h"

namespace vesper {

const std::array<std::string_view, 10> RegionWords = {
    "New", "North", "South", "East", "West", "british", "the", "puerto", "virgin", "saint",
};

namespace {

// True when the postal code test accepts the word: a digit or a full stop.
bool postalword(std::string_view word) {
  for (char c : word)
    if (isdigitchar(c) || c == '.') return true;
  return false;
}

// cleantext without copying: leading blanks, then trailing blanks off.
std::string_view cleanview(std::string_view text) {
  while (!text.empty() && isleadingblank(text.front())) text.remove_prefix(1);
  while (!text.empty() && istrailingblank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view trimrightview(std::string_view text) {
  while (!text.empty() && istrailingblank(text.back())) text.remove_suffix(1);
  return text;
}

// True when `text` holds `word`, ASCII letter case ignored.
bool holdsnocase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < word.size() && upperchar(text[i + k]) == upperchar(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

// moveregionword on a view of the city: the view is shortened instead.
void moveregion(std::string_view& city, CityStateZip& parts) {
  std::size_t b = city.rfind(' ');
  if (b == std::string_view::npos) return;
  const std::string_view tail = city.substr(b);
  for (std::string_view region : RegionWords) {
    if (!holdsnocase(tail, region)) continue;
    std::string state(tail);
    state += ' ';
    state += parts.State;
    parts.State.assign(cutview(state, StateCapacity));
    city = city.substr(0, b);
    return;
  }
}

// splitcitystate of a text cleaned already.
CityStateZip citystate(std::string_view text) {
  CityStateZip parts;
  if (text.empty()) return parts;
  std::size_t comma = text.find(',');
  if (comma != std::string_view::npos) {
    parts.City.assign(cutview(text.substr(0, comma), CityCapacity));
    parts.State.assign(cutview(text.substr(comma + 1), StateCapacity));
    return parts;
  }
  std::size_t b = text.rfind(' ');
  if (b == std::string_view::npos) {
    parts.City.assign(cutview(text, CityCapacity));
    return parts;
  }
  parts.State.assign(cutview(text.substr(b), StateCapacity));
  text = trimrightview(text.substr(0, b));
  if (text.find(' ') != std::string_view::npos) moveregion(text, parts);
  parts.City.assign(cutview(text, CityCapacity));
  return parts;
}

}  // namespace

void moveregionword(std::string& city, CityStateZip& parts) {
  std::string_view view = city;
  moveregion(view, parts);
  city.resize(view.size());
}

CityStateZip splitcitystate(std::string_view input) { return citystate(cleanview(input)); }

CityStateZip splitcitystatezip(std::string_view input) {
  std::string_view text = cleanview(input);
  if (text.empty()) return {};
  std::string zip;
  std::size_t b = text.rfind(' ');
  if (b != std::string_view::npos && postalword(text.substr(b))) {
    zip.assign(cutview(text.substr(b), ZipCapacity));
    text = trimrightview(text.substr(0, b));
    // A postal code of two words ("K1A 0B1", "SW1A 1AA"); a third word is
    // never looked at.
    b = text.rfind(' ');
    if (b != std::string_view::npos && postalword(text.substr(b))) {
      std::string both(text.substr(b));
      both += ' ';
      both += zip;
      zip.assign(cutview(both, ZipCapacity));
      text = trimrightview(text.substr(0, b));
    }
  }
  CityStateZip parts = citystate(text);
  parts.Zip = std::move(zip);
  return parts;
}

AddressLines splitaddress(std::string_view text, std::size_t width) {
  // Byte length of the first `width` characters (a space is never part of a
  // multi-byte character, so searching bytes for it is safe); all of the text
  // when it has no more characters.
  std::size_t end = cutview(text, width).size();
  if (end == text.size()) return {std::string(text), {}};
  std::size_t k = text.substr(0, end).rfind(' ');
  if (k == std::string_view::npos) k = end;
  return {std::string(text.substr(0, k)), std::string(text.substr(k))};
}

}  // namespace vesper
