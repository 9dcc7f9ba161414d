#include "store/table.h"

#include <algorithm>

#include "base/errors.h"

namespace vesper {

namespace {

// The writer of a closed table: it stores nothing and says why.
class ClosedWriter final : public TableRowWriter {
 public:
  StoreResult insert(const RowBuilder&) override { refuse(); }
  StoreResult insert(const PackedRow&) override { refuse(); }
  StoreResult insert(const PackedRow&, int, const Cell&) override { refuse(); }
  void insertmany(const PackedRow*, std::size_t, bool*) override { refuse(); }
  std::string lastkeybetween(std::string_view, std::string_view) override { refuse(); }
  void begingroup() override { refuse(); }
  void commitgroup() override { refuse(); }
  void rollbackgroup() override { refuse(); }
  bool ingroup() const override { return false; }
  void setbackgroundcopy(bool) override {}
  long long bytesstored() const override { return 0; }
  long long rowsstored() const override { return 0; }
  long long lastrowid() const override { return 0; }
  long long rollbacks() const override { return 0; }

 private:
  [[noreturn]] static void refuse() { throw EngineError("Cannot perform this operation on a closed table."); }
};

ClosedWriter& closedwriter() {
  static ClosedWriter writer;
  return writer;
}

constexpr int kDefaultBusyMs = 5000;

}  // namespace

// The walk keeps the row ids in table order and reloads the current row by
// id, so the engine keeps nothing open for the walk between calls.
struct Table::Impl {
  std::unique_ptr<TableBackend> backend;  // null while closed
  // The engine last closed, kept until the next one closes: whoever still
  // holds its writer (a store's writer handle) is refused, not left with
  // nothing.
  std::unique_ptr<TableBackend> closed;
  RowBuilder row;
  int busyms = kDefaultBusyMs;

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

  TableRowWriter& writer() { return backend ? backend->writer() : closedwriter(); }

  void sync() {
    const TableRowWriter& w = writer();
    if (w.rowsstored() != seenstores) {
      seenstores = w.rowsstored();
      current = w.lastrowid();
      positioned = true;
      atend = false;
      rowloaded = false;
      ordervalid = false;
    }
    if (w.rollbacks() != seenrollbacks) {
      seenrollbacks = w.rollbacks();
      ordervalid = false;
    }
  }

  void buildorder() {
    backend->roworder(order);
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
    if (atend) currentcells.assign(backend->fields().size(), Cell());
    else backend->readrow(current, currentcells);
    rowloaded = true;
    return currentcells;
  }

  void storeedit() {
    const std::vector<bool>& written = row.written();
    if (std::find(written.begin(), written.end(), true) == written.end()) return;
    backend->updaterow(editrowid, row.cells(), written);
    current = editrowid;
  }

  // Back to a closed table (the busy timeout kept).
  void closetable() {
    if (backend) {
      backend->close();
      closed = std::move(backend);
    }
    row.attach(nullptr, -1, nullptr);
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

void Table::open(std::unique_ptr<TableBackend> backend) {
  if (!d_) d_ = std::make_unique<Impl>();
  close();
  if (!backend) return;
  Impl& d = *d_;
  backend->setbusytimeout(d.busyms);
  d.backend = std::move(backend);
  const TableBackend& b = *d.backend;
  setfields(&b.fields(), b.keyfield());
  d.row.attach(&b.fields(), b.keyfield(), &b.name());
}

void Table::close() {
  setfields(nullptr, -1);
  if (d_) d_->closetable();
}

bool Table::isopen() const { return d_ && d_->backend; }
const std::string& Table::path() const {
  static const std::string none;
  return d_ && d_->backend ? d_->backend->path() : none;
}

void Table::setbusytimeout(int ms) {
  d_->busyms = ms < 0 ? 0 : ms;
  if (d_->backend) d_->backend->setbusytimeout(d_->busyms);
}
// A table moved from has its default again when it is next opened.
int Table::busytimeout() const { return d_ ? d_->busyms : kDefaultBusyMs; }

Field Table::field(int position) {
  checked(position);
  return Field(*this, position);
}
Field Table::field(std::string_view name) { return Field(*this, fieldindex(name)); }

RowBuilder& Table::row() { return d_->row; }
TableRowWriter& Table::writer() { return d_->writer(); }
ImportHistory* Table::history() { return d_->backend ? d_->backend->history() : nullptr; }

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

void Table::rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows) {
  checked(0);
  d_->backend->rowswithfolded(keys, rows);
}

void Table::setreadcache(int kib) {
  checked(0);
  d_->backend->setreadcache(kib);
}

bool Table::scanfields(const std::vector<int>& fields, bool ids, const TableBackend::RowVisitor& visit) {
  checked(0);
  return d_->backend->scanfields(fields, ids, visit);
}

void Table::readrow(long long id, std::vector<Cell>& cells) {
  checked(0);
  d_->backend->readrow(id, cells);
}

long long Table::recordcount() {
  checked(0);
  return d_->backend->recordcount();
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
  if (d.atend) throw EngineError("Table " + d.backend->name() + " has no current row to edit.");
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
    StoreResult r = d.writer().insert(d.row);
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
