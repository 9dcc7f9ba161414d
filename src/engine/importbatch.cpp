// The import run's batches: accept all and accept at random, with the cancel
// check, the pacing of window messages and counters, and the group commits
// that keep every counted row stored (see importrun.h).
#include <algorithm>

#include "base/errors.h"
#include "engine/importrun.h"
#include "source/counting.h"

namespace vesper {

// --- batches ---

void ImportRun::acceptall() {
  if (outcome_ != Outcome::Open) return;
  state_.RandomFraction = 1.0;
  state_.FractionFixed = true;
  batchstart();
}

void ImportRun::acceptrandom() {
  if (outcome_ != Outcome::Open) return;
  if (!state_.FractionFixed) state_.RecomputeFraction();
  batchstart();
}

void ImportRun::acceptrandom(RandomShare share) {
  if (outcome_ != Outcome::Open) return;
  if (share.kind == RandomShare::Kind::Percent) {
    choosepercent(state_, share.amount);
    acceptrandom();
    return;
  }
  // The count reads the source through a slot of its own: the record on
  // display stays on display.
  doit(state_, source_);
  if (share.amount > state_.SourceRecordCount && !state_.CountCancelled)
    view_.fewerrecords(share.amount, state_.SourceRecordCount);
  if (choosecount(state_, share.amount))
    acceptrandom();
  else
    cancel();
}

void ImportRun::batchstart() {
  review_ = false;
  batch_ = true;
  // A batch looks for duplicates only when asked to, and then reads the
  // contact table through at once rather than indexing it for lookups that
  // every row it stores would have to keep up.
  transfer_->setduplicates(duplicates_ == Duplicates::Import ? nullptr : finder_.get(), duplicates_ == Duplicates::Skip);
  if (finder_ && duplicates_ != Duplicates::Import) finder_->startbatch();
  updatestatus();
  lastevents_ = laststatus_ = lastcommit_ = batchticks_ = state_.clock.ticks();
  batchread_ = summary_.read;
  timed_ = true;
  batchshare_ = std::max(0.0, progress().share);
  int recno = contact_.isopen() ? contact_.row().findfield("Recno") : -1;
  bool threaded = false;
  {
    WriterTurn table = settlewriter();  // no writer thread yet: the transfer's
    opengroup(table);
    threaded = contact_.isopen() && recno >= 0 && table->ingroup();
    // The journal is copied back on a thread of its own, not by the commits.
    if (threaded) table->setbackgroundcopy(true);
  }
  if (threaded) {
    // With the counters on show the run reads only a little ahead of the
    // table, so the stored counts on show follow the reading closely.  The
    // store's writer goes to the writer thread until endwriter().
    writer_ = std::make_unique<ContactWriter>(contact_.row(), transfer_->handover(), recno, kWriterQueueBytes,
                                              view_.showscounters() ? kShownQueueRows : SIZE_MAX);
    transfer_->setwriter(writer_.get());
  }
  importall();
}

bool ImportRun::cancelcheck() {
  if (!state_.CancelRequested) return false;
  state_.CancelRequested = false;
  commitgroup();
  if (view_.askabort()) state_.ImportStopped = true;
  return state_.ImportStopped;
}

void ImportRun::drawandtransfer() {
  if (state_.ImportStopped) {
    // Stopped while this record was read (the table could not be written):
    // it stays in the source, untouched, like every record after it.
    --summary_.read;
    return;
  }
  if (DrawForRecord(state_))
    transfer();
  else
    ++summary_.passedover;
}

// The record on display first (unless it was decided on), then every record
// after it.  The reading paces the batch (the source's line hook) and hears
// "&Cancel import" while it passes over lines that are no record (its
// bad-line sink).
void ImportRun::importall() {
  if (shown_) {
    shown_ = false;
    drawandtransfer();
  }
  while (!state_.ImportStopped && source_.more()) {
    if (cancelcheck()) break;
    if (!readnext()) break;
    state_.RecomputeFraction();
    drawandtransfer();
  }
  quitimport();
}

void ImportRun::pace() {
  std::int64_t now = state_.clock.ticks();
  ++sinceevents_;
  ++sincecommit_;
  if (writer_) {
    pacewriter(now);
  } else {
    bool statusdue = now - laststatus_ >= kStatusMillis;
    // Commit before the counters show: a count the user sees is a stored count.
    if ((statusdue && view_.showscounters()) || groupdue(now)) commitgroup();
    if (statusdue) {
      laststatus_ = now;
      updatestatus();
    }
  }
  if (now - lastevents_ >= kEventMillis || sinceevents_ >= kEventRecords) {
    lastevents_ = now;
    sinceevents_ = 0;
    state_.messages.processevents();
  }
}

// The writer commits while the run reads on; the counters of the moment a
// commit was asked go on show when it is done.
void ImportRun::pacewriter(std::int64_t now) {
  if (writer_->failing()) {
    commitgroup();  // its messages and counts, at once
    if (state_.ImportStopped || !writer_) return;
  }
  long long failedrows = 0;
  if (commitasked_ && writer_->committed(failedrows)) {
    commitasked_ = false;
    shownaccepted_ = askedaccepted_ - (failedrows - askeduncounted_);
    shownrejected_ = askedrejected_;
    laststatus_ = now;
    view_.statuschanged();
  }
  if (!commitasked_ && (groupdue(now) || (view_.showscounters() && now - laststatus_ >= kStatusMillis))) {
    askedaccepted_ = state_.AcceptedCount;
    askedrejected_ = state_.RejectedCount;
    askeduncounted_ = uncounted_;
    commitasked_ = true;
    writer_->commitsoon();
    lastcommit_ = now;
    sincecommit_ = 0;
  }
}

bool ImportRun::groupdue(std::int64_t now) {
  if (view_.showscounters()) return now - lastcommit_ >= kGroupMillis || sincecommit_ >= kGroupRows;
  if (now - lastcommit_ >= kQuietGroupMillis || sincecommit_ >= kQuietGroupRows) return true;
  if (lasttenth_ || sincecommit_ < kQuietLastTenthRows || !inlasttenth()) return false;
  lasttenth_ = true;
  return true;
}

bool ImportRun::inlasttenth() const {
  const ReadProgress p = source_.readprogress();
  return p.total > 0 && p.done * 10 >= p.total * 9;
}

void ImportRun::commitgroup() {
  if (!transfer_) return;  // not started: nothing stored, no group of the run's
  WriterTurn table = settlewriter();
  if (!contact_.isopen() || !table->ingroup()) return;
  try {
    table->commitgroup();
  } catch (const EngineError& e) {
    table->rollbackgroup();
    losegroup();
    stoponerror(e.what());
    return;
  }
  grouprows_ = 0;
  if (writer_) writer_->groupended();
  sincecommit_ = 0;
  lastcommit_ = state_.clock.ticks();
  opengroup(table);
}

void ImportRun::uncount(long long rows) {
  state_.AcceptedCount -= static_cast<int>(rows);
  summary_.imported -= rows;
  summary_.failed += rows;
  uncounted_ += rows;
}

WriterTurn ImportRun::settlewriter() {
  if (!writer_) return transfer_->writerturn();
  ContactWriter::Drained d = writer_->drain();
  commitasked_ = false;  // drained: the commit asked is done, the caller shows the counts
  if (d.refused.empty() && !d.unavailable) return std::move(d.writer);
  // Every count is put right before the first message shows one.
  uncount(static_cast<long long>(d.refused.size()));
  if (d.unavailable) uncount(d.unavailablerows + d.lostrows);
  state_.RecomputeFraction();
  for (const auto& f : d.refused)
    issues_.report({f.record, {}, {}, IssueKind::RowRefused, f.message, f.line}, state_.messages);
  if (d.unavailable) stoponerror(d.error);
  return std::move(d.writer);
}

// The writer thread stores what it holds and ends; the transfer stores each
// row at once again.
void ImportRun::endwriter() {
  if (!writer_) return;
  transfer_->takeback(writer_->stop());
  writer_.reset();
}

void ImportRun::opengroup(const WriterTurn& table) {
  if (!batch_ || state_.ImportStopped || table->ingroup()) return;
  try {
    table->begingroup();
  } catch (const EngineError& e) {
    stoponerror(e.what());
  }
}

void ImportRun::losegroup() {
  // The rows stored since the group began never reached the table.
  uncount(writer_ ? writer_->rowsingroup() : grouprows_);
  if (writer_) writer_->groupended();
  grouprows_ = 0;
}

void ImportRun::stoponerror(const std::string& what) {
  summary_.stoppedbyerror = true;
  state_.ImportStopped = true;
  state_.messages.errormessage(what + " The import stops here; the " +
                               std::to_string(state_.AcceptedCount) +
                               " contacts stored before are kept.");
}

RunProgress ImportRun::progress() const {
  RunProgress p;
  const ReadProgress r = source_.readprogress();
  if (r.total > 0) p.share = std::clamp(static_cast<double>(r.done) / static_cast<double>(r.total), 0.0, 1.0);
  if (!timed_) return p;
  const double seconds = static_cast<double>(state_.clock.ticks() - batchticks_) / 1000.0;
  if (seconds > 0) p.persecond = static_cast<double>(summary_.read - batchread_) / seconds;
  const double moved = p.share - batchshare_;
  if (p.share >= 0 && seconds >= 1 && moved >= 0.01) p.secondsleft = seconds * (1 - p.share) / moved;
  return p;
}

void ImportRun::updatestatus() {
  shownaccepted_ = state_.AcceptedCount;
  shownrejected_ = state_.RejectedCount;
  view_.statuschanged();
}

}  // namespace vesper
