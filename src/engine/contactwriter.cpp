#include "engine/contactwriter.h"

#include <algorithm>

#include "parse/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
bool later(const RecordKeyTime& a, const RecordKeyTime& b) {
  return a.day != b.day ? a.day > b.day : a.step > b.step;
}
}  // namespace

RecordKeyTime keystepafterlast(Table& contact, const std::string& piece, RecordKeyTime tried) {
  RecordKeyTime next = nextrecordkeytime(tried);
  std::string low = composerecordkey(piece, {tried.day, 0});
  std::string high = composerecordkey(piece, {tried.day, RecordKeyStepsPerDay - 1});
  std::string last = contact.lastKeyBetween(low, high);
  if (last.size() != low.size()) return next;
  long step = 0;
  for (std::size_t k = last.size() - 7; k < last.size(); ++k) {
    if (!isdigitchar(last[k])) return next;
    step = step * 10 + (last[k] - '0');
  }
  RecordKeyTime after = nextrecordkeytime({tried.day, step});
  return later(after, next) ? after : next;
}

ContactWriter::ContactWriter(Table& contact, int recno)
    : contact_(contact), recno_(recno), ring_(kWriterQueueRows) {
  thread_ = std::thread([this] { run(); });
}

ContactWriter::~ContactWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    quit_ = true;
  }
  work_.notify_one();
  thread_.join();
}

ContactWriter::Row& ContactWriter::next() {
  if (room_ == 0) {
    std::unique_lock<std::mutex> lock(mutex_);
    publish();
    if (count_ == ring_.size()) {
      waiting_ = true;
      work_.notify_one();
      done_.wait(lock, [this] { return count_ < ring_.size(); });
      waiting_ = false;
    }
    room_ = ring_.size() - count_;
  }
  return ring_[tail_];
}

void ContactWriter::submit() {
  tail_ = (tail_ + 1) % ring_.size();
  --room_;
  ++unpublished_;
  if (unpublished_ < kWriterPublishRows) return;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    // Woken for a handful of rows at a time, not for each one.
    wake = idle_ && count_ >= kWriterWakeRows;
  }
  if (wake) work_.notify_one();
}

void ContactWriter::publish() {
  count_ += unpublished_;
  handed_ += static_cast<long long>(unpublished_);
  unpublished_ = 0;
}

ContactWriter::Drained ContactWriter::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  publish();
  if (count_ > 0 || commitAfter_ >= 0 || committing_) {
    waiting_ = true;
    work_.notify_one();
    done_.wait(lock, [this] { return count_ == 0 && commitAfter_ < 0 && !committing_; });
    waiting_ = false;
  }
  room_ = ring_.size();
  commitDone_ = false;  // the caller settles everything now
  failing_ = false;
  unavailableNow_ = false;
  Drained out = std::move(drained_);
  drained_ = Drained{};
  return out;
}

bool ContactWriter::unavailable() { return unavailableNow_.load(std::memory_order_acquire); }

bool ContactWriter::failing() { return failing_.load(std::memory_order_acquire); }

void ContactWriter::commitsoon() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    commitAfter_ = handed_;
    commitDone_ = false;
  }
  work_.notify_one();
}

bool ContactWriter::committed(long long& failedRows) {
  if (!commitDone_.load(std::memory_order_acquire)) return false;  // no lock while nothing is done
  std::lock_guard<std::mutex> lock(mutex_);
  if (!commitDone_) return false;
  commitDone_ = false;
  failedRows = failedAtCommit_;
  return true;
}

long long ContactWriter::rowsInGroup() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rowsInGroup_;
}

void ContactWriter::groupended() {
  std::lock_guard<std::mutex> lock(mutex_);
  rowsInGroup_ = 0;
}

void ContactWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    idle_ = true;
    work_.wait(lock, [this] {
      return count_ >= kWriterWakeRows || (count_ > 0 && (waiting_ || commitAfter_ >= 0)) ||
             (commitAfter_ >= 0 && settled_ >= commitAfter_) || quit_;
    });
    idle_ = false;
    if (commitAfter_ >= 0 && settled_ >= commitAfter_) commitnow(lock);  // before rows handed over since
    if (count_ == 0) {
      if (quit_) return;
      if (waiting_) done_.notify_one();
      continue;
    }
    while (count_ > 0) {
      // The rows up to the asked commit (or all), stored without the lock:
      // the run thread leaves queued rows alone.
      std::size_t n = count_;
      if (commitAfter_ >= 0) n = std::min(n, static_cast<std::size_t>(std::max(1LL, commitAfter_ - settled_)));
      const std::size_t at = head_;
      bool down = drained_.unavailable;
      long long skipped = 0;
      lock.unlock();
      for (std::size_t k = 0; k < n; ++k) {
        if (down)
          ++skipped;
        else
          down = !storeone(ring_[(at + k) % ring_.size()]);
      }
      lock.lock();
      drained_.unavailableRows += skipped;
      failedTotal_ += skipped;
      head_ = (head_ + n) % ring_.size();
      count_ -= n;
      settled_ += static_cast<long long>(n);
      if (commitAfter_ >= 0 && settled_ >= commitAfter_) commitnow(lock);
      if (waiting_) done_.notify_one();
    }
  }
}

// Commits the open group and opens the next.  The lock is let go meanwhile:
// a commit can take a while (the journal copied back into the table, disk
// flushes), and the run thread goes on building and handing over rows, which
// a group does not touch.  drain() waits for the commit to end.
void ContactWriter::commitnow(std::unique_lock<std::mutex>& lock) {
  commitAfter_ = -1;
  if (!drained_.unavailable) {
    committing_ = true;
    lock.unlock();
    std::string error;
    try {
      contact_.commitGroup();
      rowsInGroup_ = 0;
      contact_.beginGroup();
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "The group could not be committed.";
    }
    lock.lock();
    committing_ = false;
    if (!error.empty()) failall(error, true);
  }
  failedAtCommit_ = failedTotal_;
  commitDone_.store(true, std::memory_order_release);
}

// The table cannot be written: nothing more is stored.  The rows of the open
// group are lost when the failure took the group with it (SQLite rolls a
// group back on a full disk or an I/O error), or when `dropgroup` says so
// (a commit that failed); a group still open otherwise stays for the run
// thread to commit after drain().
void ContactWriter::failall(const std::string& error, bool dropgroup) {
  drained_.unavailable = true;
  drained_.error = error;
  unavailableNow_.store(true, std::memory_order_release);
  failing_.store(true, std::memory_order_release);
  try {
    if (dropgroup && contact_.inGroup()) contact_.rollbackGroup();
  } catch (const std::exception&) {
    // The group is gone either way.
  }
  if (contact_.inGroup()) return;
  drained_.lostRows += rowsInGroup_;
  failedTotal_ += rowsInGroup_;
  rowsInGroup_ = 0;
}

// Stores one row; what fails is kept for drain() (under the mutex).  False
// once the table cannot be written.
bool ContactWriter::storeone(Row& row) {
  const FieldDef& key = contact_.fieldDef(recno_);
  try {
    KeyedStore s = storekeyed(contact_, row.piece, row.key, [&](RecordKeyTime t) {
      // The run thread wrote the key of the first step into the row.
      if (t.day != row.key.day || t.step != row.key.step)
        row.cells[static_cast<std::size_t>(recno_)] = textcell(key, composerecordkey(row.piece, t));
      contact_.insertRow(row.cells, row.valued.empty() ? nullptr : &row.valued);
    });
    if (s.stored) {
      ++rowsInGroup_;
      return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    drained_.refused.push_back({row.record, s.lastError});
    ++failedTotal_;
    failing_.store(true, std::memory_order_release);
    return true;
  } catch (const std::exception& e) {
    // TableUnavailable, or anything else that leaves the table in doubt.
    std::lock_guard<std::mutex> lock(mutex_);
    ++drained_.unavailableRows;
    ++failedTotal_;
    failall(e.what(), false);
    return false;
  }
}

}  // namespace vesper
