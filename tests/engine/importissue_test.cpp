#include "engine/importissue.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

// The log counts every issue, by field for the value kinds, and keeps only
// the first ones whole, with long lines cut.
TEST(IssueLog, CountsEveryIssueAndKeepsTheFirst) {
  IssueLog log;
  const long long n = static_cast<long long>(IssueLog::kKept) + 5;
  for (long long r = 1; r <= n; ++r) {
    log.add({r, {}, r % 2 ? "Title" : "Date1", r % 2 ? IssueKind::ValueCut : IssueKind::DateUnread, "v"});
    log.add({0, std::string(500, 'z'), {}, IssueKind::LineLost, r == 1 ? "first reason" : "later"});
  }
  EXPECT_EQ(log.count(IssueKind::LineLost), n);
  EXPECT_EQ(log.count(IssueKind::ValueCut) + log.count(IssueKind::DateUnread), n);
  EXPECT_EQ(log.firsttext(IssueKind::LineLost), "first reason");
  EXPECT_EQ(log.firsttext(IssueKind::RecordFailed), "");
  ASSERT_EQ(log.kept().size(), IssueLog::kKept);
  EXPECT_EQ(log.kept()[1].line.size(), IssueLog::kLineKept);
  const auto fields = log.perfield();
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].field, "Title");  // in the order first met
  EXPECT_EQ(fields[0].cut, (n + 1) / 2);
  EXPECT_EQ(fields[1].unreadabledates, n / 2);
  EXPECT_EQ(fields[1].cut, 0);
}

TEST(IssueLog, MessagesOfFailedRecords) {
  EXPECT_EQ(issuemessage({7, {}, {}, IssueKind::RecordFailed, "Field 'X' not found."}),
            "Record 7 was not imported: Field 'X' not found.");
  EXPECT_EQ(issuemessage({8, {}, {}, IssueKind::RowRefused, "constraint failed"}),
            "Record 8 could not be stored: constraint failed");
}

}  // namespace
}  // namespace vesper
