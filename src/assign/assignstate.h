// The import as the field assignment sees it: the source layer's state, the
// import specification and the assignment dialog's cursor.
#pragma once

#include "assign/importspec.h"
#include "source/sourcestate.h"

namespace vesper {

// Where the field assignment dialog stands (FieldAssignmentModel moves it).
struct AssignmentCursor {
  int CurrentSourceField = 0;   // the source field (or line) being assigned
  int SelectedTargetIndex = 0;  // the entry selected in the list of targets; -1 none
  int ChosenDateFormat = 0;     // the code picked in the Date Formats dialog
};

struct AssignState : SourceState, ImportSpec, AssignmentCursor {
  AssignState(Messages& m, Clock& c, Disk& d) : SourceState(m, c, d) {
    AssignState::ResetImportState();
  }
  virtual ~AssignState() = default;

  // Puts the specification back to its defaults: the random generator is
  // seeded afresh from the clock, then the specification is emptied.  The
  // states above widen it with their own parts, so the assignment dialog's
  // "Start over" resets the whole import as the wizard does.
  virtual void ResetImportState() {
    random.reseedfromclock(clock);
    ResetSpec();
  }
};

}  // namespace vesper
