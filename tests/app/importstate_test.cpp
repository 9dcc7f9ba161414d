#include "app/importstate.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace vesper {
namespace {

struct Fixture {
  testing::RecordingMessages messages;
  testing::FixedClock clock;
  testing::FixedDisk disk;
  ImportState state{messages, clock, disk};
};

TEST(ImportState, ResetPutsTheSpecificationBack) {
  Fixture f;
  auto& s = f.state;
  EXPECT_EQ(s.DateFormats[0], 20);
  EXPECT_EQ(s.DateFormats[210], -1);
  s.FieldAssignments[3] = "FirstName";
  s.DateFormats[0] = 45;
  s.DateFormats[7] = 4;
  s.TargetFieldMarks[12] = 1;
  s.TargetFieldMarks[205] = 1;
  s.BadFile.State = 1;
  s.DatabaseName = "MAIN";
  s.ResetImportState();
  for (int i = 0; i <= kMaxSourceFields; ++i) {
    EXPECT_TRUE(s.FieldAssignments[i].empty());
    EXPECT_EQ(s.DateFormats[i], i == 0 ? 20 : -1);
    EXPECT_EQ(s.TargetFieldMarks[i], 0);
  }
  EXPECT_EQ(s.BadFile.Name, "bad.csv");
  EXPECT_EQ(s.BadFile.Caption, "bad records file");
  EXPECT_EQ(s.BadFile.State, 0);
  EXPECT_EQ(s.DatabaseName, "MAIN");  // not part of the specification
}

TEST(ImportState, RecomputeFraction) {
  Fixture f;
  auto& s = f.state;
  struct Case { bool fixed; int count, accepted, rejected, limit; double before, want; };
  const Case cases[] = {
      {true, 10, 0, 0, 5, 0.3, 0.3},   {false, 10, 0, 0, 5, 0, 0.5},
      {false, 10, 2, 3, 5, 0, 0.6},    {false, 10, 5, 5, 5, 0, 1.0},
      {false, 0, 0, 0, 5, 0, 1.0},     {false, 4, 4, 0, 4, 0, 1.0},
  };
  for (const auto& c : cases) {
    s.FractionFixed = c.fixed;
    s.SourceRecordCount = c.count;
    s.AcceptedCount = c.accepted;
    s.RejectedCount = c.rejected;
    s.AcceptLimit = c.limit;
    s.RandomFraction = c.before;
    s.RecomputeFraction();
    EXPECT_DOUBLE_EQ(s.RandomFraction, c.want);
  }
}

TEST(ImportState, PinnedSeedRepeatsTheDraw) {
  Fixture f;
  f.state.random.pin(42);
  f.state.ResetImportState();
  double a = f.state.random.next();
  f.state.ResetImportState();
  EXPECT_EQ(f.state.random.next(), a);
}

}  // namespace
}  // namespace vesper
