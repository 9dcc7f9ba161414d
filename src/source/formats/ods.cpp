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

  // The tables' names, found in content.xml without reading its cells (a
  // reading of the whole part, so only when asked).
  const std::vector<std::string>& sheetnames() override {
    if (listed_) return sheets_;
    listed_ = true;
    std::string tail;
    package_.read(kContent, kMaxSheetPartBytes, [&](std::string_view chunk) {
      tail += chunk;
      std::size_t done = 0;
      for (;;) {
        const std::size_t at = tail.find("<table:table ", done);
        if (at == std::string::npos) break;
        const std::size_t close = tail.find('>', at);
        if (close == std::string::npos) {
          done = at;
          break;
        }
        std::string_view element(tail.data() + at, close - at);
        const std::size_t n = element.find("table:name=");
        if (n != std::string_view::npos && n + 12 < element.size()) {
          const char quote = element[n + 11];
          const std::size_t end = element.find(quote, n + 12);
          if (end != std::string_view::npos) sheets_.push_back(xmlunescape(element.substr(n + 12, end - n - 12)));
        }
        done = close + 1;
      }
      tail.erase(0, done == 0 && tail.size() > 4096 ? tail.size() - 64 : done);
      return sheets_.size() < static_cast<std::size_t>(kMaxSheetColumns);
    });
    return sheets_;
  }

 private:
  bool listed_ = false;

  static std::string xmlunescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '&') {
        out += s[i];
        continue;
      }
      const std::size_t semi = s.find(';', i);
      if (semi == std::string_view::npos) break;
      const std::string_view e = s.substr(i + 1, semi - i - 1);
      out += e == "amp" ? "&" : e == "lt" ? "<" : e == "gt" ? ">" : e == "quot" ? "\"" : e == "apos" ? "'" : "";
      i = semi;
    }
    return out;
  }
};

}  // namespace

std::unique_ptr<Workbook> makeodsworkbook() { return std::make_unique<OdsWorkbook>(); }

}  // namespace vesper
