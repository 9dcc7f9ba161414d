// The import state: the one record of the import under way, shared by the
// wizard, the source readers, the field assignment and the import run.
//
// Contract: owned by the application and passed by reference (no global);
// every buffer and table is fixed in size and allocated once here.  Source
// field numbers run from 1 (slots 1..210 of FieldAssignments and DateFormats;
// index 0 of FieldAssignments is unused), target field positions from 0.
// Header-only so that every layer that reads the state can include it.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "base/seams.h"
#include "source/textfile.h"

namespace vesper {

class Table;  // store/table.h

// Passes every message box on to the user's Messages, first running
// `beforeBox` (the import run uses it to commit the rows stored so far, so no
// counted row waits uncommitted while a box waits for the user).
class MessageHub : public Messages {
 public:
  explicit MessageHub(Messages& target) : target_(&target) {}
  std::function<void()> beforeBox;
  void beep() override { target_->beep(); }
  void errorMessage(const std::string& t) override { prepare(); target_->errorMessage(t); }
  void infoMessage(const std::string& t) override { prepare(); target_->infoMessage(t); }
  void plainMessage(const std::string& t) override { prepare(); target_->plainMessage(t); }
  void processEvents() override { target_->processEvents(); }

 private:
  void prepare() { if (beforeBox) beforeBox(); }
  Messages* target_;
};

constexpr int kMaxSourceFields = 210;
constexpr int kAssignmentCapacity = 20;

enum SourceKind { kLinePerField = 0, kDelimited = 1, kDBase = 2, kParadox = 3 };

struct ImportState {
  ImportState(Messages& m, Clock& c, Disk& d) : hub(m), messages(hub), clock(c), disk(d) {
    SourceFile.setup(messages, "", "");
    ResetImportState();
  }
  ImportState(const ImportState&) = delete;
  ImportState& operator=(const ImportState&) = delete;

  // The seams through which the import reaches the user and the machine.
  MessageHub hub;
  Messages& messages;  // the hub
  Clock& clock;
  Disk& disk;
  Random random;

  // --- source description ---
  int SourceType = kLinePerField;
  int SourceFieldCount = 0;
  TextFileSlot SourceFile;
  LineBuffer RecordBuffer;  // RecordBuffer.text / RecordBuffer.count = RecordLength
  LineBuffer JoinBuffer;
  int JoinLength = 0;
  int SourceRecordCount = 0;
  bool CountCancelled = false;

  // --- import specification ---
  std::array<std::string, kMaxSourceFields + 1> FieldAssignments{};
  std::array<int, kMaxSourceFields + 1> DateFormats{};
  std::array<int, kMaxSourceFields + 1> TargetFieldMarks{};
  int TargetFieldCount = 0;
  std::string SpecFileName;
  bool SpecLoaded = false;

  // --- target and settings ---
  std::string DatabaseName;
  std::string AliasName = "PNANT";
  bool FormatSalut = false, FormatHonor = false;
  int FormatWhich = 0;
  std::string lblCity, lblState, lblZip, lblCountry;

  // --- run ---
  int AcceptedCount = 0;
  int RejectedCount = 0;
  bool NoBadRecords = false;
  TextFileSlot BadFile;
  bool CancelRequested = false;
  bool ImportStopped = false;
  double RandomFraction = 0.0;
  int AcceptLimit = 0;
  bool FractionFixed = false;

  // --- field assignment dialog ---
  int CurrentSourceField = 0;
  int SelectedTargetIndex = 0;
  int ChosenDateFormat = 0;

  int& RecordLength() { return RecordBuffer.count; }

  // Puts the specification part back to its defaults.
  void ResetImportState() {
    random.reseedFromClock(clock);
    for (auto& a : FieldAssignments) a.clear();
    DateFormats.fill(-1);
    DateFormats[0] = 20;
    TargetFieldMarks.fill(0);
    BadFile.setup(messages, "bad.csv", "bad records file");
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
