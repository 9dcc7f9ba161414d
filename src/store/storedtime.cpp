// Date and time texts as the table files store them (declared in fieldtypes.h).
#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "parse/text.h"
#include "store/fieldtypes.h"

namespace vesper {

namespace {
// "a<sep>b<sep>c" with `width` digits for a and two each for b and c (leading
// zeros) put at `out`; the end of what it put, or null (nothing put) when a
// number does not fit its width.
char* putthree(char* out, int a, int width, int b, int c, char sep) {
  if (a < 0 || a >= (width == 4 ? 10000 : 100) || b < 0 || b > 99 || c < 0 || c > 99) return nullptr;
  if (width == 4) {
    out[0] = static_cast<char>('0' + a / 1000);
    out[1] = static_cast<char>('0' + a / 100 % 10);
    out += 2;
    a %= 100;
  }
  out[0] = static_cast<char>('0' + a / 10);
  out[1] = static_cast<char>('0' + a % 10);
  out[2] = sep;
  out[3] = static_cast<char>('0' + b / 10);
  out[4] = static_cast<char>('0' + b % 10);
  out[5] = sep;
  out[6] = static_cast<char>('0' + c / 10);
  out[7] = static_cast<char>('0' + c % 10);
  return out + 8;
}

// As putthree, into a string; numbers outside those widths are written whole.
std::string threenumbers(int a, int width, int b, int c, char sep) {
  char buf[48];
  if (char* end = putthree(buf, a, width, b, c, sep)) return std::string(buf, end);
  std::snprintf(buf, sizeof buf, "%0*d%c%02d%c%02d", width, a, sep, b, sep, c);
  return buf;
}

char* putdate(char* out, int days) {
  int y, m, d;
  decodedate(days, y, m, d);
  return putthree(out, y, 4, m, d, '-');
}

char* puttime(char* out, double fraction) {
  int h, mi, s, ms;
  decodetime(fraction, h, mi, s, ms);
  return putthree(out, h, 2, mi, s, ':');
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

// Every value datetimecell refuses (and every year it writes whole) is left
// to it.
std::size_t datetimetextinto(FieldType type, double datetime, char* out) {
  int days;
  double fraction;
  if (!storabledatetime(datetime, days, fraction)) return 0;
  char* end = nullptr;
  switch (type) {
    case FieldType::Date: end = putdate(out, days); break;
    case FieldType::Time: end = puttime(out, fraction); break;
    case FieldType::Timestamp:
      end = putdate(out, days);
      if (end) {
        *end++ = ' ';
        end = puttime(end, fraction);
      }
      break;
    default: break;
  }
  return end ? static_cast<std::size_t>(end - out) : 0;
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
