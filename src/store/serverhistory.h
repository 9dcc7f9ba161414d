// The import history of a contact table kept on a PostgreSQL server: the
// tables imports and importkeys of the database's schema (importhistory.h),
// on the table's own connection.
//
// Contract (beyond ImportHistory's):
// - The tables are made on first use, under a lock of the schema's history
//   so that two importers starting at once make them once.
// - A writer's trail (`recordtrail`) is written inside the group's
//   transaction, before its commit: the keys of the rows the group stored,
//   each with its row's fingerprint (an md5 of the row's text form).
// - An undo is one transaction of the connection: the contacts, the run's
//   mark and NumImport in the database table together.
#pragma once

#include <string>
#include <vector>

#include "store/importhistory.h"

namespace vesper {

struct ServerLink;

// `keys`: the keys of the group's rows as the body of a text array.
void recordtrail(ServerLink& link, long long run, const std::string& keys);

class ServerHistory final : public ImportHistory {
 public:
  explicit ServerHistory(ServerLink& link) : link_(link) {}
  long long addrun(const ImportRecord& record) override;
  void endrun(const ImportRecord& record) override;
  std::vector<ImportRecord> runs() override;
  UndoOutcome undo(long long run, const std::function<void()>& midway) override;

 private:
  ServerLink& link_;
};

}  // namespace vesper
