#include "source/workbooksource.h"

#include "source/sourcestate.h"
#include "source/tablesource.h"
#include "source/textsniff.h"

namespace vesper {

namespace {

// Rows looked at for the field count of a sheet without a header.
constexpr int kWidthRows = 50;
// Records kept for the assignment dialog's samples.
constexpr int kSampleRecords = 50;

WorkbookFormat formatof(int kind) {
  return kind == kOdsSpreadsheet ? WorkbookFormat::Ods : WorkbookFormat::Xlsx;
}

std::string columnletters(int col) {
  std::string s;
  for (; col > 0; col = (col - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (col - 1) % 26));
  return s;
}

// The sheet `choice` names (0, the first, when it names none); -1 when the
// workbook has no sheet of that name.
int sheetindex(Workbook& book, const std::string& choice) {
  if (choice.empty()) return 0;
  const auto& names = book.sheetnames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == choice) return static_cast<int>(i);
  return -1;
}

// The cells as a line of delimited text, for the bad-record file.
std::string asline(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i) line += ',';
    const std::string& c = cells[i];
    if (c.find_first_of(",\"\r\n") == std::string::npos) {
      line += c;
      continue;
    }
    line += '"';
    for (char ch : c) line += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    line += '"';
  }
  return line;
}

}  // namespace

int WorkbookKindOf(const std::string& path) {
  WorkbookFormat format;
  if (!workbookformatof(path, format)) return 0;
  return format == WorkbookFormat::Ods ? kOdsSpreadsheet : kXlsxWorkbook;
}

std::vector<std::string> SourceSheetNames(const std::string& path) {
  const int kind = WorkbookKindOf(path);
  if (!kind) return {};
  try {
    return Workbook::open(path, formatof(kind))->sheetnames();
  } catch (const PackageError&) {
    return {};
  }
}

int OpenWorkbookSource(SourceState& state, SourceTable& table, const std::string& path, int kind,
                       const HeaderJudge& judge) {
  table.close();
  table.workbook.reset();
  table.workbookfailure.clear();
  table.workbooksheet = 0;
  const LayoutChoice& choice = state.SourceLayoutChoice;
  TextLayout& layout = state.SourceLayout;
  layout = TextLayout{};
  try {
    auto book = Workbook::open(path, formatof(kind));
    const int index = sheetindex(*book, choice.sheet);
    if (index < 0) throw PackageError("it has no sheet called " + choice.sheet);
    layout.sheet = choice.sheet;
    auto rows = book->rows(index);
    std::vector<std::vector<std::string>> first;
    std::vector<long long> numbers;
    std::vector<std::string> cells;
    long long number = 0;
    while (static_cast<int>(first.size()) < kWidthRows && rows->next(cells, number)) {
      first.push_back(cells);
      numbers.push_back(number);
    }
    int header = -1;
    if (choice.header != HeaderChoice::No) {
      for (int i = 0; i < static_cast<int>(first.size()) && i < kHeaderSearch && header < 0; ++i)
        if (judge && judge(first[static_cast<std::size_t>(i)])) header = i;
      if (header < 0 && choice.header == HeaderChoice::Yes && !first.empty()) header = 0;
    }
    int fieldcount = 0;
    if (header >= 0) {
      layout.columnnames = first[static_cast<std::size_t>(header)];
      layout.headerline = static_cast<int>(numbers[static_cast<std::size_t>(header)]);
      layout.preamblelines = header;
      fieldcount = static_cast<int>(layout.columnnames.size());
    } else {
      for (const auto& row : first) fieldcount = std::max(fieldcount, static_cast<int>(row.size()));
    }
    if (fieldcount == 0) throw PackageError("its sheet holds no text");
    table.workbook = std::move(book);
    table.workbooksheet = index;
    return fieldcount;
  } catch (const PackageError& e) {
    table.workbookfailure = e.what();
    layout = TextLayout{};
    return 0;
  }
}

WorkbookSource::WorkbookSource(SourceState& state, SourceTable& table, int kind)
    : state_(state), kind_(kind), failure_(table.workbookfailure), book_(std::move(table.workbook)),
      sheet_(table.workbooksheet) {}

std::string WorkbookSource::openfailure(const std::string& path) const {
  if (failure_.empty()) return {};
  return "The workbook " + path + " could not be read: " + failure_ + ".";
}

std::string WorkbookSource::fieldname(int field) const {
  const auto& names = state_.SourceLayout.columnnames;
  if (field >= 1 && field <= static_cast<int>(names.size())) return names[static_cast<std::size_t>(field - 1)];
  return names.empty() && field >= 1 ? columnletters(field) : std::string();
}

void WorkbookSource::fail(const std::string& why) {
  if (failure_.empty()) state_.messages.errormessage("The workbook " + state_.SourceFile.Name + " could not be read: " + why + ".");
  failure_ = why;
  rows_.reset();
  haspending_ = false;
}

bool WorkbookSource::ensureopen() {
  if (!failure_.empty()) return false;
  try {
    if (!book_) {
      book_ = Workbook::open(state_.SourceFile.Name, formatof(kind_));
      sheet_ = sheetindex(*book_, state_.SourceLayout.sheet);
      if (sheet_ < 0) throw PackageError("it has no sheet called " + state_.SourceLayout.sheet);
    }
  } catch (const PackageError& e) {
    fail(e.what());
    return false;
  }
  return true;
}

ReadProgress WorkbookSource::readprogress() const {
  if (!rows_) return {};
  return {rows_->bytesread(), rows_->bytesdeclared()};
}

void WorkbookSource::rewind() {
  rows_.reset();
  haspending_ = false;
  ensureopen();
}

bool WorkbookSource::readrecord(SheetRows& rows, std::vector<std::string>& cells, bool report) {
  const long long header = state_.SourceLayout.headerline;
  const std::size_t width = static_cast<std::size_t>(state_.SourceFieldCount);
  long long number = 0;
  while (rows.next(cells, number)) {
    if (number <= header) continue;
    bool extra = false;
    for (std::size_t i = width; i < cells.size() && !extra; ++i) extra = !cells[i].empty();
    if (!extra) return true;
    if (report) {
      state_.NoBadRecords = false;
      if (badline_) badline_(asline(cells));
      if (afterline_) afterline_();
      if (state_.ImportStopped) return false;
    }
  }
  return false;
}

bool WorkbookSource::more() {
  if (haspending_) return true;
  if (!ensureopen()) return false;
  try {
    if (!rows_) rows_ = book_->rows(sheet_);
    haspending_ = readrecord(*rows_, pending_, true);
  } catch (const PackageError& e) {
    fail(e.what());
  }
  return haspending_;
}

bool WorkbookSource::next() {
  if (state_.ImportStopped || !more()) return false;
  record_.swap(pending_);
  haspending_ = false;
  if (afterline_) afterline_();
  return true;
}

std::string_view WorkbookSource::value(int field) {
  if (field < 1 || field > static_cast<int>(record_.size())) return {};
  return record_[static_cast<std::size_t>(field - 1)];
}

void WorkbookSource::tellend() { state_.messages.errormessage("The record is empty"); }

void WorkbookSource::close() {
  rows_.reset();
  book_.reset();
  haspending_ = false;
}

std::string WorkbookSource::sample(int field, int record) {
  if (!sampled_ && failure_.empty()) {
    sampled_ = true;
    try {
      if (!book_ && !ensureopen()) return {};
      auto rows = book_->rows(sheet_);
      std::vector<std::string> cells;
      while (static_cast<int>(samples_.size()) < kSampleRecords && readrecord(*rows, cells, false))
        samples_.push_back(cells);
    } catch (const PackageError&) {
      // The reading itself tells the user; samples are what could be read.
    }
  }
  if (record < 1 || record > static_cast<int>(samples_.size()) || field < 1) return {};
  const auto& cells = samples_[static_cast<std::size_t>(record - 1)];
  return field <= static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(field - 1)] : std::string();
}

int WorkbookSource::count(const CountProgress& progress) {
  if (!book_ && !ensureopen()) return 0;
  int records = 0;
  try {
    auto rows = book_->rows(sheet_);
    std::vector<std::string> cells;
    long long number = 0;
    const long long header = state_.SourceLayout.headerline;
    while (!state_.CountCancelled && rows->next(cells, number)) {
      if (number > header) ++records;
      if (records % 10 == 0 && progress.show) progress.show(records);
      if (progress.letinputrun)
        progress.letinputrun();
      else
        state_.messages.processevents();
    }
  } catch (const PackageError& e) {
    fail(e.what());
    return 0;
  }
  return records;
}

}  // namespace vesper
