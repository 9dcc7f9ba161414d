#include "store/serverwriter.h"

#include <cstdlib>
#include <cstring>

#include "parse/text.h"
#include "store/rowprint.h"
#include "store/serverhistory.h"
#include "store/serverwriterstate.h"
#include "store/sqlid.h"

namespace vesper {

// --- the state ---

void ServerWriter::State::columnsfor(const std::uint64_t* valued, std::vector<std::uint64_t>& out) const {
  out = link.namedmask;
  for (std::size_t w = 0; w < out.size(); ++w) out[w] |= valued[w];
}

void ServerWriter::State::failure(const PGresult* r) {
  if (groupdepth == 0) link.fail(r);
  groupdepth = 0;
  trail.begin();  // the group's rows are gone with it
  numberedpast.clear();
  const bool connected = link.connected();
  const std::string msg = connected ? link.describe(r) : link.lostmessage();
  if (connected) PQclear(PQexec(link.conn, "ROLLBACK"));
  throw TableUnavailable(msg + " The rows stored since the group began were not saved.");
}

void ServerWriter::State::exec(const char* sql) {
  PgResult r = pgresult(PQexec(link.conn, sql));
  if (!ServerLink::ok(r.get())) failure(r.get());
}

void ServerWriter::State::numberpast(int field, long long number) {
  const std::size_t f = static_cast<std::size_t>(field);
  if (numberedpast.size() != link.fields.size()) numberedpast.assign(link.fields.size(), 0);
  if (link.sequences[f].empty() || number <= numberedpast[f]) return;
  params.start();
  params.add() = link.sequences[f];
  params.add() = std::to_string(number);
  PgResult r = link.run(
      "SELECT CASE WHEN $2::bigint > coalesce(pg_sequence_last_value($1::regclass), 0) "
      "THEN setval($1::regclass, $2::bigint) ELSE pg_sequence_last_value($1::regclass) END",
      params);
  if (!ServerLink::ok(r.get())) failure(r.get());
  numberedpast[f] = std::atoll(PQgetvalue(r.get(), 0, 0));
}

void ServerWriter::State::stored(const std::string& key, long long bytes) {
  lastkey = key;
  haslast = true;
  ++rowsstored;
  bytesstored += bytes;
}

// --- the writer ---

ServerWriter::ServerWriter(ServerLink& link) : link_(link), s_(std::make_unique<State>(link)) {}
ServerWriter::~ServerWriter() = default;

namespace {

void needopen(const ServerLink& l) {
  if (!l.isopen()) throw EngineError("Cannot perform this operation on a closed table.");
}

// True for a text the server takes as it is: UTF-8 without a zero byte.
bool plaintext(const char* p, std::size_t n) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char* end = s + n;
  while (s < end) {
    const unsigned char c = *s++;
    if (c >= 0x01 && c < 0x80) continue;
    int more = c >= 0xc2 && c < 0xe0 ? 1 : c >= 0xe0 && c < 0xf0 ? 2 : c >= 0xf0 && c < 0xf5 ? 3 : -1;
    if (more < 0 || end - s < more) return false;
    for (int k = 0; k < more; ++k)
      if ((*s++ & 0xc0) != 0x80) return false;
  }
  return true;
}

}  // namespace

// Inserts a new row.  `source.at(i)` gives the value of field i; it is asked
// once for each column the insert names, in table order.
template <class Source>
StoreResult ServerWriter::storerow(Source& source, const std::uint64_t* valued) {
  State& s = *s_;
  ServerLink& l = link_;
  const std::size_t n = l.fields.size();
  // Autoincrement fields left empty are not named: the server numbers them.
  s.columnsfor(valued, s.rowmask);
  if (s.rowmask != s.insertmask || s.insertsql.empty()) {
    std::string cols, marks;
    int param = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (!s.named(s.rowmask, i)) continue;
      cols += (cols.empty() ? "" : ", ") + l.columns[i];
      marks += (marks.empty() ? "$" : ", $") + std::to_string(++param);
    }
    s.insertsql = "INSERT INTO " + l.table + (cols.empty() ? " DEFAULT VALUES" : " (" + cols + ") VALUES (" + marks + ")");
    if (l.key >= 0) {
      const std::string& k = l.columns[static_cast<std::size_t>(l.key)];
      s.insertsql += " ON CONFLICT (" + k + ") DO NOTHING RETURNING " + k;
    } else {
      s.insertsql += " RETURNING ctid";
    }
    s.insertmask = s.rowmask;
  }
  s.params.start();
  long long bytes = 0;
  bool guard = l.guarded;
  bool keynull = l.key >= 0;
  std::size_t keyparam = 0;
  const bool trailed = s.trail.run() && l.key >= 0 && s.groupdepth > 0;
  RowPrint print;  // of the values sent, for the import history
  for (std::size_t i = 0; i < n; ++i) {
    if (!s.named(s.rowmask, i)) {
      if (!l.sequences[i].empty()) bytes += 8;  // numbered by the server
      continue;
    }
    const CellRef c = source.at(i);
    if (c.kind == Cell::Null) {
      s.params.addnull();
      continue;
    }
    if (static_cast<int>(i) == l.key) keynull = false, keyparam = s.params.count;
    if (c.kind == Cell::Text && !plaintext(c.data, c.size)) guard = true;
    if (trailed) addheld(print, l, static_cast<int>(i), c);
    l.paramtext(static_cast<int>(i), c, s.params.add());
    bytes += cellbytes(c);
  }
  // Only a row that can be refused for more than its key needs a savepoint.
  guard = s.groupdepth > 0 && (guard || keynull);
  if (guard) s.exec("SAVEPOINT vesper_row");
  PgResult r = l.run(s.insertsql, s.params);
  if (ServerLink::ok(r.get())) {
    if (guard) s.exec("RELEASE SAVEPOINT vesper_row");
    if (PQntuples(r.get()) == 0) {
      StoreResult taken;
      taken.kind = StoreResult::KeyTaken;
      taken.message = "Key violation in " + l.name + " (the key " + s.params.texts[keyparam] + " is taken).";
      return taken;
    }
    for (std::size_t i = 0, p = 0; i < n; ++i) {
      if (!s.named(s.rowmask, i)) continue;
      if (l.fields[i].type == FieldType::AutoInc && !s.params.isnull[p])
        s.numberpast(static_cast<int>(i), std::atoll(s.params.texts[p].c_str()));
      ++p;
    }
    s.stored(PQgetvalue(r.get(), 0, 0), bytes);
    if (trailed) s.trailrow(s.lastkey, print.value());
    return {};
  }
  if (!guard) {
    if (s.groupdepth > 0 || !l.connected()) s.failure(r.get());
  } else {
    if (!l.connected()) s.failure(r.get());
    s.exec("ROLLBACK TO SAVEPOINT vesper_row; RELEASE SAVEPOINT vesper_row");
  }
  if (l.unavailable(r.get())) throw TableUnavailable(l.describe(r.get()));
  StoreResult refused;
  refused.kind = ServerLink::keytaken(r.get()) ? StoreResult::KeyTaken : StoreResult::Refused;
  refused.message = l.describe(r.get());
  return refused;
}

StoreResult ServerWriter::insert(const RowBuilder& row) {
  needopen(link_);
  if (!row.isnew()) throw EngineError("Table " + link_.name + " is not in insert mode.");
  struct Cells {
    const std::vector<Cell>& cells;
    CellRef at(std::size_t i) { return CellRef::of(cells[i]); }
  } source{row.cells()};
  return storerow(source, row.valued().data());
}

StoreResult ServerWriter::insert(const PackedRow& row) { return insertpacked(row, -1, nullptr); }

StoreResult ServerWriter::insert(const PackedRow& row, int field, const Cell& value) {
  return insertpacked(row, field, &value);
}

StoreResult ServerWriter::insertpacked(const PackedRow& row, int field, const Cell* value) {
  needopen(link_);
  State& s = *s_;
  const std::size_t n = link_.fields.size(), words = (n + 63) / 64;
  if (row.size < words * 8) throw EngineError("Table " + link_.name + ": a packed row of the wrong width.");
  // The packed bits say where the packed values lie; the row's own bits
  // (the replaced field set or cleared) say which columns to name.
  std::vector<std::uint64_t> rowbits(words);
  std::memcpy(rowbits.data(), row.data, words * 8);
  s.packedbits.assign(rowbits.begin(), rowbits.end());
  if (value && field >= 0 && static_cast<std::size_t>(field) < n) {
    const std::uint64_t bit = std::uint64_t{1} << (field % 64);
    if (value->kind == Cell::Null) rowbits[static_cast<std::size_t>(field) / 64] &= ~bit;
    else rowbits[static_cast<std::size_t>(field) / 64] |= bit;
  } else {
    value = nullptr;
  }
  PackedValues values{s.packedbits.data(), row.data + words * 8, row.data + row.size, link_.name, 0, field, value};
  return storerow(values, rowbits.data());
}

std::string ServerWriter::lastkeybetween(std::string_view low, std::string_view high) {
  needopen(link_);
  State& s = *s_;
  if (link_.key < 0) return {};
  const std::string& column = link_.columns[static_cast<std::size_t>(link_.key)];
  const std::string k = link_.keytext ? column + " COLLATE \"C\"" : column + "::text COLLATE \"C\"";
  s.params.start();
  s.params.add().assign(low);
  s.params.add().assign(high);
  PgResult r = link_.run("SELECT " + column + " FROM " + link_.table + " WHERE " + k + " BETWEEN $1 AND $2 ORDER BY " +
                             k + " DESC LIMIT 1",
                         s.params);
  if (!ServerLink::ok(r.get())) s.failure(r.get());
  return PQntuples(r.get()) ? PQgetvalue(r.get(), 0, 0) : "";
}

// --- edits ---

void ServerWriter::updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written) {
  State& s = *s_;
  ServerLink& l = link_;
  const std::string deleted = "The row was deleted from " + l.name + " by another user or program.";
  const std::string* row = l.ids.valueof(id);
  if (!row) throw EngineError(deleted);
  std::string sets;
  s.params.start();
  for (std::size_t i = 0; i < l.fields.size(); ++i) {
    if (!written[i]) continue;
    if (cells[i].kind == Cell::Null) s.params.addnull();
    else l.paramtext(static_cast<int>(i), CellRef::of(cells[i]), s.params.add());
    sets += (sets.empty() ? "" : ", ") + l.columns[i] + " = $" + std::to_string(s.params.count);
  }
  s.params.add() = *row;
  const std::string sql = "UPDATE " + l.table + " SET " + sets + " WHERE " +
                          l.rowmatch(static_cast<int>(s.params.count)) + " RETURNING " + l.rowid();
  // Edits are few: inside a group each goes inside a savepoint.
  const bool guard = s.groupdepth > 0;
  if (guard) s.exec("SAVEPOINT vesper_edit");
  PgResult r = l.run(sql, s.params);
  if (ServerLink::ok(r.get())) {
    if (guard) s.exec("RELEASE SAVEPOINT vesper_edit");
    if (PQntuples(r.get()) == 0) throw EngineError(deleted);
    l.ids.rename(id, PQgetvalue(r.get(), 0, 0));
    return;
  }
  if (!guard || !l.connected()) s.failure(r.get());
  s.exec("ROLLBACK TO SAVEPOINT vesper_edit; RELEASE SAVEPOINT vesper_edit");
  l.fail(r.get());
}

// --- groups ---

void ServerWriter::begingroup() {
  needopen(link_);
  State& s = *s_;
  if (s.groupdepth == 0) {
    PgResult r = pgresult(PQexec(link_.conn, "BEGIN; SELECT txid_current()"));
    if (!ServerLink::ok(r.get())) {
      if (link_.connected() && PQtransactionStatus(link_.conn) != PQTRANS_IDLE)
        PQclear(PQexec(link_.conn, "ROLLBACK"));
      link_.fail(r.get());
    }
    s.xid = PQgetvalue(r.get(), 0, 0);
    s.trail.begin();
  }
  ++s.groupdepth;
}

void ServerWriter::commitgroup() {
  needopen(link_);
  State& s = *s_;
  if (s.groupdepth == 0) return;
  if (s.groupdepth > 1) {
    --s.groupdepth;
    return;
  }
  if (PQtransactionStatus(link_.conn) == PQTRANS_INERROR) {
    // A failure ended the transaction already: the commit would roll it back.
    s.groupdepth = 0;
    s.trail.begin();
    PQclear(PQexec(link_.conn, "ROLLBACK"));
    throw TableUnavailable("Table " + link_.name + ": a failed statement ended the group. The rows stored since the "
                           "group began were not saved.");
  }
  // The group's last rows go into the import history in its own transaction.
  if (PGresult* trailed = s.trail.write(link_)) {
    PgResult failed = pgresult(trailed);
    s.failure(failed.get());
  }
  PgResult r = pgresult(PQexec(link_.conn, "COMMIT"));
  if (!ServerLink::ok(r.get()) && !link_.connected() && !s.xid.empty()) {
    // The connection went while the group committed: whether the server
    // took the commit before, only the server can say.
    const std::string outcome = link_.outcome(s.xid);
    s.groupdepth = 0;
    s.xid.clear();
    if (outcome == "committed") return;  // saved; the next statement meets the lost connection
    if (outcome.empty())
      throw TableUnavailable(link_.lostmessage() +
                             " Whether the rows stored since the group began were saved cannot be known.");
    throw TableUnavailable(link_.lostmessage() + " The rows stored since the group began were not saved.");
  }
  if (!ServerLink::ok(r.get())) s.failure(r.get());
  s.groupdepth = 0;
}

void ServerWriter::rollbackgroup() {
  needopen(link_);
  State& s = *s_;
  if (s.groupdepth == 0) return;
  if (PQtransactionStatus(link_.conn) != PQTRANS_IDLE) PQclear(PQexec(link_.conn, "ROLLBACK"));
  s.groupdepth = 0;
  s.trail.begin();
  ++s.rollbacks;
}

bool ServerWriter::ingroup() const { return s_->groupdepth > 0; }
void ServerWriter::settrail(long long run) { s_->trail.setrun(run); }
long long ServerWriter::bytesstored() const { return s_->bytesstored; }
long long ServerWriter::rowsstored() const { return s_->rowsstored; }
long long ServerWriter::rollbacks() const { return s_->rollbacks; }
long long ServerWriter::lastrowid() const { return s_->haslast ? link_.ids.idof(s_->lastkey) : 0; }

void ServerWriter::close() {
  State& s = *s_;
  if (link_.isopen() && s.groupdepth > 0) {
    PgResult r = pgresult(PQexec(link_.conn, "COMMIT"));
    if (!ServerLink::ok(r.get()) && link_.connected()) PQclear(PQexec(link_.conn, "ROLLBACK"));
  }
  s_ = std::make_unique<State>(link_);
}

}  // namespace vesper
