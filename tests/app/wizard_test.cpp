#include "app/wizard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/specfile.h"
#include "app/startup.h"
#include "store/sampledata.h"
#include "support/datafolder.h"
#include "support/fakes.h"
#include "support/workbookbuilder.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

// Dialogs answered by the test.
struct FakeDialogs : WizardDialogs, RunView, DateFormatAsker {
  bool filetypeOk = true;
  int filetypeChoice = 0;
  std::string source;
  int chooserfilter = 0;
  std::string chooserpattern;
  int databaseIndex = 0;  // -1: OK without a selection; -2: Cancel
  std::string imp;        // the advanced dialog's answer
  int advancedShown = 0;
  std::vector<std::string> assignTo;  // names to assign in order; empty: Cancel
  int assignShown = 0;
  std::string saveAs;
  int runs = 0;
  std::vector<std::string> firstRecord;

  bool filetype(int& choice) override { choice = filetypeChoice; return filetypeOk; }
  std::string choosesource(int filter, const std::string& pattern) override {
    chooserfilter = filter;
    chooserpattern = pattern;
    return source;
  }
  void choosedatabase(DatabaseChooser& chooser) override {
    chooser.FormShow();
    if (chooser.result() != DatabaseChooser::Result::Open) return;
    if (databaseIndex == -2) chooser.CancelClick(); else chooser.OKBtnClick(databaseIndex);
  }
  std::string advanced() override { ++advancedShown; return imp; }
  void assignfields(FieldAssignmentModel& model) override {
    ++assignShown;
    model.FormCreate();
    if (assignTo.empty()) { model.btCancelClick(); return; }
    for (const auto& name : assignTo) {
      const auto& list = model.fieldnames();
      for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) { model.FieldNamesDblClick(static_cast<int>(i)); break; }
    }
  }
  std::string savespec() override { return saveAs; }
  void runimport(ImportRun& run) override {
    ++runs;
    run.FormCreate();
    firstRecord = run.lines();
    if (run.outcome() == ImportRun::Outcome::Open) run.btAllClick();
  }
  RunView& runview() override { return *this; }
  DateFormatAsker& dateformats() override { return *this; }
  bool askabort() override { return true; }
  void askdateformat(AssignState& s) override { s.ChosenDateFormat = 4; }
};

struct WizardTest : testing::DataFolderTest {
  WizardTest() : DataFolderTest("wizard") {}
  FakeDialogs dialogs;
  std::unique_ptr<Wizard> wizard;

  void SetUp() override {
    DataFolderTest::SetUp();
    wizard = std::make_unique<Wizard>(*state, *engine, dialogs);
    wizard->FormCreate();
  }
  void TearDown() override {
    wizard.reset();
    DataFolderTest::TearDown();
  }
  std::string put(const std::string& name, const std::string& text) {
    std::ofstream((dir / name).string(), std::ios::binary) << text;
    return (dir / name).string();
  }
  void choose(const std::string& path) {
    dialogs.source = path;
    wizard->btSourceClick();
    wizard->btPnantDatabaseClick();
  }
  long long contacts() {
    Table t;
    t.open((dir / "data").string(), "CONTACT.DB");
    return t.recordcount();
  }
};

TEST_F(WizardTest, StepsEnableEachOther) {
  EXPECT_EQ(wizard->lblSource, "None Selected");
  EXPECT_FALSE(wizard->databaseenabled);
  dialogs.filetypeChoice = 2;  // "Text or ASCII Files (*.txt)"
  dialogs.source = put("a.txt", "x,y,z\r\n");
  wizard->btSourceClick();
  EXPECT_EQ(dialogs.chooserfilter, 2);
  EXPECT_EQ(dialogs.chooserpattern, "*.txt");
  EXPECT_EQ(state->SourceType, kDelimited);
  EXPECT_EQ(wizard->lblSource, dialogs.source);
  EXPECT_TRUE(wizard->databaseenabled);
  wizard->btPnantDatabaseClick();
  EXPECT_EQ(wizard->lblDatabase, "MAIN");
  EXPECT_TRUE(wizard->startenabled);
  // A second "&Source File" cancelled at the type dialog: caption back to none,
  // the database button as it was.
  dialogs.filetypeOk = false;
  wizard->btSourceClick();
  EXPECT_EQ(wizard->lblSource, "None Selected");
  EXPECT_TRUE(wizard->databaseenabled);
  // OK without a selection in the chooser.
  dialogs.databaseIndex = -1;
  wizard->btPnantDatabaseClick();
  EXPECT_EQ(wizard->lblDatabase, "None Selected");
  EXPECT_FALSE(wizard->startenabled);
  wizard->BtnClearClick();
  EXPECT_FALSE(wizard->databaseenabled);
}

TEST_F(WizardTest, StartChecks) {
  wizard->btStartClick();
  wizard->lblSource = (dir / "gone.csv").string();
  state->SpecFileName = "x.imp";
  wizard->btStartClick();
  EXPECT_TRUE(state->SpecFileName.empty());
  wizard->lblSource = put("a.csv", "a,b,c\r\n");
  wizard->btStartClick();
  std::vector<std::string> want = {
      "You must select a source file (the file containing your list of names)",
      "File not found. Change the source file.",
      "You must select a Pennant database",
  };
  EXPECT_EQ(messages.texts(), want);
  EXPECT_EQ(dialogs.advancedShown, 0);
}

TEST_F(WizardTest, AssignSaveAndRun) {
  choose(put("people.csv", "Smith,John,12/03/1999\r\nJones,Ann,01/02/2003\r\n"));
  dialogs.assignTo = {"LastName", "FirstName", "Date1"};
  dialogs.saveAs = (dir / "saved.imp").string();
  wizard->btStartClick();
  EXPECT_EQ(dialogs.advancedShown, 1);
  EXPECT_EQ(dialogs.runs, 1);
  EXPECT_EQ(dialogs.firstRecord.at(0), "LastName: Smith");
  EXPECT_EQ(contacts(), 2);
  EXPECT_EQ(state->DateFormats[3], 4);
  EXPECT_TRUE(fs::exists(dir / "saved.imp"));
  EXPECT_TRUE(state->SpecFileName.empty());
  EXPECT_EQ(messages.texts().back(), "Finished. Imported 2 records.");
  // The next start offers the remaining fields only: the previous marks stay.
  dialogs.assignTo = {"x1notused", "x1notused", "x1notused"};
  dialogs.saveAs.clear();
  wizard->btStartClick();
  EXPECT_EQ(dialogs.runs, 2);
  EXPECT_EQ(contacts(), 2);  // nothing assigned, nothing imported
  EXPECT_TRUE(fs::exists(dir / "IMPORT.IMP"));  // a run without a name writes the default

  // The saved specification drives a third start without the dialog.
  dialogs.imp = (dir / "saved.imp").string();
  int shown = dialogs.assignShown;
  wizard->btStartClick();
  EXPECT_EQ(dialogs.assignShown, shown);
  EXPECT_EQ(dialogs.runs, 3);
  EXPECT_EQ(contacts(), 4);
}

TEST_F(WizardTest, CancelledAssignmentResetsTheSpecification) {
  choose(put("people.csv", "Smith,John,x\r\n"));
  state->FieldAssignments[1] = "LastName";
  dialogs.assignTo = {};
  wizard->btStartClick();
  EXPECT_EQ(dialogs.runs, 0);
  EXPECT_TRUE(state->FieldAssignments[1].empty());
}

TEST_F(WizardTest, SpecificationsThatDoNotFit) {
  std::string csv = put("twelve.csv", "a,b,c,d,e,f,g,h,i,j,k,l\r\n");
  state->SourceType = kDelimited;
  state->FieldAssignments[12] = "City";
  state->SpecFileName = (dir / "twelve.imp").string();
  WriteSpecFile(*state, (dir / "data").string());
  state->ResetImportState();
  // Specifications that assign nothing, for line-per-field and delimited text.
  for (int kind : {kLinePerField, kDelimited}) {
    state->SourceType = kind;
    state->SpecFileName = (dir / ("none" + std::to_string(kind) + ".imp")).string();
    WriteSpecFile(*state, (dir / "data").string());
  }
  state->ResetImportState();
  const std::string twelve = (dir / "twelve.imp").string();
  const std::string lines = put("lines.txt", "Smith\r\nJohn\r\n");
  const std::string kNoField =
      "This .IMP file assigns no source field. Recommend not picking an .IMP file and redefining the fields.";
  struct Case { std::string source, imp, message; };
  const Case cases[] = {
      {put("eleven.csv", "a,b,c,d,e,f,g,h,i,j,k\r\n"), twelve,
       "This .IMP file was not designed for this data. Recommend not picking an .IMP file and redefining the fields."},
      {lines, twelve,
       "This .IMP file was not designed for this type of data. Recommend not picking an .IMP file and redefining the fields."},
      {csv, put("bad.imp", "1\r\nNickname\r\n"), ""},
      {lines, (dir / "none0.imp").string(), kNoField},
      {csv, (dir / "none1.imp").string(), kNoField},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.imp);
    messages.shown.clear();
    choose(c.source);
    dialogs.imp = c.imp;
    wizard->btStartClick();
    ASSERT_EQ(messages.shown.size(), 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(messages.texts()[0], c.message);
    }
    EXPECT_EQ(dialogs.runs, 0);
    EXPECT_FALSE(state->SpecLoaded);
  }
  EXPECT_EQ(contacts(), 0);
}

TEST_F(WizardTest, UnreadableOrTooWideSources) {
  std::string wide;
  for (int i = 0; i < 211; ++i) wide += (i ? "," : "") + std::to_string(i);
  choose(put("wide.csv", wide + "\r\n"));
  wizard->btStartClick();
  choose(put("broken.dbf", "not a table at all"));
  wizard->btStartClick();
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.texts()[0], "The source file has 211 fields; at most 210 fields can be imported.");
  EXPECT_NE(messages.texts()[1].find("could not be read"), std::string::npos);
  EXPECT_EQ(dialogs.assignShown, 0);
}

TEST_F(WizardTest, ChooserLinesAndEmptyCatalogue) {
  EXPECT_EQ(chooserline("MAIN", "Main contacts"), "MAIN     \tMain contacts");
  EXPECT_EQ(chooserline("CLIENTS95", "Clients"), "CLIENTS95\tClients");
  EXPECT_EQ(chooserline("LONGERNAME", "x"), "LONGERNAME\tx");
  state->DatabaseName = "OLD";
  {
    Table db;
    db.open((dir / "data").string(), "DATABASE.DB");
    db.first();
    db.edit();
    db.settext(db.fieldindex("DB"), "x'); DROP TABLE contact; --");
    db.store();
  }
  DatabaseChooser chooser(*state, DataPlace::folder((dir / "data").string()));
  chooser.FormShow();
  ASSERT_EQ(chooser.lines().size(), 1u);
  chooser.OKBtnClick(0);
  EXPECT_EQ(state->DatabaseName, "x'); DROP TABLE cont");  // cut to 20
  fs::remove(dir / "data" / "DATABASE.DB");
  createtable((dir / "data" / "DATABASE.DB").string(), databasefields(), "DB");
  state->DatabaseName = "KEPT";
  DatabaseChooser empty(*state, DataPlace::folder((dir / "data").string()));
  empty.FormShow();
  EXPECT_EQ(empty.result(), DatabaseChooser::Result::Cancel);
  EXPECT_EQ(messages.texts().back(),
            "No databases could be found.  Exit import and create a database using Pennant.");
  EXPECT_TRUE(messages.shown.back().beeped);
  EXPECT_EQ(state->DatabaseName, "KEPT");
}

TEST_F(WizardTest, StartUpOutcomes) {
  // The alias exists and the contact table is there.
  EXPECT_TRUE(startupcheck(*engine, messages, (dir / "prog").string()));
  // No alias: it is made for the program folder's data subfolder and saved.
  Engine fresh((dir / "fresh.cfg").string());
  fs::create_directories(dir / "prog" / "data");
  EXPECT_FALSE(startupcheck(fresh, messages, (dir / "prog").string()));
  EXPECT_EQ(messages.texts().back(), "Could not find the CONTACT.DB database in the " +
                                         (dir / "prog" / "data").string() + " folder. Goodbye.");
  Engine reread((dir / "fresh.cfg").string());
  EXPECT_EQ(reread.datafolder(), (dir / "prog" / "data").string());
  // The table there, named in other letter case: found.
  createsampledatafolder((dir / "prog" / "data").string());
  fs::rename(dir / "prog" / "data" / "CONTACT.DB", dir / "prog" / "data" / "Contact.db");
  EXPECT_TRUE(startupcheck(reread, messages, (dir / "prog").string()));
}

// A workbook source offers its sheets, the first shown; the one chosen is
// read; a text source offers none.
TEST_F(WizardTest, WorkbookSheetsOffered) {
  testing::XlsxContent content;
  content.strings = {"<t>a</t>"};
  content.sheets = {{"Notes", "<row><c t=\"s\"><v>0</v></c></row>"}, {"People", "<row><c t=\"s\"><v>0</v></c></row>"}};
  const std::string book = (dir / "book.xlsx").string();
  testing::writezip(book, testing::xlsxparts(content));
  wizard->setsource(book);
  EXPECT_EQ(wizard->sheetsshown, (std::vector<std::string>{"Notes", "People"}));
  EXPECT_EQ(wizard->sheetshown, "Notes");
  wizard->choosesheet("People");
  EXPECT_EQ(wizard->sheetshown, "People");
  EXPECT_EQ(wizard->session().chosenlayout().sheet, "People");

  const std::string text = (dir / "list.csv").string();
  std::ofstream(text) << "a,b,c\r\n";
  wizard->setsource(text);
  EXPECT_TRUE(wizard->sheetsshown.empty());
  EXPECT_EQ(wizard->session().chosenlayout().sheet, "");
}

// A workbook source offers the header choice but no separator; the choice
// reads the sheet again, and the start imports its first row as a record or
// as the column names accordingly.
TEST_F(WizardTest, WorkbookHeaderRowChosenByTheUser) {
  struct Case {
    const char* what;
    std::vector<std::string> firstrow;
    bool recognised;  // the header judge takes the first row for column names
    int imported;     // after the user's choice, the opposite
  };
  const Case cases[] = {
      {"a header row the judge does not know", {"Who", "Family", "Where"}, false, 2},
      {"a first row the user says is data", {"First Name", "Last Name", "City"}, true, 3},
  };
  dialogs.assignTo = {"FirstName", "LastName", "City"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    state->ResetImportState();  // the fields assigned before are on offer again
    testing::XlsxContent content;
    content.withstrings = false;
    auto row = [](int r, const std::vector<std::string>& cells) {
      std::string x = "<row r=\"" + std::to_string(r) + "\">";
      for (const std::string& v : cells) x += "<c t=\"inlineStr\"><is><t>" + v + "</t></is></c>";
      return x + "</row>";
    };
    content.sheets = {{"People", row(1, c.firstrow) + row(2, {"Ann", "Ames", "Leeds"}) + row(3, {"Bob", "Bell", "York"})}};
    const std::string book = (dir / "people.xlsx").string();
    testing::writezip(book, testing::xlsxparts(content));
    choose(book);
    EXPECT_TRUE(wizard->headeroffered);
    EXPECT_FALSE(wizard->layoutshown);
    EXPECT_EQ(wizard->headershown, c.recognised);
    wizard->chooseheader(!c.recognised);
    EXPECT_EQ(wizard->headershown, !c.recognised);
    EXPECT_EQ(wizard->session().chosenlayout().header, c.recognised ? HeaderChoice::No : HeaderChoice::Yes);
    const long long before = contacts();
    wizard->btStartClick();
    EXPECT_EQ(contacts() - before, c.imported);
  }
}

}  // namespace
}  // namespace vesper
