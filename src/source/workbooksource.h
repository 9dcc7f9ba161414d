// The workbook kinds of record source: a sheet of an .xlsx workbook or of an
// .ods spreadsheet, its rows the records and its columns the fields.
//
// Contract.  The sheet read is the one SourceLayoutChoice names, else the
// first.  When the source is identified (`OpenWorkbookSource`) a header row
// is looked for among the first kHeaderSearch rows with text, as for text
// (the judge, or the choice "yes"/"no"); its cells are the field names and
// its width the field count, and the rows above it are notes, passed over.
// Without a header the fields are the columns (named by their letters) of
// the widest of the first rows.  Every later row with text is a record; one
// with text beyond the field count is a bad line (its cells as delimited
// text).  A workbook that turns out damaged while it is read ends the source
// with a message saying why.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "source/formats/workbook.h"
#include "source/recordsource.h"

namespace vesper {

// The workbook kind of the file at `path` judged by its content (kXlsxWorkbook
// or kOdsSpreadsheet); 0 when it is no workbook.
int WorkbookKindOf(const std::string& path);

// The sheets of the workbook at `path`, by name; none when it is no
// workbook or cannot be read.
std::vector<std::string> SourceSheetNames(const std::string& path);

// Opens the workbook at `path` into `table`, reads the header as above into
// state.SourceLayout and returns the field count; 0 when it cannot be read
// (the reader's `openfailure` says why).
int OpenWorkbookSource(SourceState& state, SourceTable& table, const std::string& path, int kind,
                       const HeaderJudge& judge);

class WorkbookSource final : public RecordSource {
 public:
  WorkbookSource(SourceState& state, SourceTable& table, int kind);

  int kind() const override { return kind_; }
  std::string openfailure(const std::string& path) const override;
  std::string fieldname(int field) const override;
  void rewind() override;
  bool more() override;
  bool next() override;
  std::string_view value(int field) override;
  void tellend() override;
  void close() override;
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;
  // The sheet's bytes read, of those its part declares.
  ReadProgress readprogress() const override;

 private:
  // The workbook open; false (the user told why) when it cannot be read.
  // The records are then its sheet's rows from the top.
  bool ensureopen();
  // The next record of `rows` into `cells`; bad lines go to the sink when
  // `report`.
  bool readrecord(SheetRows& rows, std::vector<std::string>& cells, bool report);
  void fail(const std::string& why);

  SourceState& state_;
  int kind_;
  std::string failure_;
  std::unique_ptr<Workbook> book_;
  std::unique_ptr<SheetRows> rows_;
  int sheet_ = 0;
  std::vector<std::string> record_, pending_;
  bool haspending_ = false;
  std::vector<std::vector<std::string>> samples_;
  bool sampled_ = false;
};

}  // namespace vesper
