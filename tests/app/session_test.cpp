#include "app/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "store/sampledata.h"
#include "support/datafolder.h"
#include "support/fakes.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct RecordingView : RunView {
  std::vector<std::pair<int, int>> fewer;  // (asked, found)
  bool askabort() override { return true; }
  bool showscounters() const override { return false; }
  void fewerrecords(int asked, int found) override { fewer.emplace_back(asked, found); }
};

struct SessionTest : testing::DataFolderTest {
  SessionTest() : DataFolderTest("session") {}
  std::unique_ptr<ImportSession> session;

  void SetUp() override {
    DataFolderTest::SetUp();
    state->random.pin(7);
    session = std::make_unique<ImportSession>(*state, *engine);
    session->begin();
  }
  void TearDown() override {
    session.reset();
    DataFolderTest::TearDown();
  }
  // Five records of three fields (LastName, FirstName, City) and a
  // specification for them; the session started on them.
  void start() {
    std::ofstream(dir / "list.csv", std::ios::binary)
        << "Ames,Al,Aby\r\nBell,Bo,Bly\r\nCole,Cy,Cly\r\nDunn,Di,Dly\r\nEads,Ed,Ely\r\n";
    std::string imp = std::to_string(kDelimited) + "\r\nLastName\r\nFirstName\r\nCity\r\n";
    for (int i = 4; i <= kMaxSourceFields; ++i) imp += "\r\n";
    for (int i = 0; i <= kMaxSourceFields; ++i) imp += "-1\r\n";
    std::ofstream(dir / "list.imp", std::ios::binary) << imp;
    session->setsource((dir / "list.csv").string());
    ASSERT_TRUE(session->choosedatabase("MAIN"));
    session->choosespec((dir / "list.imp").string());
    ASSERT_TRUE(session->checkstart(true) && session->opentarget() && session->loadspec() &&
                session->opensource())
        << (messages.shown.empty() ? "" : messages.shown.back().text);
    session->saveas((dir / "saved.imp").string());
  }
  std::multiset<std::string> stored() {
    Table t;
    t.open((dir / "data").string(), "CONTACT.DB");
    std::multiset<std::string> names;
    for (t.first(); !t.atend(); t.next()) names.insert(t.astext(t.fieldindex("LastName")));
    return names;
  }
};

TEST_F(SessionTest, TheTargetDatabaseIsChosenByItsName) {
  EXPECT_TRUE(session->choosedatabase("MAIN"));
  EXPECT_EQ(state->DatabaseName, "MAIN");
  for (const char* name : {"NOPE", "main"}) {
    EXPECT_FALSE(session->choosedatabase(name));
    EXPECT_EQ(state->DatabaseName, "");
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().text, "There is no database called " + std::string(name) + " in DATABASE.DB.");
  }
}

enum Step { Accept, Reject, All, Count2, Count3, Count9, Percent100, Cancel };

TEST_F(SessionTest, TheRunnersVerbsDecideEachRecordOnce) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::size_t rows;                    // contacts stored
    std::multiset<std::string> without;  // names that must not be stored
    long long passedover;
    long long read;                      // records read from the source
    std::vector<std::pair<int, int>> fewer;
    bool completed;                      // ran to its end: the specification is saved
  };
  const std::vector<Case> cases = {
      {"review", {Accept, Reject, Accept, Reject, Accept}, 3, {"Bell", "Dunn"}, 2, 5, {}, true},
      {"accepted, then all", {Accept, All}, 5, {}, 0, 5, {}, true},
      {"rejected, then all", {Reject, All}, 4, {"Ames"}, 1, 5, {}, true},
      {"rejected, then three", {Reject, Count3}, 3, {"Ames"}, 2, 5, {}, true},
      {"accepted, then two in all", {Accept, Count2}, 2, {}, 3, 5, {}, true},
      {"more than there are", {Count9}, 5, {}, 0, 5, {{9, 5}}, true},
      {"every one by percent", {Percent100}, 5, {}, 0, 5, {}, true},
      // A decided record stays the last one read until the next is asked for.
      {"cancelled", {Accept, Reject, Cancel}, 1, {"Bell"}, 1, 2, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    start();
    RecordingView view;
    std::unique_ptr<ImportRun> run = session->makerun(view);
    ASSERT_TRUE(run->start());
    for (Step s : c.steps) {
      if (s == Accept || s == Reject) ASSERT_TRUE(run->next());
      switch (s) {
        case Accept: run->accept(); break;
        case Reject: run->reject(); break;
        case All: run->acceptall(); break;
        case Count2: run->acceptrandom(RandomShare::count(2)); break;
        case Count3: run->acceptrandom(RandomShare::count(3)); break;
        case Count9: run->acceptrandom(RandomShare::count(9)); break;
        case Percent100: run->acceptrandom(RandomShare::percent(100)); break;
        case Cancel: run->cancel(); break;
      }
    }
    EXPECT_FALSE(run->next()) << "the run has ended";
    EXPECT_EQ(run->outcome(), c.completed ? ImportRun::Outcome::Ok : ImportRun::Outcome::Cancel);
    const RunSummary summary = run->summary();
    run.reset();
    session->endstart();
    session->close();
    std::multiset<std::string> rows = stored();
    EXPECT_EQ(rows.size(), c.rows);
    for (const std::string& name : c.without) EXPECT_EQ(rows.count(name), 0u) << name;
    std::set<std::string> distinct(rows.begin(), rows.end());
    EXPECT_EQ(distinct.size(), rows.size()) << "a record stored twice";
    EXPECT_EQ(summary.imported, static_cast<long long>(c.rows));
    EXPECT_EQ(summary.passedover, c.passedover);
    EXPECT_EQ(summary.read, c.read);
    EXPECT_EQ(view.fewer, c.fewer);
    EXPECT_EQ(fs::exists(dir / "saved.imp"), c.completed);
  }
}

}  // namespace
}  // namespace vesper
