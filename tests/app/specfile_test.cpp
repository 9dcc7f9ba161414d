#include "app/specfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/errors.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

std::vector<FieldDef> contactfields() {
  return {{"FirstName", FieldType::Alpha, 20}, {"LastName", FieldType::Alpha, 30},
          {"City", FieldType::Alpha, 30},      {"State", FieldType::Alpha, 20},
          {"Zip", FieldType::Alpha, 11},       {"Date1", FieldType::Date, 0}};
}

struct SpecFileTest : ::testing::Test {
  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  ImportState state{messages, clock, disk};
  fs::path dir = fs::temp_directory_path() / ("vesper-spec-" + std::to_string(::getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  std::string put(const std::string& text) {
    auto p = (dir / "in.imp").string();
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  // A well-formed file for a delimited source of the given slots.
  static std::string specfile(int kind, std::vector<std::string> slots, int pivot = 20) {
    std::string t = std::to_string(kind) + "\r\n";
    for (int i = 1; i <= 210; ++i) t += (i <= (int)slots.size() ? slots[i - 1] : "") + "\r\n";
    t += std::to_string(pivot) + "\r\n";
    for (int i = 1; i <= 210; ++i) t += (i == 3 ? "4" : "-1") + std::string("\r\n");
    return t;
  }
};

TEST_F(SpecFileTest, WritesAndReadsBack) {
  state.SpecFileName = (dir / "x.imp").string();
  state.SourceType = kDelimited;
  state.FieldAssignments[1] = "x2firstlast";
  state.FieldAssignments[3] = "Date1";
  state.FieldAssignments[4] = "x5citystatezip";
  state.DateFormats[0] = 30;
  state.DateFormats[3] = 7;
  WriteSpecFile(state, dir.string());
  std::string text = slurp(state.SpecFileName);
  int lines = 0;
  for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
  EXPECT_EQ(lines, kSpecFileLines);
  EXPECT_EQ(text.substr(0, 16), "1\r\nx2firstlast\r\n");
  EXPECT_NE(text.find("\r\n30\r\n-1\r\n-1\r\n7\r\n"), std::string::npos);

  ImportState fresh(messages, clock, disk);
  ReadSpecFile(fresh, state.SpecFileName, contactfields());
  EXPECT_TRUE(fresh.SpecLoaded);
  EXPECT_EQ(fresh.SourceType, kDelimited);
  EXPECT_EQ(fresh.SourceFieldCount, 4);
  EXPECT_EQ(fresh.FieldAssignments, state.FieldAssignments);
  EXPECT_EQ(fresh.DateFormats, state.DateFormats);
  EXPECT_EQ(fresh.TargetFieldMarks[5], 1);    // Date1
  EXPECT_EQ(fresh.TargetFieldMarks[0], 2);    // FirstName filled by x2
  EXPECT_EQ(fresh.TargetFieldMarks[203], 1);  // x2 sets 203
  EXPECT_EQ(fresh.TargetFieldMarks[204], 1);  // x5 sets 204
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SpecFileTest, DefaultNameAndLowSpace) {
  auto cwd = fs::current_path();
  fs::current_path(dir);
  disk.bytes = 4999;
  WriteSpecFile(state, dir.string());
  EXPECT_FALSE(fs::exists(dir / "IMPORT.IMP"));
  EXPECT_EQ(messages.shown.at(0).kind, "plain");
  EXPECT_EQ(messages.shown.at(0).text, "Disk space less then 5k. IMP file will not be saved.");
  disk.bytes = -1;  // unknown counts as too little
  WriteSpecFile(state, dir.string());
  EXPECT_EQ(messages.shown.size(), 2u);
  disk.bytes = 5000;
  WriteSpecFile(state, dir.string());
  EXPECT_TRUE(fs::exists(dir / "IMPORT.IMP"));
  fs::current_path(cwd);
}

TEST_F(SpecFileTest, TolerantReading) {
  // Long slot lines are cut to 20 and the following lines stay aligned;
  // numbers may carry blanks; LF-only line ends are read too.
  std::string t = specfile(1, {"FirstName", "LastNameWithAVeryLongTail", "City"});
  t.replace(0, 1, "  1   ");
  ReadSpecFile(state, put(t), {{"LastNameWithAVeryLon", FieldType::Alpha, 20},
                               {"FirstName", FieldType::Alpha, 20}, {"City", FieldType::Alpha, 20}});
  EXPECT_EQ(state.SourceType, 1);
  EXPECT_EQ(state.FieldAssignments[2], "LastNameWithAVeryLon");
  EXPECT_EQ(state.FieldAssignments[3], "City");
  EXPECT_EQ(state.DateFormats[3], 4);
  EXPECT_EQ(state.SourceFieldCount, 3);

  std::string lf = specfile(0, {"City"});
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.replace(p, 2, "\n");
  ImportState other(messages, clock, disk);
  ReadSpecFile(other, put(lf), contactfields());
  EXPECT_EQ(other.FieldAssignments[1], "City");
  EXPECT_EQ(other.DateFormats[3], 4);
}

TEST_F(SpecFileTest, UntrustedFilesEndWithAClearMessage) {
  std::string good = specfile(1, {"FirstName"});
  struct Case { std::string text; std::string want; };
  const Case cases[] = {
      {"", "it ends early, at line 1 of 422"},
      {good.substr(0, good.size() / 2), "it ends early"},
      {"one\r\n", "holds 'one' at line 1 where a number belongs"},
      {specfile(1, {"Nickname"}), "Field 'Nickname' not found."},
      {specfile(1, {"'); DROP TABLE contact; --"}), "Field ''); DROP TABLE conta' not found."},
  };
  for (const auto& c : cases) {
    ImportState s(messages, clock, disk);
    try {
      ReadSpecFile(s, put(c.text), contactfields());
      ADD_FAILURE() << "no error for " << c.want;
    } catch (const UserError& e) {
      EXPECT_NE(std::string(e.what()).find(c.want), std::string::npos) << e.what();
    }
    EXPECT_FALSE(s.SpecLoaded);
  }
  // A missing file: the slot's message, nothing read.
  ImportState s(messages, clock, disk);
  ReadSpecFile(s, (dir / "none.imp").string(), contactfields());
  EXPECT_FALSE(s.SpecLoaded);
  EXPECT_EQ(messages.texts().back(), "unable to reset the specification file called " + (dir / "none.imp").string());
}

// The layout lines after line 422: written for a delimited source read other
// than the classic way and for a workbook, read back as the choice; the 422 lines before them
// are the same as ever, so a reader that stops at line 422 sees no change.
TEST_F(SpecFileTest, TextLayoutLinesAfterTheClassicLines) {
  struct Case {
    const char* name;
    int kind;
    TextLayout layout;
    std::string lines;   // written after line 422
    LayoutChoice back;   // read back
  };
  TextLayout classic;
  TextLayout headed{';', Quoting::Standard, 3, 2, {"Name", "City"}, {}};
  TextLayout tabbed{'\t', Quoting::Classic, 0, 0, {}, {}};
  TextLayout commaheader{',', Quoting::Standard, 1, 0, {"Name"}, {}};
  const Case cases[] = {
      {"classic", kDelimited, classic, "", {}},
      {"line per field", kLinePerField, headed, "", {}},
      {"semicolon, header", kDelimited, headed, "SEPARATOR=;\r\nHEADER=YES\r\nQUOTING=STANDARD\r\n",
       {';', HeaderChoice::Yes, QuotingChoice::Standard, {}}},
      {"tab, no header", kDelimited, tabbed, "SEPARATOR=TAB\r\nHEADER=NO\r\nQUOTING=CLASSIC\r\n",
       {'\t', HeaderChoice::No, QuotingChoice::Classic, {}}},
      {"comma, header", kDelimited, commaheader, "SEPARATOR=,\r\nHEADER=YES\r\nQUOTING=STANDARD\r\n",
       {',', HeaderChoice::Yes, QuotingChoice::Standard, {}}},
      // A sheet is read again with or without its header row as it was read.
      {"workbook, header row", kXlsxWorkbook, commaheader, "HEADER=YES\r\n", {0, HeaderChoice::Yes, QuotingChoice::Auto, {}}},
      {"workbook, no header row", kOdsSpreadsheet, classic, "HEADER=NO\r\n", {0, HeaderChoice::No, QuotingChoice::Auto, {}}},
  };
  std::string classicText;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImportState s(messages, clock, disk);
    s.SpecFileName = (dir / "layout.imp").string();
    s.SourceType = c.kind;
    s.FieldAssignments[1] = "FirstName";
    s.SourceLayout = c.layout;
    WriteSpecFile(s, dir.string());
    std::string text = slurp(s.SpecFileName);
    if (classicText.empty()) {
      classicText = text;
      int lines = 0;
      for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
      ASSERT_EQ(lines, kSpecFileLines);
    } else if (c.kind == kDelimited) {
      EXPECT_EQ(text.substr(0, classicText.size()), classicText);
    }
    EXPECT_EQ(text.substr(text.size() - c.lines.size()), c.lines);

    ImportState fresh(messages, clock, disk);
    fresh.SourceLayoutChoice = {'|', HeaderChoice::No, QuotingChoice::Classic, {}};  // left from before
    ReadSpecFile(fresh, s.SpecFileName, contactfields());
    EXPECT_TRUE(fresh.SpecLoaded);
    EXPECT_EQ(fresh.SourceFieldCount, 1);
    EXPECT_EQ(fresh.SourceLayoutChoice.separator, c.back.separator);
    EXPECT_EQ(fresh.SourceLayoutChoice.header, c.back.header);
    EXPECT_EQ(fresh.SourceLayoutChoice.quoting, c.back.quoting);
  }
}

// Lines after 422 that are not known here are passed over; known ones are
// read whatever their letter case and blanks.
TEST_F(SpecFileTest, UnknownLayoutLinesArePassedOver) {
  std::string t = specfile(1, {"FirstName"}) +
                  "\r\nCOLOUR=BLUE\r\nSEPARATOR=@\r\n header = no \r\nnot a setting\r\n"
                  "Quoting=Standard\r\nSEPARATOR=\t\r\n";
  ReadSpecFile(state, put(t), contactfields());
  EXPECT_TRUE(state.SpecLoaded);
  EXPECT_EQ(state.FieldAssignments[1], "FirstName");
  EXPECT_EQ(state.SourceLayoutChoice.separator, '\t');
  EXPECT_EQ(state.SourceLayoutChoice.header, HeaderChoice::No);
  EXPECT_EQ(state.SourceLayoutChoice.quoting, QuotingChoice::Standard);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesper
