#include "store/tablewriter.h"

#include "parse/text.h"
#include "store/rowprint.h"
#include "store/tablewriterstate.h"

namespace vesper {

// --- the state ---

void TableWriter::State::refreshautoinc() {
  if (file.autoinc.empty()) return;
  if (groupdepth > 0 && autoincfresh && nextauto.size() == file.autoinc.size()) return;
  if (!dataversion) file.check(dataversion.prepare(file.db, "PRAGMA data_version"));
  int rc = sqlite3_step(dataversion.get());
  long long version = rc == SQLITE_ROW ? sqlite3_column_int64(dataversion.get(), 0) : -2;
  dataversion.reset();
  if (rc != SQLITE_ROW) file.fail(rc);
  if (version == seenversion && nextauto.size() == file.autoinc.size()) {
    autoincfresh = groupdepth > 0;
    return;
  }
  nextauto.clear();
  for (int p : file.autoinc) {
    Statement st;
    file.check(st.prepare(file.db, "SELECT MAX(" + quoteid(file.fields[p].name) + ") FROM " + file.table));
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) file.fail(rc);
    nextauto.push_back(sqlite3_column_int64(st.get(), 0) + 1);
  }
  seenversion = version;
  autoincfresh = groupdepth > 0;
}

// A statement naming more columns than the row needs serves as well (the
// others are bound NULL), so a row whose columns all appear in a kept
// statement uses it; otherwise a new statement names the columns of this row
// and of the last one used, so the statements grow towards the set an import
// writes and are rarely made anew.  A statement for several rows at once
// passes over a row whose key the table holds instead of failing; those are
// kept apart from the one-row statements.
TableWriter::State::InsertPlan& TableWriter::State::insertplan(const std::uint64_t* valued, std::size_t rows) {
  std::vector<std::unique_ptr<InsertPlan>>& kept = rows == 1 ? inserts : manyinserts;
  const std::vector<std::uint64_t>& named = file.namedmask;
  const std::size_t words = named.size();
  rowmask = named;
  for (std::size_t w = 0; w < words; ++w) rowmask[w] |= valued[w];
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const InsertPlan& p = *kept[k];
    bool covers = p.rows == rows;
    for (std::size_t w = 0; w < words && covers; ++w) covers = (rowmask[w] & ~p.mask[w]) == 0;
    if (!covers) continue;
    if (k > 0) std::rotate(kept.begin(), kept.begin() + static_cast<long>(k), kept.begin() + static_cast<long>(k) + 1);
    return *kept.front();
  }
  if (!kept.empty())
    for (std::size_t w = 0; w < words; ++w) rowmask[w] |= kept.front()->mask[w];
  auto plan = std::make_unique<InsertPlan>();
  plan->mask = rowmask;
  plan->rows = rows;
  std::string cols, marks;
  for (std::size_t i = 0; i < file.fields.size(); ++i) {
    if (!(rowmask[i / 64] >> (i % 64) & 1)) continue;
    plan->columns.push_back(static_cast<int>(i));
    cols += (cols.empty() ? "" : ", ") + quoteid(file.fields[i].name);
    marks += marks.empty() ? "?" : ", ?";
  }
  std::string sql;
  if (cols.empty()) {
    // A row with no column at all (possible only in a table without
    // autoinc or defaults) still makes a row, of NULLs.
    sql = "INSERT INTO " + file.table + " DEFAULT VALUES";
  } else {
    sql = std::string(rows == 1 ? "INSERT" : "INSERT OR IGNORE") + " INTO " + file.table + " (" + cols + ") VALUES ";
    for (std::size_t r = 0; r < rows; ++r) sql += (r ? ", (" : "(") + marks + ")";
  }
  file.check(plan->statement.prepare(file.db, sql));
  if (kept.size() >= kInsertPlans) kept.pop_back();
  kept.insert(kept.begin(), std::move(plan));
  return *kept.front();
}

void TableWriter::State::failingroup(int rc, std::string msg) {
  if (groupdepth > 0 && sqlite3_get_autocommit(file.db)) {
    groupdepth = 0;
    forgetautoinc();
    throw TableUnavailable(msg + " The rows stored since the group began were not saved.");
  }
  TableFile::fail(rc, msg);
}

StoreResult TableWriter::State::refusal(int rc, std::string msg) {
  if (TableFile::unavailable(rc) || (groupdepth > 0 && sqlite3_get_autocommit(file.db)))
    failingroup(rc, std::move(msg));
  StoreResult r;
  r.kind = rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE ? StoreResult::KeyTaken
                                                                                : StoreResult::Refused;
  r.message = std::move(msg);
  return r;
}

// --- the writer ---

TableWriter::TableWriter(TableFile& file) : file_(file), s_(std::make_unique<State>(file)) {}
TableWriter::~TableWriter() = default;

namespace {
void needopen(const TableFile& f) {
  if (!f.db) throw EngineError("Cannot perform this operation on a closed table.");
}
}  // namespace

// Inserts a new row.  `source.at(i)` gives the value of field i; it is asked
// once for each column the insert names, in table order, and these include
// every field `valued` marks as holding a value.
template <class Source>
StoreResult TableWriter::storerow(Source& source, const std::uint64_t* valued) {
  State& s = *s_;
  TableFile& f = file_;
  bool owntransaction = s.groupdepth == 0 && !f.autoinc.empty();
  if (owntransaction) {
    int rc = execsql(f.db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) f.fail(rc);
  }
  int rc = SQLITE_OK;
  s.assigned.assign(f.autoinc.size(), 0);  // kept between rows: no allocation per row
  try {
    s.refreshautoinc();
    State::InsertPlan& plan = s.insertplan(valued);
    sqlite3_stmt* st = plan.statement.get();
    int n = 0;
    long long bytes = 0;
    const bool trailed = s.groupdepth > 0 && s.trail.run() && f.key >= 0;
    RowPrint print;  // of the values bound: what the table will give back
    CellRef key;
    for (int i : plan.columns) {
      CellRef c = source.at(static_cast<std::size_t>(i));
      const int k = f.autoslot[i];
      ++n;
      if (k >= 0) {
        // A number given is kept, and the counter moves past it.
        if (c.kind == Cell::Null) {
          s.assigned[k] = s.nextauto[k];
          c = CellRef{Cell::Integer, s.assigned[k]};
        } else if (c.kind == Cell::Integer) {
          s.assigned[k] = c.integer;
        }
      }
      if (trailed) {
        print.add(i, c);
        if (i == f.key) key = c;
      }
      // Every parameter is bound for every row: no clearing between rows.
      TableFile::bind(st, n, c);
      if (c.kind != Cell::Null) bytes += cellbytes(c);
    }
    rc = sqlite3_step(st);
    sqlite3_reset(st);  // the bound texts are the caller's: bound again before the next step
    if (rc == SQLITE_DONE) s.bytesstored += bytes;
    if (rc == SQLITE_DONE && trailed) s.trail.add(f, sqlite3_last_insert_rowid(f.db), print.value(), keyprint(f.key, key));
  } catch (...) {
    if (owntransaction) execsql(f.db, "ROLLBACK");
    throw;
  }
  if (rc != SQLITE_DONE) {
    std::string msg = f.describe(rc);  // before the rollback answers in its place
    if (owntransaction) execsql(f.db, "ROLLBACK");
    return s.refusal(rc, std::move(msg));
  }
  long long rowid = sqlite3_last_insert_rowid(f.db);
  if (owntransaction) {
    int crc = execsql(f.db, "COMMIT");
    if (crc != SQLITE_OK) {
      execsql(f.db, "ROLLBACK");
      f.fail(crc);
    }
  }
  for (std::size_t k = 0; k < f.autoinc.size(); ++k) s.nextauto[k] = std::max(s.nextauto[k], s.assigned[k] + 1);
  s.lastrowid = rowid;
  ++s.rowsstored;
  return {};
}

StoreResult TableWriter::insert(const RowBuilder& row) {
  needopen(file_);
  if (!row.isnew()) throw EngineError("Table " + file_.file + " is not in insert mode.");
  struct Cells {
    const std::vector<Cell>& cells;
    CellRef at(std::size_t i) { return CellRef::of(cells[i]); }
  } source{row.cells()};
  return storerow(source, row.valued().data());
}

StoreResult TableWriter::insert(const PackedRow& row) { return insertpacked(row, -1, nullptr); }

StoreResult TableWriter::insert(const PackedRow& row, int field, const Cell& value) {
  return insertpacked(row, field, &value);
}

StoreResult TableWriter::insertpacked(const PackedRow& row, int field, const Cell* value) {
  needopen(file_);
  State& s = *s_;
  const std::size_t n = file_.fields.size(), words = (n + 63) / 64;
  if (row.size < words * 8) throw EngineError("Table " + file_.file + ": a packed row of the wrong width.");
  // The packed bits say where the packed values lie; the row's own bits
  // (the replaced field set or cleared) say which columns to name.
  std::vector<std::uint64_t>& rowbits = s.packedmask;
  rowbits.resize(words);
  std::memcpy(rowbits.data(), row.data, words * 8);
  s.packedbits.assign(rowbits.begin(), rowbits.end());
  if (value && field >= 0 && static_cast<std::size_t>(field) < n) {
    std::uint64_t bit = std::uint64_t{1} << (field % 64);
    if (value->kind == Cell::Null) rowbits[field / 64] &= ~bit;
    else rowbits[field / 64] |= bit;
  } else {
    value = nullptr;
  }
  PackedValues values{s.packedbits.data(), row.data + words * 8, row.data + row.size, file_.file, 0, field, value};
  return storerow(values, rowbits.data());
}

std::string TableWriter::lastkeybetween(std::string_view low, std::string_view high) {
  needopen(file_);
  State& s = *s_;
  const TableFile& f = file_;
  if (f.key < 0) return {};
  if (!s.keyrange) {
    std::string k = quoteid(f.fields[f.key].name);
    f.check(s.keyrange.prepare(f.db, "SELECT " + k + " FROM " + f.table + " WHERE " + k + " >= ? AND " + k +
                                         " <= ? ORDER BY " + k + " DESC LIMIT 1"));
  }
  sqlite3_stmt* st = s.keyrange.get();
  sqlite3_bind_text(st, 1, low.data(), static_cast<int>(low.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 2, high.data(), static_cast<int>(high.size()), SQLITE_STATIC);
  int rc = sqlite3_step(st);
  std::string found;
  if (rc == SQLITE_ROW) {
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    found.assign(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
  }
  s.keyrange.reset();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) f.fail(rc);
  return found;
}

// --- groups and the journal ---

void TableWriter::begingroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupdepth == 0) {
    int rc = execsql(file_.db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) file_.fail(rc);
    s.autoincfresh = false;
    s.triggered = -1;
    s.trail.begin();
  }
  ++s.groupdepth;
}

void TableWriter::commitgroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupdepth == 0) return;
  if (s.groupdepth > 1) {
    --s.groupdepth;
    return;
  }
  // The group's keys go into the import history in its own transaction.
  try {
    s.trail.commit(file_);
  } catch (const EngineError&) {
    if (sqlite3_get_autocommit(file_.db)) s.groupdepth = 0, s.forgetautoinc();
    throw;
  }
  int rc = execsql(file_.db, "COMMIT");
  if (rc != SQLITE_OK) {
    // A commit that could not finish leaves the group open for another try,
    // unless SQLite has rolled it back already.
    if (sqlite3_get_autocommit(file_.db)) s.groupdepth = 0, s.forgetautoinc();
    file_.fail(rc);
  }
  s.groupdepth = 0;
  s.autoincfresh = false;
  if (s.copier) {
    // The copier copies what this commit added while the next group is
    // written.  The journal cannot start over while a writer goes on (only
    // an empty journal does), so past the limit this commit copies the rest
    // itself and lets the next group start it over.
    if (static_cast<long long>(s.walframes) * file_.pagebytes > s.journallimit) {
      s.copier->wait();
      s.copyback(SQLITE_CHECKPOINT_RESTART);
      s.walframes = 0;
    } else {
      s.copier->poke();
    }
  }
}

void TableWriter::rollbackgroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupdepth == 0) return;
  if (!sqlite3_get_autocommit(file_.db)) execsql(file_.db, "ROLLBACK");
  s.groupdepth = 0;
  s.forgetautoinc();
  s.trail.begin();
  ++s.rollbacks;
}

bool TableWriter::ingroup() const { return s_->groupdepth > 0; }
void TableWriter::settrail(long long run) { s_->trail.setrun(run); }

void TableWriter::setbackgroundcopy(bool on, long long journallimit) {
  State& s = *s_;
  if (!file_.db || on == (s.copier != nullptr)) return;
  if (on) {
    Statement mode;
    if (mode.prepare(file_.db, "PRAGMA journal_mode") != SQLITE_OK || sqlite3_step(mode.get()) != SQLITE_ROW) return;
    const unsigned char* m = sqlite3_column_text(mode.get(), 0);
    if (!m || !sametext(reinterpret_cast<const char*>(m), "wal")) return;
    mode.finalize();
    s.copier = std::make_unique<JournalCopier>(file_.path);
    s.walframes = 0;
    s.journallimit = journallimit;
    sqlite3_wal_hook(file_.db, &State::onwal, &s);  // in place of the commits' own copies
    return;
  }
  s.copier.reset();
  sqlite3_wal_autocheckpoint(file_.db, file_.autoframes);
  // The rest copied back and the journal emptied, unless a reader keeps
  // using it (then the next commit's copy takes it).
  if (s.groupdepth == 0) s.copyback(SQLITE_CHECKPOINT_TRUNCATE);
}

long long TableWriter::bytesstored() const { return s_->bytesstored; }
long long TableWriter::rowsstored() const { return s_->rowsstored; }
long long TableWriter::lastrowid() const { return s_->lastrowid; }
long long TableWriter::rollbacks() const { return s_->rollbacks; }

void TableWriter::failstatement(int rc) { s_->failingroup(rc); }

void TableWriter::close() {
  State& s = *s_;
  if (file_.db) {
    if (s.groupdepth > 0 && execsql(file_.db, "COMMIT") != SQLITE_OK) execsql(file_.db, "ROLLBACK");
    if (s.copier) {
      s.copier.reset();  // closing copies back the rest and removes the journal
      sqlite3_wal_autocheckpoint(file_.db, file_.autoframes);  // no hook left on this state
    }
  }
  s_ = std::make_unique<State>(file_);  // every statement finalized
}

}  // namespace vesper
