#include "engine/badfile.h"

#include <gtest/gtest.h>

#include "engine/runstate.h"
#include "source/delimited.h"
#include "source/source_fixture.h"

namespace vesper {
namespace {

using namespace std::string_literals;

class BadFile : public testing::StateFixture<RunState> {
 protected:
  std::string badPath;
  std::vector<std::string> lost;  // why each line not written was lost
  void SetUp() override {
    StateFixture::SetUp();
    badPath = (dir / "bad.csv").string();
    state.BadFile.setup(messages, badPath, "bad records file");
  }
  // Reads the whole source as the run does, bad lines to the writer; returns
  // field 1 of each record.
  std::vector<std::string> run(const std::string& bytes, int fields) {
    source(bytes, kDelimited, fields);
    state.NoBadRecords = true;
    std::vector<std::string> records;
    lost.clear();
    auto write = [&](std::string_view l) {
      std::string why = WriteBadRecord(state, l);
      if (!why.empty()) lost.push_back(why);
    };
    while (ReadNextDelimitedRecord(state, write))
      records.push_back(GetDelimitedField(state.RecordBuffer.view(), 1));
    CloseSlot(state.BadFile);
    return records;
  }
};

TEST_F(BadFile, HoldsEachRejectedLineByteForByte) {
  const std::string longbad = "\"long\"," + std::string(4493, 'z');  // 4500 characters
  ASSERT_EQ(longbad.size(), 4500u);
  struct Case { std::string name, bytes, bad; std::vector<std::string> records; };
  const Case cases[] = {
      {"second and fifth, CR LF", "a,1,2\r\nb,1,2,3\r\nc,1,2\r\nd,1,2\r\ne\r\nf,1,2\r\n",
       "b,1,2,3\r\ne\r\n", {"a", "c", "d", "f"}},
      {"LF only", "a,1,2\nb,1,2,3\nc,1,2\ne\n", "b,1,2,3\r\ne\r\n", {"a", "c"}},
      {"CR only", "a,1,2\rb,1\rc,1,2", "b,1\r\n", {"a", "c"}},
      {"malformed first line", "Name,Street,City,Zip\r\na,1,2\r\n", "Name,Street,City,Zip\r\n", {"a"}},
      {"tabs and control characters", "a,1,2\r\n\tb,\x01\x02,\x7f\xc3\xa9\x00x,y\r\nc,1,2\r\n"s,
       "\tb,\x01\x02,\x7f\xc3\xa9\x00x,y\r\n"s, {"a", "c"}},
      {"long line in the middle", "a,1,2\r\n" + longbad + "\r\nc,1,2\r\n", longbad + "\r\n", {"a", "c"}},
      {"long line first, LF", longbad + "\nc,1,2\n", longbad + "\r\n", {"c"}},
      {"long line last, no line end", "a,1,2\r\n" + longbad, longbad + "\r\n", {"a"}},
      {"empty line", "a,1,2\r\n\r\nc,1,2\r\n", "\r\n", {"a", "c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state.BadFile.setup(messages, badPath, "bad records file");
    EXPECT_EQ(run(c.bytes, 3), c.records);
    EXPECT_EQ(read(badPath), c.bad);
    EXPECT_FALSE(state.NoBadRecords);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(BadFile, ReplacedByTheNextRunWithBadLinesOnly) {
  write("bad.csv", "old content of an earlier run\r\n");
  run("a,1,2\r\nb,1,2\r\n", 3);  // no bad lines: the old file stays
  EXPECT_TRUE(state.NoBadRecords);
  EXPECT_EQ(read(badPath), "old content of an earlier run\r\n");
  run("a,1,2\r\nb\r\n", 3);
  EXPECT_EQ(read(badPath), "b\r\n");
}

TEST_F(BadFile, LowDiskSpace) {
  write("bad.csv", "0123456789\r\n");
  disk.bytes = 99999;
  run("a,1,2\r\nbad\r\nworse\r\n", 3);
  EXPECT_FALSE(state.NoBadRecords);
  EXPECT_EQ(read(badPath), "0123456789\r\n");  // untouched
  ASSERT_EQ(messages.shown.size(), 2u);        // once for each bad line
  EXPECT_EQ(messages.shown[0].kind, "plain");
  EXPECT_EQ(messages.shown[0].text, "Disk space less then 100k. Bad record file will not be writen.");
  EXPECT_EQ(lost, std::vector<std::string>(2, kLowDiskBadFileReason));
  disk.bytes = 100000;
  run("bad\r\n", 3);
  EXPECT_EQ(read(badPath), "bad\r\n");
}

TEST_F(BadFile, FileThatCannotBeCreated) {
  state.BadFile.setup(messages, (dir / "missing" / "bad.csv").string(), "bad records file");
  EXPECT_EQ(run("a,1,2\r\nbad\r\nworse\r\nb,1,2\r\n", 3), (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(messages.shown.size(), 1u);  // reported once; the run goes on
  EXPECT_TRUE(messages.shown[0].beeped);
  EXPECT_NE(messages.shown[0].text.find("missing/bad.csv"), std::string::npos);
  EXPECT_EQ(state.BadFile.State, 1);
  const std::string why = "No such file or directory: " + (dir / "missing" / "bad.csv").string();
  EXPECT_EQ(lost, std::vector<std::string>(2, why));  // every line not written is told apart
}

// A device that takes no bytes: each line is lost for the system's reason.
TEST_F(BadFile, LinesThatCannotBeWrittenAreLost) {
  state.BadFile.setup(messages, "/dev/full", "bad records file");
  run("a,1,2\r\nbad\r\nworse\r\n", 3);
  EXPECT_EQ(lost, std::vector<std::string>(2, "No space left on device"));
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(BadFile, SizeTest) {
  EXPECT_TRUE(BadFileTooShort((dir / "none.csv").string()));
  EXPECT_TRUE(BadFileTooShort(write("nine.csv", "123456789")));
  EXPECT_FALSE(BadFileTooShort(write("ten.csv", "1234567890")));
  std::filesystem::create_directories(dir / "folder.csv");
  EXPECT_TRUE(BadFileTooShort((dir / "folder.csv").string()));
}

}  // namespace
}  // namespace vesper
