// Packed rows stored several at a time with one statement (insertmany).
#include "store/tablewriter.h"

#include "store/rowprint.h"
#include "store/tablewriterstate.h"

namespace vesper {

void TableWriter::askedtriggers() {
  State& s = *s_;
  if (s.triggered >= 0) return;  // asked once a group, when first needed
  Statement triggers;
  s.triggered = triggers.prepare(file_.db, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 "
                                           "COLLATE NOCASE") != SQLITE_OK ||
                sqlite3_bind_text(triggers.get(), 1, file_.tablename.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK ||
                sqlite3_step(triggers.get()) != SQLITE_DONE;
}

void TableWriter::insertmany(const PackedRow* rows, std::size_t count, bool* stored) {
  if (!file_.db) throw EngineError("Cannot perform this operation on a closed table.");
  State& s = *s_;
  TableFile& f = file_;
  std::fill(stored, stored + count, false);
  if (count == 0 || s.groupdepth == 0 || f.key < 0 || f.autoinc.empty()) return;
  askedtriggers();
  if (s.triggered) return;
  const std::size_t n = f.fields.size(), words = (n + 63) / 64;
  // The columns to name: those any of the rows gives a value.
  std::vector<std::uint64_t>& mask = s.packedmask;
  mask.assign(words, 0);
  for (std::size_t j = 0; j < count; ++j) {
    if (rows[j].size < words * 8) throw EngineError("Table " + f.file + ": a packed row of the wrong width.");
    for (std::size_t w = 0; w < words; ++w) {
      std::uint64_t bits;
      std::memcpy(&bits, rows[j].data + w * 8, 8);
      mask[w] |= bits;
    }
  }
  s.refreshautoinc();
  State::InsertPlan& plan = s.insertplan(mask.data(), count);
  sqlite3_stmt* st = plan.statement.get();
  // Per row: its key and first autoincrement number (to ask afterwards
  // whether it was stored) and its value bytes.
  struct Bound {
    CellRef key;
    long long number = 0;
    long long bytes = 0;
    std::uint64_t print = 0;  // of the values bound, for the import history
    long long rowid = 0;
  };
  std::vector<Bound> bound(count);
  std::vector<long long> next = s.nextauto;
  std::vector<std::uint64_t>& bits = s.packedbits;
  bits.resize(words);
  int param = 0;
  // Which rows were stored is asked by key and number: a row without a key,
  // or with a number that is not a number, goes the one-by-one way.
  bool askable = true;
  const bool trailed = s.trail.run() != 0;
  for (std::size_t j = 0; j < count; ++j) {
    std::memcpy(bits.data(), rows[j].data, words * 8);
    PackedValues values{bits.data(), rows[j].data + words * 8, rows[j].data + rows[j].size, f.file};
    RowPrint print;
    for (int i : plan.columns) {
      CellRef c = values.at(static_cast<std::size_t>(i));
      ++param;
      const int k = f.autoslot[i];
      if (k >= 0) {
        if (c.kind == Cell::Null) c = CellRef{Cell::Integer, next[k]++};
        else if (c.kind == Cell::Integer) next[k] = std::max(next[k], c.integer + 1);
        if (k == 0) {
          if (c.kind != Cell::Integer) askable = false;
          bound[j].number = c.integer;
        }
      }
      if (i == f.key) {
        if (c.kind == Cell::Null) askable = false;
        bound[j].key = c;
      }
      TableFile::bind(st, param, c);
      if (c.kind != Cell::Null) bound[j].bytes += cellbytes(c);
      if (trailed) print.add(i, c);
    }
    bound[j].print = print.value();
  }
  for (std::size_t j = 0; j < count; ++j)
    if (bound[j].key.kind == Cell::Null) askable = false;
  // A row's id: its key where the key is the row id, else numbered after
  // the last row in turn (or, when some rows were passed over, asked).
  const bool keyisrowid = f.rowidfield >= 0;
  if (!askable) return;  // bound but not run: nothing stored
  int rc = sqlite3_step(st);
  const int inserted = sqlite3_changes(f.db);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE && sqlite3_get_autocommit(f.db)) s.failingroup(rc);  // the group is gone
  // Numbers given to rows passed over are not given again.
  for (std::size_t k = 0; k < f.autoinc.size(); ++k) s.nextauto[k] = std::max(s.nextauto[k], next[k]);
  if (rc == SQLITE_DONE && inserted == static_cast<int>(count)) {
    std::fill(stored, stored + count, true);
    const long long last = sqlite3_last_insert_rowid(f.db);
    for (std::size_t j = 0; j < count; ++j)
      bound[j].rowid = keyisrowid ? bound[j].key.integer : last - static_cast<long long>(count - 1 - j);
  } else {
    // Some rows were passed over (or the statement stopped part way): a row
    // is stored when the table holds its key with its number.
    if (!s.storedprobe &&
        s.storedprobe.prepare(f.db, "SELECT rowid FROM " + f.table + " WHERE " + quoteid(f.fields[f.key].name) +
                                        " = ? AND " + quoteid(f.fields[f.autoinc[0]].name) + " = ?") != SQLITE_OK)
      throw TableUnavailable("Table " + f.file + ": " + sqlite3_errmsg(f.db) + ".");
    sqlite3_stmt* probe = s.storedprobe.get();
    for (std::size_t j = 0; j < count; ++j) {
      TableFile::bind(probe, 1, bound[j].key);
      sqlite3_bind_int64(probe, 2, bound[j].number);
      int prc = sqlite3_step(probe);
      stored[j] = prc == SQLITE_ROW;
      if (stored[j]) bound[j].rowid = sqlite3_column_int64(probe, 0);
      sqlite3_reset(probe);
      if (prc != SQLITE_ROW && prc != SQLITE_DONE) throw TableUnavailable(f.describe(prc));
    }
  }
  for (std::size_t j = 0; j < count; ++j) {
    if (!stored[j]) continue;
    s.bytesstored += bound[j].bytes;
    if (trailed) s.trail.add(f, bound[j].rowid, bound[j].print, keyprint(f.key, bound[j].key));
  }
  s.lastrowid = sqlite3_last_insert_rowid(f.db);
  ++s.rowsstored;
}

}  // namespace vesper
