// A contact database kept on a PostgreSQL server instead of in a data folder:
// the alias that names one, and its connection text.
//
// Contract.  An alias of the engine configuration names a server database
// with TYPE=POSTGRESQL and CONNECTION= a libpq connection text, either
// keyword=value pairs ("host=db.example.org dbname=office sslmode=require")
// or a postgresql:// URI.  Its tables live in the schema named like the
// alias, in lower case (SCHEMA= names another).  A password never stands in
// the configuration: the server's own mechanisms give it (~/.pgpass,
// PGPASSFILE, a service file, PGPASSWORD), so a connection text holding one
// is refused, and no connection text is ever shown whole: messages name the
// database by `describeconnection`.
#pragma once

#include <string>
#include <vector>

namespace vesper {

struct ServerDatabase {
  std::string connection;  // the libpq connection text
  std::string schema;
};

// True when the alias parameters say TYPE=POSTGRESQL (letter case ignored).
bool isserveralias(const std::vector<std::string>& params);
// The server database of an alias with those parameters.
ServerDatabase serverdatabase(const std::string& alias, const std::vector<std::string>& params);
// Why `connection` cannot be used, or "" when it can: it cannot be read, or
// it holds a password.
std::string connectionproblem(const std::string& connection);
// The database a connection text names, for messages: "office on
// db.example.org port 5433 as ann" (only the parts it gives), never a
// password; "(the server's default database)" when it names none.
std::string describeconnection(const std::string& connection);

}  // namespace vesper
