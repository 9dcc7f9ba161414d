// One table of the contact database: opening it, walking its rows and
// editing them.  The rows are kept by a table engine (TableBackend,
// tablebackend.h); this class is the part that is the same for every engine:
// the fields, the walk's position, the pending row and the current row's
// cells.
//
// Contract:
// - A table file (CONTACT.DB, DATABASE.DB, SETTINGS.DB...) is an ordinary
//   SQLite database holding one table; its columns declare the engine's field
//   types (fieldtypes.h), so any SQLite tool reads it.  The table's key is the
//   column declared PRIMARY KEY (CONTACT.DB: Recno; DATABASE.DB: DB).
//   Opening one makes it the table of an SQLite engine (sqlitebackend.h);
//   another engine hands a table it opened to open(backend).
// - Table files are found in their folder without regard to letter case.
//   Opening the table that is open already does nothing.
// - Fields are looked up as TableFields says; field names never become SQL
//   text (identifiers come from the table's own schema and are quoted,
//   values are bound).
// - Rows are walked with first()/next()/atend() in key order (insertion order
//   for a table without key).  The order is taken when the walk starts.
// - The pending row is the table's RowBuilder (`row()`): newrow() starts one
//   (empty in every field), edit() makes the current row pending, setX()
//   write into it, store() saves it and makes it the current row, drop()
//   discards it.  While a row is pending, reads see the pending row.  A store
//   that fails throws EngineError with the engine's message and leaves the
//   row pending and the table usable.  newrow() or edit() while a row is
//   pending discards that row.  Storing an edit in which no field was
//   written changes nothing.
// - New rows are stored through the table's writer (`writer()`), which
//   also holds the commit groups: each store commits at once unless a group
//   is open.  A row the writer stores by itself becomes the current row as
//   well.  Closing the table commits an open group.  The writer is the open
//   table's: while the table is closed writer() gives one that refuses every
//   operation.  A writer reached before the table closed refuses as well,
//   and must not be used once the table has been opened again.
// - Another program may hold the same file: the file is in WAL mode and a
//   lock is waited for up to the busy timeout (5 seconds unless set), then the
//   operation fails with an EngineError saying the table is locked.
// - The table, its row builder and its writer are used from one thread,
//   unless the writer is handed to another for a batch (contactstore.h):
//   then this thread keeps to the row builder until it has the writer back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/contactstore.h"
#include "store/fieldtypes.h"
#include "store/rowbuilder.h"
#include "store/tablebackend.h"
#include "store/tablefields.h"

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
  bool isnull() const;
  std::string astext() const;
  long long asinteger() const;
  double asdouble() const;
  bool asbool() const;
  double asdatetime() const;  // day count + fraction of a day

  // Into the pending row (EngineError when no row is pending).
  void settext(std::string_view value);
  void setinteger(long long value);
  void setdouble(double value);
  void setbool(bool value);
  void setdatetime(double value);  // date part for a date field, time part for a time field
  void clear();

 private:
  Table* table_;
  int pos_;
};

class Table : public TableFields {
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
  // Makes `backend`, open on its table, this table's engine (closing the
  // table open before); it takes this table's busy timeout.  A null backend
  // leaves the table closed.
  void open(std::unique_ptr<TableBackend> backend);
  void close();
  bool isopen() const;
  const std::string& path() const;  // the file as found on disk (the engine's path); "" when closed
  void setbusytimeout(int milliseconds);
  // The engine's read cache, in KiB (tablebackend.h).
  void setreadcache(int kib);
  int busytimeout() const;

  Field field(int position);
  Field field(std::string_view name);

  void first();
  void next();
  bool atend();
  long long recordcount();

  void newrow();
  void edit();
  bool ispending() const;
  bool changed() const;  // true once a field of the pending row was written
  void store();
  void drop();

  // The pending row, and what stores new rows (see above).
  RowBuilder& row();
  TableRowWriter& writer();
  // The import history of the open table's engine; null when closed or none.
  ImportHistory* history();

  // The rows whose `keys` fields in their folded form are each one of the
  // key's forms, read whole (tablebackend.h); the table's walk is not moved.
  void rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows);
  // Every row's id and the cells of `fields`, streamed (tablebackend.h);
  // false where the engine cannot.  readrow(): the row with that id, read
  // whole (empty cells where it is gone).  Neither moves the table's walk.
  bool scanfields(const std::vector<int>& fields, bool ids, const TableBackend::RowVisitor& visit);
  void readrow(long long id, std::vector<Cell>& cells);

  // Values by position (see Field).
  bool isnull(int position) const;
  std::string astext(int position) const;
  long long asinteger(int position) const;
  double asdouble(int position) const;
  bool asbool(int position) const;
  double asdatetime(int position) const;
  // astext into `out`, reusing its storage.
  void textinto(int position, std::string& out) const;
  // astext without a copy: a text or blob cell is seen where it lies (the
  // view is valid until that cell is written or the row changes); any other
  // cell is converted into `scratch`, which the view then shows.
  std::string_view textview(int position, std::string& scratch) const;
  void settext(int position, std::string_view value);
  void setinteger(int position, long long value);
  void setdouble(int position, double value);
  void setbool(int position, bool value);
  void setdatetime(int position, double value);
  void clear(int position);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
  const Cell& cell(int position) const;
};

// The contact table of the data folder as the store an import writes to.
class ContactTable final : public Table, public ContactStore {
 public:
  bool isopen() const override { return Table::isopen(); }
  RowBuilder& row() override { return Table::row(); }
  ImportHistory* history() override { return Table::history(); }
  void close() override { Table::close(); }

 private:
  RowWriter& rowwriter() override { return Table::writer(); }
};

// Creates the table file at `path` with the fields in this order; `keyfield`
// (may be empty) becomes its unique key.  Refuses, with EngineError, a file
// that exists already (letter case ignored), invalid fields or sizes.
void createtable(const std::string& path, const std::vector<FieldDef>& fields,
                 const std::string& keyfield = "");

}  // namespace vesper
