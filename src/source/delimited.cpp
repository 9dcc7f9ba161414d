#include "source/delimited.h"

#include <algorithm>
#include <cstring>

#include "parse/text.h"
#include "source/sourceline.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"
#include "source/textsniff.h"
#include "source/vcardsource.h"
#include "source/workbooksource.h"

namespace vesper {

namespace {

// Where the field that starts at `p` ends: at the comma that ends it, or at
// `end`.  Blanks in front of the field change nothing.  A field whose first
// other character is a double quote keeps its commas as text up to the next
// double quote; after that, as in a field that starts with anything else,
// the next comma ends it (quotes further on no longer count).  So each field
// is found with at most two searches for one character.
const char* fieldend(const char* p, const char* end) {
  while (p < end && *p == ' ') ++p;
  if (p < end && *p == '"') {
    const void* q = std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1));
    if (!q) return end;
    p = static_cast<const char*>(q) + 1;
  }
  const void* c = std::memchr(p, ',', static_cast<std::size_t>(end - p));
  return c ? static_cast<const char*>(c) : end;
}

// Calls `each(field)` for every field of the line, in order, with the field
// as it stands in the line; stops early when `each` returns false.
template <class Each>
void eachfield(std::string_view line, Each each) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (;;) {
    const char* e = fieldend(p, end);
    if (!each(std::string_view(p, static_cast<std::size_t>(e - p)))) return;
    if (e == end) return;
    p = e + 1;
  }
}

std::string cleanfield(std::string_view text) {
  std::string v = CleanValue(text);
  std::replace(v.begin(), v.end(), kJoinedComma, ',');
  return v;
}

std::string filenamepart(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CountDelimitedFields(std::string_view line) {
  int fields = 0;
  eachfield(line, [&](std::string_view) { return ++fields, true; });
  return fields;
}

std::string GetDelimitedField(std::string_view line, int n) {
  if (n < 1) return {};
  int field = 0;
  std::string value;
  eachfield(line, [&](std::string_view f) {
    if (++field < n) return true;
    value = cleanfield(f);
    return false;
  });
  return value;
}

std::vector<std::string_view> SplitDelimitedLine(std::string_view line) {
  std::vector<std::string_view> fields;
  SplitDelimitedLine(line, fields);
  return fields;
}

int SplitDelimitedLine(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  eachfield(line, [&](std::string_view f) { return fields.push_back(f), true; });
  return static_cast<int>(fields.size());
}

int CountFirstLineFields(SourceDescription& source) {
  RewindSourceFile(source);
  LineBuffer line;
  ReadSourceLine(source.SourceFile, line);
  return CountDelimitedFields(line.view());
}

SourceIdentity IdentifySource(SourceState& state, const std::string& path, SourceTable& table,
                              const HeaderJudge& judge) {
  state.SourceFile.setup(state.messages, path, "Source file");
  state.SourceLayout = TextLayout{};
  if (int kind = WorkbookKindOf(path)) return {kind, OpenWorkbookSource(state, table, path, kind, judge)};
  const std::string name = uppertext(filenamepart(path));
  if (name.find(".DBF") != std::string::npos)
    return {kDBase, OpenSourceTable(table, path, kDBase)};
  if (name.find(".DB") != std::string::npos)
    return {kParadox, OpenSourceTable(table, path, kParadox)};
  if (name.find(".VCF") != std::string::npos || isvcardfile(path)) return {kVCard, kVCardFieldCount};
  SniffedLayout sniffed = RecogniseTextLayout(state, judge);
  state.SourceLayout = sniffed.layout;
  if (sniffed.layout.quoting == Quoting::Standard) return {kDelimited, sniffed.fieldcount};
  int n = CountFirstLineFields(state);
  return {n < 3 ? kLinePerField : kDelimited, n};
}

std::string PeekDelimitedField(SourceDescription& source, int n, int k) {
  if (k < 1) return {};
  TextFileSlot& slot = source.SourceFile;
  RewindSourceFile(source);
  LineBuffer line, scratch;
  int found = 0;
  while (!SlotEof(slot)) {
    ReadSourceLine(slot, line);
    if (ReadRestOfLine(slot, line, scratch, nullptr, nullptr) > 0) continue;  // too long
    if (CountDelimitedFields(line.view()) != source.SourceFieldCount) continue;
    if (++found == k) return GetDelimitedField(line.view(), n);
  }
  return {};
}

bool ReadNextDelimitedRecord(SourceState& state, const BadLineSink& badline,
                             const std::function<void()>& afterline,
                             std::vector<std::string_view>* fields) {
  TextFileSlot& slot = state.SourceFile;
  LineBuffer& line = state.RecordBuffer;
  auto reject = [&](std::string_view bytes) {
    state.NoBadRecords = false;
    if (badline) badline(bytes);
    if (afterline) afterline();
  };
  while (!SlotEof(slot) && !state.ImportStopped) {
    ReadSourceLine(slot, line);
    // A read that failed cut the line short: the piece is neither a record
    // nor a line of the source.
    if (slot.State != -1) break;
    if (LineContinues(slot, line)) {
      // Longer than a record can be: the whole line, all pieces, is bad.
      std::string bytes(LineBytes(line));
      LineBuffer scratch;
      ReadRestOfLine(slot, line, scratch, nullptr, &bytes);
      reject(bytes);
      continue;
    }
    if (IsBlankAfterFinalLineEnd(slot, line)) break;
    const int count = fields ? SplitDelimitedLine(line.view(), *fields) : CountDelimitedFields(line.view());
    if (count == state.SourceFieldCount) {
      if (afterline) afterline();
      return true;
    }
    reject(LineBytes(line));
  }
  return false;
}

}  // namespace vesper
