#include "parse/mailblock.h"

#include <gtest/gtest.h>

#include "parse/countries.h"
#include "parse/text.h"
#include "support/fakes.h"

namespace vesper {
namespace {

MailSettings captions(std::string city = "City", std::string state = "State",
                      std::string zip = "Zip", std::string country = "Country") {
  MailSettings s;
  s.lblCity = std::move(city);
  s.lblState = std::move(state);
  s.lblZip = std::move(zip);
  s.lblCountry = std::move(country);
  return s;
}

MailRow johnsmith() {
  MailRow r;
  r.FirstName = "John";
  r.LastName = "Smith";
  r.Addr1 = "123 Main St";
  r.City = "Boston";
  r.State = "MA";
  r.Zip = "02134";
  return r;
}

struct NameCase {
  bool salut, honor;
  const char *salutvalue, *first, *last, *honorvalue, *expected;
};

TEST(MailName, SalutAndHonorSwitches) {
  const NameCase cases[] = {
      {false, false, "Dr.", "John", "Smith", "Jr.", "John Smith"},
      {true, false, "Dr.", "John", "Smith", "Jr.", "Dr. John Smith"},
      {true, false, "", "John", "Smith", "", "John Smith"},
      {false, true, "", "John", "Smith", "", "John Smith "},
      {false, true, "", "John", "Smith", "Jr.", "John Smith Jr."},
      {true, true, "Ms.", "Ann", "Lee", "PhD", "Ms. Ann Lee PhD"},
      {false, false, "", "", "Smith", "", " Smith"},
      {false, false, "", "John", "", "", "John "},
      {false, false, "", "", "", "", " "},
  };
  for (const auto& c : cases) {
    MailSettings s;
    s.FormatSalut = c.salut;
    s.FormatHonor = c.honor;
    MailRow r;
    r.Salut = c.salutvalue;
    r.FirstName = c.first;
    r.LastName = c.last;
    r.Honor = c.honorvalue;
    EXPECT_EQ(mailname(r, s), c.expected) << c.first << "/" << c.last;
  }
}

TEST(MailName, CutToSixtyCharacters) {
  MailRow r;
  r.FirstName = std::string(40, 'A');
  for (int i = 0; i < 40; ++i) r.LastName += "\xC3\xA9";  // 40 two-byte characters
  std::string name = mailname(r, MailSettings{});
  EXPECT_EQ(textlength(name), 60u);
  EXPECT_EQ(name.substr(0, 41), std::string(40, 'A') + " ");
  EXPECT_EQ(name.size(), 41u + 19u * 2u);  // cut on a character boundary
}

TEST(CaptionKey, FollowsTheDatabaseCaptions) {
  const std::pair<const char*, const char*> cases[] = {
      {"City", "<city>"},
      {"Province", "<province>"},
      {"", "<>"},
      {"Postal/Zip Code", "<postal/zip code>"},      // 15 characters: whole key
      {"Postal/Zip Code Area", "<postal/zip code>"},  // caption cut to 15 first
      {"\xC3\x89tat", "<\xC3\x89tat>"},               // only ASCII letters fold
  };
  for (const auto& [caption, key] : cases) EXPECT_EQ(captionkey(caption), key) << caption;
}

TEST(Placeholders, OrderAndValueCapacities) {
  MailRow r = johnsmith();
  r.Company = std::string(70, 'C');
  r.Dear = "Johnny";
  r.Country = "USA";
  PlaceholderTable t = makeplaceholders(r, captions("Town", "Province", "Postcode", "Nation"));
  const char* keys[] = {"<company>", "<name>",     "<title>",    "<address1>", "<address2>",
                        "<town>",    "<province>", "<postcode>", "<nation>",   "<dear>"};
  ASSERT_EQ(t.size(), 10u);
  for (std::size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].key, keys[i]);
  EXPECT_EQ(t[0].value, std::string(60, 'C'));
  EXPECT_EQ(t[1].value, "John Smith");
  EXPECT_EQ(t[5].value, "Boston");
  EXPECT_EQ(t[6].value, "MA");
  EXPECT_EQ(t[7].value, "02134");
  EXPECT_EQ(t[8].value, "USA");
  EXPECT_EQ(t[9].value, "Johnny");
}

struct FillCase {
  const char* line;
  const char* expected;
};

TEST(FillPlaceholders, PassesAndMatching) {
  MailRow r = johnsmith();
  r.Company = "Acme";
  r.Dear = "Johnny";
  const PlaceholderTable t = makeplaceholders(r, captions());
  const FillCase cases[] = {
      {"<name>", "John Smith"},
      {"<NAME>", "John Smith"},
      {"<Name>", "John Smith"},
      {"<city>, <state>  <zip>", "Boston, MA  02134"},
      {"<name> & <name>", "John Smith & John Smith"},
      {"<dear><dear><dear><dear><dear>", "JohnnyJohnnyJohnnyJohnny<dear>"},
      {"a < b <company>", "a < b Acme"},
      {"<province>", "<province>"},
      {"<address2>", ""},
      {"<title> <company>", " Acme"},
      {"no placeholders", "no placeholders"},
      {"<name", "<name"},
      {"\t<name>", "\tJohn Smith"},
      {"<<city>>", "<Boston>"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(fillplaceholders(c.line, t), c.expected) << c.line;
}

TEST(FillPlaceholders, ValuesHoldingKeysAreReplacedLater) {
  // A value that holds a later key is filled in the same pass; one that holds
  // an earlier key is filled in the next pass; its own key keeps recurring
  // until the passes run out.
  const PlaceholderTable t = {
      {"<a>", "<b>"}, {"<b>", "B"}, {"<c>", "<a>"}, {"<self>", "x<self>"}};
  EXPECT_EQ(fillplaceholders("<a>", t), "B");
  EXPECT_EQ(fillplaceholders("<c>", t), "B");
  EXPECT_EQ(fillplaceholders("<self>", t), "xxxx<self>");
}

TEST(FillPlaceholders, LineCapacity) {
  const PlaceholderTable t = {{"<v>", std::string(60, 'v')}};
  EXPECT_EQ(fillplaceholders(std::string(250, 'a'), t), std::string(200, 'a'));
  // The key at position 196 counts: the cut comes after the replacement.
  std::string line = std::string(195, 'a') + "<v>";
  EXPECT_EQ(fillplaceholders(line, t), std::string(195, 'a') + "vvvvv");
  // A key past the 200th character is cut away before any replacement.
  EXPECT_EQ(fillplaceholders(std::string(199, 'a') + "<v>", t), std::string(199, 'a') + "<");
  // Replacements that grow the line are cut to 200 characters every time.
  std::string four = "<v><v><v><v>";
  EXPECT_EQ(fillplaceholders(four, t), std::string(200, 'v'));
  // Characters, not bytes, count: 197 two-byte characters after the key.
  std::string utf = "<v>";
  for (int i = 0; i < 197; ++i) utf += "\xC3\xA9";
  std::string filled = fillplaceholders(utf, {{"<v>", "abcd"}});
  EXPECT_EQ(textlength(filled), 200u);
  EXPECT_EQ(filled.substr(0, 4), "abcd");
  EXPECT_EQ(filled.size(), 4u + 196u * 2u);
}

TEST(TemplateLines, AllLineBreaks) {
  using V = std::vector<std::string>;
  EXPECT_EQ(templatelines(""), V{});
  EXPECT_EQ(templatelines("a"), V{"a"});
  EXPECT_EQ(templatelines("a\r\nb\r\n"), (V{"a", "b"}));
  EXPECT_EQ(templatelines("a\nb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(templatelines("a\r\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(templatelines("a\n\rb"), (V{"a", "", "b"}));
}

// Six realistic layouts, with the captions a database that calls the state
// field "Province" would use.
AddressTemplates sixtemplates() {
  AddressTemplates t;
  t.FormatUS = "<name>\r\n<title>\r\n<company>\r\n<address1>\r\n<address2>\r\n"
               "<city>, <province>  <zip>\r\n";
  t.FormatCanada = "<name>\r\n<title>\r\n<company>\r\n<address1>\r\n<address2>\r\n"
                   "<city> <province>  <zip>\r\n<country>\r\n";
  t.FormatUK = "<name>\r\n<company>\r\n<address1>\r\n<address2>\r\n<CITY>\r\n"
               "<province>\r\n<zip>\r\n<country>\r\n";
  t.FormatLatin = "<name>\r\n<company>\r\n<address1>\r\n<address2>\r\n"
                  "<zip> <city> - <province>\r\n<COUNTRY>\r\n";
  t.FormatEurope = "<name>\r\n<company>\r\n<address1>\r\n<address2>\r\n"
                   "<zip> <city>\r\n<country>\r\n";
  t.FormatSpecial = "Attn: <dear>\r\n<company>\r\n<address1>\r\n<city>\r\n<country>";
  return t;
}

struct BlockCase {
  const char* what;
  MailRow row;
  int formatwhich;
  const char* expected;
};

TEST(MailBlock, RealisticContactsInEachFormat) {
  MailSettings s = captions("City", "Province", "Zip", "Country");
  s.FormatSalut = true;
  s.FormatHonor = false;
  const BlockCase cases[] = {
      {"US by ZIP, title and company",
       {"Acme Tools", "Mr.", "John", "Smith", "", "Buyer", "123 Main St", "", "Boston", "MA",
        "02134-1234", "", "John"},
       4,
       "Mr. John Smith\r\nBuyer\r\nAcme Tools\r\n123 Main St\r\nBoston, MA  02134-1234\r\n"},
      {"Canada by postcode",
       {"", "", "Marie", "Tremblay", "", "", "24 Sussex Dr", "Suite 2", "Ottawa", "ON",
        "K1A 0B1", "", "Marie"},
       4,
       "Marie Tremblay\r\n24 Sussex Dr\r\nSuite 2\r\nOttawa ON  K1A 0B1\r\n"},
      {"United Kingdom by country word",
       {"Widget Ltd", "Ms.", "Jane", "Doe", "", "", "10 High Street", "", "London", "",
        "SW1A 1AA", "England", "Jane"},
       4,
       "Ms. Jane Doe\r\nWidget Ltd\r\n10 High Street\r\nLondon\r\nSW1A 1AA\r\nEngland\r\n"},
      {"Mexico takes the Latin default",
       {"", "Sr.", "Juan", "Perez", "", "", "Av. Reforma 222", "Col. Juarez", "Mexico DF",
        "CDMX", "06600", "Mexico", "Juan"},
       3,
       "Sr. Juan Perez\r\nAv. Reforma 222\r\nCol. Juarez\r\n06600 Mexico DF - CDMX\r\n"
       "Mexico\r\n"},
      {"Germany takes the Europe default",
       {"M\xC3\xBCller GmbH", "", "Hans", "M\xC3\xBCller", "", "", "Hauptstra\xC3\x9F" "e 5",
        "", "Berlin", "", "10115", "Germany", "Hans"},
       4,
       "Hans M\xC3\xBCller\r\nM\xC3\xBCller GmbH\r\nHauptstra\xC3\x9F" "e 5\r\n10115 Berlin\r\n"
       "Germany\r\n"},
      {"Special default",
       {"Globex", "", "Ola", "Nordmann", "", "", "Karl Johans gate 1", "", "Oslo", "", "0154",
        "Norway", "Ola"},
       5, "Attn: Ola\r\nGlobex\r\nKarl Johans gate 1\r\nOslo\r\nNorway\r\n"},
  };
  const AddressTemplates t = sixtemplates();
  for (const auto& c : cases) {
    testing::RecordingMessages messages;
    s.FormatWhich = c.formatwhich;
    EXPECT_EQ(composemailblock(c.row, s, t, messages), c.expected) << c.what;
    EXPECT_TRUE(messages.shown.empty()) << c.what;
  }
}

TEST(MailBlock, BlankLinesAndLiteralText) {
  testing::RecordingMessages messages;
  AddressTemplates t;
  t.FormatUS = "<name>\r\n<title>\r\n<company>\r\n<address1>\r\n<address2>\r\n"
               "<city>, <state>  <zip>";
  // The documented example: empty title, company and second line vanish.
  EXPECT_EQ(composemailblock(johnsmith(), captions(), t, messages),
            "John Smith\r\n123 Main St\r\nBoston, MA  02134\r\n");

  // Only a last name: the name line keeps its leading blank and stays.
  MailRow lastonly;
  lastonly.LastName = "Smith";
  lastonly.Zip = "02134";
  EXPECT_EQ(composemailblock(lastonly, captions(), t, messages), " Smith\r\n,   02134\r\n");

  // Every line a placeholder with an empty value: the empty block.
  t.FormatUS = "<company>\r\n<title>\r\n   <address2>\r\n\r\n<dear>\r\n \b";
  EXPECT_EQ(composemailblock(MailRow{}, captions(), t, messages), "");
  // A tab is not blank, so a line holding one stays.
  t.FormatUS = "<company>\t\r\n<title>";
  EXPECT_EQ(composemailblock(MailRow{}, captions(), t, messages), "\t\r\n");
  // Captions decide the keys: with "Province" a "<state>" stays literal.
  t.FormatUS = "<city> <state>";
  EXPECT_EQ(composemailblock(johnsmith(), captions("City", "Province"), t, messages),
            "Boston <state>\r\n");
  // A missing template gives the empty block.
  EXPECT_EQ(composemailblock(johnsmith(), captions(), AddressTemplates{}, messages), "");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(MailBlock, LongCaptionPlaceholderLeavesNoTail) {
  testing::RecordingMessages messages;
  AddressTemplates t;
  t.FormatUS = "<city> <postal/zip code>";
  EXPECT_EQ(composemailblock(johnsmith(), captions("City", "State", "Postal/Zip Code"), t,
                             messages),
            "Boston 02134\r\n");
}

TEST(MailBlock, OutOfRangeDefaultFormat) {
  const AddressTemplates t = sixtemplates();
  MailSettings s = captions("City", "Province");
  s.FormatWhich = 6;
  testing::RecordingMessages messages;
  MailRow foreign = johnsmith();
  foreign.Country = "France";
  foreign.Zip = "75001";
  EXPECT_EQ(composemailblock(foreign, s, t, messages), "");
  EXPECT_EQ(composemailblock(foreign, s, t, messages), "");
  ASSERT_EQ(messages.shown.size(), 2u);  // once for every such contact
  EXPECT_EQ(messages.shown[0].kind, "plain");
  EXPECT_EQ(messages.shown[0].text, "ERROR! in format2field, f = 6");
  // A recognised country never reaches the bad default.
  EXPECT_EQ(composemailblock(johnsmith(), s, t, messages),
            "John Smith\r\n123 Main St\r\nBoston, MA  02134\r\n");
  EXPECT_EQ(messages.shown.size(), 2u);
  // A negative default falls back to the United States layout.
  s.FormatWhich = -1;
  EXPECT_EQ(composemailblock(foreign, s, t, messages),
            "John Smith\r\n123 Main St\r\nBoston, MA  75001\r\n");
}

TEST(MailBlock, RowValuesCutBeforeUse) {
  testing::RecordingMessages messages;
  AddressTemplates t;
  t.FormatEurope = "<country>";
  MailSettings s = captions();
  s.FormatWhich = 4;
  MailRow r;
  // Cut to 64 characters the country reads "USA" only when it is no longer.
  r.Country = std::string(64, 'x') + "USA";
  EXPECT_EQ(composemailblock(r, s, t, messages), std::string(60, 'x') + "\r\n");
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// The block as the placeholder language defines it, line by line, from the
// table of ten pairs (the composer must give the same text).
std::string referenceblock(const MailRow& row, const MailSettings& s, const AddressTemplates& t,
                           Messages& messages) {
  const PlaceholderTable table = makeplaceholders(row, s);
  const std::string field = format2field(
      chooseformat(cuttext(row.Zip, kMailValueCapacity), cuttext(row.Country, kMailValueCapacity),
                   s.FormatWhich),
      messages);
  std::string block;
  for (const std::string& line : templatelines(t.byfield(field))) {
    std::string filled = fillplaceholders(line, table);
    if (!isblank(filled)) block += filled + "\r\n";
  }
  return block;
}

// One composer serves a whole run: contacts of every format, values that hold
// keys, "<" and ">" that join literal text into keys, long and multi-byte
// values, repeated placeholders and empty rows, one after the other, each
// giving the block of the placeholder language, never text of the contact
// before.
TEST(MailBlockComposer, SameBlockAsThePlaceholderLanguageAcrossARun) {
  AddressTemplates t;
  t.FormatUS = "<NAME>\r\n<title>\r\n<company>\r\n<address1>\r\n<address2>\r\n<city>, <state>  <zip>";
  t.FormatCanada = "<name> & <name> & <name> & <name> & <name>\r\n<province> <zip>\r\n<country>";
  t.FormatUK = "<comp<name>\n<city>\r<zip>\r\n\r\n<country>\n";
  t.FormatLatin = "<zip> <city> <STATE>\r\n" + std::string(190, 'x') + "<address1><address2>";
  t.FormatEurope = "<dear>, <dear>\r\n<<company>>";
  t.FormatSpecial = "";
  MailSettings s = captions("City", "State", "Zip", "Country");
  s.FormatSalut = true;
  s.FormatHonor = true;
  s.FormatWhich = 3;
  std::vector<MailRow> rows;
  auto row = [&](std::string first, std::string last, std::string zip, std::string country) {
    MailRow r = johnsmith();
    r.FirstName = std::move(first);
    r.LastName = std::move(last);
    r.Zip = std::move(zip);
    r.Country = std::move(country);
    rows.push_back(r);
    return &rows.back();
  };
  row("John", "Smith", "02134", "USA")->Salut = "Dr.";
  row("Ann", "Lee", "K1A 0B1", "Canada")->Honor = "Jr.";
  row("any>", "Zed", "SW1A 1AA", "United Kingdom")->Company = "ACME";  // "<comp" + "any>" forms a key
  row("Eva", "<city>", "1010", "Austria")->Dear = "<company>";          // values holding keys
  row("Luis", "Gómez", "28001", "Mexico")->Addr1 = std::string(70, 'a') + "ñ";
  row("", "", "", "");
  row("Kim", "Park", "12345", "Korea")->Addr2 = "<zip><zip><zip><zip><zip>";
  row(std::string(80, 'F'), std::string(80, 'L'), "02134", "USA");
  MailRow empty;
  rows.push_back(empty);
  testing::QuietMessages quiet;
  MailBlockComposer composer(s, t);
  for (int round = 0; round < 2; ++round)
    for (const MailRow& r : rows)
      EXPECT_EQ(composer.compose(r, quiet), referenceblock(r, s, t, quiet))
          << r.FirstName << " " << r.LastName << " " << r.Country;
  // Captions in other letter case and a default format out of range.
  s = captions("Town", "PROVINCE", "Postal/Zip Code", "Nation");
  s.FormatWhich = 9;
  t.FormatUS = "<town> <province> <postal/zip code>\r\n<nation>";
  MailBlockComposer other(s, t);
  testing::RecordingMessages seen, expected;
  for (const MailRow& r : rows) EXPECT_EQ(other.compose(r, seen), referenceblock(r, s, t, expected));
  EXPECT_EQ(seen.texts(), expected.texts());
  EXPECT_FALSE(seen.texts().empty());
}

// Lines near the 200-character limit: the line is cut whenever it passes the
// limit while the keys are replaced one by one in key order, so a long value
// put in before a long key gives way to a short value can lose its tail even
// though the finished line would fit.
TEST(MailBlockComposer, CutsOnTheWayToTheFinishedLine) {
  MailSettings s = captions("City", "State", "Postal/Zip Code", "Country");
  MailRow r = johnsmith();
  r.FirstName = std::string(40, 'F');
  r.LastName = std::string(40, 'L');
  r.Zip = "1";
  r.Country = "USA";
  testing::QuietMessages quiet;
  for (std::size_t filler : {100u, 120u, 130u, 135u, 139u, 140u, 150u, 185u}) {
    AddressTemplates t;
    t.FormatUS = std::string(filler, 'x') + "<postal/zip code><name>\r\n<name>" + std::string(filler, 'y') +
                 "<postal/zip code>";
    MailBlockComposer composer(s, t);
    EXPECT_EQ(composer.compose(r, quiet), referenceblock(r, s, t, quiet)) << filler;
  }
}

}  // namespace
}  // namespace vesper
