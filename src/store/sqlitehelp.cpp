#include "store/sqlitehelp.h"

namespace vesper {

std::string quoteid(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

int execsql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void sqlitesetup() {
  // Refused harmlessly (SQLITE_MISUSE) when SQLite was started already.
  static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)once;
}

}  // namespace vesper
