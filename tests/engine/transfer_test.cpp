#include "engine/transfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "parse/daycount.h"
#include "store/fieldtypes.h"
#include "store/sampledata.h"
#include "store/table.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct TransferTest : ::testing::Test {
  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  RunState state{messages, clock, disk};
  fs::path dir = fs::temp_directory_path() / ("vesper-transfer-" + std::to_string(::getpid()));
  ContactTable contact;
  std::unique_ptr<RecordTransfer> transfer;
  IssueLog issues;
  MailSettings settings;  // assign() sets the captions; a test may set the switches

  void SetUp() override {
    fs::remove_all(dir);
    createsampledatafolder(dir.string());
    contact.open(dir.string(), "contact.db");
    state.TargetFieldCount = contact.fieldcount();
    state.DatabaseName = "MAIN";
    clock.time = {2026, 12, 7, 10, 30, 0, 0};
  }
  void TearDown() override {
    transfer.reset();
    contact.close();
    fs::remove_all(dir);
  }
  // Assigns slots 1.. to the given entries and makes the transfer.
  void assign(std::vector<std::string> entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      state.FieldAssignments[i + 1] = entries[i];
      int p = contact.findfield(entries[i]);
      if (p >= 0 && entries[i][0] != 'x') state.TargetFieldMarks[p] = 1;
    }
    state.SourceFieldCount = static_cast<int>(entries.size());
    settings.lblCity = "City"; settings.lblState = "State";
    settings.lblZip = "Zip"; settings.lblCountry = "Country";
    AddressTemplates t;
    t.FormatUS = "<name>\r\n<company>\r\n<address1>\r\n<address2>\r\n<city>, <state>  <zip>";
    transfer.reset();  // a new run: the last one's hold on the table's writer ends first
    transfer = std::make_unique<RecordTransfer>(state, contact, settings, t, dir.string(), issues);
  }
  // The record's values, field i being values[i - 1].
  struct Listed final : RecordTransfer::Values {
    const std::vector<std::string>& values;
    explicit Listed(const std::vector<std::string>& v) : values(v) {}
    std::string_view value(int i) override {
      return i >= 1 && i <= static_cast<int>(values.size()) ? std::string_view(values[i - 1])
                                                            : std::string_view();
    }
  };
  bool import(const std::vector<std::string>& values, long long record = 1) {
    Listed listed(values);
    return transfer->importonerecord(listed, record);
  }
  // Every stored row as field -> text.
  std::vector<std::map<std::string, std::string>> rows() {
    std::vector<std::map<std::string, std::string>> out;
    for (contact.first(); !contact.atend(); contact.next()) {
      std::map<std::string, std::string> r;
      for (int p = 0; p < contact.fieldcount(); ++p)
        if (!contact.isnull(p)) r[contact.fieldname(p)] = contact.astext(p);
      out.push_back(r);
    }
    return out;
  }
};

TEST_F(TransferTest, CombinedNameAndAddressFields) {
  assign({"x2firstlast", "x8addr1&2", "x5citystatezip", "x7zipsuffix", "Company"});
  transfer->mixed = true;
  ASSERT_TRUE(import({"MR. JOHN Q. SMITH JR.", "123 MAIN STREET APT 4B", "BOSTON, MA 02134",
                      "1234", "ACME WIDGETS"}));
  auto r = rows().at(0);
  EXPECT_EQ(r["Salut"], "Mr.");
  EXPECT_EQ(r["FirstName"], "John Q.");
  EXPECT_EQ(r["Dear"], "John");
  EXPECT_EQ(r["LastName"], "Smith");
  EXPECT_EQ(r["Honor"], "JR.");
  EXPECT_EQ(r["Addr1"], "123 Main Street Apt 4b");
  EXPECT_EQ(r["City"], "Boston");
  EXPECT_EQ(r["State"], "MA");
  EXPECT_EQ(r["Zip"], "02134 1234");
  EXPECT_EQ(r["Company"], "Acme Widgets");
  EXPECT_EQ(r["DB"], "MAIN");
  EXPECT_EQ(r["DateAdded"], "2026-12-07");
  EXPECT_EQ(r["TimeAdded"], "10:30:00");
  EXPECT_EQ(r["MailAddr"], "John Q. Smith\r\nAcme Widgets\r\n123 Main Street Apt 4b\r\nBoston, MA  02134 1234\r\n");
  EXPECT_EQ(r["SecondAddr"], r["MailAddr"]);
  EXPECT_EQ(r["Recno"].substr(0, 14), "ACMESMIT261207");
  EXPECT_EQ(r["Recno"].size(), 21u);
  EXPECT_EQ(state.AcceptedCount, 1);
  EXPECT_TRUE(messages.shown.empty()) << messages.texts().at(0);
}

TEST_F(TransferTest, DirectFieldsByType) {
  assign({"State", "Country", "Zip", "Honor", "Category", "Money1", "Num1", "Date1", "Memo",
          "Memo", "FirstName", "LastName"});
  struct Case {
    bool mixed;
    std::vector<std::string> values;
    std::map<std::string, std::string> want;
  };
  state.DateFormats[8] = 4;
  const Case cases[] = {
      {true, {"NY", "USA", "ab1 2cd", "phd", "b a, 3 A", "$1,234.50", "12abc", "12/03/1999",
              "first note", "second note", "JANE", "DOE"},
       {{"State", "NY"}, {"Country", "USA"}, {"Zip", "ab1 2cd"}, {"Honor", "phd"},
        {"Category", "AB3"}, {"Money1", "1234.5"}, {"Num1", "12"}, {"Date1", "1999-12-03"},
        {"Memo", "first note\r\nsecond note"}, {"FirstName", "Jane"}, {"Dear", "Jane"}}},
      {true, {"NEW YORK", "UNITED STATES", "", "", "", "$$5", "x", "99/99/1999", "", "", "", "ROE"},
       {{"State", "New York"}, {"Country", "United States"}, {"Money1", "0"}, {"Num1", "0"},
        {"LastName", "Roe"}}},
      {false, {"NEW YORK", "", "", "", "", "$12.5", "-7", "", "", "", "JANE", "DOE"},
       {{"State", "NEW YORK"}, {"Money1", "12.5"}, {"Num1", "-7"}, {"FirstName", "JANE"},
        {"Dear", "JANE"}}},
  };
  for (const auto& c : cases) {
    transfer->mixed = c.mixed;
    ASSERT_TRUE(import(c.values));
  }
  auto all = rows();
  ASSERT_EQ(all.size(), 3u);
  // Rows come back in key order; find each case's row by its Num1.
  int i = 0;
  for (const auto& c : cases) {
    const auto* found = static_cast<const std::map<std::string, std::string>*>(nullptr);
    for (auto& r : all)
      if (r.count("Num1") && r.at("Num1") == c.want.at("Num1")) found = &r;
    ASSERT_NE(found, nullptr) << "case " << i;
    for (const auto& [field, value] : c.want) EXPECT_EQ(found->count(field) ? found->at(field) : "<none>", value) << field << " case " << i;
    EXPECT_EQ(found->count("Date1") ? 1 : 0, i == 0 ? 1 : 0) << "an unreadable date stays empty";
    ++i;
  }
}

TEST_F(TransferTest, EmptyAndMemoOnlyRecords) {
  assign({"Company", "Memo"});
  EXPECT_FALSE(import({"", ""}));
  EXPECT_EQ(state.AcceptedCount, 0);
  EXPECT_TRUE(rows().empty());
  EXPECT_TRUE(import({"", "only a note"}));
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0]["Memo"], "only a note");
}

// Values of several lines: the memo keeps the lines, "(Address 1 & 2)" puts
// the first in Addr1 and the rest in Addr2, a one-line field joins them.
TEST_F(TransferTest, ValuesOfSeveralLinesFitTheirField) {
  assign({"Memo", "x8addr1&2", "Company", "x2firstlast"});
  state.SourceLayout.quoting = Quoting::Standard;
  ASSERT_TRUE(import({"call first\r\nthen write", "12 Main St\r\nBuilding B \r\n\r\nFloor 3",
                      "Acme\r\n Widgets", "Ann\r\nLee"}));
  auto r = rows().at(0);
  EXPECT_EQ(r["Memo"], "call first\r\nthen write");
  EXPECT_EQ(r["Addr1"], "12 Main St");
  EXPECT_EQ(r["Addr2"], "Building B, Floor 3");
  EXPECT_EQ(r["Company"], "Acme, Widgets");
  EXPECT_EQ(r["FirstName"], "Ann");
  EXPECT_EQ(r["LastName"], "Lee");
}

// Line breaks and blanks at a value's ends go as blanks do; a line that ends
// with a comma is joined to the next with a blank only.
TEST_F(TransferTest, LineBreaksAtTheEndsGoAndCommasAreNotDoubled) {
  struct Case {
    std::string name;
    std::vector<std::string> entries, values;
    std::map<std::string, std::string> want;  // "" for a field left empty
  };
  const Case cases[] = {
      {"memo only a line break", {"Company", "Memo"}, {"Acme", "\r\n"}, {{"Company", "Acme"}, {"Memo", ""}}},
      {"memo ending in one", {"Memo"}, {"PHP\r\nPerl\r\nPython\r\n"}, {{"Memo", "PHP\r\nPerl\r\nPython"}}},
      {"memo between blank lines", {"Memo"}, {"\r\n \r\n note\r\n\r\n"}, {{"Memo", "note"}}},
      {"one-line field, comma at a line end", {"Addr1"}, {"123, 12th Floor,\r\nMain Street"},
       {{"Addr1", "123, 12th Floor, Main Street"}}},
      {"comma after blanks", {"Company"}, {"Acme ,  \r\nWidgets\r\nLtd"}, {{"Company", "Acme , Widgets, Ltd"}}},
      {"address 1 & 2", {"x8addr1&2"}, {"1 High St\r\nUnit 4,\r\nBlock B\r\nRear,"},
       {{"Addr1", "1 High St"}, {"Addr2", "Unit 4, Block B, Rear,"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    state.TargetFieldMarks.fill(0);  // the last case's marks would keep Addr1 from the pieces
    state.SourceLayout.quoting = Quoting::Standard;
    assign(c.entries);
    ASSERT_TRUE(import(c.values));
    auto r = rows().at(0);
    for (const auto& [field, value] : c.want) EXPECT_EQ(r[field], value) << field;
  }
}

TEST_F(TransferTest, FailuresDropTheRowAndTheRunGoesOn) {
  assign({"Company", "Nickname", "TimeAdded"});
  EXPECT_FALSE(import({"ACME", "Bo", ""}, 7));
  EXPECT_FALSE(import({"ACME", "", "10:"}, 8));
  EXPECT_TRUE(import({"ACME", "", "2:05 pm"}, 9));
  std::vector<std::string> want = {
      "Record 7 was not imported: Field 'Nickname' not found.",
      "Record 8 was not imported: '' is not a valid integer value",
  };
  EXPECT_EQ(messages.texts(), want);
  ASSERT_EQ(issues.kept().size(), 2u);  // the failures are issues of their records
  EXPECT_EQ(issues.kept()[0].record, 7);
  EXPECT_EQ(issues.count(IssueKind::RecordFailed), 2);
  auto all = rows();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]["TimeAdded"], "10:30:00");  // the stamp wins over the assigned time
  EXPECT_EQ(state.AcceptedCount, 1);
}

// A value that does not fit its field never costs the contact: a whole
// number out of range and an unreadable date leave their field empty, a long
// text is cut, and each is counted against its field once the row is stored.
TEST_F(TransferTest, ValuesThatDoNotFitLeaveTheFieldEmptyAndAreCounted) {
  contact.close();
  auto fields = contactfields();
  fields.push_back({"Age", FieldType::Short, 0});
  fields.push_back({"Visits", FieldType::Word, 0});
  createtable((dir / "NUMBERS.DB").string(), fields, "Recno");
  contact.open(dir.string(), "NUMBERS.DB");
  state.TargetFieldCount = contact.fieldcount();
  assign({"LastName", "Age", "Visits", "LastLetterNo", "Title", "Date1"});
  state.DateFormats[6] = 4;
  struct Case { std::vector<std::string> values; std::map<std::string, std::string> want; };
  const Case cases[] = {
      {{"A", "40000", "-1", "99999999999", std::string(45, 't'), "31/02/1999"},
       {{"Age", "<none>"}, {"Visits", "<none>"}, {"LastLetterNo", "<none>"}, {"Title", std::string(40, 't')},
        {"Date1", "<none>"}}},
      {{"B", "-32768", "65535", "2,147,483,647", "Dr", "12/03/1999"},
       {{"Age", "-32768"}, {"Visits", "65535"}, {"LastLetterNo", "2147483647"}, {"Title", "Dr"},
        {"Date1", "1999-12-03"}}},
      {{"C", "32768", "abc", "", "", "x"}, {{"Age", "<none>"}, {"Visits", "0"}, {"Date1", "<none>"}}},
  };
  long long record = 0;
  for (const auto& c : cases) ASSERT_TRUE(import(c.values, ++record)) << c.values[0];
  EXPECT_TRUE(messages.texts().empty());
  for (const auto& row : rows()) {
    const Case* c = nullptr;
    for (const auto& k : cases) if (k.values[0] == row.at("LastName")) c = &k;
    ASSERT_NE(c, nullptr);
    for (const auto& [field, value] : c->want)
      EXPECT_EQ(row.count(field) ? row.at(field) : "<none>", value) << field << " of " << c->values[0];
  }
  std::map<std::string, std::vector<long long>> counted;
  for (const FieldNotes& n : issues.perfield()) counted[n.field] = {n.cut, n.unreadabledates, n.numbersnotfit};
  const std::map<std::string, std::vector<long long>> want = {
      {"Age", {0, 0, 2}}, {"Visits", {0, 0, 1}}, {"LastLetterNo", {0, 0, 1}}, {"Title", {1, 0, 0}},
      {"Date1", {0, 2, 0}}};
  EXPECT_EQ(counted, want);
  // Each is an issue of its record and field, with the value in its text.
  ASSERT_EQ(issues.kept().size(), 7u);
  const ImportIssue& age = issues.kept()[0];
  EXPECT_EQ(age.record, 1);
  EXPECT_EQ(age.field, "Age");
  EXPECT_EQ(age.kind, IssueKind::NumberOutOfRange);
  EXPECT_EQ(age.text, "'40000' does not fit the field; it was left empty");
  EXPECT_EQ(issues.kept().back().record, 3);
  EXPECT_EQ(issues.kept().back().text, "'x' is not a date; the field was left empty");
}

TEST_F(TransferTest, DirectAssignmentWinsOverCombinedPieces) {
  assign({"Dear", "x2firstlast", "x6middleinitial"});
  ASSERT_TRUE(import({"Johnny", "John Smith", "Q"}));
  auto r = rows().at(0);
  EXPECT_EQ(r["Dear"], "Johnny");
  EXPECT_EQ(r["FirstName"], "John Q");
}

// The name parts are stored without blanks at their ends, whichever splitter
// left one there, and the mailing block's name has one blank between parts.
TEST_F(TransferTest, NamePartsAreStoredWithoutEndBlanks) {
  struct Case {
    const char* code;
    const char* value;
    const char *first, *dear, *last, *honor, *mailname;
  };
  const Case cases[] = {
      {"x2firstlast", "Ms. Josephine Darakjy", "Josephine", "Josephine", "Darakjy", "",
       "Ms. Josephine Darakjy"},
      {"x2firstlast", "LENNA PAPROCKI", "Lenna", "Lenna", "Paprocki", "", "Lenna Paprocki"},
      {"x2firstlast", "MR. JOHN Q. SMITH JR.", "John Q.", "John", "Smith", "JR.",
       "Mr. John Q. Smith"},
      {"x3lastfirst", "Smith, John Q.", "John Q.", "John", "Smith", "", "John Q. Smith"},
      {"x3lastfirst", "Smith Jr., John", "John", "John", "Smith", "Jr.", "John Smith"},
  };
  for (const Case& c : cases) {
    SetUp();
    settings.FormatSalut = true;
    assign({c.code});
    transfer->mixed = true;
    ASSERT_TRUE(import({c.value})) << c.value;
    auto r = rows().at(0);
    EXPECT_EQ(r["FirstName"], c.first) << c.value;
    EXPECT_EQ(r["Dear"], c.dear) << c.value;
    EXPECT_EQ(r["LastName"], c.last) << c.value;
    EXPECT_EQ(r.count("Honor") ? r["Honor"] : "", c.honor) << c.value;
    const std::string block = r["MailAddr"];
    EXPECT_EQ(block.substr(0, block.find("\r\n")), c.mailname) << c.value;
    TearDown();
  }
}

TEST_F(TransferTest, KeysStayUniqueAndOrderedForOneName) {
  assign({"LastName"});
  // The clock stands still: every record wants the same key moment.
  for (int i = 0; i < 10000; ++i) ASSERT_TRUE(import({"Smith"}, i + 1));
  std::vector<std::string> keys;
  for (contact.first(); !contact.atend(); contact.next())
    keys.push_back(contact.astext(contact.fieldindex("Recno")));
  ASSERT_EQ(keys.size(), 10000u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
  EXPECT_EQ(keys.front(), "SMITH2612074375000");
}

TEST_F(TransferTest, KeysOfAnEarlierRunAheadOfTheClockAreStepped) {
  assign({"LastName"});
  // An earlier run used 200 steps ahead of a still clock for the same name.
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(import({"Smith"}, i + 1));
  std::string lastOfEarlier = contact.writer().lastkeybetween("SMITH", "SMITHZ");
  // A new run knows nothing of those keys and starts from the same moment.
  assign({"LastName"});
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(import({"Smith"}, i + 1)) << messages.texts().back();
  std::vector<std::string> keys;
  for (contact.first(); !contact.atend(); contact.next())
    keys.push_back(contact.astext(contact.fieldindex("Recno")));
  ASSERT_EQ(keys.size(), 205u);
  EXPECT_EQ(keys[199], lastOfEarlier);
  EXPECT_EQ(keys[200], "SMITH2612074375200");  // the step after the earlier run's last
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TransferTest, LowDiskStopsTheRun) {
  assign({"LastName"});
  disk.bytes = 9999;
  EXPECT_TRUE(import({"Smith"}));
  EXPECT_TRUE(state.ImportStopped);
  EXPECT_EQ(messages.shown.at(0).kind, "info");
  EXPECT_EQ(messages.shown.at(0).text, "Disk space less then 10k. No more records will be imported.");
}

// The free space is read after the first row and then only as often as the
// room above the limit requires: rows that really use their whole bound
// never take the disk below the limit unseen, and the run stops at the first
// reading under it.
TEST_F(TransferTest, FreeSpaceIsMeasuredAsOftenAsTheRoomLeftRequires) {
  struct Case {
    const char* what;
    long long startAbove;  // bytes free above the limit at the start
    long long perRow;      // bytes each stored row takes from the disk
    std::int64_t msPerRow; // clock ticks per row
    int rows;
    bool stops;
    int minReadings, maxReadings;
  };
  const Case cases[] = {
      {"plenty of room", 1LL << 40, kRowWriteBound, 0, 300, false, 1, 1},
      {"room for about 40 rows", 40 * kRowWriteBound, kRowWriteBound, 0, 300, true, 3, 12},
      {"rows smaller than their bound", 40 * kRowWriteBound, kRowWriteBound / 4, 0, 300, true, 3, 40},
      {"another program writes meanwhile (clock)", 1LL << 40, 0, 250, 40, false, 9, 11},
  };
  for (const Case& c : cases) {
    SetUp();
    assign({"LastName", "Company"});
    disk.bytes = kMinFreeSpaceForRecords + c.startAbove;
    disk.readings = 0;
    state.ImportStopped = false;
    int stored = 0;
    long long lowest = disk.bytes;
    for (int i = 0; i < c.rows && !state.ImportStopped; ++i) {
      ASSERT_TRUE(import({"Smith" + std::to_string(i), "Acme"}, i + 1)) << c.what;
      ++stored;
      lowest = std::min(lowest, disk.bytes);
      disk.bytes -= c.perRow;
      clock.tick += c.msPerRow;
    }
    EXPECT_EQ(state.ImportStopped, c.stops) << c.what;
    EXPECT_LE(disk.readings, c.maxReadings) << c.what;
    EXPECT_GE(disk.readings, c.minReadings) << c.what;
    // Never a row stored while the last reading would have shown too little room.
    EXPECT_GE(lowest, kMinFreeSpaceForRecords - c.perRow) << c.what;
    if (c.stops) {
      EXPECT_LT(stored, c.rows) << c.what;
      EXPECT_EQ(messages.texts().back(), "Disk space less then 10k. No more records will be imported.");
    }
    TearDown();
    transfer.reset();
    messages.shown.clear();
  }
}

// A contact table that spells the first-name field in lower case and has no
// salutation fields: direct assignments reach it, the derived fields report.
TEST_F(TransferTest, DerivedFieldsAreFoundByExactName) {
  transfer.reset();
  contact.close();
  fs::path other = dir / "other";
  fs::create_directories(other);
  createtable((other / "CONTACT.DB").string(),
              {{"DB", FieldType::Alpha, 20}, {"Recno", FieldType::Alpha, 24},
               {"firstname", FieldType::Alpha, 20}, {"LastName", FieldType::Alpha, 20},
               {"Honor", FieldType::Alpha, 20}, {"DateAdded", FieldType::Date, 0},
               {"TimeAdded", FieldType::Time, 0}},
              "Recno");
  contact.open(other.string(), "CONTACT.DB");
  state.TargetFieldCount = contact.fieldcount();
  assign({"FirstName", "x2firstlast"});
  ASSERT_TRUE(import({"Ann", "Dr. Bob Smith III"}));
  std::vector<std::string> want = {
      "Could not find the Salut field in the database",
      "Could not find the FirstName field in the database",
      "Could not find the Dear field in the database",
  };
  EXPECT_EQ(messages.texts(), want);
  for (auto& m : messages.shown) EXPECT_EQ(m.kind, "error");
  auto r = rows().at(0);
  EXPECT_EQ(r["firstname"], "Ann");  // the direct assignment; no Dear derived from it
  EXPECT_EQ(r["LastName"], "Smith");
  EXPECT_EQ(r["Honor"], "III");
}

TEST(LeadingNumbers, TakeTheNumericStart) {
  EXPECT_EQ(leadinginteger("  42abc"), 42);
  EXPECT_EQ(leadinginteger("-7"), -7);
  EXPECT_EQ(leadinginteger("abc"), 0);
  EXPECT_EQ(leadinginteger("+"), 0);
  EXPECT_DOUBLE_EQ(leadingdouble(" 12.50 USD"), 12.5);
  EXPECT_DOUBLE_EQ(leadingdouble(".5"), 0.5);
  EXPECT_DOUBLE_EQ(leadingdouble("."), 0);
  EXPECT_DOUBLE_EQ(leadingdouble("2e3x"), 2000);
  bool fits = true;
  EXPECT_DOUBLE_EQ(leadingdouble("1e999", &fits), 0);
  EXPECT_FALSE(fits);
}

// Commas between groups of three digits are thousands separators; any other
// comma ends the number as before.
TEST(LeadingNumbers, ThousandsSeparators) {
  struct Case { const char* text; double real; long long whole; };
  const Case cases[] = {
      {"1,234.56", 1234.56, 1234},   {"12,345", 12345, 12345},     {"-1,234,567.5", -1234567.5, -1234567},
      {"999,999 kr", 999999, 999999}, {"1,23", 1, 1},               {"1,2345", 1, 1},
      {"1234,567", 1234, 1234},      {"1,234,56", 1, 1},           {"0,123", 0, 0},
      {"1,234,", 1234, 1234},        {",123", 0, 0},               {"1,234e2", 123400, 1234},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(leadingdouble(c.text), c.real) << c.text;
    EXPECT_EQ(leadinginteger(c.text), c.whole) << c.text;
  }
}

}  // namespace
}  // namespace vesper
