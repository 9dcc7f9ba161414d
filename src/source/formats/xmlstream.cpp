#include "source/formats/xmlstream.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "source/textdecode.h"

namespace vesper {

namespace {

// A tag, comment or section longer than this is not a workbook's.
constexpr std::size_t kMaxToken = 4 << 20;
constexpr std::size_t kLongToken = 4096;
// The longest reference: "&#x10FFFF;" and a little room.
constexpr std::size_t kLongestReference = 12;
// Elements open at once at most (each holds its name until it closes).
constexpr std::size_t kMaxDepth = 4096;

bool isblank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Bytes that end a name: blanks, '>', '/', '=' and the quotes.
struct NameEnds {
  bool ends[256] = {};
  constexpr NameEnds() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '>', '/', '=', '"', '\'', '<'}) ends[c] = true;
  }
};
constexpr NameEnds kNameEnds;
bool namechar(char c) { return !kNameEnds.ends[static_cast<unsigned char>(c)]; }

bool startswith(std::string_view s, std::size_t at, std::string_view head) {
  return s.size() - at >= head.size() && s.compare(at, head.size(), head) == 0;
}

// Whether `s` from `at` could still become `head` once more bytes come.
bool couldbe(std::string_view s, std::size_t at, std::string_view head) {
  const std::size_t n = std::min(s.size() - at, head.size());
  return s.compare(at, n, head.substr(0, n)) == 0;
}

// The character a reference's body (between '&' and ';') names; 0 when none.
unsigned long reference(std::string_view body) {
  if (body == "lt") return '<';
  if (body == "gt") return '>';
  if (body == "amp") return '&';
  if (body == "quot") return '"';
  if (body == "apos") return '\'';
  if (body.size() < 2 || body[0] != '#') return 0;
  const bool hex = body[1] == 'x';
  std::size_t i = hex ? 2 : 1;
  if (i >= body.size() || body.size() - i > 8) return 0;
  unsigned long c = 0;
  for (; i < body.size(); ++i) {
    const char d = body[i];
    int v = d >= '0' && d <= '9' ? d - '0' : -1;
    if (hex && v < 0) v = d >= 'a' && d <= 'f' ? d - 'a' + 10 : d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
    if (v < 0) return 0;
    c = c * (hex ? 16 : 10) + static_cast<unsigned long>(v);
  }
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return c;
}

}  // namespace

std::string_view localname(std::string_view name) {
  // Names are short: a loop beats a library search here.
  for (std::size_t i = 0; i < name.size(); ++i)
    if (name[i] == ':') return name.substr(i + 1);
  return name;
}

std::optional<std::string_view> XmlAttributes::get(std::string_view name) const {
  for (std::size_t i = 0; i < count_; ++i)
    if (localname(list_[i].first) == name) return list_[i].second;
  return std::nullopt;
}

long long xmlnumber(std::optional<std::string_view> text, long long otherwise) {
  if (!text) return otherwise;
  std::string_view t = *text;
  while (!t.empty() && isblank(t.front())) t.remove_prefix(1);
  long long v = 0;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  return r.ec == std::errc() ? v : otherwise;
}

XmlStream::XmlStream() = default;
XmlStream::~XmlStream() = default;

void XmlStream::stop(const std::string& why) {
  if (stopped_.empty()) stopped_ = why;
}

void XmlStream::finish() { finished_ = true; }

void XmlStream::damaged(const char* why) { stop(std::string("its XML is damaged (") + why + ")"); }

void XmlStream::feed(std::string_view chunk, bool last) {
  if (finished_) return;
  if (!stopped_.empty()) throw PackageError(stopped_);
  if (!started_) {
    // The first bytes wait until the byte order mark can be seen.
    carry_.append(chunk);
    chunk = {};
    if (carry_.size() < 3 && !last) return;
    started_ = true;
    const std::string_view head = carry_;
    if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF")
      throw PackageError("its XML is written in UTF-16, which is not read");
    if (head.substr(0, 3) == "\xEF\xBB\xBF") carry_.erase(0, 3);
  }
  // A token the last chunk cut is completed from the front of this one, a
  // tag at a time, so that the rest is read where it lies, not copied.
  std::size_t from = 0;
  while (!carry_.empty() && !halted()) {
    // A long token (a comment, a section) takes whole chunks, so that it is
    // not looked through again for every '>' in it.
    const std::size_t gt = carry_.size() > kLongToken ? std::string_view::npos : chunk.find('>', from);
    const std::size_t upto = gt == std::string_view::npos ? chunk.size() : gt + 1;
    carry_.append(chunk.substr(from, upto - from));
    from = upto;
    const std::size_t used = scan(carry_, last && from == chunk.size());
    if (halted()) break;
    carry_.erase(0, used);
    if (from == chunk.size()) break;
  }
  if (!halted() && carry_.empty() && from < chunk.size()) {
    const std::string_view rest = chunk.substr(from);
    const std::size_t used = scan(rest, last);
    if (!halted()) carry_.assign(rest.substr(used));
  }
  if (!stopped_.empty()) throw PackageError(stopped_);
  if (finished_) return;
  if (carry_.size() > kMaxToken) throw PackageError("its XML holds a tag too long to be a workbook's");
  if (last) {
    if (!carry_.empty()) damaged("unclosed token");
    else if (!rootseen_) damaged("no element found");
    else if (!nameends_.empty()) damaged("an element is not closed");
    if (!stopped_.empty()) throw PackageError(stopped_);
  }
}

std::size_t XmlStream::scan(std::string_view data, bool last) {
  std::size_t i = 0;
  while (i < data.size() && !halted()) {
    if (data[i] != '<') {
      const std::size_t n = text(data, i, last);
      if (n == 0) break;
      i += n;
      continue;
    }
    if (nameends_.size() == shortcutdepth_ && i + 1 < data.size() && data[i + 1] != '/') {
      const std::size_t taken = shortcut(data.substr(i));
      if (taken > 0) {
        i += taken;
        continue;
      }
    }
    const std::size_t n = markup(data, i, last);
    if (n == 0) break;
    i += n;
  }
  return i;
}

std::size_t XmlStream::text(std::string_view data, std::size_t i, bool last) {
  // Text between tags is mostly a few bytes: looked through by hand first.
  std::size_t end = i;
  const std::size_t near = std::min(data.size(), i + 32);
  while (end < near && data[end] != '<') ++end;
  if (end == near && end < data.size()) {
    const void* lt = std::memchr(data.data() + end, '<', data.size() - end);
    end = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - data.data()) : data.size();
  }
  const bool cut = end == data.size();
  std::string_view raw = data.substr(i, end - i);
  // A reference, or a CR that may start a CR LF, cut by the chunk's end
  // waits for the rest.
  if (cut && !last) {
    const std::size_t amp = raw.rfind('&');
    if (amp != std::string_view::npos && raw.size() - amp <= kLongestReference &&
        raw.find(';', amp) == std::string_view::npos)
      raw = raw.substr(0, amp);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    end = i + raw.size();
  }
  if (raw.empty()) return end - i;
  bool plain = true;
  for (char c : raw)
    if (c == '&' || c == '\r') {
      plain = false;
      break;
    }
  if (plain) {
    emittext(raw);
  } else {
    decoded_.clear();
    if (!decode(raw, decoded_, false)) return 0;
    emittext(decoded_);
  }
  return end - i;
}

void XmlStream::emittext(std::string_view text) {
  if (!nameends_.empty()) {
    ontext(text);
    return;
  }
  for (char c : text)
    if (!isblank(c)) return damaged(rootseen_ ? "junk after document element" : "text before the root element");
}

bool XmlStream::decode(std::string_view raw, std::string& out, bool attribute) {
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '&') {
      const std::size_t semi = raw.find(';', i + 1);
      const unsigned long ch = semi == std::string_view::npos ? 0 : reference(raw.substr(i + 1, semi - i - 1));
      if (ch == 0) {
        damaged("undefined entity or broken reference");
        return false;
      }
      appendutf8(out, static_cast<unsigned>(ch));
      i = semi;
    } else if (c == '\r') {
      // CR LF and a lone CR are one line end, LF.
      out += attribute ? ' ' : '\n';
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    } else if (attribute && (c == '\n' || c == '\t')) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return true;
}

std::size_t XmlStream::markup(std::string_view data, std::size_t i, bool last) {
  // The bytes up to and including `close`, searched from `at`.
  auto through = [&](std::size_t at, std::string_view close) -> std::size_t {
    const std::size_t end = data.find(close, at);
    if (end == std::string_view::npos) {
      if (last) damaged("unclosed token");
      return 0;
    }
    return end + close.size() - i;
  };
  if (i + 1 >= data.size()) {
    if (last) damaged("unclosed token");
    return 0;
  }
  const char c = data[i + 1];
  if (c == '/') return endtag(data, i);
  if (c == '?') return through(i + 2, "?>");
  if (c != '!') return starttag(data, i);
  if (startswith(data, i, "<!--")) return through(i + 4, "-->");
  if (startswith(data, i, "<![CDATA[")) {
    const std::size_t n = through(i + 9, "]]>");
    if (n == 0) return 0;
    if (nameends_.empty()) {
      damaged("text outside the root element");
      return 0;
    }
    ontext(data.substr(i + 9, n - 12));
    return n;
  }
  if (startswith(data, i, "<!DOCTYPE")) {
    stop("it declares a DTD, which no workbook part has");
    return 0;
  }
  if (!last && (couldbe(data, i, "<!--") || couldbe(data, i, "<![CDATA[") || couldbe(data, i, "<!DOCTYPE")))
    return 0;
  damaged("not well-formed");
  return 0;
}

std::size_t XmlStream::endtag(std::string_view data, std::size_t i) {
  const std::size_t gt = data.find('>', i + 2);
  if (gt == std::string_view::npos) return 0;
  std::string_view name = data.substr(i + 2, gt - i - 2);
  while (!name.empty() && isblank(name.back())) name.remove_suffix(1);
  const std::size_t depth = nameends_.size();
  const std::size_t start = depth > 1 ? nameends_[depth - 2] : 0;
  if (depth == 0 || std::string_view(names_).substr(start) != name) {
    damaged("mismatched tag");
    return 0;
  }
  names_.resize(start);
  nameends_.pop_back();
  onend(localname(name));
  return gt + 1 - i;
}

std::size_t XmlStream::starttag(std::string_view data, std::size_t i) {
  const char* d = data.data();
  const std::size_t n = data.size();
  std::size_t p = i + 1;
  while (p < n && namechar(d[p])) ++p;
  if (p >= n) return 0;
  const std::string_view name = data.substr(i + 1, p - i - 1);
  if (name.empty() || (!isblank(d[p]) && d[p] != '>' && d[p] != '/')) return damaged("not well-formed"), 0;
  if (nameends_.empty() && rootseen_) return damaged("junk after document element"), 0;
  pairs_.clear();
  special_.clear();
  bool empty = false;
  for (;;) {
    while (p < n && isblank(d[p])) ++p;
    if (p >= n) return 0;
    if (d[p] == '>') break;
    if (d[p] == '/') {
      if (p + 1 >= n) return 0;
      if (d[p + 1] != '>') return damaged("not well-formed"), 0;
      empty = true;
      ++p;
      break;
    }
    const std::size_t a = p;
    while (p < n && namechar(d[p])) ++p;
    if (p >= n) return 0;
    const std::string_view attribute = data.substr(a, p - a);
    while (p < n && isblank(d[p])) ++p;
    if (p >= n) return 0;
    if (attribute.empty() || d[p] != '=') return damaged("not well-formed"), 0;
    ++p;
    while (p < n && isblank(d[p])) ++p;
    if (p >= n) return 0;
    const char quote = d[p];
    if (quote != '"' && quote != '\'') return damaged("not well-formed"), 0;
    const std::size_t v = ++p;
    bool special = false;
    for (; p < n && d[p] != quote; ++p) {
      const char c = d[p];
      if (c == '&' || c == '\t' || c == '\n' || c == '\r') special = true;
      else if (c == '<') return damaged("not well-formed"), 0;
    }
    if (p >= n) return 0;
    if (special) special_.push_back(pairs_.size());
    pairs_.emplace_back(attribute, data.substr(v, p - v));
    ++p;
    if (p < n && !isblank(d[p]) && d[p] != '>' && d[p] != '/') return damaged("not well-formed"), 0;
  }
  if (!special_.empty()) {
    // Resolved into one buffer first, pointed at once it no longer moves.
    values_.clear();
    std::vector<std::size_t> ends;
    for (std::size_t k : special_) {
      if (!decode(pairs_[k].second, values_, true)) return 0;
      ends.push_back(values_.size());
    }
    std::size_t from = 0;
    for (std::size_t j = 0; j < special_.size(); ++j) {
      pairs_[special_[j]].second = std::string_view(values_).substr(from, ends[j] - from);
      from = ends[j];
    }
  }
  rootseen_ = true;
  if (!empty) {
    if (nameends_.size() >= kMaxDepth) return damaged("elements nested too deeply"), 0;
    names_.append(name);
    nameends_.push_back(names_.size());
  }
  const std::string_view local = localname(name);
  onstart(local, XmlAttributes(pairs_.data(), pairs_.size()));
  if (empty && !halted()) onend(local);
  return p + 1 - i;
}

bool XmlStream::readpart(const ZipPackage& package, const std::string& name, std::size_t limit) {
  if (!package.read(name, limit, [&](std::string_view chunk) { return feed(chunk), !finished_; })) return false;
  feed({}, true);
  return true;
}

}  // namespace vesper
