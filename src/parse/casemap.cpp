#include "parse/casemap.h"

#include <utf8proc.h>

#include "parse/text.h"

namespace vesper {

namespace {
constexpr utf8proc_int32_t kCapitalSigma = 0x03A3;
constexpr utf8proc_int32_t kFinalSigma = 0x03C2;

// Marks that ride on the letter before them (accents written apart, joiners):
// they neither end a word's letters nor count as one.
bool ridesonletter(utf8proc_category_t k) {
  return k == UTF8PROC_CATEGORY_MN || k == UTF8PROC_CATEGORY_ME || k == UTF8PROC_CATEGORY_CF;
}

bool iscased(utf8proc_category_t k) {
  return k == UTF8PROC_CATEGORY_LU || k == UTF8PROC_CATEGORY_LL || k == UTF8PROC_CATEGORY_LT;
}

// True when a letter with case follows at `p`, marks riding on the sigma
// passed over.
bool casedletterfollows(const char* p, const char* end) {
  while (p < end) {
    utf8proc_int32_t c;
    const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(p), end - p, &c);
    if (n <= 0) return false;
    const utf8proc_category_t k = utf8proc_category(c);
    if (!ridesonletter(k)) return iscased(k);
    p += n;
  }
  return false;
}
}  // namespace

char* mixedcaseutf8(const char* in, const char* end, char* out, bool up, bool afterletter) {
  while (in < end) {
    const unsigned char b = static_cast<unsigned char>(*in);
    if (b < 0x80) {
      *out++ = up ? upperchar(*in) : lowerchar(*in);
      up = b == ' ';
      afterletter = isletterchar(*in);
      ++in;
      continue;
    }
    utf8proc_int32_t c;
    const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(in), end - in, &c);
    if (n <= 0) {  // not UTF-8: the byte as it is
      *out++ = *in++;
      up = afterletter = false;
      continue;
    }
    in += n;
    utf8proc_int32_t to;
    if (up)
      to = utf8proc_totitle(c);
    else if (c == kCapitalSigma && afterletter && !casedletterfollows(in, end))
      to = kFinalSigma;
    else
      to = utf8proc_tolower(c);
    out += utf8proc_encode_char(to, reinterpret_cast<utf8proc_uint8_t*>(out));
    const utf8proc_category_t k = utf8proc_category(c);
    if (!ridesonletter(k)) afterletter = iscased(k);
    up = false;
  }
  return out;
}

}  // namespace vesper
