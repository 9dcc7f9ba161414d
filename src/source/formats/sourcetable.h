// Read-only access to a dBASE or Paradox table chosen as an import source.
//
// Contract: `opensourcetablefile` never crashes, over-reads or loops on a bad
// file: a table it cannot read is refused with an EngineError whose text says
// why.  Once open, the table is walked with first()/next()/atend() in file
// order; deleted rows are skipped.  value(i) gives the typed value of column i
// (0-based) of the current row; text arrives converted to UTF-8 from the
// table's code page.  Turning values into the importer's text (the "#.##"
// pattern, the date layout) is the caller's business.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vesper {

enum class TableColumnType {
  String,    // fixed-width character data
  Short,     // 16-bit integer
  Long,      // 32-bit (or wider) integer
  Float,     // floating point (dBASE N and F, Paradox number)
  Currency,  // money
  Date,      // date only
  Time,      // time of day only
  DateTime,  // date and time together (timestamp)
  Memo,      // memo text (dBASE M, Paradox memo and formatted memo)
  Logical,   // boolean
  Word,      // unsigned 16-bit integer
  Bcd,       // binary-coded decimal
  AutoInc,   // auto-increment
  Bytes,     // byte string
  Blob,      // binary, graphic, OLE and other large objects
  Other,
};

struct TableColumn {
  std::string name;  // UTF-8
  TableColumnType type = TableColumnType::Other;
  int size = 0;      // width in the file, as the format states it
};

struct TableValue {
  bool null = true;       // blank date, blank logical, all-blank number, empty field
  std::string text;       // String and Memo: the text (UTF-8)
  long long integer = 0;  // Short, Long, Word, AutoInc
  double number = 0;      // Float, Currency, Bcd
  int date = 0;           // Date and DateTime: day count from 30 December 1899
  double time = 0;        // Time and DateTime: fraction of a day
  bool logical = false;   // Logical
};

class SourceTableFile {
 public:
  virtual ~SourceTableFile() = default;
  virtual const std::vector<TableColumn>& columns() const = 0;
  virtual long long recordcount() const = 0;  // rows, deleted ones excluded where known
  virtual void first() = 0;
  virtual void next() = 0;
  virtual bool atend() const = 0;             // past the last row; true for an empty table
  virtual TableValue value(int column) = 0;   // of the current row; null when atend()
  // Why a read of the table failed ("" while none did): the rows after it
  // were taken for the end of the table.
  virtual std::string readfault() const { return {}; }
};

enum class TableFormat { DBase, Paradox };

// Opens the table at `path` (its memo file is found beside it, matched without
// regard to letter case).  Throws EngineError when the table cannot be read.
std::unique_ptr<SourceTableFile> opensourcetablefile(const std::string& path, TableFormat format);

}  // namespace vesper
