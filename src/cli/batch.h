// The batch command: one import without windows, driving the same import
// session and runner as the windows' handlers: the session chooses the
// database by name and starts under the given specification, the runner
// accepts all records or a random share of them.
//
//   vesper-import --database NAME --spec FILE.IMP [--all | --percent P |
//                 --count X] [--mixed-case] [--seed N] [--separator X]
//                 [--header yes|no|auto] SOURCE
//   vesper-import --database NAME --auto-assign [--spec FILE.IMP] ... SOURCE
//   vesper-import --create-data-folder DIR
//
// Message boxes go to standard error, the end message and the summary to
// standard output; a progress line on standard error when it is a terminal.
// Exit codes: 0 a completed import, 2 a usage error, 1 any other failure.
#pragma once

#include <string>

#include "engine/importrun.h"

namespace vesper {

// The summary printed after an import: the note lines passed over before a
// header line (when there were any), the run's counts, one per line, then
// per contact field the values cut, the dates not read and the numbers out
// of range.
std::string summarytext(const RunSummary& summary, int notelines = 0, int toolong = 0);

int batchmain(int argc, char** argv);
const char* batchusage();

}  // namespace vesper
