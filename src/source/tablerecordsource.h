// The two table kinds of record source: a dBASE or a Paradox table, opened
// in the `SourceTable` the source reads (tablesource.h).
//
// Contract: the rows are the records, in file order.  After `next` the
// cursor stays on the record read, so its values are read from the row
// itself (as TableValueText gives them); the cursor moves on to the next row
// only when the following record is asked for (`more` or `next`), and the
// line hook runs after each such move.
#pragma once

#include <string>
#include <string_view>

#include "source/recordsource.h"
#include "source/tablesource.h"

namespace vesper {

class TableRecordSource : public RecordSource {
 public:
  TableRecordSource(SourceState& state, SourceTable& table) : state_(state), table_(table) {}

  std::string openfailure(const std::string& path) const override;
  std::string fieldname(int field) const override { return table_.columnname(field - 1); }
  void rewind() override;
  bool more() override;
  bool next() override;
  std::string_view value(int field) override;
  void tellend() override;
  void close() override { table_.close(); }
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;
  // The records read, of the table's rows.
  ReadProgress readprogress() const override;
  // A read of the table failed: the records after it were not read (the
  // user is told once, as the reading stops).
  bool readfailed() const override;

 protected:
  // The table format's name for the user ("dBASE").
  virtual const char* formatname() const = 0;

 private:
  SourceState& state_;
  SourceTable& table_;
  bool onnextrow_ = true;  // the cursor is on the row the next read gives
  long long read_ = 0;     // records read since the start
  bool toldfault_ = false;
  std::string value_;
};

class DBaseSource final : public TableRecordSource {
 public:
  using TableRecordSource::TableRecordSource;
  int kind() const override;

 protected:
  const char* formatname() const override { return "dBASE"; }
};

class ParadoxSource final : public TableRecordSource {
 public:
  using TableRecordSource::TableRecordSource;
  int kind() const override;

 protected:
  const char* formatname() const override { return "Paradox"; }
};

}  // namespace vesper
