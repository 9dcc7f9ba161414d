#include "store/serverdatabase.h"

#include <libpq-fe.h>

#include <memory>

#include "parse/text.h"

namespace vesper {

namespace {

// The value of parameter `key` ("CONNECTION") of the lines `params`: the
// text after the first '=' of the last line naming it; "" when none does.
std::string paramvalue(const std::vector<std::string>& params, const std::string& key) {
  std::string value;
  for (const std::string& line : params) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && sametext(trimmed(line.substr(0, eq)), key)) value = trimmed(line.substr(eq + 1));
  }
  return value;
}

using Options = std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)>;

// The connection text's options as libpq reads them; null when it cannot,
// with libpq's reason in `why`.
Options parse(const std::string& connection, std::string& why) {
  char* error = nullptr;
  Options options(PQconninfoParse(connection.c_str(), &error), PQconninfoFree);
  if (!options) why = error ? trimmed(error) : "it cannot be read";
  PQfreemem(error);
  return options;
}

std::string option(const PQconninfoOption* options, const char* key) {
  for (const PQconninfoOption* o = options; o && o->keyword; ++o)
    if (std::string(o->keyword) == key && o->val) return o->val;
  return {};
}

}  // namespace

bool isserveralias(const std::vector<std::string>& params) {
  return sametext(paramvalue(params, "TYPE"), "POSTGRESQL");
}

ServerDatabase serverdatabase(const std::string& alias, const std::vector<std::string>& params) {
  ServerDatabase db;
  db.connection = paramvalue(params, "CONNECTION");
  db.schema = paramvalue(params, "SCHEMA");
  if (db.schema.empty()) db.schema = lowertext(alias);
  return db;
}

std::string connectionproblem(const std::string& connection) {
  std::string why;
  const Options options = parse(connection, why);
  if (!options) return "the connection text cannot be read: " + why;
  if (!option(options.get(), "password").empty())
    return "the connection text holds a password; give it in ~/.pgpass (or PGPASSFILE) instead";
  return {};
}

std::string describeconnection(const std::string& connection) {
  std::string why;
  const Options options = parse(connection, why);
  const std::string db = options ? option(options.get(), "dbname") : std::string();
  const std::string host = options ? option(options.get(), "host") : std::string();
  const std::string port = options ? option(options.get(), "port") : std::string();
  const std::string user = options ? option(options.get(), "user") : std::string();
  // A dbname may itself be a whole connection text; it is never shown.
  std::string text = db.empty() || db.find('=') != std::string::npos || db.find("://") != std::string::npos
                         ? "(the server's default database)"
                         : db;
  if (!host.empty()) text += " on " + host;
  if (!port.empty()) text += " port " + port;
  if (!user.empty()) text += " as " + user;
  return text;
}

}  // namespace vesper
