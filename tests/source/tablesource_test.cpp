#include "source/tablesource.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "parse/daycount.h"
#include "source/sourcestate.h"
#include "support/corpora.h"

namespace vesper {
namespace {

// A table held in memory.
class FakeTable : public SourceTableFile {
 public:
  std::vector<TableColumn> cols;
  std::vector<std::vector<TableValue>> rows;
  std::size_t at = 0;
  const std::vector<TableColumn>& columns() const override { return cols; }
  long long recordcount() const override { return static_cast<long long>(rows.size()); }
  void first() override { at = 0; }
  void next() override { if (at < rows.size()) ++at; }
  bool atend() const override { return at >= rows.size(); }
  TableValue value(int c) override { return atend() ? TableValue{} : rows[at][static_cast<std::size_t>(c)]; }
};

TableValue text(const std::string& t) { TableValue v; v.null = false; v.text = t; return v; }
TableValue integer(long long i) { TableValue v; v.null = false; v.integer = i; return v; }
TableValue number(double d) { TableValue v; v.null = false; v.number = d; return v; }
TableValue date(int y, int m, int d, double time = 0) {
  TableValue v; v.null = false; v.date = encodedate(y, m, d); v.time = time; return v;
}
TableValue timeofday(int h, int m, int s) { TableValue v; v.null = false; v.time = encodetime(h, m, s); return v; }
TableValue logical(bool b) { TableValue v; v.null = false; v.logical = b; return v; }

TEST(TableConversions, EveryColumnType) {
  using T = TableColumnType;
  struct Case { T type; TableValue value; std::string want; };
  const Case cases[] = {
      {T::String, text("  Smith  "), "  Smith  "},
      {T::Short, integer(-12), "-12"},
      {T::Long, integer(2000000000), "2000000000"},
      {T::Currency, number(12.5), "12.5"},
      {T::Currency, number(1234.567), "1234.57"},
      {T::Currency, number(0), ""},
      {T::Float, number(0.5), ".5"},
      {T::Float, number(-0.5), "-.5"},
      {T::Float, number(-1234.567), "-1234.57"},
      {T::Float, number(12.345), "12.35"},      // rounded as written, not as held in binary
      {T::Float, number(0.004), ""},            // rounds to nothing: no "-", no "0"
      {T::Float, number(-0.004), ""},
      {T::Float, number(0.995), "1"},
      {T::Float, number(99.999), "100"},
      {T::Float, number(1e15), "1000000000000000"},
      {T::Float, number(7), "7"},
      {T::Date, date(2024, 3, 5), "03/05/2024"},
      {T::Date, date(1899, 12, 30), "12/30/1899"},
      {T::DateTime, date(1999, 12, 31, 0.75), "12/31/1999"},
      {T::Time, timeofday(7, 5, 9), "07:05:09"},
      {T::Time, timeofday(23, 59, 59), "23:59:59"},
      {T::Memo, text("first line\r\nsecond"), "first line"},
      {T::Memo, text("only\nline"), "only"},
      {T::Logical, logical(true), ""},
      {T::Word, integer(5), ""},
      {T::Bcd, number(5), ""},
      {T::AutoInc, integer(5), ""},
      {T::Bytes, text("ab"), ""},
      {T::Blob, text("ab"), ""},
      {T::Long, TableValue{}, ""},  // null
      {T::Date, TableValue{}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TableValueText(c.type, c.value), c.want) << static_cast<int>(c.type) << " " << c.want;
}

TEST(TableSource, RowsByNumberAndCurrentRow) {
  auto fake = std::make_unique<FakeTable>();
  fake->cols = {{"NAME", TableColumnType::String, 20}, {"PAID", TableColumnType::Currency, 8}};
  for (int i = 1; i <= 8; ++i) fake->rows.push_back({text("N" + std::to_string(i)), number(i * 1.5)});
  FakeTable* raw = fake.get();
  std::string askedPath;
  TableFormat askedFormat = TableFormat::Paradox;
  SourceTable table([&](const std::string& p, TableFormat f) -> std::unique_ptr<SourceTableFile> {
    askedPath = p;
    askedFormat = f;
    return std::move(fake);
  });
  EXPECT_EQ(OpenSourceTable(table, "/x/names.dbf", kDBase), 2);
  EXPECT_EQ(askedPath, "/x/names.dbf");
  EXPECT_EQ(askedFormat, TableFormat::DBase);
  EXPECT_EQ(table.columnname(1), "PAID");
  EXPECT_EQ(table.columnname(2), "");
  EXPECT_EQ(TableRowCount(table), 8);

  EXPECT_EQ(GetTableField(table, 0, 3), "N3");
  EXPECT_EQ(GetTableField(table, 1, 0), "4.5");  // the cursor stays on row 3
  EXPECT_EQ(GetTableField(table, 0, 8), "N8");
  EXPECT_EQ(GetTableField(table, 0, 9), "");     // past the last row
  EXPECT_EQ(GetTableField(table, 0, 0), "");
  EXPECT_EQ(GetTableField(table, 5, 1), "");     // no such column
  raw->first();
  raw->next();
  EXPECT_EQ(GetTableField(table, 0, 0), "N2");
}

TEST(TableSource, TableThatDoesNotOpen) {
  SourceTable table([](const std::string&, TableFormat) -> std::unique_ptr<SourceTableFile> {
    throw EngineError("damaged");
  });
  EXPECT_EQ(OpenSourceTable(table, "bad.db", kParadox), 0);
  EXPECT_FALSE(table.isopen());
  EXPECT_EQ(GetTableField(table, 0, 1), "");
  EXPECT_EQ(TableRowCount(table), 0);
}

// The store's readers behind the default opener, on real tables.
TEST(TableSource, RealTables) {
  VESPER_NEEDS_CORPORA();
  SourceTable table;
  const std::string dbf = testing::corpora("dbase/infused-dbf/dbase_03.dbf");
  ASSERT_GT(OpenSourceTable(table, dbf, kDBase), 0) << "dBASE reader refused " << dbf;
  EXPECT_GT(TableRowCount(table), 0);
  EXPECT_EQ(GetTableField(table, 0, TableRowCount(table) + 1), "");
  EXPECT_EQ(OpenSourceTable(table, "/nonexistent/none.db", kParadox), 0);
}

}  // namespace
}  // namespace vesper
