// Date and time texts as the table files store them (declared in fieldtypes.h).
#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "parse/text.h"
#include "store/fieldtypes.h"

namespace vesper {

namespace {
// "a<sep>b<sep>c" with `width` digits for a and two each for b and c (leading
// zeros); numbers outside those widths are written whole.
std::string threenumbers(int a, int width, int b, int c, char sep) {
  char buf[48];
  if (a < 0 || a >= (width == 4 ? 10000 : 100) || b < 0 || b > 99 || c < 0 || c > 99) {
    std::snprintf(buf, sizeof buf, "%0*d%c%02d%c%02d", width, a, sep, b, sep, c);
    return buf;
  }
  char* p = buf;
  auto put = [&p](int value, int digits) {
    for (int k = digits - 1; k >= 0; --k, value /= 10) p[k] = static_cast<char>('0' + value % 10);
    p += digits;
  };
  put(a, width);
  *p++ = sep;
  put(b, 2);
  *p++ = sep;
  put(c, 2);
  return std::string(buf, p);
}
}  // namespace

std::string datetext(double datetime) {
  int days;
  double fraction;
  splitdatetime(datetime, days, fraction);
  int y, m, d;
  decodedate(days, y, m, d);
  return threenumbers(y, 4, m, d, '-');
}

std::string timetext(double datetime) {
  int days;
  double fraction;
  splitdatetime(datetime, days, fraction);
  int h, mi, s, ms;
  decodetime(fraction, h, mi, s, ms);
  return threenumbers(h, 2, mi, s, ':');
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
