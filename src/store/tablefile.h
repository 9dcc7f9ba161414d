// The open table file: its SQLite connection and its fields (internal to the
// table engine; include only from the table's own sources).
//
// Contract: one connection per open table, shared by the table's cursor and
// its writer, which never use it at the same time (see contactstore.h).  The
// table inside the file is the one named like the file, else the only one;
// its key is the column declared PRIMARY KEY.  The file is put in WAL mode
// (readers never wait for the writer) when it can be.  Failures of SQLite
// calls become EngineError with the engine's message, TableUnavailable where
// no retry of the same row can cure them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/fieldtypes.h"
#include "store/packedvalues.h"
#include "store/sqlitehelp.h"

namespace vesper {

struct TableFile {
  sqlite3* db = nullptr;
  std::string path, file;  // full path as found, and its file name for messages
  std::string table;       // quoted SQL name of the table inside the file
  std::string tablename;   // ... as stored
  std::vector<FieldDef> fields;
  std::vector<int> autoinc;   // positions of autoincrement fields
  std::vector<int> autoslot;  // per field: its index in autoinc, -1 for other fields
  // The fields every insert names (autoinc, non-NULL default), a bit per
  // field, 64 fields a word.
  std::vector<std::uint64_t> namedmask;
  int key = -1;
  // The key field when it is the table's row id (a lone INTEGER primary
  // key): a row's id is then its key, given by the row or numbered.
  int rowidfield = -1;
  int busyms = 5000;
  // The journal's page size, and how often commits copy it back.
  int pagebytes = 4096;
  int autoframes = 1000;

  // Opens the file at `found` (the path as found on disk).  On failure the
  // file is closed again and the error thrown.
  void open(const std::string& found);
  void close();
  bool isopen() const { return db != nullptr; }

  // The engine's message for a failed SQLite call.
  std::string describe(int rc) const;
  [[noreturn]] void fail(int rc) const { fail(rc, describe(rc)); }
  [[noreturn]] static void fail(int rc, const std::string& msg);
  void check(int rc) const {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc);
  }
  // True for failures after which the table cannot be written just now.
  static bool unavailable(int rc);
  std::string columnlist() const;

  static Cell readcolumn(sqlite3_stmt* s, int i);
  static int bind(sqlite3_stmt* s, int index, const CellRef& c);
  static int bind(sqlite3_stmt* s, int index, const Cell& c) { return bind(s, index, CellRef::of(c)); }
};

}  // namespace vesper
