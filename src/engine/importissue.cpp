#include "engine/importissue.h"

#include <algorithm>
#include <climits>

#include "parse/text.h"

namespace vesper {

std::string issuemessage(const ImportIssue& issue) {
  return "Record " + std::to_string(issue.record) +
         (issue.kind == IssueKind::RowRefused ? " could not be stored: " : " was not imported: ") + issue.text;
}

void IssueLog::noteline(long long record, long long line) {
  if (record <= 0) return;
  const std::size_t r = static_cast<std::size_t>(record);
  if (lines_.size() <= r) lines_.resize(std::max(r + 1, lines_.size() * 2), 0);
  lines_[r] = static_cast<std::uint32_t>(std::min<long long>(line, UINT32_MAX));
}

long long IssueLog::lineof(long long record) const {
  const std::size_t r = static_cast<std::size_t>(record);
  return record > 0 && r < lines_.size() ? lines_[r] : 0;
}

void IssueLog::add(ImportIssue issue) {
  const std::size_t k = static_cast<std::size_t>(issue.kind);
  if (issue.sourceline == 0) issue.sourceline = issue.record > 0 ? lineof(issue.record) : line_;
  report_.push_back({issue.record, issue.sourceline, issue.kind, issue.field});
  if (++counts_[k] == 1) first_[k] = issue.text;
  long long FieldNotes::*count = issue.kind == IssueKind::ValueCut           ? &FieldNotes::cut
                                 : issue.kind == IssueKind::DateUnread       ? &FieldNotes::unreadabledates
                                 : issue.kind == IssueKind::NumberOutOfRange ? &FieldNotes::numbersnotfit
                                                                             : nullptr;
  if (count) {
    auto at = fieldindex_.find(issue.field);
    if (at == fieldindex_.end()) {
      at = fieldindex_.emplace(issue.field, fields_.size()).first;
      fields_.push_back({issue.field});
    }
    ++(fields_[at->second].*count);
  }
  if (kept_.size() >= kKept) return;
  if (issue.line.size() > kLineKept) issue.line = cuttext(issue.line, kLineKept);
  kept_.push_back(std::move(issue));
}

void IssueLog::addline(IssueKind kind, std::string_view line, std::string_view text) {
  if (keeping() || count(kind) == 0) {
    add({0, cuttext(line, kLineKept), {}, kind, std::string(text)});
    return;
  }
  ++counts_[static_cast<std::size_t>(kind)];
  report_.push_back({0, line_, kind, {}});
}

void IssueLog::report(ImportIssue issue, Messages& messages) {
  messages.errormessage(issuemessage(issue));
  add(std::move(issue));
}

std::vector<FieldNotes> IssueLog::perfield() const { return fields_; }

}  // namespace vesper
