// Paradox table reader: real tables of many versions (values checked by hand
// and against an independent reader), hand-made tables and memo files for the
// structures and encodings the real ones lack, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/errors.h"
#include "parse/daycount.h"
#include "base/errors.h"
#include "source/formats/paradox.h"
#include "source/formats/paradoxblob.h"
#include "source/formats/paradoxfield.h"
#include "support/corpora.h"

namespace fs = std::filesystem;
using namespace vesper;

namespace {

const std::string kPx = vesper::testing::corpora("paradox/");

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "paradoxtest-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return p;
  }

 private:
  std::string path_;
};

// Every value of every row, so that a bad reference or offset shows up.
long long walkall(SourceTableFile& t) {
  long long rows = 0;
  for (t.first(); !t.atend(); t.next(), ++rows)
    for (int c = 0; c < int(t.columns().size()); ++c) t.value(c);
  return rows;
}

// The row `n` (from 0) of a table.
std::vector<TableValue> row(SourceTableFile& t, int n) {
  t.first();
  for (int i = 0; i < n && !t.atend(); ++i) t.next();
  std::vector<TableValue> out;
  for (int c = 0; c < int(t.columns().size()); ++c) out.push_back(t.value(c));
  return out;
}

double at(int h, int m, int s) { return encodetime(h, m, s); }

// The tests over the real tables.
struct ParadoxCorpus : ::testing::Test {
  void SetUp() override { VESPER_NEEDS_CORPORA(); }
};

}  // namespace

// ---------------------------------------------------------------- real files

TEST_F(ParadoxCorpus, EveryTableOpensWithItsRowCountOrIsRefusedAsEncrypted) {
  // Row counts agree with the independent reader.
  const std::map<std::string, long long> rows = {
      {"paradoxReader/AREA-PDX/AREACODE.DB", 135}, {"paradoxReader/CONTACTS.DB", 55},
      {"paradoxReader/CUSTOMER.DB", 20}, {"paradoxReader/HERCULES.DB", 20},
      {"paradoxReader/MEMBRE.DB", 6}, {"paradoxReader/MTDEMO/AMOUNT.DB", 50},
      {"paradoxReader/MTDEMO/CUSTOMER.DB", 28}, {"paradoxReader/MTDEMO/EMPLOYEE.DB", 21},
      {"paradoxReader/MTDEMO/FILMS.DB", 36}, {"paradoxReader/MTDEMO/KRENTAL.DB", 198},
      {"paradoxReader/MTDEMO/PAYMENT.DB", 54}, {"paradoxReader/MTDEMO/RENTAL.DB", 198},
      {"paradoxReader/MTDEMO/STORE.DB", 4}, {"paradoxReader/MTDEMO/TAXRATE.DB", 9},
      {"paradoxReader/MTDEMO/VIDORDER.DB", 50}, {"paradoxReader/ORDERS.DB", 224},
      {"paradoxReader/PCLDATA/BOLDNESS.DB", 15}, {"paradoxReader/PCLDATA/GREYS.DB", 8},
      {"paradoxReader/PCLDATA/LPI.DB", 10}, {"paradoxReader/PCLDATA/PAGESIZE.DB", 9},
      {"paradoxReader/PCLDATA/PATTERNS.DB", 6}, {"paradoxReader/PCLDATA/PCL.DB", 161},
      {"paradoxReader/PCLDATA/RASRES.DB", 6}, {"paradoxReader/PCLDATA/SOURCES.DB", 7},
      {"paradoxReader/PCLDATA/SYMBOLS.DB", 32}, {"paradoxReader/PCLDATA/TYPEFACE.DB", 16},
      {"paradoxReader/SERVER.DB", 4}, {"paradoxdriver/areas/AREACODE.DB", 239},
      {"paradoxdriver/areas/STATES.DB", 53}, {"paradoxdriver/areas/ZIPCODES.DB", 43185},
      {"paradoxdriver/db/AREACODE.DB", 135}, {"paradoxdriver/db/AREACODES.DB", 370},
      {"paradoxdriver/db/CONTACTS.DB", 55}, {"paradoxdriver/db/CUSTOMER.DB", 20},
      {"paradoxdriver/db/DECIMAL.DB", 9}, {"paradoxdriver/db/GENERAL.DB", 3},
      {"paradoxdriver/db/HERCULES.DB", 20}, {"paradoxdriver/db/ORDERS.DB", 224},
      {"paradoxdriver/db/ROMAN8.db", 1}, {"paradoxdriver/db/SERVER.DB", 4},
      {"paradoxdriver/fields/bcd.db", 3}, {"paradoxdriver/fields/bytes.db", 1},
      {"paradoxdriver/fields/date35.db", 3}, {"paradoxdriver/fields/date4.db", 3},
      {"paradoxdriver/fields/date5.db", 3}, {"paradoxdriver/fields/date7.db", 5},
      {"paradoxdriver/fields/fmemo.db", 2}, {"paradoxdriver/fields/graphic.db", 3},
      {"paradoxdriver/fields/graphic240.db", 1}, {"paradoxdriver/fields/logical.db", 4},
      {"paradoxdriver/fields/long.db", 3}, {"paradoxdriver/fields/memo.db", 2},
      {"paradoxdriver/fields/ole.db", 1}, {"paradoxdriver/fields/time.db", 3},
      {"paradoxdriver/fields/timestamp.db", 2}, {"paradoxdriver/geog/County.DB", 3218},
      {"paradoxdriver/geog/tblAC.DB", 220}, {"paradoxdriver/geog/tblsttes.DB", 58},
      {"paradoxdriver/joins/A.db", 3}, {"paradoxdriver/joins/B.db", 3},
      {"paradoxdriver/joins/C.DB", 3}, {"paradoxdriver/joins/case.db", 1},
      {"paradoxdriver/joins/destination.db", 1}, {"paradoxdriver/joins/fk1.db", 0},
      {"paradoxdriver/joins/fk2.db", 0}, {"paradoxdriver/joins/fk3.db", 0},
      {"paradoxdriver/joins/fk4.db", 2}, {"paradoxdriver/joins/indexed.db", 0},
      {"paradoxdriver/joins/joina.db", 3}, {"paradoxdriver/joins/joinb.db", 3},
      {"paradoxdriver/joins/multiple.db", 0}, {"paradoxdriver/joins/origin.db", 1},
      {"paradoxdriver/joins/paradox-ascii.db", 0}, {"paradoxdriver/joins/primary.db", 0},
      {"paradoxdriver/joins/to_multiple.db", 0}, {"paradoxdriver/joins/two.db", 0},
      {"paradoxdriver/mtdemo/AMOUNT.DB", 50}, {"paradoxdriver/mtdemo/CUSTOMER.DB", 28},
      {"paradoxdriver/mtdemo/EMPLOYEE.DB", 21}, {"paradoxdriver/mtdemo/FILMS.DB", 36},
      {"paradoxdriver/mtdemo/KRENTAL.DB", 198}, {"paradoxdriver/mtdemo/PAYMENT.DB", 54},
      {"paradoxdriver/mtdemo/RENTAL.DB", 198}, {"paradoxdriver/mtdemo/STORE.DB", 4},
      {"paradoxdriver/mtdemo/TAXRATE.DB", 9}, {"paradoxdriver/mtdemo/VIDORDER.DB", 50},
  };
  int seen = 0;
  for (auto& e : fs::recursive_directory_iterator(kPx)) {
    std::string ext = e.path().extension().string();
    if (ext != ".db" && ext != ".DB") continue;
    std::string rel = fs::relative(e.path(), kPx).string();
    SCOPED_TRACE(rel);
    ++seen;
    if (rel.rfind("paradoxdriver/encrypt/", 0) == 0) {
      try {
        openparadoxtable(e.path().string());
        ADD_FAILURE() << "an encrypted table was opened";
      } catch (const EngineError& err) {
        EXPECT_EQ(err.what(), "The table " + e.path().string() + " is encrypted and cannot be read.");
      }
      continue;
    }
    ASSERT_TRUE(rows.count(rel)) << "no expected row count";
    auto t = openparadoxtable(e.path().string());
    EXPECT_EQ(t->recordcount(), rows.at(rel));
    EXPECT_EQ(walkall(*t), rows.at(rel));
    EXPECT_TRUE(t->atend());
    EXPECT_TRUE(t->value(0).null);  // past the last row
  }
  EXPECT_EQ(seen, int(rows.size()) + 3);
}

TEST_F(ParadoxCorpus, Version3TableWithShortsMoneyAndDates) {
  auto t = openparadoxtable(kPx + "paradoxReader/MTDEMO/EMPLOYEE.DB");
  ASSERT_EQ(t->columns().size(), 3u);
  EXPECT_EQ(t->columns()[1].name, "Employee #");
  EXPECT_EQ(t->columns()[1].type, TableColumnType::Short);
  EXPECT_EQ(t->columns()[2].size, 20);
  auto r = row(*t, 0);
  EXPECT_EQ(r[0].text, "A");
  EXPECT_EQ(r[1].integer, 1);
  EXPECT_EQ(r[2].text, "Cynthia Elkins");

  auto a = openparadoxtable(kPx + "paradoxdriver/mtdemo/AMOUNT.DB");
  EXPECT_EQ(a->columns()[0].type, TableColumnType::Date);
  EXPECT_EQ(a->columns()[2].type, TableColumnType::Currency);
  EXPECT_EQ(a->columns()[3].type, TableColumnType::Float);
  r = row(*a, 2);
  EXPECT_EQ(r[0].date, encodedate(1989, 1, 1));
  EXPECT_EQ(r[1].text, "1987");
  EXPECT_DOUBLE_EQ(r[4].number, 0.78);
  EXPECT_DOUBLE_EQ(r[5].number, 12.78);
  EXPECT_TRUE(r[6].null);  // "Amount Paid" left blank
  EXPECT_DOUBLE_EQ(r[7].number, 12.78);
}

TEST_F(ParadoxCorpus, Version7TableWithFrenchTextLogicalsAndDates) {
  auto t = openparadoxtable(kPx + "paradoxReader/MEMBRE.DB");
  ASSERT_EQ(t->columns().size(), 92u);
  EXPECT_EQ(t->columns()[0].type, TableColumnType::AutoInc);
  EXPECT_EQ(t->columns()[6].name, "MembreAssociation");
  EXPECT_EQ(t->columns()[6].type, TableColumnType::Logical);
  auto r = row(*t, 1);
  EXPECT_EQ(r[0].integer, 26);
  EXPECT_EQ(r[2].text, "Mademoiselle");
  EXPECT_EQ(r[11].text, "16 rue Blériot");  // code page 437 to UTF-8
  EXPECT_TRUE(r[6].logical);
  EXPECT_FALSE(r[7].null);
  EXPECT_FALSE(r[7].logical);
  EXPECT_EQ(r[8].date, 38261);
  EXPECT_TRUE(r[10].null);
  EXPECT_EQ(row(*t, 2)[11].text, "22 rue Raymond Patenôtre");
}

TEST_F(ParadoxCorpus, LargeTableWithShortLastBlock) {
  auto t = openparadoxtable(kPx + "paradoxdriver/areas/ZIPCODES.DB");
  auto r = row(*t, 43184);
  EXPECT_EQ(r[0].text, "99950");
  EXPECT_EQ(r[1].text, "AK");
  EXPECT_EQ(r[2].text, "Ketchikan");
}

TEST_F(ParadoxCorpus, DatesTimesAndTimestamps) {
  auto d = openparadoxtable(kPx + "paradoxdriver/fields/date7.db");
  EXPECT_EQ(d->columns()[1].type, TableColumnType::Time);
  auto r = row(*d, 2);
  EXPECT_EQ(r[0].date, encodedate(2018, 1, 2));
  EXPECT_NEAR(r[1].time, encodetime(9, 25, 25), 1e-9);
  EXPECT_TRUE(row(*d, 3)[0].null);
  EXPECT_TRUE(row(*d, 4)[1].null);
  for (const char* f : {"date35.db", "date4.db", "date5.db"})
    EXPECT_EQ(row(*openparadoxtable(kPx + "paradoxdriver/fields/" + f), 1)[0].date,
              encodedate(2018, 2, 1)) << f;

  auto ts = openparadoxtable(kPx + "paradoxdriver/fields/timestamp.db");
  EXPECT_EQ(ts->columns()[0].type, TableColumnType::DateTime);
  EXPECT_TRUE(row(*ts, 0)[0].null);
  r = row(*ts, 1);
  EXPECT_EQ(r[0].date, encodedate(2020, 2, 1));
  EXPECT_NEAR(r[0].time, at(1, 0, 1), 1e-9);

  auto s = openparadoxtable(kPx + "paradoxdriver/geog/tblsttes.DB");
  EXPECT_EQ(row(*s, 1)[5].date, encodedate(1819, 12, 14));  // before the zero date
}

TEST_F(ParadoxCorpus, NumbersOfEveryKind) {
  auto b = openparadoxtable(kPx + "paradoxdriver/fields/bcd.db");
  EXPECT_EQ(b->columns()[2].type, TableColumnType::Bcd);
  EXPECT_EQ(b->columns()[2].size, 32);
  const double want[3][3] = {{1.23, 1, 0.123}, {-1.23, -1, -0.123}, {0, NAN, 0.9999}};
  for (int i = 0; i < 3; ++i) {
    auto r = row(*b, i);
    for (int c = 0; c < 3; ++c) {
      if (std::isnan(want[i][c])) {
        EXPECT_TRUE(r[c].null) << i << "," << c;
      } else {
        EXPECT_DOUBLE_EQ(r[c].number, want[i][c]) << i << "," << c;
      }
    }
  }
  auto l = openparadoxtable(kPx + "paradoxdriver/fields/long.db");
  EXPECT_EQ(row(*l, 1)[1].integer, 2);
  EXPECT_TRUE(row(*l, 2)[1].null);
  auto g = openparadoxtable(kPx + "paradoxdriver/db/GENERAL.DB");
  EXPECT_EQ(row(*g, 2)[0].integer, 333333333);
  EXPECT_DOUBLE_EQ(row(*g, 1)[2].number, 150);
  auto dec = openparadoxtable(kPx + "paradoxdriver/db/DECIMAL.DB");
  EXPECT_DOUBLE_EQ(row(*dec, 0)[0].number, -200);
  auto lg = openparadoxtable(kPx + "paradoxdriver/fields/logical.db");
  std::string bools;
  for (lg->first(); !lg->atend(); lg->next()) bools += lg->value(0).logical ? 'T' : 'F';
  EXPECT_EQ(bools, "TFTT");
  auto by = openparadoxtable(kPx + "paradoxdriver/fields/bytes.db");
  EXPECT_EQ(row(*by, 0)[0].text.substr(0, 6), std::string("1\0" "2\0" "3\0", 6));
}

TEST_F(ParadoxCorpus, MemosInTheRecordInSharedBlocksAndFormatted) {
  auto m = openparadoxtable(kPx + "paradoxdriver/fields/memo.db");
  EXPECT_EQ(m->columns()[1].type, TableColumnType::Memo);
  auto r = row(*m, 0);
  EXPECT_EQ(r[1].text.size(), 555u);  // longer than the 240 kept in the record
  EXPECT_EQ(r[1].text.substr(0, 12), "012345678900");
  EXPECT_EQ(row(*m, 1)[1].text, "01234567890\n");

  auto c = openparadoxtable(kPx + "paradoxdriver/db/CUSTOMER.DB");
  EXPECT_EQ(row(*c, 0)[8].text, "Small comment (less 100 symbols)");
  EXPECT_EQ(row(*c, 1)[8].text.substr(0, 38), "\tThe length of the leader may be zero ");
  EXPECT_TRUE(row(*openparadoxtable(kPx + "paradoxReader/CUSTOMER.DB"), 0)[8].null);
  EXPECT_EQ(row(*openparadoxtable(kPx + "paradoxReader/HERCULES.DB"), 0)[1].text.substr(0, 16),
            "<TABLE BORDER=2>");

  auto f = openparadoxtable(kPx + "paradoxdriver/fields/fmemo.db");
  EXPECT_EQ(f->columns()[1].type, TableColumnType::Memo);
  EXPECT_EQ(row(*f, 0)[1].text, "123");
  r = row(*f, 1);
  EXPECT_EQ(r[1].text.size(), 560u);
  EXPECT_EQ(r[1].text.substr(0, 10), "0123456789");
}

TEST_F(ParadoxCorpus, GraphicAndOleObjectsInOwnBlocks) {
  auto g = openparadoxtable(kPx + "paradoxdriver/fields/graphic.db");
  EXPECT_EQ(g->columns()[1].type, TableColumnType::Blob);
  const size_t sizes[] = {20086, 9626, 2074686};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(row(*g, i)[1].text.size(), sizes[i]) << i;
  auto o = openparadoxtable(kPx + "paradoxdriver/fields/ole.db");
  EXPECT_EQ(row(*o, 0)[1].text.size(), 365928u);
}

TEST_F(ParadoxCorpus, MemoFileFoundWhateverItsCaseAndMissingOneGivesEmptyMemos) {
  TempDir dir;
  std::string db = slurp(kPx + "paradoxdriver/fields/memo.db");
  std::string found = dir.write("Notes.DB", db);
  dir.write("NOTES.mB", slurp(kPx + "paradoxdriver/fields/memo.mb"));
  std::string alone = dir.write("alone.db", db);
  EXPECT_EQ(row(*openparadoxtable(found), 0)[1].text.size(), 555u);
  EXPECT_EQ(findparadoxblobfile(found), dir.path() + "/NOTES.mB");
  auto t = openparadoxtable(alone);
  EXPECT_TRUE(row(*t, 0)[1].null);                 // needs the memo file
  EXPECT_EQ(row(*t, 1)[1].text, "01234567890\n");  // wholly in the record
}

TEST_F(ParadoxCorpus, TruncatedCopiesAreRefusedOrReadWithoutHarm) {
  TempDir dir;
  for (const char* name : {"paradoxdriver/fields/memo.db", "paradoxReader/MTDEMO/EMPLOYEE.DB",
                           "paradoxReader/MEMBRE.DB", "paradoxdriver/fields/graphic.db",
                           "paradoxdriver/areas/ZIPCODES.DB"}) {
    std::string bytes = slurp(kPx + name);
    std::string memo = slurp(kPx + std::string(name).substr(0, std::string(name).size() - 2) + "mb");
    std::vector<size_t> cuts = {0, 1, 0x20, 0x57, 0x58, 0x77, 0x78, 0xC0, 0x7FF, 0x800, 0x806,
                                0x900, bytes.size() / 2, bytes.size() - 1000, bytes.size() - 1};
    for (size_t cut : cuts) {
      if (cut >= bytes.size()) continue;
      SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
      std::string path = dir.write("cut.db", bytes.substr(0, cut));
      if (!memo.empty()) dir.write("cut.mb", memo.substr(0, memo.size() / 3));
      try {
        auto t = openparadoxtable(path);
        walkall(*t);
      } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      }
    }
  }
}

// ---------------------------------------------------------- hand-made bytes

namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += char(c);
  return s;
}

struct FieldCase {
  const char* what;
  int code;
  std::string raw;
  bool null;
  double expected;  // integer, number, date or time by type
};

}  // namespace

TEST(ParadoxField, FlippedSignEncodings) {
  const FieldCase cases[] = {
      {"short 1", PxShort, bytes({0x80, 0x01}), false, 1},
      {"short -1", PxShort, bytes({0x7F, 0xFF}), false, -1},
      {"short -32767", PxShort, bytes({0x00, 0x01}), false, -32767},
      {"short blank", PxShort, bytes({0, 0}), true, 0},
      {"long -2", PxLong, bytes({0x7F, 0xFF, 0xFF, 0xFE}), false, -2},
      {"autoinc", PxAutoInc, bytes({0x80, 0x01, 0x00, 0x00}), false, 65536},
      {"long wrong width", PxLong, bytes({0x80, 0x01}), true, 0},
      {"date 1 Jan 1", PxDate, bytes({0x80, 0, 0, 1}), false, double(encodedate(1, 1, 1))},
      {"date 31 Dec 9999", PxDate, bytes({0x80, 0x37, 0xB9, 0xDB}), false,
       double(encodedate(9999, 12, 31))},
      {"date past 9999", PxDate, bytes({0x80, 0x37, 0xB9, 0xDC}), true, 0},
      {"date negative", PxDate, bytes({0x7F, 0xFF, 0xFF, 0xFF}), true, 0},
      {"time midnight", PxTime, bytes({0x80, 0, 0, 0}), false, 0},
      {"time 23:59:59", PxTime, bytes({0x85, 0x26, 0x58, 0x18}), false, encodetime(23, 59, 59)},
      {"time past midnight", PxTime, bytes({0x85, 0x26, 0x5C, 0x00}), true, 0},
      {"money 12.5", PxMoney, bytes({0xC0, 0x29, 0, 0, 0, 0, 0, 0}), false, 12.5},
      {"money -12.5", PxMoney, bytes({0x3F, 0xD6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), false,
       -12.5},
      {"number zero", PxNumber, bytes({0x80, 0, 0, 0, 0, 0, 0, 0}), false, 0},
      {"number blank", PxNumber, bytes({0, 0, 0, 0, 0, 0, 0, 0}), true, 0},
      {"number infinite", PxNumber, bytes({0xFF, 0xF0, 0, 0, 0, 0, 0, 0}), true, 0},
      {"bcd 12.34 with 2 places", PxBcd,
       bytes({0xC2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34}), false, 12.34},
      {"bcd -5 with 0 places", PxBcd,
       bytes({0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
              0xFF, 0xFF, 0xFA}),
       false, -5},
      {"bcd noise after the digits", PxBcd,
       bytes({0xC4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x5B, 0x99}), false, 1.5},
      {"bcd too many places", PxBcd,
       bytes({0xE1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}), true, 0},
      {"logical true", PxLogical, bytes({0x81}), false, 1},
      {"logical false", PxLogical, bytes({0x80}), false, 0},
      {"logical blank", PxLogical, bytes({0}), true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TableValue v = decodeparadoxfield(c.code, c.raw, "CP1252");
    ASSERT_EQ(v.null, c.null);
    if (c.null) continue;
    switch (paradoxcolumntype(c.code)) {
      case TableColumnType::Short:
      case TableColumnType::Long:
      case TableColumnType::AutoInc: EXPECT_EQ(v.integer, (long long)c.expected); break;
      case TableColumnType::Date: EXPECT_EQ(v.date, int(c.expected)); break;
      case TableColumnType::Time: EXPECT_NEAR(v.time, c.expected, 1e-9); break;
      case TableColumnType::Logical: EXPECT_EQ(v.logical, c.expected != 0); break;
      default: EXPECT_DOUBLE_EQ(v.number, c.expected);
    }
  }
}

TEST(ParadoxField, TimestampTextAndFormattedMemo) {
  // 2 January 2000 12:00:00.000: 730121.5 days of 86,400,000 ms.
  TableValue ts = decodeparadoxfield(PxTimestamp, bytes({0xC2, 0xCC, 0xAF, 0xC4, 0xEE, 0x35, 0x00, 0x00}), "");
  ASSERT_FALSE(ts.null);
  EXPECT_EQ(ts.date, encodedate(2000, 1, 2));
  EXPECT_NEAR(ts.time, 0.5, 1e-9);

  EXPECT_EQ(decodeparadoxfield(PxAlpha, std::string("Caf\x82\0zz", 7), "CP850").text, "Café");
  EXPECT_TRUE(decodeparadoxfield(PxAlpha, std::string(5, '\0'), "CP850").null);
  EXPECT_EQ(paradoxblobvalue(PxMemo, std::string("Line 1\r\nLine \xE9\0junk", 19), "CP1252").text,
            "Line 1\r\nLine é");

  std::string fmt(44, '\0');
  fmt[0] = 7;
  fmt[4] = 4;
  fmt += std::string("Hi!\0", 4) + "formatting runs";
  EXPECT_EQ(paradoxblobvalue(PxFormattedMemo, fmt, "CP1252").text, "Hi!");
  fmt[4] = 100;  // text longer than the object
  EXPECT_TRUE(paradoxblobvalue(PxFormattedMemo, fmt, "CP1252").null);
}

// ---------------------------------------------------------- hand-made tables

namespace {

struct BlockSpec {
  int next;
  std::vector<std::string> records;
  int lastoffset = -2;  // the stored offset of the last record; -2: computed
};

struct TableSpec {
  int version = 12;
  int filetype = 2;
  int blockkb = 1;
  int first = 1;
  std::uint32_t encryption = 0;
  std::vector<std::pair<int, int>> fields = {{PxAlpha, 6}, {PxShort, 2}};
  std::vector<std::string> names = {"Name", "Count"};
  int recordsize = 8;
  std::vector<BlockSpec> blocks;
};

void put16(std::string& s, size_t at, int v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char((v >> 8) & 0xFF);
}
void put32(std::string& s, size_t at, std::uint32_t v) {
  put16(s, at, int(v & 0xFFFF));
  put16(s, at + 2, int(v >> 16));
}

std::string build(const TableSpec& t) {
  const size_t hs = 0x800, bs = size_t(t.blockkb) * 1024;
  std::string h(hs, '\0');
  put16(h, 0x00, t.recordsize);
  put16(h, 0x02, int(hs));
  h[0x04] = char(t.filetype);
  h[0x05] = char(t.blockkb);
  put16(h, 0x0E, t.first);
  put16(h, 0x21, int(t.fields.size()));
  h[0x39] = char(t.version);
  bool extended = t.version >= 5;
  put32(h, extended ? 0x5C : 0x25, t.encryption);
  if (extended) put16(h, 0x6A, 850);
  size_t at = extended ? 0x78 : 0x58;
  for (auto [code, size] : t.fields) {
    h[at++] = char(code);
    h[at++] = char(size);
  }
  at += 4 + 4 * t.fields.size() + (t.version >= 12 ? 261 : 79);
  for (const auto& n : t.names) {
    if (h.size() < at + n.size() + 1) h.resize(at + n.size() + 1, '\0');  // overflowing on purpose
    h.replace(at, n.size(), n);
    at += n.size() + 1;
  }
  for (const auto& b : t.blocks) {
    std::string block(bs, '\0');
    put16(block, 0, b.next);
    int last = b.lastoffset != -2 ? b.lastoffset : (int(b.records.size()) - 1) * t.recordsize;
    put16(block, 4, last);
    size_t r = 6;
    for (const auto& rec : b.records) {
      block.replace(r, rec.size(), rec);
      r += t.recordsize;
    }
    h += block;
  }
  return h;
}

std::string rec(const std::string& name, int count) {
  std::string r = name;
  r.resize(6, '\0');
  return r + bytes({0x80 | (count >> 8), count & 0xFF});
}

}  // namespace

TEST(ParadoxTable, RowsFollowTheBlockChainNotTheFileOrder) {
  TempDir dir;
  TableSpec t;
  t.first = 3;
  t.blocks = {{0, {rec("last", 5)}},
              {1, {}, -8},  // an emptied block stays in the chain
              {2, {rec("Fran\x87", 1), rec("two", 2)}}};
  auto table = openparadoxtable(dir.write("chain.db", build(t)));
  ASSERT_EQ(table->columns().size(), 2u);
  EXPECT_EQ(table->columns()[0].name, "Name");
  EXPECT_EQ(table->recordcount(), 3);
  std::string seen;
  for (table->first(); !table->atend(); table->next())
    seen += table->value(0).text + "=" + std::to_string(table->value(1).integer) + " ";
  EXPECT_EQ(seen, "Franç=1 two=2 last=5 ");  // code page 850 from the header
  table->next();
  EXPECT_TRUE(table->atend());
}

TEST(ParadoxTable, DamagedOrForeignHeadersAndChainsAreRefused) {
  struct Case {
    const char* what;
    void (*change)(TableSpec&);
    const char* message;
  };
  const Case cases[] = {
      {"chain loops", [](TableSpec& t) { t.blocks = {{2, {rec("a", 1)}}, {1, {rec("b", 2)}}}; },
       "is damaged"},
      {"chain leaves the file", [](TableSpec& t) { t.blocks = {{7, {rec("a", 1)}}}; },
       "is damaged"},
      {"first block outside", [](TableSpec& t) { t.first = 9; }, "is damaged"},
      {"more records than the block holds",
       [](TableSpec& t) { t.blocks = {{0, {rec("a", 1)}, 8 * 200}}; }, "is damaged"},
      {"record wider than the block", [](TableSpec& t) { t.recordsize = 1020; }, "is damaged"},
      {"fields wider than the record",
       [](TableSpec& t) { t.fields = {{PxAlpha, 7}, {PxShort, 2}}; }, "is damaged"},
      {"date of three bytes", [](TableSpec& t) { t.fields = {{PxAlpha, 5}, {PxDate, 3}}; },
       "is damaged"},
      {"names beyond the header", [](TableSpec& t) { t.names = {std::string(1700, 'N'), ""}; },
       "is damaged"},
      {"no fields", [](TableSpec& t) { t.fields.clear(); t.names.clear(); }, "is damaged"},
      {"primary index", [](TableSpec& t) { t.filetype = 1; }, "is not a Paradox table"},
      {"unknown version", [](TableSpec& t) { t.version = 13; }, "is not a Paradox table"},
      {"odd block size", [](TableSpec& t) { t.blockkb = 5; }, "is not a Paradox table"},
      {"encrypted 7", [](TableSpec& t) { t.encryption = 0x1234; }, "is encrypted"},
      {"encrypted 3.0", [](TableSpec& t) { t.version = 3; t.encryption = 0x1234; },
       "is encrypted"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TableSpec t;
    t.blocks = {{0, {rec("a", 1)}}};
    c.change(t);
    std::string path = dir.write("bad.db", build(t));
    try {
      openparadoxtable(path);
      ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(openparadoxtable(dir.path() + "/none.db"), EngineError);
}

// A memo file of three blocks: header, a shared block with slots 0 and 1, and
// an own block of one 4 KB chunk.
TEST(ParadoxTable, MemoFileReferencesAreCheckedBeforeUse) {
  std::string mb(3 * 4096, '\0');
  mb[4096] = 3;
  auto slot = [&](int i, int offset16, int chunks) {
    mb[4096 + 12 + 5 * i] = char(offset16);
    mb[4096 + 12 + 5 * i + 1] = char(chunks);
  };
  slot(0, 0x20, 1);
  mb.replace(4096 + 0x200, 9, "shared!!!");
  slot(1, 0xFF, 2);  // runs past the end of its block
  mb[8192] = 2;
  put16(mb, 8192 + 1, 1);
  put32(mb, 8192 + 3, 20);
  mb.replace(8192 + 9, 20, "an object of its own");
  TempDir dir;
  std::string path = dir.write("t.mb", mb);
  ParadoxBlobFile f;
  f.open(path);
  struct Case {
    std::uint32_t offset, length;
    const char* want;  // nullptr: no object
  } cases[] = {
      {0x1000, 9, "shared!!!"},
      {0x1001, 20, nullptr},              // slot 1 overruns the block
      {0x1002, 5, nullptr},               // slot 2 is free
      {0x1000, 17, nullptr},              // longer than slot 0's room
      {0x1040, 5, nullptr},               // slot 64 does not exist
      {0x20FF, 20, "an object of its own"},
      {0x20FF, 21, nullptr},              // longer than the block says
      {0x10FF, 9, nullptr},               // a shared block read as an own block
      {0x2000, 9, nullptr},               // an own block read as a shared one
      {0xFFFFFF00, 4, nullptr},           // beyond the file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset);
    auto got = f.read(c.offset, c.length);
    if (c.want) {
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, c.want);
    } else {
      EXPECT_FALSE(got.has_value());
    }
  }
}
