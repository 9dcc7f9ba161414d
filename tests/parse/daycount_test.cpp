#include "parse/daycount.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

TEST(DayCount, KnownDays) {
  struct { int y, m, d, days; } cases[] = {
      {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {1900, 3, 1, 61},
      {2000, 2, 29, 36585}, {1999, 12, 3, 36497}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (auto& c : cases) {
    EXPECT_EQ(encodedate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    decodedate(c.days, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
  EXPECT_EQ(encodedate(1900, 2, 29), 0);
  EXPECT_EQ(encodedate(2023, 13, 1), 0);
}

TEST(DayCount, RoundTripsEveryDayOfFourCenturies) {
  for (int n = encodedate(1800, 1, 1); n < encodedate(2200, 1, 1); ++n) {
    int y, m, d;
    decodedate(n, y, m, d);
    ASSERT_EQ(encodedate(y, m, d), n);
  }
}

// Every day from 1 January 0001 to 31 December 9999, walked through the
// calendar: each day's count is one more than the day before's, and the count
// gives the day back.  Counts before the first day give the first day.
TEST(DayCount, EveryDayOfTheWholeRange) {
  int expected = encodedate(1, 1, 1);
  for (int y = 1; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= daysinmonth(y, m); ++d, ++expected) {
        ASSERT_EQ(encodedate(y, m, d), expected) << y << "-" << m << "-" << d;
        int yy, mm, dd;
        decodedate(expected, yy, mm, dd);
        ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d) << expected;
      }
    }
  }
  int y, m, d;
  decodedate(encodedate(1, 1, 1) - 5, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
}

TEST(DayFraction, RoundTrips) {
  int h, mi, s, ms;
  decodetime(encodetime(12, 30, 0), h, mi, s, ms);
  EXPECT_EQ(h * 10000 + mi * 100 + s, 123000);
  decodetime(encodetime(23, 59, 59, 999), h, mi, s, ms);
  EXPECT_EQ(h * 10000 + mi * 100 + s, 235959);
  EXPECT_EQ(ms, 999);
  EXPECT_DOUBLE_EQ(encodetime(6, 0, 0), 0.25);
}

}  // namespace
}  // namespace vesper
