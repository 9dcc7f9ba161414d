#include "store/sqlitehelp.h"

namespace vesper {

int execsql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void sqlitesetup() {
  // Refused harmlessly (SQLITE_MISUSE) when SQLite was started already.
  static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)once;
}

}  // namespace vesper
