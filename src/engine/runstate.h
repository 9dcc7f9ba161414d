// The import as the run sees it: the assignment's state and the run's target
// and settings.
#pragma once

#include <string>

#include "assign/assignstate.h"

namespace vesper {

// Where the run writes: the chosen target database, the address settings
// loaded from SETTINGS.DB when the run opens, and the bad-record file.
struct RunTarget {
  std::string DatabaseName;
  std::string SourceName;  // the source file, as the import history records it
  bool FormatSalut = false, FormatHonor = false;
  int FormatWhich = 0;
  std::string lblCity, lblState, lblZip, lblCountry;
  TextFileSlot BadFile;
};

struct RunState : AssignState, RunTarget {
  RunState(Messages& m, Clock& c, Disk& d) : AssignState(m, c, d) { setupbadfile(); }

  // The specification as AssignState resets it, then the bad-record file set
  // up afresh: "bad.csv", closed.
  void ResetImportState() override {
    AssignState::ResetImportState();
    setupbadfile();
  }

 private:
  void setupbadfile() { BadFile.setup(messages, "bad.csv", "bad records file"); }
};

}  // namespace vesper
