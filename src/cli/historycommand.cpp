#include "cli/historycommand.h"

#include <cstdio>
#include <cstdlib>

#include "app/undo.h"

namespace vesper {

int historycommand(const DataPlace& place) {
  std::vector<ImportRecord> runs = listimports(place);
  if (runs.empty()) std::printf("No import has been recorded yet.\n");
  for (const ImportRecord& r : runs) std::printf("%s\n", historyline(r).c_str());
  return 0;
}

int undocommand(const DataPlace& place, const std::string& which) {
  long long run = 0;
  if (which == "last") {
    ImportRecord last;
    if (!lastimport(place, last)) {
      std::fprintf(stderr, "Error: No import has been recorded yet.\n");
      return 1;
    }
    run = last.run;
  } else {
    char* end = nullptr;
    run = std::strtoll(which.c_str(), &end, 10);
    if (which.empty() || *end || run <= 0) {
      std::fprintf(stderr, "vesper-import: --undo takes a run number or last\n");
      return 2;
    }
  }
  const UndoOutcome outcome = undoimport(place, run);
  const std::string message = undomessage(outcome, run);
  if (outcome.result != UndoOutcome::Result::Done) {
    std::fprintf(stderr, "Error: %s\n", message.c_str());
    return 1;
  }
  std::printf("%s\n", message.c_str());
  return 0;
}

}  // namespace vesper
