// The .ods spreadsheet: every sheet is a table of content.xml; a cell's value
// is in its attributes (number, date, time, boolean) or its paragraphs
// (text), and repeated rows and cells are written once with a count.
#include <cstdlib>
#include <cstring>

#include "source/formats/workbook.h"
#include "source/formats/workbookparts.h"

namespace vesper {

namespace {

const char* const kContent = "content.xml";
// The most rows or cells one element may stand for: a sheet's row limit.
constexpr long long kMaxRepeat = 1 << 20;

long long repeatof(const XmlAttributes& a, std::string_view name) {
  const long long n = xmlnumber(a.get(name), 1);
  return n < 1 ? 1 : (n > kMaxRepeat ? kMaxRepeat : n);
}

class OdsRows final : public SheetRows {
 public:
  OdsRows(const ZipPackage& package, int sheet) : SheetRows(package, kContent), sheet_(sheet) {}
  ~OdsRows() override { stopreading(); }

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (skip_) {
      ++skip_;
      return;
    }
    if (incell_) {
      if (name == "annotation") skip_ = 1;
      else if (name == "p") {
        if (paragraphs_++ > 0) text_ += "\r\n";
        ++inp_;
      } else if (inp_ && name == "s") text_.append(static_cast<std::size_t>(repeatof(a, "c")), ' ');
      else if (inp_ && name == "tab") text_ += ' ';
      else if (inp_ && name == "line-break") text_ += "\r\n";
      return;
    }
    if (name == "table") {
      ++table_;
    } else if (table_ != sheet_ + 1) {
      return;
    } else if (name == "table-row") {
      rowrepeat_ = repeatof(a, "number-rows-repeated");
      col_ = 1;
      cells_.clear();
    } else if (name == "table-cell" || name == "covered-table-cell") {
      incell_ = true;
      text_.clear();
      paragraphs_ = 0;
      colrepeat_ = repeatof(a, "number-columns-repeated");
      value_ = valueof(a);
      if (name == "table-cell") {
        const long long cs = repeatof(a, "number-columns-spanned");
        const long long rs = repeatof(a, "number-rows-spanned");
        if (cs > 1 || rs > 1)
          addmerge(row_, col_, row_ + rs - 1, static_cast<int>(std::min<long long>(col_ + cs - 1, kMaxSheetColumns)));
      }
    }
  }

  void onend(std::string_view name) override {
    if (skip_) {
      --skip_;
      return;
    }
    if (incell_) {
      if (name == "p") --inp_;
      else if (name == "table-cell" || name == "covered-table-cell") endcell();
      return;
    }
    if (table_ != sheet_ + 1) return;
    if (name == "table-row") {
      pushrow(cells_, row_, rowrepeat_);
      row_ += rowrepeat_;
    } else if (name == "table") {
      finish();
    }
  }

  void ontext(std::string_view text) override {
    if (incell_ && inp_ && !skip_) appendcelltext(text_, text);
  }

 private:
  // The value the cell's attributes give; set when they give one.
  struct Value {
    bool set = false;
    std::string text;
  };
  static Value valueof(const XmlAttributes& a) {
    const auto type = a.get("value-type");
    if (!type) return {};
    const std::string_view t = *type;
    if (t == "float" || t == "percentage" || t == "currency") {
      const auto v = a.get("value");
      if (v) return {true, numbertext(std::strtod(std::string(*v).c_str(), nullptr))};
    } else if (t == "date") {
      const auto v = a.get("date-value");
      if (v) return {true, isodatetext(*v)};
    } else if (t == "time") {
      const auto v = a.get("time-value");
      if (v) return {true, isotimetext(*v)};
    } else if (t == "boolean") {
      const auto v = a.get("boolean-value");
      if (v) return {true, *v == "true" ? "TRUE" : "FALSE"};
    }
    return {};
  }

  void endcell() {
    incell_ = false;
    std::string text = value_.set ? std::move(value_.text) : std::move(text_);
    if (!text.empty())
      for (long long k = 0; k < colrepeat_ && col_ + k <= kMaxSheetColumns; ++k)
        setcell(cells_, static_cast<int>(col_ + k), text);
    col_ = std::min<long long>(col_ + colrepeat_, kMaxSheetColumns + 1);
  }

  const int sheet_;
  int table_ = 0;  // tables begun so far
  std::vector<std::string> cells_;
  std::string text_;
  Value value_;
  long long row_ = 1, rowrepeat_ = 1, colrepeat_ = 1, col_ = 1;
  int skip_ = 0, inp_ = 0, paragraphs_ = 0;
  bool incell_ = false;
};

class OdsWorkbook final : public Workbook {
 public:
  std::unique_ptr<SheetRows> rows(int index) override {
    if (index < 0) throw PackageError("it has no such sheet");
    return std::make_unique<OdsRows>(package_, index);
  }

  void load() override {
    if (!package_.has(kContent)) throw PackageError("its content part is missing");
  }

  // The tables' names, read from content.xml by the XML reading (its
  // references resolved, whatever prefix the writer used) without keeping
  // any cell: a reading of the whole part, so only when asked.
  const std::vector<std::string>& sheetnames() override {
    if (listed_) return sheets_;
    listed_ = true;
    TableNames names(sheets_);
    try {
      names.readpart(package_, kContent, kMaxSheetPartBytes);
    } catch (const PackageError&) {
      // A damaged part: the names before the damage are what there is.
    }
    return sheets_;
  }

 private:
  class TableNames final : public XmlStream {
   public:
    explicit TableNames(std::vector<std::string>& names) : names_(names) {}

   protected:
    void onstart(std::string_view name, const XmlAttributes& a) override {
      if (name != "table") return;
      if (const auto n = a.get("name")) names_.emplace_back(*n);
      if (names_.size() >= static_cast<std::size_t>(kMaxSheetColumns)) finish();
    }
    void onend(std::string_view) override {}

   private:
    std::vector<std::string>& names_;
  };

  bool listed_ = false;
};

}  // namespace

std::unique_ptr<Workbook> makeodsworkbook() { return std::make_unique<OdsWorkbook>(); }

}  // namespace vesper
