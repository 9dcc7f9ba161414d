#include "engine/importrun.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "support/corpora.h"

#include "source/counting.h"
#include "source/delimited.h"
#include "source/tablesource.h"
#include "store/sampledata.h"
#include "support/contactrows.h"
#include "support/fakes.h"
#include "support/refusingtrigger.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

// Message boxes recorded; the Nth "let messages run" presses "&Cancel import".
struct CancellingMessages : testing::RecordingMessages {
  RunState* state = nullptr;
  int cancelAt = -1;
  testing::FixedClock* clock = nullptr;
  int millisPerEvents = 0;  // the clock moves on this much each time messages run
  std::function<void()> onEvents;
  void processevents() override {
    testing::RecordingMessages::processevents();
    if (state && events == cancelAt) state->CancelRequested = true;
    if (clock) clock->tick += millisPerEvents;
    if (onEvents) onEvents();
  }
};

struct FakeView : RunView {
  bool answer = true;
  int asked = 0;
  bool askabort() override { ++asked; return answer; }
  // Called with every counter refresh when set.
  std::function<void()> onStatus;
  void statuschanged() override { if (onStatus) onStatus(); }
  bool shows = true;  // the counters are on show
  bool showscounters() const override { return shows; }
};

struct ImportRunTest : ::testing::Test {
  CancellingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  RunState state{messages, clock, disk};
  fs::path dir = fs::temp_directory_path() / ("vesper-run-" + std::to_string(::getpid()));
  fs::path cwd = fs::current_path();
  ContactTable contact;
  SourceTable source;
  FakeView view;
  int specsWritten = 0;
  std::unique_ptr<RecordSource> records;
  std::unique_ptr<ImportRun> run;

  void SetUp() override {
    fs::remove_all(dir);
    createsampledatafolder((dir / "data").string());
    fs::current_path(dir);
    messages.state = &state;
    messages.clock = &clock;
    state.DatabaseName = "MAIN";
    clock.time = {2026, 12, 7, 9, 0, 0, 0};
  }
  void TearDown() override {
    run.reset();
    contact.close();
    fs::current_path(cwd);
    fs::remove_all(dir);
  }
  // Identifies `text` as a source, assigns the fields and opens the run.
  void start(const std::string& text, std::vector<std::string> assignments, int lines = 0) {
    std::ofstream((dir / "src.txt").string(), std::ios::binary) << text;
    startfile((dir / "src.txt").string(), std::move(assignments), lines);
  }
  void startfile(const std::string& path, std::vector<std::string> assignments, int lines = 0) {
    SourceIdentity id = IdentifySource(state, path, source);
    state.SourceType = id.kind;
    state.SourceFieldCount = id.kind == kLinePerField ? lines : id.fieldcount;
    for (std::size_t i = 0; i < assignments.size(); ++i) state.FieldAssignments[i + 1] = assignments[i];
    contact.open((dir / "data").string(), "contact.db");
    state.TargetFieldCount = contact.fieldcount();
    records = MakeRecordSource(state, source);
    run = std::make_unique<ImportRun>(state, contact, *records, DataPlace::folder((dir / "data").string()), view,
                                      [this] { ++specsWritten; });
    run->FormCreate();
  }
  std::vector<std::string> column(const std::string& field) { return testing::sortedcolumn(dir / "data", field); }
  std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
};

std::string lines(int n, const char* pattern = "Last%d,First%d,City%d") {
  std::string out;
  char buf[128];
  for (int i = 1; i <= n; ++i) {
    std::snprintf(buf, sizeof buf, pattern, i, i, i);
    out += std::string(buf) + "\r\n";
  }
  return out;
}

TEST_F(ImportRunTest, AcceptAllAfterTheFirstWasShown) {
  start(lines(5), {"LastName", "FirstName", "City"});
  EXPECT_EQ(run->lines(), (std::vector<std::string>{"LastName: Last1", "FirstName: First1", "City: City1"}));
  EXPECT_TRUE(run->reviewvisible());
  run->btAllClick();
  EXPECT_EQ(run->outcome(), ImportRun::Outcome::Ok);
  EXPECT_EQ(run->lblAccepted(), "5");
  EXPECT_EQ(run->lblRejected(), "0");
  EXPECT_EQ(run->lblTotal(), "5");
  EXPECT_EQ(messages.texts().back(), "Finished. Imported 5 records.");
  EXPECT_EQ(messages.shown.back().kind, "info");
  EXPECT_EQ(column("LastName"), (std::vector<std::string>{"Last1", "Last2", "Last3", "Last4", "Last5"}));
  EXPECT_EQ(specsWritten, 1);
  EXPECT_FALSE(fs::exists(dir / "bad.csv"));
  // The statistics of the chosen database.
  Table db;
  db.open((dir / "data").string(), "DATABASE.DB");
  db.first();
  EXPECT_EQ(db.astext(db.fieldindex("NumImport")), "5");
  EXPECT_EQ(db.astext(db.fieldindex("DateImport")), "2026-12-07");
  EXPECT_EQ(db.astext(db.fieldindex("TimeImport")), "09:00:00");
  const RunSummary& s = run->summary();
  EXPECT_EQ(s.read, 5);
  EXPECT_EQ(s.imported, 5);
}

// A batch the full disk stopped is no completed import: the batch command
// must not report it as one.
TEST_F(ImportRunTest, ALowDiskStopIsAFailure) {
  start(lines(5), {"LastName", "FirstName", "City"});
  disk.bytes = 9999;
  run->btAllClick();
  EXPECT_EQ(run->summary().imported, 1);
  EXPECT_TRUE(run->summary().stoppedbyerror);
}

TEST_F(ImportRunTest, BadLinesGoToTheBadRecordFile) {
  std::string text = "A,B,C\r\nD,E,F\r\nG,H,I,J\r\nK,L,M\r\n\tbad line\r\n";
  start(text, {"LastName", "FirstName", "City"});
  run->btAllClick();
  EXPECT_EQ(slurp(dir / "bad.csv"), "G,H,I,J\r\n\tbad line\r\n");
  EXPECT_EQ(messages.texts().back(),
            "Finished. Imported 3 records.  Some improper records were not imported, and were "
            "placed in the file BAD.CSV");
  EXPECT_EQ(run->summary().badlines, 2);
}

TEST_F(ImportRunTest, ReviewAcceptAndReject) {
  start(lines(3) + "Last4,First4,City4", {"LastName", "x1notused", "City"});
  run->btAcceptOneClick();
  EXPECT_EQ(run->lines().at(0), "LastName: Last2");
  EXPECT_EQ(run->lines().at(1), "(Not used): First2");
  run->btRejectClick();
  run->btAcceptOneClick();
  EXPECT_EQ(run->lblAccepted(), "2");
  EXPECT_EQ(run->lblRejected(), "1");
  run->btRejectClick();  // the last record: the run ends
  EXPECT_EQ(run->outcome(), ImportRun::Outcome::Ok);
  EXPECT_EQ(column("LastName"), (std::vector<std::string>{"Last1", "Last3"}));
  // The file ends after the last record: the next display finds it empty.
  std::vector<std::string> want = {"The record is empty", "Finished. Imported 2 records."};
  EXPECT_EQ(messages.texts(), want);
}

TEST_F(ImportRunTest, CancelImportAsksAndYesStops) {
  struct Case { bool yes; int wantAccepted; };
  for (Case c : {Case{true, 65}, Case{false, 200}}) {
    TearDown();
    SetUp();
    messages.events = 0;
    messages.cancelAt = 1;
    view.answer = c.yes;
    view.asked = 0;
    start(lines(200), {"LastName", "FirstName", "City"});
    run->btAllClick();
    EXPECT_EQ(view.asked, 1);
    EXPECT_EQ(state.AcceptedCount, c.wantAccepted) << c.yes;
    EXPECT_EQ(static_cast<int>(column("LastName").size()), c.wantAccepted);
    EXPECT_EQ(messages.texts().back(), "Finished. Imported " + std::to_string(c.wantAccepted) + " records.");
  }
}

TEST_F(ImportRunTest, RandomSelection) {
  struct Case { bool acceptx; int percent, x; int want; };
  const Case cases[] = {{false, 100, 0, 30}, {true, 0, 7, 7}, {true, 0, 1, 1}, {true, 0, 0, 0},
                        {true, 0, 30, 30}};
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    state.random.pin(7);
    start(lines(30) + "bad\r\n", {"LastName", "FirstName", "City"});
    RandomDialog dialog;
    btCountClick(state, *records, dialog);
    EXPECT_EQ(state.SourceRecordCount, 30);
    if (c.acceptx) rbAcceptXClick(dialog); else rbRandomPctClick(dialog);
    dialog.percent = c.percent;
    dialog.x = c.x;
    ASSERT_TRUE(OKBtnClick(state, dialog));
    run->btRandomClick();
    EXPECT_EQ(state.AcceptedCount, c.want) << c.acceptx << " " << c.x;
    EXPECT_EQ(state.AcceptedCount + state.RejectedCount, 30);
  }
}

TEST_F(ImportRunTest, SourceWithoutRecordsEndsAtOnce) {
  start("", {"LastName"}, 1);
  EXPECT_EQ(run->outcome(), ImportRun::Outcome::Ok);
  std::vector<std::string> want = {"That was the last record", "Finished. Imported 0 records."};
  EXPECT_EQ(messages.texts(), want);
  EXPECT_TRUE(messages.shown[0].beeped);
  EXPECT_EQ(specsWritten, 1);
}

TEST_F(ImportRunTest, LinePerFieldRecordsKeepTheirOwnValues) {
  start("Smith\r\nJohn\r\nBoston\r\nJones\r\n\r\nDenver\r\n", {"LastName", "FirstName", "City"}, 3);
  EXPECT_EQ(run->lines().at(0), "LastName: Smith");
  run->btAcceptOneClick();
  EXPECT_EQ(run->lines(), (std::vector<std::string>{"LastName: Jones", "FirstName: ", "City: Denver"}));
  run->btAllClick();
  EXPECT_EQ(column("LastName"), (std::vector<std::string>{"Jones", "Smith"}));
  EXPECT_EQ(run->summary().empty, 1);  // the blank after the final line end
}

// Commas inside the values of a line-per-field record come back as commas in
// whichever field holds them, first, last or several in one.
TEST_F(ImportRunTest, LinePerFieldValuesKeepTheirCommas) {
  start("Smith, Jr\r\nJohn\r\nBoston\r\nJones\r\nAnn\r\nSalem, MA, 01970\r\nLee\r\nBo\r\nX\r\n",
        {"LastName", "FirstName", "City"}, 3);
  run->btAllClick();
  EXPECT_EQ(column("LastName"), (std::vector<std::string>{"Jones", "Lee", "Smith, Jr"}));
  EXPECT_EQ(column("City"), (std::vector<std::string>{"Boston", "Salem, MA, 01970", "X"}));
}

// Records that give nothing to import, of every kind of source: the batch
// lets messages run and hears "&Cancel import" all along, also while it
// passes over lines that are no record.
TEST_F(ImportRunTest, BatchesOverEmptyRecordsHearCancel) {
  std::string notRecords = "a,b,c\r\n";
  for (int i = 0; i < 3000; ++i) notRecords += "no record\r\n";
  struct Case {
    const char* name;
    std::string text, table;  // a text source, or a table of the corpora
    std::vector<std::string> assignments;
    int lines;
  };
  const Case cases[] = {
      {"delimited, lines of another field count", notRecords, "", {"x1notused", "x1notused", "x1notused"}, 0},
      {"line-per-field, blank lines", std::string(6000, '\n'), "", {"LastName"}, 1},
      {"dBASE, nothing assigned", "", testing::corpora("dbase/DBFFile/WSPMST.DBF"), {"x1notused"}, 0},
      {"Paradox, nothing assigned", "", testing::corpora("paradox/paradoxdriver/db/AREACODES.DB"), {"x1notused"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.table.empty() && !testing::corporaabsent().empty()) {
      if (testing::corporarequired()) ADD_FAILURE() << testing::corporaabsent();
      continue;  // the table rows need the corpora
    }
    TearDown();
    SetUp();
    messages.events = 0;
    messages.cancelAt = 1;
    view.asked = 0;
    if (c.table.empty())
      start(c.text, c.assignments, c.lines);
    else
      startfile(c.table, c.assignments);
    ASSERT_EQ(run->outcome(), ImportRun::Outcome::Open);
    const long long total = c.table.empty() ? 3000 : source.file()->recordcount();
    run->btAllClick();
    EXPECT_EQ(view.asked, 1);
    EXPECT_TRUE(state.ImportStopped);
    const RunSummary& s = run->summary();
    EXPECT_LT(s.read + s.badlines, total / 2);
    EXPECT_EQ(s.imported, 0);
    EXPECT_EQ(messages.texts().back().rfind("Finished. Imported 0 records.", 0), 0u);
  }
}

// A line-per-field record of no lines would never move the reading on: such
// a run offers no record and ends at once.
TEST_F(ImportRunTest, LinePerFieldRecordsOfNoLinesOfferNone) {
  start("Smith\r\nJohn\r\n", {}, 0);
  EXPECT_EQ(run->outcome(), ImportRun::Outcome::Ok);
  std::vector<std::string> want = {"That was the last record", "Finished. Imported 0 records."};
  EXPECT_EQ(messages.texts(), want);
}

TEST_F(ImportRunTest, CancelWritesStatisticsButNoSpecification) {
  start(lines(3), {"LastName", "FirstName", "City"});
  run->btAcceptOneClick();
  state.SpecFileName = "x.imp";
  run->btCancelClick();
  EXPECT_EQ(run->outcome(), ImportRun::Outcome::Cancel);
  EXPECT_EQ(specsWritten, 0);
  EXPECT_TRUE(state.SpecFileName.empty());
  Table db;
  db.open((dir / "data").string(), "DATABASE.DB");
  db.first();
  EXPECT_EQ(db.astext(db.fieldindex("NumImport")), "1");
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// Rows committed to CONTACT.DB, as another program sees them.
long long committedrows(const fs::path& data) {
  Table t;
  t.open(data.string(), "contact.db");
  return t.recordcount();
}

// A batch stores and commits its rows on a writer thread: whenever the
// counters are shown, the count on show is the count committed (the run may
// have read on), and at the end the count is exact.
TEST_F(ImportRunTest, CountersShowCommittedRowsOnly) {
  messages.millisPerEvents = 37;  // counters refreshed every few hundred records
  start(lines(6000), {"LastName", "FirstName", "City"});
  int shown = 0;
  view.onStatus = [&] {
    ++shown;
    EXPECT_EQ(committedrows(dir / "data"), std::stoll(run->lblAccepted()));
    EXPECT_LE(std::stoll(run->lblAccepted()), state.AcceptedCount);
    EXPECT_EQ(std::stoll(run->lblTotal()), std::stoll(run->lblAccepted()) + std::stoll(run->lblRejected()));
  };
  run->btAllClick();
  EXPECT_GT(shown, 10);
  EXPECT_EQ(messages.texts().back(), "Finished. Imported 6000 records.");
  EXPECT_EQ(committedrows(dir / "data"), 6000);
  EXPECT_EQ(run->summary().imported, 6000);
}

// The groups follow the counters: while they are on show a group is
// committed about every 100 ms (each refresh shows stored rows); when nobody
// sees them, about every second.  The fake clock moves 19 ms each time
// messages run (every 64 records), so 12000 records take about 3.6 s.
TEST_F(ImportRunTest, GroupsAreSmallWhileTheCountersShowAndLargeOtherwise) {
  for (bool shows : {true, false}) {
    SCOPED_TRACE(shows ? "counters on show" : "no counters on show");
    run.reset();
    contact.close();
    fs::remove_all(dir / "data");
    createsampledatafolder((dir / "data").string());
    clock.tick = 0;
    view.shows = shows;
    messages.millisPerEvents = 19;
    std::set<long long> seen;  // committed row counts seen while the run went on
    messages.onEvents = [&] { seen.insert(committedrows(dir / "data")); };
    start(lines(12000), {"LastName", "FirstName", "City"});
    run->btAllClick();
    messages.onEvents = nullptr;
    seen.erase(0);
    seen.erase(12000);
    if (shows)
      EXPECT_GE(seen.size(), 10u);
    else
      EXPECT_LE(seen.size(), 3u);  // asked at about 1, 2 and 3 s
    EXPECT_EQ(committedrows(dir / "data"), 12000);
    EXPECT_EQ(run->lblAccepted(), "12000");
  }
}

// Without counters on show, the group that reaches the last tenth of a text
// source ends there, so that the rows before it are committed (and copied
// back) while that tenth is read and the last group stays short.  The clock
// stands still here: no group ends for its age.  The run pauses a moment
// whenever messages run, so that the writer keeps up with it and a commit
// asked is done while the run reads on.
TEST_F(ImportRunTest, TheLastTenthOfATextSourceIsAGroupOfItsOwn) {
  view.shows = false;
  std::set<long long> seen;  // committed row counts seen while the run went on
  messages.onEvents = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    seen.insert(committedrows(dir / "data"));
  };
  start(lines(30000), {"LastName", "FirstName", "City"});
  run->btAllClick();
  messages.onEvents = nullptr;
  seen.erase(0);
  seen.erase(30000);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_GE(*seen.begin(), 26000);
  EXPECT_LE(*seen.begin(), 28500);
  EXPECT_EQ(committedrows(dir / "data"), 30000);
}

// A row the table refuses under every key: reported with its record number
// before anything shows the count, not counted, and the batch goes on.
TEST_F(ImportRunTest, RowsTheWriterCannotStoreAreFailedNotCounted) {
  testing::refuselastname(dir / "data" / "CONTACT.DB", "Last3", "no Last3 here");
  start(lines(5), {"LastName", "FirstName", "City"});
  std::vector<long long> countsAtMessages;
  view.onStatus = [&] { countsAtMessages.push_back(state.AcceptedCount); };
  run->btAllClick();
  std::vector<std::string> texts = messages.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Record 3 could not be stored: ", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find("no Last3 here"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[1], "Finished. Imported 4 records.");
  for (long long c : countsAtMessages) EXPECT_LE(c, 4);
  EXPECT_EQ(committedrows(dir / "data"), 4);
  const RunSummary& s = run->summary();
  EXPECT_EQ(s.read, 5);
  EXPECT_EQ(s.imported, 4);
  EXPECT_EQ(s.failed, 1);
  EXPECT_FALSE(s.stoppedbyerror);
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// The review shows each record as the contact it will become, built by the
// transfer itself: the stored row then holds exactly what was shown, values
// changed on their way in are marked, and showing stores nothing.
TEST_F(ImportRunTest, ReviewShowsTheContactAsItWillBeStored) {
  state.DateFormats[4] = 4;
  start("Dr. John A. Smith Jr.,ACME CORP,Boston MA 02110-1234,31/02/1999,12 Main Street\r\n"
        "Ann Lee,Widgets,Salem MA 01970,12/03/1999,1 Elm\r\n",
        {"x2firstlast", "Company", "x5citystatezip", "Date1", "Addr1"});
  auto shown = [&] {
    std::map<std::string, std::pair<std::string, std::string>> out;
    for (const PreviewField& f : run->preview().fields) out[f.field] = {f.text, f.mark};
    return out;
  };
  auto first = shown();
  EXPECT_EQ(first["FirstName"].first, "John A.");
  EXPECT_EQ(first["LastName"].first, "Smith");
  EXPECT_EQ(first["Salut"].first, "Dr.");
  EXPECT_EQ(first["Honor"].first, "Jr.");
  EXPECT_EQ(first["City"].first, "Boston");
  EXPECT_EQ(first["Date1"], std::make_pair(std::string(), std::string("not a date: left empty")));
  EXPECT_NE(first["MailAddr"].first.find("12 Main Street"), std::string::npos);
  EXPECT_FALSE(first["Recno"].first.empty());
  EXPECT_EQ(column("LastName"), std::vector<std::string>{}) << "showing a record stores nothing";

  EXPECT_EQ(first["Company"].first, "ACME CORP");
  run->setmixed(true);  // the shown contact follows the box
  first = shown();
  EXPECT_EQ(first["Company"].first, "Acme Corp");
  run->btAcceptOneClick();
  auto second = shown();
  EXPECT_EQ(second["Date1"], std::make_pair(std::string("1999-12-03"), std::string()));
  run->btAcceptOneClick();
  // What each stored row holds is what its record showed.
  std::vector<std::string> fields;
  for (const auto& [field, value] : first) if (!value.first.empty()) fields.push_back(field);
  std::string want, wantsecond;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    want += (i ? "|" : "") + first[fields[i]].first;
    wantsecond += (i ? "|" : "") + second[fields[i]].first;
  }
  EXPECT_EQ(testing::contactrows(dir / "data", fields), (std::multiset<std::string>{want, wantsecond}));
  EXPECT_EQ(run->summary().fields.size(), 1u);  // the unreadable date, counted once it was stored
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// A batch asked to look for duplicates finds a contact of the database that
// is the same person: the same name (letter case, accents and blanks aside)
// and the same e-mail, phone digits or postal code, whether stored before or
// earlier in the same list; only the same name is not enough.
TEST_F(ImportRunTest, BatchesFindLikelyDuplicates) {
  const std::string first =
      "Müller,José,jose@example.com,(617) 555-0100,02134\r\n"
      "Lee,Ann,ann@example.com,617-555-0100,\r\n"
      "Van Dyke,Dick,,,90210\r\n";
  start(first, {"LastName", "FirstName", "Email", "Phone1", "Zip"});
  run->btAllClick();
  ASSERT_EQ(column("LastName").size(), 3u);
  struct Case {
    const char* list;
    ImportRun::Duplicates policy;
    long long imported, skipped, stored;
  };
  const Case cases[] = {
      {"MULLER,Jose,JOSE@example.com,,\r\n"                   // accents aside, same e-mail
       "lee,ANN,ann@elsewhere.org,+1 617 555 0100,\r\n"        // same phone digits
       "VanDyke,Dick,,,90210\r\n"                              // same postal code
       "Lee,Ann,ann.lee@elsewhere.org,,\r\n"                   // same name only
       "Stone,Bob,bob@example.com,,\r\n"                       // a new person ...
       "Stone,Bob,bob@example.com,,\r\n",                      // ... twice in one list
       ImportRun::Duplicates::Skip, 2, 4, 0},
      {"Lee,Ann,ann@example.com,,\r\n", ImportRun::Duplicates::Report, 1, 0, 1},
      {"Lee,Ann,ann@example.com,,\r\n", ImportRun::Duplicates::Import, 1, 0, 0},
  };
  std::size_t rows = 3;
  for (const Case& c : cases) {
    run.reset();
    contact.close();
    std::ofstream((dir / "src.txt").string(), std::ios::binary) << c.list;
    contact.open((dir / "data").string(), "contact.db");
    records = MakeRecordSource(state, source);
    run = std::make_unique<ImportRun>(state, contact, *records, DataPlace::folder((dir / "data").string()), view);
    run->setduplicates(c.policy);
    run->FormCreate();
    run->btAllClick();
    rows += static_cast<std::size_t>(c.imported);
    EXPECT_EQ(run->summary().imported, c.imported) << c.list;
    EXPECT_EQ(run->summary().duplicatesskipped, c.skipped) << c.list;
    EXPECT_EQ(run->summary().duplicatesstored, c.stored) << c.list;
    EXPECT_EQ(run->summary().empty, 0) << c.list;
    EXPECT_EQ(column("LastName").size(), rows) << c.list;
  }
}

// The review shows a likely duplicate with the contact it is like; skipping
// it stores nothing and counts it.
TEST_F(ImportRunTest, ReviewShowsALikelyDuplicateAndSkipsIt) {
  start("Lee,Ann,ann@example.com\r\nLee,Ann,ANN@example.com\r\nLee,Bo,bo@example.com\r\n",
        {"LastName", "FirstName", "Email"});
  EXPECT_FALSE(run->preview().duplicate);
  run->btAcceptOneClick();
  ASSERT_TRUE(run->preview().duplicate);  // stored a moment ago, by this run
  run->skipduplicate();
  run->next();
  EXPECT_FALSE(run->preview().duplicate);  // another first name
  run->btAcceptOneClick();
  EXPECT_EQ(column("FirstName"), (std::vector<std::string>{"Ann", "Bo"}));
  EXPECT_EQ(run->summary().duplicatesskipped, 1);
  EXPECT_EQ(run->lblRejected(), "1");

  // Another run sees the stored contact, and names it.
  run.reset();
  contact.close();
  start("LEE,ANN,ann@example.com\r\n", {"LastName", "FirstName", "Email"});
  ASSERT_TRUE(run->preview().duplicate);
  const DuplicateMatch& existing = run->preview().existing;
  EXPECT_FALSE(existing.key.empty());
  EXPECT_NE(std::find(existing.fields.begin(), existing.fields.end(),
                      std::make_pair(std::string("Email"), std::string("ann@example.com"))),
            existing.fields.end());
}

}  // namespace
}  // namespace vesper

namespace vesper {
namespace {

// A batch tells how far it has come: the share of the source read grows to
// the whole, the pace is the records read over the time taken, and the time
// left, once it can be told, follows the pace down to nothing.
TEST_F(ImportRunTest, BatchesTellTheShareReadAndTheTimeLeft) {
  messages.millisPerEvents = 10;
  start(lines(20000), {"LastName", "FirstName", "City"});
  std::vector<RunProgress> seen;
  view.onStatus = [&] { seen.push_back(run->progress()); };
  const std::int64_t began = clock.tick;
  run->btAllClick();
  ASSERT_GT(seen.size(), 10u);
  const RunProgress& last = seen.back();
  EXPECT_DOUBLE_EQ(last.share, 1.0);
  const double seconds = static_cast<double>(clock.tick - began) / 1000.0;
  EXPECT_NEAR(last.persecond, 20000 / seconds, 20000 / seconds / 50);
  double share = 0;
  std::size_t told = 0;
  for (const RunProgress& p : seen) {
    EXPECT_GE(p.share, share);
    share = p.share;
    if (p.secondsleft < 0) continue;
    ++told;
    // The records still to read at the pace so far.
    EXPECT_NEAR(p.secondsleft, 20000 * (1 - p.share) / p.persecond, 0.5 + p.secondsleft / 10);
  }
  EXPECT_GT(told, seen.size() / 2);
  EXPECT_LT(last.secondsleft, 0.5);
}

}  // namespace
}  // namespace vesper
