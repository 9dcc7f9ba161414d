// dBASE and Paradox tables as import sources: opening, values as text.
//
// Contract: `SourceTable` is the open source table of an import (at most one;
// opening another closes the first).  A table that cannot be opened leaves it
// closed, with a column count of 0 and no message.  Every value reaches the
// importer as text, by column type:
//   String            the text as stored
//   Short, Long       decimal, no separators
//   Float, Currency   "#.##": at most two decimals, rounded half away from
//                     zero on the value's 15 significant digits, no thousands
//                     separator, no digit where the value has none
//                     (0 -> "", 0.5 -> ".5", -0.5 -> "-.5", 1234.567 -> "1234.57")
//   Date              MM/DD/YYYY (read back with date code 4: month, day, year)
//   Time              HH:MM:SS
//   DateTime          the date part only, MM/DD/YYYY
//   Memo              the first line of the text
//   anything else     empty (logical, word, BCD, auto-increment, bytes, blobs)
// An empty (null) value is empty text in every type.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "source/formats/sourcetable.h"
#include "source/formats/workbook.h"

namespace vesper {

class SourceTable {
 public:
  using Opener = std::function<std::unique_ptr<SourceTableFile>(const std::string&, TableFormat)>;
  // Opens tables with the dBASE and Paradox readers of source/formats.
  SourceTable() : opener_(&opensourcetablefile) {}
  // Opens tables with `opener` (tests, other table back ends).
  explicit SourceTable(Opener opener) : opener_(std::move(opener)) {}

  bool isopen() const { return file_ != nullptr; }
  void close() { file_.reset(); }
  // Null when the table is closed.
  SourceTableFile* file() { return file_.get(); }
  int columncount() const { return file_ ? static_cast<int>(file_->columns().size()) : 0; }
  // Name of the column at `index` (from 0); empty when there is none.
  std::string columnname(int index) const;
  // A workbook source opened when it was identified, handed on to its reader
  // (with why it could not be read, when it could not).
  std::unique_ptr<Workbook> workbook;
  std::string workbookfailure;
  int workbooksheet = 0;

 private:
  friend int OpenSourceTable(SourceTable& table, const std::string& path, int kind);
  Opener opener_;
  std::unique_ptr<SourceTableFile> file_;
};

// Closes the table if open, opens `path` as dBASE (kind 2) or Paradox (kind 3)
// and returns its column count; 0 when it could not be opened.
int OpenSourceTable(SourceTable& table, const std::string& path, int kind);

// Column `index` (from 0) as text: of row k (from 1; the cursor is left on
// that row) when k is 1 or more, of the current row when k is 0.  Empty when
// the row or the column does not exist or the table is closed.
std::string GetTableField(SourceTable& table, int index, int k);

// Number of rows of the open table; 0 when it is closed.
int TableRowCount(SourceTable& table);

// The conversions of the table above.
std::string TableValueText(TableColumnType type, const TableValue& value);
// A number formatted with the pattern "#.##".
std::string FormatHashDotHash(double value);

}  // namespace vesper
