#include "parse/countries.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace vesper {
namespace {

struct WordCase {
  const char* country;
  bool us, canada, uk;
};

TEST(CountryWords, EachSpellingAndNearMisses) {
  const WordCase cases[] = {
      {"US", true, false, false},
      {"usa", true, false, false},
      {"United States", true, false, false},
      {"UNITED STATES OF AMERICA", true, false, false},
      {"america", true, false, false},
      {"U.S.", true, false, false},
      {"U.S.A.", true, false, false},
      {"USA.", false, false, false},
      {" USA", false, false, false},
      {"USA ", false, false, false},
      {"Canada", false, true, false},
      {"can", false, true, false},
      {"UK", false, false, true},
      {"united kingdom", false, false, true},
      {"England", false, false, true},
      {"gb", false, false, true},
      {"G.B.", false, false, true},
      {"Great Britain", false, false, true},
      {"Wales", false, false, true},
      {"IRELAND", false, false, true},
      {"Scotland", false, false, true},
      {"Mexico", false, false, false},
      {"", false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isunitedstates(c.country), c.us) << c.country;
    EXPECT_EQ(iscanada(c.country), c.canada) << c.country;
    EXPECT_EQ(isunitedkingdom(c.country), c.uk) << c.country;
  }
}

struct ZipCase {
  const char* zip;
  bool us, canadian;
};

TEST(PostalCodeShapes, UsZipAndCanadianPostcode) {
  const ZipCase cases[] = {
      {"02134", true, false},
      {"2134", false, false},
      {"0213A", false, false},
      {"02134-1234", true, false},
      {"02134-1234 extra", true, false},
      {"02134 1234", false, false},
      {"021341234", false, false},
      {"0213-41234", false, false},
      {"02134-1234-56", true, false},
      {"02134-123456", false, false},
      {"02134-1234 56", false, false},
      {" 02134", false, false},
      {" 02134-1234", false, false},
      {"\xC3\xA9" "0213-41234", true, false},  // one character before: dash is 6th
      {"K1A 0B1", false, true},
      {"K1A0B1", false, true},
      {"1A2B3C", false, true},
      {"SW1A 1AA", false, false},
      {"K1A 0B12", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isuszip(c.zip), c.us) << c.zip;
    EXPECT_EQ(iscanadianpostcode(c.zip), c.canadian) << c.zip;
  }
}

struct FormatCase {
  const char* zip;
  const char* country;
  int formatwhich;
  int expected;
};

TEST(FormatChoice, CountryFirstThenPostalCodeThenDefault) {
  const FormatCase cases[] = {
      {"", "usa", 4, 0},
      {"", "United States of America", 4, 0},
      {"02134", "USA.", 4, 4},
      {"02134", "Canada", 4, 1},
      {"02134", "Mexico", 3, 3},
      {"K1A 0B1", "UK", 4, 2},
      {"", "Ireland", 4, 2},
      {"02134", "", 4, 0},
      {"02134-1234", "", 4, 0},
      {"K1A 0B1", "", 4, 1},
      {"SW1A 1AA", "", 5, 5},
      {" 02134", "", 3, 3},
      {"", "", 5, 5},
      {"", "", -1, 0},
      {"", "", 9, 9},
      {"02134", " ", 4, 4},  // a blank country is a country, and not a known one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(chooseformat(c.zip, c.country, c.formatwhich), c.expected)
        << "zip '" << c.zip << "' country '" << c.country << "'";
  }
  EXPECT_FALSE(countryformat("", "").has_value());
  EXPECT_FALSE(countryformat("02134", "Mexico").has_value());
  EXPECT_EQ(countryformat("K1A 0B1", ""), 1);
}

TEST(FormatField, NamesAndOutOfRangeMessage) {
  testing::RecordingMessages messages;
  const char* names[] = {"FormatUS",    "FormatCanada", "FormatUK",
                         "FormatLatin", "FormatEurope", "FormatSpecial"};
  for (int f = 0; f < 6; ++f) EXPECT_EQ(format2field(f, messages), names[f]);
  EXPECT_TRUE(messages.shown.empty());

  EXPECT_EQ(format2field(6, messages), "");
  EXPECT_EQ(format2field(-1, messages), "");
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].kind, "plain");
  EXPECT_EQ(messages.shown[0].text, "ERROR! in format2field, f = 6");
  EXPECT_FALSE(messages.shown[0].beeped);
  EXPECT_EQ(messages.shown[1].text, "ERROR! in format2field, f = -1");
  EXPECT_EQ(messages.beeps, 0);
}

}  // namespace
}  // namespace vesper
