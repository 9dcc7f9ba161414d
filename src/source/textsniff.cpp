#include "source/textsniff.h"

#include <algorithm>
#include <map>
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
  int fieldcount = 0;
  int minfields = 0;     // the narrower width the records share, if any
  double agreement = 0;  // share of the records with fieldcount fields
  bool quotedbreak = false;
};

Sample readsample(SourceDescription& source, char separator) {
  Sample s;
  s.separator = separator;
  if (!RewindSourceFile(source)) return s;
  TextFileSlot& slot = source.SourceFile;
  const bool crlf = StandardRecordReader::crlffile(slot);
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

std::vector<std::string> cellsof(const StandardRecord& r) {
  std::vector<std::string> cells;
  for (int i = 1; i <= r.fieldcount(); ++i) {
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

// The width narrower than the header's that at least four in five of the
// records from `from` on share; 0 when they share none.
int sharednarrowwidth(const Sample& s, int from) {
  std::map<int, int> widths;
  int seen = 0;
  for (int i = from; i < static_cast<int>(s.records.size()); ++i) {
    if (!usable(s.records[i])) continue;
    ++seen;
    ++widths[s.records[i].fieldcount()];
  }
  for (const auto& [width, records] : widths)
    if (width < s.fieldcount && records * 5 >= seen * 4) return width;
  return 0;
}

// Finds the header (per the choice and the judge), then how well the records
// after it (or all of them) agree on one field count.
void judgesample(Sample& s, HeaderChoice choice, const HeaderJudge& judge) {
  const int n = static_cast<int>(s.records.size());
  if (choice != HeaderChoice::No) {
    for (int i = 0; i < n && i < kHeaderSearch && s.header < 0 && judge; ++i)
      if (usable(s.records[i]) && judge(cellsof(s.records[i]))) s.header = i;
    for (int i = 0; i < n && choice == HeaderChoice::Yes && s.header < 0; ++i)
      if (usable(s.records[i])) s.header = i;
  }
  int from = s.header >= 0 ? s.header + 1 : 0;
  while (s.header < 0 && from < n && !usable(s.records[from])) ++from;
  if (s.header >= 0)
    s.fieldcount = s.records[s.header].fieldcount();
  else if (from < n)
    s.fieldcount = s.records[from].fieldcount();
  if (s.header >= 0) s.minfields = sharednarrowwidth(s, from);
  int seen = 0, agree = 0;
  for (int i = from; i < n; ++i) {
    const StandardRecord& r = s.records[i];
    if (!usable(r)) continue;
    ++seen;
    const bool fits = s.header >= 0 ? r.fitswidth(s.fieldcount, s.minfields) : r.fieldcount() == s.fieldcount;
    if (!fits) continue;
    ++agree;
    s.quotedbreak = s.quotedbreak || r.quotedbreak;
  }
  s.agreement = seen ? static_cast<double>(agree) / seen : 0;
}

// Whether `a` describes the file better than `b` (an earlier separator).
bool better(const Sample& a, const Sample& b) {
  const bool ha = a.header >= 0, hb = b.header >= 0;
  if (ha != hb) return ha;
  if (ha) return a.fieldcount > b.fieldcount;
  const bool ca = a.fieldcount > 1 && a.agreement >= 0.8, cb = b.fieldcount > 1 && b.agreement >= 0.8;
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
    Sample s = readsample(source, sep);
    judgesample(s, choice.header, judge);
    if (!any || better(s, best)) best = std::move(s);
    any = true;
  }
  if (!any) {  // a separator of the user's own
    best = readsample(source, choice.separator);
    judgesample(best, choice.header, judge);
  }
  RewindSourceFile(source);

  const bool header = best.header >= 0;
  const bool consistent = best.fieldcount > 1 && best.agreement >= 0.8;
  const bool standard = header || choice.quoting == QuotingChoice::Standard ||
                        (choice.separator != 0 && choice.separator != ',') ||
                        (consistent && (best.separator != ',' || best.quotedbreak));
  if (!standard) return out;
  TextLayout& l = out.layout;
  l.separator = best.separator;
  l.quoting = Quoting::Standard;
  if (header) {
    l.headerline = best.header + 1;
    l.preamblelines = best.header;
    l.columnnames = cellsof(best.records[static_cast<std::size_t>(best.header)]);
    l.minfields = best.minfields;
  }
  out.fieldcount = std::max(best.fieldcount, 1);
  return out;
}

}  // namespace vesper
