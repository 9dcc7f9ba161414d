// Fuzzes mixed case, whose eight-bytes-at-a-time road hands over to the
// character-at-a-time one at any offset.
//
// Input: the whole input is one text (any bytes, UTF-8 or not).
// Checked: the three entry points agree, with a fresh buffer and with one
// that holds a longer text; an address comes back whole; any other text keeps
// its number of characters after the leading blanks and stays within the
// room the character road is given; a text of ASCII only is cased one byte
// after another as the rule says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "parse/casemap.h"
#include "parse/text.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vesper;
  const std::string in(reinterpret_cast<const char*>(data), size);
  const std::string cased = mixedcase(true, in);
  std::string fresh, used(3 * size + 40, 'x'), into = "left over";
  check(mixedcaseview(in, fresh) == cased);
  check(mixedcaseview(in, used) == cased);
  mixedcaseinto(in, into);
  check(into == cased);

  if (in.find('@') != std::string::npos || in.find("://") != std::string::npos) {
    check(cased == in);
    return 0;
  }
  std::string_view body = in;
  while (!body.empty() && isleadingblank(body.front())) body.remove_prefix(1);
  check(textlength(cased) == textlength(body));
  check(cased.size() <= mixedcaseroom(body.size()));

  bool ascii = true;
  for (unsigned char c : body) ascii = ascii && c < 0x80;
  if (ascii) {
    std::string byrule;
    for (std::size_t i = 0; i < body.size(); ++i)
      byrule += i == 0 || body[i - 1] == ' ' ? upperchar(body[i]) : lowerchar(body[i]);
    check(cased == byrule);
  }
  return 0;
}
