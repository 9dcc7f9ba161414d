// The batch command, run as a program: exit codes, messages, the summary and
// the contacts it leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "store/table.h"
#include "support/batchcommand.h"
#include "support/corpora.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

using Result = testing::CommandResult;

struct BatchTest : testing::BatchCommandTest {
  BatchTest() : BatchCommandTest("batch") {}
  void makedata() { ASSERT_EQ(run("--create-data-folder data").code, 0); }
  std::string example(const std::string& name) {
    fs::copy_file(fs::path(VESPER_SOURCE_DIR) / "examples" / name, dir / name,
                  fs::copy_options::overwrite_existing);
    return name;
  }
  long long contacts() {
    Table t;
    t.open((dir / "data").string(), "CONTACT.DB");
    return t.recordcount();
  }
};

// A usage error is its one line and a pointer to the help, not the help.
TEST_F(BatchTest, UsageErrorsExitWithTwo) {
  struct Case { const char* args; const char* error; };
  const Case cases[] = {
      {"--spec x.imp src.csv", "--database is required"},
      {"--database MAIN src.csv", "--spec is required"},
      {"--database MAIN --spec x.imp", "a source file is required"},
      {"--database MAIN --spec x.imp --percent 0 src.csv", "--percent takes a whole number from 1 to 100"},
      {"--database MAIN --spec x.imp --all --count 3 src.csv", "choose one of --all, --percent and --count"},
      {"--database MAIN --spec x.imp --frobnicate src.csv", "unknown option --frobnicate"},
      {"--database MAIN --spec x.imp a.csv b.csv", "only one source file can be imported at a time"},
      {"--database", "--database needs a value"},
  };
  for (const auto& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_EQ(r.err, std::string("vesper-import: ") + c.error + "\nTry 'vesper-import --help'.\n") << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
  Result help = run("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--count X"), std::string::npos);
}

TEST_F(BatchTest, TextLayoutOptions) {
  struct Case { const char* args; const char* error; };
  const Case cases[] = {
      {"--database MAIN --spec x.imp --separator : src.csv", "--separator takes , ; tab or |"},
      {"--database MAIN --spec x.imp --separator tabs src.csv", "--separator takes , ; tab or |"},
      {"--database MAIN --spec x.imp --header maybe src.csv", "--header takes yes, no or auto"},
      {"--database MAIN --spec x.imp --separator", "--separator needs a value"},
      {"--database MAIN --separator ';' src.csv", "--spec is required"},
      {"--auto-assign src.csv", "--database is required"},
  };
  for (const auto& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_EQ(r.err, std::string("vesper-import: ") + c.error + "\nTry 'vesper-import --help'.\n") << c.args;
  }
  Result help = run("--help");
  for (const char* option : {"--auto-assign", "--separator X", "--header yes|no|auto"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// --auto-assign makes the assignment only where there is none yet: a
// specification file that exists is used, and a source without a header
// line is refused with nothing imported and no file written.
TEST_F(BatchTest, AutoAssign) {
  makedata();
  std::string csv = example("contacts.csv");
  Result refused = run("--database MAIN --auto-assign --spec new.imp " + csv);
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err, "Error: The source has no header line of column names, so --auto-assign cannot "
                         "assign its fields. Give a --spec file, or --header yes if its first line holds "
                         "them.\n");
  EXPECT_FALSE(fs::exists(dir / "new.imp"));
  EXPECT_FALSE(fs::exists(dir / "IMPORT.IMP"));
  EXPECT_EQ(run("--database MAIN --auto-assign " + csv).code, 1);
  EXPECT_EQ(contacts(), 0);

  Result kept = run("--database MAIN --auto-assign --spec " + example("contacts.imp") + " --separator , " + csv);
  EXPECT_EQ(kept.code, 0) << kept.err;
  EXPECT_EQ(contacts(), 21);
}

TEST_F(BatchTest, FailuresExitWithOneAndAClearMessage) {
  fs::create_directories(dir / "data");
  std::string imp = example("contacts.imp");
  std::string csv = example("contacts.csv");
  Result nodata = run("--database MAIN --spec " + imp + " " + csv);
  EXPECT_EQ(nodata.code, 1);
  EXPECT_EQ(nodata.err, "Error: Could not find the CONTACT.DB database in the " + (dir / "data").string() +
                            " folder. Goodbye.\n");
  makedata();
  fs::create_directories(dir / "folder");
  // Each failure is one line on standard error that names what is wrong.
  struct Case { std::string args; std::string err; };
  const Case cases[] = {
      {"--database NOPE --spec " + imp + " " + csv, "There is no database called NOPE in DATABASE.DB."},
      {"--database MAIN --spec " + imp + " missing.csv", "Source file not found: missing.csv"},
      {"--database MAIN --spec " + imp + " folder", "Source is a folder, not a file: folder"},
      {"--database MAIN --spec nothere.imp " + csv,
       "Cannot read the specification file nothere.imp: No such file or directory"},
      {"--database MAIN --spec folder " + csv, "Cannot read the specification file folder: Is a directory"},
      {"--database MAIN --spec " + example("contacts-lines.imp") + " " + csv,
       "This .IMP file was not designed for this type of data. "
       "Recommend not picking an .IMP file and redefining the fields."},
  };
  for (const auto& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.code, 1) << c.args;
    EXPECT_EQ(r.err, "Error: " + c.err + "\n") << c.args;
  }
  EXPECT_EQ(contacts(), 0);
}

TEST_F(BatchTest, ImportsTheExamples) {
  makedata();
  Result r = run("--database MAIN --spec " + example("contacts.imp") + " --mixed-case " + example("contacts.csv"));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Finished. Imported 21 records.  Some improper records were not imported, "
                       "and were placed in the file BAD.CSV"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Records read: 21\nImported: 21\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Rejected lines written to bad.csv: 1"), std::string::npos);
  EXPECT_EQ(slurp(dir / "bad.csv"), "A line,that has,too few fields\r\n");
  EXPECT_EQ(contacts(), 21);
  Result lines = run("--database MAIN --spec " + example("contacts-lines.imp") + " " + example("contacts-lines.txt"));
  EXPECT_EQ(lines.code, 0) << lines.err;
  EXPECT_EQ(contacts(), 29);
}

// A table source from elsewhere: a FoxPro contact list with a memo file.
TEST_F(BatchTest, ImportsADBaseTable) {
  VESPER_NEEDS_CORPORA();
  makedata();
  std::map<int, std::string> slots = {{2, "FirstName"}, {3, "LastName"}, {5, "Addr1"}, {6, "City"},
                                      {7, "State"}, {8, "Zip"}, {10, "Country"}, {11, "Company"},
                                      {12, "Title"}, {19, "Date1"}, {23, "Memo"}};
  std::string imp = "2\r\n";
  // As the assignment dialog leaves it: every one of the 29 columns assigned.
  for (int i = 1; i <= 210; ++i)
    imp += (slots.count(i) ? slots[i] : i <= 29 ? "x1notused" : "") + "\r\n";
  imp += "20\r\n";
  for (int i = 1; i <= 210; ++i) imp += (i == 19 ? "4" : "-1") + std::string("\r\n");
  std::ofstream(dir / "contacts.imp", std::ios::binary) << imp;
  std::string table = testing::corpora("dbase/javadbf/fixtures/foxprodb/contacts.dbf");
  Result r = run("--database MAIN --spec contacts.imp '" + table + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Finished. Imported 5 records."), std::string::npos) << r.out;
  Table t;
  t.open((dir / "data").string(), "CONTACT.DB");
  bool found = false;
  for (t.first(); !t.atend(); t.next()) {
    if (t.astext(t.fieldindex("LastName")) != "Davolio") continue;
    found = true;
    EXPECT_EQ(t.astext(t.fieldindex("FirstName")), "Nancy");
    EXPECT_EQ(t.astext(t.fieldindex("Dear")), "Nancy");
    EXPECT_EQ(t.astext(t.fieldindex("Date1")), "1963-04-08");
    EXPECT_EQ(t.astext(t.fieldindex("Company")), "Cascade Coffee Roasters");
    EXPECT_EQ(t.astext(t.fieldindex("Zip")), "98122");
    EXPECT_EQ(t.astext(t.fieldindex("Memo")).substr(0, 39), "Education includes a B.A. in Psychology");
    EXPECT_NE(t.astext(t.fieldindex("MailAddr")).find("Seattle, WA  98122"), std::string::npos)
        << t.astext(t.fieldindex("MailAddr"));
  }
  EXPECT_TRUE(found);
}

TEST_F(BatchTest, RandomSelections) {
  makedata();
  std::string imp = example("contacts.imp"), csv = example("contacts.csv");
  struct Case { std::string args; long long added; };
  const Case cases[] = {{"--count 5 --seed 3", 5}, {"--count 0", 0}, {"--percent 100", 21},
                        {"--count 500 --seed 1", 21}};
  long long total = 0;
  for (const auto& c : cases) {
    Result r = run("--database MAIN --spec " + imp + " " + c.args + " " + csv);
    EXPECT_EQ(r.code, 0) << c.args << r.err;
    total += c.added;
    EXPECT_EQ(contacts(), total) << c.args;
  }
}

// The summary counts what happened: values cut, dates not read and numbers
// out of range per field, bad lines that could not be written with the
// reason, and an accept-X larger than the list.
TEST_F(BatchTest, TheSummaryCountsWhatHappenedToValuesAndLines) {
  makedata();
  const std::vector<std::string> slots = {"LastName", "Title", "Date1", "LastLetterNo", "Money1"};
  std::string imp = "1\r\n";
  for (int i = 1; i <= 210; ++i) imp += (i <= 5 ? slots[i - 1] : "") + "\r\n";
  imp += "20\r\n";
  for (int i = 1; i <= 210; ++i) imp += (i == 3 ? "4" : "-1") + std::string("\r\n");
  std::ofstream(dir / "s.imp", std::ios::binary) << imp;
  std::ofstream(dir / "s.csv", std::ios::binary)
      << "Ames," << std::string(50, 'T') << ",12/03/1999,99999999999,\"$1,234.56\"\r\n"
      << "Bell,Dr,31/02/1999,7,12\r\n"
      << "Cole,,not a date,-3000000000,\r\n"
      << "a bad line\r\n";
  fs::create_directories(dir / "bad.csv");  // the bad line cannot be written
  Result r = run("--database MAIN --spec s.imp --count 500 s.csv");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("placed in the file BAD.CSV"), std::string::npos) << "no line reached it";
  for (const char* want : {"Imported: 3\n", "Rejected lines written to bad.csv: 0\n",
                           "Rejected lines lost (Is a directory: bad.csv): 1\n",
                           "Values cut to the width of Title: 1\n", "Dates not read (left empty) in Date1: 2\n",
                           "Numbers out of range (left empty) for LastLetterNo: 2\n"})
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
  EXPECT_NE(r.err.find("--count 500 asks for more records than the 3 found: all 3 are imported."),
            std::string::npos) << r.err;
  Table t;
  t.open((dir / "data").string(), "CONTACT.DB");
  std::map<std::string, std::string> money;
  for (t.first(); !t.atend(); t.next()) money[t.astext(t.fieldindex("LastName"))] = t.astext(t.fieldindex("Money1"));
  EXPECT_EQ(money["Ames"], "1234.56");
}

}  // namespace
}  // namespace vesper
