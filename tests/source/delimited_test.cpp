#include "source/delimited.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/errors.h"

#include "source/source_fixture.h"
#include "source/tablesource.h"

namespace vesper {
namespace {

using Fields = std::vector<std::string>;

// Every row of the character-class table, and the awkward lines users send.
TEST(DelimitedScanner, CountsAndExtractsFields) {
  struct Case { std::string line; Fields fields; };
  const Case cases[] = {
      // last name, first name with a blank, quoted address with a comma, city
      {"Smith,John ,\"12 Main St, Apt 4\",Boston", {"Smith", "John", "12 Main St, Apt 4", "Boston"}},
      {",,", {"", "", ""}},
      {"", {""}},
      {"  ", {""}},
      {"  a  ,  b", {"a", "b"}},                      // blanks change nothing
      {" \"a,b\",c", {"a,b", "c"}},                   // blank, then the opening quote counts
      {"O\"Brien, Pat,x", {"O\"Brien", "Pat", "x"}},  // quote after data is plain text
      {"\"a\"\"b\",c", {"a\"\"b", "c"}},              // doubled quotes stay doubled
      {"\"a\"\",b\",c", {"a\"", "b\"", "c"}},         // doubled quote then comma splits
      {"\"\"\"a,b", {"\"\"a", "b"}},                  // three quotes: the comma splits
      {"\"a\"x,y", {"a\"x", "y"}},                    // data after the closing quote
      {"\"a,b,c", {"a,b,c"}},                         // never closed: one field
      {"a\"b,\"c,d\"", {"a\"b", "c,d"}},              // each field has its own state
      {"\"\",\"\"", {"", ""}},
      {"\t\"x\"\t,y", {"\t\"x\"", "y"}},              // a tab is data, so the quote is text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const int n = static_cast<int>(c.fields.size());
    EXPECT_EQ(CountDelimitedFields(c.line), n);
    for (int i = 1; i <= n; ++i) EXPECT_EQ(GetDelimitedField(c.line, i), c.fields[i - 1]) << i;
    EXPECT_EQ(GetDelimitedField(c.line, n + 1), "");
    EXPECT_EQ(GetDelimitedField(c.line, 0), "");
    auto parts = SplitDelimitedLine(c.line);
    ASSERT_EQ(static_cast<int>(parts.size()), n);
    std::string back;
    for (std::size_t i = 0; i < parts.size(); ++i) back += (i ? "," : "") + std::string(parts[i]);
    EXPECT_EQ(back, c.line);
  }
}

// The scanning rules applied one character at a time: the fast scanner must
// split every short line over the characters that matter exactly as they do.
std::vector<std::string> referenceSplit(const std::string& line) {
  std::vector<std::string> fields(1);
  int quotes = 0;
  bool opened = false, data = false;
  for (char c : line) {
    bool ends = false;
    if (c == '"') {
      if (!data) ++quotes, opened = true;
    } else if (c == ',') {
      ends = quotes != 1;
    } else if (c != ' ' && !opened) {
      data = true;
    }
    if (!ends) {
      fields.back() += c;
      continue;
    }
    fields.emplace_back();
    quotes = 0;
    opened = data = false;
  }
  return fields;
}

TEST(DelimitedScanner, MatchesTheCharacterRulesOnEveryShortLine) {
  const char alphabet[] = {' ', '"', ',', 'a', '\t'};
  std::vector<std::string_view> reused;
  for (int len = 0; len <= 7; ++len) {
    int total = 1;
    for (int i = 0; i < len; ++i) total *= 5;
    for (int code = 0; code < total; ++code) {
      std::string line;
      for (int i = 0, c = code; i < len; ++i, c /= 5) line += alphabet[c % 5];
      const std::vector<std::string> want = referenceSplit(line);
      const int n = static_cast<int>(want.size());
      ASSERT_EQ(CountDelimitedFields(line), n) << line;
      ASSERT_EQ(SplitDelimitedLine(line, reused), n) << line;
      for (int i = 0; i < n; ++i) ASSERT_EQ(reused[static_cast<std::size_t>(i)], want[static_cast<std::size_t>(i)]) << line;
      const std::string last = GetDelimitedField(line, n);
      ASSERT_EQ(last, CleanValue(want.back())) << line;
    }
  }
}

class DelimitedSource : public testing::SourceFixture {
 protected:
  std::vector<TableFormat> opened;
  SourceTable table{[this](const std::string&, TableFormat f) -> std::unique_ptr<SourceTableFile> {
    opened.push_back(f);
    throw EngineError("not a table");
  }};
};

TEST_F(DelimitedSource, IdentifiesTheKindByFileNameAndFirstLine) {
  struct Case { std::string name, bytes; int kind, count; };
  const Case cases[] = {
      {"one.csv", "Smith,John\r\nx\r\n", kLinePerField, 2},
      {"two.txt", "John Smith\r\n", kLinePerField, 1},
      {"three.csv", "a,b,c\r\na\r\n", kDelimited, 3},
      {"empty.csv", "", kLinePerField, 1},
      {"data.db/list.csv", "a,b,c,d\n", kDelimited, 4},  // only the file name decides
      {"names.dbf", "", kDBase, 0},
      {"NAMES.DBF", "", kDBase, 0},
      {"names.Db", "", kParadox, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    opened.clear();
    std::string path = write(c.name, c.bytes);
    SourceIdentity id = IdentifySource(state, path, table);
    EXPECT_EQ(id.kind, c.kind);
    EXPECT_EQ(id.fieldcount, c.count);
    EXPECT_EQ(state.SourceFile.Name, path);
    EXPECT_EQ(state.SourceFile.Caption, "Source file");
    std::vector<TableFormat> want;
    if (c.kind == kDBase) want = {TableFormat::DBase};
    if (c.kind == kParadox) want = {TableFormat::Paradox};
    EXPECT_EQ(opened, want);
  }
  EXPECT_TRUE(messages.shown.empty());  // a table that does not open says nothing yet
}

TEST_F(DelimitedSource, PeekSkipsLinesThatAreNotRecords) {
  const std::string longline = "L1," + std::string(4500, 'x') + ",L3";
  source("a1,a2,a3\r\nbad,line\r\n" + longline + "\r\n\r\nb1,\"b,2\",b3\r\nc1,c2,c3,c4\r\nd1,d2,d3\r\n",
         kDelimited, 3);
  std::memcpy(state.RecordBuffer.text, "keep", 4);
  state.RecordBuffer.count = 4;
  const Fields want = {"a2", "b,2", "d2", "", ""};
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(PeekDelimitedField(state, 2, k), want[k - 1]) << k;
  EXPECT_EQ(PeekDelimitedField(state, 3, 2), "b3");
  EXPECT_EQ(PeekDelimitedField(state, 1, 3), "d1");  // any order: each call rewinds
  EXPECT_EQ(PeekDelimitedField(state, 4, 1), "");
  EXPECT_EQ(state.RecordBuffer.view(), "keep");
}

// What the run reads: records in order, every other line to the sink.
struct RunRead {
  Fields records;  // field 1 of each record
  Fields bad;
  int lines = 0;
};

RunRead readAll(SourceState& state) {
  RunRead r;
  std::vector<std::string_view> fields;
  while (ReadNextDelimitedRecord(
      state, [&](std::string_view l) { r.bad.emplace_back(l); }, [&] { ++r.lines; }, &fields)) {
    // The split left behind is that of the record in the buffer.
    EXPECT_EQ(fields, SplitDelimitedLine(state.RecordBuffer.view()));
    r.records.push_back(GetDelimitedField(state.RecordBuffer.view(), 1));
  }
  return r;
}

TEST_F(DelimitedSource, RunReadsRecordsAndHandsOnTheOtherLines) {
  struct Case { std::string bytes; Fields records, bad; int lines; bool noBad; };
  const std::string longbad = "x," + std::string(4500, 'y');
  const Case cases[] = {
      {"a,1,2\r\nb,1,2,3\r\nc,1,2\r\nd,1,2\r\ne,1\r\nf,1,2\r\n", {"a", "c", "d", "f"},
       {"b,1,2,3", "e,1"}, 6, false},
      {"a,1,2\nb,1,2\n", {"a", "b"}, {}, 2, true},  // the end after the final line end is no line
      {"a,1,2\r\nb,1,2", {"a", "b"}, {}, 2, true},
      {"a,1,2\r\n\r\nb,1,2\r\n", {"a", "b"}, {""}, 3, false},  // an empty line is 1 field
      {"a,1,2\r\nb\r\nc,1,2,3\r\n", {"a"}, {"b", "c,1,2,3"}, 3, false},  // bad lines at the end
      {"a,1,2\r\n" + longbad + "\r\nb,1,2\r\n", {"a", "b"}, {longbad}, 3, false},
      {"a,1,2\rb,\"1,x\",2\r", {"a", "b"}, {}, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    source(c.bytes, kDelimited, 3);
    state.NoBadRecords = true;
    RunRead r = readAll(state);
    EXPECT_EQ(r.records, c.records);
    EXPECT_EQ(r.bad, c.bad);
    EXPECT_EQ(r.lines, c.lines);
    EXPECT_EQ(state.NoBadRecords, c.noBad);
  }
}

}  // namespace
}  // namespace vesper
