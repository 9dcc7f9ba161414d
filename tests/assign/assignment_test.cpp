#include "assign/assignment.h"

#include <gtest/gtest.h>

#include <map>

#include "base/errors.h"
#include "support/fakes.h"

namespace vesper {
namespace {

// Samples "f<field>r<record>" for records 1..rows, except the empty cells listed.
class FakeSamples : public SampleSource {
 public:
  int rows = 60;
  std::map<std::pair<int, int>, bool> empty;
  int calls = 0;
  std::string sample(int field, int record) override {
    ++calls;
    if (record > rows || empty.count({field, record})) return "";
    return "f" + std::to_string(field) + "r" + std::to_string(record);
  }
  std::string fieldname(int field) override { return "COL" + std::to_string(field); }
};

class FakeDates : public DateFormatAsker {
 public:
  int answer = -1;  // -1: the user pressed Cancel without clicking
  int asked = 0;
  void askdateformat(AssignState& s) override {
    ++asked;
    if (answer >= 0) s.ChosenDateFormat = answer;
  }
};

std::vector<FieldDef> contactfields() {
  return {{"DB", FieldType::Alpha, 20},       {"FirstName", FieldType::Alpha, 20},
          {"LastName", FieldType::Alpha, 30}, {"Addr1", FieldType::Alpha, 40},
          {"Addr2", FieldType::Alpha, 40},    {"City", FieldType::Alpha, 30},
          {"State", FieldType::Alpha, 20},    {"Zip", FieldType::Alpha, 11},
          {"Memo", FieldType::Memo, 0},       {"Date1", FieldType::Date, 0},
          {"eventdatetime", FieldType::Timestamp, 0}};
}

struct AssignmentTest : ::testing::Test {
  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  AssignState state{messages, clock, disk};
  FakeSamples samples;
  FakeDates dates;
  std::unique_ptr<FieldAssignmentModel> model;

  void open(int kind, int count) {
    state.SourceType = kind;
    state.SourceFieldCount = count;
    model = std::make_unique<FieldAssignmentModel>(state, contactfields(), CatalogueLabels{},
                                                   samples, dates);
    model->FormCreate();
  }
  // Clicks the entry named `name` and assigns it.
  void assign(const std::string& name) {
    const auto& list = model->fieldnames();
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].name == name) {
        model->FieldNamesClick(static_cast<int>(i));
        model->btAssignClick();
        return;
      }
    FAIL() << name << " is not on offer";
  }
  bool offered(const std::string& name) {
    for (auto& e : model->fieldnames())
      if (e.name == name) return true;
    return false;
  }
};

TEST_F(AssignmentTest, DelimitedSourceClosesAfterTheLastField) {
  samples.empty = {{{1, 2}, true}, {{1, 3}, true}};
  open(kDelimited, 3);
  EXPECT_EQ(model->fieldnumbercaption(), "Field No. 1");
  EXPECT_EQ(model->tablefieldcaption(), "");
  EXPECT_FALSE(model->assignenabled());
  EXPECT_FALSE(model->nextrecordvisible());
  // Eight samples from the first records, passing over the empty ones.
  EXPECT_EQ(model->edits()[0], "f1r1");
  EXPECT_EQ(model->edits()[1], "f1r4");
  EXPECT_EQ(model->edits()[7], "f1r10");
  assign("x2firstlast");
  EXPECT_EQ(model->fieldnumbercaption(), "Field No. 2");
  assign("x1notused");
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Open);
  assign("Addr1");
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Ok);
  EXPECT_EQ(state.SourceFieldCount, 3);
  EXPECT_EQ(state.FieldAssignments[1], "x2firstlast");
  EXPECT_EQ(state.FieldAssignments[2], "x1notused");
  EXPECT_EQ(state.FieldAssignments[3], "Addr1");
  EXPECT_EQ(model->selectedfields().size(), 3u);
  // x2 marks FirstName and LastName as filled (2) and itself, x3, x6 as used.
  EXPECT_EQ(state.TargetFieldMarks[1], 2);
  EXPECT_EQ(state.TargetFieldMarks[2], 2);
  EXPECT_EQ(state.TargetFieldMarks[202], 1);
  EXPECT_EQ(state.TargetFieldMarks[206], 1);
  EXPECT_EQ(state.TargetFieldMarks[3], 1);    // Addr1 directly
  EXPECT_EQ(state.TargetFieldMarks[208], 2);  // Address 1 & 2 blocked
}

TEST_F(AssignmentTest, FewSamplesShowDataNotFound) {
  samples.rows = 3;
  open(kParadox, 2);
  EXPECT_EQ(model->tablefieldcaption(), "(Field: COL1)");
  EXPECT_EQ(model->edits()[2], "f1r3");
  EXPECT_EQ(model->edits()[3], "Data NOT Found.");
  EXPECT_EQ(samples.calls, 50);  // tried all 50 records
}

TEST_F(AssignmentTest, CityStateZipTakesItsPartsOut) {
  open(kDelimited, 5);
  assign("x5citystatezip");
  for (const char* gone : {"x4citystate", "x5citystatezip", "x7zipsuffix", "City", "State", "Zip"})
    EXPECT_FALSE(offered(gone)) << gone;
  EXPECT_TRUE(offered("x1notused"));
  EXPECT_TRUE(offered("Addr1"));
}

TEST_F(AssignmentTest, FirstNameDirectlyKeepsMiddleInitial) {
  open(kDelimited, 5);
  assign("FirstName");
  EXPECT_FALSE(offered("x2firstlast"));
  EXPECT_FALSE(offered("x3lastfirst"));
  EXPECT_TRUE(offered("x6middleinitial"));
  assign("Memo");
  assign("Memo");  // the memo field stays on offer
  EXPECT_EQ(state.FieldAssignments[3], "Memo");
}

TEST_F(AssignmentTest, DateFieldsAskForALayoutOnlyForTextSources) {
  struct Case { int kind; int answer; std::string target; int want; int asked; };
  const Case cases[] = {
      {kDelimited, 7, "Date1", 7, 1},        {kDelimited, -1, "Date1", 2, 1},
      {kLinePerField, 11, "eventdatetime", 11, 1}, {kParadox, 7, "Date1", 4, 0},
      {kDBase, 7, "eventdatetime", 4, 0},    {kDelimited, 7, "Addr1", -1, 0},
  };
  for (const auto& c : cases) {
    state.ResetImportState();
    dates = FakeDates{};
    dates.answer = c.answer;
    open(c.kind, 2);
    assign(c.target);
    EXPECT_EQ(state.DateFormats[1], c.want) << c.target << " kind " << c.kind;
    EXPECT_EQ(dates.asked, c.asked);
  }
}

TEST_F(AssignmentTest, RepeatedAssignTakesConsecutiveEntries) {
  open(kDelimited, 3);
  model->FieldNamesClick(1);  // the first contact field: FirstName
  std::string first = model->fieldnames()[1].name;
  model->btAssignClick();
  std::string second = model->fieldnames()[1].name;
  EXPECT_EQ(model->selectedindex(), 1);
  model->btAssignClick();
  EXPECT_EQ(state.FieldAssignments[1], first);
  EXPECT_EQ(state.FieldAssignments[2], second);
  EXPECT_NE(first, second);
}

TEST_F(AssignmentTest, LinePerFieldNextRecordAndStartOver) {
  open(kLinePerField, 0);
  EXPECT_TRUE(model->nextrecordvisible());
  for (const char* n : {"FirstName", "LastName", "Addr1", "City"}) assign(n);
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Open);
  model->btNextRecordClick();
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Ok);
  EXPECT_EQ(state.SourceFieldCount, 4);

  // The next import starts with the previous marks: LastName is not offered.
  open(kLinePerField, 0);
  EXPECT_FALSE(offered("LastName"));
  assign("Addr2");
  model->BtRetryClick();
  EXPECT_EQ(state.CurrentSourceField, 1);
  EXPECT_TRUE(state.FieldAssignments[1].empty());
  EXPECT_TRUE(offered("LastName"));
}

// "&Next Record" before the first line was assigned would make a record of
// no lines: it is refused and the dialog stays open.
TEST_F(AssignmentTest, NextRecordNeedsOneAssignedLine) {
  open(kLinePerField, 0);
  model->FieldNamesClick(0);
  ASSERT_TRUE(model->nextrecordenabled());
  model->btNextRecordClick();
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Open);
  EXPECT_EQ(state.SourceFieldCount, 0);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"Assign at least one field before going on."});
  assign("LastName");
  model->btNextRecordClick();
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Ok);
  EXPECT_EQ(state.SourceFieldCount, 1);
}

TEST_F(AssignmentTest, LinePerFieldStopsAtSlot210) {
  open(kLinePerField, 0);
  for (int i = 1; i <= 210 && model->result() == FieldAssignmentModel::Result::Open; ++i)
    assign("x1notused");
  EXPECT_EQ(model->result(), FieldAssignmentModel::Result::Ok);
  EXPECT_EQ(state.SourceFieldCount, 210);
  EXPECT_EQ(state.FieldAssignments[210], "x1notused");
}

TEST_F(AssignmentTest, MissingPartsAreReported) {
  state.SourceType = kDelimited;
  state.SourceFieldCount = 2;
  std::vector<FieldDef> few = {{"LastName", FieldType::Alpha, 20}};
  FieldAssignmentModel m(state, few, CatalogueLabels{}, samples, dates);
  m.FormCreate();
  markloadedentry(state, few, "x2firstlast");
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"could not find the FirstName field in the database"});
  EXPECT_EQ(state.TargetFieldMarks[0], 2);
  EXPECT_EQ(state.TargetFieldMarks[203], 1);
  markloadedentry(state, few, "lastname");
  EXPECT_EQ(state.TargetFieldMarks[0], 1);
  EXPECT_THROW(markloadedentry(state, few, "'); DROP TABLE contact; --"), EngineError);
  // A text starting with "x" is a code; one that names no combined field does nothing.
  auto before = state.TargetFieldMarks;
  EXPECT_NO_THROW(markloadedentry(state, few, "x'); DROP TABLE contact; --"));
  EXPECT_EQ(state.TargetFieldMarks, before);
}

}  // namespace
}  // namespace vesper
