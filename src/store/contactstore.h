// The contact store an import writes to, and the side of it that stores rows.
//
// Contract:
// - A `ContactStore` is the contact table seen by the import: its fields and
//   the row being built (`row()`, a RowBuilder, the reading thread's), and
//   what stores rows (`writer()`, a RowWriter).  The table of the data folder
//   is one (ContactTable); a store on a database server can be another.
// - The reading thread builds each row in `row()`.  Outside a batch the same
//   thread stores it with `writer().insert(row())`.  A batch hands the
//   RowWriter to a writer thread of its own (the engine's ContactWriter) and
//   hands it packed rows; the reading thread then keeps to the row builder
//   until the writer thread has given the RowWriter back.
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
  // The greatest key from `low` to `high` (both included, compared as texts),
  // or "" when there is none; sees the rows of the open group.
  virtual std::string lastkeybetween(std::string_view low, std::string_view high) = 0;

  virtual void begingroup() = 0;
  virtual void commitgroup() = 0;
  // Discards the open group's rows (after a commit that could not finish).
  virtual void rollbackgroup() = 0;
  virtual bool ingroup() const = 0;
  // While on, the store writes its rows to disk behind the commits, so a
  // long batch does not stop for it; off catches up.
  virtual void setbackgroundcopy(bool on) = 0;
  // Bytes of the values of the rows stored since the store was opened (texts
  // by length, other values 8 each).
  virtual long long bytesstored() const = 0;

 protected:
  ~RowWriter() = default;
};

class ContactStore {
 public:
  virtual bool isopen() const = 0;
  virtual RowBuilder& row() = 0;
  virtual RowWriter& writer() = 0;
  // Commits an open group and lets go of the store.
  virtual void close() = 0;

 protected:
  ~ContactStore() = default;
};

}  // namespace vesper
