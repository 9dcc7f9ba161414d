#include "assign/catalogue.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

std::vector<FieldDef> contactfields(std::vector<std::string> names) {
  std::vector<FieldDef> out;
  for (auto& n : names) out.push_back({n, FieldType::Alpha, 20});
  return out;
}

std::vector<std::string> labelsof(const std::vector<CatalogueEntry>& list) {
  std::vector<std::string> out;
  for (auto& e : list) out.push_back(e.text.substr(0, e.text.find("  ")) + "|" + e.name);
  return out;
}

struct CatalogueTest : ::testing::Test {
  std::array<int, 211> marks{};
  CatalogueLabels labels;
  void SetUp() override {
    labels.settings.set("lblCity", "Town  ");
    labels.settings.set("lblState", "Province");
    labels.settings.set("lblZip", "Postcode");
    labels.settings.set("lblCountry", "");
    labels.settings.set("LblAssistant", "Helper");
    labels.database.set("Date1", "Birthday");
    labels.database.set("User1", "   ");
  }
};

TEST_F(CatalogueTest, LabelsFromTheDatabaseRowAndSettings) {
  struct Case { const char* name; const char* label; };
  const Case cases[] = {
      {"Date1", "Birthday"}, {"User1", "User1"},   {"User2", "User2"},
      {"City", "Town"},      {"Country", ""},      {"Assistant", "Helper"},
      {"Memo", "Description"}, {"customid", "Contacts"}, {"eventdatetime", "Date/Time"},
      {"LastName", "LastName"}, {"city", "city"},  {"User11", "User11"},
  };
  for (const auto& c : cases) EXPECT_EQ(fieldlabel(c.name, labels), c.label) << c.name;
  labels.database.set("Num3", std::string(50, 'n'));
  EXPECT_EQ(fieldlabel("Num3", labels), std::string(40, 'n'));
}

TEST_F(CatalogueTest, EntriesInOrderWithTheirAnchors) {
  auto fields = contactfields({"DB", "Recno", "FirstName", "LastName", "Addr1", "Addr2",
                               "City", "State", "Zip", "Country", "Category", "Memo"});
  auto list = loadfieldlist(fields, marks, labels);
  std::vector<std::string> want = {
      "(Not used)|x1notused", "FirstName|FirstName", "(Middle Initial)|x6middleinitial",
      "(First & Last)|x2firstlast", "(Last & First)|x3lastfirst", "LastName|LastName",
      "Addr1|Addr1", "Addr2|Addr2", "(Address 1 & 2)|x8addr1&2", "Town|City",
      "Province|State", "Postcode|Zip", "(Zip Suffix)|x7zipsuffix",
      "(City & State)|x4citystate", "(City, State & Zip)|x5citystatezip", "|Country",
      "Description|Memo",
  };
  EXPECT_EQ(labelsof(list), want);
  EXPECT_EQ(list[0].text, "(Not used)" + std::string(37, ' ') + "x1notused");
  EXPECT_EQ(list[1].text, "FirstName" + std::string(37, ' ') + "FirstName");
  EXPECT_EQ(list[2].text, "(Middle Initial)" + std::string(30, ' ') + "x6middleinitial");
  EXPECT_EQ(list[15].text, std::string(37, ' ') + "Country");
  for (auto& e : list) EXPECT_EQ(entryname(e.text), e.name);
}

TEST_F(CatalogueTest, MarksTakeEntriesOut) {
  auto fields = contactfields({"FirstName", "LastName", "Memo", "Zip"});
  marks[0] = 1;    // FirstName assigned directly
  marks[2] = 1;    // Memo stays on offer
  marks[202] = 2;  // (First & Last) blocked
  marks[203] = 2;
  marks[205] = 1;  // (City, State & Zip) used
  marks[207] = 1;
  auto got = labelsof(loadfieldlist(fields, marks, labels));
  std::vector<std::string> want = {
      "(Not used)|x1notused", "(Middle Initial)|x6middleinitial", "LastName|LastName",
      "Description|Memo", "Postcode|Zip", "(City & State)|x4citystate",
  };
  EXPECT_EQ(got, want);
}

TEST_F(CatalogueTest, NoAnchorNoCombinedEntries) {
  auto got = labelsof(loadfieldlist(contactfields({"LastName", "Addr1", "Phone"}), marks, labels));
  std::vector<std::string> want = {"(Not used)|x1notused", "LastName|LastName", "Addr1|Addr1",
                                   "Phone|Phone"};
  EXPECT_EQ(got, want);
}

TEST(Codes, LabelsAndKinds) {
  EXPECT_EQ(codelabel("x5citystatezip"), "(City, State & Zip)");
  EXPECT_EQ(codelabel("x8"), "(Address 1 & 2)");
  EXPECT_EQ(codelabel("x9"), "");
  EXPECT_TRUE(iscombinedcode("x1notused"));
  EXPECT_FALSE(iscombinedcode("Xray"));
  EXPECT_TRUE(isrenamablefield("User10"));
  EXPECT_FALSE(isrenamablefield("User0"));
  EXPECT_FALSE(isrenamablefield("Money6"));
  EXPECT_TRUE(issystemfield("LastLetterNo"));
  EXPECT_FALSE(issystemfield("recno"));
}

// The combined fields are read from their spelling on disk, exactly.
TEST(CombinedCodes, ReadFromTheirSpellingOnDisk) {
  const std::pair<const char*, Combined> cases[] = {
      {"x1notused", Combined::NotUsed},         {"x2firstlast", Combined::FirstLast},
      {"x3lastfirst", Combined::LastFirst},     {"x4citystate", Combined::CityState},
      {"x5citystatezip", Combined::CityStateZip}, {"x6middleinitial", Combined::MiddleInitial},
      {"x7zipsuffix", Combined::ZipSuffix},     {"x8addr1&2", Combined::Addr1And2},
      {"x2firstlas", Combined::None},           {"X2FIRSTLAST", Combined::None},
      {"x9", Combined::None},                   {"FirstName", Combined::None},
  };
  for (const auto& [entry, want] : cases) EXPECT_EQ(combinedof(entry), want) << entry;
}

}  // namespace
}  // namespace vesper
