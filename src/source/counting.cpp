#include "source/counting.h"

#include <algorithm>

#include "source/delimited.h"
#include "source/sourceline.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"

namespace vesper {

const char* const kCountFirstMessage =
    "In order to accurately select a random number of records you need first to count the "
    "total number of records in the import file using the COUNT button\n\n"
    " This may be a lengthy operation.";

namespace {

// Counts a text source through a slot of its own.  Returns lines read and,
// for a delimited source, the records among them.
void countTextSource(SourceState& state, const CountProgress& progress, int& lines,
                     int& records) {
  lines = records = 0;
  TextFileSlot slot;
  slot.setup(state.messages, state.SourceFile.Name, "Source file");
  if (!OpenSlot(slot) || !ResetSlot(slot)) return;
  const bool delimited = state.SourceType == kDelimited;
  LineBuffer line, scratch;
  while (!state.CountCancelled && !SlotEof(slot)) {
    ReadSourceLine(slot, line);
    bool tooLong = ReadRestOfLine(slot, line, scratch, nullptr, nullptr) > 0;
    ++lines;
    if (delimited && !tooLong && !IsBlankAfterFinalLineEnd(slot, line) &&
        CountDelimitedFields(line.view()) == state.SourceFieldCount)
      ++records;
    if (lines % 10 == 0 && progress.show) progress.show(lines);
    if (progress.letInputRun)
      progress.letInputRun();
    else
      state.messages.processEvents();
  }
  CloseSlot(slot);
}

}  // namespace

void doit(SourceState& state, SourceTable& table, const CountProgress& progress) {
  state.SourceRecordCount = 0;
  state.CountCancelled = false;
  int n = 0;
  if (state.SourceType == kDBase || state.SourceType == kParadox) {
    n = TableRowCount(table);
  } else {
    int lines = 0, records = 0;
    countTextSource(state, progress, lines, records);
    if (state.SourceType == kDelimited)
      n = records;
    else
      n = state.SourceFieldCount >= 1 ? lines / state.SourceFieldCount : 0;
  }
  state.SourceRecordCount = state.CountCancelled ? 0 : n;
  state.RecomputeFraction();
}

bool DrawForRecord(SourceState& state) {
  if (state.random.next() >= state.RandomFraction) {
    ++state.RejectedCount;
    return false;
  }
  return true;
}

void btCountClick(SourceState& state, SourceTable& table, RandomDialog& dialog,
                  const CountProgress& progress) {
  doit(state, table, progress);
  dialog.countText = std::to_string(state.SourceRecordCount);
  dialog.optionsEnabled = true;
  dialog.percentEnabled = !dialog.acceptX;
  dialog.xEnabled = dialog.acceptX;
  dialog.countEnabled = false;
  dialog.okEnabled = true;
  dialog.xMax = state.SourceRecordCount;
  dialog.x = state.SourceRecordCount;
}

void rbRandomPctClick(RandomDialog& dialog) {
  dialog.acceptX = false;
  dialog.percentEnabled = true;
  dialog.xEnabled = false;
}

void rbAcceptXClick(RandomDialog& dialog) {
  dialog.acceptX = true;
  dialog.percentEnabled = false;
  dialog.xEnabled = true;
}

bool OKBtnClick(SourceState& state, const RandomDialog& dialog) {
  if (!dialog.acceptX) {
    state.RandomFraction = std::clamp(dialog.percent, 1, 100) * 0.01;
    state.AcceptLimit = 100000000;
    state.FractionFixed = true;
    return true;
  }
  if (state.SourceRecordCount > 0) {
    state.FractionFixed = false;
    state.AcceptLimit = std::clamp(dialog.x, 0, state.SourceRecordCount);
    state.RecomputeFraction();
    return true;
  }
  state.messages.errorMessage(kCountFirstMessage);
  return false;
}

}  // namespace vesper
