#include "store/table.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"
#include "store/sqlitehelp.h"
#include "store/systemdisk.h"
#include "store/tableimpl.h"

namespace vesper {

Table::Table() : d_(std::make_unique<Impl>()) {}
Table::~Table() {
  if (d_) d_->closeAll();
}
Table::Table(Table&& other) noexcept
    : d_(std::move(other.d_)), openFields_(other.openFields_), openCount_(other.openCount_) {
  other.openFields_ = nullptr;
  other.openCount_ = 0;
}
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (d_) d_->closeAll();
    d_ = std::move(other.d_);
    openFields_ = other.openFields_;
    openCount_ = other.openCount_;
    other.openFields_ = nullptr;
    other.openCount_ = 0;
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
  close();  // no open fields until this open succeeds
  Impl& d = *d_;
  d.busyMs = busy;
  d.path = found;
  std::string dummy;
  splitpath(found, dummy, d.file);
  // A table is used from one thread at a time: the connection needs no mutex
  // of its own around every call.
  sqlitesetup();
  int rc = sqlite3_open_v2(found.c_str(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
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
    d.tableName = chosen;

    d.check(st.prepare(d.db, "SELECT name, type, pk, dflt_value IS NOT NULL FROM pragma_table_info(?)"));
    sqlite3_bind_text(st.get(), 1, chosen.c_str(), -1, SQLITE_TRANSIENT);
    int keys = 0, keypos = -1;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      const char* n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
      d.fields.push_back(fieldfromdeclaration(n ? n : "", t ? t : ""));
      if (d.fields.back().type == FieldType::AutoInc) d.autoinc.push_back(static_cast<int>(d.fields.size()) - 1);
      const std::size_t at = d.fields.size() - 1;
      if (at % 64 == 0) d.namedMask.push_back(0);
      if (d.fields.back().type == FieldType::AutoInc || sqlite3_column_int(st.get(), 3) != 0)
        d.namedMask[at / 64] |= std::uint64_t{1} << (at % 64);
      if (sqlite3_column_int(st.get(), 2) > 0) ++keys, keypos = static_cast<int>(d.fields.size()) - 1;
    }
    if (rc != SQLITE_DONE) d.fail(rc);
    d.key = keys == 1 ? keypos : -1;
    d.autoSlot.assign(d.fields.size(), -1);
    for (std::size_t k = 0; k < d.autoinc.size(); ++k) d.autoSlot[d.autoinc[k]] = static_cast<int>(k);

    // A table without row ids (made by another tool) cannot be walked here.
    Statement probe;
    if (probe.prepare(d.db, "SELECT rowid FROM " + d.table + " LIMIT 0") != SQLITE_OK)
      throw EngineError("Table " + d.file + " cannot be used: it has no row ids.");
    // Shared with the contact manager: readers never wait for the writer.
    // Failure (a read-only file, a lock) leaves the journal as it was.
    execsql(d.db, "PRAGMA journal_mode=WAL");
    execsql(d.db, "PRAGMA synchronous=NORMAL");
    // Room for the key index of a large contact table during long imports.
    execsql(d.db, "PRAGMA cache_size=-32768");
    // Copy the journal back into the table file every 64 MB instead of
    // every 1,000 pages: the key index of a large import is written all
    // over, and each copy rewrites its pages; fewer, larger copies rewrite
    // each page less often.  Larger journals gain little and, on a disk that
    // fills up, leave more that cannot be copied back.  Closing the table
    // copies the rest and removes the journal.
    Statement pageSize;
    int bytesPerPage = 4096;
    if (pageSize.prepare(d.db, "PRAGMA page_size") == SQLITE_OK && sqlite3_step(pageSize.get()) == SQLITE_ROW)
      bytesPerPage = std::max(512, sqlite3_column_int(pageSize.get(), 0));
    pageSize.finalize();
    d.pageBytes = bytesPerPage;
    d.autoFrames = (64 << 20) / bytesPerPage;
    sqlite3_wal_autocheckpoint(d.db, d.autoFrames);
    openFields_ = d.fields.data();
    openCount_ = static_cast<unsigned>(d.fields.size());
  } catch (...) {
    d.closeAll();
    d_ = std::make_unique<Impl>();
    d_->busyMs = busy;
    throw;
  }
}

void Table::close() {
  openFields_ = nullptr;
  openCount_ = 0;
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

const FieldDef& Table::uncheckedfield(int position) const {
  if (!d_ || !d_->db) throw EngineError("Cannot perform this operation on a closed table.");
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

std::string Table::lastKeyBetween(std::string_view low, std::string_view high) {
  checked(0);
  Impl& d = *d_;
  if (d.key < 0) return {};
  if (!d.keyRange) {
    std::string k = quoteid(d.fields[d.key].name);
    d.check(d.keyRange.prepare(d.db, "SELECT " + k + " FROM " + d.table + " WHERE " + k + " >= ? AND " +
                                         k + " <= ? ORDER BY " + k + " DESC LIMIT 1"));
  }
  sqlite3_stmt* s = d.keyRange.get();
  sqlite3_bind_text(s, 1, low.data(), static_cast<int>(low.size()), SQLITE_STATIC);
  sqlite3_bind_text(s, 2, high.data(), static_cast<int>(high.size()), SQLITE_STATIC);
  int rc = sqlite3_step(s);
  std::string found;
  if (rc == SQLITE_ROW) {
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    found.assign(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
  }
  d.keyRange.reset();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) d.fail(rc);
  return found;
}

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
  const std::size_t words = (d.fields.size() + 63) / 64;
  if (d.pending.size() == d.fields.size() && d.valuedBits.size() == words) {
    // Only the cells holding a value need emptying; each keeps its text
    // storage for the next row.
    for (std::size_t w = 0; w < words; ++w) {
      for (std::uint64_t bits = d.valuedBits[w]; bits; bits &= bits - 1) {
        Cell& c = d.pending[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
        c.kind = Cell::Null;
        c.integer = 0;
        c.real = 0;
        c.text.clear();
      }
      d.valuedBits[w] = 0;
    }
  } else {
    d.pending.assign(d.fields.size(), Cell());
    d.valuedBits.assign(words, 0);
  }
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
  d.valuedBits.assign((d.fields.size() + 63) / 64, 0);
  for (std::size_t i = 0; i < d.pending.size(); ++i)
    if (d.pending[i].kind != Cell::Null) d.valuedBits[i / 64] |= std::uint64_t{1} << (i % 64);
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
  if (d.mode == Impl::Inserting) d.storeInsert(d.pending);
  else d.storeEdit();
  d.mode = Impl::None;
  d.changed = false;
  d.positioned = true;
  d.atEnd = false;
  d.rowLoaded = false;
  d.orderValid = false;
}

// Packed rows: the value bits (64 fields a word), then for each field that
// holds a value, in table order, its kind (one byte) and its value: 8 bytes
// for an integer or a real, a 4-byte length and the bytes for a text or blob.
namespace {
std::size_t packedvalue(const Cell& c) {
  return 1 + (c.kind == Cell::Text || c.kind == Cell::Blob ? 4 + c.text.size() : 8);
}
}  // namespace

std::size_t Table::packedSize() const {
  checked(0);
  const Impl& d = *d_;
  if (d.mode != Impl::Inserting) throw EngineError("Table " + d.file + " is not in insert mode.");
  std::size_t n = d.valuedBits.size() * 8;
  for (std::size_t w = 0; w < d.valuedBits.size(); ++w)
    for (std::uint64_t bits = d.valuedBits[w]; bits; bits &= bits - 1)
      n += packedvalue(d.pending[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))]);
  return n;
}

long long Table::packRow(char* out) {
  checked(0);
  Impl& d = *d_;
  if (d.mode != Impl::Inserting) throw EngineError("Table " + d.file + " is not in insert mode.");
  const std::size_t words = d.valuedBits.size();
  std::memcpy(out, d.valuedBits.data(), words * 8);
  char* p = out + words * 8;
  long long bytes = 0;
  for (std::size_t w = 0; w < words; ++w) {
    for (std::uint64_t bits = d.valuedBits[w]; bits; bits &= bits - 1) {
      const Cell& c = d.pending[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
      *p++ = static_cast<char>(c.kind);
      if (c.kind == Cell::Text || c.kind == Cell::Blob) {
        const std::uint32_t len = static_cast<std::uint32_t>(c.text.size());
        std::memcpy(p, &len, 4);
        copyshort(p + 4, c.text.data(), len);
        p += 4 + len;
        bytes += len;
      } else {
        std::memcpy(p, c.kind == Cell::Integer ? static_cast<const void*>(&c.integer) : &c.real, 8);
        p += 8;
        bytes += 8;
      }
    }
  }
  d.mode = Impl::None;
  d.changed = false;
  return bytes;
}

namespace {
// The values of a packed row, read in field order as the insert asks for
// them; a value the insert does not ask for (a field replaced by NULL) is
// passed over.
struct PackedValues {
  const std::uint64_t* bits;  // the fields with a value in the packed bytes
  const char* p;
  const char* end;
  const std::string& file;
  std::size_t next = 0;  // the first field not yet read
  int replaceField;
  const Cell* replace;

  [[noreturn]] void cutshort() const { throw EngineError("Table " + file + ": a packed row cut short."); }
  bool valued(std::size_t i) const { return bits[i / 64] >> (i % 64) & 1; }
  CellRef read() {
    CellRef r;
    if (p >= end) cutshort();
    r.kind = static_cast<Cell::Kind>(*p++);
    if (r.kind == Cell::Text || r.kind == Cell::Blob) {
      std::uint32_t len = 0;
      if (end - p < 4) cutshort();
      std::memcpy(&len, p, 4);
      if (static_cast<std::size_t>(end - p - 4) < len) cutshort();
      r.data = p + 4;
      r.size = len;
      p += 4 + len;
    } else {
      if (end - p < 8) cutshort();
      std::memcpy(r.kind == Cell::Integer ? static_cast<void*>(&r.integer) : &r.real, p, 8);
      p += 8;
    }
    return r;
  }
  CellRef at(std::size_t i) {
    while (next < i) {  // values before field i not asked for are passed over
      std::uint64_t rest = bits[next / 64] >> (next % 64);
      if (!rest) {
        next = (next / 64 + 1) * 64;
        continue;
      }
      std::size_t f = next + static_cast<std::size_t>(std::countr_zero(rest));
      if (f >= i) break;
      read();
      next = f + 1;
    }
    next = i + 1;
    CellRef r;
    if (valued(i)) r = read();
    if (static_cast<int>(i) == replaceField && replace) return CellRef::of(*replace);
    return r;
  }
};
}  // namespace

void Table::insertPacked(const char* packed, std::size_t size, int replaceField, const Cell* replace) {
  checked(0);
  Impl& d = *d_;
  const std::size_t n = d.fields.size(), words = (n + 63) / 64;
  if (size < words * 8) throw EngineError("Table " + d.file + ": a packed row of the wrong width.");
  // The packed bits say where the packed values lie; the row's own bits
  // (the replaced field set or cleared) say which columns to name.
  std::vector<std::uint64_t>& rowBits = d.packedMask;
  rowBits.resize(words);
  std::memcpy(rowBits.data(), packed, words * 8);
  d.packedBits.assign(rowBits.begin(), rowBits.end());
  if (replace && replaceField >= 0 && static_cast<std::size_t>(replaceField) < n) {
    std::uint64_t bit = std::uint64_t{1} << (replaceField % 64);
    if (replace->kind == Cell::Null) rowBits[replaceField / 64] &= ~bit;
    else rowBits[replaceField / 64] |= bit;
  } else {
    replace = nullptr;
  }
  PackedValues values{d.packedBits.data(), packed + words * 8, packed + size, d.file, 0, replaceField, replace};
  d.storeRow(values, rowBits);
  d.positioned = true;
  d.atEnd = false;
  d.rowLoaded = false;
  d.orderValid = false;
}

void Table::insertPackedMany(const PackedRow* rows, std::size_t count, bool* stored) {
  checked(0);
  Impl& d = *d_;
  std::fill(stored, stored + count, false);
  if (count == 0 || d.groupDepth == 0 || d.key < 0 || d.autoinc.empty()) return;
  if (d.triggered < 0) {  // asked once a group, when first needed
    Statement triggers;
    d.triggered = triggers.prepare(d.db, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 "
                                         "COLLATE NOCASE") != SQLITE_OK ||
                  sqlite3_bind_text(triggers.get(), 1, d.tableName.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK ||
                  sqlite3_step(triggers.get()) != SQLITE_DONE;
  }
  if (d.triggered) return;
  const std::size_t n = d.fields.size(), words = (n + 63) / 64;
  // The columns to name: those any of the rows gives a value.
  std::vector<std::uint64_t>& mask = d.packedMask;
  mask.assign(words, 0);
  for (std::size_t j = 0; j < count; ++j) {
    if (rows[j].size < words * 8) throw EngineError("Table " + d.file + ": a packed row of the wrong width.");
    for (std::size_t w = 0; w < words; ++w) {
      std::uint64_t bits;
      std::memcpy(&bits, rows[j].data + w * 8, 8);
      mask[w] |= bits;
    }
  }
  d.refreshAutoinc();
  Impl::InsertPlan& plan = d.insertPlan(mask, count);
  sqlite3_stmt* s = plan.statement.get();
  // Per row: its key and first autoincrement number (to ask afterwards
  // whether it was stored) and its value bytes.
  struct Bound {
    CellRef key;
    long long number = 0;
    long long bytes = 0;
  };
  std::vector<Bound> bound(count);
  std::vector<long long> next = d.nextAuto;
  std::vector<std::uint64_t>& bits = d.packedBits;
  bits.resize(words);
  int param = 0;
  // Which rows were stored is asked by key and number: a row without a key,
  // or with a number that is not a number, goes the one-by-one way.
  bool askable = true;
  for (std::size_t j = 0; j < count; ++j) {
    std::memcpy(bits.data(), rows[j].data, words * 8);
    PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, d.file, 0, -1, nullptr};
    for (int i : plan.columns) {
      CellRef c = values.at(static_cast<std::size_t>(i));
      ++param;
      const int k = d.autoSlot[i];
      if (k >= 0) {
        if (c.kind == Cell::Null) c = CellRef{Cell::Integer, next[k]++};
        else if (c.kind == Cell::Integer) next[k] = std::max(next[k], c.integer + 1);
        if (k == 0) {
          if (c.kind != Cell::Integer) askable = false;
          bound[j].number = c.integer;
        }
      }
      if (i == d.key) {
        if (c.kind == Cell::Null) askable = false;
        bound[j].key = c;
      }
      Impl::bind(s, param, c);
      if (c.kind != Cell::Null) bound[j].bytes += cellbytes(c);
    }
  }
  for (std::size_t j = 0; j < count; ++j)
    if (bound[j].key.kind == Cell::Null) askable = false;
  if (!askable) return;  // bound but not run: nothing stored
  int rc = sqlite3_step(s);
  const int inserted = sqlite3_changes(d.db);
  sqlite3_reset(s);
  if (rc != SQLITE_DONE && sqlite3_get_autocommit(d.db)) d.failInGroup(rc);  // the group is gone
  // Numbers given to rows passed over are not given again.
  for (std::size_t k = 0; k < d.autoinc.size(); ++k) d.nextAuto[k] = std::max(d.nextAuto[k], next[k]);
  if (rc == SQLITE_DONE && inserted == static_cast<int>(count)) {
    std::fill(stored, stored + count, true);
  } else {
    // Some rows were passed over (or the statement stopped part way): a row
    // is stored when the table holds its key with its number.
    if (!d.storedProbe &&
        d.storedProbe.prepare(d.db, "SELECT 1 FROM " + d.table + " WHERE " + quoteid(d.fields[d.key].name) +
                                        " = ? AND " + quoteid(d.fields[d.autoinc[0]].name) + " = ?") != SQLITE_OK)
      throw TableUnavailable("Table " + d.file + ": " + sqlite3_errmsg(d.db) + ".");
    sqlite3_stmt* probe = d.storedProbe.get();
    for (std::size_t j = 0; j < count; ++j) {
      Impl::bind(probe, 1, bound[j].key);
      sqlite3_bind_int64(probe, 2, bound[j].number);
      int prc = sqlite3_step(probe);
      sqlite3_reset(probe);
      if (prc != SQLITE_ROW && prc != SQLITE_DONE) throw TableUnavailable(d.describe(prc));
      stored[j] = prc == SQLITE_ROW;
    }
  }
  for (std::size_t j = 0; j < count; ++j)
    if (stored[j]) d.bytesStored += bound[j].bytes;
  d.current = sqlite3_last_insert_rowid(d.db);
  d.positioned = true;
  d.atEnd = false;
  d.rowLoaded = false;
  d.orderValid = false;
}

void Table::drop() {
  d_->mode = Impl::None;
  d_->changed = false;
}

void Table::beginGroup() {
  checked(0);
  if (d_->groupDepth == 0) {
    int rc = execsql(d_->db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) d_->fail(rc);
    d_->autoincFresh = false;
    d_->triggered = -1;
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
    if (sqlite3_get_autocommit(d.db)) d.groupDepth = 0, d.forgetAutoinc();
    d.fail(rc);
  }
  d.groupDepth = 0;
  d.autoincFresh = false;
  if (d.copier) {
    // The copier copies what this commit added while the next group is
    // written.  The journal cannot start over while a writer goes on (only
    // an empty journal does), so past kJournalLimit bytes this commit copies
    // the rest itself and lets the next group start it over.
    if (static_cast<long long>(d.walFrames) * d.pageBytes > d.journalLimit) {
      d.copier->wait();
      d.copyback(SQLITE_CHECKPOINT_RESTART);
      d.walFrames = 0;
    } else {
      d.copier->poke();
    }
  }
}

void Table::setBackgroundCopy(bool on, long long journalLimit) {
  Impl& d = *d_;
  if (!d.db || on == (d.copier != nullptr)) return;
  if (on) {
    Statement mode;
    if (mode.prepare(d.db, "PRAGMA journal_mode") != SQLITE_OK || sqlite3_step(mode.get()) != SQLITE_ROW) return;
    const unsigned char* m = sqlite3_column_text(mode.get(), 0);
    if (!m || !sametext(reinterpret_cast<const char*>(m), "wal")) return;
    mode.finalize();
    d.copier = std::make_unique<JournalCopier>(d.path);
    d.walFrames = 0;
    d.journalLimit = journalLimit;
    sqlite3_wal_hook(d.db, &Impl::onwal, &d);  // in place of the commits' own copies
    return;
  }
  d.copier.reset();
  sqlite3_wal_autocheckpoint(d.db, d.autoFrames);
  // The rest copied back and the journal emptied, unless a reader keeps
  // using it (then the next commit's copy takes it).
  if (d.groupDepth == 0) d.copyback(SQLITE_CHECKPOINT_TRUNCATE);
}

void Table::rollbackGroup() {
  checked(0);
  Impl& d = *d_;
  if (d.groupDepth == 0) return;
  if (!sqlite3_get_autocommit(d.db)) execsql(d.db, "ROLLBACK");
  d.groupDepth = 0;
  d.forgetAutoinc();
  d.orderValid = false;
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
  const std::uint64_t bit = std::uint64_t{1} << (position % 64);
  if (value.kind == Cell::Null) d.valuedBits[position / 64] &= ~bit;
  else d.valuedBits[position / 64] |= bit;
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
void Table::setText(int p, std::string_view v) {
  const FieldDef& def = checked(p);
  Impl& d = *d_;
  // A text that fits its text field is copied into the pending cell's own
  // storage; anything else goes through the general conversion.
  bool fits = def.type == FieldType::Memo ||
              (def.type == FieldType::Alpha && (def.size <= 0 || v.size() <= static_cast<std::size_t>(def.size)));
  if (d.mode != Impl::None && v.empty()) {
    // An empty text empties the cell in every type; its storage is kept.
    Cell& c = d.pending[p];
    c.kind = Cell::Null;
    c.integer = 0;
    c.real = 0;
    c.text.clear();
    d.valuedBits[p / 64] &= ~(std::uint64_t{1} << (p % 64));
    d.written[p] = true;
    d.changed = true;
    return;
  }
  if (d.mode == Impl::None || !fits) {
    write(p, textcell(def, v));
    return;
  }
  putpending(p, v.data(), v.size());
}
void Table::putpending(int p, const char* text, std::size_t size) {
  Impl& d = *d_;
  Cell& c = d.pending[p];
  c.kind = Cell::Text;
  // Emptied and appended to rather than assigned: the text never lies in
  // the cell, and appending skips assign's overlap checks.
  c.text.clear();
  c.text.append(text, size);
  d.valuedBits[p / 64] |= std::uint64_t{1} << (p % 64);
  d.written[p] = true;
  d.changed = true;
}
void Table::readText(int p, std::string& out) const {
  const Cell& c = cell(p);
  if (c.kind == Cell::Text || c.kind == Cell::Blob) out.assign(c.text);
  else out = celltext(d_->fields[p], c);
}
std::string_view Table::textView(int p, std::string& scratch) const {
  const Cell& c = cell(p);
  if (c.kind == Cell::Text || c.kind == Cell::Blob) return c.text;
  scratch = celltext(d_->fields[p], c);
  return scratch;
}
long long Table::bytesStored() const { return d_->bytesStored; }
void Table::setInteger(int p, long long v) { write(p, integercell(checked(p), v)); }
void Table::setDouble(int p, double v) { write(p, doublecell(checked(p), v)); }
void Table::setBool(int p, bool v) { write(p, boolcell(checked(p), v)); }
void Table::setDateTime(int p, double v) {
  const FieldDef& def = checked(p);
  // A date or time field of the pending row gets its text written straight
  // into its cell; anything else goes through the general conversion.
  char text[kDateTimeTextMax];
  const std::size_t n = d_->mode != Impl::None ? datetimetextinto(def.type, v, text) : 0;
  if (n == 0) {
    write(p, datetimecell(def, v));
    return;
  }
  putpending(p, text, n);
}
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
