#include "source/formats/workbook.h"

#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "source/formats/workbookparts.h"

namespace vesper {

namespace {
// Merged areas looked after at most; more are read as plain cells.
constexpr std::size_t kMaxMerges = 4096;
}  // namespace

// --- the rows of a sheet ---

SheetRows::SheetRows(const ZipPackage& package, const std::string& part)
    : part_(std::make_unique<ZipPart>(package, part, kMaxSheetPartBytes)) {}

bool SheetRows::next(std::vector<std::string>& cells, long long& number) {
  while (rows_.empty() && !ended_) {
    if (finished()) {
      ended_ = true;
      break;
    }
    std::string_view chunk = part_->read();
    read_ += static_cast<long long>(chunk.size());
    if (chunk.empty()) ended_ = true;
    feed(chunk, ended_);
  }
  if (rows_.empty()) return false;
  Row& row = rows_.front();
  number = row.number;
  if (row.repeat > 1) {
    cells = row.cells;
    --row.repeat;
    ++row.number;
  } else {
    cells = std::move(row.cells);
    rows_.pop_front();
  }
  return true;
}

void SheetRows::setcell(std::vector<std::string>& cells, int col, std::string text) {
  if (col < 1 || col > kMaxSheetColumns) return;
  if (static_cast<int>(cells.size()) < col) {
    if (text.empty()) return;
    cells.resize(static_cast<std::size_t>(col));
  }
  cells[static_cast<std::size_t>(col - 1)] = std::move(text);
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
  if (cells.empty() || repeat < 1) return;
  rows_.push_back({std::move(cells), number, repeat});
  cells.clear();
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
