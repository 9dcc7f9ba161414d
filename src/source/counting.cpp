#include "source/counting.h"

#include <algorithm>

#include "source/recordsource.h"
#include "source/sourcestate.h"

namespace vesper {

const char* const kCountFirstMessage =
    "In order to accurately select a random number of records you need first to count the "
    "total number of records in the import file using the COUNT button\n\n"
    " This may be a lengthy operation.";

void doit(SourceState& state, RecordSource& source, const CountProgress& progress) {
  state.SourceRecordCount = 0;
  state.CountCancelled = false;
  int n = source.count(progress);
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

void btCountClick(SourceState& state, RecordSource& source, RandomDialog& dialog,
                  const CountProgress& progress) {
  doit(state, source, progress);
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

void choosepercent(SourceState& state, int percent) {
  state.RandomFraction = std::clamp(percent, 1, 100) * 0.01;
  state.AcceptLimit = 100000000;
  state.FractionFixed = true;
}

bool choosecount(SourceState& state, int x) {
  if (state.SourceRecordCount > 0) {
    state.FractionFixed = false;
    state.AcceptLimit = std::clamp(x, 0, state.SourceRecordCount);
    state.RecomputeFraction();
    return true;
  }
  state.messages.errorMessage(kCountFirstMessage);
  return false;
}

bool OKBtnClick(SourceState& state, const RandomDialog& dialog) {
  if (dialog.acceptX) return choosecount(state, dialog.x);
  choosepercent(state, dialog.percent);
  return true;
}

}  // namespace vesper
