#include "store/sqlitebackend.h"

#include <memory>

#include "base/errors.h"
#include "store/systemdisk.h"
#include "store/table.h"

namespace vesper {

SqliteBackend::SqliteBackend(const std::string& found, int busyms) {
  file_.busyms = busyms < 0 ? 0 : busyms;
  file_.open(found);  // closes the file again when it fails
}

SqliteBackend::~SqliteBackend() { close(); }

void SqliteBackend::setbusytimeout(int ms) {
  file_.busyms = ms < 0 ? 0 : ms;
  if (file_.db) sqlite3_busy_timeout(file_.db, file_.busyms);
}

void SqliteBackend::setreadcache(int kib) {
  if (file_.db) execsql(file_.db, ("PRAGMA cache_size=-" + std::to_string(kib < 1 ? 1 : kib)).c_str());
}

void SqliteBackend::roworder(std::vector<long long>& ids) {
  std::string sql = "SELECT rowid FROM " + file_.table + " ORDER BY ";
  sql += file_.key >= 0 ? quoteid(file_.fields[file_.key].name) + ", rowid" : std::string("rowid");
  Statement st;
  file_.check(st.prepare(file_.db, sql));
  ids.clear();
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(st.get(), 0));
  if (rc != SQLITE_DONE) file_.fail(rc);
}

void SqliteBackend::readrow(long long id, std::vector<Cell>& cells) {
  cells.assign(file_.fields.size(), Cell());
  if (!selectrow_) {
    const std::string sql = "SELECT " + file_.columnlist() + " FROM " + file_.table + " WHERE rowid = ?";
    file_.check(selectrow_.prepare(file_.db, sql));
  }
  sqlite3_stmt* s = selectrow_.get();
  sqlite3_bind_int64(s, 1, id);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    for (int i = 0; i < static_cast<int>(file_.fields.size()); ++i) cells[i] = TableFile::readcolumn(s, i);
  }
  selectrow_.reset();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) file_.fail(rc);  // a row deleted meanwhile reads as empty
}

long long SqliteBackend::recordcount() {
  Statement st;
  file_.check(st.prepare(file_.db, "SELECT COUNT(*) FROM " + file_.table));
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_ROW) file_.fail(rc);
  return sqlite3_column_int64(st.get(), 0);
}

void SqliteBackend::updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written) {
  std::string sets;
  for (std::size_t i = 0; i < file_.fields.size(); ++i)
    if (written[i]) sets += (sets.empty() ? "" : ", ") + quoteid(file_.fields[i].name) + " = ?";
  Statement st;
  file_.check(st.prepare(file_.db, "UPDATE " + file_.table + " SET " + sets + " WHERE rowid = ?"));
  int n = 0;
  for (std::size_t i = 0; i < file_.fields.size(); ++i)
    if (written[i]) TableFile::bind(st.get(), ++n, cells[i]);
  sqlite3_bind_int64(st.get(), ++n, id);
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_DONE) writer_.failstatement(rc);
  if (sqlite3_changes(file_.db) == 0)
    throw EngineError("The row was deleted from " + file_.file + " by another user or program.");
}

// The writer first: it commits an open group and lets go of its statements
// before the connection closes.
void SqliteBackend::close() {
  writer_.close();
  selectrow_.finalize();
  file_.close();
}

// --- opening a table file ---

void Table::open(const std::string& path) {
  std::string folder, name;
  splitpath(path, folder, name);
  open(folder, name);
}

void Table::open(const std::string& folder, const std::string& name) {
  std::string found = findfile(folder, name);
  if (found.empty()) {
    close();  // a failed open never leaves the table on its previous file
    throw EngineError("Table does not exist: " + joinpath(folder, name));
  }
  if (isopen() && path() == found) return;
  close();  // no open fields until this open succeeds
  open(std::make_unique<SqliteBackend>(found, busytimeout()));
}

}  // namespace vesper
