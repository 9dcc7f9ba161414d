#include "source/formats/workbook.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "parse/daycount.h"
#include "source/formats/workbookparts.h"

namespace vesper {

namespace {
// Merged areas looked after at most; more are read as plain cells.
constexpr std::size_t kMaxMerges = 4096;
// Rows given back kept for reuse at most.
constexpr std::size_t kSpareRows = 512;
// Rows the reading thread holds ready before it waits.
constexpr std::size_t kAheadRows = 128;
}  // namespace

// --- the rows of a sheet ---

SheetRows::SheetRows(const ZipPackage& package, const std::string& part) {
  if (!package_.openagain(package)) throw PackageError("it cannot be opened a second time");
  part_ = std::make_unique<ZipPart>(package_, part, kMaxSheetPartBytes);
}

SheetRows::~SheetRows() { stopreading(); }

void SheetRows::stopreading() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SheetRows::readahead() {
  try {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || rows_.size() < kAheadRows; });
        if (stopping_) return;
      }
      if (finished()) break;
      std::string_view chunk = part_->read();
      read_.fetch_add(static_cast<long long>(chunk.size()), std::memory_order_relaxed);
      feed(chunk, chunk.empty());
      handoff();
      if (chunk.empty()) break;
    }
  } catch (...) {
    handoff();  // the rows before the failure come first
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
  }
  handoff();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
}

void SheetRows::handoff() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (made_.empty() && returned_.empty()) return;
    if (rows_.empty()) rows_.swap(made_);
    for (Row& row : made_) rows_.push_back(std::move(row));
    made_.clear();
    for (Cells& cells : returned_)
      if (spare_.size() < kSpareRows) spare_.push_back(std::move(cells));
    returned_.clear();
  }
  changed_.notify_all();
}

bool SheetRows::next(std::vector<std::string>& cells, long long& number) {
  if (!started_) {
    started_ = true;
    thread_ = std::thread([this] { readahead(); });
  }
  if (ready_.empty()) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      for (Cells& c : givenback_) returned_.push_back(std::move(c));
      givenback_.clear();
      changed_.wait(lock, [&] { return !rows_.empty() || ended_; });
      if (rows_.empty()) {
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
        return false;
      }
      ready_.swap(rows_);
    }
    changed_.notify_all();  // there is room ahead again
  }
  Row& row = ready_.front();
  number = row.number;
  if (row.repeat > 1) {
    cells = row.cells;
    --row.repeat;
    ++row.number;
  } else {
    // The caller's last row goes back for a row to come.
    cells.swap(row.cells);
    if (givenback_.size() < kSpareRows) givenback_.push_back(std::move(row.cells));
    ready_.pop_front();
  }
  return true;
}

void SheetRows::setcell(std::vector<std::string>& cells, int col, std::string_view text) {
  if (col < 1 || col > kMaxSheetColumns) return;
  if (static_cast<int>(cells.size()) < col) {
    if (text.empty()) return;
    cells.resize(static_cast<std::size_t>(col));
  }
  cells[static_cast<std::size_t>(col - 1)].assign(text);
}

void SheetRows::clearcells(std::vector<std::string>& cells) {
  for (std::string& c : cells) c.clear();
}

void SheetRows::addmerge(long long row1, int col1, long long row2, int col2) {
  if (merges_.size() >= kMaxMerges || row1 < 1 || col1 < 1 || row2 < row1 || col2 < col1) return;
  if ((row2 == row1 && col2 == col1) || col1 > kMaxSheetColumns) return;
  merges_.push_back({row1, row2, col1, std::min(col2, kMaxSheetColumns), {}});
}

void SheetRows::fillmerges(std::vector<std::string>& cells, long long number) {
  for (Merge& m : merges_) {
    if (number < m.row1 || number > m.row2) continue;
    if (number == m.row1)
      m.value = m.col1 <= static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(m.col1 - 1)]
                                                          : std::string();
    for (int c = m.col1; c <= m.col2; ++c)
      if (c != m.col1 || number != m.row1) setcell(cells, c, m.value);
  }
}

void SheetRows::pushrow(std::vector<std::string>& cells, long long number, long long repeat) {
  if (!merges_.empty()) fillmerges(cells, number);
  // Cells of nothing but blanks count as empty.
  auto blank = [](const std::string& c) { return c.find_first_not_of(' ') == std::string::npos; };
  while (!cells.empty() && blank(cells.back())) cells.pop_back();
  if (cells.empty() || repeat < 1) return clearcells(cells);
  made_.push_back({std::move(cells), number, repeat});
  cells.clear();
  if (!spare_.empty()) {
    cells.swap(spare_.back());
    spare_.pop_back();
  }
  clearcells(cells);
}

// --- cell text ---

std::string numbertext(double value) {
  if (!std::isfinite(value)) return {};
  char buffer[40];
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
  }
  return buffer;
}

std::string serialtext(double serial, DateShow show, bool date1904) {
  if (show == DateShow::Number || !std::isfinite(serial) || serial < 0 || serial > 2958466)
    return numbertext(serial);
  // Whole seconds, rounded, so that 0.999999 of a day is the next day.
  long long seconds = std::llround(serial * 86400.0);
  long long day = seconds / 86400;
  const int second = static_cast<int>(seconds % 86400);
  if (date1904) day += 1462;
  else if (day < 61) day += 1;  // the 1900 calendar's phantom 29 February
  char buffer[40];
  std::string out;
  if (show != DateShow::Time) {
    int y = 0, m = 0, d = 0;
    decodedate(static_cast<int>(day), y, m, d);
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
    out = buffer;
  }
  if (show == DateShow::Time || (show == DateShow::DateTime && second != 0)) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
    if (!out.empty()) out += ' ';
    out += buffer;
  }
  return out;
}

void appendcelltext(std::string& out, std::string_view text) {
  std::size_t run = 0;  // start of the stretch without control characters
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 32) continue;
    out.append(text.substr(run, i - run));
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else {
      out += ' ';
    }
    run = i + 1;
  }
  out.append(text.substr(run));
}

// --- opening ---

std::unique_ptr<Workbook> openworkbook(std::unique_ptr<Workbook> book) {
  book->load();
  return book;
}

namespace {
std::unique_ptr<Workbook> makeworkbook(WorkbookFormat format) {
  return format == WorkbookFormat::Xlsx ? makexlsxworkbook() : makeodsworkbook();
}
}  // namespace

std::unique_ptr<Workbook> Workbook::open(const std::string& path, WorkbookFormat format) {
  auto book = makeworkbook(format);
  if (!book->package_.open(path)) throw PackageError("it is no zip package");
  return openworkbook(std::move(book));
}

std::unique_ptr<Workbook> Workbook::openmemory(std::string_view bytes, WorkbookFormat format) {
  auto book = makeworkbook(format);
  if (!book->package_.openmemory(bytes)) throw PackageError("it is no zip package");
  return openworkbook(std::move(book));
}

// --- which format ---

bool workbookformatof(const std::string& path, WorkbookFormat& format) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char magic[4] = {};
  const std::size_t n = std::fread(magic, 1, 4, f);
  std::fclose(f);
  if (n != 4 || std::string_view(magic, 4) != std::string_view("PK\x03\x04", 4)) return false;
  ZipPackage package;
  if (!package.open(path)) return false;
  try {
    if (package.has("mimetype")) {
      const std::string type = package.readsmall("mimetype", 256);
      if (type.rfind("application/vnd.oasis.opendocument.spreadsheet", 0) == 0) {
        format = WorkbookFormat::Ods;
        return true;
      }
    }
    if (package.has("[Content_Types].xml")) {
      const std::string types = package.readsmall("[Content_Types].xml", 1 << 20);
      if (types.find("spreadsheetml") != std::string::npos) {
        format = WorkbookFormat::Xlsx;
        return true;
      }
    }
  } catch (const PackageError&) {
  }
  return false;
}

}  // namespace vesper
