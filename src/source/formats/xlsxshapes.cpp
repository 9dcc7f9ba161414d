#include "source/formats/xlsxshapes.h"

#include <charconv>

#include "source/formats/workbookparts.h"
#include "source/formats/xmlstream.h"

namespace vesper {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// An attribute's name without its prefix (short: looked through by hand).
std::string_view local(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i)
    if (name[i] == ':') return name.substr(i + 1);
  return name;
}

// A reading position over `data`; every step fails (false) rather than pass
// the end.
struct Cursor {
  std::string_view data;
  std::size_t p = 0;

  bool skipblanks() {
    while (p < data.size() && blank(data[p])) ++p;
    return p < data.size();
  }
  // The words compared are a few bytes: a loop the compiler unrolls beats a
  // library compare here, which this runs tens of millions of times.
  bool take(std::string_view s) {
    if (data.size() - p < s.size()) return false;
    for (std::size_t k = 0; k < s.size(); ++k)
      if (data[p + k] != s[k]) return false;
    p += s.size();
    return true;
  }
  // A tag's attributes up to its '>' (`empty` for "/>"), each handed to
  // `seen(localname, value)`; false for any value with a reference or '<'.
  template <class Seen>
  bool attributes(bool& empty, Seen seen) {
    for (;;) {
      if (!skipblanks()) return false;
      const char c = data[p];
      if (c == '>') return ++p, empty = false, true;
      if (c == '/') return take("/>") && (empty = true);
      const std::size_t a = p;
      while (p < data.size() && !blank(data[p]) && data[p] != '=' && data[p] != '>' && data[p] != '/') ++p;
      const std::string_view name = data.substr(a, p - a);
      if (name.empty() || !skipblanks() || data[p] != '=') return false;
      ++p;
      if (!skipblanks()) return false;
      const char quote = data[p];
      if (quote != '"' && quote != '\'') return false;
      const std::size_t v = ++p;
      while (p < data.size() && data[p] != quote) {
        if (data[p] == '&' || data[p] == '<') return false;
        ++p;
      }
      if (p >= data.size()) return false;
      seen(local(name), data.substr(v, p - v));
      ++p;
      if (p < data.size() && !blank(data[p]) && data[p] != '>' && data[p] != '/') return false;
    }
  }
  // Text up to the next '<', without references or carriage returns.
  bool text(std::string_view& out) {
    const std::size_t t = p;
    while (p < data.size() && data[p] != '<') {
      if (data[p] == '&' || data[p] == '\r') return false;
      ++p;
    }
    out = data.substr(t, p - t);
    return p < data.size();
  }
  // The start of element `name`: "<name" then a blank, '>' or '/'.
  bool opens(std::string_view name) {
    const std::size_t at = p;
    if (!take("<") || !take(name) || p >= data.size() || !(blank(data[p]) || data[p] == '>' || data[p] == '/'))
      return p = at, false;
    return true;
  }
  bool closes(std::string_view name) {
    const std::size_t at = p;
    if (take("</") && take(name) && skipblanks() && take(">")) return true;
    p = at;
    return false;
  }
};

// The cell most sheets are made of, <c r="B7" t="s"><v>12</v></c>, taken
// at a glance from `c`: false, and `c` where it was, for any other.
bool sharedcell(Cursor& c, ShapedCell& cell) {
  Cursor t = c;
  const std::string_view d = t.data;
  if (!t.take("<c r=\"")) return false;
  const std::size_t ref = t.p;
  while (t.p < d.size() && ((d[t.p] >= 'A' && d[t.p] <= 'Z') || (d[t.p] >= '0' && d[t.p] <= '9'))) ++t.p;
  const std::size_t refend = t.p;
  if (t.p == ref || !t.take("\" t=\"s\"><v>")) return false;
  const std::size_t value = t.p;
  while (t.p < d.size() && d[t.p] >= '0' && d[t.p] <= '9') ++t.p;
  const std::size_t valueend = t.p;
  if (valueend == value || !t.take("</v></c>")) return false;
  cell.col = cellcolumn(d.substr(ref, refend - ref));
  cell.type = "s";
  cell.value = d.substr(value, valueend - value);
  c = t;
  return true;
}

}  // namespace

std::size_t shapedrow(std::string_view data, long long& row, std::vector<ShapedCell>& cells) {
  Cursor c{data};
  cells.clear();
  row = -1;
  if (!c.opens("row")) return 0;
  bool empty = false;
  const bool ok = c.attributes(empty, [&](std::string_view name, std::string_view value) {
    if (name != "r") return;
    long long r = 0;
    const auto got = std::from_chars(value.data(), value.data() + value.size(), r);
    row = got.ec == std::errc() && got.ptr == value.data() + value.size() ? r : -1;
  });
  if (!ok) return 0;
  if (empty) return c.p;
  for (;;) {
    if (!c.skipblanks()) return 0;
    if (c.closes("row")) return c.p;
    ShapedCell cell;
    if (sharedcell(c, cell)) {
      cells.push_back(cell);
      continue;
    }
    if (!c.opens("c")) return 0;
    const bool read = c.attributes(empty, [&](std::string_view name, std::string_view value) {
      if (name.size() != 1) return;
      if (name[0] == 'r') cell.col = cellcolumn(value);
      else if (name[0] == 't') cell.type = value;
      else if (name[0] == 's') cell.style = value;
    });
    if (!read) return 0;
    if (!empty) {
      if (!c.skipblanks()) return 0;
      if (c.take("<v>")) {
        if (!c.text(cell.value) || !c.closes("v") || !c.skipblanks()) return 0;
      }
      if (!c.closes("c")) return 0;
    }
    cells.push_back(cell);
  }
}

std::size_t shapedstring(std::string_view data, std::string_view& text) {
  Cursor c{data};
  if (!c.take("<si>") || !c.opens("t")) return 0;
  bool empty = false;
  bool other = false;
  const bool ok = c.attributes(empty, [&](std::string_view name, std::string_view) { other |= name != "space"; });
  if (!ok || other) return 0;
  if (empty) text = {};
  else if (!c.text(text) || !c.closes("t")) return 0;
  return c.closes("si") ? c.p : 0;
}

std::size_t plainstring(std::string_view data, std::string_view& text) {
  Cursor c{data};
  if (!c.take("<si><t>")) return 0;
  const std::size_t start = c.p;
  for (; c.p < data.size() && data[c.p] != '<'; ++c.p) {
    const unsigned char b = static_cast<unsigned char>(data[c.p]);
    if (b < 32 || b == '&' || b == '_') return 0;
  }
  const std::size_t end = c.p;
  if (!c.take("</t></si>")) return 0;
  text = data.substr(start, end - start);
  return c.p;
}

void countsharedrefs(std::string_view text, StringUses& uses) {
  // Strings past this number are not counted: a hostile sheet naming
  // string 4,000,000,000 must not make the counts that long.
  constexpr std::size_t kMostStrings = std::size_t(1) << 25;
  const char* const end = text.data() + text.size();
  for (std::size_t at = text.find("t=\"s\""); at != std::string_view::npos; at = text.find("t=\"s\"", at + 5)) {
    // Most cells read <c ... t="s"><v>N</v></c>: the value right after the
    // start tag's end.  Others are looked through for theirs.
    std::size_t v = std::string_view::npos;
    const std::size_t close = text.find('>', at + 5);
    if (close == std::string_view::npos) return;
    if (text[close - 1] == '/') continue;  // an empty cell
    if (text.compare(close + 1, 3, "<v>") == 0) {
      v = close + 1;
    } else {
      v = text.find("<v>", at);
      if (v == std::string_view::npos) return;
      // The value must belong to the same cell.
      const std::string_view between = text.substr(at, v - at);
      if (between.find("/>") != std::string_view::npos || between.find("</") != std::string_view::npos) continue;
    }
    std::size_t i = 0;
    const auto got = std::from_chars(text.data() + v + 3, end, i);
    if (got.ec != std::errc() || got.ptr == end || *got.ptr != '<' || i >= kMostStrings) continue;
    uses.add(i);
  }
}

}  // namespace vesper
