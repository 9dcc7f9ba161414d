#include "engine/importrun.h"

#include <algorithm>

#include "assign/catalogue.h"
#include "engine/badfile.h"
#include "base/errors.h"
#include "parse/daycount.h"
#include "parse/text.h"
#include "source/counting.h"
#include "store/importhistory.h"

namespace vesper {

namespace {
const char* const kTemplateFields[6] = {"FormatUS",    "FormatCanada", "FormatUK",
                                        "FormatLatin", "FormatEurope", "FormatSpecial"};
}  // namespace

ImportRun::ImportRun(RunState& state, ContactStore& contact, RecordSource& source,
                     DataPlace place, RunView& view, std::function<void()> finish)
    : state_(state), contact_(contact), source_(source), place_(std::move(place)),
      view_(view), finish_(std::move(finish)) {
  state_.hub.beforebox = [this] { commitgroup(); };
  source_.setbadlinesink([this](std::string_view line) {
    issues_.setline(state_.SourceLayout.headerline + linesread_ + 1);
    const std::string lost = WriteBadRecord(state_, line);
    if (lost.empty()) {
      issues_.addline(IssueKind::LineRejected, line, "written to the bad-record file");
      summary_.badlines = issues_.count(IssueKind::LineRejected);
    } else {
      issues_.addline(IssueKind::LineLost, line, lost);
      summary_.badlineslost = issues_.count(IssueKind::LineLost);
      summary_.badlineslostwhy = issues_.firsttext(IssueKind::LineLost);
    }
    // A batch hears "&Cancel import" also while it passes over lines that
    // are no record (a "&Yes" ends the reading here).
    if (batch_) cancelcheck();
  });
  source_.setlinehook([this] {
    ++linesread_;
    if (batch_) pace();
  });
}

ImportRun::~ImportRun() {
  commitgroup();
  endwriter();
  if (transfer_ && contact_.isopen()) settlewriter()->setbackgroundcopy(false);
  state_.hub.beforebox = nullptr;
  source_.setbadlinesink({});
  source_.setlinehook({});
}

void ImportRun::setmixed(bool on) {
  pendingmixed_ = on;
  if (!transfer_) return;
  transfer_->mixed = on;
  // The record on display would now be cased otherwise.
  if (shown_ && !batch_) {
    transfer_->preview(source_, preview_);
    view_.recordchanged();
  }
}

void ImportRun::loadsettings(MailSettings& settings, AddressTemplates& templates) {
  Table t;
  place_.open(t, "SETTINGS.DB");
  t.first();
  if (t.atend()) return;
  auto text = [&](const char* name) {
    int p = t.findfield(name);
    return p >= 0 ? t.astext(p) : std::string();
  };
  auto flag = [&](const char* name) {
    int p = t.findfield(name);
    return p >= 0 && t.asbool(p);
  };
  settings.FormatSalut = flag("FormatSalut");
  settings.FormatHonor = flag("FormatHonor");
  int w = t.findfield("FormatWhich");
  settings.FormatWhich = w >= 0 ? static_cast<int>(t.asinteger(w)) : 0;
  settings.lblCity = cuttext(text("lblCity"), 15);
  settings.lblState = cuttext(text("lblState"), 15);
  settings.lblZip = cuttext(text("lblZip"), 15);
  settings.lblCountry = cuttext(text("lblCountry"), 15);
  std::string* fields[6] = {&templates.FormatUS,    &templates.FormatCanada,
                            &templates.FormatUK,    &templates.FormatLatin,
                            &templates.FormatEurope, &templates.FormatSpecial};
  for (int k = 0; k < 6; ++k) *fields[k] = text(kTemplateFields[k]);
}

bool ImportRun::start() {
  review_ = true;
  timed_ = false;
  state_.CancelRequested = false;
  state_.ImportStopped = false;
  MailSettings settings;
  AddressTemplates templates;
  try {
    loadsettings(settings, templates);
  } catch (const EngineError& e) {
    state_.messages.errormessage(e.what());
  }
  state_.FormatSalut = settings.FormatSalut;
  state_.FormatHonor = settings.FormatHonor;
  state_.FormatWhich = settings.FormatWhich;
  state_.lblCity = settings.lblCity;
  state_.lblState = settings.lblState;
  state_.lblZip = settings.lblZip;
  state_.lblCountry = settings.lblCountry;
  transfer_.reset();  // its hold on the store's writer ends before the next one's begins
  transfer_ = std::make_unique<RecordTransfer>(state_, contact_, settings, templates, place_.path(), issues_);
  transfer_->mixed = pendingmixed_;
  finder_.reset();
  if (view_.reviews() || duplicates_ != Duplicates::Import) {
    try {
      finder_ = std::make_unique<DuplicateFinder>(place_, state_.DatabaseName);
    } catch (const EngineError& e) {
      state_.messages.errormessage(e.what());
    }
  }
  // Records are looked up one by one only where they are shown; a batch
  // without a review begins by reading the table through (batchstart).
  transfer_->setduplicates(view_.reviews() ? finder_.get() : nullptr, false);
  state_.NoBadRecords = true;
  state_.AcceptedCount = 0;
  state_.RejectedCount = 0;
  state_.AcceptLimit = 0;
  beginhistory();
  source_.rewind();
  linesread_ = 0;
  if (state_.ImportStopped) {
    quitimport();
    return false;
  }
  shownextrecord();
  updatestatus();
  return outcome_ == Outcome::Open;
}

// --- record display ---

void ImportRun::listfields() {
  lines_.clear();
  int n = std::min(state_.SourceFieldCount, kMaxSourceFields);
  for (int i = 1; i <= n; ++i) {
    const std::string& e = state_.FieldAssignments[i];
    if (e.empty()) continue;
    std::string line = (iscombinedcode(e) ? codelabel(e) : e) + ": ";
    lines_.push_back(line.append(source_.value(i)));
  }
  if (batch_) return;
  if (transfer_) transfer_->preview(source_, preview_);
  view_.recordchanged();
}

void ImportRun::shownextrecord() {
  if (!source_.more()) {
    source_.tellend();
    quitimport();
  } else if (!readnext()) {
    quitimport();  // only lines that are no record were left
  } else {
    shown_ = true;
    listfields();
  }
  state_.RecomputeFraction();
}

bool ImportRun::readnext() {
  bool found = source_.next();
  if (found) issues_.noteline(++summary_.read, state_.SourceLayout.headerline + linesread_);
  return found;
}

// --- review ---

bool ImportRun::transfer() {
  long long failedbefore = transfer_->failures;
  const long long skippedbefore = issues_.count(IssueKind::DuplicateSkipped);
  bool stored = false;
  try {
    stored = transfer_->importonerecord(source_, summary_.read);
  } catch (const TableUnavailable& e) {
    // Every record would fail the same way: stop, keeping what is stored.
    ++summary_.failed;
    if (!writer_ && grouprows_ > 0 && !settlewriter()->ingroup()) losegroup();  // the group went with it
    stoponerror(e.what());
    return false;
  }
  if (stored && !writer_ && settlewriter()->ingroup()) ++grouprows_;
  // A run the disk stopped did not do what was asked: the batch command
  // ends with a failure.
  if (transfer_->stoppedforspace) summary_.stoppedbyerror = true;
  if (stored)
    ++summary_.imported;
  else if (transfer_->failures > failedbefore)
    ++summary_.failed;
  else if (issues_.count(IssueKind::DuplicateSkipped) == skippedbefore)
    ++summary_.empty;
  if (writer_ && writer_->unavailable()) settlewriter();  // stop without reading on
  return stored;
}

bool ImportRun::next() {
  if (outcome_ != Outcome::Open) return false;
  if (!shown_) shownextrecord();
  return outcome_ == Outcome::Open;
}

// Each record accepted in review is committed at once, in a group of its
// own when the history records what the run stores.
void ImportRun::accept() {
  if (outcome_ != Outcome::Open || !shown_) return;
  shown_ = false;
  if (historyrun_ != 0 && contact_.isopen()) {
    WriterTurn table = settlewriter();
    try {
      if (!table->ingroup()) table->begingroup();
    } catch (const EngineError& e) {
      stoponerror(e.what());
      quitimport();
      return;
    }
  }
  transfer();
  commitgroup();
  updatestatus();
  if (state_.ImportStopped) quitimport();
}

void ImportRun::skipduplicate() {
  if (outcome_ != Outcome::Open || !shown_ || !preview_.duplicate) return;
  const std::string& key = preview_.existing.key;
  issues_.add({summary_.read, {}, {}, IssueKind::DuplicateSkipped,
               "likely the same person as the contact " + (key.empty() ? "stored earlier in this import" : key)});
  passover();
}

void ImportRun::reject() {
  if (outcome_ != Outcome::Open || !shown_) return;
  issues_.add({summary_.read, {}, {}, IssueKind::UserRejected, "rejected by the user"});
  passover();
}

// The record on display is not stored; its issue is the caller's.
void ImportRun::passover() {
  shown_ = false;
  ++state_.RejectedCount;
  ++summary_.passedover;
  updatestatus();
}

// --- the end ---

void ImportRun::closeall() {
  batch_ = false;
  commitgroup();
  endwriter();
  summary_.fields = issues_.perfield();
  summary_.duplicatesskipped = issues_.count(IssueKind::DuplicateSkipped);
  summary_.duplicatesstored = issues_.count(IssueKind::DuplicateStored);
  if (transfer_) transfer_->setduplicates(nullptr, false);
  finder_.reset();
  endhistory();
  CloseSlot(state_.BadFile);
  source_.close();
  contact_.close();
}

void ImportRun::quitimport() {
  if (outcome_ != Outcome::Open) return;
  batch_ = false;
  commitgroup();  // the last counters shown are stored rows too
  updatestatus();
  // A source that could not be read to its end was not imported as asked.
  if (source_.readfailed()) summary_.stoppedbyerror = true;
  endmessage_ = "Finished. Imported " + std::to_string(state_.AcceptedCount) + " records.";
  closeall();
  if (!state_.NoBadRecords && !BadFileTooShort(state_.BadFile.Name))
    endmessage_ += "  Some improper records were not imported, and were placed in the file BAD.CSV";
  state_.messages.infomessage(endmessage_);
  if (finish_) {
    try {
      finish_();
    } catch (const UserError& e) {
      state_.messages.errormessage(e.what());
    }
  }
  finished();
  outcome_ = Outcome::Ok;
}

void ImportRun::finished() {
  try {
    Table db;
    place_.open(db, "DATABASE.DB");
    int key = db.fieldindex("DB");
    int dateimport = db.fieldindex("DateImport");
    int timeimport = db.fieldindex("TimeImport");
    int numimport = db.fieldindex("NumImport");
    for (db.first(); !db.atend(); db.next()) {
      if (db.astext(key) != state_.DatabaseName) continue;
      db.edit();
      double now = datetimeof(state_.clock.now());
      db.setdatetime(dateimport, now);
      db.setdatetime(timeimport, datetimeof(state_.clock.now()));
      db.setinteger(numimport, state_.AcceptedCount);
      db.store();
    }
  } catch (const EngineError& e) {
    state_.messages.errormessage(e.what());
  }
}

// --- the import history ---

void ImportRun::beginhistory() {
  historyrun_ = 0;
  ImportHistory* history = contact_.isopen() ? contact_.history() : nullptr;
  if (!history) return;
  const LocalTime t = state_.clock.now();
  ImportRecord record;
  record.when = historytime(t.year, t.month, t.day, t.hour, t.minute, t.second);
  record.source = state_.SourceName;
  record.spec = state_.SpecLoaded ? state_.SpecFileName : std::string();
  record.database = state_.DatabaseName;
  try {
    historyrun_ = history->addrun(record);
    transfer_->writerturn()->settrail(historyrun_);
  } catch (const TableUnavailable& e) {
    // The contact table cannot be written just now: no record would be stored.
    historyrun_ = 0;
    stoponerror(e.what());
  } catch (const EngineError& e) {
    // The import goes on without a history of it (it cannot be undone).
    historyrun_ = 0;
    state_.messages.errormessage(e.what());
  }
}

void ImportRun::endhistory() {
  if (historyrun_ == 0 || !contact_.isopen()) return;
  ImportHistory* history = contact_.history();
  ImportRecord record;
  record.run = historyrun_;
  record.read = summary_.read;
  record.imported = state_.AcceptedCount;
  record.rejected = state_.RejectedCount;
  record.bad = issues_.count(IssueKind::LineRejected) + issues_.count(IssueKind::LineLost);
  try {
    transfer_->writerturn()->settrail(0);
    if (history) history->endrun(record);
  } catch (const EngineError& e) {
    state_.messages.errormessage(e.what());
  }
  historyrun_ = 0;
}

void ImportRun::cancel() {
  if (outcome_ != Outcome::Open) return;
  state_.SpecFileName.clear();
  state_.SpecLoaded = false;
  closeall();
  finished();
  outcome_ = Outcome::Cancel;
}

}  // namespace vesper
