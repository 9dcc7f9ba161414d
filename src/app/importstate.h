// The import state: the one record of the import under way, shared by the
// wizard, the source readers, the field assignment and the import run.
//
// It is made of parts that each live in the layer that uses them, and each
// layer's state adds its parts to the one below:
//   SourceState  source/sourcestate.h  the seams (messages, clock, disk, random
//                                      generator), the source description
//                                      (SourceDescription), the run counters
//                                      and random selection (RunCounters)
//   AssignState  assign/assignstate.h  + the import specification (ImportSpec),
//                                      the assignment dialog's cursor
//                                      (AssignmentCursor)
//   RunState     engine/runstate.h     + the target database, its settings and
//                                      the bad-record file (RunTarget)
//   ImportState  here                  + the alias of the data folder
// A lower layer never sees the parts above it: a function takes the part it
// needs, or the state of its own layer when it needs several.
// ResetImportState is widened at each level that adds parts to reset, so the
// assignment dialog's "Start over" resets the whole import.
//
// Contract: owned by the application and passed by reference (no global);
// every buffer and table is fixed in size and allocated once.  Source field
// numbers run from 1 (slots 1..210 of FieldAssignments and DateFormats; index
// 0 of FieldAssignments is unused), target field positions from 0.
#pragma once

#include <string>

#include "engine/runstate.h"

namespace vesper {

struct ImportState : RunState {
  ImportState(Messages& m, Clock& c, Disk& d) : RunState(m, c, d) {}

  std::string AliasName = "PNANT";
};

}  // namespace vesper
