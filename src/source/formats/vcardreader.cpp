#include "source/formats/vcardreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "source/formats/codepage.h"
#include "source/textdecode.h"

namespace vesper {

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;
// A property's head fits in this; a line without a colon in it is no property.
constexpr std::size_t kHeadLimit = 4096;

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameword(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isblank(std::string_view s) { return trim(s).empty(); }

// The first colon outside double quotes; npos when there is none.
std::size_t headend(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

// The pieces of `s` between `sep`s outside double quotes.
template <class Each>
void eachpiece(std::string_view s, char sep, Each each) {
  bool quoted = false;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && s[i] == '"') quoted = !quoted;
    if (i == s.size() || (s[i] == sep && !quoted)) {
      each(s.substr(from, i - from));
      from = i + 1;
    }
  }
}

std::string unquote(std::string_view s) {
  s = trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

int hexdigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = upper(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool parsevcardhead(std::string_view head, VCardProperty& property, bool& qp, std::string& charset) {
  property.name.clear();
  property.types.clear();
  qp = false;
  charset.clear();
  // The name is what stands before the first semicolon (a name holding a
  // double quote is no name, wherever the quote would end).
  const std::size_t semi = head.find(';');
  std::string_view name = trim(head.substr(0, semi));
  if (auto dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
  bool ok = !name.empty();
  property.name.assign(name);
  for (char& c : property.name) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) ok = false;
    c = upper(c);
  }
  if (semi == std::string_view::npos) return ok;
  auto addtype = [&](std::string_view t) {
    t = trim(t);
    if (t.empty()) return;
    std::string& one = property.types.emplace_back(t);
    for (char& c : one) c = lower(c);
  };
  eachpiece(head.substr(semi + 1), ';', [&](std::string_view piece) {
    const auto eq = piece.find('=');
    const std::string_view key = trim(piece.substr(0, eq));
    if (eq == std::string_view::npos) {  // a bare parameter (2.1): a type or an encoding
      if (sameword(key, "QUOTED-PRINTABLE")) qp = true;
      else addtype(key);
      return;
    }
    std::string_view value = piece.substr(eq + 1);
    if (sameword(key, "ENCODING")) {
      std::string v = unquote(value);
      qp = sameword(v, "QUOTED-PRINTABLE") || sameword(v, "QP");
    } else if (sameword(key, "CHARSET")) {
      charset = unquote(value);
    } else if (sameword(key, "TYPE")) {
      eachpiece(value, ',', [&](std::string_view t) {
        // TYPE="work,voice" (4.0) holds its list inside the quotes.
        t = trim(t);
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
        eachpiece(t, ',', addtype);
      });
    }
  });
  return ok;
}

void decodevcardvalue(std::string_view raw, bool qp, const std::string& charset, std::string& out) {
  out.clear();
  if (qp) {
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
      int hi = -1, lo = -1;
      if (raw[i] == '=' && i + 2 < raw.size()) {
        hi = hexdigit(raw[i + 1]);
        lo = hexdigit(raw[i + 2]);
      }
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
      } else {
        out += raw[i];
      }
    }
  } else {
    out.assign(raw);
  }
  if (firstnonascii(out) == out.size()) return;
  const bool saysutf8 = charset.empty() || sameword(charset, "UTF-8") || sameword(charset, "UTF8");
  if (saysutf8 && isvalidutf8(out)) return;
  out = toutf8(out, saysutf8 ? "CP1252" : charset);
}

bool looksvcard(std::string_view start) {
  if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);
  while (!start.empty() && (start.front() == ' ' || start.front() == '\t' || start.front() == '\r' ||
                            start.front() == '\n'))
    start.remove_prefix(1);
  return start.size() >= 11 && sameword(start.substr(0, 11), "BEGIN:VCARD");
}

// --- the file ---

bool VCardReader::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  size_ = ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
  buf_.resize(kBufferBytes);
  rewind();
  return true;
}

void VCardReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pos_ = len_ = 0;
  base_ = 0;
}

void VCardReader::rewind() {
  pos_ = len_ = 0;
  base_ = 0;
  if (fd_ < 0) return;
  // A byte-order mark is no part of the first line.
  if (peekbyte() == 0xEF && len_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
}

bool VCardReader::fill() {
  if (fd_ < 0) return false;
  base_ += static_cast<long long>(pos_);
  std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
  len_ -= pos_;
  pos_ = 0;
  while (len_ < buf_.size()) {
    ssize_t n = ::pread(fd_, buf_.data() + len_, buf_.size() - len_, base_ + static_cast<long long>(len_));
    if (n <= 0) break;
    len_ += static_cast<std::size_t>(n);
  }
  return len_ > 0;
}

int VCardReader::peekbyte() {
  if (pos_ >= len_ && !fill()) return -1;
  return static_cast<unsigned char>(buf_[pos_]);
}

int VCardReader::appendline(std::string* out, std::size_t limit) {
  if (peekbyte() < 0) return -1;
  for (;;) {
    if (pos_ >= len_ && !fill()) return 1;  // the file ends the line
    const char* from = buf_.data() + pos_;
    const char* to = buf_.data() + len_;
    const char* stop = from;
    while (stop < to && *stop != '\n' && *stop != '\r') ++stop;
    std::size_t n = static_cast<std::size_t>(stop - from);
    if (out) {
      std::size_t room = out->size() < limit ? limit - out->size() : 0;
      if (n > room) {
        out->append(from, room);
        pos_ += room;
        lastbyte_ = room ? from[room - 1] : lastbyte_;
        return 0;
      }
      out->append(from, n);
    }
    if (n) lastbyte_ = stop[-1];
    pos_ += n;
    if (stop < to) {
      const bool cr = *stop == '\r';
      ++pos_;
      if (cr && peekbyte() == '\n') ++pos_;
      return 1;
    }
  }
}

bool VCardReader::startsline(std::string_view word) {
  if (len_ - pos_ < word.size()) fill();
  if (len_ - pos_ < word.size()) return false;
  return sameword(std::string_view(buf_.data() + pos_, word.size()), word);
}

bool VCardReader::readlogical(VCardSink& sink, bool& parsed) {
  Line& line = line_;
  VCardProperty& property = property_;
  line.text.clear();
  parsed = false;
  property.tag = 0;
  line.start = offset();
  lastbyte_ = 0;
  int r = appendline(&line.text, kHeadLimit);
  if (r < 0) return false;
  const std::size_t colon = line.colon = headend(line.text);
  bool qp = false, keep = false;
  if (colon != std::string::npos) {
    parsed = parsevcardhead(std::string_view(line.text).substr(0, colon), property, qp, charset_);
    if (parsed) {
      property.tag = sink.wanted(property.name);
      keep = property.tag != 0 || property.name == "BEGIN" || property.name == "END";
    }
    if (!keep) line.text.resize(colon + 1);
  }
  const std::size_t limit = colon + 1 + kMaxValueBytes;
  if (r == 0) {
    if (keep) r = appendline(&line.text, limit);
    if (r == 0) appendline(nullptr, 0);
  }
  // Folded lines, and a quoted-printable value's soft line breaks.
  for (;;) {
    const int c = peekbyte();
    if (c < 0) break;
    if (c == ' ' || c == '\t') {
      ++pos_;
    } else if (qp && lastbyte_ == '=' && !startsline("END:VCARD") && !startsline("BEGIN:VCARD")) {
      if (keep && !line.text.empty() && line.text.back() == '=') line.text.pop_back();
    } else {
      break;
    }
    lastbyte_ = 0;
    if (appendline(keep ? &line.text : nullptr, limit) == 0) appendline(nullptr, 0);
  }
  line.end = offset();
  property.value = {};
  if (keep && colon != std::string::npos) {
    // Most values are plain ASCII, given as the line holds them.
    const std::string_view raw = std::string_view(line.text).substr(colon + 1);
    if (!qp && firstnonascii(raw) == raw.size()) {
      property.value = raw;
    } else {
      decodevcardvalue(raw, qp, charset_, decoded_);
      property.value = decoded_;
    }
  }
  return true;
}

void VCardReader::sendbad(long long from, long long to, const BadLine& bad) {
  if (!bad || from >= to) return;
  std::string line;
  std::vector<char> chunk(kBufferBytes);
  bool aftercr = false;
  for (long long at = from; at < to;) {
    const std::size_t want = static_cast<std::size_t>(std::min<long long>(to - at, kBufferBytes));
    ssize_t n = ::pread(fd_, chunk.data(), want, at);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = chunk[static_cast<std::size_t>(i)];
      if (c == '\n' && aftercr) {
        aftercr = false;
        continue;
      }
      aftercr = c == '\r';
      if (c == '\n' || c == '\r') {
        bad(line);
        line.clear();
      } else {
        line += c;
      }
    }
    at += n;
  }
  if (!line.empty()) bad(line);
}

bool VCardReader::atend() {
  for (int c = peekbyte(); c == ' ' || c == '\t' || c == '\r' || c == '\n'; c = peekbyte()) ++pos_;
  return peekbyte() < 0;
}

bool VCardReader::nextcard(VCardSink& sink, const BadLine& bad) {
  // Blanks and empty lines before a card are passed over, as atend() does,
  // so that an indented BEGIN is a card's start whether or not the caller
  // asked atend() first (and not the fold of an empty line).
  atend();
  const Line& line = line_;
  const VCardProperty& property = property_;
  bool incard = false, parsed = false;
  long long cardstart = 0;
  while (readlogical(sink, parsed)) {
    const bool begin = parsed && property.name == "BEGIN" &&
                       sameword(trim(std::string_view(line.text).substr(line.colon + 1)), "VCARD");
    const bool end = parsed && property.name == "END" &&
                     sameword(trim(std::string_view(line.text).substr(line.colon + 1)), "VCARD");
    if (begin) {
      if (incard) sendbad(cardstart, line.start, bad);  // never ended
      incard = true;
      cardstart = line.start;
      sink.startcard();
    } else if (end && incard) {
      sink.endcard();
      return true;
    } else if (!incard) {
      if (!isblank(line.text)) sendbad(line.start, line.end, bad);
    } else if (property.tag != 0) {
      sink.property(property);
    }
  }
  if (incard) sendbad(cardstart, offset(), bad);
  return false;
}

}  // namespace vesper
