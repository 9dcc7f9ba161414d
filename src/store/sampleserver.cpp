// A new contact database on a server (createserverdatabase, sampledata.h):
// the three tables of a data folder, with the same fields and first rows, in
// the schema of the server database.
#include <algorithm>

#include "base/errors.h"
#include "parse/text.h"
#include "store/sampledata.h"
#include "store/serverconnection.h"
#include "store/serverdatabase.h"
#include "store/servertables.h"

namespace vesper {

namespace {

struct NewTable {
  const char* name;
  std::vector<FieldDef> fields;
  const char* key;
  std::vector<std::pair<std::string, std::string>> row;  // none: no first row
};

// The first row of `table` as COPY text.
std::string firstrow(const NewTable& table) {
  std::vector<Cell> cells(table.fields.size());
  for (const auto& named : table.row) {
    const std::string& field = named.first;
    const auto at = std::find_if(table.fields.begin(), table.fields.end(),
                                 [&](const FieldDef& f) { return sametext(f.name, field); });
    if (at == table.fields.end()) throw EngineError("Field '" + field + "' not found.");
    cells[static_cast<std::size_t>(at - table.fields.begin())] = textcell(*at, named.second);
  }
  std::string text;
  appendcopyrow(text, table.fields, cells);
  return text;
}

}  // namespace

void createserverdatabase(const ServerDatabase& database) {
  ServerConnection server(database.connection);
  const std::vector<NewTable> tables = {{"contact", contactfields(), "Recno", {}},
                                        {"database", databasefields(), "DB", maindatabaserow()},
                                        {"settings", settingsfields(), "", startsettingsrow()}};
  server.exec("BEGIN");
  for (const NewTable& t : tables) {
    const auto found = server.rows(
        "SELECT 1 FROM information_schema.tables WHERE table_schema = $1 AND lower(table_name) = $2",
        {database.schema, t.name});
    if (!found.empty()) {
      server.exec("ROLLBACK");
      throw EngineError("The schema " + database.schema + " of the contact database " + server.described() +
                        " already holds the table " + t.name + "; a contact database is never overwritten.");
    }
  }
  server.exec("CREATE SCHEMA IF NOT EXISTS " + quoteid(database.schema));
  for (const NewTable& t : tables) {
    for (const std::string& sql : createserversql(database.schema, t.name, t.fields, t.key)) server.exec(sql);
    if (!t.row.empty()) server.copy(quoteid(database.schema) + "." + quoteid(t.name), "", firstrow(t));
  }
  server.exec("COMMIT");
}

}  // namespace vesper
