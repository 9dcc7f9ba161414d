// Rows found by the folded form of a field (lower case, no blanks), for
// both engines: the index on that form is made on first use, and the rows
// found are read whole with one statement.
#include <cctype>

#include "store/serverbackend.h"
#include "store/sqlitebackend.h"
#include "store/sqlid.h"

namespace vesper {

namespace {

// The SQL of a field's folded form; the same text makes the index and
// finds through it.
std::string foldedform(const std::string& column) { return "lower(replace(" + column + ", ' ', ''))"; }

// The plain name of a table in messages ("CONTACT.DB" -> "contact").
std::string plainname(const std::string& name) {
  std::string out = name.substr(0, name.find('.'));
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

void SqliteBackend::rowswithfolded(int field, const std::vector<std::string>& forms,
                                   std::vector<std::vector<Cell>>& rows) {
  rows.clear();
  if (forms.empty() || field < 0 || field >= static_cast<int>(file_.fields.size())) return;
  const std::string& name = file_.fields[static_cast<std::size_t>(field)].name;
  const std::string form = foldedform(quoteid(name));
  if (!indexed_) {
    const std::string index = "CREATE INDEX IF NOT EXISTS " + quoteid(file_.tablename + "_" + name + "_folded") +
                              " ON " + file_.table + " (" + form + ")";
    file_.check(execsql(file_.db, index.c_str()));
    indexed_ = true;
  }
  std::string sql = "SELECT " + file_.columnlist() + " FROM " + file_.table + " WHERE " + form + " IN (";
  for (std::size_t i = 0; i < forms.size(); ++i) sql += i ? ", ?" : "?";
  sql += ")";
  Statement st;
  file_.check(st.prepare(file_.db, sql));
  for (std::size_t i = 0; i < forms.size(); ++i)
    sqlite3_bind_text(st.get(), static_cast<int>(i + 1), forms[i].data(), static_cast<int>(forms[i].size()),
                      SQLITE_TRANSIENT);
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    std::vector<Cell>& cells = rows.emplace_back(file_.fields.size());
    for (int i = 0; i < static_cast<int>(file_.fields.size()); ++i) cells[i] = TableFile::readcolumn(st.get(), i);
  }
  if (rc != SQLITE_DONE) file_.fail(rc);
}

void ServerBackend::rowswithfolded(int field, const std::vector<std::string>& forms,
                                   std::vector<std::vector<Cell>>& rows) {
  rows.clear();
  if (forms.empty() || field < 0 || field >= static_cast<int>(fields_.size())) return;
  const std::string& column = link_.columns[static_cast<std::size_t>(field)];
  const std::string form = foldedform(column);
  if (!indexed_) {
    link_.exec("SET client_min_messages TO warning; CREATE INDEX IF NOT EXISTS " +
               quoteid(plainname(name_) + "_" + fields_[static_cast<std::size_t>(field)].name + "_folded") + " ON " +
               link_.table + " (" + form + "); RESET client_min_messages");
    indexed_ = true;
  }
  params_.start();
  std::string sql = "SELECT " + columns_ + " FROM " + link_.table + " WHERE " + form + " IN (";
  for (std::size_t i = 0; i < forms.size(); ++i) {
    sql += (i ? ", $" : "$") + std::to_string(i + 1);
    params_.add() = forms[i];
  }
  sql += ")";
  PgResult r = link_.run(sql, params_);
  if (!ServerLink::ok(r.get())) link_.fail(r.get());
  for (int t = 0; t < PQntuples(r.get()); ++t) {
    std::vector<Cell>& cells = rows.emplace_back(fields_.size());
    for (int i = 0; i < static_cast<int>(fields_.size()); ++i)
      if (!PQgetisnull(r.get(), t, i))
        cells[static_cast<std::size_t>(i)] = link_.readvalue(i, PQgetvalue(r.get(), t, i), PQgetlength(r.get(), t, i));
  }
}

}  // namespace vesper
