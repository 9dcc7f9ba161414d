#include "source/counting.h"

#include <gtest/gtest.h>

#include "source/delimited.h"
#include "source/lineperfield.h"
#include "source/recordsource.h"
#include "source/source_fixture.h"
#include "source/tablesource.h"

namespace vesper {
namespace {

std::string numberedLines(int n, const std::string& end, bool finalEnd) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "r" + std::to_string(i) + ",b,c" + (i < n || finalEnd ? end : "");
  return s;
}

class Counting : public testing::SourceFixture {
 protected:
  SourceTable table{[](const std::string&, TableFormat) -> std::unique_ptr<SourceTableFile> {
    return nullptr;
  }};
};

TEST_F(Counting, TextSources) {
  std::string ten = numberedLines(10, "\r\n", true);
  std::string withBad = numberedLines(4, "\r\n", true) + "bad\r\n" + numberedLines(6, "\r\n", true) +
                        "x,y,z,w\r\n";
  std::string tenPlain;
  for (int i = 1; i <= 10; ++i) tenPlain += "line " + std::to_string(i) + "\r\n";
  struct Case { std::string bytes; int kind, fields, want; };
  const Case cases[] = {
      {ten, kDelimited, 3, 10},
      {withBad, kDelimited, 3, 10},                        // records, not lines
      {numberedLines(10, "\n", false), kDelimited, 3, 10},
      {"a,b,c\r\n" + std::string(5000, 'x') + ",b,c\r\n", kDelimited, 3, 1},  // too long: no record
      {"", kDelimited, 3, 0},
      {tenPlain, kLinePerField, 3, 3},                     // 11 lines with the end's blank
      {tenPlain.substr(0, tenPlain.size() - 2), kLinePerField, 3, 3},
      {tenPlain, kLinePerField, 2, 5},
      {tenPlain, kLinePerField, 0, 0},                     // no record size yet
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 40));
    source(c.bytes, c.kind, c.fields);
    doit(state, *MakeRecordSource(state, table));
    EXPECT_EQ(state.SourceRecordCount, c.want);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Counting, ProgressAndCancel) {
  source(numberedLines(25, "\r\n", false), kDelimited, 3);
  std::vector<int> shown;
  int lines = 0;
  doit(state, *MakeRecordSource(state, table), {[&](int n) { shown.push_back(n); }, [&] { ++lines; }});
  EXPECT_EQ(shown, (std::vector<int>{10, 20}));
  EXPECT_EQ(lines, 25);
  EXPECT_EQ(state.SourceRecordCount, 25);
  EXPECT_FALSE(state.CountCancelled);

  // Cancel pressed while the 7th line is counted: the count stops, 0 is kept.
  lines = 0;
  doit(state, *MakeRecordSource(state, table), {{}, [&] { if (++lines == 7) state.CountCancelled = true; }});
  EXPECT_EQ(lines, 7);
  EXPECT_EQ(state.SourceRecordCount, 0);
  EXPECT_TRUE(state.CountCancelled);

  // Without a callback the window system's pending input runs.
  int before = messages.events;
  doit(state, *MakeRecordSource(state, table));
  EXPECT_EQ(messages.events - before, 25);
}

TEST_F(Counting, TablesCountRows) {
  class Rows : public SourceTableFile {
   public:
    std::vector<TableColumn> cols{{"A", TableColumnType::String, 1}};
    const std::vector<TableColumn>& columns() const override { return cols; }
    long long recordcount() const override { return 43185; }
    void first() override {}
    void next() override {}
    bool atend() const override { return true; }
    TableValue value(int) override { return {}; }
  };
  SourceTable rows([](const std::string&, TableFormat) -> std::unique_ptr<SourceTableFile> {
    return std::make_unique<Rows>();
  });
  OpenSourceTable(rows, "zip.db", kParadox);
  state.SourceType = kParadox;
  doit(state, *MakeRecordSource(state, rows));
  EXPECT_EQ(state.SourceRecordCount, 43185);
}

// A count in the middle of a run leaves the record on display and the place
// in the file as they were.
TEST_F(Counting, RunResumesAfterTheCount) {
  source(numberedLines(4, "\r\n", true) + "bad\r\n" + numberedLines(6, "\r\n", true), kDelimited, 3);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ReadNextDelimitedRecord(state, {}));
  EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), 1), "r3");
  doit(state, *MakeRecordSource(state, table));
  EXPECT_EQ(state.SourceRecordCount, 10);
  EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), 1), "r3");
  ASSERT_TRUE(ReadNextDelimitedRecord(state, {}));
  EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), 1), "r4");

  // The same for a line-per-field source.
  source("a1\r\na2\r\nb1\r\nb2\r\nc1\r\nc2\r\n", kLinePerField, 2);
  ReadLineRecord(state);
  doit(state, *MakeRecordSource(state, table));
  EXPECT_EQ(state.SourceRecordCount, 3);
  EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), 2), "a2");
  ReadLineRecord(state);
  EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), 1), "b1");
}

// Accept X at random over an exact count merges exactly X records.
TEST_F(Counting, AcceptXMergesExactlyX) {
  state.random.pin(12345);
  RandomDialog dialog;
  for (int x : {0, 1, 5, 9, 10}) {
    for (int byHand : {0, 2}) {
      state.SourceRecordCount = 10;
      state.AcceptedCount = byHand;  // accepted in review before the batch
      state.RejectedCount = 0;
      dialog.acceptx = true;
      dialog.x = x;
      ASSERT_TRUE(OKBtnClick(state, dialog));
      EXPECT_EQ(state.AcceptLimit, x);
      for (int record = byHand; record < 10; ++record) {
        state.RecomputeFraction();
        if (DrawForRecord(state)) ++state.AcceptedCount;
      }
      EXPECT_EQ(state.AcceptedCount, std::max(x, byHand)) << x << " " << byHand;
      EXPECT_EQ(state.AcceptedCount + state.RejectedCount, 10);
    }
  }
}

TEST_F(Counting, PercentageDraws) {
  state.random.pin(7);
  RandomDialog dialog;
  struct Case { int percent; int low, high; };
  for (const Case& c : {Case{100, 1000, 1000}, Case{1, 2, 25}, Case{50, 440, 560}, Case{0, 2, 25}}) {
    dialog.percent = c.percent;  // 0 is below the box's range: taken as 1
    ASSERT_TRUE(OKBtnClick(state, dialog));
    EXPECT_TRUE(state.FractionFixed);
    EXPECT_EQ(state.AcceptLimit, 100000000);
    state.AcceptedCount = state.RejectedCount = 0;
    int merged = 0;
    for (int i = 0; i < 1000; ++i) {
      state.RecomputeFraction();
      if (DrawForRecord(state)) ++merged;
    }
    EXPECT_GE(merged, c.low) << c.percent;
    EXPECT_LE(merged, c.high) << c.percent;
    EXPECT_EQ(state.RejectedCount, 1000 - merged);
  }
}

TEST_F(Counting, DialogRules) {
  source(numberedLines(12, "\r\n", true), kDelimited, 3);
  RandomDialog dialog;
  btCountClick(state, *MakeRecordSource(state, table), dialog);
  EXPECT_EQ(dialog.counttext, "12");
  EXPECT_EQ(dialog.xmax, 12);
  EXPECT_EQ(dialog.x, 12);
  EXPECT_TRUE(dialog.okenabled && !dialog.countenabled);

  // X after a cancelled (or empty) count is refused, and the dialog stays.
  state.SourceRecordCount = 0;
  state.AcceptLimit = 77;
  rbAcceptXClick(dialog);
  EXPECT_FALSE(OKBtnClick(state, dialog));
  EXPECT_EQ(state.AcceptLimit, 77);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, "error");
  EXPECT_FALSE(messages.shown[0].beeped);
  EXPECT_EQ(messages.shown[0].text,
            "In order to accurately select a random number of records you need first to count the "
            "total number of records in the import file using the COUNT button\n\n This may be a "
            "lengthy operation.");
}

}  // namespace
}  // namespace vesper
