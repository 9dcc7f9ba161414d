#include "source/formats/paradoxfield.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "source/formats/codepage.h"

namespace vesper {

namespace {

constexpr int kLastParadoxDay = 3652059;  // 31 December 9999
constexpr long long kMsPerDay = 86400000LL;

std::uint64_t bigendian(std::string_view b) {
  std::uint64_t v = 0;
  for (unsigned char c : b) v = (v << 8) | c;
  return v;
}

bool allzero(std::string_view b) {
  for (char c : b)
    if (c != 0) return false;
  return true;
}

std::string_view uptonul(std::string_view b) {
  std::size_t nul = b.find('\0');
  return nul == std::string_view::npos ? b : b.substr(0, nul);
}

// A flipped-sign integer of `bytes.size()` bytes; nullopt for the blank value.
std::optional<long long> flippedinteger(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 4) return std::nullopt;
  std::uint64_t raw = bigendian(bytes);
  if (raw == 0) return std::nullopt;
  int bits = int(bytes.size()) * 8;
  std::uint64_t sign = std::uint64_t(1) << (bits - 1);
  std::uint64_t v = raw ^ sign;
  long long value = (v & sign) ? static_cast<long long>(v) - static_cast<long long>(sign << 1)
                               : static_cast<long long>(v);
  return value;
}

// An 8-byte double stored so that it sorts as bytes: positive values have the
// sign bit set, negative ones have every bit inverted.
std::optional<double> flippeddouble(std::string_view bytes) {
  if (bytes.size() != 8 || allzero(bytes)) return std::nullopt;
  std::uint64_t raw = bigendian(bytes);
  raw = (raw & 0x8000000000000000ULL) ? raw ^ 0x8000000000000000ULL : ~raw;
  double d;
  std::memcpy(&d, &raw, sizeof d);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

bool validday(long long paradoxday) { return paradoxday >= 1 && paradoxday <= kLastParadoxDay; }

// 17 bytes: the first holds the sign (bit 7 set for positive) and the number
// of decimal places (low 6 bits); then 32 digits, one per half byte, the last
// `places` of them after the point.  Negative values have every digit
// inverted.  Digits past the first invalid half byte are noise left by the
// writer and count as zero.
std::optional<double> bcdvalue(std::string_view b) {
  if (b.size() != kParadoxBcdWidth) return std::nullopt;
  unsigned char head = static_cast<unsigned char>(b[0]);
  if (head == 0) return std::nullopt;
  int places = head & 0x3F;
  if (places > 32) return std::nullopt;
  bool negative = (head & 0x80) == 0;
  std::string digits;
  bool noise = false;
  for (int i = 0; i < 32; ++i) {
    unsigned char byte = static_cast<unsigned char>(b[1 + i / 2]);
    int nibble = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    if (negative) nibble ^= 0x0F;
    if (nibble > 9) noise = true;
    digits += noise ? '0' : char('0' + nibble);
  }
  std::string text = (negative ? "-" : "") + digits.substr(0, 32 - places) + "." +
                     digits.substr(32 - places);
  double value = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc()) return std::nullopt;
  return value == 0 ? 0.0 : value;  // no negative zero
}

}  // namespace

TableColumnType paradoxcolumntype(int code) {
  switch (code) {
    case PxAlpha: return TableColumnType::String;
    case PxDate: return TableColumnType::Date;
    case PxShort: return TableColumnType::Short;
    case PxLong: return TableColumnType::Long;
    case PxMoney: return TableColumnType::Currency;
    case PxNumber: return TableColumnType::Float;
    case PxLogical: return TableColumnType::Logical;
    case PxMemo:
    case PxFormattedMemo: return TableColumnType::Memo;
    case PxBlob:
    case PxOle:
    case PxGraphic: return TableColumnType::Blob;
    case PxTime: return TableColumnType::Time;
    case PxTimestamp: return TableColumnType::DateTime;
    case PxAutoInc: return TableColumnType::AutoInc;
    case PxBcd: return TableColumnType::Bcd;
    case PxBytes: return TableColumnType::Bytes;
    default: return TableColumnType::Other;
  }
}

bool isparadoxblob(int code) {
  return code == PxMemo || code == PxBlob || code == PxFormattedMemo || code == PxOle ||
         code == PxGraphic;
}

int paradoxfieldwidth(int code, int size) {
  auto exactly = [size](int w) { return size == w ? w : 0; };
  switch (code) {
    case PxShort: return exactly(2);
    case PxDate:
    case PxLong:
    case PxTime:
    case PxAutoInc: return exactly(4);
    case PxMoney:
    case PxNumber:
    case PxTimestamp: return exactly(8);
    case PxLogical: return exactly(1);
    case PxBcd: return size <= 32 ? kParadoxBcdWidth : 0;
    default:
      if (isparadoxblob(code)) return size >= kParadoxBlobRefWidth ? size : 0;
      return size >= 1 ? size : 0;
  }
}

TableValue decodeparadoxfield(int code, std::string_view b, const std::string& codepage) {
  TableValue v;
  int fixed = paradoxfieldwidth(code, int(b.size()));
  if (code != PxBcd && fixed != int(b.size())) return v;
  switch (code) {
    case PxAlpha: {
      std::string_view text = uptonul(b);
      if (text.empty()) return v;
      v.text = toutf8(text, codepage);
      break;
    }
    case PxShort:
    case PxLong:
    case PxAutoInc: {
      auto n = flippedinteger(b);
      if (!n) return v;
      v.integer = *n;
      break;
    }
    case PxDate: {
      auto n = flippedinteger(b);
      if (!n || !validday(*n)) return v;
      v.date = int(*n - kParadoxDayOffset);
      break;
    }
    case PxTime: {
      auto n = flippedinteger(b);
      if (!n || *n < 0 || *n >= kMsPerDay) return v;
      v.time = double(*n) / double(kMsPerDay);
      break;
    }
    case PxTimestamp: {
      auto d = flippeddouble(b);
      if (!d || *d < 0 || *d >= double(kLastParadoxDay + 1) * double(kMsPerDay)) return v;
      long long ms = std::llround(*d);
      long long day = ms / kMsPerDay;
      if (!validday(day)) return v;
      v.date = int(day - kParadoxDayOffset);
      v.time = double(ms % kMsPerDay) / double(kMsPerDay);
      break;
    }
    case PxMoney:
    case PxNumber: {
      auto d = flippeddouble(b);
      if (!d) return v;
      v.number = *d;
      break;
    }
    case PxBcd: {
      auto d = bcdvalue(b);
      if (!d) return v;
      v.number = *d;
      break;
    }
    case PxLogical: {
      if (b.size() != 1 || b[0] == 0) return v;
      v.logical = static_cast<unsigned char>(b[0]) != 0x80;
      break;
    }
    case PxBytes: {
      if (allzero(b)) return v;
      v.text = std::string(b);
      break;
    }
    default:
      return v;
  }
  v.null = false;
  return v;
}

ParadoxBlobRef paradoxblobref(std::string_view field) {
  ParadoxBlobRef ref;
  if (field.size() < kParadoxBlobRefWidth) return ref;
  std::size_t lead = field.size() - kParadoxBlobRefWidth;
  ref.leading = field.substr(0, lead);
  auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(field[at + i]);
    return v;
  };
  ref.offset = le32(lead);
  ref.length = le32(lead + 4);
  return ref;
}

std::optional<std::string_view> formattedmemotext(std::string_view blob) {
  constexpr std::size_t kLeadIn = 44;
  if (blob.size() < kLeadIn) return std::nullopt;
  auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(blob[at + i]);
    return v;
  };
  if (le32(0) != 7) return std::nullopt;
  std::uint32_t length = le32(4);
  if (length > blob.size() - kLeadIn) return std::nullopt;
  return blob.substr(kLeadIn, length);
}

TableValue paradoxblobvalue(int code, std::string_view blob, const std::string& codepage) {
  TableValue v;
  if (code == PxMemo || code == PxFormattedMemo) {
    std::string_view text = blob;
    if (code == PxFormattedMemo) {
      auto plain = formattedmemotext(blob);
      if (!plain) return v;
      text = *plain;
    }
    text = uptonul(text);
    if (text.empty()) return v;
    v.text = toutf8(text, codepage);
  } else {
    if (blob.empty()) return v;
    v.text = std::string(blob);
  }
  v.null = false;
  return v;
}

}  // namespace vesper
