#include "parse/text.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "parse/casemap.h"

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

// The high bit of each byte of `x` that equals the ASCII character `c`.
inline std::uint64_t bytesequal(std::uint64_t x, unsigned char c) {
  const std::uint64_t y = x ^ (kOnes * c);  // such a byte becomes 0
  return ~(((y & ~kHigh) + ~kHigh) | y) & kHigh;
}

// An e-mail or web address, which keeps its letter case.
bool isaddress(std::string_view text) {
  return text.find('@') != std::string_view::npos || text.find("://") != std::string_view::npos;
}
}  // namespace

void mixedcaseinto(std::string_view text, std::string& out) {
  const std::string_view cased = mixedcaseview(text, out);
  if (cased.data() == out.data()) out.resize(cased.size());
  else out.assign(cased);  // an address, the text itself
}

namespace {
// The 1 to 7 bytes at `p` as the low bytes of a number, the rest zero; read
// in at most two loads straight into a register (bytes put together in
// memory first would make the processor wait for the stores).
inline std::uint64_t loadshort(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, p, 4);
    std::memcpy(&b, p + n - 4, 4);  // overlaps `a` where n < 8, with the same bytes
    return a | std::uint64_t{b} << (8 * (n - 4));
  }
  const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
  return byte(0) | byte(n / 2) << (8 * (n / 2)) | byte(n - 1) << (8 * (n - 1));
}

// Mixed case of eight ASCII bytes: every letter lower case (bit 5 set), and
// the letters that come first or after a space upper case again (bit 5
// cleared).  `after` marks (0x80) that the first byte begins a word, and on
// return whether the byte after the eight does.
inline std::uint64_t caseeight(std::uint64_t x, std::uint64_t& after) {
  const std::uint64_t letters = bytesbetween(x, 'A', 'Z') | bytesbetween(x, 'a', 'z');
  const std::uint64_t spaces = bytesequal(x, ' ');
  after |= spaces << 8;  // the space before a byte may lie in the eight before
  x = (x | letters >> 2) & ~((letters & after) >> 2);
  after = spaces >> 56;
  return x;
}

// Bytes that the eight-at-a-time casing leaves to the slower road: those
// beyond ASCII, and ":;<=>?@", among which are the marks of an address.
inline bool needsslowroad(std::uint64_t x) { return ((x & kHigh) | bytesbetween(x, ':', '@')) != 0; }
}  // namespace

std::string_view mixedcaseview(std::string_view text, std::string& buffer) {
  // Leading blanks skipped first (lower case leaves them as they are), then
  // eight bytes at a time, the last few as eight with zeros after them.  From
  // the first eight that hold a character beyond ASCII or a possible address
  // mark on, the text is looked at for an address once and then cased one
  // character at a time.
  const std::string_view whole = text;
  std::size_t lead = 0;
  while (lead < text.size() && isleadingblank(text[lead])) ++lead;
  text.remove_prefix(lead);
  if (buffer.size() < text.size()) buffer.resize(text.size());
  char* o = buffer.data();
  const char* in = text.data();
  std::size_t left = text.size();
  std::uint64_t after = 0x80;  // the first character is upper case
  for (; left >= 8; left -= 8, in += 8, o += 8) {
    std::uint64_t x;
    std::memcpy(&x, in, 8);
    if (needsslowroad(x)) break;
    x = caseeight(x, after);
    std::memcpy(o, &x, 8);
  }
  if (left > 0 && left < 8) {
    std::uint64_t x = loadshort(in, left);
    if (!needsslowroad(x)) {
      x = caseeight(x, after);
      copyshort(o, reinterpret_cast<const char*>(&x), left);
      o += left, left = 0;
    }
  }
  if (left > 0) {
    if (isaddress(text)) return whole;
    const std::size_t done = static_cast<std::size_t>(o - buffer.data());
    if (buffer.size() < done + mixedcaseroom(left)) buffer.resize(done + mixedcaseroom(left));
    const bool afterletter = done > 0 && isletterchar(in[-1]);
    o = mixedcaseutf8(in, in + left, buffer.data() + done, after != 0, afterletter);
  }
  return std::string_view(buffer.data(), static_cast<std::size_t>(o - buffer.data()));
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
