#include "store/serverhistory.h"

#include <cstdlib>

#include "base/errors.h"
#include "store/serverlink.h"
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

void recordtrail(ServerLink& l, long long run, const std::string& keys) {
  std::string array;
  array.reserve(keys.size() + 2);
  array += '{';
  array += keys;
  array += '}';
  const std::string& key = keycolumn(l);
  ServerParams p;
  p.start();
  p.add() = std::to_string(run);
  p.add() = std::move(array);
  PgResult r = l.run("INSERT INTO " + importkeys(l) + " (run, recno, print) SELECT $1, c." + key +
                         "::text, md5(c::text) FROM " + l.table + " c WHERE c." + key + "::text = ANY($2::text[])",
                     p);
  if (!ServerLink::ok(r.get())) {
    if (!l.connected() || l.unavailable(r.get())) throw TableUnavailable(l.describe(r.get()));
    l.fail(r.get());
  }
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
    l.exec("CREATE TABLE IF NOT EXISTS " + importkeys(l) + " (run bigint NOT NULL, recno text NOT NULL, print text NOT NULL)");
    l.exec("CREATE INDEX IF NOT EXISTS importkeys_run ON " + importkeys(l) + " (run)");
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
  PgResult kept = query(l, "SELECT k.recno FROM " + importkeys(l) + " k JOIN " + l.table + " c ON c." + key +
                               "::text = k.recno WHERE k.run = $1 AND md5(c::text) <> k.print ORDER BY k.recno",
                        {id});
  for (int i = 0; i < PQntuples(kept.get()); ++i) out.kept.emplace_back(PQgetvalue(kept.get(), i, 0));
  PgResult gone = query(l, "SELECT count(*) FROM " + importkeys(l) + " k WHERE k.run = $1 AND NOT EXISTS (SELECT 1 FROM " +
                               l.table + " c WHERE c." + key + "::text = k.recno)",
                        {id});
  out.gone = number(gone.get(), 0, 0);
  PgResult removed = query(l, "DELETE FROM " + l.table + " c USING " + importkeys(l) + " k WHERE k.run = $1 AND c." +
                                  key + "::text = k.recno AND md5(c::text) = k.print",
                           {id});
  out.removed = std::atoll(PQcmdTuples(removed.get()));
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
