#include "store/tablefile.h"

#include <algorithm>
#include <cstdio>

#include "base/errors.h"
#include "parse/text.h"
#include "store/sqlitehistory.h"
#include "store/systemdisk.h"

namespace vesper {

void TableFile::open(const std::string& found) {
  path = found;
  std::string folder;
  splitpath(found, folder, file);
  // A table is used from one thread at a time: the connection needs no mutex
  // of its own around every call.
  sqlitesetup();
  int rc = sqlite3_open_v2(found.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  try {
    if (rc != SQLITE_OK) fail(rc);
    sqlite3_busy_timeout(db, busyms);
    sqlite3_extended_result_codes(db, 1);

    // The table inside the file: the one named like the file, else the only one.
    Statement st;
    check(st.prepare(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
    std::vector<std::string> names;
    // The import history kept in a contact table's file is no candidate.
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      std::string n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
      if (!ishistorytable(n)) names.push_back(std::move(n));
    }
    if (rc != SQLITE_DONE) fail(rc);
    std::string stem = file.substr(0, file.rfind('.'));
    std::string chosen;
    for (const auto& n : names)
      if (sametext(n, stem)) chosen = n;
    if (chosen.empty() && names.size() == 1) chosen = names[0];
    if (chosen.empty()) throw EngineError("Table " + file + " does not hold one table named " + stem + ".");
    table = quoteid(chosen);
    tablename = chosen;

    check(st.prepare(db, "SELECT name, type, pk, dflt_value IS NOT NULL FROM pragma_table_info(?)"));
    sqlite3_bind_text(st.get(), 1, chosen.c_str(), -1, SQLITE_TRANSIENT);
    int keys = 0, keypos = -1;
    bool keyinteger = false;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      const char* n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
      fields.push_back(fieldfromdeclaration(n ? n : "", t ? t : ""));
      if (fields.back().type == FieldType::AutoInc) autoinc.push_back(static_cast<int>(fields.size()) - 1);
      const std::size_t at = fields.size() - 1;
      if (at % 64 == 0) namedmask.push_back(0);
      if (fields.back().type == FieldType::AutoInc || sqlite3_column_int(st.get(), 3) != 0)
        namedmask[at / 64] |= std::uint64_t{1} << (at % 64);
      if (sqlite3_column_int(st.get(), 2) > 0) {
        ++keys, keypos = static_cast<int>(fields.size()) - 1;
        keyinteger = t && sametext(t, "INTEGER");
      }
    }
    if (rc != SQLITE_DONE) fail(rc);
    key = keys == 1 ? keypos : -1;
    rowidfield = key >= 0 && keyinteger ? key : -1;
    autoslot.assign(fields.size(), -1);
    for (std::size_t k = 0; k < autoinc.size(); ++k) autoslot[autoinc[k]] = static_cast<int>(k);

    // A table without row ids (made by another tool) cannot be walked here.
    Statement probe;
    if (probe.prepare(db, "SELECT rowid FROM " + table + " LIMIT 0") != SQLITE_OK)
      throw EngineError("Table " + file + " cannot be used: it has no row ids.");
    // Shared with the contact manager: readers never wait for the writer.
    // Failure (a read-only file, a lock) leaves the journal as it was.
    execsql(db, "PRAGMA journal_mode=WAL");
    execsql(db, "PRAGMA synchronous=NORMAL");
    // Room for the key index of a large contact table during long imports.
    execsql(db, "PRAGMA cache_size=-32768");
    // Copy the journal back into the table file every 64 MB instead of
    // every 1,000 pages: the key index of a large import is written all
    // over, and each copy rewrites its pages; fewer, larger copies rewrite
    // each page less often.  Larger journals gain little and, on a disk that
    // fills up, leave more that cannot be copied back.  Closing the table
    // copies the rest and removes the journal.
    Statement pagesize;
    int bytesperpage = 4096;
    if (pagesize.prepare(db, "PRAGMA page_size") == SQLITE_OK && sqlite3_step(pagesize.get()) == SQLITE_ROW)
      bytesperpage = std::max(512, sqlite3_column_int(pagesize.get(), 0));
    pagesize.finalize();
    pagebytes = bytesperpage;
    autoframes = (64 << 20) / bytesperpage;
    sqlite3_wal_autocheckpoint(db, autoframes);
  } catch (...) {
    close();
    throw;
  }
}

void TableFile::close() {
  if (db) sqlite3_close_v2(db);
  const int busy = busyms;
  *this = TableFile();
  busyms = busy;
}

std::string TableFile::describe(int rc) const {
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: {
      char secs[32];
      std::snprintf(secs, sizeof secs, "%g", busyms / 1000.0);
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

bool TableFile::unavailable(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY: case SQLITE_LOCKED: case SQLITE_READONLY: case SQLITE_FULL:
    case SQLITE_IOERR: case SQLITE_CANTOPEN: case SQLITE_CORRUPT: case SQLITE_NOTADB:
      return true;
    default:
      return false;
  }
}

void TableFile::fail(int rc, const std::string& msg) {
  if (unavailable(rc)) throw TableUnavailable(msg);
  throw EngineError(msg);
}

std::string TableFile::columnlist() const {
  std::string cols;
  for (const auto& f : fields) cols += (cols.empty() ? "" : ", ") + quoteid(f.name);
  return cols;
}

Cell TableFile::readcolumn(sqlite3_stmt* s, int i) {
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER: return Cell::ofinteger(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT: return Cell::ofreal(sqlite3_column_double(s, i));
    case SQLITE_TEXT: {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      return Cell::oftext(std::string(t ? t : "", sqlite3_column_bytes(s, i)));
    }
    case SQLITE_BLOB: {
      const char* b = static_cast<const char*>(sqlite3_column_blob(s, i));
      return Cell::ofblob(std::string(b ? b : "", sqlite3_column_bytes(s, i)));
    }
    default: return Cell();
  }
}

int TableFile::bind(sqlite3_stmt* s, int index, const CellRef& c) {
  switch (c.kind) {
    case Cell::Integer: return sqlite3_bind_int64(s, index, c.integer);
    case Cell::Real: return sqlite3_bind_double(s, index, c.real);
    case Cell::Text: return sqlite3_bind_text(s, index, c.data, static_cast<int>(c.size), SQLITE_STATIC);
    case Cell::Blob: return sqlite3_bind_blob(s, index, c.data, static_cast<int>(c.size), SQLITE_STATIC);
    case Cell::Null: break;
  }
  return sqlite3_bind_null(s, index);
}

}  // namespace vesper
