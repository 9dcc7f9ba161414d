// What keeps an open table's rows: the table engine beneath `Table`
// (table.h).  A table file on disk is kept by the SQLite engine
// (sqlitebackend.h); an engine of another kind keeps the same tables
// elsewhere and hands an open one to `Table::open(backend)`.
//
// Contract:
// - A backend is made open, on one table, and stays on it until close().
//   Its fields, key field, path and name are fixed meanwhile, and the
//   references it gives to them stay valid until it is destroyed.  Fields of
//   type autoinc are numbered by the engine when a row is stored.
// - Rows are known to the table by ids the engine gives them: opaque
//   numbers, each naming one row as long as that row exists.  roworder()
//   gives every row's id in key order (rows with the same key by id), in the
//   order of insertion for a table without key; readrow() reads a row by id,
//   and a row gone meanwhile (another program deleted it) reads as empty in
//   every field.
// - New rows are stored through writer(), a RowWriter (contactstore.h) that
//   also tells the table what it stored: a count that grows whenever rows
//   were stored, the id of the row stored last, and a count of the groups
//   rolled back (which may have taken rows the table had walked).  Edits go
//   through updaterow(), which fails as the writer's insert fails (inside an
//   open group, a failure that took the group with it ends it).
// - Failures throw EngineError with the engine's message; TableUnavailable
//   where no retry of the same row can cure them (locked past the busy
//   timeout, read-only, disk full).
// - The busy timeout is how long an operation waits for a lock another user
//   or program holds before it fails saying the table is locked.
// - close() commits an open group (rolls it back when it cannot) and lets go
//   of the table; it never throws, as a table closes when it ends.  Until
//   the backend is destroyed its writer stays callable, refusing every
//   operation as on a closed table ("Cannot perform this operation on a
//   closed table."); nothing else is called after close().
// - Thread rule as for the table (table.h): one thread at a time, the writer
//   possibly handed to another for a batch.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/contactstore.h"
#include "store/fieldtypes.h"
#include "store/foldedkey.h"
#include "store/importhistory.h"

namespace vesper {

// The writer of a backend: RowWriter and what the table learns from it.
class TableRowWriter : public RowWriter {
 public:
  // Grows whenever an insert or insertmany() stored rows; the id of the
  // last row stored then (0 before any).
  virtual long long rowsstored() const = 0;
  virtual long long lastrowid() const = 0;
  // Groups rolled back so far.
  virtual long long rollbacks() const = 0;

 protected:
  ~TableRowWriter() = default;
};

class TableBackend {
 public:
  virtual ~TableBackend() = default;

  virtual const std::vector<FieldDef>& fields() const = 0;
  virtual int keyfield() const = 0;  // position of the key field, -1 without key
  // Where the table lies, as found ("" for none), and its name in messages
  // ("CONTACT.DB").
  virtual const std::string& path() const = 0;
  virtual const std::string& name() const = 0;
  virtual void setbusytimeout(int milliseconds) = 0;
  // How much of the table the engine may keep in memory for reading, in
  // KiB, where it keeps any.
  virtual void setreadcache(int kib) { (void)kib; }

  // Every row's id in table order, into `ids` (its old content replaced).
  virtual void roworder(std::vector<long long>& ids) = 0;
  // The values of row `id`, one cell per field, into `cells`.
  virtual void readrow(long long id, std::vector<Cell>& cells) = 0;
  virtual long long recordcount() = 0;
  // Writes into row `id` the cells marked in `written` (at least one),
  // leaving its other fields as they are; EngineError "The row was deleted
  // from NAME by another user or program." when there is no such row.
  virtual void updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written) = 0;

  // The import history kept beside the table (importhistory.h), on the
  // table's own connection; null where the engine keeps none.
  virtual ImportHistory* history() { return nullptr; }

  // The rows each of whose `keys` fields, in its folded form (foldedkey.h),
  // equals one of that key's forms, each as one cell per field,
  // into `rows`.  An index on the folded forms of those fields together is
  // made the first time, so the lookup reads only the rows it finds, whoever
  // stored them.  An engine without such lookups finds none.
  virtual void rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows) {
    (void)keys;
    rows.clear();
  }
  // Reads every row once, in no particular order, handing `visit` its id and
  // the cells of `fields` (in that order; valid during the call only): one
  // statement streamed, without holding the table in memory.  Without `ids`
  // the id may be 0 (an engine that keeps a table of the ids it gave out
  // gives none).  `visit` must not use the table meanwhile.  False, having
  // visited nothing, where the engine cannot.
  using RowVisitor = std::function<void(long long id, const std::vector<Cell>& cells)>;
  virtual bool scanfields(const std::vector<int>& fields, bool ids, const RowVisitor& visit) {
    (void)fields;
    (void)ids;
    (void)visit;
    return false;
  }
  // The same writer for the backend's whole life.
  virtual TableRowWriter& writer() = 0;
  virtual void close() = 0;
};

}  // namespace vesper
