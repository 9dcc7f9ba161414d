// Small helpers over the SQLite C interface shared by the table files.
//
// Contract: `Statement` owns one prepared statement; identifiers are made
// with `quoteid` (sqlid.h).
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "store/sqlid.h"

namespace vesper {

class Statement {
 public:
  Statement() = default;
  ~Statement() { finalize(); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Returns the SQLite result code; the statement is empty on failure.
  int prepare(sqlite3* db, const std::string& sql) {
    finalize();
    return sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  }
  void finalize() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
  // Ready for the next run: no open read transaction is kept by a finished statement.
  void reset() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs SQL without results; the SQLite result code.
int execsql(sqlite3* db, const char* sql);

// Once, before the first connection: SQLite keeps no memory statistics (they
// take a process-wide lock on every allocation, and nothing here reads them).
void sqlitesetup();

}  // namespace vesper
