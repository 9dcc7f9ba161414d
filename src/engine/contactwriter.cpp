#include "engine/contactwriter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
bool later(const RecordKeyTime& a, const RecordKeyTime& b) {
  return a.day != b.day ? a.day > b.day : a.step > b.step;
}
constexpr std::size_t padded(std::size_t n) { return (n + 7) & ~std::size_t{7}; }
}  // namespace

RecordKeyTime keystepafterlast(RowWriter& contact, const std::string& piece, RecordKeyTime tried) {
  RecordKeyTime next = nextrecordkeytime(tried);
  std::string low = composerecordkey(piece, {tried.day, 0});
  std::string high = composerecordkey(piece, {tried.day, RecordKeyStepsPerDay - 1});
  std::string last = contact.lastkeybetween(low, high);
  if (last.size() != low.size()) return next;
  long step = 0;
  for (std::size_t k = last.size() - 7; k < last.size(); ++k) {
    if (!isdigitchar(last[k])) return next;
    step = step * 10 + (last[k] - '0');
  }
  RecordKeyTime after = nextrecordkeytime({tried.day, step});
  return later(after, next) ? after : next;
}

ContactWriter::ContactWriter(RowBuilder& rows, WriterHandle table, int recno, std::size_t queuebytes,
                             std::size_t queuerows)
    : rows_(rows), table_(std::move(table)), recno_(recno), keydef_(rows_.fielddef(recno)),
      capacity_(padded(std::max<std::size_t>(queuebytes, 1024))),
      maxrows_(std::max<std::size_t>(queuerows, 1)),
      wakerows_(std::min(kWriterWakeRows, std::max<std::size_t>(maxrows_ / 8, 1))), ring_(new char[capacity_]),
      chunkrows_(std::clamp<std::size_t>(table_->manyrows(), 1, std::min(kWriterManyRows, maxrows_))),
      chunk_(chunkrows_),
      packed_(chunkrows_), stored_(new bool[chunkrows_]) {
  room_ = capacity_;
  rowroom_ = maxrows_;
  thread_ = std::thread([this] { run(); });
}

ContactWriter::ContactWriter(ContactStore& contact, int recno, std::size_t queuebytes, std::size_t queuerows)
    : ContactWriter(contact.row(), contact.takewriter(), recno, queuebytes, queuerows) {}

ContactWriter::~ContactWriter() {
  if (thread_.joinable()) stop();
}

WriterHandle ContactWriter::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    quit_ = true;
  }
  work_.notify_one();
  thread_.join();
  return std::move(table_);
}

void ContactWriter::makeroom(std::size_t bytes) {
  if (room_ >= bytes && rowroom_ > 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  publish();
  auto fits = [&] { return capacity_ - used_ >= bytes && count_ < maxrows_; };
  if (!fits()) {
    waiting_ = true;
    work_.notify_one();
    done_.wait(lock, fits);
    waiting_ = false;
  }
  room_ = capacity_ - used_;
  rowroom_ = maxrows_ - count_;
}

long long ContactWriter::submit(const std::string& piece, RecordKeyTime key, long long record, long long line) {
  const std::size_t rowsize = rows_.packedsize();  // EngineError when no new row is pending
  // A row that would take more than a quarter of the queue (long memos) is
  // packed on the heap and handed over by its address.  Everything that can
  // fail comes before the queue is touched.
  const bool onheap = padded(sizeof(Entry) + piece.size() + rowsize) > capacity_ / 4;
  std::unique_ptr<char[]> heap;
  long long bytes = 0;
  if (onheap) {
    heap.reset(new char[rowsize]);
    bytes = rows_.packrow(heap.get());
  }
  const std::size_t size = padded(sizeof(Entry) + piece.size() + (onheap ? sizeof(char*) : rowsize));
  // Entries are whole: one that does not fit before the end of the queue
  // starts at its beginning, behind a skip over the rest.
  const std::size_t skip = tail_ + size > capacity_ ? capacity_ - tail_ : 0;
  makeroom(skip + size);
  if (skip >= sizeof(Entry)) {  // a shorter rest is skipped without a header
    Entry wrap;
    wrap.size = static_cast<std::uint32_t>(skip);
    wrap.kind = kWrap;
    std::memcpy(ring_.get() + tail_, &wrap, sizeof wrap);
  }
  if (skip) tail_ = 0;
  char* at = ring_.get() + tail_;
  Entry e;
  e.size = static_cast<std::uint32_t>(size);
  e.kind = onheap ? kHeapRow : kRow;
  e.record = record;
  e.line = line;
  e.key = key;
  e.piecesize = static_cast<std::uint32_t>(piece.size());
  e.rowsize = static_cast<std::uint32_t>(rowsize);
  std::memcpy(at, &e, sizeof e);
  std::memcpy(at + sizeof(Entry), piece.data(), piece.size());
  char* rowat = at + sizeof(Entry) + piece.size();
  if (onheap) {
    char* p = heap.release();
    std::memcpy(rowat, &p, sizeof p);
  } else {
    bytes = rows_.packrow(rowat);
  }
  tail_ = (tail_ + size) % capacity_;
  room_ -= skip + size;
  --rowroom_;
  unpublishedbytes_ += skip + size;
  ++unpublished_;
  if (unpublished_ < kWriterPublishRows) return bytes;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    // Woken for a handful of rows at a time, not for each one.
    wake = idle_ && count_ >= wakerows_;
  }
  if (wake) work_.notify_one();
  return bytes;
}

void ContactWriter::publish() {
  count_ += unpublished_;
  used_ += unpublishedbytes_;
  handed_ += static_cast<long long>(unpublished_);
  unpublished_ = 0;
  unpublishedbytes_ = 0;
}

ContactWriter::Drained ContactWriter::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  publish();
  if (count_ > 0 || commitafter_ >= 0 || committing_) {
    waiting_ = true;
    work_.notify_one();
    done_.wait(lock, [this] { return count_ == 0 && commitafter_ < 0 && !committing_; });
    waiting_ = false;
  }
  room_ = capacity_ - used_;
  rowroom_ = maxrows_ - count_;
  commitdone_ = false;  // the caller settles everything now
  failing_ = false;
  unavailablenow_ = false;
  Drained out{std::move(drained_), WriterTurn(table_)};
  drained_ = Failures{};
  return out;
}

bool ContactWriter::unavailable() { return unavailablenow_.load(std::memory_order_acquire); }

bool ContactWriter::failing() { return failing_.load(std::memory_order_acquire); }

void ContactWriter::commitsoon() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publish();
    commitafter_ = handed_;
    commitdone_ = false;
  }
  work_.notify_one();
}

bool ContactWriter::committed(long long& failedrows) {
  if (!commitdone_.load(std::memory_order_acquire)) return false;  // no lock while nothing is done
  std::lock_guard<std::mutex> lock(mutex_);
  if (!commitdone_) return false;
  commitdone_ = false;
  failedrows = failedatcommit_;
  return true;
}

long long ContactWriter::rowsingroup() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rowsingroup_;
}

void ContactWriter::groupended() {
  std::lock_guard<std::mutex> lock(mutex_);
  rowsingroup_ = 0;
}

void ContactWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    idle_ = true;
    work_.wait(lock, [this] {
      return count_ >= wakerows_ || (count_ > 0 && (waiting_ || commitafter_ >= 0)) ||
             (commitafter_ >= 0 && settled_ >= commitafter_) || quit_;
    });
    idle_ = false;
    if (commitafter_ >= 0 && settled_ >= commitafter_) commitnow(lock);  // before rows handed over since
    if (count_ == 0) {
      if (quit_) return;
      if (waiting_) done_.notify_one();
      continue;
    }
    while (count_ > 0) {
      // The rows up to the asked commit (or all), stored without the lock,
      // kWriterBatchRows (or a chunk) at a time so that their room goes back
      // to the run thread while the rest are stored: the run thread leaves
      // queued entries alone.
      std::size_t n = std::min(count_, std::max(kWriterBatchRows, chunkrows_));
      if (commitafter_ >= 0) n = std::min(n, static_cast<std::size_t>(std::max(1LL, commitafter_ - settled_)));
      bool down = drained_.unavailable;
      long long skipped = 0;
      std::size_t freed = 0;
      lock.unlock();
      // The entries stay in the queue (their room is given back below), so
      // rows are taken a chunk at a time and stored together.
      Taken* const chunk = chunk_.data();
      std::size_t taken = 0;
      for (std::size_t k = 0; k < n; ++k) {
        Taken& t = chunk[taken++];
        Entry& e = t.entry;
        if (capacity_ - head_ < sizeof(Entry)) {  // a rest too short for a header
          freed += capacity_ - head_;
          head_ = 0;
        } else {
          std::memcpy(&e, ring_.get() + head_, sizeof e);
          if (e.kind == kWrap) {
            freed += e.size;
            head_ = 0;
          }
        }
        std::memcpy(&e, ring_.get() + head_, sizeof e);
        t.piece = ring_.get() + head_ + sizeof(Entry);
        t.row = t.piece + e.piecesize;
        if (e.kind == kHeapRow) {
          char* p = nullptr;
          std::memcpy(&p, t.row, sizeof p);
          t.heap.reset(p);
          t.row = p;
        }
        freed += e.size;
        head_ = (head_ + e.size) % capacity_;
        if (taken < chunkrows_ && k + 1 < n) continue;
        if (down)
          skipped += static_cast<long long>(taken);
        else
          down = !storechunk(chunk, taken, skipped);
        for (std::size_t j = 0; j < taken; ++j) chunk[j].heap.reset();
        taken = 0;
      }
      lock.lock();
      drained_.unavailablerows += skipped;
      failedtotal_ += skipped;
      count_ -= n;
      used_ -= freed;
      settled_ += static_cast<long long>(n);
      if (commitafter_ >= 0 && settled_ >= commitafter_) commitnow(lock);
      if (waiting_) done_.notify_one();
    }
  }
}

// Commits the open group and opens the next.  The lock is let go meanwhile:
// a commit can take a while (the journal copied back into the table, disk
// flushes), and the run thread goes on building and handing over rows, which
// a group does not touch.  drain() waits for the commit to end.
void ContactWriter::commitnow(std::unique_lock<std::mutex>& lock) {
  commitafter_ = -1;
  if (!drained_.unavailable) {
    committing_ = true;
    lock.unlock();
    std::string error;
    try {
      table_->commitgroup();
      rowsingroup_ = 0;
      table_->begingroup();
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "The group could not be committed.";
    }
    lock.lock();
    committing_ = false;
    if (!error.empty()) failall(error, true);
  }
  failedatcommit_ = failedtotal_;
  commitdone_.store(true, std::memory_order_release);
}

// The table cannot be written: nothing more is stored.  The rows of the open
// group are lost when the failure took the group with it (SQLite rolls a
// group back on a full disk or an I/O error), or when `dropgroup` says so
// (a commit that failed); a group still open otherwise stays for the run
// thread to commit after drain().
void ContactWriter::failall(const std::string& error, bool dropgroup) {
  drained_.unavailable = true;
  drained_.error = error;
  unavailablenow_.store(true, std::memory_order_release);
  failing_.store(true, std::memory_order_release);
  try {
    if (dropgroup && table_->ingroup()) table_->rollbackgroup();
  } catch (const std::exception&) {
    // The group is gone either way.
  }
  if (table_->ingroup()) return;
  drained_.lostrows += rowsingroup_;
  failedtotal_ += rowsingroup_;
  rowsingroup_ = 0;
}

bool ContactWriter::storechunk(Taken* rows, std::size_t count, long long& skipped) {
  bool* const stored = stored_.get();
  std::fill(stored, stored + count, false);
  if (count > 1 && (count == chunkrows_ || count >= kWriterChunkRows)) {
    PackedRow* const packed = packed_.data();
    for (std::size_t j = 0; j < count; ++j) packed[j] = {rows[j].row, rows[j].entry.rowsize};
    try {
      table_->insertmany(packed, count, stored);
    } catch (const TableUnavailable& e) {
      // The group is gone, or it is not known which rows it holds: it is
      // dropped, so that no row is stored that is not counted.
      std::lock_guard<std::mutex> lock(mutex_);
      drained_.unavailablerows += static_cast<long long>(count);
      failedtotal_ += static_cast<long long>(count);
      failall(e.what(), true);
      return false;
    } catch (const std::exception&) {
      std::fill(stored, stored + count, false);  // nothing stored: each row on its own says why
    }
    for (std::size_t j = 0; j < count; ++j) rowsingroup_ += stored[j];
  }
  // The rest (a short chunk, rows passed over), one by one with their key steps.
  for (std::size_t j = 0; j < count; ++j) {
    if (stored[j]) continue;
    if (!storeone(rows[j].entry, rows[j].piece, rows[j].row)) {
      for (std::size_t r = j + 1; r < count; ++r) skipped += !stored[r];
      return false;
    }
  }
  return true;
}

// Stores one row; what fails is kept for drain() (under the mutex).  False
// once the table cannot be written.
bool ContactWriter::storeone(const Entry& entry, const char* pieceat, const char* row) {
  const std::string piece(pieceat, entry.piecesize);
  const PackedRow packed{row, entry.rowsize};
  // The table cannot be written (TableUnavailable), or anything else leaves
  // it in doubt: nothing more is stored.
  auto down = [&](const char* what) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++drained_.unavailablerows;
    ++failedtotal_;
    failall(what, false);
    return false;
  };
  KeyedStore s;
  try {
    Cell later;
    s = storekeyed(*table_, piece, entry.key, [&](RecordKeyTime t) {
      // The run thread wrote the key of the first step into the row.
      if (t.day == entry.key.day && t.step == entry.key.step) return table_->insert(packed);
      later = textcell(keydef_, composerecordkey(piece, t));
      return table_->insert(packed, recno_, later);
    });
  } catch (const TableUnavailable& e) {
    return down(e.what());
  } catch (const EngineError& e) {
    s.lasterror = e.what();  // this row alone cannot be stored
  } catch (const std::exception& e) {
    return down(e.what());
  }
  if (s.stored) {
    ++rowsingroup_;
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  drained_.refused.push_back({entry.record, entry.line, s.lasterror});
  ++failedtotal_;
  failing_.store(true, std::memory_order_release);
  return true;
}

}  // namespace vesper
