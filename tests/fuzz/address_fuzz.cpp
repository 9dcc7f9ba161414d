// Fuzzes the address line splitter.
//
// Input: one byte for the width (0-255), then the address text.
// Checked: the two lines put together are exactly the text, so no character
// is lost, added or moved; the first line holds at most `width` characters
// and is never cut inside a UTF-8 sequence; a text that fits stays whole; and
// a cut falls at the last blank within the first `width` characters, or
// right after them when they hold none.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vesper;
  if (size < 1) return 0;
  const std::size_t width = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const AddressLines l = splitaddress(text, width);
  check(l.First + l.Second == text);
  check(textlength(l.First) <= width);
  if (textlength(text) <= width) {
    check(l.Second.empty());
    return 0;
  }
  check(!l.Second.empty());
  check(textlength(l.First) + textlength(l.Second) == textlength(text));
  const std::string head = cuttext(text, width);
  if (head.find(' ') != std::string::npos) {
    check(l.Second[0] == ' ' && l.First.size() == head.rfind(' '));
  } else {
    check(l.First == head);
  }
  return 0;
}
