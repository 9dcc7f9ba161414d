// The server table engine: a table of a contact database kept on a
// PostgreSQL server (serverdatabase.h), beneath a `Table` as any engine is.
//
// Contract (beyond TableBackend's, tablebackend.h):
// - The table "CONTACT.DB" is the table contact of the database's schema,
//   found without regard to letter case; it is named "CONTACT.DB" in
//   messages.  Its fields come from the server's catalogue, each column's
//   comment giving the declared type (servertables.h); its key is the
//   primary key's one column.  Opening fails with EngineError
//   (TableUnavailable when the server cannot be reached) and leaves nothing
//   open.
// - Row ids are numbers the engine gives the rows it meets, each naming a
//   key value (a table without key: a tuple id) for as long as the backend
//   is open (serverlink.h says how far they follow edits).  The table keeps
//   no column of its own for them: it has exactly the fields it was made
//   with.
// - The walk is in key order, texts compared byte by byte as in a table
//   file; a table without key is walked in the order of its autoincrement
//   field, else in the order its rows lie in (the order of insertion, until
//   an edit moves a row to the end).
// - A lock another session holds is waited for up to the busy timeout (the
//   server's lock_timeout), then the operation fails with TableUnavailable
//   saying the table is locked.
// - The writer is a ServerWriter (serverwriter.h) on the same connection.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "store/serverdatabase.h"
#include "store/serverhistory.h"
#include "store/serverlink.h"
#include "store/serverwriter.h"
#include "store/tablebackend.h"

namespace vesper {

class Table;

class ServerBackend final : public TableBackend {
 public:
  // Opens table `name` ("CONTACT.DB") of `database`, waiting up to `busyms`
  // milliseconds for a lock.
  ServerBackend(const ServerDatabase& database, const std::string& name, int busyms);
  ~ServerBackend() override;
  ServerBackend(const ServerBackend&) = delete;
  ServerBackend& operator=(const ServerBackend&) = delete;

  const std::vector<FieldDef>& fields() const override { return fields_; }
  int keyfield() const override { return key_; }
  const std::string& path() const override { return path_; }
  const std::string& name() const override { return name_; }
  void setbusytimeout(int milliseconds) override;

  void roworder(std::vector<long long>& ids) override;
  void readrow(long long id, std::vector<Cell>& cells) override;
  long long recordcount() override;
  void updaterow(long long id, const std::vector<Cell>& cells, const std::vector<bool>& written) override;

  void rowswithfolded(const std::vector<FoldedKey>& keys, std::vector<std::vector<Cell>>& rows) override;
  bool scanfields(const std::vector<int>& fields, bool ids, const RowVisitor& visit) override;
  TableRowWriter& writer() override { return writer_; }
  ImportHistory* history() override { return &history_; }
  void close() override;

 private:
  ServerLink link_;
  ServerWriter writer_{link_};
  ServerHistory history_{link_};
  // Kept past close(): the table's references to them stay valid.
  std::vector<FieldDef> fields_;
  int key_ = -1;
  std::string path_, name_;
  std::string columns_;  // every column, quoted, as a select list
  std::string readsql_;
  ServerParams params_;
  std::set<std::string> indexed_;  // the folded lookups' indexes made
};

// Opens table `name` of `database` ("CONTACT.DB", "contact.db": the table
// contact) as `table`'s engine, with busy timeout `busyms`.
void openservertable(Table& table, const ServerDatabase& database, const std::string& name, int busyms);

}  // namespace vesper
