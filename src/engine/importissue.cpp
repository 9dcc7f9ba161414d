#include "engine/importissue.h"

#include "parse/text.h"

namespace vesper {

std::string issuemessage(const ImportIssue& issue) {
  return "Record " + std::to_string(issue.record) +
         (issue.kind == IssueKind::RowRefused ? " could not be stored: " : " was not imported: ") + issue.text;
}

namespace {

// Issues the report lists: a row stored as it stood (a likely duplicate
// stored all the same) is none.
bool reported(IssueKind kind) { return kind != IssueKind::DuplicateStored; }

void packvarint(std::string& out, long long delta) {
  std::uint64_t v = (static_cast<std::uint64_t>(delta) << 1) ^ static_cast<std::uint64_t>(delta >> 63);
  while (v >= 0x80) {
    out += static_cast<char>(v | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

}  // namespace

long long IssueLog::unpack(const std::string& packed, std::size_t& at) {
  std::uint64_t v = 0;
  for (int shift = 0; at < packed.size(); shift += 7) {
    const unsigned char b = static_cast<unsigned char>(packed[at++]);
    v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if (!(b & 0x80)) break;
  }
  return static_cast<long long>(v >> 1) ^ -static_cast<long long>(v & 1);
}

void IssueLog::addreport(long long record, long long line, IssueKind kind, const std::string& field) {
  if (!reported(kind)) return;
  // An entry takes at most 31 bytes: one more block before it would pass kBlock.
  if (packed_.empty() || packed_.back().size() + 31 > kBlock) {
    packed_.emplace_back();
    packed_.back().reserve(kBlock);
  }
  std::string& out = packed_.back();
  out += static_cast<char>(static_cast<unsigned>(kind) | (field.empty() ? 0 : 0x80) | (record > 0 ? 0 : 0x40));
  if (record > 0) packvarint(out, record - lastrecord_), lastrecord_ = record;
  packvarint(out, line - lastline_);
  lastline_ = line;
  if (field.empty()) return;
  auto at = reportfieldindex_.find(field);
  if (at == reportfieldindex_.end()) {
    at = reportfieldindex_.emplace(field, static_cast<std::uint32_t>(reportfields_.size())).first;
    reportfields_.push_back(field);
  }
  packvarint(out, at->second);
}

void IssueLog::add(ImportIssue issue) {
  const std::size_t k = static_cast<std::size_t>(issue.kind);
  if (issue.sourceline == 0) issue.sourceline = issue.record > 0 ? lineof(issue.record) : line_;
  addreport(issue.record, issue.sourceline, issue.kind, issue.field);
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
  addreport(0, line_, kind, {});
}

void IssueLog::report(ImportIssue issue, Messages& messages) {
  messages.errormessage(issuemessage(issue));
  add(std::move(issue));
}

std::vector<FieldNotes> IssueLog::perfield() const { return fields_; }

}  // namespace vesper
