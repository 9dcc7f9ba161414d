#include "store/table.h"

#include <algorithm>

#include "base/errors.h"
#include "parse/text.h"
#include "store/sqlitehelp.h"
#include "store/systemdisk.h"
#include "store/tablefile.h"

namespace vesper {

// The walk keeps the row ids in table order and reloads the current row by
// id, so no statement stays open between calls and a store outside a group
// commits at once.
struct Table::Impl {
  TableFile file;
  RowBuilder row;
  TableWriter writer{file};

  Statement selectrow;
  // Walk: the row ids in table order, taken by first() and after a store.
  std::vector<long long> order;
  std::size_t pos = 0;
  bool ordervalid = false;
  bool positioned = false;  // false until the first walk step (opening does not read)
  bool atend = true;
  long long current = 0;
  bool rowloaded = false;
  std::vector<Cell> currentcells;
  long long editrowid = 0;
  // The writer's counts last seen: a row it stored becomes the current row,
  // a group it rolled back may have taken rows of the walk.
  long long seenstores = 0, seenrollbacks = 0;

  void sync() {
    if (writer.rowsstored() != seenstores) {
      seenstores = writer.rowsstored();
      current = writer.lastrowid();
      positioned = true;
      atend = false;
      rowloaded = false;
      ordervalid = false;
    }
    if (writer.rollbacks() != seenrollbacks) {
      seenrollbacks = writer.rollbacks();
      ordervalid = false;
    }
  }

  void buildorder() {
    std::string sql = "SELECT rowid FROM " + file.table + " ORDER BY ";
    sql += file.key >= 0 ? quoteid(file.fields[file.key].name) + ", rowid" : std::string("rowid");
    Statement st;
    file.check(st.prepare(file.db, sql));
    order.clear();
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) order.push_back(sqlite3_column_int64(st.get(), 0));
    if (rc != SQLITE_DONE) file.fail(rc);
    ordervalid = true;
  }

  void moveto(std::size_t p) {
    pos = p;
    positioned = true;
    atend = pos >= order.size();
    current = atend ? 0 : order[pos];
    rowloaded = false;
  }

  void ensurepositioned() {
    sync();
    if (positioned) return;
    buildorder();
    moveto(0);
  }

  const std::vector<Cell>& currentrow() {
    if (rowloaded) return currentcells;
    currentcells.assign(file.fields.size(), Cell());
    if (!atend) {
      if (!selectrow) {
        const std::string sql = "SELECT " + file.columnlist() + " FROM " + file.table + " WHERE rowid = ?";
        file.check(selectrow.prepare(file.db, sql));
      }
      sqlite3_stmt* s = selectrow.get();
      sqlite3_bind_int64(s, 1, current);
      int rc = sqlite3_step(s);
      if (rc == SQLITE_ROW) {
        for (int i = 0; i < static_cast<int>(file.fields.size()); ++i) currentcells[i] = TableFile::readcolumn(s, i);
      }
      selectrow.reset();
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) file.fail(rc);  // a row deleted meanwhile reads as empty
    }
    rowloaded = true;
    return currentcells;
  }

  void storeedit() {
    const std::vector<bool>& written = row.written();
    const std::vector<Cell>& cells = row.cells();
    std::string sets;
    for (std::size_t i = 0; i < file.fields.size(); ++i)
      if (written[i]) sets += (sets.empty() ? "" : ", ") + quoteid(file.fields[i].name) + " = ?";
    if (sets.empty()) return;
    Statement st;
    file.check(st.prepare(file.db, "UPDATE " + file.table + " SET " + sets + " WHERE rowid = ?"));
    int n = 0;
    for (std::size_t i = 0; i < file.fields.size(); ++i)
      if (written[i]) TableFile::bind(st.get(), ++n, cells[i]);
    sqlite3_bind_int64(st.get(), ++n, editrowid);
    int rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) writer.failstatement(rc);
    if (sqlite3_changes(file.db) == 0)
      throw EngineError("The row was deleted from " + file.file + " by another user or program.");
    current = editrowid;
  }

  // Back to a closed table (the busy timeout kept).
  void closetable() {
    writer.close();
    row.attach(nullptr, -1, nullptr);
    selectrow.finalize();
    file.close();
    order.clear();
    pos = 0;
    ordervalid = positioned = rowloaded = false;
    atend = true;
    current = editrowid = 0;
    currentcells.clear();
    seenstores = seenrollbacks = 0;
  }
};

Table::Table() : d_(std::make_unique<Impl>()) {}
Table::~Table() {
  if (d_) d_->closetable();
}
Table::Table(Table&& other) noexcept : TableFields(other), d_(std::move(other.d_)) {
  other.setfields(nullptr, -1);
}
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (d_) d_->closetable();
    TableFields::operator=(other);
    d_ = std::move(other.d_);
    other.setfields(nullptr, -1);
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
  if (d_->file.db && d_->file.path == found) return;
  close();  // no open fields until this open succeeds
  Impl& d = *d_;
  d.file.open(found);
  setfields(&d.file.fields, d.file.key);
  d.row.attach(&d.file.fields, d.file.key, &d.file.file);
}

void Table::close() {
  setfields(nullptr, -1);
  if (d_) d_->closetable();
}

bool Table::isopen() const { return d_ && d_->file.db; }
const std::string& Table::path() const { return d_->file.path; }

void Table::setbusytimeout(int ms) {
  d_->file.busyms = ms < 0 ? 0 : ms;
  if (d_->file.db) sqlite3_busy_timeout(d_->file.db, d_->file.busyms);
}
int Table::busytimeout() const { return d_->file.busyms; }

Field Table::field(int position) {
  checked(position);
  return Field(*this, position);
}
Field Table::field(std::string_view name) { return Field(*this, fieldindex(name)); }

RowBuilder& Table::row() { return d_->row; }
TableWriter& Table::writer() { return d_->writer; }

void Table::first() {
  checked(0);
  d_->sync();
  d_->buildorder();
  d_->moveto(0);
}

void Table::next() {
  checked(0);
  Impl& d = *d_;
  d.sync();
  if (!d.positioned) first();
  if (d.atend) return;
  if (!d.ordervalid) {
    // Stores since the walk began may have moved rows: find the current row again.
    long long cur = d.current;
    std::size_t old = d.pos;
    d.buildorder();
    auto it = std::find(d.order.begin(), d.order.end(), cur);
    d.pos = it != d.order.end() ? static_cast<std::size_t>(it - d.order.begin()) : (old > 0 ? old - 1 : 0);
  }
  d.moveto(d.pos + 1);
}

bool Table::atend() {
  if (!isopen()) return true;
  if (!d_->row.ispending()) d_->ensurepositioned();
  return d_->atend;
}

long long Table::recordcount() {
  checked(0);
  Statement st;
  d_->file.check(st.prepare(d_->file.db, "SELECT COUNT(*) FROM " + d_->file.table));
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_ROW) d_->file.fail(rc);
  return sqlite3_column_int64(st.get(), 0);
}

void Table::newrow() {
  checked(0);
  d_->row.newrow();
}

void Table::edit() {
  checked(0);
  Impl& d = *d_;
  d.row.drop();
  d.ensurepositioned();
  if (d.atend) throw EngineError("Table " + d.file.file + " has no current row to edit.");
  d.row.editrow(d.currentrow());
  d.editrowid = d.current;
}

bool Table::ispending() const { return d_->row.ispending(); }
bool Table::changed() const { return d_->row.changed(); }

void Table::store() {
  checked(0);
  Impl& d = *d_;
  if (!d.row.ispending()) return;
  if (d.row.isnew()) {
    StoreResult r = d.writer.insert(d.row);
    if (!r.stored()) throw EngineError(r.message);
    d.sync();
  } else {
    d.storeedit();
  }
  d.row.drop();
  d.positioned = true;
  d.atend = false;
  d.rowloaded = false;
  d.ordervalid = false;
}

void Table::drop() { d_->row.drop(); }

const Cell& Table::cell(int position) const {
  checked(position);
  Impl& d = *d_;
  if (d.row.ispending()) return d.row.cells()[static_cast<std::size_t>(position)];
  d.ensurepositioned();
  return d.currentrow()[static_cast<std::size_t>(position)];
}

bool Table::isnull(int p) const { return cell(p).kind == Cell::Null; }
std::string Table::astext(int p) const { const Cell& c = cell(p); return celltext(fielddef(p), c); }
long long Table::asinteger(int p) const { const Cell& c = cell(p); return cellinteger(fielddef(p), c); }
double Table::asdouble(int p) const { const Cell& c = cell(p); return celldouble(fielddef(p), c); }
bool Table::asbool(int p) const { const Cell& c = cell(p); return cellbool(fielddef(p), c); }
double Table::asdatetime(int p) const { const Cell& c = cell(p); return celldatetime(fielddef(p), c); }
void Table::textinto(int p, std::string& out) const { celltextinto(fielddef(p), cell(p), out); }
std::string_view Table::textview(int p, std::string& scratch) const {
  return celltextview(fielddef(p), cell(p), scratch);
}
void Table::settext(int p, std::string_view v) { checked(p); d_->row.settext(p, v); }
void Table::setinteger(int p, long long v) { checked(p); d_->row.setinteger(p, v); }
void Table::setdouble(int p, double v) { checked(p); d_->row.setdouble(p, v); }
void Table::setbool(int p, bool v) { checked(p); d_->row.setbool(p, v); }
void Table::setdatetime(int p, double v) { checked(p); d_->row.setdatetime(p, v); }
void Table::clear(int p) { checked(p); d_->row.clear(p); }

const std::string& Field::name() const { return table_->fieldname(pos_); }
FieldType Field::type() const { return table_->fieldtype(pos_); }
int Field::size() const { return table_->fielddef(pos_).size; }
bool Field::isnull() const { return table_->isnull(pos_); }
std::string Field::astext() const { return table_->astext(pos_); }
long long Field::asinteger() const { return table_->asinteger(pos_); }
double Field::asdouble() const { return table_->asdouble(pos_); }
bool Field::asbool() const { return table_->asbool(pos_); }
double Field::asdatetime() const { return table_->asdatetime(pos_); }
void Field::settext(std::string_view v) { table_->settext(pos_, v); }
void Field::setinteger(long long v) { table_->setinteger(pos_, v); }
void Field::setdouble(double v) { table_->setdouble(pos_, v); }
void Field::setbool(bool v) { table_->setbool(pos_, v); }
void Field::setdatetime(double v) { table_->setdatetime(pos_, v); }
void Field::clear() { table_->clear(pos_); }

}  // namespace vesper
