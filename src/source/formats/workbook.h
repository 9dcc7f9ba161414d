// Workbooks (.xlsx and .ods) as tables of text: the sheets by name and the
// rows of one sheet, read as a stream.
//
// Contract.  A sheet's rows come in order, each as the text of its cells from
// the first column on, as a user sees them: text as written (rich text as its
// plain text, line breaks as CR LF, other control characters as blanks),
// numbers without a spurious ".0" (up to 15 significant digits), dates as
// 1961-03-15, times as 14:30:00, a date with a time as 1961-03-15 14:30:00,
// booleans as TRUE and FALSE, a formula as its last computed value, an error
// as its code (#N/A).  A merged area gives every cell in it the value of its
// top-left cell.  Rows without any text are left out; trailing empty cells are
// dropped.  At most kMaxSheetColumns columns are read.
//
// Only the rows on hand are held (and, for .xlsx, the shared strings, which
// every row may refer to), never the sheet, whatever size the sheet declares.
// A workbook that cannot be read throws `PackageError` saying why.
//
// A sheet's rows are read on a thread of their own, a few hundred rows ahead
// of the caller, so that an import puts its rows into contacts while the next
// ones are inflated and parsed.  That thread has an opening of the package of
// its own; what several sheets' readings share (the shared strings of an
// .xlsx workbook) is theirs under a lock.  A failure met ahead reaches the
// caller when it asks for the row it stopped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "source/formats/xmlstream.h"
#include "source/formats/zippackage.h"

namespace vesper {

constexpr int kMaxSheetColumns = 16384;
// Bytes any one part may inflate to: a sheet's XML, and what is held whole.
constexpr std::size_t kMaxSheetPartBytes = std::size_t(4) << 30;
constexpr std::size_t kMaxHeldPartBytes = std::size_t(256) << 20;

enum class WorkbookFormat { Xlsx, Ods };

// The rows of one sheet, read on demand.
class SheetRows : protected XmlStream {
 public:
  ~SheetRows() override;
  // The next row with text (`number`: its row in the sheet, from 1); false
  // at the end of the sheet.
  bool next(std::vector<std::string>& cells, long long& number);
  // Bytes of the sheet's XML read so far.
  long long bytesread() const { return read_.load(std::memory_order_relaxed); }
  // The bytes the sheet's part declares (0 when unknown).
  long long bytesdeclared() const { return part_ ? part_->size() : 0; }
  // A merged area, rows and columns from 1 (.ods names them where they start,
  // .xlsx after the rows, so it is looked up first: before the first next()).
  void addmerge(long long row1, int col1, long long row2, int col2);

 protected:
  SheetRows(const ZipPackage& package, const std::string& part);
  // Stops the reading thread.  It calls the functions of the kind of rows
  // (onstart, shortcut...), so each kind calls this first in its destructor.
  void stopreading();
  // A finished row (repeated `repeat` times, as .ods may say).  `cells` is
  // left empty in every cell, ready for the next row: often a row the reader
  // gave back, whose strings keep their room, so that a sheet of a million
  // rows is not a million rows of allocations.
  void pushrow(std::vector<std::string>& cells, long long number, long long repeat = 1);
  // Sets the cell at column `col` (from 1) of `cells`.
  static void setcell(std::vector<std::string>& cells, int col, std::string_view text);
  // Empties every cell, keeping the strings' room.
  static void clearcells(std::vector<std::string>& cells);

 private:
  struct Merge {
    long long row1, row2;
    int col1, col2;
    std::string value;
  };
  struct Row {
    std::vector<std::string> cells;
    long long number, repeat;
  };
  void fillmerges(std::vector<std::string>& cells, long long number);
  // The reading thread: the sheet's XML, chunk by chunk, into rows.
  void readahead();
  // Hands the rows made so far to the caller's side.
  void handoff();

  ZipPackage package_;  // the reading thread's own opening
  std::unique_ptr<ZipPart> part_;
  std::vector<Merge> merges_;
  std::atomic<long long> read_{0};
  // Rows pass from the reading thread to the caller a chunk of the sheet at
  // a time, so that the two meet under the lock once a chunk, not once a
  // row: made_ (the reading thread's), then rows_ (under mutex_), then
  // ready_ (the caller's).  The rows' cells come back the other way, for
  // their strings' room: givenback_, returned_, spare_.
  using Cells = std::vector<std::string>;
  std::deque<Row> made_;
  std::vector<Cells> spare_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Row> rows_;
  std::vector<Cells> returned_;
  std::exception_ptr failure_;
  bool ended_ = false, stopping_ = false;
  std::deque<Row> ready_;
  std::vector<Cells> givenback_;
  bool started_ = false;
  std::thread thread_;
};

class Workbook {
 public:
  virtual ~Workbook() = default;
  // The workbook at `path` (or held in `bytes`, kept by the caller); throws
  // PackageError when it cannot be read.
  static std::unique_ptr<Workbook> open(const std::string& path, WorkbookFormat format);
  static std::unique_ptr<Workbook> openmemory(std::string_view bytes, WorkbookFormat format);

  // The sheets' names, in order (for .ods a reading of the whole workbook).
  virtual const std::vector<std::string>& sheetnames() { return sheets_; }
  // The rows of sheet `index` (from 0).
  virtual std::unique_ptr<SheetRows> rows(int index) = 0;

 protected:
  virtual void load() = 0;  // reads what the workbook is made of
  friend std::unique_ptr<Workbook> openworkbook(std::unique_ptr<Workbook> book);
  ZipPackage package_;
  std::vector<std::string> sheets_;
};

// The format a file's content shows: a zip package holding a spreadsheet's
// parts; none when it is no workbook.
bool workbookformatof(const std::string& path, WorkbookFormat& format);

// --- cell text, shared by the two formats ---
// A number as a user sees it: 12345, 0.5, -3.25, 1E+20.
std::string numbertext(double value);
// A serial day count (from 30 December 1899; 1900-based sheets count the
// phantom 29 February 1900 that `excelserial` corrects) as date, time or both.
enum class DateShow { Number, Date, Time, DateTime };
std::string serialtext(double serial, DateShow show, bool date1904);
// Text of a cell as written: CR LF for line breaks, blanks for other controls.
void appendcelltext(std::string& out, std::string_view text);

}  // namespace vesper
