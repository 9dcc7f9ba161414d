// A delimited source with a header line: the session's layout choice, its
// inspection of a chosen source, and the proposed assignment taken as it
// stands (the batch command's --auto-assign) or left aside.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/session.h"
#include "app/specfile.h"
#include "support/datafolder.h"
#include "support/headedsource.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

const char* const kExport =
    "Name,Business Street,Business Postal Code,E-mail Address,Birthday,Notes,Mobile Phone\r\n"
    "Ann Ames,1 Elm St,02134,ann@example.org,15.03.1961,Met in Leeds,555-0100\r\n"
    "Bob Bell,2 Oak Rd,80202,bob@example.org,01.12.1970,,555-0101\r\n";

struct Quiet : RunView {
  bool askabort() override { return true; }
  bool showscounters() const override { return false; }
  void fewerrecords(int, int) override {}
};

struct ProposalTest : testing::DataFolderTest {
  ProposalTest() : DataFolderTest("proposal") {}
  std::unique_ptr<ImportSession> session;
  testing::HeadedOpener headed;
  std::vector<std::string> namesSeen;
  std::vector<std::vector<std::string>> samplesSeen;

  void SetUp() override {
    DataFolderTest::SetUp();
    session = std::make_unique<ImportSession>(*state, *engine);
    session->begin();
    session->setsourceopener(headed.opener());
    session->setheaderjudge(testing::wordjudge({"Name", "Business Street", "Business Postal Code",
                                                "E-mail Address", "Birthday", "Notes", "Mobile Phone"}));
    session->setproposer([this](const std::vector<std::string>& names,
                                const std::vector<std::vector<std::string>>& samples,
                                const std::vector<FieldDef>&, const CatalogueLabels&) {
      namesSeen = names;
      samplesSeen = samples;
      return std::vector<ColumnProposal>{{"x2firstlast"}, {"Addr1"}, {"Zip"}, {"Email"},
                                         {"Date1", 6},    {"Memo"},  {""}};
    });
    ASSERT_TRUE(session->choosedatabase("MAIN"));
  }
  void TearDown() override {
    session.reset();
    DataFolderTest::TearDown();
  }
  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }
  bool start(const std::string& source, const std::string& spec = "") {
    session->setsource(source);
    session->choosespec(spec);
    return session->checkstart(true) && session->opentarget() && session->loadspec() &&
           session->opensource();
  }
};

TEST_F(ProposalTest, TheProposalTakenAsItStandsIsTheDialogsAssignment) {
  ASSERT_TRUE(start(write("export.csv", kExport)));
  ASSERT_TRUE(session->headerrecognised());
  ASSERT_TRUE(session->propose());
  EXPECT_EQ(namesSeen, state->SourceLayout.columnnames);
  // The first records, field by field: Bob Bell's street is field 2 of one.
  bool street = false;
  for (const auto& record : samplesSeen) {
    ASSERT_EQ(record.size(), 7u);
    street = street || record[1] == "2 Oak Rd";
  }
  EXPECT_TRUE(street);

  ASSERT_TRUE(session->acceptproposal());
  const std::vector<std::string> want = {"x2firstlast", "Addr1", "Zip", "Email", "Date1", "Memo", "x1notused"};
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(state->FieldAssignments[i], want[i - 1]) << "field " << i;
  EXPECT_EQ(state->FieldAssignments[8], "");
  EXPECT_EQ(state->DateFormats[5], 6);  // the guessed layout, no dialog
  EXPECT_EQ(state->DateFormats[3], -1);
  // The marks the dialog sets: first and last name filled by (First & Last),
  // Addr1 taken and (Address 1 & 2) blocked with it.
  const auto& f = contactfields();
  auto pos = [&](const char* n) { return fieldposition(f, n); };
  EXPECT_EQ(state->TargetFieldMarks[pos("FirstName")], 2);
  EXPECT_EQ(state->TargetFieldMarks[pos("Addr1")], 1);
  EXPECT_EQ(state->TargetFieldMarks[pos("Date1")], 1);
  EXPECT_EQ(state->TargetFieldMarks[202], 1);
  EXPECT_EQ(state->TargetFieldMarks[208], 2);
  EXPECT_TRUE(messages.shown.empty());

  // The run saves the assignment with the layout it was read in.
  session->saveas((dir / "auto.imp").string());
  Quiet view;
  std::unique_ptr<ImportRun> run = session->makerun(view);
  ASSERT_TRUE(run->start());
  run->acceptall();
  run.reset();
  session->endstart();
  ImportState back(messages, clock, disk);
  ReadSpecFile(back, (dir / "auto.imp").string(), contactfields());
  EXPECT_EQ(back.FieldAssignments, state->FieldAssignments);
  EXPECT_EQ(back.SourceLayoutChoice.header, HeaderChoice::Yes);
}

// No proposal where the assignment is not the header's to make.
TEST_F(ProposalTest, NoProposalWithoutAHeaderOrUnderASpecification) {
  struct Case {
    const char* name;
    std::string source;
    LayoutChoice choice;
    bool withSpec;
  };
  const Case cases[] = {
      {"no header line", "Ann Ames,1 Elm St,02134\r\n", {}, false},
      {"header refused by the user", kExport, {0, HeaderChoice::No, QuotingChoice::Auto, {}}, false},
      {"under a specification", kExport, {}, true},
  };
  std::string spec = "1\r\n";
  for (int i = 1; i <= kMaxSourceFields; ++i) spec += i <= 7 ? "x1notused\r\n" : "\r\n";
  for (int i = 0; i <= kMaxSourceFields; ++i) spec += "-1\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    session->chooselayout(c.choice);
    ASSERT_TRUE(start(write("in.csv", c.source), c.withSpec ? write("in.imp", spec) : ""));
    EXPECT_FALSE(session->propose());
    EXPECT_FALSE(session->guide().hasproposal());
    EXPECT_FALSE(session->acceptproposal());
    session->endstart();
  }
  EXPECT_TRUE(namesSeen.empty()) << "the proposal was asked for";
}

// The user's choice wins over a specification's layout lines, which win
// over recognition; inspecting a source leaves the import alone.
TEST_F(ProposalTest, LayoutChoiceAndInspection) {
  std::string spec = "1\r\n";
  for (int i = 1; i <= kMaxSourceFields; ++i) spec += i <= 7 ? "x1notused\r\n" : "\r\n";
  for (int i = 0; i <= kMaxSourceFields; ++i) spec += "-1\r\n";
  spec += "SEPARATOR=,\r\nHEADER=NO\r\nQUOTING=STANDARD\r\n";
  const std::string source = write("export.csv", kExport);
  const std::string imp = write("layout.imp", spec);

  ASSERT_TRUE(start(source, imp));
  session->endstart();
  session->chooselayout({0, HeaderChoice::Yes, QuotingChoice::Auto, {}});
  ASSERT_TRUE(start(source, imp));
  session->endstart();
  session->chooselayout({});
  ASSERT_TRUE(start(source));
  ASSERT_EQ(headed.choices.size(), 3u);
  const LayoutChoice want[] = {{',', HeaderChoice::No, QuotingChoice::Standard, {}},
                               {',', HeaderChoice::Yes, QuotingChoice::Standard, {}},
                               {}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(headed.choices[i].separator, want[i].separator) << i;
    EXPECT_EQ(headed.choices[i].header, want[i].header) << i;
    EXPECT_EQ(headed.choices[i].quoting, want[i].quoting) << i;
  }

  const std::string fileBefore = state->SourceFile.Name;
  session->setsource(write("other.csv", kExport));
  EXPECT_TRUE(session->inspectsource());
  EXPECT_EQ(session->inspected().headerline, 1);
  EXPECT_EQ(session->inspected().columnnames.at(2), "Business Postal Code");
  EXPECT_EQ(state->SourceFile.Name, fileBefore);
  session->chooselayout({0, HeaderChoice::No, QuotingChoice::Auto, {}});
  EXPECT_TRUE(session->inspectsource());
  EXPECT_EQ(session->inspected().headerline, 0);
  for (const char* path : {"missing.csv", "."}) {
    session->setsource((dir / path).string());
    EXPECT_FALSE(session->inspectsource()) << path;
  }
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesper
