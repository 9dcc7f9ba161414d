#include "source/lineperfield.h"

#include <gtest/gtest.h>

#include "source/delimited.h"
#include "source/source_fixture.h"

namespace vesper {
namespace {

using Fields = std::vector<std::string>;

class LinePerField : public testing::SourceFixture {
 protected:
  Fields fields() {
    Fields out;
    for (int i = 1; i <= state.SourceFieldCount; ++i)
      out.push_back(GetDelimitedField(state.RecordBuffer.view(), i));
    return out;
  }
  // Every record the run would read, as its fields.
  std::vector<Fields> records() {
    std::vector<Fields> out;
    while (!SlotEof(state.SourceFile)) {
      ReadLineRecord(state);
      out.push_back(fields());
    }
    return out;
  }
};

TEST_F(LinePerField, JoinedRecordLayout) {
  JoinValue(state, "A");
  EXPECT_EQ(state.RecordBuffer.view(), " \"A\"");
  JoinValue(state, "B");
  EXPECT_EQ(state.RecordBuffer.view(), " \"A\",\"B\"");
  EXPECT_EQ(state.JoinLength, state.RecordLength());
}

// Each value comes back from the joined record as it went in, in its place.
TEST_F(LinePerField, JoinedValuesComeBackWhole) {
  const Fields values = {"say \"hi\", then go", "a,b", "\"q\"", "", "x", "O\"Brien, Pat", ",,,"};
  for (const auto& v : values) ASSERT_TRUE(JoinValue(state, v));
  EXPECT_EQ(CountDelimitedFields(state.RecordBuffer.view()), static_cast<int>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(GetDelimitedField(state.RecordBuffer.view(), static_cast<int>(i + 1)), values[i]);
}

TEST_F(LinePerField, RecordsFromLines) {
  struct Case { std::string bytes; std::vector<Fields> want; };
  const Case cases[] = {
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", {{"1", "2", "3"}, {"4", "5", "6"}, {"7", "", ""}}},
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", {{"1", "2", "3"}, {"4", "5", "6"}, {"", "", ""}}},
      {"1\n2\n3\n4\n5\n6", {{"1", "2", "3"}, {"4", "5", "6"}}},
      {"\"John Smith\"\r\n\r\n Boston \r\n", {{"John Smith", "", "Boston"}, {"", "", ""}}},
      {"a,b\r\n\"x\", y\r\nc", {{"a,b", "x\", y", "c"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    source(c.bytes, kLinePerField, 3);
    EXPECT_EQ(records(), c.want);
  }
  EXPECT_TRUE(messages.shown.empty());
}

// A record that does not fit in 4000 characters keeps its fields in place.
TEST_F(LinePerField, OverlongRecordLeavesTheRestEmptyAndSaysSo) {
  const std::string big(3000, 'b'), huge(4500, 'h'), tail(1500, 't');
  struct Case { std::string bytes; std::vector<Fields> want; std::string message; };
  const Case cases[] = {
      {"a\r\n" + big + "\r\n" + tail + "\r\nn1\r\nn2\r\nn3", {{"a", big, ""}, {"n1", "n2", "n3"}},
       "Record 1 of the source file does not fit in 4000 characters: its fields from line 3 on "
       "were left empty."},
      {"a\r\n" + huge + "\r\nc\r\nn1\r\nn2\r\nn3", {{"a", "", ""}, {"n1", "n2", "n3"}},
       "Record 1 of the source file does not fit in 4000 characters: its fields from line 2 on "
       "were left empty."},
  };
  for (const auto& c : cases) {
    source(c.bytes, kLinePerField, 3);
    messages.shown.clear();
    EXPECT_EQ(records(), c.want);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, c.message);
    EXPECT_TRUE(messages.shown[0].beeped);
  }
  // The record number follows the run's counters.
  source("a\r\n" + huge + "\r\nc\r\n", kLinePerField, 3);
  state.AcceptedCount = 4;
  state.RejectedCount = 2;
  messages.shown.clear();
  ReadLineRecord(state);
  EXPECT_EQ(messages.texts().at(0).substr(0, 10), "Record 7 o");
}

TEST_F(LinePerField, LineViewAroundTheField) {
  source("L1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6\r\nL7", kLinePerField, 0);
  struct Case { int f; Fields view; };
  const Case cases[] = {
      {5, {"L3", "L4", "L5  <<<<<<", "L6", "L7", ""}},
      {2, {"L1", "L2  <<<<<<", "L3", "L4", "L5", "L6", "L7", ""}},
      {1, {"L1  <<<<<<", "L2"}},
      {7, {"L5", "L6", "L7  <<<<<<", ""}},
      {9, {"L7", "", ""}},
  };
  for (const auto& c : cases) {
    for (std::size_t k = 0; k < c.view.size(); ++k)
      EXPECT_EQ(PeekSourceLine(state, c.f, static_cast<int>(k + 1)), c.view[k]) << c.f << " " << k;
  }
}

}  // namespace
}  // namespace vesper
