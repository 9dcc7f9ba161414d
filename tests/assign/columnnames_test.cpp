#include "assign/columnnames.h"

#include <gtest/gtest.h>

#include "assign/exportfile.h"
#include "support/corpora.h"

namespace vesper {
namespace {

TEST(ColumnNamesTest, NamesCompareWithoutCaseAccentsBlanksOrPunctuation) {
  struct Case { const char* name; const char* key; };
  const Case cases[] = {
      {"E-mail Address", "emailaddress"}, {"\xEF\xBB\xBF" "First Name", "firstname"},
      {"  PRÉNOM ", "prenom"},            {"Straße geschäftlich 2", "strassegeschaftlich2"},
      {"first_name", "firstname"},        {"Dép/Région (bureau)", "depregionbureau"},
  };
  for (const auto& c : cases) EXPECT_EQ(columnkey(c.name), c.key) << c.name;
}

TEST(ColumnNamesTest, MeaningsInSeveralLanguages) {
  struct Case { const char* name; ColumnRole role; Place place; int rank; };
  using R = ColumnRole;
  const Case cases[] = {
      {"Vorname", R::GivenName, Place::None, 0},      {"Prénom", R::GivenName, Place::None, 0},
      {"Nombre", R::GivenName, Place::None, 0},       {"Achternaam", R::FamilyName, Place::None, 0},
      {"Cognome", R::FamilyName, Place::None, 0},     {"Nom", R::FamilyName, Place::None, 0},
      {"Full Name", R::FullName, Place::None, 0},     {"Home ZipCode", R::Zip, Place::Home, 0},
      {"Business Postal Code", R::Zip, Place::Business, 0},
      {"Code postal (bureau)", R::Zip, Place::Business, 0},
      {"Mobile Phone", R::Phone, Place::None, 2},     {"Telefoon thuis", R::Phone, Place::Home, 3},
      {"Phone 12 - Value", R::Phone, Place::None, 0}, {"E-mail 3 - Value", R::Email, Place::None, 0},
      {"Adresse de messagerie 2", R::Email, Place::None, 0},
      {"Organization 1 - Name", R::Company, Place::None, 0},
      {"Address 2 - Type", R::KindOf, Place::None, 0},
      {"Notizen", R::Notes, Place::None, 0},          {"Description", R::Notes, Place::None, 0},
      {"Verjaardag", R::Birthday, Place::None, 0},    {"Gender", R::Known, Place::None, 0},
      // a name whose accented letters were lost in a wrong decoding
      {"Stra\uFFFDe gesch\uFFFDftlich", R::Street, Place::Business, 0},
      {"Lieblingsfarbe", R::Unknown, Place::None, 0},
  };
  for (const auto& c : cases) {
    ColumnMeaning m = meaningofcolumn(c.name);
    EXPECT_EQ(int(m.role), int(c.role)) << c.name;
    EXPECT_EQ(int(m.place), int(c.place)) << c.name;
    EXPECT_EQ(m.rank, c.rank) << c.name;
  }
  // A field's own name as the field spells it; spaced, it is no field name.
  EXPECT_STREQ(meaningofcolumn("addr1").field, "Addr1");
  EXPECT_EQ(meaningofcolumn("Phone 2").role, ColumnRole::Unknown);
  EXPECT_EQ(meaningofkind("* Work Fax").role, ColumnRole::Fax);
  EXPECT_EQ(meaningofkind("Mobile ::: Home").rank, 2);
}

TEST(ColumnNamesTest, HeaderLinesAgainstDataLines) {
  struct Case { std::vector<std::string> cells; bool header; };
  const Case cases[] = {
      {{"Primary Email"}, true},
      {{"First Name", "Last Name", "", ""}, true},
      // most columns known, a few of the export's own
      {{"First Name", "Last Name", "Loyalty Tier", "Email", "Favourite Colour", "City"}, true},
      {{"customernumber", "name", "street", "zipcode", "city", "cp_givenname"}, true},
      // data: words that are column names beside values that are not
      {{"John Smith", "Name", "City Hall", "Springfield"}, false},
      {{"Name", "City", "12 Main St"}, false},
      {{"First Name", "Last Name", "home@example.com"}, false},
      {{"Name", "Birthday", "15.03.1961"}, false},
      {{"Name", "Company", "Zip", "90210"}, false},
      {{"Name", "Phone", "555-1234"}, false},
      {{"Notes:"}, false},
      {{"", ""}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(isheaderline(c.cells), c.header) << c.cells[0];
}

TEST(ColumnNamesTest, ExportsWithoutAHeaderLine) {
  VESPER_NEEDS_CORPORA();
  auto us500 = testing::readExport(testing::corpora("csv/us-500/us-500.csv"));
  ASSERT_GT(us500.size(), 100u);
  EXPECT_TRUE(isheaderline(us500[0]));
  for (std::size_t r = 1; r < us500.size(); ++r) EXPECT_FALSE(isheaderline(us500[r])) << r;
  for (const char* file : {"palmdesktop-noheader-horde.csv", "thunderbird-noheader-horde.csv"}) {
    auto records = testing::readExport(std::string(VESPER_SOURCE_DIR) + "/tests/data/exports/" + file);
    ASSERT_FALSE(records.empty()) << file;
    for (const auto& r : records) EXPECT_FALSE(isheaderline(r)) << file;
  }
}

}  // namespace
}  // namespace vesper
