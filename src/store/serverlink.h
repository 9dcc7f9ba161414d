// A table open on a PostgreSQL server: its connection, its fields as the
// server's catalogue gives them, the ids of its rows, and the statements
// and messages every part of the server engine shares (internal to the
// server engine; include only from its own sources).
//
// Contract:
// - One connection per open table, shared by the table's cursor and its
//   writer, which never use it at the same time (see contactstore.h).  The
//   session reads and writes dates, times, numbers and bytes in one fixed
//   form (ISO dates, hex bytes, shortest exact numbers, UTF-8), whatever the
//   server's own settings.
// - Row ids: a row is named by its key value (a table without key: by its
//   place in the table, the server's tuple id); the first time a row is
//   seen it is given the next number, and that number names it while it
//   exists, also across walks and after an edit that changed its key or
//   moved it.  A row deleted meanwhile has an id that finds nothing.  For a
//   table without key an id follows only this connection's edits: another
//   program's edit of the row moves it, and the old id then finds nothing.
// - Values never become SQL text: they go as bound parameters (text form) or
//   COPY rows; identifiers are always quoted.
// - Failures throw EngineError with the server's one-line message, made into
//   this engine's wording; TableUnavailable for those no retry of the same
//   row cures (a lock held past the busy timeout, the connection lost, the
//   disk full, no right to write).
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "store/fieldtypes.h"
#include "store/packedvalues.h"
#include "store/serverconnection.h"
#include "store/serverdatabase.h"

namespace vesper {

using PgResult = std::unique_ptr<PGresult, void (*)(PGresult*)>;
inline PgResult pgresult(PGresult* r) { return PgResult(r, PQclear); }

// Row ids by key value (or tuple id), given in the order rows are first seen.
class RowIds {
 public:
  long long idof(const std::string& value);
  // The value an id names; nullptr for an id never given.
  const std::string* valueof(long long id) const;
  // The row `id` names is now found by `value` (its key was edited, or it moved).
  void rename(long long id, const std::string& value);
  void clear();

 private:
  std::vector<std::string> values_;  // id - 1 -> value
  std::unordered_map<std::string, long long> ids_;
};

// Parameters of one statement, as texts; their storage is kept from one
// statement to the next.
struct ServerParams {
  std::vector<std::string> texts;
  std::vector<bool> isnull;
  std::vector<const char*> values;
  std::size_t count = 0;
  void start() { count = 0; }
  std::string& add();  // the next parameter's text, emptied
  void addnull();
  const char* const* pointers();
};

struct ServerLink {
  std::unique_ptr<ServerConnection> server;
  PGconn* conn = nullptr;
  std::string connection;  // the connection text, to ask the server again (never shown)
  std::string name;    // in messages: "CONTACT.DB"
  std::string path;    // "pnant.contact in office on db.example.org"
  std::string table;   // quoted, schema-qualified
  std::vector<FieldDef> fields;
  std::vector<std::string> columns;     // quoted names
  std::vector<std::string> types;       // the server's column types ("character varying(20)")
  std::vector<std::string> sequences;   // per field: the sequence numbering it, "" for none
  std::vector<std::uint64_t> namedmask;  // fields every insert names (a default that is not a number)
  int key = -1;
  int order = -1;       // a table without key: the autoincrement field its walk follows, -1 for none
  bool keytext = true;  // the key is stored as text
  // An insert inside a group can fail for more than a taken key (triggers,
  // foreign keys, checks the engine does not keep itself, other unique
  // indexes, NOT NULL columns): each goes inside a savepoint of its own.
  bool guarded = false;
  int busyms = 5000;
  RowIds ids;

  // Opens the table named `name` ("CONTACT.DB": the table contact of the
  // database's schema, letter case ignored).  On failure nothing stays open.
  void open(const ServerDatabase& database, const std::string& name, int busyms);
  void close();
  bool isopen() const { return conn != nullptr; }
  void setbusytimeout(int ms);

  // The key column (or tuple id) as the walk's statements name it, and as
  // a comparison of texts byte by byte.
  std::string keyexpr() const;
  // The column a row is found by: the key column, or the tuple id.
  std::string rowid() const;
  // "key = $n" or "ctid = $n::tid".
  std::string rowmatch(int param) const;

  // Runs `sql` (no values; may hold several statements); throws on failure.
  void exec(const char* sql);
  void exec(const std::string& sql) { exec(sql.c_str()); }
  // Runs `sql` with `params`; the result whatever its status (check with ok()).
  PgResult run(const std::string& sql, ServerParams& params);
  static bool ok(const PGresult* r);
  // Throws for failed result `r` (its message, as the engine words it).
  [[noreturn]] void fail(const PGresult* r) const;
  // The engine's message for failed result `r`.
  std::string describe(const PGresult* r) const;
  // True for failures after which the table cannot be written just now.
  bool unavailable(const PGresult* r) const;
  static bool keytaken(const PGresult* r);
  std::string lostmessage() const;
  // After the connection was lost: whether the server committed the
  // transaction numbered `xid`, asked over a connection of its own:
  // "committed", "aborted", or "" when that cannot be known (the server
  // cannot be reached, or it still holds the transaction open).
  std::string outcome(const std::string& xid) const;
  [[noreturn]] void lost() const { throw TableUnavailable(lostmessage()); }
  bool connected() const { return conn && PQstatus(conn) == CONNECTION_OK; }

  // The value of `field` as a parameter text (the server's input form).
  void paramtext(int field, const CellRef& c, std::string& out) const;
  // A value read back from the server's text form.
  Cell readvalue(int field, const char* text, int length) const;
  // The value of `field` in column `column` of row `row` of `r` (an empty
  // cell for NULL).
  Cell cellat(const PGresult* r, int row, int column, int field) const {
    return PQgetisnull(r, row, column) ? Cell() : readvalue(field, PQgetvalue(r, row, column), PQgetlength(r, row, column));
  }
};

}  // namespace vesper
