// Code pages of dBASE tables: the language driver byte, the dBASE 7 language
// driver name, .cpg files beside the table, and the decoding of text to UTF-8
// (through toutf8, plus UTF-8 pass-through and the Mazovia page iconv lacks).
#include <iconv.h>

#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "parse/text.h"
#include "source/formats/codepage.h"
#include "source/formats/dbase_internal.h"

namespace vesper::dbase {

namespace {

// Whether iconv can convert from this name (toutf8 would silently fall back
// to Windows-1252 otherwise, which must not happen for a stated code page).
bool iconvknows(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, bool> known;
  std::lock_guard<std::mutex> guard(lock);
  auto it = known.find(name);
  if (it != known.end()) return it->second;
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  bool ok = cd != reinterpret_cast<iconv_t>(-1);
  if (ok) iconv_close(cd);
  known[name] = ok;
  return ok;
}

// Language driver ids of the table header and the code pages they stand for.
struct Driver {
  int id;
  int codepage;
};
constexpr Driver kDrivers[] = {
    {0x01, 437},   {0x02, 850},   {0x03, 1252},  {0x04, 10000}, {0x08, 865},  {0x09, 437},
    {0x0A, 850},   {0x0B, 437},   {0x0D, 437},   {0x0E, 850},   {0x0F, 437},  {0x10, 850},
    {0x11, 437},   {0x12, 850},   {0x13, 932},   {0x14, 850},   {0x15, 437},  {0x16, 850},
    {0x17, 865},   {0x18, 437},   {0x19, 437},   {0x1A, 850},   {0x1B, 437},  {0x1C, 863},
    {0x1D, 850},   {0x1F, 852},   {0x22, 852},   {0x23, 852},   {0x24, 860},  {0x25, 850},
    {0x26, 866},   {0x37, 850},   {0x40, 852},   {0x4D, 936},   {0x4E, 949},  {0x4F, 950},
    {0x50, 874},   {0x57, 1252},  {0x58, 1252},  {0x59, 1252},  {0x64, 852},  {0x65, 866},
    {0x66, 865},   {0x67, 861},   {0x69, 620},   {0x6A, 737},   {0x6B, 857},  {0x6C, 863},
    {0x78, 950},   {0x79, 949},   {0x7A, 936},   {0x7B, 932},   {0x7C, 874},  {0x7D, 1255},
    {0x7E, 1256},  {0x86, 737},   {0x87, 852},   {0x88, 857},   {0x96, 10007}, {0x97, 10029},
    {0xC8, 1250},  {0xC9, 1251},  {0xCA, 1254},  {0xCB, 1253},  {0xCC, 1257},
};

TextDecoder fromcodepage(int number) {
  switch (number) {
    case 65001: return TextDecoder(TextDecoder::Mode::Utf8, "UTF-8");
    case 620: return TextDecoder(TextDecoder::Mode::Mazovia, "Mazovia");
    case 10007: return TextDecoder(TextDecoder::Mode::Iconv, "MACCYRILLIC");
    case 10029: return TextDecoder(TextDecoder::Mode::Iconv, "MAC-CENTRALEUROPE");
    case 20866: return TextDecoder(TextDecoder::Mode::Iconv, "KOI8-R");
    case 21866: return TextDecoder(TextDecoder::Mode::Iconv, "KOI8-U");
    default: break;
  }
  if (number >= 28591 && number <= 28606)
    return TextDecoder(TextDecoder::Mode::Iconv, "ISO-8859-" + std::to_string(number - 28590));
  std::string name = codepagename(number);
  if (name == "CP1252" && number != 1252) name = "CP" + std::to_string(number);
  if (number > 0 && iconvknows(name)) return TextDecoder(TextDecoder::Mode::Iconv, name);
  return {};
}

bool alldigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!isdigitchar(c)) return false;
  return true;
}

int tonumber(std::string_view s) {
  int n = 0;
  for (char c : s) {
    if (n > 1000000) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Mazovia is code page 437 with Polish letters in eighteen places.
struct MazoviaLetter {
  unsigned char byte;
  const char* utf8;
};
constexpr MazoviaLetter kMazovia[] = {
    {0x86, "\u0105"}, {0x8D, "\u0107"}, {0x8F, "\u0104"}, {0x90, "\u0118"}, {0x91, "\u0119"},
    {0x92, "\u0142"}, {0x95, "\u0106"}, {0x98, "\u015A"}, {0x9C, "\u0141"}, {0x9E, "\u015B"},
    {0xA0, "\u0179"}, {0xA1, "\u017B"}, {0xA2, "\u00F3"}, {0xA3, "\u00D3"}, {0xA4, "\u0144"},
    {0xA5, "\u0143"}, {0xA6, "\u017A"}, {0xA7, "\u017C"},
};

const std::array<std::string, 128>& mazoviahigh() {
  static const std::array<std::string, 128> table = [] {
    std::array<std::string, 128> t;
    for (int b = 0x80; b <= 0xFF; ++b) t[b - 0x80] = toutf8(std::string(1, char(b)), "CP437");
    for (const auto& m : kMazovia) t[m.byte - 0x80] = m.utf8;
    return t;
  }();
  return table;
}

// Length of the well-formed UTF-8 sequence at s[i], 0 when it is not one.
std::size_t utf8sequence(std::string_view s, std::size_t i) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  return n;
}

std::string repairutf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = utf8sequence(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

}  // namespace

bool isutf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = utf8sequence(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string TextDecoder::decode(std::string_view bytes) const {
  switch (mode_) {
    case Mode::Utf8:
      return isutf8(bytes) ? std::string(bytes) : repairutf8(bytes);
    case Mode::Iconv:
      return toutf8(bytes, name_);
    case Mode::Mazovia: {
      const auto& high = mazoviahigh();
      std::string out;
      out.reserve(bytes.size());
      for (unsigned char c : bytes) {
        if (c < 0x80) out += char(c);
        else out += high[c - 0x80];
      }
      return out;
    }
    case Mode::Unstated:
      break;
  }
  // Nothing says what the bytes are: text that is well-formed UTF-8 was
  // almost surely written as UTF-8 (Windows-1252 text seldom is by chance).
  if (isutf8(bytes)) return std::string(bytes);
  return toutf8(bytes, "CP1252");
}

TextDecoder TextDecoder::fromlanguagedriver(int id) {
  for (const auto& d : kDrivers)
    if (d.id == id) return fromcodepage(d.codepage);
  return {};
}

TextDecoder TextDecoder::fromcpg(std::string_view text) {
  std::string t = uppertext(cleantext(replacechar(replacechar(text, '\r', ' '), '\n', ' ')));
  if (t.empty()) return {};
  for (const char* prefix : {"ANSI ", "OEM ", "CP", "WINDOWS-", "IBM"}) {
    std::size_t n = std::strlen(prefix);
    if (t.size() > n && t.compare(0, n, prefix) == 0 && alldigits(t.substr(n)))
      return fromcodepage(tonumber(t.substr(n)));
  }
  if (alldigits(t)) {
    // "88591" .. "885915" is how some writers name ISO 8859 parts.
    if (t.size() >= 5 && t.compare(0, 4, "8859") == 0)
      return TextDecoder(Mode::Iconv, "ISO-8859-" + t.substr(4));
    return fromcodepage(tonumber(t));
  }
  if (t == "UTF-8" || t == "UTF8") return TextDecoder(Mode::Utf8, "UTF-8");
  if (t.compare(0, 5, "8859_") == 0 && alldigits(t.substr(5)))
    return TextDecoder(Mode::Iconv, "ISO-8859-" + t.substr(5));
  if (t == "MAZOVIA") return TextDecoder(Mode::Mazovia, "Mazovia");
  if (iconvknows(t)) return TextDecoder(Mode::Iconv, t);
  return {};
}

TextDecoder TextDecoder::fortable(const std::string& path, int languagedriver,
                                  std::string_view drivername) {
  std::string cpg = findbeside(path, ".cpg");
  if (!cpg.empty()) {
    ByteFile f;
    if (f.open(cpg)) {
      TextDecoder d = fromcpg(f.read(0, 64));
      if (d.mode() != Mode::Unstated) return d;
    }
  }
  TextDecoder d = fromlanguagedriver(languagedriver);
  if (d.mode() != Mode::Unstated) return d;
  // dBASE 7 names its driver: "DB437US0" (code page 437), "DBWINWE0" (Windows).
  std::string name = uppertext(drivername.substr(0, drivername.find('\0')));
  if (name.compare(0, 5, "DBWIN") == 0) return fromcodepage(1252);
  if (name.size() > 4 && name.compare(0, 2, "DB") == 0) {
    std::size_t end = 2;
    while (end < name.size() && isdigitchar(name[end])) ++end;
    if (end - 2 >= 3) return fromcodepage(tonumber(name.substr(2, end - 2)));
  }
  return {};
}

}  // namespace vesper::dbase
