#include "source/textsniff.h"

#include <algorithm>
#include <string>
#include <vector>

#include "source/sourceline.h"
#include "source/sourcestate.h"
#include "source/standardcsv.h"

namespace vesper {

namespace {

// The first records of the file read with one separator.
struct Sample {
  char separator = ',';
  std::vector<StandardRecord> records;  // empty lines included, so indexes are lines
  int header = -1;                      // index of the header record
  int fieldCount = 0;
  double agreement = 0;  // share of the records with fieldCount fields
  bool quotedBreak = false;
};

Sample readSample(SourceDescription& source, char separator) {
  Sample s;
  s.separator = separator;
  if (!RewindSourceFile(source)) return s;
  TextFileSlot& slot = source.SourceFile;
  const bool crlf = StandardRecordReader::crlfFile(slot);
  StandardRecordReader reader(slot, separator, crlf);
  std::size_t bytes = 0;
  StandardRecord r;
  while (static_cast<int>(s.records.size()) < kSniffRecords && bytes < kSniffBytes) {
    reader.limit(kSniffBytes - bytes);
    if (!reader.read(r)) break;
    bytes += r.bytes;
    s.records.push_back(std::move(r));
    r = StandardRecord{};
  }
  return s;
}

std::vector<std::string> cellsOf(const StandardRecord& r) {
  std::vector<std::string> cells;
  for (int i = 1; i <= r.fieldCount(); ++i) {
    // A column name is one line, without blanks at its ends.
    std::string_view v = r.value(i);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\r' || v.front() == '\n')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\r' || v.back() == '\n')) v.remove_suffix(1);
    std::string c(v);
    for (char& ch : c)
      if (ch == '\r' || ch == '\n') ch = ' ';
    cells.push_back(std::move(c));
  }
  return cells;
}

bool usable(const StandardRecord& r) { return r.bytes > 0 && !r.overlong && !r.unclosed; }

// Finds the header (per the choice and the judge), then how well the records
// after it (or all of them) agree on one field count.
void judgeSample(Sample& s, HeaderChoice choice, const HeaderJudge& judge) {
  const int n = static_cast<int>(s.records.size());
  if (choice != HeaderChoice::No) {
    for (int i = 0; i < n && i < kHeaderSearch && s.header < 0 && judge; ++i)
      if (usable(s.records[i]) && judge(cellsOf(s.records[i]))) s.header = i;
    for (int i = 0; i < n && choice == HeaderChoice::Yes && s.header < 0; ++i)
      if (usable(s.records[i])) s.header = i;
  }
  int from = s.header >= 0 ? s.header + 1 : 0;
  while (s.header < 0 && from < n && !usable(s.records[from])) ++from;
  if (s.header >= 0)
    s.fieldCount = s.records[s.header].fieldCount();
  else if (from < n)
    s.fieldCount = s.records[from].fieldCount();
  int seen = 0, agree = 0;
  for (int i = from; i < n; ++i) {
    const StandardRecord& r = s.records[i];
    if (!usable(r)) continue;
    ++seen;
    const bool fits = r.fieldCount() == s.fieldCount ||
                      (s.header >= 0 && r.fieldCount() > s.fieldCount && r.extrasEmpty(s.fieldCount));
    if (!fits) continue;
    ++agree;
    s.quotedBreak = s.quotedBreak || r.quotedBreak;
  }
  s.agreement = seen ? static_cast<double>(agree) / seen : 0;
}

// Whether `a` describes the file better than `b` (an earlier separator).
bool better(const Sample& a, const Sample& b) {
  const bool ha = a.header >= 0, hb = b.header >= 0;
  if (ha != hb) return ha;
  if (ha) return a.fieldCount > b.fieldCount;
  const bool ca = a.fieldCount > 1 && a.agreement >= 0.8, cb = b.fieldCount > 1 && b.agreement >= 0.8;
  if (ca != cb) return ca;
  return ca && a.agreement > b.agreement;
}

}  // namespace

SniffedLayout RecogniseTextLayout(SourceDescription& source, const HeaderJudge& judge) {
  const LayoutChoice& choice = source.SourceLayoutChoice;
  SniffedLayout out;
  if (choice.quoting == QuotingChoice::Classic) return out;

  static const char kSeparators[] = {',', ';', '\t', '|'};
  Sample best;
  bool any = false;
  for (char sep : kSeparators) {
    if (choice.separator != 0 && sep != choice.separator) continue;
    Sample s = readSample(source, sep);
    judgeSample(s, choice.header, judge);
    if (!any || better(s, best)) best = std::move(s);
    any = true;
  }
  if (!any) {  // a separator of the user's own
    best = readSample(source, choice.separator);
    judgeSample(best, choice.header, judge);
  }
  RewindSourceFile(source);

  const bool header = best.header >= 0;
  const bool consistent = best.fieldCount > 1 && best.agreement >= 0.8;
  const bool standard = header || choice.quoting == QuotingChoice::Standard ||
                        (choice.separator != 0 && choice.separator != ',') ||
                        (consistent && (best.separator != ',' || best.quotedBreak));
  if (!standard) return out;
  TextLayout& l = out.layout;
  l.separator = best.separator;
  l.quoting = Quoting::Standard;
  if (header) {
    l.headerLine = best.header + 1;
    l.preambleLines = best.header;
    l.columnNames = cellsOf(best.records[static_cast<std::size_t>(best.header)]);
  }
  out.fieldCount = std::max(best.fieldCount, 1);
  return out;
}

}  // namespace vesper
