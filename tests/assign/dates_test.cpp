#include "assign/dates.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "parse/daycount.h"

namespace vesper {
namespace {

struct DateCase {
  const char* text;
  int code;
  int pivot;
  int y, m, d;  // y == 0: the zero date
};

void checkdates(const std::vector<DateCase>& cases) {
  for (const DateCase& c : cases) {
    int expected = c.y == 0 ? 0 : encodedate(c.y, c.m, c.d);
    ASSERT_TRUE(c.y == 0 || expected != 0) << "bad test date " << c.text;
    EXPECT_EQ(datefromtext(c.text, c.code, c.pivot), expected)
        << "'" << c.text << "' code " << c.code << " pivot " << c.pivot;
  }
}

TEST(DateFromText, NumericCodes) {
  checkdates({
      {"991203", 1, 20, 1999, 12, 3},       {"1999/12/03", 1, 20, 1999, 12, 3},
      {"1999/12/03", 2, 20, 1999, 12, 3},   {"1999-12-03", 2, 20, 1999, 12, 3},
      {"19991203", 2, 20, 1999, 12, 3},     {"  1999 12 3", 2, 20, 1999, 12, 3},
      {"12/03/99", 3, 20, 1999, 12, 3},     {"12-04-99", 3, 20, 1999, 12, 4},
      {"1/5/97", 3, 20, 1997, 1, 5},        {"1.5.97", 3, 20, 1997, 1, 5},
      {"02/29/96", 3, 20, 1996, 2, 29},     {"12/03/1999", 3, 20, 1999, 12, 3},
      {"12-03-1999", 4, 20, 1999, 12, 3},   {"1/5/1999", 4, 20, 1999, 1, 5},
      {"12/03/99", 4, 20, 1999, 12, 3},     {"12/03/05", 4, 20, 2005, 12, 3},
      {"120399", 5, 20, 1999, 3, 12},       {"31/12/05", 5, 20, 2005, 12, 31},
      {"12-03-1999", 6, 20, 1999, 3, 12},   {"29.02.2000", 6, 20, 2000, 2, 29},
  });
}

TEST(DateFromText, MonthNameCodes) {
  checkdates({
      {"99 Dec 03", 7, 20, 1999, 12, 3},         {"1999 Dec 03", 7, 20, 1999, 12, 3},
      {"1999 December 03", 8, 20, 1999, 12, 3},  {"1999-dec 3", 8, 20, 1999, 12, 3},
      {"Dec 03 99", 9, 20, 1999, 12, 3},         {"sept 30 21", 9, 20, 1921, 9, 30},
      {"December 03 1994", 10, 20, 1994, 12, 3}, {"Dec 3 1994", 10, 20, 1994, 12, 3},
      {"  Dec. 03, 1994", 10, 20, 1994, 12, 3},  {"03 December 99", 11, 20, 1999, 12, 3},
      {"3 Dec 20", 11, 20, 2020, 12, 3},         {"03 Dec 1999", 12, 20, 1999, 12, 3},
      {"03 Api 1999", 12, 20, 1999, 4, 3},
  });
}

TEST(DateFromText, InvalidGivesZeroDate) {
  checkdates({
      // month word without a space after it, unknown, or missing
      {"1999 December03", 8, 20, 0, 0, 0}, {"99 Dec03", 7, 20, 0, 0, 0},
      {"Dec", 10, 20, 0, 0, 0},            {"03-Dec-1999", 12, 20, 0, 0, 0},
      {"1999 Dez 03", 8, 20, 0, 0, 0},     {"12 03 1999", 10, 20, 0, 0, 0},
      // impossible days and months, missing year, no digits, no format
      {"02/30/99", 3, 20, 0, 0, 0},        {"13/01/99", 3, 20, 0, 0, 0},
      {"31 Apr 1999", 12, 20, 0, 0, 0},    {"29/02/1900", 6, 20, 0, 0, 0},
      {"12/03", 3, 20, 0, 0, 0},           {"no date here", 4, 20, 0, 0, 0},
      {"1999/12/03", -1, 20, 0, 0, 0},     {"1999/12/03", 0, 20, 0, 0, 0},
      {"1999/12/03", 13, 20, 0, 0, 0},
  });
  for (int code = -1; code <= 13; ++code) EXPECT_EQ(datefromtext("", code), 0) << code;
}

TEST(DateFromText, TwoDigitYearsTakeTheirCenturyFromThePivot) {
  checkdates({
      {"211203", 1, 20, 1921, 12, 3}, {"201203", 1, 20, 2020, 12, 3},
      {"051203", 1, 20, 2005, 12, 3}, {"001203", 1, 20, 2000, 12, 3},
      {"511203", 1, 50, 1951, 12, 3}, {"501203", 1, 50, 2050, 12, 3},
      {"011203", 1, 0, 1901, 12, 3},  {"811203", 1, 80, 1981, 12, 3},
      {"03 Dec 50", 11, 50, 2050, 12, 3}, {"03 Dec 51", 11, 50, 1951, 12, 3},
  });
}

TEST(MonthFromName, Words) {
  struct { const char* word; int month; } cases[] = {
      {"january", 1}, {"Feb", 2}, {"MAR", 3}, {"April", 4}, {"Api", 4}, {"may", 5},
      {"June", 6}, {"jul", 7}, {"August", 8}, {"Sept", 9}, {"oct.", 10}, {"Nov", 11},
      {"december", 12}, {"Dec", 12}, {"DECEMBER", 12},
      {"De", 0}, {"Mai", 0}, {"", 0}, {"12Dec", 0}, {"Déc", 0},
  };
  for (auto& c : cases) EXPECT_EQ(monthfromname(c.word), c.month) << c.word;
}

TEST(TimeFromText, Readings) {
  struct { const char* text; int h, m, s; } cases[] = {
      {"14:05", 14, 5, 0},     {"2:05 PM", 14, 5, 0},   {"2:05p", 14, 5, 0},
      {"9:30pm", 21, 30, 0},   {"at 9:30", 9, 30, 0},   {"10:30:45", 10, 30, 45},
      {"10:30:45 PM", 22, 30, 45}, {"10:5:45", 10, 5, 4}, {"1745", 17, 45, 0},
      {"0930", 9, 30, 0},      {"930", 9, 30, 0},       {"9 30", 9, 30, 0},
      {"25:00", 0, 0, 0},      {"10:75", 10, 0, 0},     {"10:30:75", 10, 30, 0},
      {"9-30", 9, 0, 0},       {"12345", 0, 0, 0},      {"", 0, 0, 0},
      {"noon", 0, 0, 0},
      // Noon and after: "p" adds 12 only to morning hours.
      {"12:30 PM", 12, 30, 0}, {"12:00 pm", 12, 0, 0},  {"11:59 PM", 23, 59, 0},
      {"13:00 PM", 13, 0, 0},
      // "am" is not read: 12 AM stays 12.
      {"12:05 AM", 12, 5, 0},  {"9:15 am", 9, 15, 0},
  };
  for (auto& c : cases) {
    double t = timefromtext(c.text);
    EXPECT_DOUBLE_EQ(t, encodetime(c.h, c.m, c.s)) << c.text;
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 1.0);
  }
}

TEST(TimeFromText, MalformedPiecesRaiseTheConversionError) {
  struct { const char* text; const char* offending; } cases[] = {
      {"10:", ""},          {"10::30", ""},    {"10:30:", ""},  {"10:30.5", "30.5"},
      {"9.30", "9."},       {"930pm", "30p"},  {"930 pm", "30 "}, {"1.2:30", "1.2"},
      {"10:99999999999", "99999999999"},
  };
  for (auto& c : cases) {
    try {
      timefromtext(c.text);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const ConversionError& e) {
      EXPECT_EQ(std::string(e.what()),
                "'" + std::string(c.offending) + "' is not a valid integer value")
          << c.text;
    }
  }
}

}  // namespace
}  // namespace vesper
