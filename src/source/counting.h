// Record counting and random selection.
//
// Contract.  `doit` counts the records of the source (its `count`) into
// SourceRecordCount:
//   delimited text    the lines with SourceFieldCount fields (the records the
//                     run will offer), so an exact count allows an exact
//                     accept-X; lines that are not records are not counted
//   line-per-field    lines read (the blank after a final line end included)
//                     divided by SourceFieldCount, rounded down
//   tables            the table's row count
// A text source is counted through a reading slot of its own on the same file:
// SourceFile keeps its place and RecordBuffer its record, so a run that counts
// in the middle goes on with the record after the one on display.
//
// Random selection: each record of a batch is taken with probability
// RandomFraction (DrawForRecord).  In accept-X mode RecomputeFraction keeps
// that at (records still wanted) / (records still to come), so with an exact
// count the run merges exactly X records; AcceptLimit holds X itself.
//
// The random-selection dialog's rules are functions of its values
// (`RandomDialog`); the window only shows the values and passes the clicks.
#pragma once

#include <string>

#include "source/recordsource.h"

namespace vesper {

struct SourceState;

// Counts the records of the source (see above), then RecomputeFraction.  A
// cancelled count leaves SourceRecordCount 0.
void doit(SourceState& state, RecordSource& source, const CountProgress& progress = {});

// The draw for one record of a batch: true when the record is to be merged;
// false when it is passed over (RejectedCount is then raised by one).
bool DrawForRecord(SourceState& state);

// The values of the random-selection dialog and what is usable in it.
struct RandomDialog {
  std::string counttext;        // lblCount: the count once made, else empty
  bool acceptx = false;         // "Accept &X at random" selected (else the percentage)
  int percent = 1;              // SEPercent, 1 to 100
  int x = 100;                  // SEx, 0 to xmax
  int xmax = 0;
  bool optionsenabled = false;  // both options
  bool percentenabled = false;
  bool xenabled = false;        // the X box and its label
  bool countenabled = true;     // "&Count Records"
  bool okenabled = false;
};

extern const char* const kCountFirstMessage;

// "&Count Records": counts (doit) and unlocks the dialog.
void btCountClick(SourceState& state, RecordSource& source, RandomDialog& dialog,
                  const CountProgress& progress = {});
void rbRandomPctClick(RandomDialog& dialog);
void rbAcceptXClick(RandomDialog& dialog);
// "OK": stores the choice in the state and returns true (close with OK), or
// shows kCountFirstMessage in an error box and returns false (stay open).
bool OKBtnClick(SourceState& state, const RandomDialog& dialog);

// The two choices of the dialog, as the run's random selection takes them:
// each record with a chance of `percent` percent (1 to 100) ...
void choosepercent(SourceState& state, int percent);
// ... or exactly `x` of the records counted (at most SourceRecordCount); false,
// with kCountFirstMessage in an error box, while no record was counted.
bool choosecount(SourceState& state, int x);

}  // namespace vesper
