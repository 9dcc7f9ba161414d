// A workbook with a header row through the session, as the batch command's
// --auto-assign drives it: the program's own header judge and proposal, the
// sheet chosen by name, the assignment saved with the sheet.
#include <gtest/gtest.h>

#include "app/session.h"
#include "app/specfile.h"
#include "support/datafolder.h"
#include "support/workbookbuilder.h"

namespace vesper {
namespace {

struct Quiet : RunView {
  bool askabort() override { return true; }
  bool showscounters() const override { return false; }
  void fewerrecords(int, int) override {}
};

struct WorkbookSessionTest : testing::DataFolderTest {
  WorkbookSessionTest() : DataFolderTest("workbooksession") {}
};

TEST_F(WorkbookSessionTest, AHeaderRowIsProposedAndTheSheetSaved) {
  testing::XlsxContent content;
  content.strings = {"<t>First Name</t>", "<t>Last Name</t>", "<t>E-mail Address</t>", "<t>Birthday</t>",
                  "<t>Ann</t>", "<t>Ames</t>", "<t>ann@example.org</t>", "<t>Bob</t>", "<t>Bell</t>"};
  content.cellxfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>";
  auto row = [](int r, int a, int b, const std::string& c, double date) {
    const std::string n = std::to_string(r);
    std::string x = "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" + std::to_string(a) + "</v></c><c r=\"B" + n +
                    "\" t=\"s\"><v>" + std::to_string(b) + "</v></c>";
    if (!c.empty()) x += "<c r=\"C" + n + "\" t=\"s\"><v>" + c + "</v></c>";
    if (date > 0) x += "<c r=\"D" + n + "\" s=\"1\"><v>" + std::to_string(date) + "</v></c>";
    return x + "</row>";
  };
  std::string header = row(1, 0, 1, "2", 0);
  header.insert(header.size() - 6, "<c r=\"D1\" t=\"s\"><v>3</v></c>");
  content.sheets = {{"Notes", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>4</v></c></row>"},
                 {"People", header + row(3, 4, 5, "6", 22355) + row(4, 7, 8, "", 25903)}};
  const std::string path = (dir / "people.xlsx").string();
  testing::writezip(path, testing::xlsxparts(content));

  ImportSession session(*state, *engine);
  session.begin();
  ASSERT_TRUE(session.choosedatabase("MAIN"));
  LayoutChoice choice;
  choice.sheet = "People";
  session.chooselayout(choice);
  session.setsource(path);
  ASSERT_TRUE(session.checkstart(true) && session.opentarget() && session.loadspec() && session.opensource());
  EXPECT_EQ(state->SourceType, kXlsxWorkbook);
  ASSERT_TRUE(session.headerrecognised());
  ASSERT_TRUE(session.propose());
  ASSERT_TRUE(session.acceptproposal());
  EXPECT_EQ(state->FieldAssignments[1], "FirstName");
  EXPECT_EQ(state->FieldAssignments[2], "LastName");
  EXPECT_EQ(state->DateFormats[4], 2);  // the dates come as 1961-03-15

  session.saveas((dir / "people.imp").string());
  Quiet view;
  std::unique_ptr<ImportRun> run = session.makerun(view);
  ASSERT_TRUE(run->start());
  run->acceptall();
  EXPECT_EQ(state->AcceptedCount, 2);
  run.reset();
  session.endstart();
  ImportState back(messages, clock, disk);
  ReadSpecFile(back, (dir / "people.imp").string(), contactfields());
  EXPECT_EQ(back.SourceType, kXlsxWorkbook);
  EXPECT_EQ(back.SourceLayoutChoice.sheet, "People");
  EXPECT_EQ(back.FieldAssignments, state->FieldAssignments);
}

}  // namespace
}  // namespace vesper
