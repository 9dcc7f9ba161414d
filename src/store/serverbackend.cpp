#include "store/serverbackend.h"

#include <memory>

#include "base/errors.h"
#include "store/table.h"

namespace vesper {

ServerBackend::ServerBackend(const ServerDatabase& database, const std::string& name, int busyms) {
  link_.open(database, name, busyms);  // closes the connection again when it fails
  fields_ = link_.fields;
  key_ = link_.key;
  path_ = link_.path;
  name_ = link_.name;
  for (const std::string& c : link_.columns) columns_ += (columns_.empty() ? "" : ", ") + c;
  readsql_ = "SELECT " + columns_ + " FROM " + link_.table + " WHERE " + link_.rowmatch(1);
}

ServerBackend::~ServerBackend() { close(); }

void ServerBackend::setbusytimeout(int ms) { link_.setbusytimeout(ms); }

void ServerBackend::roworder(std::vector<long long>& ids) {
  const bool keyed = link_.key >= 0;
  std::string order = link_.keyexpr();
  if (!keyed && link_.order >= 0) order = link_.columns[static_cast<std::size_t>(link_.order)] + ", ctid";
  const std::string sql = "SELECT " + link_.rowid() + " FROM " + link_.table + " ORDER BY " + order;
  PgResult r = pgresult(PQexec(link_.conn, sql.c_str()));
  if (!ServerLink::ok(r.get())) link_.fail(r.get());
  ids.clear();
  std::string value;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    value.assign(PQgetvalue(r.get(), i, 0), static_cast<std::size_t>(PQgetlength(r.get(), i, 0)));
    ids.push_back(link_.ids.idof(value));
  }
}

void ServerBackend::readrow(long long id, std::vector<Cell>& cells) {
  cells.assign(fields_.size(), Cell());
  const std::string* row = link_.ids.valueof(id);
  if (!row) return;
  params_.start();
  params_.add() = *row;
  PgResult r = link_.run(readsql_, params_);
  if (!ServerLink::ok(r.get())) link_.fail(r.get());
  if (PQntuples(r.get()) == 0) return;  // a row deleted meanwhile reads as empty
  for (int i = 0; i < static_cast<int>(fields_.size()); ++i) cells[static_cast<std::size_t>(i)] = link_.cellat(r.get(), 0, i, i);
}

bool ServerBackend::scanfields(const std::vector<int>& fields, bool ids, const RowVisitor& visit) {
  std::string sql = "SELECT " + link_.rowid();
  for (int f : fields) {
    if (f < 0 || f >= static_cast<int>(fields_.size())) return false;
    sql += ", " + link_.columns[static_cast<std::size_t>(f)];
  }
  sql += " FROM " + link_.table;
  // Row by row as the server sends them, so the table is never held whole
  // (the rows of a result that holds several, had the connection refused
  // that, are read all the same).
  if (!PQsendQuery(link_.conn, sql.c_str())) link_.fail(nullptr);
  PQsetSingleRowMode(link_.conn);
  // Every result is taken before anything is thrown, or the connection
  // stays busy with the rest of the rows.
  auto drain = [this] {
    while (PgResult rest = pgresult(PQgetResult(link_.conn))) {
    }
  };
  std::vector<Cell> cells(fields.size());
  std::string value;
  PgResult failed = pgresult(nullptr);
  while (PgResult r = pgresult(PQgetResult(link_.conn))) {
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK) {
      if (!failed) failed = std::move(r);
      continue;
    }
    for (int t = 0; t < PQntuples(r.get()) && !failed; ++t) {
      for (std::size_t i = 0; i < fields.size(); ++i) cells[i] = link_.cellat(r.get(), t, static_cast<int>(i) + 1, fields[i]);
      long long id = 0;  // an id is a row of the table of ids kept while the table is open
      if (ids) {
        value.assign(PQgetvalue(r.get(), t, 0), static_cast<std::size_t>(PQgetlength(r.get(), t, 0)));
        id = link_.ids.idof(value);
      }
      try {
        visit(id, cells);
      } catch (...) {
        drain();
        throw;
      }
    }
  }
  if (failed) link_.fail(failed.get());
  return true;
}

long long ServerBackend::recordcount() {
  const std::string sql = "SELECT count(*) FROM " + link_.table;
  PgResult r = pgresult(PQexec(link_.conn, sql.c_str()));
  if (!ServerLink::ok(r.get())) link_.fail(r.get());
  return std::atoll(PQgetvalue(r.get(), 0, 0));
}

void ServerBackend::updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written) {
  writer_.updaterow(id, cells, written);
}

// The writer first: it commits an open group before the connection closes.
void ServerBackend::close() {
  writer_.close();
  link_.close();
}

void openservertable(Table& table, const ServerDatabase& database, const std::string& name, int busyms) {
  table.close();  // a failed open never leaves the table on its previous one
  table.setbusytimeout(busyms);
  table.open(std::make_unique<ServerBackend>(database, name, busyms));
}

}  // namespace vesper
