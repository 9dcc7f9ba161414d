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
// Days of a year before each month (and, last, the whole year), in a common
// year and in a leap year.
constexpr int kDaysBefore[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// Days from 1 January 0001 (day 1) in the proleptic Gregorian calendar.
constexpr long daysfromepoch(int y, int m, int d) {
  long yy = y - 1;
  long n = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  n += kDaysBefore[leap ? 1 : 0][m < 1 ? 0 : m > 13 ? 12 : m - 1];
  return n + d;
}
constexpr long kZeroDay = daysfromepoch(1899, 12, 30);
constexpr long kLastDay = daysfromepoch(9999, 12, 31);
}  // namespace

int encodedate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return 0;
  // The year's leap-year test made once, for the month's length and the count.
  const unsigned yy = static_cast<unsigned>(y) - 1;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int* before = kDaysBefore[leap ? 1 : 0];
  if (d > before[m] - before[m - 1]) return 0;
  const long n = static_cast<long>(yy * 365 + yy / 4 - yy / 100 + yy / 400) + before[m - 1] + d;
  return static_cast<int>(n - kZeroDay);
}

void decodedate(int days, int& year, int& month, int& day) {
  long n = days + kZeroDay;  // 1 = 1 January 0001
  if (n < 1) n = 1;
  if (n <= kLastDay) {
    // Years counted from 1 March of the year 0, so that the leap day ends a
    // year: 400-year eras of 146097 days, years of 365 days with a leap day
    // every fourth (not every hundredth, every four-hundredth), and months
    // from March in a five-month rhythm of 153 days.
    const unsigned z = static_cast<unsigned>(n) + 305;  // days since 1 March 0000
    const unsigned era = z / 146097;
    const unsigned doe = z - era * 146097;
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return;
  }
  long d = n - 1;
  long y400 = d / 146097; d %= 146097;
  long y100 = d / 36524; if (y100 == 4) y100 = 3; d -= y100 * 36524;
  long y4 = d / 1461; d %= 1461;
  long y1 = d / 365; if (y1 == 4) y1 = 3; d -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  const int* before = kDaysBefore[isleapyear(year) ? 1 : 0];
  month = 1;
  while (month < 12 && d >= before[month]) ++month;
  day = static_cast<int>(d - before[month - 1]) + 1;
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
