#include "store/serverlink.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/errors.h"
#include "parse/text.h"
#include "store/servertables.h"
#include "store/sqlid.h"

namespace vesper {

// --- row ids ---

long long RowIds::idof(const std::string& value) {
  auto found = ids_.find(value);
  if (found != ids_.end()) return found->second;
  values_.push_back(value);
  const long long id = static_cast<long long>(values_.size());
  ids_.emplace(value, id);
  return id;
}

const std::string* RowIds::valueof(long long id) const {
  if (id < 1 || id > static_cast<long long>(values_.size())) return nullptr;
  return &values_[static_cast<std::size_t>(id - 1)];
}

void RowIds::rename(long long id, const std::string& value) {
  if (id < 1 || id > static_cast<long long>(values_.size())) return;
  std::string& old = values_[static_cast<std::size_t>(id - 1)];
  if (old == value) return;
  auto at = ids_.find(old);
  if (at != ids_.end() && at->second == id) ids_.erase(at);
  old = value;
  ids_[value] = id;  // a row that had this value before is gone
}

void RowIds::clear() {
  values_.clear();
  ids_.clear();
}

// --- parameters ---

std::string& ServerParams::add() {
  if (count == texts.size()) {
    texts.emplace_back();
    isnull.push_back(false);
  }
  isnull[count] = false;
  std::string& t = texts[count++];
  t.clear();
  return t;
}

void ServerParams::addnull() {
  add();
  isnull[count - 1] = true;
}

const char* const* ServerParams::pointers() {
  values.resize(count);
  for (std::size_t i = 0; i < count; ++i) values[i] = isnull[i] ? nullptr : texts[i].c_str();
  return values.data();
}

// --- opening ---

namespace {

// The row of a catalogue query's result as texts.
std::string at(const PGresult* r, int row, int column) { return PQgetvalue(r, row, column); }

}  // namespace

void ServerLink::open(const ServerDatabase& database, const std::string& tablename, int ms) {
  busyms = ms < 0 ? 0 : ms;
  const std::string stem = tablename.substr(0, tablename.rfind('.'));
  name = uppertext(stem) + ".DB";
  server = std::make_unique<ServerConnection>(database.connection);
  conn = server->get();
  connection = database.connection;
  try {
    // One form for every value read and written, whatever the server's settings.
    exec("SET DateStyle = 'ISO, YMD'; SET bytea_output = 'hex'; SET extra_float_digits = 3; "
         "SET client_encoding = 'UTF8'; SET standard_conforming_strings = on");
    setbusytimeout(busyms);
    ServerParams p;
    p.add() = database.schema;
    p.add() = stem;
    PgResult found = run("SELECT c.oid, c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
                         "ON n.oid = c.relnamespace WHERE n.nspname = $1 AND lower(c.relname) = lower($2) "
                         "AND c.relkind IN ('r', 'p') ORDER BY c.relname = $2 DESC, c.relname",
                         p);
    if (!ok(found.get())) fail(found.get());
    path = database.schema + "." + lowertext(stem) + " in " + server->described();
    if (PQntuples(found.get()) == 0) throw EngineError("Table does not exist: " + path);
    const std::string oid = at(found.get(), 0, 0);
    table = quoteid(database.schema) + "." + quoteid(at(found.get(), 0, 1));
    path = database.schema + "." + at(found.get(), 0, 1) + " in " + server->described();

    p.start();
    p.add() = oid;
    p.add() = table;
    PgResult cols = run(
        "SELECT a.attname, coalesce(col_description(a.attrelid, a.attnum), ''), format_type(a.atttypid, NULL), "
        "CASE WHEN a.atttypid IN (1042, 1043) AND a.atttypmod > 4 THEN a.atttypmod - 4 ELSE 0 END, "
        "format_type(a.atttypid, a.atttypmod), coalesce(pg_get_serial_sequence($2, a.attname), ''), "
        "a.atthasdef OR a.attidentity <> '', a.attnotnull, a.attnum, "
        "a.attnum IN (SELECT unnest(i.indkey) FROM pg_index i WHERE i.indrelid = a.attrelid AND i.indisprimary "
        "AND i.indnatts = 1) "
        "FROM pg_attribute a WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
        p);
    if (!ok(cols.get())) fail(cols.get());
    std::string words = "{";
    bool notnull = false;
    for (int i = 0; i < PQntuples(cols.get()); ++i) {
      const PGresult* r = cols.get();
      fields.push_back(fieldfromserver(at(r, i, 0), at(r, i, 1), at(r, i, 2), std::atoi(PQgetvalue(r, i, 3))));
      columns.push_back(quoteid(at(r, i, 0)));
      types.push_back(at(r, i, 4));
      sequences.push_back(at(r, i, 5));
      const bool hasdefault = at(r, i, 6) == "t";
      const bool iskey = at(r, i, 9) == "t";
      FieldDef& f = fields.back();
      // A column the server numbers is an autoincrement field whatever its comment says.
      if (!sequences.back().empty() && (f.type == FieldType::Long || f.type == FieldType::AutoInc))
        f.type = FieldType::AutoInc;
      if (f.type == FieldType::Word) words += (words.size() > 1 ? "," : "") + at(r, i, 8);
      const std::size_t pos = fields.size() - 1;
      if (pos % 64 == 0) namedmask.push_back(0);
      if (hasdefault && sequences.back().empty()) namedmask[pos / 64] |= std::uint64_t{1} << (pos % 64);
      if (iskey) key = static_cast<int>(pos);
      if (at(r, i, 7) == "t" && !hasdefault && !iskey) notnull = true;
    }
    words += "}";
    if (fields.empty()) throw EngineError("Table " + name + " has no fields.");
    keytext = key >= 0 && istexttype(fields[static_cast<std::size_t>(key)].type);
    for (std::size_t i = 0; i < fields.size() && key < 0; ++i)
      if (fields[i].type == FieldType::AutoInc) order = static_cast<int>(i);

    // What can refuse a row beyond its key: the checks of word fields are
    // kept by the engine itself (a word is always 0 to 65535).
    p.start();
    p.add() = oid;
    p.add() = words;
    PgResult guards = run(
        "SELECT (SELECT count(*) FROM pg_trigger WHERE tgrelid = $1::oid AND NOT tgisinternal) + "
        "(SELECT count(*) FROM pg_constraint WHERE conrelid = $1::oid AND (contype IN ('f', 'x', 't') OR "
        "(contype = 'c' AND NOT (array_length(conkey, 1) = 1 AND conkey[1] = ANY($2::int2[]))))) + "
        "(SELECT count(*) FROM pg_index WHERE indrelid = $1::oid AND indisunique AND NOT indisprimary)",
        p);
    if (!ok(guards.get())) fail(guards.get());
    guarded = notnull || at(guards.get(), 0, 0) != "0";
  } catch (...) {
    close();
    throw;
  }
}

void ServerLink::close() {
  const int ms = busyms;
  *this = ServerLink();
  busyms = ms;
}

void ServerLink::setbusytimeout(int ms) {
  busyms = ms < 0 ? 0 : ms;
  if (!conn) return;
  // 0 would wait for ever: the shortest wait instead.
  ServerParams p;
  p.add() = std::to_string(busyms > 0 ? busyms : 1) + "ms";
  PgResult r = run("SELECT set_config('lock_timeout', $1, false)", p);
  if (!ok(r.get())) fail(r.get());
}

std::string ServerLink::keyexpr() const {
  if (key < 0) return "ctid";
  const std::string& k = columns[static_cast<std::size_t>(key)];
  return keytext ? k + " COLLATE \"C\"" : k;
}

std::string ServerLink::rowid() const { return key < 0 ? "ctid" : columns[static_cast<std::size_t>(key)]; }

std::string ServerLink::rowmatch(int param) const {
  const std::string n = "$" + std::to_string(param);
  return key < 0 ? "ctid = " + n + "::tid" : rowid() + " = " + n;
}

// --- statements and failures ---

bool ServerLink::ok(const PGresult* r) {
  const ExecStatusType s = PQresultStatus(r);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

void ServerLink::exec(const char* sql) {
  PgResult r = pgresult(PQexec(conn, sql));
  if (!ok(r.get())) fail(r.get());
}

PgResult ServerLink::run(const std::string& sql, ServerParams& params) {
  const char* const* values = params.pointers();
  return pgresult(
      PQexecParams(conn, sql.c_str(), static_cast<int>(params.count), nullptr, values, nullptr, nullptr, 0));
}

namespace {
std::string sqlstate(const PGresult* r) {
  const char* s = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return s ? s : "";
}
}  // namespace

bool ServerLink::keytaken(const PGresult* r) { return sqlstate(r) == "23505"; }

std::string ServerLink::describe(const PGresult* r) const {
  const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  const std::string msg = onelinemessage(primary ? primary : PQerrorMessage(conn));
  const std::string state = sqlstate(r);
  if (state == "55P03" || state == "40P01") {
    char secs[32];
    std::snprintf(secs, sizeof secs, "%g", busyms / 1000.0);
    return "Table " + name + " is locked by another user or program; it did not become free within " + secs +
           " seconds.";
  }
  if (state == "23505") return "Key violation in " + name + " (" + msg + ").";
  if (state.rfind("23", 0) == 0) return "The row cannot be stored in " + name + " (" + msg + ").";
  if (state == "53100") return "The disk holding " + name + " is full.";
  if (state == "25006") return "Table " + name + " is read-only.";
  return "Table " + name + ": " + msg + ".";
}

bool ServerLink::unavailable(const PGresult* r) const {
  if (!connected()) return true;
  const std::string state = sqlstate(r);
  const std::string group = state.substr(0, 2);
  return state == "55P03" || state == "40P01" || state == "25006" || state == "42501" || group == "53" ||
         group == "08" || group == "57" || group == "58" || group == "XX";
}

std::string ServerLink::lostmessage() const {
  return "The connection to the contact database " + (server ? server->described() : name) +
         " was lost: " + connectionreason(conn ? PQerrorMessage(conn) : "");
}

std::string ServerLink::outcome(const std::string& xid) const {
  try {
    ServerConnection again(connection);
    // The server may not have noticed yet that the old connection is gone,
    // or be writing the commit still: a while is given for that.
    for (int tries = 0; tries < 50; ++tries) {
      const auto rows = again.rows("SELECT txid_status($1::bigint)", {xid});
      const std::string status = rows.empty() || rows[0].empty() ? "" : rows[0][0];
      if (status != "in progress") return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } catch (const EngineError&) {
    // Not reached: not known.
  }
  return "";
}

void ServerLink::fail(const PGresult* r) const {
  if (!connected()) lost();
  if (unavailable(r)) throw TableUnavailable(describe(r));
  throw EngineError(describe(r));
}

// --- values ---

void ServerLink::paramtext(int field, const CellRef& c, std::string& out) const {
  const FieldDef& def = fields[static_cast<std::size_t>(field)];
  switch (c.kind) {
    case Cell::Integer: appendinteger(out, def, c.integer); return;
    case Cell::Real: appendreal(out, c.real); return;
    case Cell::Text: {
      std::string_view text(c.data, c.size);
      if (def.type == FieldType::Alpha && def.size > 0) text = cutview(text, static_cast<std::size_t>(def.size));
      out.append(text);
      return;
    }
    case Cell::Blob:
      out += "\\x";
      appendhex(out, c.data, c.size);
      return;
    case Cell::Null: return;
  }
}

namespace {
int hexdigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

Cell ServerLink::readvalue(int field, const char* text, int length) const {
  const std::size_t n = static_cast<std::size_t>(length);
  const FieldType type = fields[static_cast<std::size_t>(field)].type;
  switch (type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Word:
    case FieldType::AutoInc: {
      long long v = 0;
      const auto r = std::from_chars(text, text + n, v);
      if (r.ec == std::errc() && r.ptr == text + n) return Cell::ofinteger(v);
      break;
    }
    case FieldType::Logical: return Cell::ofinteger(n > 0 && text[0] == 't');
    case FieldType::Bcd:
    case FieldType::Number:
    case FieldType::Money: {
      // BCD as a column of numeric affinity keeps it: whole numbers as integers.
      long long whole = 0;
      const auto w = std::from_chars(text, text + n, whole);
      if (type == FieldType::Bcd && w.ec == std::errc() && w.ptr == text + n) return Cell::ofinteger(whole);
      double v = 0;
      const auto r = std::from_chars(text, text + n, v);
      if (r.ec == std::errc() && r.ptr == text + n) return Cell::ofreal(v);
      break;
    }
    case FieldType::Bytes:
    case FieldType::Binary:
    case FieldType::Graphic: {
      if (n < 2 || text[0] != '\\' || text[1] != 'x') break;
      std::string bytes;
      bytes.reserve((n - 2) / 2);
      for (std::size_t i = 2; i + 1 < n; i += 2)
        bytes += static_cast<char>(hexdigit(text[i]) * 16 + hexdigit(text[i + 1]));
      return Cell::ofblob(std::move(bytes));
    }
    default: break;
  }
  return Cell::oftext(std::string(text, n));
}

}  // namespace vesper
