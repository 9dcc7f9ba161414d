#include "parse/daycount.h"

#include <cmath>

namespace vesper {

bool isleapyear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysinmonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return days[m - 1] + (m == 2 && isleapyear(y) ? 1 : 0);
}

bool isvaliddate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysinmonth(y, m);
}

namespace {
// Days from 1 January 0001 (day 1) in the proleptic Gregorian calendar.
long daysfromepoch(int y, int m, int d) {
  long yy = y - 1;
  long n = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  for (int i = 1; i < m; ++i) n += daysinmonth(y, i);
  return n + d;
}
const long kZeroDay = daysfromepoch(1899, 12, 30);
}  // namespace

int encodedate(int y, int m, int d) {
  if (!isvaliddate(y, m, d)) return 0;
  return static_cast<int>(daysfromepoch(y, m, d) - kZeroDay);
}

void decodedate(int days, int& year, int& month, int& day) {
  long n = days + kZeroDay;  // 1 = 1 January 0001
  if (n < 1) n = 1;
  long d = n - 1;
  long y400 = d / 146097; d %= 146097;
  long y100 = d / 36524; if (y100 == 4) y100 = 3; d -= y100 * 36524;
  long y4 = d / 1461; d %= 1461;
  long y1 = d / 365; if (y1 == 4) y1 = 3; d -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  month = 1;
  while (d >= daysinmonth(year, month)) { d -= daysinmonth(year, month); ++month; }
  day = static_cast<int>(d) + 1;
}

double encodetime(int hour, int minute, int second, int msec) {
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
}

void decodetime(double fraction, int& hour, int& minute, int& second, int& msec) {
  double f = std::fabs(fraction - std::trunc(fraction));
  long ms = std::lround(f * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000); ms %= 3600000;
  minute = static_cast<int>(ms / 60000); ms %= 60000;
  second = static_cast<int>(ms / 1000);
  msec = static_cast<int>(ms % 1000);
}

double datetimeof(const LocalTime& t) {
  return encodedate(t.year, t.month, t.day) + encodetime(t.hour, t.minute, t.second, t.msec);
}

}  // namespace vesper
