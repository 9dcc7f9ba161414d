#include "source/delimited.h"

#include <algorithm>

#include "app/importstate.h"
#include "parse/text.h"
#include "source/sourceline.h"
#include "source/tablesource.h"

namespace vesper {

namespace {

// The scanning state of one field and the character-class table.
struct FieldScan {
  int quoteCount = 0;  // saturates at 2: only "exactly one" matters
  bool quoteOpened = false;
  bool dataSeen = false;

  // Applies one character; true when it is a comma that ends the field (the
  // state is then that of a fresh field).
  bool endsField(char c) {
    switch (c) {
      case ' ':
        return false;
      case '"':
        if (!dataSeen) {
          if (quoteCount < 2) ++quoteCount;
          quoteOpened = true;
        }
        return false;
      case ',':
        if (quoteCount == 1) return false;
        *this = FieldScan{};
        return true;
      default:
        if (!quoteOpened) dataSeen = true;
        return false;
    }
  }
};

std::string cleanField(std::string_view text) {
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
  int fields = 1;
  FieldScan scan;
  for (char c : line)
    if (scan.endsField(c)) ++fields;
  return fields;
}

std::string GetDelimitedField(std::string_view line, int n) {
  if (n < 1) return {};
  int field = 1;
  std::size_t start = 0;
  FieldScan scan;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (!scan.endsField(line[i])) continue;
    if (field == n) return cleanField(line.substr(start, i - start));
    ++field;
    start = i + 1;
  }
  return field == n ? cleanField(line.substr(start)) : std::string();
}

std::vector<std::string_view> SplitDelimitedLine(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  FieldScan scan;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (!scan.endsField(line[i])) continue;
    fields.push_back(line.substr(start, i - start));
    start = i + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

int CountFirstLineFields(ImportState& state) {
  RewindSourceFile(state);
  LineBuffer line;
  ReadSourceLine(state.SourceFile, line);
  return CountDelimitedFields(line.view());
}

SourceIdentity IdentifySource(ImportState& state, const std::string& path, SourceTable& table) {
  state.SourceFile.setup(state.messages, path, "Source file");
  const std::string name = uppertext(filenamepart(path));
  if (name.find(".DBF") != std::string::npos)
    return {kDBase, OpenSourceTable(table, path, kDBase)};
  if (name.find(".DB") != std::string::npos)
    return {kParadox, OpenSourceTable(table, path, kParadox)};
  int n = CountFirstLineFields(state);
  return {n < 3 ? kLinePerField : kDelimited, n};
}

std::string PeekDelimitedField(ImportState& state, int n, int k) {
  if (k < 1) return {};
  TextFileSlot& slot = state.SourceFile;
  RewindSourceFile(state);
  LineBuffer line, scratch;
  int found = 0;
  while (!SlotEof(slot)) {
    ReadSourceLine(slot, line);
    if (ReadRestOfLine(slot, line, scratch, nullptr, nullptr) > 0) continue;  // too long
    if (CountDelimitedFields(line.view()) != state.SourceFieldCount) continue;
    if (++found == k) return GetDelimitedField(line.view(), n);
  }
  return {};
}

bool ReadNextDelimitedRecord(ImportState& state, const BadLineSink& badLine,
                             const std::function<void()>& afterLine) {
  TextFileSlot& slot = state.SourceFile;
  LineBuffer& line = state.RecordBuffer;
  auto reject = [&](std::string_view bytes) {
    state.NoBadRecords = false;
    if (badLine) badLine(bytes);
    if (afterLine) afterLine();
  };
  while (!SlotEof(slot)) {
    ReadSourceLine(slot, line);
    if (LineContinues(slot, line)) {
      // Longer than a record can be: the whole line, all pieces, is bad.
      std::string bytes(LineBytes(line));
      LineBuffer scratch;
      ReadRestOfLine(slot, line, scratch, nullptr, &bytes);
      reject(bytes);
      continue;
    }
    if (IsBlankAfterFinalLineEnd(slot, line)) break;
    if (CountDelimitedFields(line.view()) == state.SourceFieldCount) {
      if (afterLine) afterLine();
      return true;
    }
    reject(LineBytes(line));
  }
  return false;
}

}  // namespace vesper
