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

  Statement selectRow;
  // Walk: the row ids in table order, taken by first() and after a store.
  std::vector<long long> order;
  std::size_t pos = 0;
  bool orderValid = false;
  bool positioned = false;  // false until the first walk step (opening does not read)
  bool atEnd = true;
  long long current = 0;
  bool rowLoaded = false;
  std::vector<Cell> currentCells;
  long long editRowid = 0;
  // The writer's counts last seen: a row it stored becomes the current row,
  // a group it rolled back may have taken rows of the walk.
  long long seenStores = 0, seenRollbacks = 0;

  void sync() {
    if (writer.rowsStored() != seenStores) {
      seenStores = writer.rowsStored();
      current = writer.lastRowid();
      positioned = true;
      atEnd = false;
      rowLoaded = false;
      orderValid = false;
    }
    if (writer.rollbacks() != seenRollbacks) {
      seenRollbacks = writer.rollbacks();
      orderValid = false;
    }
  }

  void buildOrder() {
    std::string sql = "SELECT rowid FROM " + file.table + " ORDER BY ";
    sql += file.key >= 0 ? quoteid(file.fields[file.key].name) + ", rowid" : std::string("rowid");
    Statement st;
    file.check(st.prepare(file.db, sql));
    order.clear();
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) order.push_back(sqlite3_column_int64(st.get(), 0));
    if (rc != SQLITE_DONE) file.fail(rc);
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
    sync();
    if (positioned) return;
    buildOrder();
    moveTo(0);
  }

  const std::vector<Cell>& currentRow() {
    if (rowLoaded) return currentCells;
    currentCells.assign(file.fields.size(), Cell());
    if (!atEnd) {
      if (!selectRow) {
        const std::string sql = "SELECT " + file.columnList() + " FROM " + file.table + " WHERE rowid = ?";
        file.check(selectRow.prepare(file.db, sql));
      }
      sqlite3_stmt* s = selectRow.get();
      sqlite3_bind_int64(s, 1, current);
      int rc = sqlite3_step(s);
      if (rc == SQLITE_ROW) {
        for (int i = 0; i < static_cast<int>(file.fields.size()); ++i) currentCells[i] = TableFile::readColumn(s, i);
      }
      selectRow.reset();
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) file.fail(rc);  // a row deleted meanwhile reads as empty
    }
    rowLoaded = true;
    return currentCells;
  }

  void storeEdit() {
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
    sqlite3_bind_int64(st.get(), ++n, editRowid);
    int rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) writer.failstatement(rc);
    if (sqlite3_changes(file.db) == 0)
      throw EngineError("The row was deleted from " + file.file + " by another user or program.");
    current = editRowid;
  }

  // Back to a closed table (the busy timeout kept).
  void closeAll() {
    writer.close();
    row.attach(nullptr, -1, nullptr);
    selectRow.finalize();
    file.close();
    order.clear();
    pos = 0;
    orderValid = positioned = rowLoaded = false;
    atEnd = true;
    current = editRowid = 0;
    currentCells.clear();
    seenStores = seenRollbacks = 0;
  }
};

Table::Table() : d_(std::make_unique<Impl>()) {}
Table::~Table() {
  if (d_) d_->closeAll();
}
Table::Table(Table&& other) noexcept : TableFields(other), d_(std::move(other.d_)) {
  other.setfields(nullptr, -1);
}
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (d_) d_->closeAll();
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
  if (d_) d_->closeAll();
}

bool Table::isOpen() const { return d_ && d_->file.db; }
const std::string& Table::path() const { return d_->file.path; }

void Table::setBusyTimeout(int ms) {
  d_->file.busyMs = ms < 0 ? 0 : ms;
  if (d_->file.db) sqlite3_busy_timeout(d_->file.db, d_->file.busyMs);
}
int Table::busyTimeout() const { return d_->file.busyMs; }

Field Table::field(int position) {
  checked(position);
  return Field(*this, position);
}
Field Table::field(std::string_view name) { return Field(*this, fieldIndex(name)); }

RowBuilder& Table::row() { return d_->row; }
TableWriter& Table::writer() { return d_->writer; }

void Table::first() {
  checked(0);
  d_->sync();
  d_->buildOrder();
  d_->moveTo(0);
}

void Table::next() {
  checked(0);
  Impl& d = *d_;
  d.sync();
  if (!d.positioned) first();
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
  if (!isOpen()) return true;
  if (!d_->row.isPending()) d_->ensurePositioned();
  return d_->atEnd;
}

long long Table::recordCount() {
  checked(0);
  Statement st;
  d_->file.check(st.prepare(d_->file.db, "SELECT COUNT(*) FROM " + d_->file.table));
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_ROW) d_->file.fail(rc);
  return sqlite3_column_int64(st.get(), 0);
}

void Table::newRow() {
  checked(0);
  d_->row.newRow();
}

void Table::edit() {
  checked(0);
  Impl& d = *d_;
  d.row.drop();
  d.ensurePositioned();
  if (d.atEnd) throw EngineError("Table " + d.file.file + " has no current row to edit.");
  d.row.editRow(d.currentRow());
  d.editRowid = d.current;
}

bool Table::isPending() const { return d_->row.isPending(); }
bool Table::changed() const { return d_->row.changed(); }

void Table::store() {
  checked(0);
  Impl& d = *d_;
  if (!d.row.isPending()) return;
  if (d.row.isNew()) {
    StoreResult r = d.writer.insert(d.row);
    if (!r.stored()) throw EngineError(r.message);
    d.sync();
  } else {
    d.storeEdit();
  }
  d.row.drop();
  d.positioned = true;
  d.atEnd = false;
  d.rowLoaded = false;
  d.orderValid = false;
}

void Table::drop() { d_->row.drop(); }

const Cell& Table::cell(int position) const {
  checked(position);
  Impl& d = *d_;
  if (d.row.isPending()) return d.row.cells()[static_cast<std::size_t>(position)];
  d.ensurePositioned();
  return d.currentRow()[static_cast<std::size_t>(position)];
}

bool Table::isNull(int p) const { return cell(p).kind == Cell::Null; }
std::string Table::asText(int p) const { const Cell& c = cell(p); return celltext(fieldDef(p), c); }
long long Table::asInteger(int p) const { const Cell& c = cell(p); return cellinteger(fieldDef(p), c); }
double Table::asDouble(int p) const { const Cell& c = cell(p); return celldouble(fieldDef(p), c); }
bool Table::asBool(int p) const { const Cell& c = cell(p); return cellbool(fieldDef(p), c); }
double Table::asDateTime(int p) const { const Cell& c = cell(p); return celldatetime(fieldDef(p), c); }
void Table::readText(int p, std::string& out) const { celltextinto(fieldDef(p), cell(p), out); }
std::string_view Table::textView(int p, std::string& scratch) const {
  return celltextview(fieldDef(p), cell(p), scratch);
}
void Table::setText(int p, std::string_view v) { checked(p); d_->row.setText(p, v); }
void Table::setInteger(int p, long long v) { checked(p); d_->row.setInteger(p, v); }
void Table::setDouble(int p, double v) { checked(p); d_->row.setDouble(p, v); }
void Table::setBool(int p, bool v) { checked(p); d_->row.setBool(p, v); }
void Table::setDateTime(int p, double v) { checked(p); d_->row.setDateTime(p, v); }
void Table::clear(int p) { checked(p); d_->row.clear(p); }

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
