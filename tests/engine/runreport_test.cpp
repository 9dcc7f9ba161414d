// The run report: one CSV line for each record not imported as it stood.
#include <gtest/gtest.h>

#include "engine/runreport.h"

namespace vesper {
namespace {

TEST(RunReport, ListsEveryIssueWithItsLineAndQuotesFields) {
  IssueLog log;
  log.noteline(1, 2);
  log.noteline(2, 4);
  log.noteline(3, 5);
  log.add({1, {}, "Last,Name", IssueKind::ValueCut, "cut"});
  log.setline(3);
  log.addline(IssueKind::LineRejected, "a,b", "written to the bad-record file");
  log.add({2, {}, "Date\"1", IssueKind::DateUnread, "not a date"});
  log.add({3, {}, {}, IssueKind::UserRejected, "rejected"});
  log.add({3, {}, {}, IssueKind::DuplicateSkipped, "duplicate"});
  log.add({2, {}, {}, IssueKind::RowRefused, "refused"});
  EXPECT_EQ(reportcsv(log),
            "Record,Line,What happened,Field\r\n"
            "1,2,value cut,\"Last,Name\"\r\n"
            ",3,bad line,\r\n"
            "2,4,date unreadable,\"Date\"\"1\"\r\n"
            "3,5,rejected by the user,\r\n"
            "3,5,duplicate skipped,\r\n"
            "2,4,failed with an error,\r\n");
}

TEST(RunReport, KeepsEveryLineBeyondTheIssuesKeptWhole) {
  IssueLog log;
  for (std::size_t i = 0; i < IssueLog::kKept + 5; ++i) log.addline(IssueKind::LineRejected, "x", "bad");
  EXPECT_EQ(log.report().size(), IssueLog::kKept + 5);
}

}  // namespace
}  // namespace vesper
