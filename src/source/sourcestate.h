// The parts of the import state that the source layer reads and writes, and
// `SourceState`, the import as this layer sees it: the bottom of the import
// state (app/importstate.h shows how the layers above add to it).  A function
// here takes the part it needs (a `SourceDescription&`), or the SourceState
// when it needs several.
#pragma once

#include "base/seams.h"
#include "source/textfile.h"
#include "source/textlayout.h"

namespace vesper {

constexpr int kMaxSourceFields = 210;

enum SourceKind { kLinePerField = 0, kDelimited = 1, kDBase = 2, kParadox = 3, kVCard = 4,
                  kXlsxWorkbook = 5, kOdsSpreadsheet = 6 };

// What is being read: the kind of source and the shape of its records, its
// file, the record on hand and the count of its records.
struct SourceDescription {
  int SourceType = kLinePerField;
  int SourceFieldCount = 0;
  TextFileSlot SourceFile;
  LineBuffer RecordBuffer;  // RecordBuffer.text / RecordBuffer.count = RecordLength
  LineBuffer JoinBuffer;
  int JoinLength = 0;
  int SourceRecordCount = 0;
  bool CountCancelled = false;
  // A delimited text source: how it is written (recognised when it is
  // identified) and what was asked for.
  TextLayout SourceLayout;
  LayoutChoice SourceLayoutChoice;

  int& RecordLength() { return RecordBuffer.count; }
};

// The run's counters and flags and the random selection's values.  The import
// run (engine/) sets and raises them; they are declared here because the
// readers (the record number in their messages, the stop, the bad lines) and
// the random selection read and write them too.
struct RunCounters {
  int AcceptedCount = 0;
  int RejectedCount = 0;
  bool NoBadRecords = false;
  bool CancelRequested = false;
  bool ImportStopped = false;
  double RandomFraction = 0.0;
  int AcceptLimit = 0;
  bool FractionFixed = false;
};

struct SourceState : ImportSeams, SourceDescription, RunCounters {
  SourceState(Messages& m, Clock& c, Disk& d) : ImportSeams(m, c, d) {
    SourceFile.setup(messages, "", "");
  }

  // Keeps accept-X mode on track: the chance of taking the next record is
  // what is still to take over what is still to come.
  void RecomputeFraction() {
    if (FractionFixed) return;
    int remaining = SourceRecordCount - AcceptedCount - RejectedCount;
    if (remaining > 0)
      RandomFraction = static_cast<double>(AcceptLimit - AcceptedCount) / remaining;
    else
      RandomFraction = 1.0;
  }
};

}  // namespace vesper
