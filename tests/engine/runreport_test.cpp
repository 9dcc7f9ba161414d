// The run report: one CSV line for each record not imported as it stood.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/runreport.h"

namespace vesper {
namespace {

TEST(RunReport, ListsEveryIssueWithItsLineAndQuotesFields) {
  IssueLog log;
  log.noteline(1, 2);
  log.add({1, {}, "Last,Name", IssueKind::ValueCut, "cut"});
  log.setline(3);
  log.addline(IssueKind::LineRejected, "a,b", "written to the bad-record file");
  log.noteline(2, 4);
  log.add({2, {}, "Date\"1", IssueKind::DateUnread, "not a date"});
  log.noteline(3, 5);
  log.add({3, {}, {}, IssueKind::UserRejected, "rejected"});
  log.add({3, {}, {}, IssueKind::DuplicateSkipped, "duplicate"});
  log.add({3, {}, {}, IssueKind::DuplicateStored, "stored as it stood: not listed"});
  // A row the writer refused after later records were read brings its line.
  log.add({2, {}, {}, IssueKind::RowRefused, "refused", 4});
  EXPECT_EQ(reportcsv(log),
            "Record,Line,What happened,Field\r\n"
            "1,2,value cut,\"Last,Name\"\r\n"
            ",3,bad line,\r\n"
            "2,4,date unreadable,\"Date\"\"1\"\r\n"
            "3,5,rejected by the user,\r\n"
            "3,5,duplicate skipped,\r\n"
            "2,4,failed with an error,\r\n");
}

TEST(RunReport, KeepsEveryIssueBeyondTheIssuesKeptWhole) {
  // Lines and records far apart, records met out of turn, numbers past
  // 32 bits, more than one block of them: each comes back as it was added.
  struct Added {
    long long record, line;
    IssueKind kind;
    std::string field;
  };
  std::vector<Added> added;
  IssueLog log;
  for (long long i = 0; i < 40000; ++i) {
    const long long line = i * 37 + (i % 3 == 0 ? 5000000000LL : 1);
    if (i % 4 == 0) {
      log.setline(line);
      log.addline(IssueKind::LineRejected, "x", "bad");
      added.push_back({0, line, IssueKind::LineRejected, ""});
    } else {
      const long long record = i % 5 == 0 ? i / 2 : i;
      const std::string field = i % 2 ? "Field" + std::to_string(i % 7) : "";
      log.add({record, {}, field, IssueKind::ValueCut, "cut", line});
      added.push_back({record, line, IssueKind::ValueCut, field});
    }
  }
  std::size_t n = 0;
  log.eachreport([&](const ReportEntry& e) {
    ASSERT_LT(n, added.size());
    EXPECT_EQ(e.record, added[n].record) << n;
    EXPECT_EQ(e.sourceline, added[n].line) << n;
    EXPECT_EQ(e.kind, added[n].kind) << n;
    EXPECT_EQ(e.field, added[n].field) << n;
    ++n;
  });
  EXPECT_EQ(n, added.size());
}

}  // namespace
}  // namespace vesper
