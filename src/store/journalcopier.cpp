#include "store/journalcopier.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>

#include "store/sqlitehelp.h"

namespace vesper {

namespace {
// How often the journal's new pages are sent to disk between copies.
constexpr auto kWritebackEvery = std::chrono::milliseconds(50);
constexpr long long kJournalHeaderBytes = 32, kFrameHeaderBytes = 24;
}  // namespace

JournalCopier::JournalCopier(const std::string& path) {
  sqlitesetup();
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  // As the table's own connection: the journal flushed before each copy,
  // the file after it.  No wait for locks: a copy that finds one is tried
  // again at the next poke.
  execsql(db_, "PRAGMA synchronous=NORMAL");
  sqlite3_busy_timeout(db_, 0);
  Statement pagesize;
  if (pagesize.prepare(db_, "PRAGMA page_size") == SQLITE_OK && sqlite3_step(pagesize.get()) == SQLITE_ROW)
    framebytes_ = kFrameHeaderBytes + sqlite3_column_int(pagesize.get(), 0);
  journal_ = path + "-wal";
  thread_ = std::thread([this] { run(); });
}

JournalCopier::~JournalCopier() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    work_.notify_one();
    thread_.join();
  }
  if (journalfd_ >= 0) close(journalfd_);
  if (db_) sqlite3_close(db_);
}

void JournalCopier::poke() {
  if (!db_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_ = true;
  }
  work_.notify_one();
}

void JournalCopier::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !asked_ && !busy_; });
}

void JournalCopier::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!work_.wait_for(lock, kWritebackEvery, [this] { return asked_ || quit_; })) {
      lock.unlock();
      startwriteback();
      lock.lock();
      continue;
    }
    if (quit_) break;
    asked_ = false;
    busy_ = true;
    lock.unlock();
    int logframes = 0, copiedframes = 0;
    if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logframes, &copiedframes) == SQLITE_OK)
      release(logframes, copiedframes);
    lock.lock();
    busy_ = false;
    idle_.notify_all();
  }
  busy_ = false;
  asked_ = false;
  idle_.notify_all();
}

// The journal is opened here for these hints only (they apply to the file,
// whichever descriptor gives them); it exists once the writer has written.
void JournalCopier::startwriteback() {
  if (journalfd_ < 0) journalfd_ = open(journal_.c_str(), O_RDONLY | O_CLOEXEC);
  if (journalfd_ >= 0) sync_file_range(journalfd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void JournalCopier::release(int logframes, int copiedframes) {
  if (logframes < lastcopied_ || copiedframes < lastcopied_) lastcopied_ = 0;  // the journal started over
  if (journalfd_ >= 0 && framebytes_ > 0 && lastcopied_ > 0)
    posix_fadvise(journalfd_, 0, kJournalHeaderBytes + lastcopied_ * framebytes_, POSIX_FADV_DONTNEED);
  lastcopied_ = copiedframes;
}

}  // namespace vesper
