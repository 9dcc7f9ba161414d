// The .xlsx workbook: the package's relationships lead from the workbook
// part to its sheets, shared strings and styles; a numeric cell whose style's
// number format has date or time codes is a date or a time.
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "source/formats/sharedstrings.h"
#include "source/formats/workbook.h"
#include "source/formats/workbookparts.h"
#include "source/formats/xlsxshapes.h"

namespace vesper {

namespace {

constexpr std::size_t kSmallPart = 16 << 20;

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
    const auto id = a.get("Id");
    const auto target = a.get("Target");
    const auto type = a.get("Type");
    if (id && target) relations[std::string(*id)] = {std::string(type.value_or("")), std::string(*target)};
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
      const auto n = a.get("name");
      const auto id = a.get("id");
      if (n && id) sheets.emplace_back(*n, *id);
    } else if (name == "workbookPr") {
      const auto d = a.get("date1904");
      date1904 = d && (*d == "1" || *d == "true");
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
      const auto id = a.get("numFmtId");
      const auto code = a.get("formatCode");
      if (id && code) formats_[static_cast<int>(xmlnumber(id))] = dateshowofformat(*code);
    } else if (name == "cellXfs") {
      incellxfs_ = true;
    } else if (name == "xf" && incellxfs_) {
      const int n = static_cast<int>(xmlnumber(a.get("numFmtId")));
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

// The shared strings part, read into a store that holds few of them in memory.
class SharedStringsReader : public XmlStream {
 public:
  SharedStrings strings;

 protected:
  void onstart(std::string_view name, const XmlAttributes&) override {
    if (name == "rPh") ++skip_;
    else if (name == "t" && !skip_) intext_ = true;
    else if (name == "sst") shortcuthere();
  }
  void onend(std::string_view name) override {
    if (name == "rPh") --skip_;
    else if (name == "t") intext_ = false;
    else if (name == "si") {
      add(raw_);
      raw_.clear();
    }
  }
  void ontext(std::string_view text) override {
    if (intext_ && !skip_) raw_.append(text);
  }
  // The strings that follow one another in the common shapes, taken in one
  // go: most as they stand, the others cleaned.
  std::size_t shortcut(std::string_view at) override {
    std::size_t taken = 0;
    for (;;) {
      std::string_view text;
      if (const std::size_t n = plainstring(at.substr(taken), text)) {
        strings.add(text);
        taken += n;
      } else if (const std::size_t m = shapedstring(at.substr(taken), text)) {
        clean(text);
        taken += m;
      } else {
        return taken;
      }
      if (!withinbound()) return taken;
    }
  }

 private:
  void add(std::string_view raw) {
    clean(raw);
    withinbound();
  }
  // Adds the string cleaned as a cell shows it.
  void clean(std::string_view raw) {
    if (raw.find("_x") == std::string_view::npos)
      strings.addmade([raw](std::string& to) { appendcelltext(to, raw); });
    else
      strings.addmade([raw](std::string& to) { appendcelltext(to, unescapecontrols(raw)); });
  }
  // False, and the reading stopped, once the strings are too large.  Memory
  // is not the bound once they go to a file; the file's size is.
  bool withinbound() {
    const std::uint64_t bound = strings.spilled() ? kMaxSheetPartBytes : kMaxHeldPartBytes;
    if (strings.textbytes() <= bound) return true;
    stop("its shared strings are too large");
    return false;
  }

  std::string raw_;
  int skip_ = 0;
  bool intext_ = false;
};

// What the sheets' readings share.  The store of strings changes as they are
// read (its cache) and when another sheet's rows are asked for (the strings
// kept at hand): a reading thread holds `lock` while it gets strings.
struct XlsxShared {
  std::mutex lock;
  SharedStringsReader strings;
  bool hasstrings = false;
  std::vector<DateShow> xfs;
  bool date1904 = false;
};

// A cell's type attribute as one letter: s shared string, i inline string,
// t formula text, b boolean, e error, d ISO date, n number.
char celltype(std::string_view t) {
  if (t.empty()) return 'n';
  if (t == "inlineStr") return 'i';
  if (t == "str") return 't';
  return t.size() == 1 ? t[0] : 'n';
}

class XlsxRows final : public SheetRows {
 public:
  XlsxRows(const ZipPackage& package, const std::string& part, XlsxShared& shared)
      : SheetRows(package, part), shared_(shared) {}
  ~XlsxRows() override { stopreading(); }

 protected:
  void onstart(std::string_view name, const XmlAttributes& a) override {
    if (name == "c") {
      // One look through the attributes: a sheet has millions of cells.
      int col = 0;
      type_ = 'n';
      style_ = 0;
      for (const auto& [attribute, value] : a) {
        const std::string_view n = localname(attribute);
        if (n.size() != 1) continue;
        if (n[0] == 'r') col = cellcolumn(value);
        else if (n[0] == 't') type_ = celltype(value);
        else if (n[0] == 's') style_ = static_cast<int>(xmlnumber(value));
      }
      col_ = col > 0 ? col : col_ + 1;
      value_.clear();
      text_.clear();
    } else if (name == "v") {
      inv_ = true;
    } else if (name == "t") {
      int_ = true;
    } else if (name == "rPh") {
      ++skip_;
    } else if (name == "row") {
      startrow(xmlnumber(a.get("r"), row_ + 1));
    } else if (name == "sheetData") {
      shortcuthere();
    }
  }
  void onend(std::string_view name) override {
    if (name == "c") {
      std::lock_guard<std::mutex> lock(shared_.lock);
      readcell();
    }
    else if (name == "v") inv_ = false;
    else if (name == "t") int_ = false;
    else if (name == "rPh") --skip_;
    else if (name == "row") endrow();
    else if (name == "sheetData") stopshortcut();
  }
  // A row of the common shape, read by that shape; its cells come out as
  // the general reading's would.
  std::size_t shortcut(std::string_view at) override {
    long long row = 0;
    const std::size_t taken = shapedrow(at, row, shaped_);
    if (taken == 0) return 0;
    std::lock_guard<std::mutex> lock(shared_.lock);
    prefetchstrings();
    startrow(row >= 0 ? row : row_ + 1);
    for (std::size_t k = 0; k < shaped_.size(); ++k) {
      const ShapedCell& c = shaped_[k];
      col_ = c.col > 0 ? c.col : col_ + 1;
      if (indexes_[k] != kNotShared) {
        // Most cells are a shared string: its text goes straight in.
        if (std::string* cell = cellhere()) cell->assign(shared_.strings.strings.get(indexes_[k]));
        continue;
      }
      type_ = celltype(c.type);
      style_ = static_cast<int>(xmlnumber(c.style));
      value_.assign(c.value);
      text_.clear();
      readcell();
    }
    endrow();
    return taken;
  }
  void ontext(std::string_view text) override {
    if (inv_) value_.append(text);
    else if (int_ && !skip_) text_.append(text);
  }

 private:
  void startrow(long long number) {
    row_ = number;
    col_ = 0;
    clearcells(cells_);
  }
  void endrow() { pushrow(cells_, row_); }

  // The shared strings of a row lie all over their store, most of them out
  // of the processor's caches: asked for together, before the row's cells
  // are read one by one, they are fetched side by side, not one after the
  // other.  Each cell's string number goes to `indexes_` (kNotShared for a
  // cell of another type, or when the workbook has no shared strings: the
  // general reading says so).
  void prefetchstrings() {
    indexes_.assign(shaped_.size(), kNotShared);
    if (!shared_.hasstrings) return;
    for (std::size_t k = 0; k < shaped_.size(); ++k) {
      const ShapedCell& c = shaped_[k];
      std::size_t i = 0;
      if (c.type == "s" && std::from_chars(c.value.data(), c.value.data() + c.value.size(), i).ec == std::errc()) {
        indexes_[k] = i;
        shared_.strings.strings.prefetch(i);
      }
    }
  }

  // The place of the cell just read in its row (none for a cell past the
  // last column; an empty one past the row's last is dropped with the row's
  // trailing blanks).
  std::string* cellhere() {
    if (col_ < 1 || col_ > kMaxSheetColumns) return nullptr;
    if (cells_.size() < static_cast<std::size_t>(col_)) cells_.resize(static_cast<std::size_t>(col_));
    return &cells_[static_cast<std::size_t>(col_ - 1)];
  }

  // The cell just read into its column of the row, its text made in place.
  void readcell() {
    if (std::string* cell = cellhere()) celltext(*cell);
  }

  // The text of the cell just read, into `out` (its content replaced).
  void celltext(std::string& out) {
    out.clear();
    if (type_ == 'i') {
      appendcelltext(out, unescapecontrols(text_));
    } else if (type_ == 's') {
      if (!shared_.hasstrings) stop("its shared strings are missing");
      std::size_t i = 0;
      const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), i);
      if (r.ec == std::errc()) out.assign(shared_.strings.strings.get(i));
    } else if (type_ == 'b') {
      out = value_ == "1" || value_ == "true" ? "TRUE" : "FALSE";
    } else if (type_ == 't' || type_ == 'e') {
      appendcelltext(out, value_);
    } else if (type_ == 'd') {
      out = isodatetext(value_);
    } else if (!value_.empty()) {
      char* end = nullptr;
      const double v = std::strtod(value_.c_str(), &end);
      if (end == value_.c_str()) return;
      const std::size_t s = static_cast<std::size_t>(style_);
      const DateShow show = style_ >= 0 && s < shared_.xfs.size() ? shared_.xfs[s] : DateShow::Number;
      out = serialtext(v, show, shared_.date1904);
    }
  }

  XlsxShared& shared_;  // its strings' cache changes as they are read
  std::vector<std::string> cells_;
  std::vector<ShapedCell> shaped_;
  static constexpr std::size_t kNotShared = static_cast<std::size_t>(-1);
  std::vector<std::size_t> indexes_;  // the shared string of each cell of a row
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
    const std::size_t i = static_cast<std::size_t>(index);
    const std::string& part = parts_[i];
    scans_.resize(parts_.size());
    if (!scans_[i] || keptfor_ != index) {
      // A sheet lists its merged areas after its rows: it is read through for
      // them first, on a second opening of the package, while this thread
      // reads the shared strings.  The same look counts how often it names
      // each shared string, so that the store of strings keeps at hand those
      // its rows name most.  The counts go once they are used: a sheet read
      // again after another is looked through again.
      auto scan = std::async(std::launch::async, [this, part] { return scansheet(part); });
      if (!sharedloaded_) loadshared();
      scans_[i] = scan.get();
      {
        std::lock_guard<std::mutex> lock(shared_.lock);
        shared_.strings.strings.keeprepeated(scans_[i]->uses);
      }
      keptfor_ = index;
      StringUses().nibbles.swap(scans_[i]->uses.nibbles);
      // The look's own working memory, freed on its thread, goes back now
      // rather than stay with that thread's heap.
      malloc_trim(0);
    }
    auto rows = std::make_unique<XlsxRows>(package_, part, shared_);
    for (const CellArea& m : scans_[i]->merges) rows->addmerge(m.row1, m.col1, m.row2, m.col2);
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
        shared_.hasstrings = shared_.strings.readpart(package_, part, kMaxSheetPartBytes);
      }
      else if (endswith(r.type, "/styles")) {
        StylesReader styles;
        if (styles.readpart(package_, part, kSmallPart)) shared_.xfs = std::move(styles.xfs);
      }
    }
  }

  // What a look through a sheet finds before its rows are read.
  struct SheetScan {
    std::vector<CellArea> merges;
    StringUses uses;  // how often it names each shared string, until used
  };

  SheetScan scansheet(const std::string& part) const {
    ZipPackage again;
    if (!again.openagain(package_)) throw PackageError("it cannot be opened a second time");
    SheetScan scan;
    // The merged areas are looked for in what is left of the stretch before
    // and the next one together; a stretch without a merge element, even
    // one cut at its start, is not copied for that.
    std::string tail;
    again.read(part, kMaxSheetPartBytes, [&](std::string_view chunk) {
      countsharedrefs(chunk, scan.uses);
      constexpr std::string_view kMerge = "mergeCell";
      const std::string joint = tail + std::string(chunk.substr(0, kMerge.size()));
      if (chunk.find(kMerge) == std::string_view::npos && joint.find(kMerge) == std::string::npos) {
        tail.assign(chunk.substr(chunk.size() > 16 ? chunk.size() - 16 : 0));
        return true;
      }
      tail += chunk;
      findmergerefs(tail, scan.merges);
      return true;
    });
    return scan;
  }

  XlsxShared shared_;
  RelsReader rels_;
  std::string folder_;
  std::vector<std::string> parts_;
  std::vector<std::optional<SheetScan>> scans_;  // per sheet, once read
  int keptfor_ = -1;  // the sheet whose shared strings the store keeps at hand
  bool sharedloaded_ = false;
};

}  // namespace

std::unique_ptr<Workbook> makexlsxworkbook() { return std::make_unique<XlsxWorkbook>(); }

}  // namespace vesper
