#include "store/table.h"

#include <gtest/gtest.h>

#include <bitset>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "base/errors.h"
#include "parse/daycount.h"
#include "parse/text.h"
#include "store/tablewriter.h"
#include "store/tempfolder.h"

namespace vesper {
namespace {

using testing::RawConnection;
using testing::TempFolder;

std::vector<FieldDef> peoplefields() {
  return {
      {"Code", FieldType::Alpha, 8},    {"Name", FieldType::Alpha, 10},
      {"Zip", FieldType::Alpha, 11},    {"Notes", FieldType::Memo, 0},
      {"Born", FieldType::Date, 0},     {"At", FieldType::Time, 0},
      {"Stamp", FieldType::Timestamp, 0}, {"Qty", FieldType::Short, 0},
      {"Big", FieldType::Long, 0},      {"W", FieldType::Word, 0},
      {"Price", FieldType::Number, 0},  {"Cash", FieldType::Money, 0},
      {"Flag", FieldType::Logical, 0},  {"Id", FieldType::AutoInc, 0},
      {"Raw", FieldType::Bytes, 4},     {"Amount", FieldType::Bcd, 0},
  };
}

class TableTest : public ::testing::Test {
 protected:
  TempFolder dir;
  std::string path = dir.file("PEOPLE.DB");
  Table t;
  void SetUp() override {
    createtable(path, peoplefields(), "Code");
    t.open(dir.path(), "PEOPLE.DB");
  }
  void add(const std::string& code, const std::string& name = "") {
    t.newrow();
    t.field("Code").settext(code);
    if (!name.empty()) t.field("Name").settext(name);
    t.store();
  }
  std::vector<std::string> walk(const char* field = "Code") {
    std::vector<std::string> out;
    for (t.first(); !t.atend(); t.next()) out.push_back(t.field(field).astext());
    return out;
  }
};

TEST_F(TableTest, ReportsFieldsByPositionAndNameIgnoringCase) {
  ASSERT_EQ(t.fieldcount(), 16);
  EXPECT_EQ(t.fieldname(3), "Notes");
  EXPECT_EQ(t.fieldtype(3), FieldType::Memo);
  EXPECT_EQ(t.fielddef(1).size, 10);
  EXPECT_EQ(t.fieldtype(13), FieldType::AutoInc);
  EXPECT_EQ(t.keyfield(), 0);
  EXPECT_EQ(t.field("zIP").name(), "Zip");
  EXPECT_EQ(t.findfield("STAMP"), 6);
  EXPECT_EQ(t.findfield("Stam"), -1);
  try {
    t.field("Nickname");
    FAIL() << "missing field accepted";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Field 'Nickname' not found.");
  }
}

TEST_F(TableTest, TextColumnsKeepLeadingZerosInTheFile) {
  const char* values[] = {"02134", "007", "0", "00000000001"};
  int n = 0;
  for (const char* column : {"Code", "Name", "Zip", "Notes"}) {
    for (const char* v : values) {
      t.newrow();
      t.field("Code").settext("K" + std::to_string(n++));
      t.field(column).settext(v);
      std::string expected = cuttext(v, t.field(column).size() ? t.field(column).size() : 99);
      t.store();
      EXPECT_EQ(t.field(column).astext(), expected) << column;
      RawConnection raw(path);
      std::string where = " FROM people WHERE rowid = (SELECT MAX(rowid) FROM people)";
      EXPECT_EQ(raw.value(std::string("SELECT typeof(\"") + column + "\")" + where), "text") << column << " " << v;
      EXPECT_EQ(raw.value(std::string("SELECT \"") + column + "\"" + where), expected) << column;
    }
  }
}

TEST_F(TableTest, ValuesRoundTripInSqliteNaturalForm) {
  const double day = encodedate(2024, 2, 29);
  const double time = encodetime(13, 5, 9);
  struct Case {
    const char* field;
    std::function<void(Field)> write;
    const char* rawType;
    const char* rawValue;
    const char* text;
  };
  const Case cases[] = {
      {"Born", [&](Field f) { f.setdatetime(day + time); }, "text", "2024-02-29", "2024-02-29"},
      {"At", [&](Field f) { f.setdatetime(day + time); }, "text", "13:05:09", "13:05:09"},
      {"Stamp", [&](Field f) { f.setdatetime(day + time); }, "text", "2024-02-29 13:05:09", "2024-02-29 13:05:09"},
      {"Born", [](Field f) { f.settext("1850-07-04"); }, "text", "1850-07-04", "1850-07-04"},
      {"Qty", [](Field f) { f.settext(" -12 "); }, "integer", "-12", "-12"},
      {"Big", [](Field f) { f.setinteger(2000000000); }, "integer", "2000000000", "2000000000"},
      {"W", [](Field f) { f.setdouble(65534.6); }, "integer", "65535", "65535"},
      {"Price", [](Field f) { f.settext("1234.5"); }, "real", "1234.5", "1234.5"},
      {"Cash", [](Field f) { f.setdouble(-0.25); }, "real", "-0.25", "-0.25"},
      {"Amount", [](Field f) { f.setinteger(7); }, "integer", "7", "7"},  // NUMERIC affinity
      {"Amount", [](Field f) { f.settext("7.25"); }, "real", "7.25", "7.25"},
      {"Flag", [](Field f) { f.setbool(true); }, "integer", "1", "True"},
      {"Flag", [](Field f) { f.settext("false"); }, "integer", "0", "False"},
      {"Raw", [](Field f) { f.settext("abcdef"); }, "blob", "abcd", "abcd"},
      {"Name", [](Field f) { f.settext("Ünïcödé and more"); }, "text", "Ünïcödé an", "Ünïcödé an"},
  };
  int n = 0;
  for (const Case& c : cases) {
    t.newrow();
    std::string code = (n < 10 ? "R0" : "R") + std::to_string(n);
    ++n;
    t.field("Code").settext(code);
    c.write(t.field(c.field));
    t.store();
    EXPECT_EQ(t.field(c.field).astext(), c.text) << c.field;
    RawConnection raw(path);
    std::string where = " FROM people WHERE Code = '" + code + "'";
    EXPECT_EQ(raw.value(std::string("SELECT typeof(\"") + c.field + "\")" + where), c.rawType) << c.field;
    EXPECT_EQ(raw.value(std::string("SELECT \"") + c.field + "\"" + where), c.rawValue) << c.field;
  }
  // Typed reads of what was just stored.
  t.first();  // R0: Born and friends
  EXPECT_DOUBLE_EQ(t.field("Born").asdatetime(), day);
  t.next();
  EXPECT_NEAR(t.field("At").asdatetime(), time, 1e-9);
  t.next();
  EXPECT_NEAR(t.field("Stamp").asdatetime(), day + time, 1e-9);
  EXPECT_EQ(t.field("Stamp").asinteger(), static_cast<long long>(day));
}

TEST_F(TableTest, RefusesValuesTheFieldCannotHold) {
  t.newrow();
  struct Case { const char* field; std::function<void(Field)> write; const char* message; };
  const Case cases[] = {
      {"Qty", [](Field f) { f.settext("12x"); }, "'12x' is not a valid integer value"},
      {"Qty", [](Field f) { f.setinteger(40000); }, "Value 40000 is out of range for field 'Qty'."},
      {"W", [](Field f) { f.setinteger(-1); }, "Value -1 is out of range for field 'W'."},
      {"Price", [](Field f) { f.settext("1,5"); }, "'1,5' is not a valid floating point value"},
      {"Born", [](Field f) { f.settext("2023-02-29"); }, "'2023-02-29' is not a valid date or time."},
      {"Flag", [](Field f) { f.settext("maybe"); }, "'maybe' is not a valid boolean value"},
      {"Stamp", [](Field f) { f.setdatetime(3e6); }, "Field 'Stamp' of type timestamp cannot hold a date outside 0001-9999."},
      {"At", [](Field f) { f.setdatetime(NAN); }, "Field 'At' of type time cannot hold a date outside 0001-9999."},
  };
  for (const Case& c : cases) {
    try {
      c.write(t.field(c.field));
      ADD_FAILURE() << c.field << " accepted a bad value";
    } catch (const UserError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_FALSE(t.changed());
}

TEST_F(TableTest, PendingRowIsEmptyUntilWrittenAndDropLeavesNothing) {
  t.newrow();
  EXPECT_TRUE(t.ispending());
  EXPECT_FALSE(t.changed());
  for (int i = 0; i < t.fieldcount(); ++i) {
    EXPECT_TRUE(t.isnull(i)) << t.fieldname(i);
    EXPECT_EQ(t.astext(i), "") << t.fieldname(i);
  }
  t.field("Name").settext("Smith");
  EXPECT_TRUE(t.changed());
  EXPECT_EQ(t.field("name").astext(), "Smith");
  t.drop();
  EXPECT_FALSE(t.ispending());
  EXPECT_EQ(t.recordcount(), 0);
  EXPECT_TRUE(t.atend());
  EXPECT_THROW(t.field("Name").settext("x"), EngineError);  // no row pending
}

// textview gives what astext gives; text and blob cells are seen in place,
// not copied into the scratch string.
TEST_F(TableTest, PendingCellsAreSeenAsTheirText) {
  struct Case {
    const char* field;
    std::function<void(Field)> write;
    const char* text;
    bool inplace;
  };
  const Case cases[] = {
      {"Name", [](Field f) { f.settext("Smith"); }, "Smith", true},
      {"Notes", [](Field f) { f.settext("a long note\r\nof two lines"); }, "a long note\r\nof two lines", true},
      {"Born", [](Field f) { f.setdatetime(encodedate(2024, 2, 29) + 0.5); }, "2024-02-29", true},
      {"Stamp", [](Field f) { f.setdatetime(encodedate(1850, 7, 4) - 0.25); }, "1850-07-04 06:00:00", true},
      {"Raw", [](Field f) { f.settext("abcdef"); }, "abcd", true},
      {"Qty", [](Field f) { f.setinteger(-12); }, "-12", false},
      {"Flag", [](Field f) { f.setbool(true); }, "True", false},
      {"Name", [](Field f) { f.settext("Smith"); f.settext(""); }, "", false},
  };
  for (const Case& c : cases) {
    t.newrow();
    c.write(t.field(c.field));
    const int p = t.fieldindex(c.field);
    std::string scratch = "left over";
    const std::string_view v = t.textview(p, scratch);
    EXPECT_EQ(v, c.text) << c.field;
    EXPECT_EQ(v, t.astext(p)) << c.field;
    if (c.inplace) {
      EXPECT_EQ(scratch, "left over") << c.field;
    }
    t.drop();
  }
}

// Cells keep their storage from row to row: a shorter and a longer value of
// the next row are stored as given, and a value emptied again is stored NULL.
TEST_F(TableTest, ReusedPendingCellsStoreExactlyTheNewValues) {
  const double day = encodedate(2001, 9, 8);
  t.newrow();
  t.field("Code").settext("A1");
  t.field("Name").settext("Smithson");
  t.field("Zip").settext("1");
  t.field("Notes").settext("note");
  t.field("Born").setdatetime(day);
  t.store();
  t.newrow();
  t.field("Code").settext("A2");
  t.field("Name").settext("Li");
  t.field("Zip").settext("02134-0001");
  t.field("Notes").settext("draft");
  t.field("Notes").settext("");
  t.field("Born").setdatetime(day + 1);
  EXPECT_TRUE(t.changed());
  EXPECT_TRUE(t.isnull(t.fieldindex("Notes")));
  t.store();
  RawConnection raw(path);
  EXPECT_EQ(raw.value("SELECT Name || '|' || Zip || '|' || typeof(Notes) || '|' || Born FROM people WHERE Code = 'A2'"),
            "Li|02134-0001|null|2001-09-09");
  EXPECT_EQ(raw.value("SELECT Name || '|' || Zip || '|' || Notes || '|' || Born FROM people WHERE Code = 'A1'"),
            "Smithson|1|note|2001-09-08");
  // A row whose only write empties a field still counts as changed.
  t.newrow();
  t.field("Notes").settext("");
  EXPECT_TRUE(t.changed());
  t.drop();
}

TEST_F(TableTest, TakenKeyLeavesRowPendingAndANewKeyStoresIt) {
  add("A", "First");
  t.newrow();
  t.field("Code").settext("A");
  t.field("Name").settext("Second");
  try {
    t.store();
    FAIL() << "duplicate key stored";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Key violation"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(t.ispending());
  EXPECT_EQ(t.field("Name").astext(), "Second");
  t.field("Code").settext("B");
  t.store();
  EXPECT_FALSE(t.ispending());
  EXPECT_EQ(t.recordcount(), 2);
  EXPECT_EQ(walk("Name"), (std::vector<std::string>{"First", "Second"}));
}

TEST_F(TableTest, LastKeyBetweenFindsTheGreatestKeyInTheRange) {
  for (const char* code : {"AB1", "AB5", "AB9", "ABC", "B"}) add(code);
  t.writer().begingroup();
  add("AB7");  // a row of the open group counts too
  struct Case { const char* low; const char* high; const char* want; };
  const Case cases[] = {
      {"AB0", "AB9", "AB9"},  // both ends included
      {"AB0", "AB8", "AB7"},
      {"AB2", "AB4", ""},     // nothing between
      {"AB", "ABZ", "ABC"},
      {"A", "Z", "B"},
      {"C", "D", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(t.writer().lastkeybetween(c.low, c.high), c.want) << c.low << ".." << c.high;
  t.writer().commitgroup();
}

TEST_F(TableTest, WalksInKeyOrderAndEditsCurrentRow) {
  for (const char* k : {"C", "A", "D", "B"}) add(k, std::string("n") + k);
  EXPECT_EQ(walk(), (std::vector<std::string>{"A", "B", "C", "D"}));
  // Edit during a walk, as the statistics update does, and carry on.
  std::vector<std::string> seen;
  for (t.first(); !t.atend(); t.next()) {
    seen.push_back(t.field("Code").astext());
    if (t.field("Code").astext() == "B") {
      t.edit();
      EXPECT_EQ(t.field("Name").astext(), "nB");
      t.field("Big").setinteger(42);
      t.store();
      EXPECT_EQ(t.field("Big").asinteger(), 42);
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C", "D"}));
  RawConnection raw(path);
  EXPECT_EQ(raw.value("SELECT Big FROM people WHERE Code = 'B'"), "42");
  EXPECT_EQ(raw.value("SELECT Name FROM people WHERE Code = 'B'"), "nB");  // unwritten fields untouched
  EXPECT_EQ(t.recordcount(), 4);
}

TEST_F(TableTest, NumbersAutoincrementAlsoAfterAnotherProgramAdded) {
  add("A");
  add("B");
  EXPECT_EQ(t.field("Id").asinteger(), 2);
  RawConnection(path).exec("INSERT INTO people (Code, Id) VALUES ('X', 10)");
  add("C");
  EXPECT_EQ(t.field("Id").asinteger(), 11);
}

TEST_F(TableTest, GroupCommitsTogetherAndSurvivesAFailedStore) {
  add("A");
  t.writer().begingroup();
  add("B");
  add("C");
  EXPECT_THROW(add("A"), EngineError);
  t.drop();
  RawConnection other(path);
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM people"), "1");  // not committed yet
  t.writer().commitgroup();
  EXPECT_FALSE(t.writer().ingroup());
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM people"), "3");
  EXPECT_EQ(other.value("SELECT group_concat(Id) FROM (SELECT Id FROM people ORDER BY Id)"), "1,2,3");
}

// Rows whose written columns differ, one after the other, in and out of a
// group: each stores exactly its own values, every other column NULL (a
// shorter row after a longer one must not inherit the longer row's values).
TEST_F(TableTest, RowsWithDifferentColumnSetsStoreExactlyTheirValues) {
  struct RowCase {
    const char* code;
    std::vector<std::pair<const char*, const char*>> values;  // field, text
  };
  const std::vector<RowCase> rows = {
      {"A", {{"Name", "Ann"}, {"Zip", "02134"}, {"Notes", "one"}}},
      {"B", {}},
      {"C", {{"Zip", "99999"}, {"Qty", "7"}, {"Born", "2001-02-03"}}},
      {"D", {{"Name", "Dee"}}},
      {"E", {{"Name", "Eve"}, {"Zip", "1"}, {"Notes", "two"}, {"Qty", "9"}, {"Price", "1.5"},
             {"Flag", "true"}, {"At", "10:30"}, {"Raw", "abcd"}}},
      {"F", {{"Notes", "three"}}},
  };
  const char* shown[] = {"Name", "Zip", "Notes", "Qty", "Born", "Price", "Flag", "At", "Raw"};
  auto expected = [&](const RowCase& r, const char* field) -> std::string {
    for (const auto& [f, v] : r.values)
      if (std::string(f) == field) {
        if (std::string(f) == "Qty" || std::string(f) == "Flag") return std::string(f) == "Flag" ? "1" : v;
        if (std::string(f) == "At") return "10:30:00";
        return v;
      }
    return "<null>";
  };
  // Stored one by one, in a group, and packed then inserted (as the batch
  // writer does).
  enum Way { Alone, Grouped, Packed };
  for (Way way : {Alone, Grouped, Packed}) {
    const bool grouped = way != Alone;
    TempFolder other;
    std::string file = other.file("PEOPLE.DB");
    createtable(file, peoplefields(), "Code");
    Table u;
    u.open(other.path(), "PEOPLE.DB");
    if (grouped) u.writer().begingroup();
    std::vector<char> packed;
    for (const RowCase& r : rows) {
      u.newrow();
      u.field("Code").settext(r.code);
      for (const auto& [f, v] : r.values) u.field(f).settext(v);
      if (way != Packed) {
        u.store();
        continue;
      }
      packed.assign(u.row().packedsize(), '\0');
      u.row().packrow(packed.data());
      EXPECT_FALSE(u.ispending());
      u.writer().insert(PackedRow{packed.data(), packed.size()});
    }
    if (grouped) u.writer().commitgroup();
    RawConnection raw(file);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      std::string where = std::string(" FROM people WHERE Code = '") + rows[i].code + "'";
      EXPECT_EQ(raw.value("SELECT Id" + where), std::to_string(i + 1)) << rows[i].code;
      for (const char* f : shown)
        EXPECT_EQ(raw.value(std::string("SELECT ") + f + where), expected(rows[i], f))
            << rows[i].code << "." << f << (grouped ? " in a group" : "");
    }
  }
}

// A packed row stored with one value put in place of its own (the batch
// writer's next key step), with an empty value in place of one, and packed
// bytes that are cut short: the last is refused and stores nothing.  The
// emptied value comes first, so that the insert names no column for it and
// its packed bytes must be passed over to reach the values after it.
TEST_F(TableTest, PackedRowsTakeAReplacedValueAndRefuseBrokenBytes) {
  struct Case {
    const char* code;         // packed Code
    const char* replaceWith;  // nullptr: an empty value
    const char* field;        // the field replaced
    std::string storedCode, storedName;
  };
  const std::vector<Case> cases = {
      {"K3", nullptr, "Name", "K3", "<null>"},
      {"K1", "K2", "Code", "K2", "Kim"},
      {"K4", "Lee", "Name", "K4", "Lee"},
      {"K5", nullptr, "Name", "K5", "<null>"},
  };
  RawConnection raw(path);
  std::vector<char> packed;
  for (const Case& c : cases) {
    t.newrow();
    t.field("Code").settext(c.code);
    t.field("Name").settext("Kim");
    t.field("Notes").settext(std::string("note ") + c.code);
    t.field("Qty").settext("7");
    packed.assign(t.row().packedsize(), '\0');
    t.row().packrow(packed.data());
    int f = t.fieldindex(c.field);
    Cell replace = c.replaceWith ? textcell(t.fielddef(f), c.replaceWith) : Cell{};
    t.writer().insert(PackedRow{packed.data(), packed.size()}, f, replace);
    const std::string where = " FROM people WHERE Code = '" + c.storedCode + "'";
    EXPECT_EQ(raw.value("SELECT Name" + where), c.storedName) << c.code;
    EXPECT_EQ(raw.value("SELECT Notes" + where), std::string("note ") + c.code) << c.code;
    EXPECT_EQ(raw.value("SELECT Qty" + where), "7") << c.code;
  }
  EXPECT_EQ(raw.value("SELECT COUNT(*) FROM people WHERE Code = 'K1'"), "0");
  // Cut anywhere inside its values, the row is refused.
  t.newrow();
  t.field("Code").settext("CUT");
  t.field("Notes").settext("a longer note");
  t.field("Qty").settext("5");
  packed.assign(t.row().packedsize(), '\0');
  t.row().packrow(packed.data());
  for (std::size_t cut = 0; cut < packed.size(); ++cut)
    EXPECT_THROW(t.writer().insert(PackedRow{packed.data(), cut}), EngineError) << cut;
  EXPECT_EQ(raw.value("SELECT COUNT(*) FROM people"), "4");
  EXPECT_THROW(t.row().packrow(packed.data()), EngineError);  // no row pending any more
}

// With the journal copied back by a thread of its own: the table file
// grows while groups are committed (the commits copy nothing themselves),
// the journal starts over once it passes its limit instead of holding every
// group, and turning the copy off empties it.  Nothing is lost on the way.
TEST_F(TableTest, JournalCopiedBackInTheBackgroundStartsOverAtItsLimit) {
  namespace fs = std::filesystem;
  const long long limit = 2 << 20;
  const int groups = 24, rows = 1000;
  const std::string wal = path + "-wal";
  auto size = [](const std::string& f) { return fs::exists(f) ? static_cast<long long>(fs::file_size(f)) : 0LL; };
  dynamic_cast<TableWriter&>(t.writer()).setbackgroundcopy(true, limit);
  const long long fileBefore = size(path);
  long long largestJournal = 0;
  for (int g = 0; g < groups; ++g) {
    t.writer().begingroup();
    for (int r = 0; r < rows; ++r) {
      t.newrow();
      t.field("Code").settext("G" + std::to_string(g) + "R" + std::to_string(r));
      t.field("Notes").settext(std::string(200, static_cast<char>('a' + g % 26)));
      t.store();
    }
    t.writer().commitgroup();
    largestJournal = std::max(largestJournal, size(wal));
  }
  // The copier has copied groups back into the file by now, or soon.
  for (int i = 0; i < 500 && size(path) <= fileBefore; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GT(size(path), fileBefore);
  // About 250 KB a group: without starting over the journal would hold all
  // of them (6 MB).
  EXPECT_LT(largestJournal, limit + (2 << 20));
  t.writer().setbackgroundcopy(false);
  EXPECT_EQ(size(wal), 0);
  RawConnection raw(path);
  EXPECT_EQ(raw.value("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(raw.value("SELECT COUNT(*) FROM people"), std::to_string(groups * rows));
  EXPECT_EQ(raw.value("SELECT COUNT(DISTINCT Notes) FROM people"), "24");
}

// A column that another tool declared with a default still receives the
// row's own value, NULL included, as when every column was written.
TEST(TableDefaults, ColumnWithDefaultGetsTheRowsValueEvenWhenEmpty) {
  TempFolder dir;
  std::string path = dir.file("DEFS.DB");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE defs (Code VARCHAR(8) PRIMARY KEY, Kind VARCHAR(10) DEFAULT "
                             "'plain', Other VARCHAR(10))", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  Table t;
  t.open(dir.path(), "DEFS.DB");
  const char* kinds[] = {"", "fancy", ""};
  for (int n = 0; n < 3; ++n) {
    t.newrow();
    t.field("Code").settext("K" + std::to_string(n));
    t.field("Kind").settext(kinds[n]);
    t.field("Other").settext(*kinds[n] ? "x" : "");
    t.store();
  }
  RawConnection raw(path);
  EXPECT_EQ(raw.value("SELECT group_concat(coalesce(Kind, '-') || coalesce(Other, '-'), ',') FROM "
                      "(SELECT * FROM defs ORDER BY Code)"),
            "--,fancyx,--");
}

TEST_F(TableTest, AutoincrementInAGroupAfterAFailedStoreAndAfterTheGroup) {
  t.writer().begingroup();
  add("A");
  EXPECT_THROW(add("A"), EngineError);
  t.drop();
  add("B");
  t.writer().commitgroup();
  RawConnection(path).exec("INSERT INTO people (Code, Id) VALUES ('X', 20)");
  t.writer().begingroup();
  add("C");  // the new group reads the counter again
  add("D");
  t.writer().commitgroup();
  RawConnection raw(path);
  EXPECT_EQ(raw.value("SELECT group_concat(Code || Id, ',') FROM (SELECT * FROM people ORDER BY Id)"),
            "A1,B2,X20,C21,D22");
}

TEST_F(TableTest, LockThatDoesNotClearIsAClearError) {
  t.setbusytimeout(200);
  RawConnection other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE; INSERT INTO people (Code) VALUES ('Z')"), SQLITE_OK);
  t.newrow();
  t.field("Code").settext("A");
  auto start = std::chrono::steady_clock::now();
  try {
    t.store();
    FAIL() << "stored through a lock";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Table PEOPLE.DB is locked by another user or program; it did not become free within 0.2 seconds.");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_TRUE(t.ispending());
  EXPECT_EQ(t.recordcount(), 0);  // readers are not blocked by the writer
  other.exec("COMMIT");
  t.store();
  EXPECT_EQ(t.recordcount(), 2);
}

TEST_F(TableTest, NamesAndValuesNeverBecomeSql) {
  const std::string evil = "x'); DROP TABLE people; --";
  EXPECT_EQ(t.findfield(evil), -1);
  EXPECT_THROW(t.field(evil), EngineError);
  t.newrow();
  t.field("Code").settext("Q");
  t.field("Notes").settext(evil);
  t.field("Name").settext("\"; DROP");
  t.store();
  RawConnection raw(path);
  EXPECT_EQ(raw.value("SELECT Notes FROM people"), evil);
  EXPECT_EQ(raw.value("SELECT Name FROM people"), "\"; DROP");
  EXPECT_EQ(raw.value("SELECT COUNT(*) FROM sqlite_master WHERE name = 'people'"), "1");
}

TEST_F(TableTest, OpensByNameInAnyCaseAndReopeningIsHarmless) {
  t.newrow();
  t.field("Code").settext("P");
  t.open(dir.path(), "people.db");  // the same file: the pending row stays
  EXPECT_TRUE(t.ispending());
  t.store();
  Table second;
  second.open(dir.file("People.Db"));
  EXPECT_EQ(second.path(), path);
  EXPECT_EQ(second.recordcount(), 1);
  EXPECT_THROW(second.open(dir.path(), "MISSING.DB"), EngineError);
  EXPECT_FALSE(second.isopen());
}

TEST(TableFiles, RefusesFilesThatAreNotTablesAndExistingNames) {
  TempFolder dir;
  std::ofstream(dir.file("OLD.DB")) << "a Paradox header, not SQLite, long enough to be read as one";
  Table t;
  EXPECT_THROW(t.open(dir.path(), "OLD.DB"), EngineError);
  EXPECT_THROW(createtable(dir.file("old.db"), {{"A", FieldType::Alpha, 5}}), EngineError);
  const std::vector<std::vector<FieldDef>> bad = {
      {},
      {{"A", FieldType::Alpha, 0}},
      {{"A", FieldType::Alpha, 5}, {"a", FieldType::Long, 0}},
  };
  for (const auto& fields : bad) EXPECT_THROW(createtable(dir.file("NEW.DB"), fields), EngineError);
  EXPECT_THROW(createtable(dir.file("NEW.DB"), {{"A", FieldType::Alpha, 5}}, "B"), EngineError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("NEW.DB")));
}

}  // namespace
}  // namespace vesper
