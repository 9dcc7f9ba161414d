#include "store/tablewriter.h"

#include "parse/text.h"
#include "store/tablewriterstate.h"

namespace vesper {

// --- the state ---

void TableWriter::State::refreshAutoinc() {
  if (file.autoinc.empty()) return;
  if (groupDepth > 0 && autoincFresh && nextAuto.size() == file.autoinc.size()) return;
  if (!dataVersion) file.check(dataVersion.prepare(file.db, "PRAGMA data_version"));
  int rc = sqlite3_step(dataVersion.get());
  long long version = rc == SQLITE_ROW ? sqlite3_column_int64(dataVersion.get(), 0) : -2;
  dataVersion.reset();
  if (rc != SQLITE_ROW) file.fail(rc);
  if (version == seenVersion && nextAuto.size() == file.autoinc.size()) {
    autoincFresh = groupDepth > 0;
    return;
  }
  nextAuto.clear();
  for (int p : file.autoinc) {
    Statement st;
    file.check(st.prepare(file.db, "SELECT MAX(" + quoteid(file.fields[p].name) + ") FROM " + file.table));
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) file.fail(rc);
    nextAuto.push_back(sqlite3_column_int64(st.get(), 0) + 1);
  }
  seenVersion = version;
  autoincFresh = groupDepth > 0;
}

// A statement naming more columns than the row needs serves as well (the
// others are bound NULL), so a row whose columns all appear in a kept
// statement uses it; otherwise a new statement names the columns of this row
// and of the last one used, so the statements grow towards the set an import
// writes and are rarely made anew.  A statement for several rows at once
// passes over a row whose key the table holds instead of failing; those are
// kept apart from the one-row statements.
TableWriter::State::InsertPlan& TableWriter::State::insertPlan(const std::uint64_t* valued, std::size_t rows) {
  std::vector<std::unique_ptr<InsertPlan>>& kept = rows == 1 ? inserts : manyInserts;
  const std::vector<std::uint64_t>& named = file.namedMask;
  const std::size_t words = named.size();
  rowMask = named;
  for (std::size_t w = 0; w < words; ++w) rowMask[w] |= valued[w];
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const InsertPlan& p = *kept[k];
    bool covers = p.rows == rows;
    for (std::size_t w = 0; w < words && covers; ++w) covers = (rowMask[w] & ~p.mask[w]) == 0;
    if (!covers) continue;
    if (k > 0) std::rotate(kept.begin(), kept.begin() + static_cast<long>(k), kept.begin() + static_cast<long>(k) + 1);
    return *kept.front();
  }
  if (!kept.empty())
    for (std::size_t w = 0; w < words; ++w) rowMask[w] |= kept.front()->mask[w];
  auto plan = std::make_unique<InsertPlan>();
  plan->mask = rowMask;
  plan->rows = rows;
  std::string cols, marks;
  for (std::size_t i = 0; i < file.fields.size(); ++i) {
    if (!(rowMask[i / 64] >> (i % 64) & 1)) continue;
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

void TableWriter::State::failInGroup(int rc, std::string msg) {
  if (groupDepth > 0 && sqlite3_get_autocommit(file.db)) {
    groupDepth = 0;
    forgetAutoinc();
    throw TableUnavailable(msg + " The rows stored since the group began were not saved.");
  }
  TableFile::fail(rc, msg);
}

StoreResult TableWriter::State::refusal(int rc, std::string msg) {
  if (TableFile::unavailable(rc) || (groupDepth > 0 && sqlite3_get_autocommit(file.db)))
    failInGroup(rc, std::move(msg));
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
  bool ownTransaction = s.groupDepth == 0 && !f.autoinc.empty();
  if (ownTransaction) {
    int rc = execsql(f.db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) f.fail(rc);
  }
  int rc = SQLITE_OK;
  s.assigned.assign(f.autoinc.size(), 0);  // kept between rows: no allocation per row
  try {
    s.refreshAutoinc();
    State::InsertPlan& plan = s.insertPlan(valued);
    sqlite3_stmt* st = plan.statement.get();
    int n = 0;
    long long bytes = 0;
    for (int i : plan.columns) {
      const CellRef c = source.at(static_cast<std::size_t>(i));
      const int k = f.autoSlot[i];
      ++n;
      if (k >= 0) {
        // A number given is kept, and the counter moves past it.
        if (c.kind == Cell::Null) {
          s.assigned[k] = s.nextAuto[k];
          sqlite3_bind_int64(st, n, s.assigned[k]);
          bytes += 8;
          continue;
        }
        if (c.kind == Cell::Integer) s.assigned[k] = c.integer;
      }
      // Every parameter is bound for every row: no clearing between rows.
      TableFile::bind(st, n, c);
      if (c.kind != Cell::Null) bytes += cellbytes(c);
    }
    rc = sqlite3_step(st);
    sqlite3_reset(st);  // the bound texts are the caller's: bound again before the next step
    if (rc == SQLITE_DONE) s.bytesStored += bytes;
  } catch (...) {
    if (ownTransaction) execsql(f.db, "ROLLBACK");
    throw;
  }
  if (rc != SQLITE_DONE) {
    std::string msg = f.describe(rc);  // before the rollback answers in its place
    if (ownTransaction) execsql(f.db, "ROLLBACK");
    return s.refusal(rc, std::move(msg));
  }
  long long rowid = sqlite3_last_insert_rowid(f.db);
  if (ownTransaction) {
    int crc = execsql(f.db, "COMMIT");
    if (crc != SQLITE_OK) {
      execsql(f.db, "ROLLBACK");
      f.fail(crc);
    }
  }
  for (std::size_t k = 0; k < f.autoinc.size(); ++k) s.nextAuto[k] = std::max(s.nextAuto[k], s.assigned[k] + 1);
  s.lastRowid = rowid;
  ++s.rowsStored;
  return {};
}

StoreResult TableWriter::insert(const RowBuilder& row) {
  needopen(file_);
  if (!row.isNew()) throw EngineError("Table " + file_.file + " is not in insert mode.");
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
  std::vector<std::uint64_t>& rowBits = s.packedMask;
  rowBits.resize(words);
  std::memcpy(rowBits.data(), row.data, words * 8);
  s.packedBits.assign(rowBits.begin(), rowBits.end());
  if (value && field >= 0 && static_cast<std::size_t>(field) < n) {
    std::uint64_t bit = std::uint64_t{1} << (field % 64);
    if (value->kind == Cell::Null) rowBits[field / 64] &= ~bit;
    else rowBits[field / 64] |= bit;
  } else {
    value = nullptr;
  }
  PackedValues values{s.packedBits.data(), row.data + words * 8, row.data + row.size, file_.file, 0, field, value};
  return storerow(values, rowBits.data());
}

std::string TableWriter::lastKeyBetween(std::string_view low, std::string_view high) {
  needopen(file_);
  State& s = *s_;
  const TableFile& f = file_;
  if (f.key < 0) return {};
  if (!s.keyRange) {
    std::string k = quoteid(f.fields[f.key].name);
    f.check(s.keyRange.prepare(f.db, "SELECT " + k + " FROM " + f.table + " WHERE " + k + " >= ? AND " + k +
                                         " <= ? ORDER BY " + k + " DESC LIMIT 1"));
  }
  sqlite3_stmt* st = s.keyRange.get();
  sqlite3_bind_text(st, 1, low.data(), static_cast<int>(low.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 2, high.data(), static_cast<int>(high.size()), SQLITE_STATIC);
  int rc = sqlite3_step(st);
  std::string found;
  if (rc == SQLITE_ROW) {
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    found.assign(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
  }
  s.keyRange.reset();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) f.fail(rc);
  return found;
}

// --- groups and the journal ---

void TableWriter::beginGroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupDepth == 0) {
    int rc = execsql(file_.db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) file_.fail(rc);
    s.autoincFresh = false;
    s.triggered = -1;
  }
  ++s.groupDepth;
}

void TableWriter::commitGroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupDepth == 0) return;
  if (s.groupDepth > 1) {
    --s.groupDepth;
    return;
  }
  int rc = execsql(file_.db, "COMMIT");
  if (rc != SQLITE_OK) {
    // A commit that could not finish leaves the group open for another try,
    // unless SQLite has rolled it back already.
    if (sqlite3_get_autocommit(file_.db)) s.groupDepth = 0, s.forgetAutoinc();
    file_.fail(rc);
  }
  s.groupDepth = 0;
  s.autoincFresh = false;
  if (s.copier) {
    // The copier copies what this commit added while the next group is
    // written.  The journal cannot start over while a writer goes on (only
    // an empty journal does), so past the limit this commit copies the rest
    // itself and lets the next group start it over.
    if (static_cast<long long>(s.walFrames) * file_.pageBytes > s.journalLimit) {
      s.copier->wait();
      s.copyback(SQLITE_CHECKPOINT_RESTART);
      s.walFrames = 0;
    } else {
      s.copier->poke();
    }
  }
}

void TableWriter::rollbackGroup() {
  needopen(file_);
  State& s = *s_;
  if (s.groupDepth == 0) return;
  if (!sqlite3_get_autocommit(file_.db)) execsql(file_.db, "ROLLBACK");
  s.groupDepth = 0;
  s.forgetAutoinc();
  ++s.rollbacks;
}

bool TableWriter::inGroup() const { return s_->groupDepth > 0; }

void TableWriter::setBackgroundCopy(bool on, long long journalLimit) {
  State& s = *s_;
  if (!file_.db || on == (s.copier != nullptr)) return;
  if (on) {
    Statement mode;
    if (mode.prepare(file_.db, "PRAGMA journal_mode") != SQLITE_OK || sqlite3_step(mode.get()) != SQLITE_ROW) return;
    const unsigned char* m = sqlite3_column_text(mode.get(), 0);
    if (!m || !sametext(reinterpret_cast<const char*>(m), "wal")) return;
    mode.finalize();
    s.copier = std::make_unique<JournalCopier>(file_.path);
    s.walFrames = 0;
    s.journalLimit = journalLimit;
    sqlite3_wal_hook(file_.db, &State::onwal, &s);  // in place of the commits' own copies
    return;
  }
  s.copier.reset();
  sqlite3_wal_autocheckpoint(file_.db, file_.autoFrames);
  // The rest copied back and the journal emptied, unless a reader keeps
  // using it (then the next commit's copy takes it).
  if (s.groupDepth == 0) s.copyback(SQLITE_CHECKPOINT_TRUNCATE);
}

long long TableWriter::bytesStored() const { return s_->bytesStored; }
long long TableWriter::rowsStored() const { return s_->rowsStored; }
long long TableWriter::lastRowid() const { return s_->lastRowid; }
long long TableWriter::rollbacks() const { return s_->rollbacks; }

void TableWriter::failstatement(int rc) { s_->failInGroup(rc); }

void TableWriter::close() {
  State& s = *s_;
  if (file_.db) {
    if (s.groupDepth > 0 && execsql(file_.db, "COMMIT") != SQLITE_OK) execsql(file_.db, "ROLLBACK");
    if (s.copier) {
      s.copier.reset();  // closing copies back the rest and removes the journal
      sqlite3_wal_autocheckpoint(file_.db, file_.autoFrames);  // no hook left on this state
    }
  }
  s_ = std::make_unique<State>(file_);  // every statement finalized
}

}  // namespace vesper
