#include "store/journalcopier.h"

#include <sqlite3.h>

#include "store/sqlitehelp.h"

namespace vesper {

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
    work_.wait(lock, [this] { return asked_ || quit_; });
    if (quit_) break;
    asked_ = false;
    busy_ = true;
    lock.unlock();
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    lock.lock();
    busy_ = false;
    idle_.notify_all();
  }
  busy_ = false;
  asked_ = false;
  idle_.notify_all();
}

}  // namespace vesper
