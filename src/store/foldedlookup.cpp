// Rows found by the folded form of some of their fields (foldedkey.h), for
// both engines: the index on those forms is made on first use, and the rows
// found are read whole with one statement.  The data folder's tables are
// also read through once, some fields of every row, for a lookup kept in
// memory.
#include <cctype>

#include "store/serverbackend.h"
#include "store/sqlitebackend.h"
#include "parse/text.h"
#include "store/sqlid.h"

namespace vesper {

namespace {

// The characters folding leaves out.
constexpr std::string_view kLeftOut = " .-'";

// The SQL of a column's folded form; the same text makes the index and
// finds through it, on either engine.
std::string foldedform(const std::string& column) {
  std::string sql = "coalesce(" + column + ", '')";
  for (char c : kLeftOut) sql = "replace(" + sql + ", '" + (c == '\'' ? std::string("''") : std::string(1, c)) + "', '')";
  return "lower(" + sql + ")";
}

// The plain name of a table in messages ("CONTACT.DB" -> "contact").
std::string plainname(const std::string& name) {
  std::string out = name.substr(0, name.find('.'));
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// What a lookup by `keys` asks of a table: the index's name and columns,
// and the condition with a numbered parameter (`mark` then its number) for
// each form, in the keys' order.  `columns` gives each field's quoted name;
// false when a key names no field or has no form.
struct LookupSql {
  std::string index, indexcolumns, where;
};
bool lookupsql(const std::vector<FoldedKey>& keys, const std::vector<std::string>& names,
               const std::vector<std::string>& columns, const std::string& prefix, bool numbered,
               LookupSql& out) {
  out = {};
  out.index = prefix;
  int n = 0;
  for (const FoldedKey& k : keys) {
    if (k.forms.empty() || k.field < 0 || k.field >= static_cast<int>(columns.size())) return false;
    const std::string form = foldedform(columns[static_cast<std::size_t>(k.field)]);
    out.index += "_" + names[static_cast<std::size_t>(k.field)];
    out.indexcolumns += (out.indexcolumns.empty() ? "" : ", ") + form;
    out.where += (out.where.empty() ? "" : " AND ") + form + " IN (";
    for (std::size_t i = 0; i < k.forms.size(); ++i)
      out.where += (i ? ", " : "") + (numbered ? "$" + std::to_string(++n) : std::string("?"));
    out.where += ")";
  }
  out.index += "_lookup";
  return !keys.empty();
}

}  // namespace

std::string foldedtext(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (kLeftOut.find(c) == std::string_view::npos) out += lowerchar(c);
  return out;
}

void SqliteBackend::rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows) {
  rows.clear();
  std::vector<std::string> names, columns;
  for (const auto& f : file_.fields) {
    names.push_back(f.name);
    columns.push_back(quoteid(f.name));
  }
  LookupSql q;
  if (!lookupsql(keys, names, columns, file_.tablename, false, q)) return;
  if (indexed_.insert(q.index).second) {
    const std::string index =
        "CREATE INDEX IF NOT EXISTS " + quoteid(q.index) + " ON " + file_.table + " (" + q.indexcolumns + ")";
    file_.check(execsql(file_.db, index.c_str()));
  }
  const std::string sql = "SELECT " + file_.columnlist() + " FROM " + file_.table + " WHERE " + q.where;
  Statement st;
  file_.check(st.prepare(file_.db, sql));
  int at = 0;
  for (const FoldedKey& k : keys)
    for (const std::string& form : k.forms)
      sqlite3_bind_text(st.get(), ++at, form.data(), static_cast<int>(form.size()), SQLITE_TRANSIENT);
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    std::vector<Cell>& cells = rows.emplace_back(file_.fields.size());
    for (int i = 0; i < static_cast<int>(file_.fields.size()); ++i) cells[i] = TableFile::readcolumn(st.get(), i);
  }
  if (rc != SQLITE_DONE) file_.fail(rc);
}

bool SqliteBackend::scanfields(const std::vector<int>& fields, bool, const RowVisitor& visit) {
  std::string sql = "SELECT rowid";
  for (int f : fields) {
    if (f < 0 || f >= static_cast<int>(file_.fields.size())) return false;
    sql += ", " + quoteid(file_.fields[static_cast<std::size_t>(f)].name);
  }
  Statement st;
  file_.check(st.prepare(file_.db, sql + " FROM " + file_.table));
  std::vector<Cell> cells(fields.size());
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) cells[static_cast<std::size_t>(i)] = TableFile::readcolumn(st.get(), i + 1);
    visit(sqlite3_column_int64(st.get(), 0), cells);
  }
  if (rc != SQLITE_DONE) file_.fail(rc);
  return true;
}

void ServerBackend::rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows) {
  rows.clear();
  std::vector<std::string> names;
  for (const auto& f : fields_) names.push_back(f.name);
  LookupSql q;
  if (!lookupsql(keys, names, link_.columns, plainname(name_), true, q)) return;
  if (indexed_.insert(q.index).second)
    link_.exec("SET client_min_messages TO warning; CREATE INDEX IF NOT EXISTS " + quoteid(q.index) + " ON " +
               link_.table + " (" + q.indexcolumns + "); RESET client_min_messages");
  params_.start();
  for (const FoldedKey& k : keys)
    for (const std::string& form : k.forms) params_.add() = form;
  PgResult r = link_.run("SELECT " + columns_ + " FROM " + link_.table + " WHERE " + q.where, params_);
  if (!ServerLink::ok(r.get())) link_.fail(r.get());
  for (int t = 0; t < PQntuples(r.get()); ++t) {
    std::vector<Cell>& cells = rows.emplace_back(fields_.size());
    for (int i = 0; i < static_cast<int>(fields_.size()); ++i) cells[static_cast<std::size_t>(i)] = link_.cellat(r.get(), t, i, i);
  }
}

}  // namespace vesper
