#include "assign/recordkey.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "support/fakes.h"

namespace vesper {
namespace {

using vesper::testing::FixedClock;

LocalTime at(int y, int mo, int d, int h, int mi, int s, int ms) {
  LocalTime t;
  t.year = y; t.month = mo; t.day = d;
  t.hour = h; t.minute = mi; t.second = s; t.msec = ms;
  return t;
}

TEST(RecordKey, NamePieces) {
  struct { const char* company; const char* last; const char* piece; } cases[] = {
      {"Acme Widgets Ltd.", "O'Brien", "ACMEOBRI"},
      {"", "van der Berg", "VANDERBE"},
      {"Globex Corporation", "", "GLOBEXCO"},
      {"3M", "Smith-Jones", "3MSMIT"},
      {"AB", "Stone", "ABSTON"},
      {"", "Müller", "MLLER"},
      {"Ünïcødé GmbH", "", "NCDGMBH"},
      {"a1-b2", "", "A1B2"},
      {"", "", ""},
  };
  for (auto& c : cases)
    EXPECT_EQ(recordkeynamepiece(c.company, c.last), c.piece) << c.company << "/" << c.last;
}

TEST(RecordKey, WholeKeyFromTheClock) {
  FixedClock clock;
  clock.time = at(1999, 12, 3, 13, 2, 14, 500);
  EXPECT_EQ(recordkey("Acme Widgets Ltd.", "O'Brien", clock), "ACMEOBRI9912035432234");
  EXPECT_EQ(recordkey("", "", clock), "9912035432234");
  clock.time = at(2005, 1, 9, 6, 0, 0, 0);
  EXPECT_EQ(recordkey("", "Müller", clock), "MLLER0501092500000");
}

TEST(RecordKey, TimePiece) {
  struct { LocalTime t; const char* datetime; } cases[] = {
      {at(2000, 2, 29, 0, 0, 0, 0), "0002290000000"},
      {at(2000, 2, 29, 0, 0, 0, 9), "0002290000001"},     // one step is 8.64 ms
      {at(2000, 2, 29, 12, 0, 0, 0), "0002295000000"},
      {at(2000, 2, 29, 23, 59, 59, 999), "0002290000000"},  // rounds to 1.0000000
  };
  for (auto& c : cases) EXPECT_EQ(composerecordkey("", recordkeytime(c.t)), c.datetime);
}

TEST(RecordKey, SameStepGivesSameKeyAndNextStepAdvances) {
  RecordKeyTime a = recordkeytime(at(1999, 12, 3, 13, 2, 14, 500));
  RecordKeyTime b = recordkeytime(at(1999, 12, 3, 13, 2, 14, 503));
  EXPECT_EQ(composerecordkey("ACME", a), composerecordkey("ACME", b));
  RecordKeyTime later = nextrecordkeytime(a);
  EXPECT_EQ(composerecordkey("ACME", later), "ACME9912035432235");
  EXPECT_EQ(later, recordkeytime(at(1999, 12, 3, 13, 2, 14, 509)));

  RecordKeyTime last{encodedate(1999, 12, 31), RecordKeyStepsPerDay - 1};
  EXPECT_EQ(composerecordkey("", last), "9912319999999");
  EXPECT_EQ(composerecordkey("", nextrecordkeytime(last)), "0001010000000");
}

// Keys made in place are the keys composerecordkey gives; a piece longer
// than a name piece is left to it.
TEST(RecordKey, KeysMadeInPlace) {
  const RecordKeyTime moment{encodedate(1999, 12, 3), 5432234};
  struct { const char* piece; RecordKeyTime t; const char* key; } cases[] = {
      {"ACMEOBRI", moment, "ACMEOBRI9912035432234"},
      {"", moment, "9912035432234"},
      {"ac me", moment, "ACME9912035432234"},  // blanks dropped, upper case
      {"3M", {encodedate(2000, 1, 1), 0}, "3M0001010000000"},
      {"X", {encodedate(2009, 7, 4), -1}, "X0907049999999"},  // steps out of range wrap within the day
      {"X", {encodedate(2009, 7, 4), RecordKeyStepsPerDay + 7}, "X0907040000007"},
      {"OLD", {encodedate(1, 1, 1) - 366, 12}, "OLD0101010000012"},  // days before year 1 count as its first
  };
  for (auto& c : cases) {
    char key[kRecordKeyMax];
    const std::size_t n = composerecordkeyinto(key, c.piece, c.t);
    EXPECT_EQ(std::string(key, n), c.key) << c.piece;
    EXPECT_EQ(composerecordkey(c.piece, c.t), c.key) << c.piece;
  }
  struct { const char* piece; RecordKeyTime t; const char* key; } left[] = {
      {"ACMEWIDGETS", moment, "ACMEWIDGETS9912035432234"},
  };
  for (auto& c : left) {
    char key[kRecordKeyMax];
    EXPECT_EQ(composerecordkeyinto(key, c.piece, c.t), 0u) << c.piece;
    EXPECT_EQ(composerecordkey(c.piece, c.t), c.key) << c.piece;
  }
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// The time piece is the seven decimals "%0.7f" writes for the day fraction:
// every millisecond of the first and last minutes of a day and of every
// 37th second between them gives the step read back from that text.
TEST(RecordKeyTime, StepIsTheSevenDecimalsOfTheFraction) {
  auto written = [](const LocalTime& t) {
    double fraction = encodetime(t.hour, t.minute, t.second, t.msec);
    fraction -= std::floor(fraction);
    char text[32];
    std::snprintf(text, sizeof text, "%0.7f", fraction);
    long step = 0;
    for (const char* p = text + 2; *p; ++p) step = step * 10 + (*p - '0');
    return step;
  };
  int checked = 0;
  for (int second = 0; second < 86400; ++second) {
    bool whole = second < 60 || second >= 86340 || second % 37 == 0;
    for (int ms = 0; ms < 1000; ms += whole ? 1 : 999) {
      LocalTime t{2024, 2, 29, second / 3600, second / 60 % 60, second % 60, ms};
      ASSERT_EQ(recordkeytime(t).step, written(t)) << second << "." << ms;
      ++checked;
    }
  }
  EXPECT_GT(checked, 2000000);
}

}  // namespace
}  // namespace vesper
