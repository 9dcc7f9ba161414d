#include "source/formats/workbook.h"

#include <gtest/gtest.h>

#include "source/delimited.h"
#include "source/tablesource.h"
#include "source/workbooksource.h"
#include "support/workbookbuilder.h"
#include "source_fixture.h"

namespace vesper {
namespace {

using testing::odsparts;
using testing::Parts;
using testing::writezip;
using testing::xlsxparts;
using testing::XlsxContent;
using Rows = std::vector<std::vector<std::string>>;

class WorkbookTest : public testing::SourceFixture {
 protected:
  std::string save(const std::string& name, const Parts& parts) {
    const std::string p = (dir / name).string();
    writezip(p, parts);
    return p;
  }
  Rows rowsof(const std::string& path, WorkbookFormat format, int sheet = 0) {
    auto book = Workbook::open(path, format);
    auto rows = book->rows(sheet);
    Rows out;
    std::vector<std::string> cells;
    long long number = 0;
    while (rows->next(cells, number)) out.push_back(cells);
    return out;
  }
  // Why reading the whole workbook failed; empty when it did not.
  std::string failure(const std::string& path, WorkbookFormat format) {
    try {
      rowsof(path, format);
    } catch (const PackageError& e) {
      return e.what();
    }
    return {};
  }
};

TEST_F(WorkbookTest, XlsxCellsAsAUserSeesThem) {
  XlsxContent content;
  content.strings = {"<t>Smith</t>", "<r><t>Ri</t></r><r><rPr><b/></rPr><t>ch</t></r><rPh><t>ignored</t></rPh>",
                  "<t>two\nlines</t>"};
  // Styles: 0 general, 1 built-in date, 2 custom date, 3 custom time, 4 date
  // and time, 5 a currency with a colour (no date).
  content.numfmts = "<numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/><numFmt numFmtId=\"165\" formatCode=\"h:mm AM/PM\"/>"
                 "<numFmt numFmtId=\"166\" formatCode=\"[Red]&quot;day&quot;#,##0.00\"/>";
  content.cellxfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/>"
                 "<xf numFmtId=\"22\"/><xf numFmtId=\"166\"/>";
  struct Case { std::string cell, want; };
  const Case cases[] = {
      {"<c r=\"A1\" t=\"s\"><v>0</v></c>", "Smith"},
      {"<c r=\"A1\" t=\"s\"><v>1</v></c>", "Rich"},
      {"<c r=\"A1\" t=\"s\"><v>2</v></c>", "two\r\nlines"},
      {"<c r=\"A1\" t=\"inlineStr\"><is><t>Inline</t></is></c>", "Inline"},
      {"<c r=\"A1\"><v>12345</v></c>", "12345"},
      {"<c r=\"A1\"><v>12345.0</v></c>", "12345"},
      {"<c r=\"A1\"><v>-0.25</v></c>", "-0.25"},
      {"<c r=\"A1\"><v>5551234567</v></c>", "5551234567"},
      {"<c r=\"A1\" s=\"1\"><v>22355</v></c>", "1961-03-15"},
      {"<c r=\"A1\" s=\"2\"><v>22355</v></c>", "1961-03-15"},
      {"<c r=\"A1\" s=\"3\"><v>0.604166666666667</v></c>", "14:30:00"},
      {"<c r=\"A1\" s=\"4\"><v>22355.5</v></c>", "1961-03-15 12:00:00"},
      {"<c r=\"A1\" s=\"5\"><v>22355</v></c>", "22355"},
      {"<c r=\"A1\" t=\"b\"><v>1</v></c>", "TRUE"},
      {"<c r=\"A1\" t=\"b\"><v>0</v></c>", "FALSE"},
      {"<c r=\"A1\" t=\"str\"><f>A2&amp;A3</f><v>Joined</v></c>", "Joined"},
      {"<c r=\"A1\"><f>1+1</f><v>2</v></c>", "2"},
      {"<c r=\"A1\" t=\"e\"><v>#N/A</v></c>", "#N/A"},
      {"<c r=\"A1\" t=\"d\"><v>1961-03-15T00:00:00</v></c>", "1961-03-15"},
  };
  for (const Case& c : cases) {
    content.sheets = {{"S", "<row r=\"1\">" + c.cell + "<c r=\"C1\" t=\"inlineStr\"><is><t>x</t></is></c></row>"}};
    Rows rows = rowsof(save("cells.xlsx", xlsxparts(content)), WorkbookFormat::Xlsx);
    ASSERT_EQ(rows.size(), 1u) << c.cell;
    EXPECT_EQ(rows[0], (std::vector<std::string>{c.want, "", "x"})) << c.cell;
  }
}

TEST_F(WorkbookTest, OdsCellsAsAUserSeesThem) {
  struct Case { std::string cell, want; };
  const Case cases[] = {
      {"<table:table-cell office:value-type=\"string\"><text:p>Smith</text:p></table:table-cell>", "Smith"},
      {"<table:table-cell><text:p>a<text:s text:c=\"2\"/>b</text:p><text:p>c</text:p></table:table-cell>", "a  b\r\nc"},
      {"<table:table-cell office:value-type=\"float\" office:value=\"12345\"><text:p>12,345.00</text:p></table:table-cell>", "12345"},
      {"<table:table-cell office:value-type=\"float\" office:value=\"0.5\"><text:p>50%</text:p></table:table-cell>", "0.5"},
      {"<table:table-cell office:value-type=\"date\" office:date-value=\"1961-03-15\"><text:p>15/03/61</text:p></table:table-cell>", "1961-03-15"},
      {"<table:table-cell office:value-type=\"date\" office:date-value=\"1961-03-15T14:30:00\"><text:p>x</text:p></table:table-cell>", "1961-03-15 14:30:00"},
      {"<table:table-cell office:value-type=\"time\" office:time-value=\"PT14H30M00S\"><text:p>2:30 PM</text:p></table:table-cell>", "14:30:00"},
      {"<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"><text:p>WAHR</text:p></table:table-cell>", "TRUE"},
      {"<table:table-cell><office:annotation><text:p>a note</text:p></office:annotation><text:p>Kept</text:p></table:table-cell>", "Kept"},
  };
  for (const Case& c : cases) {
    const std::string row = "<table:table-row>" + c.cell +
                            "<table:table-cell table:number-columns-repeated=\"2\"/>"
                            "<table:table-cell><text:p>x</text:p></table:table-cell>"
                            "<table:table-cell table:number-columns-repeated=\"1000\"/></table:table-row>";
    Rows rows = rowsof(save("cells.ods", odsparts({{"S", row}})), WorkbookFormat::Ods);
    ASSERT_EQ(rows.size(), 1u) << c.cell;
    EXPECT_EQ(rows[0], (std::vector<std::string>{c.want, "", "", "x"})) << c.cell;
  }
}

// Empty rows are left out, repeated rows repeat, merged areas give the
// top-left value to every cell, a sheet other than the first is read by index.
TEST_F(WorkbookTest, RowsSheetsAndMergedCells) {
  XlsxContent content;
  content.strings = {"<t>Acme</t>", "<t>Ann</t>", "<t>Bob</t>", "<t>hidden</t>"};
  content.sheets = {{"First", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
                           "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>3</v></c><c r=\"B2\" t=\"s\"><v>2</v></c></row>"
                           "<row r=\"3\"><c r=\"A3\"/></row><row r=\"9\"><c r=\"C9\" t=\"s\"><v>1</v></c></row>"},
                 {"Second", "<row><c t=\"s\"><v>2</v></c></row>"}};
  content.aftersheet = "<mergeCells count=\"1\"><mergeCell ref=\"A1:A2\"/></mergeCells>";
  const std::string xlsx = save("m.xlsx", xlsxparts(content));
  EXPECT_EQ(rowsof(xlsx, WorkbookFormat::Xlsx),
            (Rows{{"Acme", "Ann"}, {"Acme", "Bob"}, {"", "", "Ann"}}));
  EXPECT_EQ(rowsof(xlsx, WorkbookFormat::Xlsx, 1), (Rows{{"Bob"}}));
  EXPECT_EQ(Workbook::open(xlsx, WorkbookFormat::Xlsx)->sheetnames(), (std::vector<std::string>{"First", "Second"}));

  const std::string cell = "<table:table-cell><text:p>";
  const std::string ods = save("m.ods", odsparts(
      {{"First", "<table:table-row>" + cell + "Acme</text:p></table:table-cell>" + cell + "Ann</text:p></table:table-cell></table:table-row>"
                 "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell/></table:table-row>"
                 "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell table:number-columns-spanned=\"2\" table:number-rows-spanned=\"2\">"
                 "<text:p>Big</text:p></table:table-cell><table:covered-table-cell><text:p>hidden</text:p></table:covered-table-cell></table:table-row>"},
       {"Second &amp; more", "<table:table-row>" + cell + "Bob</text:p></table:table-cell></table:table-row>"}}));
  EXPECT_EQ(rowsof(ods, WorkbookFormat::Ods), (Rows{{"Acme", "Ann"}, {"Big", "Big"}, {"Big", "Big"}}));
  EXPECT_EQ(rowsof(ods, WorkbookFormat::Ods, 1), (Rows{{"Bob"}}));
  EXPECT_EQ(Workbook::open(ods, WorkbookFormat::Ods)->sheetnames(), (std::vector<std::string>{"First", "Second & more"}));
}

// A merged area is found wherever its element lies in the sheet, cut or
// not by the end of a stretch of the unpacked part (64 KB each).
TEST_F(WorkbookTest, MergedAreaAcrossTheEndOfAStretch) {
  XlsxContent content;
  content.strings = {"<t>Acme</t>", "<t>Ann</t>"};
  content.aftersheet = "<mergeCells count=\"1\"><mergeCell ref=\"A1:A2\"/></mergeCells>";
  const std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                           "<row r=\"2\"><c r=\"B2\" t=\"s\"><v>1</v></c></row>";
  const auto sheet = [&](std::size_t pad) {
    return rows + "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>" + std::string(pad, 'x') + "</t></is></c></row>";
  };
  content.sheets = {{"S", sheet(0)}};
  std::string part;
  for (const auto& [name, text] : xlsxparts(content))
    if (name == "xl/worksheets/sheet1.xml") part = text;
  const std::size_t at = part.find("<mergeCells");
  ASSERT_NE(at, std::string::npos);
  for (std::size_t cut = 0; cut <= 48; ++cut) {  // each name cut, and the reference
    const std::size_t pad = 65536 - cut - at;
    content.sheets = {{"S", sheet(pad)}};
    const Rows got = rowsof(save("cut.xlsx", xlsxparts(content)), WorkbookFormat::Xlsx);
    EXPECT_EQ(got, (Rows{{"Acme"}, {"Acme", "Ann"}, {std::string(pad, 'x')}})) << cut;
  }
}

// Rows of the common shape are read by that shape; the same rows with a
// comment in each are left to the general reading, and come out the same.
TEST_F(WorkbookTest, RowsReadByTheirShapeMatchTheGeneralReading) {
  XlsxContent content;
  content.strings = {"<t>Ann</t>", "<t xml:space=\"preserve\"> two  blanks </t>", "<t>a&amp;b</t>", "<t>x_x000D_y</t>"};
  content.cellxfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>";
  const std::string rows[] = {
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"C1\" t=\"s\"><v>1</v></c></row>",
      "<row r=\"2\"><c t=\"s\"><v>2</v></c><c t=\"s\"><v>3</v></c><c s=\"1\"><v>22355</v></c></row>",
      "<row r=\"4\" spans=\"1:4\"><c r=\"B4\" t=\"b\"><v>1</v></c><c r=\"C4\"><v>12.50</v></c><c r=\"D4\"/></row>",
      "<row><c t=\"str\"><v>made</v></c><c t=\"e\"><v>#N/A</v></c><c t=\"s\"><v>99</v></c></row>",
  };
  std::string simple, general;
  for (const std::string& r : rows) {
    simple += r;
    general += r.substr(0, r.find('>') + 1) + "<!-- left to the general reading -->" + r.substr(r.find('>') + 1);
  }
  const Rows want{{"Ann", "", " two  blanks "}, {"a&b", "x\r\ny", "1961-03-15"}, {"", "TRUE", "12.5"}, {"made", "#N/A"}};
  content.sheets = {{"Shaped", simple}, {"General", general}};
  const std::string xlsx = save("shapes.xlsx", xlsxparts(content));
  EXPECT_EQ(rowsof(xlsx, WorkbookFormat::Xlsx, 0), want);
  EXPECT_EQ(rowsof(xlsx, WorkbookFormat::Xlsx, 1), want);
}

TEST_F(WorkbookTest, HostileWorkbooksAreRefusedWithAReason) {
  XlsxContent plain;
  plain.strings = {"<t>a</t>"};
  plain.sheets = {{"S", "<row><c t=\"s\"><v>0</v></c></row>"}};
  // A bomb: a sheet of 20 MB of blanks inflates far beyond any ratio of real XML.
  XlsxContent bomb = plain;
  bomb.sheets[0].second += std::string(20u << 20, ' ');
  XlsxContent entities = plain;
  XlsxContent nostrings = plain;
  nostrings.withstrings = false;
  Parts entityparts = xlsxparts(entities);
  for (auto& [name, bytes] : entityparts)
    if (name == "xl/sharedStrings.xml")
      bytes = "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
              "<sst><si><t>&b;</t></si></sst>";
  Parts climbing = xlsxparts(plain);
  for (auto& [name, bytes] : climbing)
    if (name == "xl/_rels/workbook.xml.rels")
      bytes.replace(bytes.find("worksheets/sheet1.xml"), 21, "../../../etc/passwd");
  struct Case { const char* name; Parts parts; std::string why; };
  const Case cases[] = {
      {"bomb", xlsxparts(bomb), "inflates too far"},
      {"entities", entityparts, "DTD"},
      {"nostrings", xlsxparts(nostrings), "shared strings are missing"},
      {"climbing", climbing, "holds no sheet"},
  };
  for (const Case& c : cases) {
    const std::string path = save(std::string(c.name) + ".xlsx", c.parts);
    EXPECT_NE(failure(path, WorkbookFormat::Xlsx).find(c.why), std::string::npos)
        << c.name << ": " << failure(path, WorkbookFormat::Xlsx);
  }
  EXPECT_EQ(failure(save("plain.xlsx", xlsxparts(plain)), WorkbookFormat::Xlsx), "");
}

// Identified by content whatever the name; the header row gives the field
// names and count, notes above it are passed over, a row wider than the
// header is a bad line.
TEST_F(WorkbookTest, SourceFromAWorkbook) {
  XlsxContent content;
  content.strings = {"<t>Contacts</t>", "<t>First Name</t>", "<t>Last Name</t>", "<t>Ann</t>", "<t>Lee</t>", "<t>extra</t>"};
  content.sheets = {{"S", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                       "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\" t=\"s\"><v>2</v></c></row>"
                       "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>3</v></c><c r=\"B3\" t=\"s\"><v>4</v></c></row>"
                       "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>3</v></c><c r=\"C4\" t=\"s\"><v>5</v></c></row>"
                       "<row r=\"5\"><c r=\"B5\" t=\"s\"><v>4</v></c></row>"}};
  const std::string path = save("contacts.csv", xlsxparts(content));
  SourceTable table;
  HeaderJudge judge = [](const std::vector<std::string>& cells) { return cells.size() > 1 && cells[0] == "First Name"; };
  OpenedSource opened = OpenRecordSource(state, path, table, judge);
  ASSERT_EQ(opened.source->kind(), kXlsxWorkbook);
  EXPECT_EQ(opened.source->openfailure(path), "");
  ASSERT_EQ(opened.fieldcount, 2);
  state.SourceFieldCount = opened.fieldcount;
  EXPECT_EQ(opened.source->fieldname(2), "Last Name");
  std::vector<std::string> bad;
  opened.source->setbadlinesink([&](std::string_view line) { bad.emplace_back(line); });
  Rows records;
  for (opened.source->rewind(); opened.source->next();)
    records.push_back({std::string(opened.source->value(1)), std::string(opened.source->value(2))});
  EXPECT_EQ(records, (Rows{{"Ann", "Lee"}, {"", "Lee"}}));
  EXPECT_EQ(bad, (std::vector<std::string>{"Ann,,extra"}));
  EXPECT_EQ(opened.source->sample(1, 1), "Ann");
  EXPECT_EQ(opened.source->count({}), 3);

  state.SourceLayoutChoice.sheet = "Nonesuch";
  OpenedSource missing = OpenRecordSource(state, path, table, judge);
  EXPECT_NE(missing.source->openfailure(path).find("no sheet called Nonesuch"), std::string::npos);
}

// A sheet's rows are read on a thread of their own: two sheets of one
// workbook read side by side, a reading dropped while its thread is ahead,
// and a failure met ahead, which comes after the rows before it.
TEST_F(WorkbookTest, SheetsReadAheadSideBySide) {
  XlsxContent content;
  content.strings = {"<t>even</t>", "<t>odd</t>"};
  std::string first, second;
  for (int r = 1; r <= 3000; ++r) {
    const std::string n = std::to_string(r);
    first += "<row r=\"" + n + "\"><c t=\"s\"><v>" + std::to_string(r % 2) + "</v></c><c><v>" + n + "</v></c></row>";
    second += "<row r=\"" + n + "\"><c><v>" + std::to_string(r * 7) + "</v></c></row>";
  }
  content.sheets = {{"First", first}, {"Second", second}};
  auto book = Workbook::open(save("big.xlsx", xlsxparts(content)), WorkbookFormat::Xlsx);
  auto a = book->rows(0), b = book->rows(1);
  auto dropped = book->rows(0);
  std::vector<std::string> cells;
  long long number = 0;
  ASSERT_TRUE(dropped->next(cells, number));
  dropped.reset();
  for (int r = 1; r <= 3000; ++r) {
    ASSERT_TRUE(a->next(cells, number));
    ASSERT_EQ(number, r);
    ASSERT_EQ(cells, (std::vector<std::string>{r % 2 ? "odd" : "even", std::to_string(r)}));
    ASSERT_TRUE(b->next(cells, number));
    ASSERT_EQ(cells, std::vector<std::string>{std::to_string(r * 7)});
  }
  EXPECT_FALSE(a->next(cells, number));
  EXPECT_FALSE(b->next(cells, number));

  XlsxContent failing;
  failing.withstrings = false;
  failing.sheets = {{"S", second + "<row><c t=\"s\"><v>0</v></c></row>"}};
  auto late = Workbook::open(save("late.xlsx", xlsxparts(failing)), WorkbookFormat::Xlsx);
  auto rows = late->rows(0);
  int read = 0;
  try {
    while (rows->next(cells, number)) ++read;
    ADD_FAILURE() << "no failure";
  } catch (const PackageError& e) {
    EXPECT_NE(std::string(e.what()).find("shared strings are missing"), std::string::npos);
  }
  EXPECT_EQ(read, 3000);
}

}  // namespace
}  // namespace vesper
