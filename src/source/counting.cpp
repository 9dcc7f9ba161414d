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
  dialog.counttext = std::to_string(state.SourceRecordCount);
  dialog.optionsenabled = true;
  dialog.percentenabled = !dialog.acceptx;
  dialog.xenabled = dialog.acceptx;
  dialog.countenabled = false;
  dialog.okenabled = true;
  dialog.xmax = state.SourceRecordCount;
  dialog.x = state.SourceRecordCount;
}

void rbRandomPctClick(RandomDialog& dialog) {
  dialog.acceptx = false;
  dialog.percentenabled = true;
  dialog.xenabled = false;
}

void rbAcceptXClick(RandomDialog& dialog) {
  dialog.acceptx = true;
  dialog.percentenabled = false;
  dialog.xenabled = true;
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
  state.messages.errormessage(kCountFirstMessage);
  return false;
}

bool OKBtnClick(SourceState& state, const RandomDialog& dialog) {
  if (dialog.acceptx) return choosecount(state, dialog.x);
  choosepercent(state, dialog.percent);
  return true;
}

}  // namespace vesper
