#include "parse/text.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace vesper {

namespace {
// True for a byte that continues a UTF-8 sequence (10xxxxxx).
inline bool iscontinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

std::string_view cutlongview(std::string_view text, std::size_t n) {
  if (text.size() <= n) return text;  // no more characters than bytes
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (iscontinuation(static_cast<unsigned char>(text[i]))) continue;
    if (chars == n) return text.substr(0, i);
    ++chars;
  }
  return text;
}

std::string cuttext(std::string_view text, std::size_t n) { return std::string(cutview(text, n)); }

std::size_t textlength(std::string_view text) {
  std::size_t chars = 0;
  for (char c : text)
    if (!iscontinuation(static_cast<unsigned char>(c))) ++chars;
  return chars;
}

std::string trimleft(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isleadingblank(text[i])) ++i;
  return std::string(text.substr(i));
}

std::string trimright(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && istrailingblank(text[n - 1])) --n;
  return std::string(text.substr(0, n));
}

std::string trimmed(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return std::string(text.substr(b, e - b));
}

std::string cleantext(std::string_view text) { return trimright(trimleft(text)); }

std::size_t lastblank(std::string_view text) {
  std::size_t p = text.rfind(' ');
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string replacechar(std::string_view text, char a, char b) {
  std::string out(text);
  for (char& c : out)
    if (c == a) c = b;
  return out;
}

std::string digitsanddots(std::string_view text) {
  std::string out;
  for (char c : text)
    if (isdigitchar(c) || c == '.') out += c;
  return out;
}

std::string digitsandletters(std::string_view text) {
  std::string out;
  for (char c : text)
    if (isdigitchar(c) || isletterchar(c)) out += c;
  return out;
}

std::string fromfirstdigit(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (isdigitchar(text[i])) return std::string(text.substr(i));
  return {};
}

bool isblank(std::string_view text) {
  for (char c : text)
    if (!isleadingblank(c)) return false;
  return true;
}

int countdigits(std::string_view text) {
  int n = 0;
  for (char c : text) n += isdigitchar(c);
  return n;
}

int countletters(std::string_view text) {
  int n = 0;
  for (char c : text) n += isletterchar(c);
  return n;
}

std::string uppertext(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upperchar(c);
  return out;
}

std::string lowertext(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerchar(c);
  return out;
}

bool sametext(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerchar(a[i]) != lowerchar(b[i])) return false;
  return true;
}

std::string mixedcase(bool on, std::string_view text) {
  if (!on) return std::string(text);
  std::string out;
  mixedcaseinto(text, out);
  return out;
}

namespace {
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHigh = 0x8080808080808080ull;

// The high bit of each byte of `x` that lies in [lo, hi] (ASCII bytes only;
// a byte above 127 is never marked).  Each byte is added to on its own seven
// bits, so no byte carries into the next.
inline std::uint64_t bytesbetween(std::uint64_t x, unsigned char lo, unsigned char hi) {
  const std::uint64_t seven = x & ~kHigh;
  const std::uint64_t atleast = seven + kOnes * (0x80u - lo);
  const std::uint64_t above = seven + kOnes * (0x7Fu - hi);
  return atleast & ~above & ~x & kHigh;
}

// The high bit of each byte of `x` that is a space.
inline std::uint64_t spacebytes(std::uint64_t x) {
  const std::uint64_t y = x ^ (kOnes * ' ');  // a space becomes 0
  return ~(((y & ~kHigh) + ~kHigh) | y) & kHigh;
}
}  // namespace

void mixedcaseinto(std::string_view text, std::string& out) { out.resize(mixedcaseview(text, out).size()); }

std::string_view mixedcaseview(std::string_view text, std::string& buffer) {
  // Leading blanks skipped first (lower case leaves them as they are), then
  // eight bytes at a time: every letter lower case (bit 5 set), and the
  // letters that come first or after a space upper case again (bit 5
  // cleared).  The space before a byte may lie in the previous eight.
  std::size_t lead = 0;
  while (lead < text.size() && isleadingblank(text[lead])) ++lead;
  text.remove_prefix(lead);
  if (buffer.size() < text.size()) buffer.resize(text.size());
  char* const start = buffer.data();
  char* o = start;
  const char* in = text.data();
  std::size_t left = text.size();
  std::uint64_t after = 0x80;  // the first character is upper case
  for (; left >= 8; left -= 8, in += 8, o += 8) {
    std::uint64_t x;
    std::memcpy(&x, in, 8);
    const std::uint64_t letters = bytesbetween(x, 'A', 'Z') | bytesbetween(x, 'a', 'z');
    const std::uint64_t spaces = spacebytes(x);
    after |= spaces << 8;
    x = (x | letters >> 2) & ~((letters & after) >> 2);
    std::memcpy(o, &x, 8);
    after = spaces >> 56;  // a space in the last byte marks the next word's first
  }
  bool up = after != 0;  // the last few one at a time
  for (; left > 0; --left, ++in, ++o) {
    *o = up ? upperchar(*in) : lowerchar(*in);
    up = *in == ' ';
  }
  return std::string_view(start, text.size());
}

std::string cleancategory(std::string_view text) {
  // Bit 0-25 for A-Z, bit 26-30 for 0-4: the order of the result.
  std::uint32_t seen = 0;
  for (char c : text) {
    const char u = upperchar(c);
    if (u >= 'A' && u <= 'Z') seen |= 1u << (u - 'A');
    else if (u >= '0' && u <= '4') seen |= 1u << (26 + u - '0');
  }
  char codes[31];
  std::size_t n = 0;
  for (; seen != 0; seen &= seen - 1) {
    const int bit = std::countr_zero(seen);
    codes[n++] = static_cast<char>(bit < 26 ? 'A' + bit : '0' + bit - 26);
  }
  return std::string(codes, n);
}

}  // namespace vesper
