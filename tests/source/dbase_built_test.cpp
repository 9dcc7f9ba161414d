// dBASE reader on hand-made tables: code pages, blank values, damaged
// headers, memo blocks outside their file, and the binary field types of
// Visual FoxPro and dBASE 7 that the corpus has few of.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "base/errors.h"
#include "parse/daycount.h"
#include "base/errors.h"
#include "source/formats/dbase.h"
#include "store/tempfolder.h"

namespace vesper {
namespace {

using testing::TempFolder;

struct Fld {
  std::string name;
  char type;
  int width;
  int decimals = 0;
  int flags = 0;
};

enum class Kind { Level3, Visual, Level7 };

void le(std::string& b, std::size_t at, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string be(std::uint64_t v, int n) {
  std::string b(n, '\0');
  for (int i = 0; i < n; ++i) b[n - 1 - i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}

// A table file: header, descriptors, terminator, rows (each starting with its
// deletion flag) and the end-of-file mark.  `count` < 0 states the row count.
std::string build(int version, const std::vector<Fld>& fields, const std::vector<std::string>& rows,
                  int ldid = 0x03, long count = -1, Kind kind = Kind::Level3, int recordlength = -1) {
  const bool l7 = kind == Kind::Level7;
  const std::size_t start = l7 ? 68 : 32, size = l7 ? 48 : 32;
  std::string h(start, '\0');
  int rl = 1;
  for (const Fld& f : fields) rl += f.width;
  if (recordlength >= 0) rl = recordlength;
  std::size_t hl = start + size * fields.size() + 1 + (kind == Kind::Visual ? 263 : 0);
  h[0] = static_cast<char>(version);
  le(h, 4, count < 0 ? rows.size() : static_cast<std::uint64_t>(count), 4);
  le(h, 8, hl, 2);
  le(h, 10, static_cast<std::uint64_t>(rl), 2);
  h[29] = static_cast<char>(ldid);
  for (const Fld& f : fields) {
    std::string d(size, '\0');
    std::memcpy(d.data(), f.name.data(), f.name.size());
    d[l7 ? 32 : 11] = f.type;
    d[l7 ? 33 : 16] = static_cast<char>(f.width);
    d[l7 ? 34 : 17] = static_cast<char>(f.decimals);
    if (!l7) d[18] = static_cast<char>(f.flags);
    h += d;
  }
  h += '\r';
  if (kind == Kind::Visual) h += std::string(263, '\0');
  for (const std::string& r : rows) h += r;
  return h + '\x1A';
}

class Built : public ::testing::Test {
 protected:
  TempFolder dir;
  std::string put(const std::string& name, const std::string& bytes) {
    std::ofstream(dir.file(name), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return dir.file(name);
  }
  std::unique_ptr<SourceTableFile> open(const std::string& bytes) { return opendbasetable(put("t.dbf", bytes)); }
  // Value of column c of the first live row.
  TableValue first(const std::string& bytes, int c = 0) {
    auto t = open(bytes);
    t->first();
    return t->value(c);
  }
};

TEST_F(Built, LanguageDriverNamesTheCodePage) {
  struct Case { int ldid; std::string bytes; std::string text; };
  const Case cases[] = {
      {0x57, "caf\xE9", "café"},               // Windows ANSI
      {0x03, "\x80 5", "€ 5"},                 // Windows 1252
      {0x01, "\x82t\x82", "été"},              // DOS 437
      {0x02, "\xA5", "Ñ"},                     // DOS 850
      {0x64, "\xA5\xA9", "ąę"},                // DOS 852
      {0x65, "\x8C\x8E\x91", "МОС"},           // DOS 866
      {0x26, "\xAF\xE0", "пр"},                // Russian OEM 866
      {0xC8, "\x8A\xB9", "Šą"},                // Windows 1250
      {0xC9, "\xC4\xE0", "Да"},                // Windows 1251
      {0x13, "\x82\xA0", "あ"},                // Shift-JIS
      {0x7A, "\xD6\xD0", "中"},                // GBK
      {0x69, "\x86\x92\x9E", "ąłś"},           // Mazovia
      {0x00, "caf\xE9", "café"},               // unstated: Windows 1252
      {0x00, "caf\xC3\xA9", "café"},           // unstated, but well-formed UTF-8
      {0xF0, "\xD0\x94", "Д"},                 // unknown driver: as unstated
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ldid);
    std::string row = " " + c.bytes + std::string(10 - c.bytes.size(), ' ');
    EXPECT_EQ(first(build(0x03, {{"T", 'C', 10}}, {row}, c.ldid)).text, c.text);
  }
}

TEST_F(Built, CpgFileOverridesTheDriverByte) {
  struct Case { std::string cpg; std::string bytes; std::string text; };
  const Case cases[] = {
      {"1251", "\xC4\xE0", "Да"},
      {"UTF-8\n", "\xD0\x94\xFF", "Д\xEF\xBF\xBD"},  // a stray byte becomes U+FFFD
      {"ANSI 1250", "\x8A", "Š"},
      {"88595", "\xB4", "Д"},                        // ISO 8859-5
      {"KOI8-R", "\xE4", "Д"},
      {"no such page", "\xC4", "Ä"},                 // ignored: the driver byte (1252) holds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cpg);
    TempFolder d;
    std::string table = d.file("x.DBF");
    std::ofstream(d.file("X.cpg")) << c.cpg;
    std::string bytes = build(0x03, {{"T", 'C', 8}}, {" " + c.bytes + std::string(8 - c.bytes.size(), ' ')}, 0x03);
    std::ofstream(table, std::ios::binary) << bytes;
    auto t = opendbasetable(table);
    t->first();
    EXPECT_EQ(t->value(0).text, c.text);
  }
}

TEST_F(Built, BlankAndMalformedValues) {
  struct Case { char type; int width; int decimals; std::string raw; bool null; double number; };
  const Case cases[] = {
      {'N', 6, 2, "      ", true, 0},   {'N', 6, 2, "******", true, 0}, {'N', 6, 2, "  12.5", false, 12.5},
      {'N', 6, 0, "  -007", false, -7},  {'N', 6, 2, "  12,5", false, 12.5}, {'N', 6, 2, "1 2 3 ", true, 0},
      {'N', 6, 0, "    +3", false, 3},   {'F', 8, 0, "  1.5E2 ", false, 150}, {'N', 6, 2, "\0\0\0\0\0\0", true, 0},
      {'N', 6, 2, "  -.  ", true, 0},   {'D', 8, 0, "        ", true, 0}, {'D', 8, 0, "00000000", true, 0},
      {'D', 8, 0, "20230230", true, 0},  {'D', 8, 0, "2023-1-1", true, 0}, {'L', 1, 0, "?", true, 0},
      {'L', 1, 0, " ", true, 0},         {'C', 4, 0, "    ", true, 0},     {'C', 4, 0, "\0\0\0\0", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " [" + c.raw + "]");
    TableValue v = first(build(0x03, {{"F", c.type, c.width, c.decimals}}, {" " + c.raw}));
    EXPECT_EQ(v.null, c.null);
    if (!c.null) {
      EXPECT_DOUBLE_EQ(v.number, c.number);
    }
  }
}

TEST_F(Built, TextKeepsLeadingBlanksAndDropsPadding) {
  auto t = open(build(0x03, {{"A", 'C', 8}, {"B", 'L', 1}, {"C", 'D', 8}},
                      {std::string("  ab c  \0t20240229", 18), std::string(" x\0junk  Y19000101", 18)}));
  t->first();
  EXPECT_EQ(t->value(0).text, " ab c");
  EXPECT_TRUE(t->value(1).logical);
  EXPECT_EQ(t->value(2).date, encodedate(2024, 2, 29));
  t->next();
  EXPECT_EQ(t->value(0).text, "x");  // cut at the embedded NUL
  EXPECT_EQ(t->value(2).date, encodedate(1900, 1, 1));
}

TEST_F(Built, DamagedHeadersAreRefused) {
  const std::string good = build(0x03, {{"A", 'C', 4}}, {" abcd"});
  std::string wrongversion = good;
  wrongversion[0] = 0x00;
  std::string zerolength = good;
  le(zerolength, 10, 0, 2);
  std::string longheader = good;
  le(longheader, 8, 60000, 2);
  const std::pair<std::string, std::string> cases[] = {
      {"", "empty"},
      {good.substr(0, 20), "shorter than a table header"},
      {wrongversion, "not a dBASE table"},
      {zerolength, "record length is zero"},
      {build(0x03, {{"A", 'C', 4}, {"B", 'C', 4}}, {}, 3, 0, Kind::Level3, 6), "a record holds only 6"},
      {longheader, "header is longer than the file"},
      {build(0x03, {}, {}), "no fields"},
      {build(0x30, {{"_NullFlags", '0', 1}}, {" \x00"}, 3, -1, Kind::Visual), "no fields"},
      {std::string(600, '\xFF'), "not a dBASE table"},
      {"\x02" + std::string(100, ' '), "shorter than its header"},
  };
  for (const auto& [bytes, reason] : cases) {
    SCOPED_TRACE(reason);
    try {
      open(bytes);
      ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Cannot read the dBASE table \"", 0), 0u);
    }
  }
}

TEST_F(Built, RecordCountIsReconciledWithTheFileSize) {
  const std::vector<std::string> rows = {" one ", "*two ", " thre"};
  struct Case { long stated; long long live; };
  for (Case c : {Case{10, 2}, Case{1, 1}, Case{0, 0}, Case{3, 2}}) {
    SCOPED_TRACE(c.stated);
    auto t = open(build(0x03, {{"A", 'C', 4}}, rows, 3, c.stated));
    EXPECT_EQ(t->recordcount(), c.live);
    long long walked = 0;
    for (t->first(); !t->atend(); t->next()) ++walked;
    EXPECT_EQ(walked, c.live);
  }
  // An end-of-file mark where a row should start ends the table.
  auto t = open(build(0x03, {{"A", 'C', 4}}, {" one ", "\x1A    ", " thre"}));
  EXPECT_EQ(t->recordcount(), 1);
}

TEST_F(Built, CursorOutsideTheRowsGivesNulls) {
  auto t = open(build(0x03, {{"A", 'C', 4}}, {" abcd"}));
  t->first();
  EXPECT_TRUE(t->value(-1).null);
  EXPECT_TRUE(t->value(1).null);
  t->next();
  EXPECT_TRUE(t->atend());
  EXPECT_TRUE(t->value(0).null);
  t->next();
  t->first();
  EXPECT_EQ(t->value(0).text, "abcd");
}

// Clipper and FoxPro store character widths over 255 in two bytes.
TEST_F(Built, WideCharacterFieldUsesTheDecimalsByte) {
  std::string text(300, 'x');
  text.back() = 'y';
  auto t = open(build(0x03, {{"LONG", 'C', 300 - 256, 1}}, {" " + text}, 3, -1, Kind::Level3, 301));
  EXPECT_EQ(t->columns()[0].size, 300);
  t->first();
  EXPECT_EQ(t->value(0).text, text);
}

TEST_F(Built, MemoBlocksOutsideTheirFile) {
  // dBASE III: block 1 holds text, block 9 lies past the end.
  std::string dbt3(512, '\0');
  dbt3 += "memo one\x1A\x1A";
  const std::string table3 = build(0x83, {{"M", 'M', 10}}, {"          1", "          9", "         00"});
  put("m3.DBT", dbt3);
  auto t3 = opendbasetable(put("m3.dbf", table3));
  t3->first();
  EXPECT_EQ(t3->value(0).text, "memo one");
  t3->next();
  EXPECT_TRUE(t3->value(0).null);
  t3->next();
  EXPECT_TRUE(t3->value(0).null);

  // dBASE IV: a length running past the end is cut there.
  std::string dbt4(512, '\0');
  le(dbt4, 20, 512, 2);
  dbt4 += std::string("\xFF\xFF\x08\x00", 4) + be(0, 0);
  std::string len(4, '\0');
  le(len, 0, 100000, 4);
  dbt4 += len + "short";
  put("m4.dbt", dbt4);
  auto t4 = opendbasetable(put("m4.dbf", build(0x8B, {{"M", 'M', 10}}, {"          1"})));
  t4->first();
  EXPECT_EQ(t4->value(0).text, "short");

  // FoxPro: big-endian block size and length; a 4-byte block number.
  std::string fpt(512, '\0');
  fpt.replace(6, 2, be(16, 2));
  fpt += be(1, 4) + be(5, 4) + "hello" + std::string(3, '\0');
  fpt += be(1, 4) + be(0xFFFFFFF0u, 4) + "cut";
  put("f.fpt", fpt);
  std::string r1 = " " + std::string("\x20\x00\x00\x00", 4), r2 = " " + std::string("\x21\x00\x00\x00", 4);
  std::string r3 = " " + std::string("\xFF\xFF\xFF\xFF", 4);
  auto tf = opendbasetable(put("f.dbf", build(0x30, {{"M", 'M', 4}}, {r1, r2, r3}, 3, -1, Kind::Visual)));
  tf->first();
  EXPECT_EQ(tf->value(0).text, "hello");
  tf->next();
  EXPECT_EQ(tf->value(0).text, "cut");
  tf->next();
  EXPECT_TRUE(tf->value(0).null);
}

TEST_F(Built, VisualFoxProBinaryFieldsAndNullFlags) {
  std::vector<Fld> fields = {{"ID", 'I', 4, 0, 2},    {"PRICE", 'Y', 8, 4, 2}, {"WHEN", 'T', 8},
                             {"NICK", 'V', 6, 0, 2},  {"RATE", 'B', 8, 2},    {"_NullFlags", '0', 1, 0, 5}};
  auto row = [](std::int32_t id, std::int64_t price, std::int32_t jd, std::int32_t ms, std::string nick,
                double rate, int flags) {
    std::string r(1 + 4 + 8 + 8 + 6 + 8 + 1, ' ');
    le(r, 1, static_cast<std::uint32_t>(id), 4);
    le(r, 5, static_cast<std::uint64_t>(price), 8);
    le(r, 13, static_cast<std::uint32_t>(jd), 4);
    le(r, 17, static_cast<std::uint32_t>(ms), 4);
    r.replace(21, nick.size(), nick);
    std::uint64_t bits;
    std::memcpy(&bits, &rate, 8);
    le(r, 27, bits, 8);
    r[35] = static_cast<char>(flags);
    return r;
  };
  // Bits: ID null 0, PRICE null 1, NICK length 2, NICK null 3.
  std::string nick = "Al";
  nick += std::string(3, '\0') + '\x02';
  auto t = open(build(0x30, fields, {row(-42, -1234567, 2460310, 45296789, nick, 0.5, 0b0100),
                                     row(0, 0, 0, 0, "Full6!", -2.25, 0b1011)},
                      3, -1, Kind::Visual));
  ASSERT_EQ(t->columns().size(), 5u);  // _NullFlags hidden
  t->first();
  EXPECT_EQ(t->value(0).integer, -42);
  EXPECT_DOUBLE_EQ(t->value(1).number, -123.4567);
  EXPECT_EQ(t->value(2).date, encodedate(2023, 12, 31));
  int h, m, s, ms;
  decodetime(t->value(2).time, h, m, s, ms);
  EXPECT_EQ(h * 3600000 + m * 60000 + s * 1000 + ms, 45296789);
  EXPECT_EQ(t->value(3).text, "Al");
  EXPECT_DOUBLE_EQ(t->value(4).number, 0.5);
  t->next();
  EXPECT_TRUE(t->value(0).null);
  EXPECT_TRUE(t->value(1).null);
  EXPECT_TRUE(t->value(2).null);  // a blank date-time
  EXPECT_TRUE(t->value(3).null);
  EXPECT_DOUBLE_EQ(t->value(4).number, -2.25);
}

std::string ordered(double x) {
  std::uint64_t u;
  std::memcpy(&u, &x, 8);
  u = x >= 0 ? (u | (std::uint64_t(1) << 63)) : ~u;
  return be(u, 8);
}

TEST_F(Built, DBase7BinaryFields) {
  std::vector<Fld> fields = {{"Serial number", '+', 4}, {"Count", 'I', 4}, {"Ratio", 'O', 8},
                             {"Taken", '@', 8}, {"Dated", '@', 8}, {"A long descriptive field", 'C', 3}};
  const double julian = (2460310.0 * 86400000.0) + 3600000.0;     // 31 Dec 2023 01:00
  const double paradox = (738885.0 * 86400000.0) + 43200000.0;    // 31 Dec 2023 12:00
  std::string r1 = " " + be(0x80000007u, 4) + be(0x7FFFFFFBu, 4) + ordered(-2.75) + ordered(julian) +
                   ordered(paradox) + "abc";
  std::string r2 = " " + std::string(4 + 4 + 8 + 8 + 8, '\0') + "   ";
  auto t = open(build(0x8C, fields, {r1, r2}, 0, -1, Kind::Level7));
  ASSERT_EQ(t->columns().size(), 6u);
  EXPECT_EQ(t->columns()[5].name, "A long descriptive field");
  EXPECT_EQ(t->columns()[0].type, TableColumnType::AutoInc);
  t->first();
  EXPECT_EQ(t->value(0).integer, 7);
  EXPECT_EQ(t->value(1).integer, -5);
  EXPECT_DOUBLE_EQ(t->value(2).number, -2.75);
  EXPECT_EQ(t->value(3).date, encodedate(2023, 12, 31));
  EXPECT_NEAR(t->value(3).time, 1.0 / 24, 1e-9);
  EXPECT_EQ(t->value(4).date, encodedate(2023, 12, 31));
  EXPECT_NEAR(t->value(4).time, 0.5, 1e-9);
  t->next();
  for (int c = 0; c < 6; ++c) EXPECT_TRUE(t->value(c).null) << c;
}

TEST_F(Built, DBaseTwo) {
  // dBASE II: count and record length in the first 8 bytes, 16-byte
  // descriptors, records from byte 521.
  std::string h(521, '\0');
  h[0] = 0x02;
  le(h, 1, 3, 2);
  le(h, 6, 1 + 5 + 6, 2);
  std::string d1 = std::string("NAME") + std::string(7, '\0') + "C" + '\x05' + std::string(2, '\0') + '\0';
  std::string d2 = std::string("PAY") + std::string(8, '\0') + "N" + '\x06' + std::string(2, '\0') + '\x02';
  h.replace(8, 16, d1);
  h.replace(24, 16, d2);
  h[40] = '\r';
  h += " Ann    1.50*Bob    2.00 Cy    -0.25";
  auto t = open(h);
  EXPECT_EQ(t->recordcount(), 2);
  t->first();
  EXPECT_EQ(t->value(0).text, "Ann");
  EXPECT_DOUBLE_EQ(t->value(1).number, 1.5);
  t->next();
  EXPECT_EQ(t->value(0).text, "Cy");
  EXPECT_DOUBLE_EQ(t->value(1).number, -0.25);
}

}  // namespace
}  // namespace vesper
