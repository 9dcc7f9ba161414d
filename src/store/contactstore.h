// The contact store an import writes to, and the side of it that stores rows.
//
// Contract:
// - A `ContactStore` is the contact table seen by the import: its fields and
//   the row being built (`row()`, a RowBuilder, the reading thread's), and
//   what stores rows (a RowWriter, reached only through the store's
//   WriterHandle, `takewriter()`).  The table of the data folder is one
//   (ContactTable); a store on a database server can be another.
// - Thread rule: the RowWriter is called only by the thread that holds the
//   store's one WriterHandle, or with a WriterTurn that holder lent.  The
//   reading thread builds each row in `row()`; outside a batch it holds the
//   handle and stores the row itself.  A batch moves the handle to a writer
//   thread of its own (the engine's ContactWriter) and hands it packed rows;
//   the reading thread then holds no handle and can reach the RowWriter only
//   through the turn the writer thread's drain() gives back.
// - A row the store refuses is an outcome, not an error: `StoreResult` says
//   whether it was stored, refused because its key is taken (another key may
//   be tried), or refused for another reason that no other key cures (a
//   constraint or a trigger of the table), with the store's message.  Only a
//   store that cannot be written at all just now throws (TableUnavailable:
//   locked past the wait, read-only, disk full); a broken packed row or a
//   field that does not exist throws EngineError.
// - Rows go into the open group, if any: begingroup() ... commitgroup() put
//   them into one transaction; without a group each row is committed at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "store/fieldtypes.h"
#include "store/rowbuilder.h"

namespace vesper {

struct StoreResult {
  enum Kind { Stored, KeyTaken, Refused };
  Kind kind = Stored;
  std::string message;  // the store's message for a row not stored
  bool stored() const { return kind == Stored; }
};

class RowWriter {
 public:
  // Stores the pending new row of `row` (which stays pending either way).
  virtual StoreResult insert(const RowBuilder& row) = 0;
  // Stores a row packed by RowBuilder::packrow(), as insert(row) would have
  // stored it.
  virtual StoreResult insert(const PackedRow& row) = 0;
  // ... with `value` stored instead of the packed value of field `field`.
  virtual StoreResult insert(const PackedRow& row, int field, const Cell& value) = 0;
  // Packed rows stored together, in order, inside the open group: what a run
  // of insert() calls would store, less the cost of a statement for each
  // row.  A row not stored (its key taken, or refused otherwise) is passed
  // over with `stored[j]` false; the caller stores such rows one by one,
  // which says why.  Where rows cannot go together (no group open, or the
  // store cannot tell which rows it took) nothing is stored and every
  // `stored[j]` is false.  Throws as insert(), storing nothing, on a broken
  // packed row; TableUnavailable also when it is unknown which rows were
  // stored.
  virtual void insertmany(const PackedRow* rows, std::size_t count, bool* stored) = 0;
  // How many rows insertmany() is best given at a time: a few for a table
  // file, whose statement binds them all; many for a store across a
  // network, where each call waits for the server once.
  virtual std::size_t manyrows() const { return 16; }
  // The greatest key from `low` to `high` (both included, compared as texts),
  // or "" when there is none; sees the rows of the open group.
  virtual std::string lastkeybetween(std::string_view low, std::string_view high) = 0;

  virtual void begingroup() = 0;
  virtual void commitgroup() = 0;
  // Discards the open group's rows (after a commit that could not finish).
  virtual void rollbackgroup() = 0;
  virtual bool ingroup() const = 0;
  // From now on each group this writer commits also records, in the import
  // history beside the table (importhistory.h), the key and fingerprint of
  // every row it stored, under run `run` (0: no longer).  Rows stored outside
  // a group are not recorded.
  virtual void settrail(long long run) { (void)run; }
  // While on, the store writes its rows to disk behind the commits, so a
  // long batch does not stop for it; off catches up.
  virtual void setbackgroundcopy(bool on) = 0;
  // Bytes of the values of the rows stored since the store was opened (texts
  // by length, other values 8 each).
  virtual long long bytesstored() const = 0;

 protected:
  ~RowWriter() = default;
};

class ContactStore;

// The right to call a store's RowWriter.  A store hands out one at a time
// and has it back when the handle ends; it moves, never copies, so whoever
// holds it is the one thread that may store rows.  Empty once moved from.
class WriterHandle {
 public:
  WriterHandle() = default;
  WriterHandle(WriterHandle&& other) noexcept
      : home_(std::exchange(other.home_, nullptr)), writer_(std::exchange(other.writer_, nullptr)) {}
  WriterHandle& operator=(WriterHandle&& other) noexcept;
  WriterHandle(const WriterHandle&) = delete;
  WriterHandle& operator=(const WriterHandle&) = delete;
  ~WriterHandle() { giveback(); }
  explicit operator bool() const { return writer_ != nullptr; }
  RowWriter& operator*() const { return *writer_; }
  RowWriter* operator->() const { return writer_; }

 private:
  friend class ContactStore;
  friend class WriterTurn;
  WriterHandle(ContactStore& home, RowWriter& writer) : home_(&home), writer_(&writer) {}
  void giveback();
  ContactStore* home_ = nullptr;
  RowWriter* writer_ = nullptr;
};

// A turn at the RowWriter, lent by the holder of its handle to calls on the
// holder's thread: made from the handle, or given back by a writer thread's
// drain() to the thread that handed it the handle.  It moves but does not
// copy, and is meant to live no longer than the call it was lent for.
class WriterTurn {
 public:
  explicit WriterTurn(const WriterHandle& handle) : writer_(handle.writer_) {}
  WriterTurn(WriterTurn&&) noexcept = default;
  WriterTurn& operator=(WriterTurn&&) noexcept = default;
  WriterTurn(const WriterTurn&) = delete;
  WriterTurn& operator=(const WriterTurn&) = delete;
  RowWriter& operator*() const { return *writer_; }
  RowWriter* operator->() const { return writer_; }

 private:
  RowWriter* writer_;
};

class ImportHistory;

class ContactStore {
 public:
  virtual bool isopen() const = 0;
  // The import history kept beside the store's rows; null where none is kept.
  virtual ImportHistory* history() { return nullptr; }
  virtual RowBuilder& row() = 0;
  // The store's one WriterHandle; EngineError while it is out.
  WriterHandle takewriter();
  // Commits an open group and lets go of the store.
  virtual void close() = 0;

 protected:
  ~ContactStore() = default;
  virtual RowWriter& rowwriter() = 0;

 private:
  friend class WriterHandle;
  bool writerout_ = false;
};

inline WriterHandle& WriterHandle::operator=(WriterHandle&& other) noexcept {
  if (this != &other) {
    giveback();
    home_ = std::exchange(other.home_, nullptr);
    writer_ = std::exchange(other.writer_, nullptr);
  }
  return *this;
}

inline void WriterHandle::giveback() {
  if (home_) home_->writerout_ = false;
  home_ = nullptr;
  writer_ = nullptr;
}

}  // namespace vesper
