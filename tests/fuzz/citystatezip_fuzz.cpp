// Fuzzes the city line splitters.
//
// Input: the whole input is one city line.
// Checked: every piece within its capacity (characters); splitcitystate
// leaves Zip empty; and when no piece reached its capacity (so nothing was
// cut), City, State and Zip together hold every character of the input in
// order, leaving out only blanks and commas (the splitters move words between
// pieces and drop the separating comma, but lose nothing else).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "parse/address.h"
#include "parse/text.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// The text without blanks of any kind and without commas.
std::string solid(const std::string& s) {
  std::string out;
  for (char c : s)
    if (!vesper::isleadingblank(c) && !vesper::istrailingblank(c) && c != ',') out += c;
  return out;
}

void checkpieces(const vesper::CityStateZip& c, const std::string& in) {
  using namespace vesper;
  const std::size_t city = textlength(c.City), state = textlength(c.State), zip = textlength(c.Zip);
  check(city <= CityCapacity && state <= StateCapacity && zip <= ZipCapacity);
  if (city < CityCapacity && state < StateCapacity && zip < ZipCapacity)
    check(solid(c.City + c.State + c.Zip) == solid(in));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vesper;
  const std::string in(reinterpret_cast<const char*>(data), size);
  const CityStateZip a = splitcitystate(in);
  check(a.Zip.empty());
  checkpieces(a, in);
  checkpieces(splitcitystatezip(in), in);
  return 0;
}
