#include "store/serverhistory.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "base/errors.h"
#include "parse/text.h"
#include "store/netorder.h"
#include "store/rowprint.h"
#include "store/serverlink.h"
#include "store/servertables.h"
#include "store/sqlid.h"

namespace vesper {

namespace {

// The schema part of the table's qualified name ("pnant" of "pnant"."contact").
std::string schemaof(const ServerLink& l) { return l.table.substr(0, l.table.rfind('.')); }
std::string imports(const ServerLink& l) { return schemaof(l) + ".imports"; }
std::string importkeys(const ServerLink& l) { return schemaof(l) + ".importkeys"; }

const std::string& keycolumn(const ServerLink& l) {
  if (l.key < 0) throw EngineError("Table " + l.name + " has no key: its imports cannot be recorded.");
  return l.columns[static_cast<std::size_t>(l.key)];
}

PgResult query(ServerLink& l, const std::string& sql, std::initializer_list<std::string> values) {
  ServerParams p;
  p.start();
  for (const std::string& v : values) p.add() = v;
  PgResult r = l.run(sql, p);
  if (!ServerLink::ok(r.get())) l.fail(r.get());
  return r;
}

bool exists(ServerLink& l) {
  PgResult r = query(l, "SELECT to_regclass($1) IS NOT NULL", {importkeys(l)});
  return PQgetvalue(r.get(), 0, 0)[0] == 't';
}

long long number(const PGresult* r, int row, int col) { return std::atoll(PQgetvalue(r, row, col)); }

// A transaction of the connection, rolled back unless committed.
struct Transaction {
  ServerLink& l;
  bool open = false;
  explicit Transaction(ServerLink& link) : l(link) {
    if (PQtransactionStatus(l.conn) != PQTRANS_IDLE) throw EngineError("Table " + l.name + " is in the middle of a group.");
    l.exec("BEGIN");
    open = true;
  }
  void commit() {
    l.exec("COMMIT");
    open = false;
  }
  ~Transaction() {
    if (open && l.connected()) PQclear(PQexec(l.conn, "ROLLBACK"));
  }
};

}  // namespace

void addheld(RowPrint& print, const ServerLink& l, int field, CellRef c) {
  const std::size_t f = static_cast<std::size_t>(field);
  if (c.kind == Cell::Null || !l.sequences[f].empty()) return;
  const FieldDef& def = l.fields[f];
  if (def.type == FieldType::Logical && c.kind == Cell::Integer) c.integer = c.integer != 0;
  if (def.type == FieldType::Alpha && def.size > 0 && c.kind == Cell::Text)
    c.size = cutview(std::string_view(c.data, c.size), static_cast<std::size_t>(def.size)).size();
  print.add(field, c);
}

void ServerTrail::begin() {
  keys_.clear();
  prints_.clear();
  rows_ = 0;
}

PGresult* ServerTrail::add(ServerLink& l, const std::string& key, std::uint64_t print) {
  put32(keys_, static_cast<std::uint32_t>(key.size()));
  keys_ += key;
  put64(prints_, print);
  return ++rows_ >= kRows ? write(l) : nullptr;
}

PGresult* ServerTrail::write(ServerLink& l) {
  if (rows_ == 0) return nullptr;
  static const char* const kName = "vesper_trail";
  if (prepared_ != l.conn) {
    // Prepared once a connection; another writer of the connection may have
    // prepared it already.
    PGresult* r = PQexecParams(l.conn, "SELECT 1 FROM pg_prepared_statements WHERE name = $1", 1, nullptr, &kName,
                               nullptr, nullptr, 0);
    if (ServerLink::ok(r) && PQntuples(r) == 0) {
      PQclear(r);
      const Oid types[4] = {20, 20, 17, 17};  // bigint, bigint, bytea, bytea
      r = PQprepare(l.conn, kName,
                    ("INSERT INTO " + importkeys(l) + " (run, seq, keys, prints) VALUES ($1, $2, $3, $4)").c_str(), 4,
                    types);
    }
    if (!ServerLink::ok(r)) {
      begin();
      return r;
    }
    PQclear(r);
    prepared_ = l.conn;
  }
  std::string run, seq;
  put64(run, static_cast<std::uint64_t>(run_));
  put64(seq, static_cast<std::uint64_t>(++seq_));
  const char* values[4] = {run.data(), seq.data(), keys_.data(), prints_.data()};
  const int lengths[4] = {8, 8, static_cast<int>(keys_.size()), static_cast<int>(prints_.size())};
  const int formats[4] = {1, 1, 1, 1};
  PGresult* r = PQexecPrepared(l.conn, kName, 4, values, lengths, formats, 0);
  begin();
  if (ServerLink::ok(r)) {
    PQclear(r);
    return nullptr;
  }
  return r;
}

long long ServerHistory::addrun(const ImportRecord& rec) {
  ServerLink& l = link_;
  keycolumn(l);
  if (!exists(l)) {
    Transaction t(l);
    query(l, "SELECT pg_advisory_xact_lock(hashtext($1))", {importkeys(l)});
    l.exec("CREATE TABLE IF NOT EXISTS " + imports(l) +
           " (run bigserial PRIMARY KEY, started text, source text, spec text, db text, numread bigint, "
           "numimported bigint, numrejected bigint, numbad bigint, state integer)");
    // A row a group's 4096 rows: their keys, each its length (4 bytes) then
    // its text, and their fingerprints, 8 bytes each.
    l.exec("CREATE TABLE IF NOT EXISTS " + importkeys(l) +
           " (run bigint NOT NULL, seq bigint NOT NULL, keys bytea NOT NULL, prints bytea NOT NULL)");
    l.exec("CREATE INDEX IF NOT EXISTS importkeys_run ON " + importkeys(l) + " (run, seq)");
    t.commit();
  }
  PgResult r = query(l, "INSERT INTO " + imports(l) +
                            " (started, source, spec, db, numread, numimported, numrejected, numbad, state) "
                            "VALUES ($1, $2, $3, $4, 0, 0, 0, 0, 0) RETURNING run",
                     {rec.when, rec.source, rec.spec, rec.database});
  return number(r.get(), 0, 0);
}

void ServerHistory::endrun(const ImportRecord& rec) {
  query(link_, "UPDATE " + imports(link_) +
                   " SET numread = $2, numimported = $3, numrejected = $4, numbad = $5, state = 1 "
                   "WHERE run = $1 AND state = 0",
        {std::to_string(rec.run), std::to_string(rec.read), std::to_string(rec.imported),
         std::to_string(rec.rejected), std::to_string(rec.bad)});
}

std::vector<ImportRecord> ServerHistory::runs() {
  std::vector<ImportRecord> out;
  if (!exists(link_)) return out;
  PgResult r = query(link_, "SELECT run, started, source, spec, db, numread, numimported, numrejected, numbad, state FROM " +
                                imports(link_) + " ORDER BY run", {});
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    ImportRecord rec;
    rec.run = number(r.get(), i, 0);
    rec.when = PQgetvalue(r.get(), i, 1);
    rec.source = PQgetvalue(r.get(), i, 2);
    rec.spec = PQgetvalue(r.get(), i, 3);
    rec.database = PQgetvalue(r.get(), i, 4);
    rec.read = number(r.get(), i, 5);
    rec.imported = number(r.get(), i, 6);
    rec.rejected = number(r.get(), i, 7);
    rec.bad = number(r.get(), i, 8);
    const long long state = number(r.get(), i, 9);
    rec.state = state == 2 ? ImportRecord::State::Undone
                : state == 1 ? ImportRecord::State::Finished
                             : ImportRecord::State::Running;
    out.push_back(std::move(rec));
  }
  return out;
}

UndoOutcome ServerHistory::undo(long long run, const std::function<void()>& midway) {
  ServerLink& l = link_;
  UndoOutcome out;
  for (const ImportRecord& r : runs())
    if (r.run == run) out.run = r;
  if (out.run.run == 0) {
    out.result = UndoOutcome::Result::NoSuchRun;
    return out;
  }
  if (out.run.state == ImportRecord::State::Undone) {
    out.result = UndoOutcome::Result::AlreadyUndone;
    return out;
  }
  const std::string& key = keycolumn(l);
  const std::string id = std::to_string(run);
  Transaction t(l);
  // Another undo of the same run waits here, then finds it undone.
  PgResult state = query(l, "SELECT state FROM " + imports(l) + " WHERE run = $1 FOR UPDATE", {id});
  if (PQntuples(state.get()) == 1 && number(state.get(), 0, 0) == 2) {
    out.result = UndoOutcome::Result::AlreadyUndone;
    return out;
  }
  // The run's trail is read back in order (its bytea in binary form); each batch's rows are fetched
  // by key, compared with their fingerprints as they stand now, and those
  // unchanged removed.
  query(l, "DECLARE vesper_trail NO SCROLL CURSOR FOR SELECT keys, prints FROM " + importkeys(l) +
               " WHERE run = $1 ORDER BY seq",
        {id});
  std::string columns;
  for (const std::string& c : l.columns) columns += ", " + c;
  const std::string fetch =
      "SELECT ctid, " + key + "::text" + columns + " FROM " + l.table + " WHERE " + key + " = ANY($1) FOR UPDATE";
  const int fields = static_cast<int>(l.fields.size());
  std::unordered_map<std::string, std::uint64_t> held;
  std::string keys, tids;
  for (;;) {
    PgResult batches = pgresult(PQexecParams(l.conn, "FETCH 8 FROM vesper_trail", 0, nullptr, nullptr, nullptr, nullptr, 1));
    if (!ServerLink::ok(batches.get())) l.fail(batches.get());
    if (PQntuples(batches.get()) == 0) break;
    for (int b = 0; b < PQntuples(batches.get()); ++b) {
      const auto* k = reinterpret_cast<const unsigned char*>(PQgetvalue(batches.get(), b, 0));
      const auto* kend = k + PQgetlength(batches.get(), b, 0);
      const auto* p = reinterpret_cast<const unsigned char*>(PQgetvalue(batches.get(), b, 1));
      held.clear();
      keys = "{";
      for (; kend - k >= 4 && kend - k - 4 >= get32(k); p += 8) {
        std::string text(reinterpret_cast<const char*>(k) + 4, get32(k));
        k += 4 + text.size();
        keys += keys.size() > 1 ? ",\"" : "\"";
        for (char c : text) {
          if (c == '"' || c == '\\') keys += '\\';
          keys += c;
        }
        keys += '"';
        held.emplace(std::move(text), get64(p));
      }
      keys += '}';
      PgResult rows = query(l, fetch, {keys});
      const int count = PQntuples(rows.get());
      out.gone += static_cast<long long>(held.size()) - count;
      tids = "{";
      for (int t = 0; t < count; ++t) {
        RowPrint now;
        for (int f = 0; f < fields; ++f) {
          if (PQgetisnull(rows.get(), t, f + 2)) continue;
          const Cell c = l.readvalue(f, PQgetvalue(rows.get(), t, f + 2), PQgetlength(rows.get(), t, f + 2));
          addheld(now, l, f, CellRef::of(c));
        }
        const auto was = held.find(PQgetvalue(rows.get(), t, 1));
        if (was == held.end() || now.value() != was->second) {
          out.kept.emplace_back(PQgetvalue(rows.get(), t, 1));
          continue;
        }
        tids += tids.size() > 1 ? ",\"" : "\"";
        tids += PQgetvalue(rows.get(), t, 0);
        tids += '"';
      }
      tids += '}';
      if (tids.size() == 2) continue;
      PgResult removed = query(l, "DELETE FROM " + l.table + " WHERE ctid = ANY($1::tid[])", {tids});
      out.removed += std::atoll(PQcmdTuples(removed.get()));
    }
  }
  query(l, "CLOSE vesper_trail", {});
  std::sort(out.kept.begin(), out.kept.end());
  if (midway) midway();
  query(l, "UPDATE " + imports(l) + " SET state = 2 WHERE run = $1", {id});
  // NumImport of the run's database, where it still shows the run's count.
  PgResult names = query(l,
                         "SELECT t.relname, (SELECT attname FROM pg_attribute WHERE attrelid = t.oid AND lower(attname) = "
                         "'db' AND attnum > 0), (SELECT attname FROM pg_attribute WHERE attrelid = t.oid AND "
                         "lower(attname) = 'numimport' AND attnum > 0) FROM pg_class t WHERE t.relnamespace = "
                         "(SELECT relnamespace FROM pg_class WHERE oid = $1::regclass) AND lower(t.relname) = "
                         "'database' AND t.relkind = 'r'",
                         {l.table});
  if (PQntuples(names.get()) == 1 && !PQgetisnull(names.get(), 0, 1) && !PQgetisnull(names.get(), 0, 2)) {
    const std::string table = schemaof(l) + "." + quoteid(PQgetvalue(names.get(), 0, 0));
    const std::string db = quoteid(PQgetvalue(names.get(), 0, 1)), num = quoteid(PQgetvalue(names.get(), 0, 2));
    query(l, "UPDATE " + table + " SET " + num + " = $3 WHERE " + db + " = $1 AND " + num + " = $2",
          {out.run.database, std::to_string(out.run.imported), std::to_string(out.kept.size())});
  }
  t.commit();
  return out;
}

}  // namespace vesper
