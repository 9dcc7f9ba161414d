#include "store/table.h"

#include <cstdio>
#include <algorithm>

#include "parse/errors.h"
#include "parse/text.h"
#include "store/sqlitehelp.h"
#include "store/systemdisk.h"

namespace vesper {

std::string quoteid(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

int execsql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

struct Table::Impl {
  sqlite3* db = nullptr;
  std::string path, file;  // full path as found, and its file name for messages
  std::string table;       // quoted SQL name of the table inside the file
  std::vector<FieldDef> fields;
  std::vector<int> autoinc;  // positions of autoincrement fields
  int key = -1;
  int busyMs = 5000;

  Statement insert, selectRow, dataVersion;

  // Walk: the row ids in table order, taken by first() and after a store.
  std::vector<long long> order;
  std::size_t pos = 0;
  bool orderValid = false;
  bool positioned = false;  // false until the first walk step (opening does not read)
  bool atEnd = true;
  long long current = 0;
  bool rowLoaded = false;
  std::vector<Cell> row;

  enum Mode { None, Inserting, Editing };
  Mode mode = None;
  std::vector<Cell> pending;
  std::vector<bool> written;
  bool changed = false;
  long long editRowid = 0;

  int groupDepth = 0;
  // Next autoincrement values, valid while no other connection has written.
  std::vector<long long> nextAuto;
  long long seenVersion = -1;

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
  [[noreturn]] void fail(int rc) const { throw EngineError(describe(rc)); }
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
    if (!dataVersion) check(dataVersion.prepare(db, "PRAGMA data_version"));
    int rc = sqlite3_step(dataVersion.get());
    long long version = rc == SQLITE_ROW ? sqlite3_column_int64(dataVersion.get(), 0) : -2;
    dataVersion.reset();
    if (rc != SQLITE_ROW) fail(rc);
    if (version == seenVersion && nextAuto.size() == autoinc.size()) return;
    nextAuto.clear();
    for (int p : autoinc) {
      Statement st;
      check(st.prepare(db, "SELECT MAX(" + quoteid(fields[p].name) + ") FROM " + table));
      rc = sqlite3_step(st.get());
      if (rc != SQLITE_ROW) fail(rc);
      nextAuto.push_back(sqlite3_column_int64(st.get(), 0) + 1);
    }
    seenVersion = version;
  }

  // A failed statement inside a group may have rolled the whole group back
  // (disk full, I/O error); the caller must hear that the earlier rows are gone.
  [[noreturn]] void failInGroup(int rc) {
    std::string msg = describe(rc);
    if (groupDepth > 0 && sqlite3_get_autocommit(db)) {
      groupDepth = 0;
      nextAuto.clear();
      msg += " The rows stored since the group began were not saved.";
    }
    throw EngineError(msg);
  }

  void storeInsert() {
    bool ownTransaction = groupDepth == 0 && !autoinc.empty();
    if (ownTransaction) {
      int rc = execsql(db, "BEGIN IMMEDIATE");
      if (rc != SQLITE_OK) fail(rc);
    }
    int rc = SQLITE_OK;
    std::vector<long long> assigned(autoinc.size(), 0);
    try {
      refreshAutoinc();
      if (!insert) {
        std::string marks;
        for (std::size_t i = 0; i < fields.size(); ++i) marks += i ? ", ?" : "?";
        check(insert.prepare(db, "INSERT INTO " + table + " (" + columnList() + ") VALUES (" + marks + ")"));
      }
      sqlite3_stmt* s = insert.get();
      for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        auto a = std::find(autoinc.begin(), autoinc.end(), i);
        if (a != autoinc.end() && pending[i].kind == Cell::Null) {
          std::size_t k = a - autoinc.begin();
          assigned[k] = nextAuto[k];
          sqlite3_bind_int64(s, i + 1, assigned[k]);
        } else {
          bind(s, i + 1, pending[i]);
        }
      }
      rc = sqlite3_step(s);
      insert.reset();
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
    for (std::size_t k = 0; k < autoinc.size(); ++k) {
      const Cell& given = pending[autoinc[k]];
      long long used = given.kind == Cell::Integer ? given.integer : assigned[k];
      nextAuto[k] = std::max(nextAuto[k], used + 1);
    }
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
    groupDepth = 0;
    insert.finalize();
    selectRow.finalize();
    dataVersion.finalize();
    sqlite3_close_v2(db);
    db = nullptr;
  }
};

Table::Table() : d_(std::make_unique<Impl>()) {}
Table::~Table() {
  if (d_) d_->closeAll();
}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (d_) d_->closeAll();
    d_ = std::move(other.d_);
  }
  return *this;
}

void Table::open(const std::string& path) {
  std::string folder, name;
  splitpath(path, folder, name);
  open(folder, name);
}

void Table::open(const std::string& folder, const std::string& name) {
  if (!d_) d_ = std::make_unique<Impl>();
  std::string found = findfile(folder, name);
  if (found.empty()) {
    close();  // a failed open never leaves the table on its previous file
    throw EngineError("Table does not exist: " + joinpath(folder, name));
  }
  if (d_->db && d_->path == found) return;
  int busy = d_->busyMs;
  close();
  Impl& d = *d_;
  d.busyMs = busy;
  d.path = found;
  std::string dummy;
  splitpath(found, dummy, d.file);
  int rc = sqlite3_open_v2(found.c_str(), &d.db, SQLITE_OPEN_READWRITE, nullptr);
  try {
    if (rc != SQLITE_OK) d.fail(rc);
    sqlite3_busy_timeout(d.db, d.busyMs);
    sqlite3_extended_result_codes(d.db, 1);

    // The table inside the file: the one named like the file, else the only one.
    Statement st;
    d.check(st.prepare(d.db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
    std::vector<std::string> names;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    if (rc != SQLITE_DONE) d.fail(rc);
    std::string stem = d.file.substr(0, d.file.rfind('.'));
    std::string chosen;
    for (const auto& n : names)
      if (sametext(n, stem)) chosen = n;
    if (chosen.empty() && names.size() == 1) chosen = names[0];
    if (chosen.empty()) throw EngineError("Table " + d.file + " does not hold one table named " + stem + ".");
    d.table = quoteid(chosen);

    d.check(st.prepare(d.db, "SELECT name, type, pk FROM pragma_table_info(?)"));
    sqlite3_bind_text(st.get(), 1, chosen.c_str(), -1, SQLITE_TRANSIENT);
    int keys = 0, keypos = -1;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      const char* n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
      d.fields.push_back(fieldfromdeclaration(n ? n : "", t ? t : ""));
      if (d.fields.back().type == FieldType::AutoInc) d.autoinc.push_back(static_cast<int>(d.fields.size()) - 1);
      if (sqlite3_column_int(st.get(), 2) > 0) ++keys, keypos = static_cast<int>(d.fields.size()) - 1;
    }
    if (rc != SQLITE_DONE) d.fail(rc);
    d.key = keys == 1 ? keypos : -1;

    // A table without row ids (made by another tool) cannot be walked here.
    Statement probe;
    if (probe.prepare(d.db, "SELECT rowid FROM " + d.table + " LIMIT 0") != SQLITE_OK)
      throw EngineError("Table " + d.file + " cannot be used: it has no row ids.");
    // Shared with the contact manager: readers never wait for the writer.
    // Failure (a read-only file, a lock) leaves the journal as it was.
    execsql(d.db, "PRAGMA journal_mode=WAL");
    execsql(d.db, "PRAGMA synchronous=NORMAL");
  } catch (...) {
    d.closeAll();
    d_ = std::make_unique<Impl>();
    d_->busyMs = busy;
    throw;
  }
}

void Table::close() {
  if (!d_) return;
  int busy = d_->busyMs;
  d_->closeAll();
  d_ = std::make_unique<Impl>();
  d_->busyMs = busy;
}

bool Table::isOpen() const { return d_ && d_->db; }
const std::string& Table::path() const { return d_->path; }

void Table::setBusyTimeout(int ms) {
  d_->busyMs = ms < 0 ? 0 : ms;
  if (d_->db) sqlite3_busy_timeout(d_->db, d_->busyMs);
}
int Table::busyTimeout() const { return d_->busyMs; }

int Table::fieldCount() const { return static_cast<int>(d_->fields.size()); }
const std::vector<FieldDef>& Table::fields() const { return d_->fields; }

const FieldDef& Table::checked(int position) const {
  if (!d_->db) throw EngineError("Cannot perform this operation on a closed table.");
  if (position < 0 || position >= fieldCount())
    throw EngineError("Field number " + std::to_string(position) + " is out of range.");
  return d_->fields[position];
}
const FieldDef& Table::fieldDef(int position) const { return checked(position); }
const std::string& Table::fieldName(int position) const { return checked(position).name; }
FieldType Table::fieldType(int position) const { return checked(position).type; }

int Table::findField(std::string_view name) const {
  for (int i = 0; i < fieldCount(); ++i)
    if (sametext(d_->fields[i].name, name)) return i;
  return -1;
}

int Table::fieldIndex(std::string_view name) const {
  int i = findField(name);
  if (i < 0) throw EngineError("Field '" + std::string(name) + "' not found.");
  return i;
}

Field Table::field(int position) {
  checked(position);
  return Field(*this, position);
}
Field Table::field(std::string_view name) { return Field(*this, fieldIndex(name)); }
int Table::keyField() const { return d_->key; }

void Table::first() {
  checked(0);
  d_->buildOrder();
  d_->moveTo(0);
}

void Table::next() {
  checked(0);
  Impl& d = *d_;
  if (!d.positioned) { first(); }
  if (d.atEnd) return;
  if (!d.orderValid) {
    // Stores since the walk began may have moved rows: find the current row again.
    long long cur = d.current;
    std::size_t old = d.pos;
    d.buildOrder();
    auto it = std::find(d.order.begin(), d.order.end(), cur);
    d.pos = it != d.order.end() ? static_cast<std::size_t>(it - d.order.begin()) : (old > 0 ? old - 1 : 0);
  }
  d.moveTo(d.pos + 1);
}

bool Table::atEnd() {
  if (!d_->db) return true;
  if (d_->mode == Impl::None) d_->ensurePositioned();
  return d_->atEnd;
}

long long Table::recordCount() {
  checked(0);
  Statement st;
  d_->check(st.prepare(d_->db, "SELECT COUNT(*) FROM " + d_->table));
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_ROW) d_->fail(rc);
  return sqlite3_column_int64(st.get(), 0);
}

void Table::newRow() {
  checked(0);
  Impl& d = *d_;
  d.mode = Impl::Inserting;
  d.pending.assign(d.fields.size(), Cell());
  d.written.assign(d.fields.size(), false);
  d.changed = false;
}

void Table::edit() {
  checked(0);
  Impl& d = *d_;
  d.mode = Impl::None;
  d.ensurePositioned();
  if (d.atEnd) throw EngineError("Table " + d.file + " has no current row to edit.");
  d.pending = d.currentRow();
  d.written.assign(d.fields.size(), false);
  d.changed = false;
  d.editRowid = d.current;
  d.mode = Impl::Editing;
}

bool Table::isPending() const { return d_->mode != Impl::None; }
bool Table::changed() const { return d_->mode != Impl::None && d_->changed; }

void Table::store() {
  checked(0);
  Impl& d = *d_;
  if (d.mode == Impl::None) return;
  if (d.mode == Impl::Inserting) d.storeInsert();
  else d.storeEdit();
  d.mode = Impl::None;
  d.pending.clear();
  d.written.clear();
  d.changed = false;
  d.positioned = true;
  d.atEnd = false;
  d.rowLoaded = false;
  d.orderValid = false;
}

void Table::drop() {
  d_->mode = Impl::None;
  d_->pending.clear();
  d_->written.clear();
  d_->changed = false;
}

void Table::beginGroup() {
  checked(0);
  if (d_->groupDepth == 0) {
    int rc = execsql(d_->db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) d_->fail(rc);
  }
  ++d_->groupDepth;
}

void Table::commitGroup() {
  checked(0);
  Impl& d = *d_;
  if (d.groupDepth == 0) return;
  if (d.groupDepth > 1) { --d.groupDepth; return; }
  int rc = execsql(d.db, "COMMIT");
  if (rc != SQLITE_OK) {
    // A commit that could not finish leaves the group open for another try,
    // unless SQLite has rolled it back already.
    if (sqlite3_get_autocommit(d.db)) d.groupDepth = 0, d.nextAuto.clear();
    d.fail(rc);
  }
  d.groupDepth = 0;
}

bool Table::inGroup() const { return d_->groupDepth > 0; }

const Cell& Table::cell(int position) const {
  checked(position);
  Impl& d = *d_;
  if (d.mode != Impl::None) return d.pending[position];
  d.ensurePositioned();
  return d.currentRow()[position];
}

void Table::write(int position, Cell value) {
  Impl& d = *d_;
  if (d.mode == Impl::None) throw EngineError("Table " + d.file + " is not in edit or insert mode.");
  d.pending[position] = std::move(value);
  d.written[position] = true;
  d.changed = true;
}

bool Table::isNull(int p) const { return cell(p).kind == Cell::Null; }
std::string Table::asText(int p) const { const Cell& c = cell(p); return celltext(d_->fields[p], c); }
long long Table::asInteger(int p) const { const Cell& c = cell(p); return cellinteger(d_->fields[p], c); }
double Table::asDouble(int p) const { const Cell& c = cell(p); return celldouble(d_->fields[p], c); }
bool Table::asBool(int p) const { const Cell& c = cell(p); return cellbool(d_->fields[p], c); }
double Table::asDateTime(int p) const { const Cell& c = cell(p); return celldatetime(d_->fields[p], c); }
void Table::setText(int p, std::string_view v) { write(p, textcell(checked(p), v)); }
void Table::setInteger(int p, long long v) { write(p, integercell(checked(p), v)); }
void Table::setDouble(int p, double v) { write(p, doublecell(checked(p), v)); }
void Table::setBool(int p, bool v) { write(p, boolcell(checked(p), v)); }
void Table::setDateTime(int p, double v) { write(p, datetimecell(checked(p), v)); }
void Table::clear(int p) { checked(p); write(p, Cell()); }

const std::string& Field::name() const { return table_->fieldName(pos_); }
FieldType Field::type() const { return table_->fieldType(pos_); }
int Field::size() const { return table_->fieldDef(pos_).size; }
bool Field::isNull() const { return table_->isNull(pos_); }
std::string Field::asText() const { return table_->asText(pos_); }
long long Field::asInteger() const { return table_->asInteger(pos_); }
double Field::asDouble() const { return table_->asDouble(pos_); }
bool Field::asBool() const { return table_->asBool(pos_); }
double Field::asDateTime() const { return table_->asDateTime(pos_); }
void Field::setText(std::string_view v) { table_->setText(pos_, v); }
void Field::setInteger(long long v) { table_->setInteger(pos_, v); }
void Field::setDouble(double v) { table_->setDouble(pos_, v); }
void Field::setBool(bool v) { table_->setBool(pos_, v); }
void Field::setDateTime(double v) { table_->setDateTime(pos_, v); }
void Field::clear() { table_->clear(pos_); }

}  // namespace vesper
