// Copying a table file's journal back into the file on a thread of its own.
//
// Contract: a `JournalCopier` opens a connection of its own to the file and,
// each time it is poked, copies what is committed in the journal (WAL) back
// into the file, without holding up the connection that writes: SQLite's
// passive copy takes no lock a writer needs and flushes the journal to disk
// before it copies and the file after, as a copy made by a commit would.
// Pokes while a copy runs make one more copy after it.  Failures (a full
// disk, a lock) only leave more in the journal, where the rows are safe; the
// writer's own copy (TableWriter::setbackgroundcopy) takes the rest later.
// Between copies the copier starts writing the journal's new pages to disk,
// so that the flush before the next copy (above all the last one, which
// nothing overlaps) finds little left to write; after each copy it lets the
// system drop from memory the journal pages copied back a copy earlier (the
// writer reads newer pages from the file itself), so that removing a long
// journal at the end frees little.
// Destroying the copier waits for the copy under way and closes the
// connection.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace vesper {

class JournalCopier {
 public:
  // `path` is the table file; the copier is idle when it cannot be opened.
  explicit JournalCopier(const std::string& path);
  ~JournalCopier();
  JournalCopier(const JournalCopier&) = delete;
  JournalCopier& operator=(const JournalCopier&) = delete;

  void poke();
  // Waits until no copy runs or is asked for.
  void wait();

 private:
  void run();

  void startwriteback();
  void release(int logframes, int copiedframes);

  sqlite3* db_ = nullptr;
  std::string journal_;
  int journalfd_ = -1;
  long long framebytes_ = 0;
  int lastcopied_ = 0;  // frames the previous copy had copied back
  std::mutex mutex_;
  std::condition_variable work_, idle_;
  bool asked_ = false, busy_ = false, quit_ = false;
  std::thread thread_;
};

}  // namespace vesper
