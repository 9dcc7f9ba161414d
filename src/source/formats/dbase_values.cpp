// Field values of a dBASE record: the bytes of one field turned into a
// TableValue by the field's reading (see Reading in dbase_internal.h).
// Blank, overflowed or malformed values are null; nothing outside the
// field's bytes and the record's null flags is read.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "parse/daycount.h"
#include "parse/text.h"
#include "source/formats/dbase_internal.h"

namespace vesper::dbase {

namespace {

constexpr int kVisualDayZero = 2415019;   // Julian day number of 30 December 1899
constexpr int kJulianOfYearOne = 1721426; // Julian day number of 1 January 0001
constexpr int kStampDayZero = 693594;     // 30 December 1899 counted from 0001-01-01 as day 1
constexpr double kMsPerDay = 86400000.0;

unsigned byteat(std::string_view b, std::size_t i) { return static_cast<unsigned char>(b[i]); }

std::uint64_t littleendian(std::string_view b) {
  std::uint64_t v = 0;
  for (std::size_t i = b.size(); i-- > 0;) v = (v << 8) | byteat(b, i);
  return v;
}

std::uint64_t bigendian(std::string_view b) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < b.size(); ++i) v = (v << 8) | byteat(b, i);
  return v;
}

long long signextend(std::uint64_t v, std::size_t bytes) {
  if (bytes >= 8) return static_cast<long long>(v);
  const std::uint64_t sign = std::uint64_t(1) << (bytes * 8 - 1);
  return static_cast<long long>((v ^ sign) - sign);
}

bool allbytes(std::string_view b, char c) {
  for (char x : b)
    if (x != c) return false;
  return true;
}

// The text without trailing blanks or NUL padding, cut at an embedded NUL.
std::string_view unpadded(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
  return raw;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// dBASE 7 orders doubles as bytes: big-endian, the sign bit set for positive
// values and every bit inverted for negative ones.
// Other writers of O fields only invert the sign bit.
double ordereddouble(std::string_view b, bool invertnegative = true) {
  std::uint64_t u = bigendian(b);
  const std::uint64_t sign = std::uint64_t(1) << 63;
  u = (u & sign || !invertnegative) ? (u ^ sign) : ~u;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// UTF-16LE text up to its first NUL, as UTF-8 without trailing blanks; a
// lone surrogate becomes U+FFFD.
std::string fromutf16(std::string_view raw) {
  std::string out;
  auto put = [&](std::uint32_t c) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  };
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
    std::uint32_t u = byteat(raw, i) | (byteat(raw, i + 1) << 8);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < raw.size()) {
      std::uint32_t low = byteat(raw, i + 2) | (byteat(raw, i + 3) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        put(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    put(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool datefromdays(long long days, TableValue& v) {
  if (days < encodedate(1, 1, 1) || days > encodedate(9999, 12, 31)) return false;
  v.date = static_cast<int>(days);
  return true;
}

// Blank, overflowed ("****") or malformed numbers are null; a comma stands
// for the decimal point when there is no point.
bool parsenumber(std::string_view raw, double& out) {
  std::string t(trimmed(raw));
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return false;
  if (t.find('.') == std::string::npos) {
    std::size_t comma = t.find(',');
    if (comma != std::string::npos && t.find(',', comma + 1) == std::string::npos) t[comma] = '.';
  }
  const char* end = t.data() + t.size();
  auto r = std::from_chars(t.data(), end, out, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(out);
}

std::uint64_t memoblock(std::string_view raw) {
  if (raw.size() == 4) return littleendian(raw);
  std::string_view t = trimmed(raw);
  if (t.empty() || t.size() > 19) return 0;
  std::uint64_t n = 0;
  for (char c : t) {
    if (!isdigitchar(c)) return 0;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return n;
}

// A varying-length value keeps its length in its last byte when its
// length bit is set; otherwise it fills the field.
std::string_view varying(const Structure& s, const Field& f, std::string_view raw, std::string_view rec) {
  if (f.lengthbit >= 0 && nullflag(s, rec, f.lengthbit) && !raw.empty())
    return raw.substr(0, std::min<std::size_t>(byteat(raw, raw.size() - 1), raw.size() - 1));
  return raw;
}

}  // namespace

bool nullflag(const Structure& s, std::string_view rec, int bit) {
  std::size_t at = static_cast<std::size_t>(s.nullflagsoffset) + static_cast<std::size_t>(bit / 8);
  return at < rec.size() && (byteat(rec, at) >> (bit % 8)) & 1u;
}

TableValue decodevalue(const Structure& s, const Field& f, std::string_view rec, const TextDecoder& decoder,
                       const MemoFile* memo) {
  std::string_view raw = rec.substr(f.offset, f.width);
  TableValue v;
  auto text = [&](std::string_view t) {
    if (t.empty()) return v;
    v.text = decoder.decode(t);
    v.null = false;
    return v;
  };
  auto bytes = [&](std::string_view b) {
    if (b.empty()) return v;
    v.text.assign(b);
    v.null = false;
    return v;
  };
  switch (f.reading) {
    case Reading::Text:
      return text(unpadded(raw));
    case Reading::VarText: {
      std::string_view t = varying(s, f, raw, rec);
      return text(t.size() == raw.size() ? unpadded(t) : t);
    }
    case Reading::VarBytes:
      return bytes(varying(s, f, raw, rec));
    case Reading::WideText:
      v.text = fromutf16(raw);
      v.null = v.text.empty();
      return v;
    case Reading::Number:
      if (parsenumber(raw, v.number)) v.null = false;
      return v;
    case Reading::Date: {
      std::string_view t = trimmed(raw);
      if (t.size() != 8 || allbytes(t, '0')) return v;
      for (char c : t)
        if (!isdigitchar(c)) return v;
      auto num = [&](std::size_t at, std::size_t n) {
        int x = 0;
        for (std::size_t k = at; k < at + n; ++k) x = x * 10 + (t[k] - '0');
        return x;
      };
      int y = num(0, 4), m = num(4, 2), d = num(6, 2);
      if (!isvaliddate(y, m, d)) return v;
      v.date = encodedate(y, m, d);
      v.null = false;
      return v;
    }
    case Reading::JulianStamp: {
      if (raw.size() != 8) return v;
      long long day = signextend(littleendian(raw.substr(0, 4)), 4);
      std::uint64_t ms = littleendian(raw.substr(4, 4));
      if (day <= 0 || ms >= 86400000u || !datefromdays(day - kVisualDayZero, v)) return v;
      v.time = static_cast<double>(ms) / kMsPerDay;
      v.null = false;
      return v;
    }
    case Reading::Level7Stamp: {
      if (raw.size() != 8 || allbytes(raw, '\0')) return v;
      double ms = ordereddouble(raw);
      if (!std::isfinite(ms) || ms <= 0 || ms > 1e16) return v;
      double whole = std::floor(ms / kMsPerDay);
      long long day = static_cast<long long>(whole);
      // Milliseconds from the start of the Julian period, or (as Paradox
      // writes timestamps) from 1 January 0001 counted as day 1.
      long long date = day >= kJulianOfYearOne ? day - kVisualDayZero : day - kStampDayZero;
      if (!datefromdays(date, v)) return v;
      v.time = std::clamp((ms - whole * kMsPerDay) / kMsPerDay, 0.0, 1.0);
      if (v.time >= 1.0) v.time = 0;
      v.null = false;
      return v;
    }
    case Reading::Logical: {
      if (raw.empty()) return v;
      switch (raw[0]) {
        case 'T': case 't': case 'Y': case 'y': case '1': v.logical = true; break;
        case 'F': case 'f': case 'N': case 'n': case '0': v.logical = false; break;
        default: return v;  // '?', blank: not set
      }
      v.null = false;
      return v;
    }
    case Reading::MemoText:
    case Reading::MemoBytes: {
      std::uint64_t block = memoblock(raw);
      if (!memo || block == 0) return v;
      std::string content = memo->read(block);
      if (f.reading == Reading::MemoBytes) return bytes(content);
      std::string_view t(content);
      while (!t.empty() && (t.back() == '\0' || t.back() == '\x1A')) t.remove_suffix(1);
      return text(t);
    }
    case Reading::Integer:
      if (raw.empty() || raw.size() > 8) return v;
      v.integer = signextend(littleendian(raw), raw.size());
      v.null = false;
      return v;
    case Reading::Level7Integer: {
      if (raw.empty() || raw.size() > 8 || allbytes(raw, '\0')) return v;
      std::uint64_t u = bigendian(raw) ^ (std::uint64_t(1) << (raw.size() * 8 - 1));
      v.integer = signextend(u, raw.size());
      v.null = false;
      return v;
    }
    case Reading::Currency:
      if (raw.size() != 8) return v;
      v.number = static_cast<double>(static_cast<long long>(littleendian(raw))) / 10000.0;
      v.null = false;
      return v;
    case Reading::Double: {
      if (raw.size() != 8) return v;
      std::uint64_t u = littleendian(raw);
      std::memcpy(&v.number, &u, sizeof v.number);
      v.null = !std::isfinite(v.number);
      if (v.null) v.number = 0;
      return v;
    }
    case Reading::Level7Double:
    case Reading::FlippedDouble:
      // dBASE 7 leaves a blank O field all zeros; other writers store 0 so.
      if (raw.size() != 8) return v;
      if (allbytes(raw, '\0') && f.reading == Reading::Level7Double) return v;
      v.number = ordereddouble(raw, f.reading == Reading::Level7Double) + 0.0;
      v.null = !std::isfinite(v.number);
      if (v.null) v.number = 0;
      return v;
    case Reading::Hidden:
    case Reading::Unread:
      return v;
  }
  return v;
}

}  // namespace vesper::dbase
