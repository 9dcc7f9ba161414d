// The import run: the runner of an import, and the record-import window's
// logic ("Accept records").
//
// Contract: `ImportRun` puts the source records on display one at a time for
// review (`next`), accepts or rejects the one on display (`accept`,
// `reject`), or accepts all or a random share of the rest in a batch
// (`acceptall`, `acceptrandom`); `cancel` ends it in review and
// `requestcancel` asks a batch under way to stop.  At the end it reports the
// result (`summary`), saves the import specification (through the `finish`
// hook the session gives it) and writes the import statistics to every
// DATABASE.DB row of the chosen database (also after a cancel).  Its
// observer, the `RunView`, renders `lines()`, the counters and the panels,
// and answers the abort question.  The window's click handlers keep the
// form's names and call the verbs.
// The records come through the source's RecordSource, the same way for
// every kind of source; the run takes its bad-line sink and its line hook
// while it lives.
//
// Durability: in review each accepted record is committed at once; in a batch
// rows are committed in groups (every kGroupRows rows or kGroupMillis ms,
// whichever comes first; kQuietGroupRows and kQuietGroupMillis when the view
// shows no counters, with a group ended where the reading reaches the last
// tenth of a text source), and always before any message box is shown and
// when the run ends or is cancelled.  A counted row is a stored row whenever the
// user can see the count.
//
// Batches store their rows on a writer thread (contactwriter.h): a row is
// counted when it is queued.  The group commits of a batch are asked of the
// writer and done while the run reads on; the counters shown are those of
// the moment the commit was asked, put on show once it is done (less what
// the writer could not store), so they never run ahead of the table.  Every
// message box, cancel question and the end first wait for the writer,
// commit, and take back what it could not store (counted as failed, with the
// messages and the stop that a row stored at once would have given; rows
// queued behind a table failure, and those of a group it took with it, are
// counted as failed too).  Review stores each accepted record at once.
//
// Responsiveness: batch loops let pending window messages run at least every
// kEventMillis ms of work (and every kEventRecords records), and refresh the
// counters at least every kStatusMillis ms.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/contactwriter.h"
#include "engine/runstate.h"
#include "engine/transfer.h"
#include "source/recordsource.h"
#include "store/dataplace.h"
#include "store/table.h"

namespace vesper {

class RunView {
 public:
  virtual ~RunView() = default;
  // The abort dialog "Cancel operation?": true for "&Yes".
  virtual bool askabort() = 0;
  // The counters changed (updatestatus); the record list changed.
  virtual void statuschanged() {}
  // False when nobody sees the counters while a batch runs (the batch command
  // writing to a file): its groups are then bounded for throughput and for
  // what a crash could take, not by the counters' refresh.
  virtual bool showscounters() const { return true; }
  // False where nobody reviews the records (the batch command): the run then
  // looks for duplicates only when asked to (ImportRun::setduplicates).
  virtual bool reviews() const { return true; }
  virtual void recordchanged() {}
  // acceptrandom(count) asked for more records than the count found: all
  // `found` records are imported.
  virtual void fewerrecords(int asked, int found) { (void)asked; (void)found; }
};

// The share of the records acceptrandom takes: each with a chance of a
// percentage, or exactly a number of them, counted first.
struct RandomShare {
  enum class Kind { Percent, Count } kind = Kind::Percent;
  int amount = 100;
  static RandomShare percent(int p) { return {Kind::Percent, p}; }
  static RandomShare count(int x) { return {Kind::Count, x}; }
};

// What a run did, for the batch command's summary.
struct RunSummary {
  long long read = 0;       // records read from the source
  long long imported = 0;   // rows stored
  long long passedover = 0; // rejected by the user or passed over by the draw
  // The counts below are those of the run's issues (ImportIssue) at its end.
  long long badlines = 0;   // lines written to the bad-record file
  long long badlineslost = 0;  // rejected lines that could not be written there
  std::string badlineslostwhy; // why the first of them was not written
  std::vector<FieldNotes> fields;  // values changed on their way in, per field
  long long failed = 0;     // records that failed with an error
  long long empty = 0;      // records with no value to import (no row made)
  // Records likely to be an existing contact: left out, and stored all the
  // same (asked for, or accepted anyway in review).
  long long duplicatesskipped = 0, duplicatesstored = 0;
  bool stoppedbyerror = false;  // the contact table could not be written, or the disk was full
};

// How far a batch has come: the share of the source read (bytes of a text
// or vCard file, records of a table, bytes of a sheet; -1 where the source
// cannot tell), the records read per second since the batch began, and the
// seconds left (-1 until they can be told: after a second and a hundredth
// of the source).
struct RunProgress {
  double share = -1, persecond = 0, secondsleft = -1;
};

class ImportRun {
 public:
  enum class Outcome { Open, Ok, Cancel };
  static constexpr int kGroupRows = 50000;
  static constexpr int kGroupMillis = 100;
  // Groups while no counter is on show: each commit rewrites the key-index
  // pages the group touched, so fewer, larger groups store a long list
  // faster; a crash still loses at most about a second of work.
  static constexpr int kQuietGroupRows = 250000;
  static constexpr int kQuietGroupMillis = 1000;
  // ... and the group that reaches the last tenth of a text source ends
  // there (when it holds this many rows), so that the table's journal is
  // copied back while that tenth is read: the last group, whose copy waits
  // for nothing else, stays short.
  static constexpr int kQuietLastTenthRows = 10000;
  // Rows the writer may hold while the counters show (else its queue's bytes
  // bound it: deep enough to read on while a group is written to disk).
  static constexpr std::size_t kShownQueueRows = 256;
  static constexpr int kEventMillis = 20;
  static constexpr int kEventRecords = 64;
  static constexpr int kStatusMillis = 100;

  // `contact` is the open contact store, `source` the reader of the source, of
  // whatever kind; `finish` saves the specification (called by quitimport
  // after the end message).
  ImportRun(RunState& state, ContactStore& contact, RecordSource& source, DataPlace place,
            RunView& view, std::function<void()> finish = {});
  ~ImportRun();

  // --- the runner's verbs ---
  // Prepares the run (the address settings, the source from its start) and
  // puts the first record on display; false when the run ended at once.
  bool start();
  // The record on display, the next one once that was accepted or rejected;
  // false (the run has ended) when none is left.
  bool next();
  // Stores the record on display / passes over it (neither moves on).
  void accept();
  void reject();
  // The record on display and every one after it, in a batch.
  void acceptall();
  // The same, each record drawn: with the share chosen in the state
  // (RandomFraction, AcceptLimit, FractionFixed, as the random selection
  // dialog leaves them) ...
  void acceptrandom();
  // ... or with `share`; a count is made first, as "&Count Records" makes it.
  // A count that finds no record shows why and cancels the run.
  void acceptrandom(RandomShare share);
  void requestcancel() { state_.CancelRequested = true; }  // heard by a batch
  void cancel();  // ends the run in review, storing nothing more

  // --- the window's operations ---
  void FormCreate() { start(); }
  void btAcceptOneClick() { accept(); next(); }
  void btRejectClick() { reject(); next(); }
  void btAllClick() { acceptall(); }
  // After the random selection dialog closed with OK.
  void btRandomClick() { acceptrandom(); }
  void bt2CancelClick() { requestcancel(); }
  void btCancelClick() { cancel(); }

  // --- what the window shows ---
  bool mixed() const { return transfer_ ? transfer_->mixed : false; }
  void setmixed(bool on);  // CheckBox1
  // What a batch does with records likely to be an existing contact of the
  // database: stores them without looking (Import, the default), leaves them
  // out (Skip) or stores them and counts them (Report).  The review looks
  // always and shows each with the contact it is like (preview()), and the
  // user accepts it anyway, rejects it, or skips it (skipduplicate()).  Set
  // before start().
  enum class Duplicates { Import, Skip, Report };
  void setduplicates(Duplicates d) { duplicates_ = d; }
  // The record on display is passed over as a duplicate of the contact
  // preview() names (counted as a duplicate left out, and as rejected).
  void skipduplicate();
  const std::vector<std::string>& lines() const { return lines_; }  // datalist
  // The contact the record on display would become (in review).
  const ContactPreview& preview() const { return preview_; }
  // The counters as last shown (see Durability).
  std::string lblAccepted() const { return std::to_string(shownaccepted_); }
  std::string lblRejected() const { return std::to_string(shownrejected_); }
  std::string lblTotal() const { return std::to_string(shownaccepted_ + shownrejected_); }
  RunProgress progress() const;
  bool reviewvisible() const { return review_; }
  bool progressvisible() const { return !review_; }
  Outcome outcome() const { return outcome_; }
  const RunSummary& summary() const { return summary_; }
  // Every issue the run met: lines that are no record, values changed on
  // their way in, records that failed.
  const IssueLog& issues() const { return issues_; }
  // The run's number in the import history (0 when none is kept); valid
  // until the run ends.
  long long historyrun() const { return historyrun_; }
  // The end message shown by quitimport.
  const std::string& endmessage() const { return endmessage_; }

 private:
  void loadsettings(MailSettings& settings, AddressTemplates& templates);
  void shownextrecord();
  void listfields();
  bool readnext();
  void importall();
  void batchstart();
  bool cancelcheck();
  void drawandtransfer();
  bool transfer();
  void updatestatus();
  void pace();          // events, counters and commits in a batch
  void pacewriter(std::int64_t now);  // ... the commits and counters of a writer
  bool groupdue(std::int64_t now);  // the open group has reached its size or age
  bool inlasttenth() const;         // the reading is in the last tenth of the source file
  void commitgroup();
  // The run thread's one way to the store's writer: the transfer's turn, or
  // with a writer thread the turn its drain gives back, after waiting for it
  // and uncounting what it did not store.
  WriterTurn settlewriter();
  void endwriter();  // ends the writer thread; the transfer has the store's writer again
  void uncount(long long rows);  // counted rows that were not stored after all
  void opengroup(const WriterTurn& table);
  void losegroup();
  void passover();  // the record shown is passed over (rejected or skipped)
  void stoponerror(const std::string& what);
  void quitimport();
  void finished();
  void closeall();
  void beginhistory();  // the run's record in the import history, its keys recorded from now on
  void endhistory();    // ... its counts at the end

  RunState& state_;
  ContactStore& contact_;
  RecordSource& source_;
  DataPlace place_;
  RunView& view_;
  std::function<void()> finish_;
  std::unique_ptr<RecordTransfer> transfer_;
  std::unique_ptr<ContactWriter> writer_;  // during a batch, with the store's writer
  Duplicates duplicates_ = Duplicates::Import;
  std::unique_ptr<DuplicateFinder> finder_;  // while the run looks for duplicates
  bool pendingmixed_ = false;
  long long historyrun_ = 0;  // the run's number in the import history; 0 none
  long long linesread_ = 0;   // source lines (table rows) read since the start

  std::vector<std::string> lines_;
  ContactPreview preview_;
  bool shown_ = false;  // a record is on display, not yet accepted or rejected
  bool review_ = true;
  bool batch_ = false;
  Outcome outcome_ = Outcome::Open;
  std::string endmessage_;
  RunSummary summary_;
  IssueLog issues_;
  std::int64_t lastevents_ = 0, laststatus_ = 0, lastcommit_ = 0;
  // Where the batch began: the clock, the records read, the share of the source.
  std::int64_t batchticks_ = 0;
  long long batchread_ = 0;
  double batchshare_ = 0;
  bool timed_ = false;  // a batch began: its pace and time left are told
  int sinceevents_ = 0, sincecommit_ = 0;
  bool lasttenth_ = false;  // a group was ended at the last tenth of the source
  long long grouprows_ = 0;  // rows stored in the open group (without a writer)
  long long shownaccepted_ = 0, shownrejected_ = 0;  // the counters on show
  // A commit asked of the writer, and the counters when it was asked.
  bool commitasked_ = false;
  long long askedaccepted_ = 0, askedrejected_ = 0, askeduncounted_ = 0;
  long long uncounted_ = 0;  // counted rows taken back (uncount) so far
};

}  // namespace vesper
