#include "store/sqlitehistory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"
#include "store/rowprint.h"
#include "store/systemdisk.h"
#include "store/table.h"
#include "store/tablefile.h"

namespace vesper {

namespace {

const char* const kMake =
    "CREATE TABLE IF NOT EXISTS IMPORTS (Run INTEGER PRIMARY KEY, Started TEXT, Source TEXT, Spec TEXT, "
    "DB TEXT, NumRead INTEGER, NumImported INTEGER, NumRejected INTEGER, NumBad INTEGER, State INTEGER, "
    "NumFix INTEGER);"
    "CREATE TABLE IF NOT EXISTS IMPORTKEYS (Run INTEGER NOT NULL, FirstRow INTEGER NOT NULL, Prints BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS IMPORTKEYS_Run ON IMPORTKEYS (Run)";

// A value of the table as SQLite gives it back, for its fingerprint.
CellRef columnref(sqlite3_stmt* st, int i) {
  CellRef c;
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: c.kind = Cell::Integer, c.integer = sqlite3_column_int64(st, i); break;
    case SQLITE_FLOAT: c.kind = Cell::Real, c.real = sqlite3_column_double(st, i); break;
    case SQLITE_TEXT:
      c.kind = Cell::Text;
      c.data = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      c.size = static_cast<std::size_t>(sqlite3_column_bytes(st, i));
      break;
    case SQLITE_BLOB:
      c.kind = Cell::Blob;
      c.data = static_cast<const char*>(sqlite3_column_blob(st, i));
      c.size = static_cast<std::size_t>(sqlite3_column_bytes(st, i));
      break;
    default: break;
  }
  return c;
}

std::string keytext(const CellRef& c) {
  if (c.kind == Cell::Integer) return std::to_string(c.integer);
  if (c.kind == Cell::Real) return std::to_string(c.real);
  return std::string(c.data ? c.data : "", c.size);
}

std::string keycolumn(const TableFile& f) {
  if (f.key < 0) throw EngineError("Table " + f.file + " has no key: its imports cannot be recorded.");
  return quoteid(f.fields[static_cast<std::size_t>(f.key)].name);
}

void step(TableFile& f, Statement& st) {
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) f.fail(rc);
}

void bindtext(sqlite3_stmt* st, int i, const std::string& s) {
  sqlite3_bind_text(st, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::string columntext(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(st, i)))
           : std::string();
}

// A transaction of its own, rolled back unless committed.
struct Transaction {
  TableFile& f;
  bool open = false;
  explicit Transaction(TableFile& file) : f(file) {
    if (!sqlite3_get_autocommit(f.db)) throw EngineError("Table " + f.file + " is in the middle of a group.");
    int rc = execsql(f.db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) f.fail(rc);
    open = true;
  }
  void commit() {
    int rc = execsql(f.db, "COMMIT");
    if (rc != SQLITE_OK) f.fail(rc);
    open = false;
  }
  ~Transaction() {
    if (open && !sqlite3_get_autocommit(f.db)) execsql(f.db, "ROLLBACK");
  }
};

}  // namespace

bool ishistorytable(const std::string& name) { return sametext(name, "IMPORTS") || sametext(name, "IMPORTKEYS"); }

// --- the trail ---

void SqliteTrail::add(TableFile& f, long long rowid, std::uint64_t print, std::uint32_t key) {
  if (!prints_.empty() && rowid != first_ + static_cast<long long>(prints_.size() / kPrint)) commit(f);
  if (prints_.empty()) first_ = rowid;
  char bytes[kPrint];
  for (int b = 0; b < 8; ++b) bytes[b] = static_cast<char>(print >> (8 * b));
  for (int b = 0; b < 4; ++b) bytes[8 + b] = static_cast<char>(key >> (8 * b));
  prints_.append(bytes, kPrint);
  if (prints_.size() >= kPrint * kRows) commit(f);
}

void SqliteTrail::commit(TableFile& f) {
  if (run_ == 0 || prints_.empty()) return;
  if (!insert_) f.check(insert_.prepare(f.db, "INSERT INTO IMPORTKEYS (Run, FirstRow, Prints) VALUES (?1, ?2, ?3)"));
  sqlite3_stmt* st = insert_.get();
  sqlite3_bind_int64(st, 1, run_);
  sqlite3_bind_int64(st, 2, first_);
  sqlite3_bind_blob(st, 3, prints_.data(), static_cast<int>(prints_.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(st);
  insert_.reset();
  if (rc != SQLITE_DONE) f.fail(rc);
  begin();  // the memory is kept for the next rows
}

// --- the history ---

bool SqliteHistory::exists() {
  Statement st;
  file_.check(st.prepare(file_.db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'IMPORTKEYS'"));
  step(file_, st);
  return sqlite3_column_int(st.get(), 0) > 0;
}

void SqliteHistory::make() {
  if (exists()) return;
  int rc = execsql(file_.db, kMake);
  if (rc != SQLITE_OK) file_.fail(rc);
}

long long SqliteHistory::addrun(const ImportRecord& r) {
  keycolumn(file_);
  make();
  Statement st;
  file_.check(st.prepare(file_.db,
                         "INSERT INTO IMPORTS (Started, Source, Spec, DB, NumRead, NumImported, NumRejected, "
                         "NumBad, State) VALUES (?1, ?2, ?3, ?4, 0, 0, 0, 0, 0)"));
  bindtext(st.get(), 1, r.when);
  bindtext(st.get(), 2, r.source);
  bindtext(st.get(), 3, r.spec);
  bindtext(st.get(), 4, r.database);
  step(file_, st);
  return sqlite3_last_insert_rowid(file_.db);
}

void SqliteHistory::endrun(const ImportRecord& r) {
  Statement st;
  file_.check(st.prepare(file_.db,
                         "UPDATE IMPORTS SET NumRead = ?2, NumImported = ?3, NumRejected = ?4, NumBad = ?5, "
                         "State = 1 WHERE Run = ?1 AND State = 0"));
  const long long values[5] = {r.run, r.read, r.imported, r.rejected, r.bad};
  for (int i = 0; i < 5; ++i) sqlite3_bind_int64(st.get(), i + 1, values[i]);
  step(file_, st);
}

std::vector<ImportRecord> SqliteHistory::runs() {
  std::vector<ImportRecord> out;
  if (!exists()) return out;
  try {
    payfixes();
  } catch (const EngineError&) {
    // Owed still: paid by a later use of the history.
  }
  Statement st;
  file_.check(st.prepare(file_.db,
                         "SELECT Run, Started, Source, Spec, DB, NumRead, NumImported, NumRejected, NumBad, State "
                         "FROM IMPORTS ORDER BY Run"));
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    ImportRecord r;
    r.run = sqlite3_column_int64(st.get(), 0);
    r.when = columntext(st.get(), 1);
    r.source = columntext(st.get(), 2);
    r.spec = columntext(st.get(), 3);
    r.database = columntext(st.get(), 4);
    r.read = sqlite3_column_int64(st.get(), 5);
    r.imported = sqlite3_column_int64(st.get(), 6);
    r.rejected = sqlite3_column_int64(st.get(), 7);
    r.bad = sqlite3_column_int64(st.get(), 8);
    const int state = sqlite3_column_int(st.get(), 9);
    r.state = state == 2 ? ImportRecord::State::Undone
              : state == 1 ? ImportRecord::State::Finished
                           : ImportRecord::State::Running;
    out.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE) file_.fail(rc);
  return out;
}

UndoOutcome SqliteHistory::undo(long long run, const std::function<void()>& midway) {
  UndoOutcome out;
  std::vector<ImportRecord> all = runs();
  const ImportRecord* found = nullptr;
  for (const ImportRecord& r : all)
    if (r.run == run) found = &r;
  if (!found) {
    out.result = UndoOutcome::Result::NoSuchRun;
    return out;
  }
  out.run = *found;
  if (found->state == ImportRecord::State::Undone) {
    out.result = UndoOutcome::Result::AlreadyUndone;
    return out;
  }
  std::string columns;
  for (const FieldDef& d : file_.fields) columns += ", " + quoteid(d.name);
  Transaction t(file_);
  Statement groups, find, remove, st;
  file_.check(groups.prepare(file_.db, "SELECT FirstRow, Prints FROM IMPORTKEYS WHERE Run = ?1 ORDER BY rowid"));
  file_.check(find.prepare(file_.db, "SELECT rowid" + columns + " FROM " + file_.table + " WHERE rowid = ?1"));
  file_.check(remove.prepare(file_.db, "DELETE FROM " + file_.table + " WHERE rowid = ?1"));
  sqlite3_bind_int64(groups.get(), 1, run);
  const int fields = static_cast<int>(file_.fields.size());
  const int key = file_.key + 1;
  keycolumn(file_);
  int rc;
  while ((rc = sqlite3_step(groups.get())) == SQLITE_ROW) {
    const long long first = sqlite3_column_int64(groups.get(), 0);
    const unsigned char* prints = static_cast<const unsigned char*>(sqlite3_column_blob(groups.get(), 1));
    const int count = sqlite3_column_bytes(groups.get(), 1) / 12;
    for (int i = 0; i < count; ++i) {
      const unsigned char* at = prints + 12 * i;
      std::uint64_t print = 0;
      std::uint32_t keyheld = 0;
      for (int b = 0; b < 8; ++b) print |= std::uint64_t{at[b]} << (8 * b);
      for (int b = 0; b < 4; ++b) keyheld |= std::uint32_t{at[8 + b]} << (8 * b);
      sqlite3_bind_int64(find.get(), 1, first + i);
      const int frc = sqlite3_step(find.get());
      // A row id holding another key: the run's contact was removed and its
      // id given to another since.
      if (frc == SQLITE_DONE || (frc == SQLITE_ROW && keyprint(file_.key, columnref(find.get(), key)) != keyheld)) {
        ++out.gone;
      } else if (frc == SQLITE_ROW) {
        // Each contact is compared as the table holds it now: changed since,
        // it stays and is named.
        RowPrint now;
        for (int c = 0; c < fields; ++c) now.add(c, columnref(find.get(), c + 1));
        if (now.value() == print) {
          sqlite3_bind_int64(remove.get(), 1, first + i);
          const int drc = sqlite3_step(remove.get());
          remove.reset();
          if (drc != SQLITE_DONE) file_.fail(drc);
          ++out.removed;
        } else {
          out.kept.push_back(keytext(columnref(find.get(), key)));
        }
      }
      find.reset();
      if (frc != SQLITE_DONE && frc != SQLITE_ROW) file_.fail(frc);
    }
  }
  if (rc != SQLITE_DONE) file_.fail(rc);
  if (midway) midway();
  file_.check(st.prepare(file_.db, "UPDATE IMPORTS SET State = 2, NumFix = ?2 WHERE Run = ?1"));
  sqlite3_bind_int64(st.get(), 1, run);
  sqlite3_bind_int64(st.get(), 2, static_cast<long long>(out.kept.size()));
  step(file_, st);
  st.finalize();
  t.commit();
  try {
    payfixes();
  } catch (const EngineError&) {
    // DATABASE.DB cannot be written just now: the correction stays owed.
  }
  return out;
}

// NumImport of the run's database, where it still shows the run's own count,
// becomes the count of its contacts kept; then the debt is cleared.
void SqliteHistory::payfixes() {
  struct Fix {
    long long run, imported, kept;
    std::string database;
  };
  std::vector<Fix> fixes;
  {
    Statement st;
    file_.check(st.prepare(file_.db, "SELECT Run, NumImported, NumFix, DB FROM IMPORTS WHERE NumFix IS NOT NULL"));
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
      fixes.push_back({sqlite3_column_int64(st.get(), 0), sqlite3_column_int64(st.get(), 1),
                       sqlite3_column_int64(st.get(), 2), columntext(st.get(), 3)});
    if (rc != SQLITE_DONE) file_.fail(rc);
  }
  if (fixes.empty()) return;
  std::string folder, name;
  splitpath(file_.path, folder, name);
  Table db;
  db.open(folder, "DATABASE.DB");
  const int dbname = db.fieldindex("DB"), numimport = db.fieldindex("NumImport");
  for (const Fix& fix : fixes) {
    for (db.first(); !db.atend(); db.next()) {
      if (db.astext(dbname) != fix.database || db.asinteger(numimport) != fix.imported) continue;
      db.edit();
      db.setinteger(numimport, fix.kept);
      db.store();
    }
    Statement st;
    file_.check(st.prepare(file_.db, "UPDATE IMPORTS SET NumFix = NULL WHERE Run = ?1"));
    sqlite3_bind_int64(st.get(), 1, fix.run);
    step(file_, st);
  }
}

std::string historytime(int year, int month, int day, int hour, int minute, int second) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

}  // namespace vesper
