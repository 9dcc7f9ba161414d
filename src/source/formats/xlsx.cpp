// The .xlsx workbook: the package's relationships lead from the workbook
// part to its sheets, shared strings and styles; a numeric cell whose style's
// number format has date or time codes is a date or a time.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "source/formats/workbook.h"
#include "source/formats/workbookparts.h"

namespace vesper {

namespace {

constexpr std::size_t kSmallPart = 16 << 20;
// A sheet whose merged areas are looked for before its rows (they are listed
// after them) is at most this large; a larger one is read without them.
constexpr long long kMergeScanBytes = 32 << 20;

struct Relation {
  std::string type, target;
};

// A relationships part: Id -> (Type, Target).
class RelsReader : public XmlStream {
 public:
  std::map<std::string, Relation> relations;

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name != "Relationship") return;
    const char* id = a.get("Id");
    const char* target = a.get("Target");
    const char* type = a.get("Type");
    if (id && target) relations[id] = {type ? type : "", target};
  }
  void onend(std::string_view) override {}
};

bool endswith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// A relationship's target, relative to the folder of the part that names it.
std::string resolve(const std::string& folder, const std::string& target) {
  if (!target.empty() && target[0] == '/') return normalpartname(target.substr(1));
  return normalpartname(folder + target);
}

class WorkbookReader : public XmlStream {
 public:
  std::vector<std::pair<std::string, std::string>> sheets;  // name, relationship id
  bool date1904 = false;

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name == "sheet") {
      const char* n = a.get("name");
      const char* id = a.get("id");
      if (n && id) sheets.emplace_back(n, id);
    } else if (name == "workbookPr") {
      const char* d = a.get("date1904");
      date1904 = d && (std::strcmp(d, "1") == 0 || std::strcmp(d, "true") == 0);
    }
  }
  void onend(std::string_view) override {}
};

class StylesReader : public XmlStream {
 public:
  std::vector<DateShow> xfs;  // per cell style

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name == "numFmt") {
      const char* id = a.get("numFmtId");
      const char* code = a.get("formatCode");
      if (id && code) formats_[std::atoi(id)] = dateshowofformat(code);
    } else if (name == "cellXfs") {
      incellxfs_ = true;
    } else if (name == "xf" && incellxfs_) {
      const char* id = a.get("numFmtId");
      const int n = id ? std::atoi(id) : 0;
      auto f = formats_.find(n);
      xfs.push_back(f != formats_.end() ? f->second : dateshowofbuiltin(n));
    }
  }
  void onend(std::string_view name) override {
    if (name == "cellXfs") incellxfs_ = false;
  }

 private:
  std::map<int, DateShow> formats_;
  bool incellxfs_ = false;
};

// The shared strings, held back to back in one block.
class SharedStringsReader : public XmlStream {
 public:
  std::string pool;
  std::vector<std::uint32_t> ends;  // the pool stays below 4 GB (kMaxHeldPartBytes)

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name == "sst") {
      // Room for all at once: growing by doubling would hold two copies at a time.
      const char* n = a.get("uniqueCount");
      const long long count = n ? std::atoll(n) : 0;
      if (count > 0) ends.reserve(static_cast<std::size_t>(std::min<long long>(count, 1 << 26)));
    }
    if (name == "rPh") ++skip_;
    else if (name == "t" && !skip_) intext_ = true;
  }
  void onend(std::string_view name) override {
    if (name == "rPh") --skip_;
    else if (name == "t") intext_ = false;
    else if (name == "si") {
      appendcelltext(pool, unescapecontrols(raw_));
      raw_.clear();
      if (pool.size() > kMaxHeldPartBytes) stop("its shared strings are too large");
      ends.push_back(static_cast<std::uint32_t>(pool.size()));
    }
  }
  void ontext(std::string_view text) override {
    if (intext_ && !skip_) raw_.append(text);
  }

 private:
  std::string raw_;
  int skip_ = 0;
  bool intext_ = false;
};

struct XlsxShared {
  SharedStringsReader strings;
  bool hasstrings = false;
  std::vector<DateShow> xfs;
  bool date1904 = false;
};

// A cell's type attribute as one letter: s shared string, i inline string,
// t formula text, b boolean, e error, d ISO date, n number.
char celltype(const char* t) {
  if (!t || !*t) return 'n';
  if (std::strcmp(t, "inlineStr") == 0) return 'i';
  if (std::strcmp(t, "str") == 0) return 't';
  return t[1] == 0 ? t[0] : 'n';
}

class XlsxRows final : public SheetRows {
 public:
  XlsxRows(const ZipPackage& package, const std::string& part, const XlsxShared& shared)
      : SheetRows(package, part), shared_(shared) {}

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name == "c") {
      const char* r = a.get("r");
      const char* t = a.get("t");
      const char* s = a.get("s");
      col_ = r ? cellcolumn(r) : col_ + 1;
      type_ = celltype(t);
      style_ = s ? std::atoi(s) : 0;
      value_.clear();
      text_.clear();
    } else if (name == "v") {
      inv_ = true;
    } else if (name == "t") {
      int_ = true;
    } else if (name == "rPh") {
      ++skip_;
    } else if (name == "row") {
      const char* r = a.get("r");
      row_ = r ? std::atoll(r) : row_ + 1;
      col_ = 0;
      cells_.clear();
    }
  }
  void onend(std::string_view name) override {
    if (name == "c") setcell(cells_, col_, celltext());
    else if (name == "v") inv_ = false;
    else if (name == "t") int_ = false;
    else if (name == "rPh") --skip_;
    else if (name == "row") pushrow(cells_, row_);
  }
  void ontext(std::string_view text) override {
    if (inv_) value_.append(text);
    else if (int_ && !skip_) text_.append(text);
  }

 private:
  std::string celltext() {
    if (type_ == 'i') {
      std::string out;
      appendcelltext(out, unescapecontrols(text_));
      return out;
    }
    if (type_ == 's') {
      if (!shared_.hasstrings) stop("its shared strings are missing");
      const std::size_t i = static_cast<std::size_t>(std::strtoull(value_.c_str(), nullptr, 10));
      const auto& ends = shared_.strings.ends;
      if (value_.empty() || i >= ends.size()) return {};
      const std::size_t begin = i == 0 ? 0 : ends[i - 1];
      return shared_.strings.pool.substr(begin, ends[i] - begin);
    }
    if (type_ == 'b') return value_ == "1" || value_ == "true" ? "TRUE" : "FALSE";
    if (type_ == 't' || type_ == 'e') {
      std::string out;
      appendcelltext(out, value_);
      return out;
    }
    if (type_ == 'd') return isodatetext(value_);
    if (value_.empty()) return {};
    char* end = nullptr;
    const double v = std::strtod(value_.c_str(), &end);
    if (end == value_.c_str()) return {};
    const std::size_t s = static_cast<std::size_t>(style_);
    const DateShow show = style_ >= 0 && s < shared_.xfs.size() ? shared_.xfs[s] : DateShow::Number;
    return serialtext(v, show, shared_.date1904);
  }

  const XlsxShared& shared_;
  std::vector<std::string> cells_;
  char type_ = 'n';
  std::string value_, text_;
  long long row_ = 0;
  int col_ = 0, style_ = 0, skip_ = 0;
  bool inv_ = false, int_ = false;
};

class XlsxWorkbook final : public Workbook {
 public:
  std::unique_ptr<SheetRows> rows(int index) override {
    if (index < 0 || index >= static_cast<int>(parts_.size())) throw PackageError("it has no such sheet");
    if (!sharedloaded_) loadshared();
    const std::string& part = parts_[static_cast<std::size_t>(index)];
    auto rows = std::make_unique<XlsxRows>(package_, part, shared_);
    for (const CellArea& m : mergedareas(part)) rows->addmerge(m.row1, m.col1, m.row2, m.col2);
    return rows;
  }

  void load() override {
    RelsReader root;
    root.readpart(package_, "_rels/.rels", kSmallPart);
    std::string book = "xl/workbook.xml";
    for (const auto& [id, r] : root.relations)
      if (endswith(r.type, "/officeDocument")) book = resolve("", r.target);
    const std::size_t slash = book.rfind('/');
    folder_ = slash == std::string::npos ? "" : book.substr(0, slash + 1);
    WorkbookReader wb;
    if (!wb.readpart(package_, book, kSmallPart)) throw PackageError("its workbook part is missing");
    shared_.date1904 = wb.date1904;
    const std::string relspart = folder_ + "_rels/" + book.substr(folder_.size()) + ".rels";
    rels_.readpart(package_, relspart, kSmallPart);
    for (const auto& [name, id] : wb.sheets) {
      auto r = rels_.relations.find(id);
      if (r == rels_.relations.end()) continue;
      const std::string part = resolve(folder_, r->second.target);
      if (part.empty() || !package_.has(part)) continue;
      sheets_.push_back(name);
      parts_.push_back(part);
    }
    if (sheets_.empty()) throw PackageError("it holds no sheet");
  }

 private:
  void loadshared() {
    sharedloaded_ = true;
    for (const auto& [id, r] : rels_.relations) {
      const std::string part = resolve(folder_, r.target);
      if (endswith(r.type, "/sharedStrings")) {
        // The text is shorter than its XML: reserved address space, of which
        // only what is filled is ever touched.
        const long long declared = package_.declaredsize(part);
        if (declared > 0)
          shared_.strings.pool.reserve(static_cast<std::size_t>(std::min<long long>(declared, kMaxHeldPartBytes)));
        shared_.hasstrings = shared_.strings.readpart(package_, part, kMaxHeldPartBytes);
      }
      else if (endswith(r.type, "/styles")) {
        StylesReader styles;
        if (styles.readpart(package_, part, kSmallPart)) shared_.xfs = std::move(styles.xfs);
      }
    }
  }

  // The merged areas of a sheet small enough to look through first.
  std::vector<CellArea> mergedareas(const std::string& part) {
    std::vector<CellArea> areas;
    if (package_.declaredsize(part) > kMergeScanBytes) return areas;
    std::string tail;
    long long seen = 0;
    package_.read(part, kMaxSheetPartBytes, [&](std::string_view chunk) {
      seen += static_cast<long long>(chunk.size());
      tail += chunk;
      findmergerefs(tail, areas);
      return seen < kMergeScanBytes;
    });
    return areas;
  }

  XlsxShared shared_;
  RelsReader rels_;
  std::string folder_;
  std::vector<std::string> parts_;
  bool sharedloaded_ = false;
};

}  // namespace

std::unique_ptr<Workbook> makexlsxworkbook() { return std::make_unique<XlsxWorkbook>(); }

}  // namespace vesper
