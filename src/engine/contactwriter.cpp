#include "engine/contactwriter.h"

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
    quit_ = true;
  }
  work_.notify_one();
  thread_.join();
}

ContactWriter::Row& ContactWriter::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ == ring_.size()) {
    waiting_ = true;
    work_.notify_one();
    done_.wait(lock, [this] { return count_ < ring_.size(); });
    waiting_ = false;
  }
  return ring_[(head_ + count_) % ring_.size()];
}

void ContactWriter::submit() {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    // Woken for a handful of rows at a time, not for each one.
    wake = idle_ && count_ >= kWriterWakeRows;
  }
  if (wake) work_.notify_one();
}

ContactWriter::Drained ContactWriter::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ > 0) {
    waiting_ = true;
    work_.notify_one();
    done_.wait(lock, [this] { return count_ == 0; });
    waiting_ = false;
  }
  Drained out = std::move(drained_);
  drained_ = Drained{};
  return out;
}

bool ContactWriter::unavailable() {
  std::lock_guard<std::mutex> lock(mutex_);
  return drained_.unavailable;
}

void ContactWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    idle_ = true;
    work_.wait(lock, [this] { return count_ >= kWriterWakeRows || (count_ > 0 && waiting_) || quit_; });
    idle_ = false;
    if (count_ == 0) return;  // told to quit, nothing queued
    while (count_ > 0) {
      Row& row = ring_[head_];
      if (drained_.unavailable) {
        ++drained_.unavailableRows;
      } else {
        lock.unlock();
        storeone(row);  // the run thread leaves a queued row alone
        lock.lock();
      }
      head_ = (head_ + 1) % ring_.size();
      --count_;
      if (waiting_) done_.notify_one();
    }
  }
}

// Stores one row; what fails is kept for drain() (under the mutex).
void ContactWriter::storeone(Row& row) {
  const FieldDef& key = contact_.fieldDef(recno_);
  try {
    KeyedStore s = storekeyed(contact_, row.piece, row.key, [&](const std::string& k) {
      row.cells[static_cast<std::size_t>(recno_)] = textcell(key, k);
      contact_.insertRow(row.cells);
    });
    if (s.stored) return;
    std::lock_guard<std::mutex> lock(mutex_);
    drained_.refused.push_back({row.record, s.lastError});
  } catch (const std::exception& e) {
    // TableUnavailable, or anything else that leaves the table in doubt.
    std::lock_guard<std::mutex> lock(mutex_);
    drained_.unavailable = true;
    drained_.error = e.what();
    ++drained_.unavailableRows;
  }
}

}  // namespace vesper
