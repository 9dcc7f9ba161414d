#include "source/recordsource.h"

#include <gtest/gtest.h>

#include "source/source_fixture.h"
#include "source/tablesource.h"

namespace vesper {
namespace {

// Three rows of a NAME and a PAID column, held in memory.
class ThreeRows : public SourceTableFile {
 public:
  std::vector<TableColumn> cols{{"NAME", TableColumnType::String, 20},
                                {"PAID", TableColumnType::Currency, 8}};
  std::size_t at = 0;
  const std::vector<TableColumn>& columns() const override { return cols; }
  long long recordcount() const override { return 3; }
  void first() override { at = 0; }
  void next() override { if (at < 3) ++at; }
  bool atend() const override { return at >= 3; }
  // NAME reads the text, PAID the number.
  TableValue value(int) override {
    TableValue v;
    if (atend()) return v;
    v.null = false;
    v.text = "N" + std::to_string(at + 1);
    v.number = 1.5 * static_cast<double>(at + 1);
    return v;
  }
};

class RecordSourceTest : public testing::SourceFixture {
 protected:
  SourceTable table{[](const std::string& path, TableFormat) -> std::unique_ptr<SourceTableFile> {
    if (path.find("broken") != std::string::npos) throw std::runtime_error("not a table");
    return std::make_unique<ThreeRows>();
  }};
  std::vector<std::string> bad;
  int lines = 0;

  // Every record through the interface, from a rewind, as "v1|v2|...".
  std::vector<std::string> readall(RecordSource& s, int fields) {
    std::vector<std::string> out;
    s.rewind();
    while (s.more() && s.next()) {
      std::string r;
      for (int i = 1; i <= fields; ++i) (r += i > 1 ? "|" : "").append(s.value(i));
      out.push_back(r);
    }
    return out;
  }
};

// One way through every kind: the records in order, the lines that are no
// record to the bad-line sink, the line hook after every line read or row
// moved to, and the same records again after a rewind.
TEST_F(RecordSourceTest, EveryKindReadsItsRecordsInOrder) {
  struct Case {
    const char* name;
    int kind;
    std::string bytes;  // a text source's, or the table's file name
    int fields;
    std::vector<std::string> records, bad;
    int lines;
  };
  const Case cases[] = {
      {"delimited", kDelimited, "a,b,c\r\nbad\r\n\"x, y\",2,3\r\n", 3, {"a|b|c", "x, y|2|3"}, {"bad"}, 3},
      {"line per field", kLinePerField, "Smith, Jr\r\nJohn\r\nJones\r\nAnn\r\n", 2,
       {"Smith, Jr|John", "Jones|Ann", "|"}, {}, 5},  // the blank after the last line end
      {"dBASE", kDBase, "names.dbf", 2, {"N1|1.5", "N2|3", "N3|4.5"}, {}, 3},
      {"Paradox", kParadox, "names.db", 2, {"N1|1.5", "N2|3", "N3|4.5"}, {}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bad.clear();
    lines = 0;
    if (c.kind == kDBase || c.kind == kParadox) {
      OpenSourceTable(table, c.bytes, c.kind);
      state.SourceType = c.kind;
      state.SourceFieldCount = table.columncount();
    } else {
      source(c.bytes, c.kind, c.fields);
    }
    std::unique_ptr<RecordSource> s = MakeRecordSource(state, table);
    EXPECT_EQ(s->kind(), c.kind);
    s->setbadlinesink([&](std::string_view line) { bad.emplace_back(line); });
    s->setlinehook([&] { ++lines; });
    EXPECT_EQ(readall(*s, c.fields), c.records);
    EXPECT_EQ(bad, c.bad);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(readall(*s, c.fields), c.records);  // again, from the rewind
    EXPECT_FALSE(s->more());
    s->close();
  }
  EXPECT_TRUE(messages.shown.empty());
}

// A table's values are read from the row the cursor is on: the cursor stays
// on a record until the next one is asked for.
TEST_F(RecordSourceTest, ATableRecordKeepsItsRowUntilTheNextIsAsked) {
  OpenSourceTable(table, "names.dbf", kDBase);
  std::unique_ptr<RecordSource> s = MakeRecordSource(kDBase, state, table);
  s->rewind();
  ASSERT_TRUE(s->next());
  EXPECT_EQ(s->value(1), "N1");
  EXPECT_EQ(s->value(1), "N1");
  ASSERT_TRUE(s->more());  // moves to row 2 ...
  EXPECT_EQ(s->value(1), "N2");
  ASSERT_TRUE(s->next());  // ... which the next record then is
  EXPECT_EQ(s->value(1), "N2");
  EXPECT_EQ(s->fieldname(2), "PAID");
}

// What a source says when it cannot be read, or has come to its end, names
// its kind's own words.
TEST_F(RecordSourceTest, FailureAndEndMessagesByKind) {
  struct Case { const char* path; std::string failure, end; bool beeps; };
  const Case cases[] = {
      {"broken.dbf", "The source table broken.dbf could not be read: it is damaged, encrypted or not a dBASE table.",
       "The record is empty", false},
      {"broken.db", "The source table broken.db could not be read: it is damaged, encrypted or not a Paradox table.",
       "The record is empty", false},
      {"names.dbf", "", "The record is empty", false},
      {"three.csv", "", "The record is empty", false},
      {"one.txt", "", "That was the last record", true},
  };
  write("three.csv", "a,b,c\r\n");
  write("one.txt", "Smith\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string path = (dir / c.path).string();
    OpenedSource opened = OpenRecordSource(state, path, table);
    std::string want = c.failure;
    if (!want.empty()) want.replace(want.find(c.path), std::string(c.path).size(), path);
    EXPECT_EQ(opened.source->openfailure(path), want);
    messages.shown.clear();
    opened.source->tellend();
    ASSERT_EQ(messages.texts(), std::vector<std::string>{c.end});
    EXPECT_EQ(messages.shown[0].beeped, c.beeps);
    opened.source->close();
  }
}

}  // namespace
}  // namespace vesper
