// Reads arbitrary text as a time of day: the result lies in [0, 1) and is a
// whole second, or the reading raises the conversion error; nothing else.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "assign/dates.h"
#include "base/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    double t = vesper::timefromtext(text);
    if (!(t >= 0.0 && t < 1.0)) std::abort();
    double seconds = t * 86400.0;
    if (std::fabs(seconds - std::round(seconds)) > 1e-6) std::abort();
  } catch (const vesper::ConversionError&) {
  } catch (...) {
    std::abort();
  }
  return 0;
}
