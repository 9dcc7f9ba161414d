#include "source/textfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("vesper-textfile-" + std::to_string(::getpid()));
  testing::RecordingMessages messages;
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string& name, const std::string& bytes) {
    auto p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  // All the lines of a file as ReadSourceLine gives them, until end of file.
  std::vector<std::string> lines(const std::string& bytes, std::vector<int>* fronts = nullptr) {
    TextFileSlot slot;
    slot.setup(messages, write("src.txt", bytes), "Source file");
    EXPECT_TRUE(OpenSlot(slot));
    ResetSlot(slot);
    std::vector<std::string> out;
    LineBuffer line;
    while (!SlotEof(slot)) {
      ReadSourceLine(slot, line);
      out.emplace_back(line.view());
      if (fronts) fronts->push_back(line.lineendinfront);
    }
    return out;
  }
};

TEST_F(TextFileTest, LineEndsOfEveryKind) {
  struct Case { std::string bytes; std::vector<std::string> want; std::vector<int> fronts; };
  const Case cases[] = {
      {"AB\r\nCD\r\n", {"AB", "  CD", "  "}, {0, 2, 2}},
      {"AB\r\nCD", {"AB", "  CD"}, {0, 2}},
      {"AB\nCD\n", {"AB", " CD", " "}, {0, 1, 1}},
      {"AB\rCD\r", {"AB", " CD", " "}, {0, 1, 1}},
      {"AB\r\n\r\nCD", {"AB", "  ", "  CD"}, {0, 2, 2}},
      {"AB\n\nCD", {"AB", " ", " CD"}, {0, 1, 1}},
      {"A\tB\x01" "C\xC3\xA9", {"A B C\xC3\xA9"}, {0}},
      {"AB\x1A" "CD", {"AB"}, {0}},
      {"", {}, {}},
  };
  for (const auto& c : cases) {
    std::vector<int> fronts;
    EXPECT_EQ(lines(c.bytes, &fronts), c.want) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(fronts, c.fronts) << ::testing::PrintToString(c.bytes);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(TextFileTest, LongLineArrivesInPieces) {
  std::string longline(4500, 'x');
  auto got = lines(longline + "\r\nnext");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].size(), 4000u);
  EXPECT_EQ(got[1], std::string(500, 'x'));
  EXPECT_EQ(got[2], "  next");
}

// Lines read straight from the read-ahead buffer end where they end whatever
// falls on the buffer's edge: a line end split over two reads, a line cut in
// two, a control character first or last in a read.
TEST_F(TextFileTest, LinesAcrossTheReadAheadEdges) {
  const char* const ends[] = {"\r\n", "\n", "\r"};
  for (int shift = 0; shift < 6; ++shift) {
    std::string bytes;
    std::vector<std::string> want;
    std::string front;
    for (int k = 0; bytes.size() < 140000; ++k) {
      std::string text = "L" + std::to_string(k) + std::string(static_cast<std::size_t>(k * 37 % 290 + shift), 'a');
      text[text.size() / 2] = '\t';
      const std::string end = ends[(k + shift) % 3];
      bytes += text + end;
      std::string shown = text;
      shown[shown.size() / 2] = ' ';
      want.push_back(front + shown);
      front = std::string(end.size(), ' ');
    }
    want.push_back(front);  // the blank after the final line end
    EXPECT_EQ(lines(bytes), want) << shift;
  }
}

// Lines are copied eight bytes at a time until a control character: every
// kind of control character and line end, at every offset within and around
// such a word, after a first character that is taken on its own.
TEST_F(TextFileTest, ControlCharactersAndLineEndsAtEveryOffset) {
  const std::string inside[] = {"\t", "\x01", "\x1f", "\x7f", "\xC3\xA9", " "};
  const std::string ends[] = {"\r\n", "\n", "\r"};
  for (std::size_t len = 1; len <= 26; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      for (const std::string& c : inside) {
        std::string text(len, 'a');
        text.replace(at, 1, c);
        std::string shown = text;
        if (static_cast<unsigned char>(c[0]) < 32) shown[at] = ' ';
        const std::vector<std::string> want = {shown, "  z"};
        EXPECT_EQ(lines(text + "\r\nz"), want) << len << " " << at << " " << int(c[0]);
      }
      for (const std::string& end : ends) {
        const std::string head(at, 'a'), tail(len - at, 'b');
        std::vector<std::string> want = {std::string(end.size(), ' ') + tail};
        if (at > 0) want.insert(want.begin(), head);
        std::vector<int> fronts;
        EXPECT_EQ(lines(head + end + tail, &fronts), want) << len << " " << at;
        EXPECT_EQ(fronts.back(), static_cast<int>(end.size()));
      }
      const std::vector<std::string> cut = at > 0 ? std::vector<std::string>{std::string(at, 'a')}
                                                  : std::vector<std::string>{};
      EXPECT_EQ(lines(std::string(at, 'a') + "\x1A" + std::string(len - at, 'b')), cut) << len << " " << at;
    }
  }
}

// Past the count the buffer holds spaces after every read, whatever the
// previous line or a writer of a joined record left there.
TEST_F(TextFileTest, UnusedPositionsAreSpaces) {
  TextFileSlot slot;
  slot.setup(messages, write("blank.txt", std::string(300, 'x') + "\r\nab\r\n" + std::string(4100, 'y')), "Source file");
  OpenSlot(slot);
  ResetSlot(slot);
  LineBuffer line;
  auto restblank = [&line] {
    return std::string_view(line.text + line.count, kLineCapacity + 1 - line.count) ==
           std::string(kLineCapacity + 1 - line.count, ' ');
  };
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.count, 300);
  EXPECT_TRUE(restblank());
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.view(), "  ab");
  EXPECT_TRUE(restblank());
  std::memset(line.text, 'j', 600);  // as a joined record is written: up to one past its count
  line.count = 599;
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.count, kLineCapacity);
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.view(), std::string(102, 'y'));
  EXPECT_TRUE(restblank());
}

TEST_F(TextFileTest, RawKeepsTheBytes) {
  TextFileSlot slot;
  slot.setup(messages, write("raw.txt", "a\tb\r\nc\x01" "d"), "Source file");
  OpenSlot(slot);
  ResetSlot(slot);
  LineBuffer line;
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.raw, "a\tb");
  EXPECT_EQ(line.view(), "a b");
  ReadSourceLine(slot, line);
  EXPECT_EQ(line.raw, "\r\nc\x01" "d");
  EXPECT_EQ(line.lineendinfront, 2);
}

TEST_F(TextFileTest, SlotMessages) {
  TextFileSlot slot;
  slot.setup(messages, (dir / "nothere.txt").string(), "Source file");
  char c = 'q';
  ReadSlotChar(slot, c);
  EXPECT_EQ(c, 'q');
  EXPECT_FALSE(ResetSlot(slot));
  WriteSlotChar(slot, 'x');
  ASSERT_TRUE(OpenSlot(slot));
  EXPECT_TRUE(ResetSlot(slot));  // the file is missing: the slot fails
  EXPECT_EQ(slot.State, 1);
  ReadSlotChar(slot, c);  // a failed slot does nothing
  const std::string name = (dir / "nothere.txt").string();
  std::vector<std::string> want = {
      "attempting to read from the Source file named " + name + " while not open",
      "attempting to reset the Source file while it is closed",
      "attempting to write from the Source file named " + name + " while not open",
      "unable to reset the Source file called " + name,
  };
  EXPECT_EQ(messages.texts(), want);
  for (auto& m : messages.shown) EXPECT_TRUE(m.beeped);

  TextFileSlot unnamed;
  unnamed.setup(messages, "", "bad records file");
  EXPECT_FALSE(OpenSlot(unnamed));
  EXPECT_EQ(unnamed.State, 2);
  EXPECT_EQ(messages.texts().back(), "Unable to open the bad records file called ");
}

TEST_F(TextFileTest, WritesLinesWithCrLfAndLongPaths) {
  // A path far past 64 characters names the file it says.
  fs::path deep = dir / std::string(80, 'd') / std::string(70, 'f');
  fs::create_directories(deep.parent_path());
  TextFileSlot slot;
  slot.setup(messages, deep.string(), "New import specification file");
  ASSERT_TRUE(OpenSlot(slot));
  RewriteSlot(slot);
  WriteSlotInt(slot, -1);
  WriteSlotLine(slot, "FirstName");
  WriteSlotChar(slot, 'z');
  CloseSlot(slot);
  EXPECT_EQ(slot.State, 0);
  std::ifstream in(deep, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all, "-1\r\nFirstName\r\nz");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(CleanValue, QuotesAndBlanks) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {" \"Smith\" ", "Smith"}, {"Smith\"", "Smith\""}, {"\"Smith", "Smith"},
      {"\"\"", ""},             {"\"", ""},             {"  ", ""},
      {"\r\n Bob\t ", "Bob"},   {"\tBob", "\tBob"},     {"\"a \"b\"\"", "a \"b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanValue(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace vesper
