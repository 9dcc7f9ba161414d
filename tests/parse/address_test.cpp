#include "parse/address.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "parse/text.h"
#include "support/corpora.h"

namespace vesper {
namespace {

// Pieces exactly as the splitters return them, the blank in front included.
struct CityCase {
  std::string in, city, state, zip;
};

void expectpieces(const CityStateZip& c, const CityCase& e, const char* what) {
  EXPECT_EQ(c.City, e.city) << what << " City of '" << e.in << "'";
  EXPECT_EQ(c.State, e.state) << what << " State of '" << e.in << "'";
  EXPECT_EQ(c.Zip, e.zip) << what << " Zip of '" << e.in << "'";
}

void expectwithincapacity(const CityStateZip& c, const std::string& in) {
  EXPECT_LE(textlength(c.City), CityCapacity) << in;
  EXPECT_LE(textlength(c.State), StateCapacity) << in;
  EXPECT_LE(textlength(c.Zip), ZipCapacity) << in;
}

TEST(SplitCityState, CommaOrLastWord) {
  const CityCase cases[] = {
      {"Boston, MA", "Boston", " MA", ""},
      {"Boston,MA", "Boston", "MA", ""},
      {"Boston", "Boston", "", ""},
      {"Salt Lake City UT", "Salt Lake City", " UT", ""},
      {"  Salt Lake City   UT  ", "Salt Lake City", " UT", ""},
      {"Bismarck, North Dakota", "Bismarck", " North Dakota", ""},  // comma needs no region word
      {"Boston , MA, USA", "Boston ", " MA, USA", ""},             // the first comma decides
      {"Halifax Nova Scotia", "Halifax Nova", " Scotia", ""},
      {"Newark NJ", "Newark", " NJ", ""},  // a one-word city is never moved
      {"", "", "", ""},
      {" \t ", "", "", ""},
      {"Boston MA 02134", "Boston MA", " 02134", ""},  // no postal code taken here
  };
  for (const auto& c : cases) expectpieces(splitcitystate(c.in), c, "splitcitystate");
}

TEST(SplitCityState, EveryRegionWordKeepsTwoWordRegions) {
  const CityCase cases[] = {
      {"Albany New York", "Albany", " New  York", ""},
      {"Bismarck North Dakota", "Bismarck", " North  Dakota", ""},
      {"Pierre South Dakota", "Pierre", " South  Dakota", ""},
      {"Dili East Timor", "Dili", " East  Timor", ""},
      {"Charleston West Virginia", "Charleston", " West  Virginia", ""},
      {"Vancouver British Columbia", "Vancouver", " British  Columbia", ""},
      {"Vancouver BRITISH COLUMBIA", "Vancouver", " BRITISH  COLUMBIA", ""},
      {"Banjul The Gambia", "Banjul", " The  Gambia", ""},
      {"San Juan Puerto Rico", "San Juan", " Puerto  Rico", ""},
      {"Charlotte Amalie Virgin Islands", "Charlotte Amalie", " Virgin  Islands", ""},
      {"Basseterre Saint Kitts", "Basseterre", " Saint  Kitts", ""},
      // The last word only has to contain a region word.
      {"Newport News VA", "Newport", " News  VA", ""},
      {"Perth Western Australia", "Perth", " Western  Australia", ""},
      {"Yellowknife Northwest Territories", "Yellowknife", " Northwest  Territor", ""},
  };
  for (const auto& c : cases) expectpieces(splitcitystate(c.in), c, "splitcitystate");
}

TEST(MoveRegionWord, OnlyTheFirstMatchMoves) {
  struct Case { std::string city, state, newcity, newstate; };
  const Case cases[] = {
      {"Bismarck North", " Dakota", "Bismarck", " North  Dakota"},
      {"Bismarck", " Dakota", "Bismarck", " Dakota"},          // no blank, no tail
      {"Sioux Falls", " SD", "Sioux Falls", " SD"},            // no region word
      {"A New South", " Wales", "A New", " South  Wales"},     // one word per call
      {"City North", " Carolina-Long-Name", "City", " North  Carolina-Lon"},
  };
  for (const auto& c : cases) {
    std::string city = c.city;
    CityStateZip parts;
    parts.State = c.state;
    moveregionword(city, parts);
    EXPECT_EQ(city, c.newcity) << c.city;
    EXPECT_EQ(parts.State, c.newstate) << c.city;
  }
}

TEST(SplitCityStateZip, PostalCodeShapes) {
  const CityCase cases[] = {
      {"Boston MA 02134", "Boston", " MA", " 02134"},
      {"Boston, MA 02134-1234", "Boston", " MA", " 02134-1234"},  // just fits, blank counted
      {"Anytown CA 12345-6789-01", "Anytown", " CA", " 12345-6789"},
      {"Ottawa ON K1A 0B1", "Ottawa", " ON", " K1A  0B1"},
      {"London SW1A 1AA", "London", "", " SW1A  1AA"},
      {"Washington D.C. 20001", "Washington", "", " D.C.  2000"},
      {"St. Louis MO 63101", "St. Louis", " MO", " 63101"},
      {"New York, NY 10001", "New York", " NY", " 10001"},
      {"Fargo North Dakota 58102", "Fargo", " North  Dakota", " 58102"},
      {"Springfield", "Springfield", "", ""},
      {"02134", "02134", "", ""},                      // no blank: all city
      {"Boston MA", "Boston", " MA", ""},               // no digit, no full stop
      {"Place 1 2 3", "Place", " 1", " 2  3"},          // a third word is not looked at
      {"Boston MA   02134  ", "Boston", " MA", " 02134"},
      {"Portland ME.", "Portland", "", " ME."},         // a full stop is enough
      {"", "", "", ""},
      {"   ", "", "", ""},
  };
  for (const auto& c : cases) expectpieces(splitcitystatezip(c.in), c, "splitcitystatezip");
}

TEST(SplitAddress, CutAtTheLastBlankWithinTheWidth) {
  struct Case { std::string in; std::size_t width; std::string first, second; };
  const std::string fifty(50, 'x');
  const std::string wide = [] {
    std::string s;
    for (int i = 0; i < 45; ++i) s += "\xC3\xA9";
    return s;
  }();
  const Case cases[] = {
      {"1234 North Washington Boulevard, Suite 1200, Building C", 40,
       "1234 North Washington Boulevard, Suite", " 1200, Building C"},
      {"12 Main Street", 40, "12 Main Street", ""},
      {std::string(40, 'a'), 40, std::string(40, 'a'), ""},
      {fifty, 40, fifty.substr(0, 40), fifty.substr(40)},
      {std::string(40, 'a') + " b", 40, std::string(40, 'a'), " b"},  // blank at 41 unused
      {std::string(39, 'a') + " bc", 40, std::string(39, 'a'), " bc"},  // blank at 40 used
      {" " + std::string(45, 'a'), 40, "", " " + std::string(45, 'a')},
      {wide, 40, wide.substr(0, 80), wide.substr(80)},  // characters, not bytes
      {"", 40, "", ""},
      {"ab", 0, "", "ab"},
  };
  for (const auto& c : cases) {
    AddressLines l = splitaddress(c.in, c.width);
    EXPECT_EQ(l.First, c.first) << c.in;
    EXPECT_EQ(l.Second, c.second) << c.in;
  }
}

std::vector<std::string> readlines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

TEST(AddressSplitters, RealUsAddresses) {
  VESPER_NEEDS_CORPORA();
  const std::string dir = testing::corpora("names/usaddress/raw/");
  const auto raw = readlines(dir + "us50.test.raw");
  ASSERT_GT(raw.size(), 600u);
  for (const auto& line : raw) {
    for (std::size_t width : {40u, 20u, 1u}) {
      AddressLines l = splitaddress(line, width);
      EXPECT_EQ(l.First + l.Second, line);
      EXPECT_LE(textlength(l.First), width) << line;
    }
    expectwithincapacity(splitcitystatezip(line), line);
    expectwithincapacity(splitcitystate(line), line);
    EXPECT_TRUE(splitcitystate(line).Zip.empty());
  }

  // The tagged file gives each address's place (|5), state (|6) and ZIP (|7)
  // one per line; joined they make the city lines a source file would hold.
  std::size_t citylines = 0;
  std::string place, state, zip;
  auto flush = [&] {
    if (!place.empty() && !zip.empty()) {
      const std::string in = place + " " + state + " " + zip;
      CityStateZip c = splitcitystatezip(in);
      expectwithincapacity(c, in);
      // With a two-letter state code in front, a five-digit ZIP ends up whole.
      if (zip.size() == 5 && countdigits(zip) == 5) {
        EXPECT_EQ(trimleft(c.Zip), zip) << in;
      }
      ++citylines;
    }
    place.clear(), state.clear(), zip.clear();
  };
  for (const auto& line : readlines(dir + "us50.test.tagged")) {
    std::size_t bar = line.rfind(" |");
    if (bar == std::string::npos) {
      flush();
      continue;
    }
    const std::string text = line.substr(0, bar), tag = line.substr(bar + 2);
    std::string* into = tag == "5" ? &place : tag == "6" ? &state : tag == "7" ? &zip : nullptr;
    if (into) *into += (into->empty() ? "" : " ") + text;
  }
  flush();
  EXPECT_GT(citylines, 500u);
}

}  // namespace
}  // namespace vesper
