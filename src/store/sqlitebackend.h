// The SQLite table engine: a table kept as its own SQLite file.
//
// Contract (beyond TableBackend's, tablebackend.h):
// - The file is opened as TableFile says (tablefile.h): the table inside it
//   named like the file, else the only one, its key the column declared
//   PRIMARY KEY, the file in WAL mode where it can be.  Opening fails with
//   EngineError (TableUnavailable where it cannot be read just now) and
//   leaves nothing open.
// - Row ids are SQLite's rowids; the walk's order is taken with one query
//   and each row read again by rowid, so no statement stays open between
//   calls and a store outside a group commits at once.
// - The writer is the file's TableWriter (tablewriter.h), on the same
//   connection as the reads and edits.
// - Field names never become SQL text: identifiers come from the table's own
//   schema and are quoted, values are bound.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "store/sqlitehelp.h"
#include "store/sqlitehistory.h"
#include "store/tablebackend.h"
#include "store/tablefile.h"
#include "store/tablewriter.h"

namespace vesper {

class SqliteBackend final : public TableBackend {
 public:
  // Opens the table file at `found` (its path as found on disk), waiting up
  // to `busyms` milliseconds for a lock.
  SqliteBackend(const std::string& found, int busyms);
  ~SqliteBackend() override;
  SqliteBackend(const SqliteBackend&) = delete;
  SqliteBackend& operator=(const SqliteBackend&) = delete;

  const std::vector<FieldDef>& fields() const override { return file_.fields; }
  int keyfield() const override { return file_.key; }
  const std::string& path() const override { return file_.path; }
  const std::string& name() const override { return file_.file; }
  void setbusytimeout(int milliseconds) override;
  void setreadcache(int kib) override;

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
  TableFile file_;
  TableWriter writer_{file_};
  SqliteHistory history_{file_};
  Statement selectrow_;  // kept: a walk reads every row with it
  std::set<std::string> indexed_;  // the folded lookups' indexes made
};

}  // namespace vesper
