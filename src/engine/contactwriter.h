// Storing contact rows under a record key, and the batch writer thread.
//
// Contract: `storekeyed` stores one row under the key of its name piece at a
// key step; each time the store answers that the key is taken it takes the
// step after the newest key of that piece in the table, at most
// kStoreAttempts times.  A row refused for another reason is not tried
// again (no other key cures it); a store that cannot be written at all
// (TableUnavailable) ends the tries at once, by its exception.
//
// `ContactWriter` does the inserts of a batch run on a thread of its own.
// It is made from the contact store and splits it by thread: the run thread
// keeps the store's RowBuilder, where it builds complete rows (every cell,
// the key step chosen) and hands them over packed into a queue of
// kWriterQueueBytes bytes (deep enough to read on while a group is written
// to disk; a run may also bound its rows); while the queue is full the run
// thread waits.  The writer thread has the store's RowWriter: it stores the
// rows in the order given, into the group the run opened, with the key steps
// of `storekeyed`.  It never shows a message and never counts: `drain()`
// waits until every row handed over was stored or failed (and an asked
// commit is done) and returns what failed.
//
// Thread rule, held by the types: the ContactWriter is made from the store's
// WriterHandle and keeps it until stop(), so the run thread holds none
// meanwhile and cannot reach the RowWriter on its own.  The one way back is
// the WriterTurn in what drain() returns: with it the run thread commits or
// opens a group itself, and it keeps the turn no longer than that (it hands
// no row over and asks no commit while it uses it).  stop() gives the handle
// back.
//
// `commitsoon()` asks the writer to commit the group after the rows handed
// over so far and to open the next one, without waiting: the run thread goes
// on building rows while the group is written to disk.  `committed()` tells
// when that commit is done and how many rows had failed by then in all, so
// the run can show counts that are stored counts.
//
// After a TableUnavailable failure, or a commit that failed, the writer
// stores nothing more: the rows still queued, and those handed over until the
// next drain, come back as not stored, and so do the rows of a group the
// failure took with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assign/recordkey.h"
#include "base/errors.h"
#include "store/contactstore.h"

namespace vesper {

constexpr int kStoreAttempts = 50;
constexpr std::size_t kWriterQueueBytes = std::size_t{4} << 20;
// Rows queued before an idle writer is woken (an eighth of the rows the
// queue may hold, when that is fewer): each wake-up is a system call on the
// run thread.
constexpr std::size_t kWriterWakeRows = 512;
// Rows the writer stores before it frees their room (more when the store
// takes more rows at a time: a chunk's room goes back whole).
constexpr std::size_t kWriterBatchRows = 256;
constexpr std::size_t kWriterPublishRows = 16;  // rows the run thread fills before it hands them over
// Rows the writer stores with one statement (RowWriter::insertmany): as many
// as the store asks for, at most kWriterManyRows, and no more than the queue
// may hold.  Rows it passes over are stored one by one, and so are the rows
// before a commit or a drain when they are fewer than a full chunk and fewer
// than kWriterChunkRows.
constexpr std::size_t kWriterChunkRows = 16;
constexpr std::size_t kWriterManyRows = 4096;

// The step after the newest key of `piece` in the table on the day of
// `tried`, or the step after `tried` when that is later.
RecordKeyTime keystepafterlast(RowWriter& contact, const std::string& piece, RecordKeyTime tried);

struct KeyedStore {
  bool stored = false;
  RecordKeyTime used;     // the key step of the stored row
  std::string lasterror;  // the engine's message of the last refusal
};

// `store(t)` stores the row under the record key of `piece` at key step `t`
// and returns the store's StoreResult.
template <class Store>
KeyedStore storekeyed(RowWriter& contact, const std::string& piece, RecordKeyTime from, Store&& store) {
  KeyedStore result;
  RecordKeyTime t = from;
  for (int attempt = 0; attempt < kStoreAttempts; ++attempt) {
    StoreResult r = store(t);
    if (r.stored()) {
      result.stored = true;
      result.used = t;
      return result;
    }
    result.lasterror = std::move(r.message);
    if (r.kind != StoreResult::KeyTaken) return result;
    t = keystepafterlast(contact, piece, t);
  }
  return result;
}

class ContactWriter {
 public:
  // A row that was handed over but not stored.
  struct Failure {
    long long record = 0;
    long long line = 0;   // the source line of the record, as handed over
    std::string message;  // the engine's message of the last refusal
  };
  struct Failures {
    std::vector<Failure> refused;   // rows the store refused (under every key tried)
    bool unavailable = false;       // the table could not be written
    std::string error;              // ... with the engine's message
    long long unavailablerows = 0;  // rows not stored because of it (the failing one included)
    long long lostrows = 0;         // rows stored in a group that the failure rolled back
  };
  // What drain() gives back: what failed, and the run thread's turn at the
  // store's RowWriter.
  struct Drained : Failures {
    WriterTurn writer;
  };

  // `rows` is the store's row builder, `table` its writer's handle; `recno`
  // the position of the key field; `queuebytes` the size of the queue in
  // bytes (at least 1 KB), `queuerows` the most rows it holds.
  ContactWriter(RowBuilder& rows, WriterHandle table, int recno, std::size_t queuebytes = kWriterQueueBytes,
                std::size_t queuerows = SIZE_MAX);
  // ... taking the handle from `contact`, which has it back after stop().
  ContactWriter(ContactStore& contact, int recno, std::size_t queuebytes = kWriterQueueBytes,
                std::size_t queuerows = SIZE_MAX);
  ~ContactWriter();  // stop(), unless done already
  ContactWriter(const ContactWriter&) = delete;
  ContactWriter& operator=(const ContactWriter&) = delete;

  // Hands over the store's pending new row (its key field holding the
  // record key of `piece` at step `key`), with the record number for
  // messages and its source line for the run report; the pending row ends
  // as with RowBuilder::packrow(), whose value bytes it returns.  Waits while the queue is full.  Rows are handed
  // over kWriterPublishRows at a time (one lock for them all); drain() and
  // commitsoon() hand over the rest first.
  long long submit(const std::string& piece, RecordKeyTime key, long long record, long long line = 0);
  // Waits until every row handed over is stored or failed; what failed since
  // the last drain, and the turn at the RowWriter that is the run thread's
  // until it next hands a row over or asks a commit.
  Drained drain();
  // Stores what is queued, ends the thread and gives the handle back.  The
  // writer takes no rows after it.
  WriterHandle stop();
  // True once a TableUnavailable failure is waiting for drain().
  bool unavailable();
  // True once anything failed that drain() has not returned yet.
  bool failing();
  // Commit the group after the rows handed over so far, then open the next.
  // One commit at a time: asking again before committed() said so moves the
  // commit behind the rows handed over since.
  void commitsoon();
  // True once when the asked commit is done; `failedrows` is then the number
  // of rows, handed over since the writer started, that were not stored.
  bool committed(long long& failedrows);
  // Rows stored in the open group (read after drain()).
  long long rowsingroup();
  // The run thread committed or dropped the group itself (after drain()).
  void groupended();

 private:
  // A row in the queue: this header, the name piece, then the packed row
  // (or, for a row too large for the queue, a pointer to it on the heap),
  // padded to 8 bytes.  A header with no row skips to the queue's start.
  struct Entry {
    std::uint32_t size = 0;  // the bytes of the entry, padding included
    std::uint32_t kind = 0;  // kRow, kHeapRow, kWrap
    long long record = 0;
    long long line = 0;
    RecordKeyTime key;
    std::uint32_t piecesize = 0;
    std::uint32_t rowsize = 0;
  };
  enum : std::uint32_t { kRow, kHeapRow, kWrap };

  // A queued row taken for storing: its header, name piece and packed row
  // (the heap copy of a large row owned here until it is stored).
  struct Taken {
    Entry entry;
    const char* piece = nullptr;
    const char* row = nullptr;
    std::unique_ptr<char[]> heap;
  };

  void run();
  bool storeone(const Entry& entry, const char* piece, const char* row);
  // Stores `count` taken rows, chunkrows_ of them with one statement;
  // false once the table cannot be written, `skipped` then counting the
  // rows not tried.
  bool storechunk(Taken* rows, std::size_t count, long long& skipped);
  void makeroom(std::size_t bytes);  // the run thread: waits until `bytes` are free
  void publish();    // hands the filled rows over, with mutex_ held
  void commitnow(std::unique_lock<std::mutex>& lock);  // the writer's own group commit; `lock` holds mutex_
  void failall(const std::string& error, bool dropgroup);  // with mutex_ held

  RowBuilder& rows_;     // the run thread's
  WriterHandle table_;  // the writer thread's (lent to the run thread by drain())
  const int recno_;
  const FieldDef keydef_;
  const std::size_t capacity_;  // bytes of the queue
  const std::size_t maxrows_;   // rows it may hold
  const std::size_t wakerows_;  // rows queued before an idle writer is woken
  const std::unique_ptr<char[]> ring_;
  const std::size_t chunkrows_;  // rows stored together (the writer thread's room for them below)
  std::vector<Taken> chunk_;
  std::vector<PackedRow> packed_;
  std::unique_ptr<bool[]> stored_;
  std::size_t head_ = 0;   // the oldest entry not yet stored (the writer's)
  std::size_t count_ = 0;  // rows handed over and not yet stored
  std::size_t used_ = 0;   // bytes of their entries
  bool quit_ = false;
  bool idle_ = false;      // the writer waits for rows
  bool waiting_ = false;   // the run thread waits for the writer (full queue, drain)
  bool committing_ = false;  // the writer commits a group, without the lock
  // The run thread's own, written for every row: where the next entry goes,
  // rows (and bytes) filled and not yet handed over, free bytes and rows it
  // knows of.  On a cache
  // line of their own, apart from what the writer thread writes.
  alignas(64) std::size_t tail_ = 0;
  std::size_t unpublished_ = 0, unpublishedbytes_ = 0, room_ = 0, rowroom_ = 0;
  alignas(64) std::atomic<bool> failing_{false};     // drained_ holds a failure
  std::atomic<bool> unavailablenow_{false};  // ... a TableUnavailable one
  Failures drained_;       // written by the writer thread under mutex_
  long long handed_ = 0;        // rows handed over since the start
  long long settled_ = 0;     // of them stored or failed
  long long failedtotal_ = 0;   // of them not stored
  long long commitafter_ = -1;  // commit once settled_ reaches it; -1 none asked
  std::atomic<bool> commitdone_{false};  // the asked commit is done ... (written under mutex_)
  long long failedatcommit_ = 0;  // ... with this many rows not stored by then
  // Written by the writer thread alone while it stores (no lock: the run
  // thread reads it only after drain(), which waits for the writer).
  long long rowsingroup_ = 0;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::thread thread_;
};

}  // namespace vesper
