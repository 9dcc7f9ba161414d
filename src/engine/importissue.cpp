#include "engine/importissue.h"

#include "parse/text.h"

namespace vesper {

std::string issuemessage(const ImportIssue& issue) {
  return "Record " + std::to_string(issue.record) +
         (issue.kind == IssueKind::RowRefused ? " could not be stored: " : " was not imported: ") + issue.text;
}

void IssueLog::add(ImportIssue issue) {
  const std::size_t k = static_cast<std::size_t>(issue.kind);
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
}

void IssueLog::report(ImportIssue issue, Messages& messages) {
  messages.errormessage(issuemessage(issue));
  add(std::move(issue));
}

std::vector<FieldNotes> IssueLog::perfield() const { return fields_; }

}  // namespace vesper
