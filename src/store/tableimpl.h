// Inner state of an open table (internal to the table engine; include only
// from the table's own sources).
//
// Contract: one SQLite connection per open table; the walk keeps the row ids
// in table order and reloads the current row by id, so no statement stays
// open between calls and a store outside a group commits at once.  The
// pending row is a vector of cells with a written mark per field; its cells
// keep their text storage from row to row, so building a row of texts that
// fit needs no allocation.
//
// A new row is inserted with a statement that names the columns it gives a
// value (the non-empty cells), the autoincrement fields and the columns whose
// declared default is not NULL (those receive the row's value, NULL
// included, as every column did when all were named), and possibly columns
// of earlier rows, bound NULL.  An omitted column gets its default, which is
// NULL, so the stored row is the same.  Statements are kept per column set, a
// few at a time: an import writes much the same columns for every row.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "store/journalcopier.h"
#include "store/sqlitehelp.h"
#include "store/table.h"

namespace vesper {

// A value of a packed row as it lies in the packed bytes (texts and blobs
// are not copied).
struct CellRef {
  Cell::Kind kind = Cell::Null;
  long long integer = 0;
  double real = 0;
  const char* data = nullptr;
  std::size_t size = 0;
  static CellRef of(const Cell& c) {
    return {c.kind, c.integer, c.real, c.text.data(), c.text.size()};
  }
};

// The bytes a value takes, as counted for the stored-bytes total.
inline long long cellbytes(const CellRef& c) {
  return c.kind == Cell::Text || c.kind == Cell::Blob ? static_cast<long long>(c.size) : 8;
}

struct alignas(64) Table::Impl {
  sqlite3* db = nullptr;
  std::string path, file;  // full path as found, and its file name for messages
  std::string table;       // quoted SQL name of the table inside the file
  std::vector<FieldDef> fields;
  std::vector<int> autoinc;  // positions of autoincrement fields
  std::vector<int> autoSlot; // per field: its index in autoinc, -1 for other fields
  // The fields every insert names (autoinc, non-NULL default), a bit per
  // field, 64 fields a word.
  std::vector<std::uint64_t> namedMask;
  int key = -1;
  int busyMs = 5000;

  Statement selectRow, dataVersion, keyRange;

  // Insert statements by the set of columns they name (one bit per field).
  struct InsertPlan {
    std::vector<std::uint64_t> mask;
    std::vector<int> columns;  // the named fields, in table order
    std::size_t rows = 1;      // rows the statement inserts
    Statement statement;
  };
  static constexpr std::size_t kInsertPlans = 16;
  std::vector<std::unique_ptr<InsertPlan>> inserts;  // most recently used first
  std::vector<std::uint64_t> rowMask;                // scratch: the columns of the row to insert
  long long bytesStored = 0;
  // Statements inserting several packed rows at once (insertPackedMany),
  // and the question whether a row of theirs was stored.
  std::vector<std::unique_ptr<InsertPlan>> manyInserts;
  Statement storedProbe;
  // The table has triggers: 1 yes, 0 no, -1 not asked in the open group
  // (nobody can add one while a group holds the table).  Their own
  // statements would take the several-row insert's way with conflicts, so
  // rows then go one by one.
  int triggered = -1;
  std::string tableName;  // the table's name inside the file, as stored
  std::vector<std::uint64_t> packedMask;  // scratch: the columns of a packed row to store
  std::vector<std::uint64_t> packedBits;  // ... and the values it holds
  std::vector<std::uint64_t> cellsMask;   // ... and of the pending row being stored

  // Walk: the row ids in table order, taken by first() and after a store.
  std::vector<long long> order;
  std::size_t pos = 0;
  bool orderValid = false;
  bool positioned = false;  // false until the first walk step (opening does not read)
  bool atEnd = true;
  long long current = 0;
  bool rowLoaded = false;
  std::vector<Cell> row;


  // The row being built: the run thread writes it for every record while the
  // batch writer thread stores earlier rows through the insert state above,
  // so it starts a cache line of its own (no line written by both threads).
  enum Mode { None, Inserting, Editing };
  alignas(64) Mode mode = None;
  std::vector<Cell> pending;
  std::vector<std::uint64_t> valuedBits;  // the pending cells holding a value, 64 a word
  std::vector<bool> written;
  bool changed = false;
  long long editRowid = 0;

  alignas(64) int groupDepth = 0;
  // The journal: its page size and how often commits copy it back; while a
  // copier copies it back instead, the frames it held after the last commit.
  int pageBytes = 4096;
  int autoFrames = 1000;
  std::unique_ptr<JournalCopier> copier;
  int walFrames = 0;
  long long journalLimit = 0;
  static int onwal(void* impl, sqlite3*, const char*, int frames) {
    static_cast<Impl*>(impl)->walFrames = frames;
    return SQLITE_OK;
  }
  // Copies the journal back on this connection (`mode`: a restart or a
  // truncating checkpoint), waiting only briefly for a reader of it; what
  // cannot be copied now stays in the journal, safe.
  void copyback(int mode) {
    sqlite3_busy_timeout(db, std::min(busyMs, 200));
    sqlite3_wal_checkpoint_v2(db, nullptr, mode, nullptr, nullptr);
    sqlite3_busy_timeout(db, busyMs);
  }
  // Next autoincrement values, valid while no other connection has written.
  std::vector<long long> nextAuto;
  std::vector<long long> assigned;  // the numbers given to the row being inserted
  long long seenVersion = -1;
  // The counters were read inside the open group: no other connection can
  // write until it ends, so they stay valid without asking again.
  bool autoincFresh = false;

  const Cell nullCell{};

  // The engine's message for a failed SQLite call.
  std::string describe(int rc) const {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED: {
        char secs[32];
        std::snprintf(secs, sizeof secs, "%g", busyMs / 1000.0);
        return "Table " + file + " is locked by another user or program; it did not become free within " +
               secs + " seconds.";
      }
      case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE)
          return "Key violation in " + file + " (" + msg + ").";
        return "The row cannot be stored in " + file + " (" + msg + ").";
      case SQLITE_FULL: return "The disk holding " + file + " is full.";
      case SQLITE_READONLY: return "Table " + file + " is read-only.";
      default: return "Table " + file + ": " + msg + ".";
    }
  }
  [[noreturn]] void fail(int rc) const { fail(rc, describe(rc)); }
  // Failures that no retry of the same row can cure are TableUnavailable.
  [[noreturn]] static void fail(int rc, const std::string& msg) {
    switch (rc & 0xff) {
      case SQLITE_BUSY: case SQLITE_LOCKED: case SQLITE_READONLY: case SQLITE_FULL:
      case SQLITE_IOERR: case SQLITE_CANTOPEN: case SQLITE_CORRUPT: case SQLITE_NOTADB:
        throw TableUnavailable(msg);
      default:
        throw EngineError(msg);
    }
  }
  void check(int rc) const {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc);
  }

  std::string columnList() const {
    std::string cols;
    for (const auto& f : fields) cols += (cols.empty() ? "" : ", ") + quoteid(f.name);
    return cols;
  }

  void buildOrder() {
    std::string sql = "SELECT rowid FROM " + table + " ORDER BY ";
    sql += key >= 0 ? quoteid(fields[key].name) + ", rowid" : std::string("rowid");
    Statement st;
    check(st.prepare(db, sql));
    order.clear();
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) order.push_back(sqlite3_column_int64(st.get(), 0));
    if (rc != SQLITE_DONE) fail(rc);
    orderValid = true;
  }

  void moveTo(std::size_t p) {
    pos = p;
    positioned = true;
    atEnd = pos >= order.size();
    current = atEnd ? 0 : order[pos];
    rowLoaded = false;
  }

  void ensurePositioned() {
    if (positioned) return;
    buildOrder();
    moveTo(0);
  }

  const std::vector<Cell>& currentRow() {
    if (rowLoaded) return row;
    row.assign(fields.size(), Cell());
    if (!atEnd) {
      if (!selectRow) check(selectRow.prepare(db, "SELECT " + columnList() + " FROM " + table + " WHERE rowid = ?"));
      sqlite3_stmt* s = selectRow.get();
      sqlite3_bind_int64(s, 1, current);
      int rc = sqlite3_step(s);
      if (rc == SQLITE_ROW) {
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) row[i] = readColumn(s, i);
      }
      selectRow.reset();
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(rc);  // a row deleted meanwhile reads as empty
    }
    rowLoaded = true;
    return row;
  }

  static Cell readColumn(sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
      case SQLITE_INTEGER: return Cell::ofInteger(sqlite3_column_int64(s, i));
      case SQLITE_FLOAT: return Cell::ofReal(sqlite3_column_double(s, i));
      case SQLITE_TEXT: {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        return Cell::ofText(std::string(t ? t : "", sqlite3_column_bytes(s, i)));
      }
      case SQLITE_BLOB: {
        const char* b = static_cast<const char*>(sqlite3_column_blob(s, i));
        return Cell::ofBlob(std::string(b ? b : "", sqlite3_column_bytes(s, i)));
      }
      default: return Cell();
    }
  }

  static int bind(sqlite3_stmt* s, int index, const CellRef& c) {
    switch (c.kind) {
      case Cell::Integer: return sqlite3_bind_int64(s, index, c.integer);
      case Cell::Real: return sqlite3_bind_double(s, index, c.real);
      case Cell::Text: return sqlite3_bind_text(s, index, c.data, static_cast<int>(c.size), SQLITE_STATIC);
      case Cell::Blob: return sqlite3_bind_blob(s, index, c.data, static_cast<int>(c.size), SQLITE_STATIC);
      case Cell::Null: break;
    }
    return sqlite3_bind_null(s, index);
  }
  static int bind(sqlite3_stmt* s, int index, const Cell& c) {
    switch (c.kind) {
      case Cell::Integer: return sqlite3_bind_int64(s, index, c.integer);
      case Cell::Real: return sqlite3_bind_double(s, index, c.real);
      case Cell::Text: return sqlite3_bind_text(s, index, c.text.data(), static_cast<int>(c.text.size()), SQLITE_STATIC);
      case Cell::Blob: return sqlite3_bind_blob(s, index, c.text.data(), static_cast<int>(c.text.size()), SQLITE_STATIC);
      case Cell::Null: break;
    }
    return sqlite3_bind_null(s, index);
  }

  // Called inside a write transaction: the autoincrement counters are
  // re-read when another connection has committed since they were last read.
  void refreshAutoinc() {
    if (autoinc.empty()) return;
    if (groupDepth > 0 && autoincFresh && nextAuto.size() == autoinc.size()) return;
    if (!dataVersion) check(dataVersion.prepare(db, "PRAGMA data_version"));
    int rc = sqlite3_step(dataVersion.get());
    long long version = rc == SQLITE_ROW ? sqlite3_column_int64(dataVersion.get(), 0) : -2;
    dataVersion.reset();
    if (rc != SQLITE_ROW) fail(rc);
    if (version == seenVersion && nextAuto.size() == autoinc.size()) {
      autoincFresh = groupDepth > 0;
      return;
    }
    nextAuto.clear();
    for (int p : autoinc) {
      Statement st;
      check(st.prepare(db, "SELECT MAX(" + quoteid(fields[p].name) + ") FROM " + table));
      rc = sqlite3_step(st.get());
      if (rc != SQLITE_ROW) fail(rc);
      nextAuto.push_back(sqlite3_column_int64(st.get(), 0) + 1);
    }
    seenVersion = version;
    autoincFresh = groupDepth > 0;
  }

  // Forgets the counters (the group that held them is gone).
  void forgetAutoinc() {
    nextAuto.clear();
    autoincFresh = false;
  }

  // An insert statement naming every column of the pending row that must be
  // named.  A statement naming more columns serves as well (the others are
  // bound NULL), so a row whose columns all appear in a kept statement uses
  // it; otherwise a new statement names the columns of this row and of the
  // last one used, so the statements grow towards the set an import writes
  // and are rarely made anew.
  // `valued` marks the cells of the row (or rows) that hold a value, a bit
  // per field.  A statement for several `rows` at once (insertPackedMany)
  // passes over a row whose key the table holds instead of failing; those
  // are kept apart from the one-row statements.
  InsertPlan& insertPlan(const std::vector<std::uint64_t>& valued, std::size_t rows = 1) {
    std::vector<std::unique_ptr<InsertPlan>>& kept = rows == 1 ? inserts : manyInserts;
    const std::size_t words = namedMask.size();
    rowMask = namedMask;
    for (std::size_t w = 0; w < words && w < valued.size(); ++w) rowMask[w] |= valued[w];
    for (std::size_t k = 0; k < kept.size(); ++k) {
      const InsertPlan& p = *kept[k];
      bool covers = p.rows == rows;
      for (std::size_t w = 0; w < words && covers; ++w) covers = (rowMask[w] & ~p.mask[w]) == 0;
      if (!covers) continue;
      if (k > 0) std::rotate(kept.begin(), kept.begin() + static_cast<long>(k), kept.begin() + static_cast<long>(k) + 1);
      return *kept.front();
    }
    if (!kept.empty())
      for (std::size_t w = 0; w < words; ++w) rowMask[w] |= kept.front()->mask[w];
    auto plan = std::make_unique<InsertPlan>();
    plan->mask = rowMask;
    plan->rows = rows;
    std::string cols, marks;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!(rowMask[i / 64] >> (i % 64) & 1)) continue;
      plan->columns.push_back(static_cast<int>(i));
      cols += (cols.empty() ? "" : ", ") + quoteid(fields[i].name);
      marks += marks.empty() ? "?" : ", ?";
    }
    std::string sql;
    if (cols.empty()) {
      // A row with no column at all (possible only in a table without
      // autoinc or defaults) still makes a row, of NULLs.
      sql = "INSERT INTO " + table + " DEFAULT VALUES";
    } else {
      sql = std::string(rows == 1 ? "INSERT" : "INSERT OR IGNORE") + " INTO " + table + " (" + cols + ") VALUES ";
      for (std::size_t r = 0; r < rows; ++r) sql += (r ? ", (" : "(") + marks + ")";
    }
    check(plan->statement.prepare(db, sql));
    if (kept.size() >= kInsertPlans) kept.pop_back();
    kept.insert(kept.begin(), std::move(plan));
    return *kept.front();
  }

  // A failed statement inside a group may have rolled the whole group back
  // (disk full, I/O error); the caller must hear that the earlier rows are gone.
  [[noreturn]] void failInGroup(int rc) {
    std::string msg = describe(rc);
    bool lost = groupDepth > 0 && sqlite3_get_autocommit(db);
    if (lost) {
      groupDepth = 0;
      forgetAutoinc();
      msg += " The rows stored since the group began were not saved.";
    }
    if (lost) throw TableUnavailable(msg);
    fail(rc, msg);
  }

  // Inserts the pending cells (one per field) as a new row.
  void storeInsert(const std::vector<Cell>& cells) {
    std::vector<std::uint64_t>& valued = cellsMask;
    valued.assign(namedMask.size(), 0);
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (cells[i].kind != Cell::Null) valued[i / 64] |= std::uint64_t{1} << (i % 64);
    struct Cells {
      const std::vector<Cell>& cells;
      CellRef at(std::size_t i) { return CellRef::of(cells[i]); }
    } source{cells};
    storeRow(source, valued);
  }

  // Inserts a new row.  `source.at(i)` gives the value of field i; it is
  // asked once for each column the insert names, in table order, and these
  // include every field `valued` marks as holding a value.  Touches only the
  // connection and the insert state, never the pending row.
  template <class Source>
  void storeRow(Source& source, const std::vector<std::uint64_t>& valued) {
    bool ownTransaction = groupDepth == 0 && !autoinc.empty();
    if (ownTransaction) {
      int rc = execsql(db, "BEGIN IMMEDIATE");
      if (rc != SQLITE_OK) fail(rc);
    }
    int rc = SQLITE_OK;
    assigned.assign(autoinc.size(), 0);  // kept between rows: no allocation per row
    try {
      refreshAutoinc();
      InsertPlan& plan = insertPlan(valued);
      sqlite3_stmt* s = plan.statement.get();
      int n = 0;
      long long bytes = 0;
      for (int i : plan.columns) {
        const CellRef c = source.at(static_cast<std::size_t>(i));
        const int k = autoSlot[i];
        ++n;
        if (k >= 0) {
          // A number given is kept, and the counter moves past it.
          if (c.kind == Cell::Null) {
            assigned[k] = nextAuto[k];
            sqlite3_bind_int64(s, n, assigned[k]);
            bytes += 8;
            continue;
          }
          if (c.kind == Cell::Integer) assigned[k] = c.integer;
        }
        // Every parameter is bound for every row: no clearing between rows.
        bind(s, n, c);
        if (c.kind != Cell::Null) bytes += cellbytes(c);
      }
      rc = sqlite3_step(s);
      sqlite3_reset(s);  // the bound texts are the caller's: bound again before the next step
      if (rc == SQLITE_DONE) bytesStored += bytes;
    } catch (...) {
      if (ownTransaction) execsql(db, "ROLLBACK");
      throw;
    }
    if (rc != SQLITE_DONE) {
      if (ownTransaction) execsql(db, "ROLLBACK");
      failInGroup(rc);
    }
    long long rowid = sqlite3_last_insert_rowid(db);
    if (ownTransaction) {
      int crc = execsql(db, "COMMIT");
      if (crc != SQLITE_OK) {
        execsql(db, "ROLLBACK");
        fail(crc);
      }
    }
    for (std::size_t k = 0; k < autoinc.size(); ++k) nextAuto[k] = std::max(nextAuto[k], assigned[k] + 1);
    current = rowid;
  }

  void storeEdit() {
    std::string sets;
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (written[i]) sets += (sets.empty() ? "" : ", ") + quoteid(fields[i].name) + " = ?";
    if (sets.empty()) return;
    Statement st;
    check(st.prepare(db, "UPDATE " + table + " SET " + sets + " WHERE rowid = ?"));
    int n = 0;
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (written[i]) bind(st.get(), ++n, pending[i]);
    sqlite3_bind_int64(st.get(), ++n, editRowid);
    int rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) failInGroup(rc);
    if (sqlite3_changes(db) == 0)
      throw EngineError("The row was deleted from " + file + " by another user or program.");
    current = editRowid;
  }

  void closeAll() {
    if (!db) return;
    if (groupDepth > 0 && execsql(db, "COMMIT") != SQLITE_OK) execsql(db, "ROLLBACK");
    copier.reset();  // closing copies back the rest and removes the journal
    groupDepth = 0;
    inserts.clear();
    manyInserts.clear();
    storedProbe.finalize();
    selectRow.finalize();
    dataVersion.finalize();
    keyRange.finalize();
    sqlite3_close_v2(db);
    db = nullptr;
  }
};

}  // namespace vesper
