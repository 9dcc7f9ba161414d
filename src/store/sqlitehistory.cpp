#include "store/sqlitehistory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"
#include "store/systemdisk.h"
#include "store/table.h"
#include "store/tablefile.h"

namespace vesper {

namespace {

const char* const kMake =
    "CREATE TABLE IF NOT EXISTS IMPORTS (Run INTEGER PRIMARY KEY, Started TEXT, Source TEXT, Spec TEXT, "
    "DB TEXT, NumRead INTEGER, NumImported INTEGER, NumRejected INTEGER, NumBad INTEGER, State INTEGER, "
    "NumFix INTEGER);"
    "CREATE TABLE IF NOT EXISTS IMPORTKEYS (Run INTEGER NOT NULL, Recno TEXT NOT NULL, Print TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS IMPORTKEYS_Run ON IMPORTKEYS (Run)";

// The fingerprint of a row: FNV-1a over each value, its kind first, so that
// the same values give the same print in every run and on every machine.
void rowprint(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::uint64_t h = 14695981039346656037ULL;
  auto mix = [&h](const void* data, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
  };
  for (int i = 0; i < argc; ++i) {
    const unsigned char kind = static_cast<unsigned char>(sqlite3_value_type(argv[i]));
    mix(&kind, 1);
    unsigned char bytes[8];
    if (kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) {
      std::uint64_t v;
      if (kind == SQLITE_INTEGER) {
        v = static_cast<std::uint64_t>(sqlite3_value_int64(argv[i]));
      } else {
        double d = sqlite3_value_double(argv[i]);
        std::memcpy(&v, &d, 8);
      }
      for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(v >> (8 * b));
      mix(bytes, 8);
    } else if (kind != SQLITE_NULL) {
      const void* p = kind == SQLITE_BLOB ? sqlite3_value_blob(argv[i]) : sqlite3_value_text(argv[i]);
      const std::uint64_t n = static_cast<std::uint64_t>(sqlite3_value_bytes(argv[i]));
      for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(n >> (8 * b));
      mix(bytes, 8);
      if (p) mix(p, n);
    }
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  sqlite3_result_text(ctx, hex, 16, SQLITE_TRANSIENT);
}

void registerprint(TableFile& f) {
  f.check(sqlite3_create_function(f.db, "vesper_rowprint", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                  &rowprint, nullptr, nullptr));
}

// "vesper_rowprint(c."A", c."B", ...)" over every field of the contact table.
std::string printof(const TableFile& f, const char* alias) {
  std::string s = "vesper_rowprint(";
  for (std::size_t i = 0; i < f.fields.size(); ++i)
    s += (i ? ", " : "") + std::string(alias) + "." + quoteid(f.fields[i].name);
  return s + ")";
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

void SqliteTrail::begin(TableFile& f) {
  written_ = false;
  if (run_ == 0) return;
  Statement st;
  f.check(st.prepare(f.db, "SELECT coalesce(max(rowid), 0) FROM " + f.table));
  step(f, st);
  mark_ = sqlite3_column_int64(st.get(), 0);
}

void SqliteTrail::commit(TableFile& f) {
  if (run_ == 0 || written_) return;
  registerprint(f);
  Statement st;
  f.check(st.prepare(f.db, "INSERT INTO IMPORTKEYS (Run, Recno, Print) SELECT ?1, c." + keycolumn(f) + ", " +
                               printof(f, "c") + " FROM " + f.table + " c WHERE c.rowid > ?2"));
  sqlite3_bind_int64(st.get(), 1, run_);
  sqlite3_bind_int64(st.get(), 2, mark_);
  step(f, st);
  written_ = true;
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
  registerprint(file_);
  const std::string key = keycolumn(file_);
  const std::string print = printof(file_, "c");
  Transaction t(file_);
  Statement st;
  // Contacts changed since they were stored stay, and are named.
  file_.check(st.prepare(file_.db, "SELECT k.Recno FROM IMPORTKEYS k JOIN " + file_.table + " c ON c." + key +
                                       " = k.Recno WHERE k.Run = ?1 AND " + print + " <> k.Print ORDER BY k.rowid"));
  sqlite3_bind_int64(st.get(), 1, run);
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) out.kept.push_back(columntext(st.get(), 0));
  if (rc != SQLITE_DONE) file_.fail(rc);
  file_.check(st.prepare(file_.db, "SELECT count(*) FROM IMPORTKEYS k WHERE k.Run = ?1 AND NOT EXISTS (SELECT 1 FROM " +
                                       file_.table + " c WHERE c." + key + " = k.Recno)"));
  sqlite3_bind_int64(st.get(), 1, run);
  step(file_, st);
  out.gone = sqlite3_column_int64(st.get(), 0);
  file_.check(st.prepare(file_.db, "DELETE FROM " + file_.table + " WHERE rowid IN (SELECT c.rowid FROM IMPORTKEYS k JOIN " +
                                       file_.table + " c ON c." + key + " = k.Recno WHERE k.Run = ?1 AND " + print +
                                       " = k.Print)"));
  sqlite3_bind_int64(st.get(), 1, run);
  step(file_, st);
  out.removed = sqlite3_changes(file_.db);
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
