#include "engine/runreport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vesper {

namespace {

void appendcsv(std::string& out, const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) {
    out += value;
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

const char* reporttext(IssueKind kind) {
  switch (kind) {
    case IssueKind::ValueCut: return "value cut";
    case IssueKind::DateUnread: return "date unreadable";
    case IssueKind::NumberOutOfRange: return "number out of range";
    case IssueKind::LineRejected:
    case IssueKind::LineLost: return "bad line";
    case IssueKind::RecordFailed:
    case IssueKind::RowRefused: return "failed with an error";
    case IssueKind::UserRejected: return "rejected by the user";
    case IssueKind::DuplicateSkipped: return "duplicate skipped";
    case IssueKind::DuplicateStored: return "duplicate stored";
    case IssueKind::Count: break;
  }
  return "";
}

bool hasreport(const IssueLog& issues) { return issues.hasreport(); }

namespace {

void appendentry(std::string& out, const ReportEntry& e) {
  if (e.record > 0) out += std::to_string(e.record);
  out += ',';
  if (e.sourceline > 0) out += std::to_string(e.sourceline);
  out += ',';
  out += reporttext(e.kind);
  out += ',';
  appendcsv(out, e.field);
  out += "\r\n";
}

const char* const kHeader = "Record,Line,What happened,Field\r\n";

}  // namespace

std::string reportcsv(const IssueLog& issues) {
  std::string out = kHeader;
  issues.eachreport([&](const ReportEntry& e) { appendentry(out, e); });
  return out;
}

// Written a piece at a time: the whole report is never held as text.
bool writereport(const IssueLog& issues, const std::string& path, std::string& why) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    why = std::strerror(errno);
    return false;
  }
  std::string text = kHeader;
  bool written = true;
  int werr = 0;
  auto flush = [&] {
    if (written && std::fwrite(text.data(), 1, text.size(), f) != text.size()) written = false, werr = errno;
    text.clear();
  };
  issues.eachreport([&](const ReportEntry& e) {
    appendentry(text, e);
    if (text.size() >= 65536) flush();
  });
  flush();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    why = std::strerror(written ? errno : werr);
    return false;
  }
  return true;
}

}  // namespace vesper
