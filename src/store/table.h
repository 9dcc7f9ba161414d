// One table of the contact database, kept as its own SQLite file.
//
// Contract:
// - A table file (CONTACT.DB, DATABASE.DB, SETTINGS.DB...) is an ordinary
//   SQLite database holding one table; its columns declare the engine's field
//   types (fieldtypes.h), so any SQLite tool reads it.  The table's key is the
//   column declared PRIMARY KEY (CONTACT.DB: Recno; DATABASE.DB: DB).
// - Table files are found in their folder without regard to letter case.
//   Opening the table that is open already does nothing.
// - Field lookup by name ignores letter case and fails with EngineError
//   "Field 'X' not found."; field names never become SQL text (identifiers come
//   from the table's own schema and are quoted, values are bound).
// - Rows are walked with first()/next()/atEnd() in key order (insertion order
//   for a table without key).  The order is taken when the walk starts.
// - The pending row: newRow() starts one (empty in every field), edit() makes
//   the current row pending, setX() write into it, store() saves it and makes
//   it the current row, drop() discards it.  While a row is pending, reads see
//   the pending row.  A store that fails throws EngineError with the engine's
//   message and leaves the row pending and the table usable.  newRow() or
//   edit() while a row is pending discards that row.
// - Autoincrement fields left empty are numbered by the engine when a new row
//   is stored.
// - Each store commits at once, unless a group is open: beginGroup() ...
//   commitGroup() puts the stores between them into one transaction.  Closing
//   the table commits an open group.
// - Another program may hold the same file: the file is in WAL mode and a
//   lock is waited for up to the busy timeout (5 seconds unless set), then the
//   operation fails with an EngineError saying the table is locked.
// - Tables are used from one thread, with one exception for batch writing:
//   while one thread runs insertPacked(), insertPackedMany(),
//   lastKeyBetween() and the group calls (beginGroup(), commitGroup(),
//   rollbackGroup(), inGroup()), another may build the next new row:
//   newRow(), setX(), reading the pending row, changed(), packedSize(),
//   packRow() and drop() touch only the pending row.  Everything
//   else needs the table to itself, handed over with a synchronising step (a
//   mutex) between the threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/fieldtypes.h"

namespace vesper {

class Table;

// A field of an open table, by position.  Valid while the table stays open.
class Field {
 public:
  Field(Table& table, int position) : table_(&table), pos_(position) {}
  int position() const { return pos_; }
  const std::string& name() const;
  FieldType type() const;
  int size() const;

  // Of the pending row when there is one, else of the current row.
  bool isNull() const;
  std::string asText() const;
  long long asInteger() const;
  double asDouble() const;
  bool asBool() const;
  double asDateTime() const;  // day count + fraction of a day

  // Into the pending row (EngineError when no row is pending).
  void setText(std::string_view value);
  void setInteger(long long value);
  void setDouble(double value);
  void setBool(bool value);
  void setDateTime(double value);  // date part for a date field, time part for a time field
  void clear();

 private:
  Table* table_;
  int pos_;
};

class Table {
 public:
  Table();
  ~Table();
  Table(Table&&) noexcept;
  Table& operator=(Table&&) noexcept;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Opens the table file `name` in `folder`.  EngineError when there is no
  // such file or it is not a table.
  void open(const std::string& folder, const std::string& name);
  void open(const std::string& path);
  void close();
  bool isOpen() const;
  const std::string& path() const;  // the file as found on disk; "" when closed
  void setBusyTimeout(int milliseconds);
  int busyTimeout() const;

  int fieldCount() const;
  const std::vector<FieldDef>& fields() const;
  const FieldDef& fieldDef(int position) const;
  const std::string& fieldName(int position) const;
  FieldType fieldType(int position) const;
  int findField(std::string_view name) const;   // letter case ignored; -1 when missing
  int fieldIndex(std::string_view name) const;  // as findField, EngineError when missing
  Field field(int position);
  Field field(std::string_view name);
  int keyField() const;  // position of the key field, -1 without key
  // The greatest key value from `low` to `high` (both included, compared as
  // SQLite compares the stored key texts), or "" when there is none or the
  // table has no key.  Sees the rows stored in an open group.
  std::string lastKeyBetween(std::string_view low, std::string_view high);

  void first();
  void next();
  bool atEnd();
  long long recordCount();

  void newRow();
  void edit();
  bool isPending() const;
  bool changed() const;  // true once a field of the pending row was written
  void store();
  void drop();
  // The pending new row packed into bytes, for another thread to store with
  // insertPacked(): a bit per field holding a value, then those values, with
  // no storage of the cells.  packedSize() is the number of bytes packRow()
  // writes to `out`; packRow() also ends the pending row without storing it
  // (its cells keep their storage for the next new row) and returns the
  // bytes of its values, as bytesStored counts them.  Both fail with
  // EngineError when no new row is pending.
  std::size_t packedSize() const;
  long long packRow(char* out);
  // Stores a row packed by packRow() of this table as a new row, exactly as
  // store() stores a pending new row, and makes it the current row; the
  // pending row, if any, is left alone.  `replace`, when given, is stored
  // instead of the packed value of field `replaceField`.  Fails as store().
  void insertPacked(const char* packed, std::size_t size, int replaceField = -1, const Cell* replace = nullptr);
  // Packed rows stored together with one statement, in order, inside the
  // open group: what a run of insertPacked() calls would store, less the
  // statement's own cost for each row.  A row whose key the table already
  // holds (or that cannot be stored for another reason the table survives)
  // is passed over and `stored[j]` is false for it; the caller stores such
  // rows one by one, which reports why.  Only inside a group, for a table
  // with a key and an autoincrement field (they tell which rows were stored)
  // and without triggers; otherwise nothing is stored and every `stored[j]`
  // is false.
  // Fails with EngineError, storing nothing, on a broken packed row, and
  // with TableUnavailable when the table can no longer be written or it is
  // unknown which rows were stored.
  struct PackedRow {
    const char* data;
    std::size_t size;
  };
  void insertPackedMany(const PackedRow* rows, std::size_t count, bool* stored);

  void beginGroup();
  void commitGroup();
  // While on, the journal is copied back into the table file by a thread of
  // its own after each group commit, instead of by the commit itself, so a
  // long batch does not stop for it; the journal then grows until it holds
  // `journalLimit` bytes, when a commit copies the rest itself and the
  // journal starts over.  Off copies the rest back and empties the journal
  // (unless another program reads it).  Only for a table in WAL mode.
  static constexpr long long kJournalLimit = 512LL << 20;
  void setBackgroundCopy(bool on, long long journalLimit = kJournalLimit);
  // Discards the open group's rows (after a commit that could not finish).
  void rollbackGroup();
  bool inGroup() const;
  // Bytes of the values of the rows this table stored since it was opened
  // (texts by length, other values 8 each; no page or index overhead).
  long long bytesStored() const;

  // Values by position (see Field).
  bool isNull(int position) const;
  std::string asText(int position) const;
  long long asInteger(int position) const;
  double asDouble(int position) const;
  bool asBool(int position) const;
  double asDateTime(int position) const;
  // asText into `out`, reusing its storage.
  void readText(int position, std::string& out) const;
  // asText without a copy: a text or blob cell is seen where it lies (the
  // view is valid until that cell is written or the row changes); any other
  // cell is converted into `scratch`, which the view then shows.
  std::string_view textView(int position, std::string& scratch) const;
  void setText(int position, std::string_view value);
  void setInteger(int position, long long value);
  void setDouble(int position, double value);
  void setBool(int position, bool value);
  void setDateTime(int position, double value);
  void clear(int position);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
  // The fields of the open table, for the check every field access makes
  // (none while closed: the check then fails as on a closed table).
  const FieldDef* openFields_ = nullptr;
  unsigned openCount_ = 0;
  const Cell& cell(int position) const;
  void write(int position, Cell value);
  // Puts a text value into the pending row's cell in its own storage (no
  // Cell made and moved); only with a row pending and `text` not empty.
  void putpending(int position, const char* text, std::size_t size);
  const FieldDef& checked(int position) const {
    if (static_cast<unsigned>(position) < openCount_) return openFields_[position];
    return uncheckedfield(position);
  }
  const FieldDef& uncheckedfield(int position) const;  // fails: closed, or out of range
};

// Creates the table file at `path` with the fields in this order; `keyField`
// (may be empty) becomes its unique key.  Refuses, with EngineError, a file
// that exists already (letter case ignored), invalid fields or sizes.
void createtable(const std::string& path, const std::vector<FieldDef>& fields,
                 const std::string& keyField = "");

}  // namespace vesper
