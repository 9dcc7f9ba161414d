// Date and time texts as the table files store them (declared in fieldtypes.h).
#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "parse/text.h"
#include "store/fieldtypes.h"

namespace vesper {

namespace {
std::string trimmed(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}
}  // namespace

namespace {
// Writes `value` (0 .. 10^width - 1) as `width` digits with leading zeros.
char* putdigits(char* p, int value, int width) {
  for (int k = width - 1; k >= 0; --k, value /= 10) p[k] = static_cast<char>('0' + value % 10);
  return p + width;
}
}  // namespace

std::string datetext(double datetime) {
  int days;
  double fraction;
  splitdatetime(datetime, days, fraction);
  int y, m, d;
  decodedate(days, y, m, d);
  char buf[32];
  if (y < 0 || y > 9999 || m < 0 || m > 99 || d < 0 || d > 99) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
  }
  char* p = putdigits(buf, y, 4);
  *p++ = '-';
  p = putdigits(p, m, 2);
  *p++ = '-';
  p = putdigits(p, d, 2);
  return std::string(buf, p);
}

std::string timetext(double datetime) {
  int days;
  double fraction;
  splitdatetime(datetime, days, fraction);
  int h, mi, s, ms;
  decodetime(fraction, h, mi, s, ms);
  char buf[32];
  if (h < 0 || h > 99 || mi < 0 || mi > 99 || s < 0 || s > 99) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    return buf;
  }
  char* p = putdigits(buf, h, 2);
  *p++ = ':';
  p = putdigits(p, mi, 2);
  *p++ = ':';
  p = putdigits(p, s, 2);
  return std::string(buf, p);
}

std::string timestamptext(double datetime) { return datetext(datetime) + " " + timetext(datetime); }

namespace {
// Reads exactly `width` digits at `p`.
bool digits(std::string_view t, std::size_t& p, int width, int& out) {
  if (p + width > t.size()) return false;
  out = 0;
  for (int i = 0; i < width; ++i) {
    char c = t[p + i];
    if (!isdigitchar(c)) return false;
    out = out * 10 + (c - '0');
  }
  p += width;
  return true;
}

bool parsetime(std::string_view t, std::size_t& p, double& fraction) {
  int h, mi, s = 0, ms = 0;
  if (!digits(t, p, 2, h) || p >= t.size() || t[p] != ':') return false;
  ++p;
  if (!digits(t, p, 2, mi)) return false;
  if (p < t.size() && t[p] == ':') {
    ++p;
    if (!digits(t, p, 2, s)) return false;
    if (p < t.size() && t[p] == '.') {
      ++p;
      int scale = 100, n = 0;
      while (p < t.size() && isdigitchar(t[p])) {
        ms += (t[p] - '0') * scale;
        scale /= 10;
        ++p, ++n;
      }
      if (n == 0) return false;
    }
  }
  if (h > 23 || mi > 59 || s > 59) return false;
  fraction = encodetime(h, mi, s, ms);
  return true;
}
}  // namespace

bool parsedatetimetext(std::string_view text, double& datetime) {
  std::string t = trimmed(text);
  std::size_t p = 0;
  double fraction = 0;
  if (t.size() >= 3 && t[2] == ':') {
    if (!parsetime(t, p, fraction) || p != t.size()) return false;
    datetime = fraction;
    return true;
  }
  int y, m, d;
  if (!digits(t, p, 4, y) || p >= t.size() || t[p++] != '-' || !digits(t, p, 2, m) ||
      p >= t.size() || t[p++] != '-' || !digits(t, p, 2, d) || !isvaliddate(y, m, d))
    return false;
  if (p < t.size()) {
    if (t[p] != ' ' && t[p] != 'T') return false;
    ++p;
    if (!parsetime(t, p, fraction) || p != t.size()) return false;
  }
  double days = encodedate(y, m, d);
  datetime = days < 0 ? days - fraction : days + fraction;
  return true;
}

}  // namespace vesper
