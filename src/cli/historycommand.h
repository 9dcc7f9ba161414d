// The batch command's history verbs: `--history` lists the import runs of the
// contact database, `--undo RUN` and `--undo last` take one back.
#pragma once

#include <string>

#include "store/dataplace.h"

namespace vesper {

// Exit codes as the batch command's: 0 done, 1 failed (the message on
// standard error), 2 a RUN that is neither a number nor "last".
int historycommand(const DataPlace& place);
int undocommand(const DataPlace& place, const std::string& which);

}  // namespace vesper
