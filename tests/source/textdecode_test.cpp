#include "source/textdecode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "source/textfile.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

std::string utf16(const std::u16string& s, bool le, bool bom) {
  std::string out;
  auto put = [&](char16_t u) {
    char a = static_cast<char>(u & 0xFF), b = static_cast<char>(u >> 8);
    if (le) { out += a; out += b; } else { out += b; out += a; }
  };
  if (bom) put(0xFEFF);
  for (char16_t u : s) put(u);
  return out;
}

struct EncodingTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("vesper-enc-" + std::to_string(::getpid()));
  testing::RecordingMessages messages;
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  // Lines of a file as the source reader gives them, with the decided encoding.
  std::vector<std::string> read(const std::string& bytes, TextEncoding* decided = nullptr) {
    auto p = dir / "f.txt";
    std::ofstream(p, std::ios::binary) << bytes;
    TextFileSlot slot;
    slot.setup(messages, p.string(), "Source file");
    OpenSlot(slot);
    ResetSlot(slot);
    std::vector<std::string> out;
    LineBuffer line;
    while (!SlotEof(slot)) {
      ReadSourceLine(slot, line);
      out.emplace_back(line.view());
    }
    if (decided) *decided = slot.encoding;  // decided by the time the file was read
    return out;
  }
};

TEST_F(EncodingTest, DecidedFromTheFile) {
  struct Case { std::string bytes; TextEncoding want; std::vector<std::string> lines; };
  const Case cases[] = {
      {"Smith,Ann\r\n", TextEncoding::Utf8, {"Smith,Ann", "  "}},
      {"\xEF\xBB\xBFName,City\r\nM\xC3\xBCller,K\xC3\xB6ln", TextEncoding::Utf8,
       {"Name,City", "  M\xC3\xBCller,K\xC3\xB6ln"}},
      {"M\xFCller,K\xF6ln\r\n\x80 5", TextEncoding::Windows1252,
       {"M\xC3\xBCller,K\xC3\xB6ln", "  \xE2\x82\xAC 5"}},
      {utf16(u"M\u00fcller\r\nZ\U0001F600", true, true), TextEncoding::Utf16LE,
       {"M\xC3\xBCller", "  Z\xF0\x9F\x98\x80"}},
      {utf16(u"Ann\nBo", false, true), TextEncoding::Utf16BE, {"Ann", " Bo"}},
      // Valid UTF-8 for a long stretch, then one Windows-1252 byte.
      {std::string(3 << 20, 'a') + "\xE9", TextEncoding::Windows1252, {}},
  };
  for (const auto& c : cases) {
    TextEncoding got;
    auto lines = read(c.bytes, &got);
    EXPECT_EQ(got, c.want) << encodingname(c.want);
    if (!c.lines.empty()) {
      EXPECT_EQ(lines, c.lines) << encodingname(c.want);
    }
  }
  EXPECT_TRUE(messages.shown.empty());
}

// Without a byte-order mark the decision waits for the first byte that is
// not ASCII, far into the file, and is still made for the whole file: valid
// UTF-8 there and a Windows-1252 byte much later make every line read as
// Windows-1252 (the earlier pair of bytes becomes two characters); without
// the later byte the pair reads as one UTF-8 character.
TEST_F(EncodingTest, DecidedAtTheFirstByteThatIsNotAscii) {
  std::string ascii;
  for (int i = 0; i < 20000; ++i) ascii += "Plain,Ascii" + std::to_string(i) + "\r\n";
  struct Case { const char* tail; TextEncoding want; std::string line; };
  const Case cases[] = {
      {"\xE9\r\n", TextEncoding::Windows1252, "M\xC3\x83\xC2\xA9"},
      {"\xC3\xA9\r\n", TextEncoding::Utf8, "M\xC3\xA9"},
  };
  for (const Case& c : cases) {
    TextEncoding got;
    auto lines = read(ascii + "M\xC3\xA9\r\n" + ascii + c.tail, &got);
    EXPECT_EQ(got, c.want) << encodingname(c.want);
    ASSERT_GT(lines.size(), 20000u);
    EXPECT_EQ(lines[0], "Plain,Ascii0");
    EXPECT_EQ(lines[20000], "  " + c.line) << encodingname(c.want);  // after the line end in front
  }
}

TEST(TextDecoder, CharactersSplitBetweenChunks) {
  const std::string text = "a\xC3\xBC" "b\xE2\x82\xAC" "c\xF0\x9F\x98\x80";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    TextDecoder d(TextEncoding::Utf8);
    std::string out;
    d.decode(std::string_view(text).substr(0, cut), out);
    d.decode(std::string_view(text).substr(cut), out, true);
    EXPECT_EQ(out, text) << cut;
  }
  std::string le = utf16(u"x\U0001F600y", true, false);
  for (std::size_t cut = 0; cut <= le.size(); ++cut) {
    TextDecoder d(TextEncoding::Utf16LE);
    std::string out;
    d.decode(std::string_view(le).substr(0, cut), out);
    d.decode(std::string_view(le).substr(cut), out, true);
    EXPECT_EQ(out, "x\xF0\x9F\x98\x80y") << cut;
  }
}

TEST(TextDecoder, IllFormedInputBecomesReplacementCharacters) {
  struct Case { TextEncoding e; std::string in, out; };
  const Case cases[] = {
      {TextEncoding::Utf8, "a\xC0\xAF" "b", "a\xEF\xBF\xBD\xEF\xBF\xBD" "b"},  // overlong
      {TextEncoding::Utf8, "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {TextEncoding::Utf8, "z\xE2\x82", "z\xEF\xBF\xBD\xEF\xBF\xBD"},  // cut off at the end
      {TextEncoding::Utf16LE, std::string("\x00\xD8" "a", 3), "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {TextEncoding::Windows1252, "\x81\x9F\xFF", "\xC2\x81\xC5\xB8\xC3\xBF"},
  };
  for (const auto& c : cases) {
    TextDecoder d(c.e);
    std::string out;
    d.decode(c.in, out, true);
    EXPECT_EQ(out, c.out) << encodingname(c.e);
  }
  EXPECT_TRUE(isvalidutf8("plain ascii"));
  EXPECT_FALSE(isvalidutf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_TRUE(isvalidutf8("\xE2\x82", false));
}

// Plain ASCII is passed over several bytes at a time: a character or a bad
// byte is still found wherever it falls among ASCII bytes, including the
// first and last position and on either side of every eight-byte step.
TEST(TextDecoder, NonAsciiFoundAtEveryPositionAmongAscii) {
  struct Case { std::string bytes, decoded; bool valid; };
  const Case cases[] = {
      {"\xC3\xA9", "\xC3\xA9", true},
      {"\xE2\x82\xAC", "\xE2\x82\xAC", true},
      {"\xFF", "\xEF\xBF\xBD", false},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false},
  };
  for (const auto& c : cases) {
    for (std::size_t before = 0; before <= 17; ++before) {
      for (std::size_t after : {0u, 1u, 7u, 8u, 9u}) {
        const std::string in = std::string(before, 'a') + c.bytes + std::string(after, 'b');
        const std::string want = std::string(before, 'a') + c.decoded + std::string(after, 'b');
        SCOPED_TRACE(::testing::PrintToString(in));
        EXPECT_EQ(isvalidutf8(in), c.valid);
        TextDecoder d(TextEncoding::Utf8);
        std::string out;
        d.decode(in, out, true);
        EXPECT_EQ(out, want);
      }
    }
  }
}

}  // namespace
}  // namespace vesper
