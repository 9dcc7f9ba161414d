// Reads arbitrary text with every date format code and pivot: the result is
// the zero date or a day of the years 1 to 9999, and reading never fails.
// Input: byte 0 the code (signed, so codes outside 1..12 come up too),
// byte 1 the year pivot (signed), the rest the date text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "assign/dates.h"
#include "parse/daycount.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  int code = static_cast<std::int8_t>(data[0]);
  int pivot = static_cast<std::int8_t>(data[1]);
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  int days = vesper::datefromtext(text, code, pivot);
  if (days != 0) {
    int y, m, d;
    vesper::decodedate(days, y, m, d);
    if (y < 1 || y > 9999 || vesper::encodedate(y, m, d) != days) std::abort();
  }
  if ((code < 1 || code > 12) && days != 0) std::abort();
  return 0;
}
