#include "source/formats/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace vesper {

namespace {

bool isascii7(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// One open converter per code page, kept for the life of the program.
iconv_t converterfor(const std::string& codepage) {
  // Never destroyed, so converters stay reachable (and usable) until exit.
  static std::mutex& lock = *new std::mutex;
  static std::map<std::string, iconv_t>& open = *new std::map<std::string, iconv_t>;
  std::lock_guard<std::mutex> guard(lock);
  auto it = open.find(codepage);
  if (it != open.end()) return it->second;
  iconv_t cd = iconv_open("UTF-8", codepage.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
  open[codepage] = cd;
  return cd;
}

}  // namespace

std::string toutf8(std::string_view bytes, const std::string& codepage) {
  if (isascii7(bytes)) return std::string(bytes);
  iconv_t cd = converterfor(codepage.empty() ? "CP1252" : codepage);
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (unsigned char c : bytes) out += c < 0x80 ? std::string(1, char(c)) : "\xEF\xBF\xBD";
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string_view rest = bytes;
  char buf[1024];
  while (!rest.empty()) {
    char* in = const_cast<char*>(rest.data());
    size_t inleft = rest.size();
    char* o = buf;
    size_t oleft = sizeof buf;
    size_t r = iconv(cd, &in, &inleft, &o, &oleft);
    out.append(buf, o - buf);
    rest.remove_prefix(rest.size() - inleft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte with no mapping in this code page.
      out += "\xEF\xBF\xBD";
      rest.remove_prefix(1);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::string codepagename(int number) {
  switch (number) {
    case 437: case 737: case 850: case 852: case 855: case 857: case 860: case 861:
    case 862: case 863: case 864: case 865: case 866: case 869: case 874: case 932:
    case 936: case 949: case 950: case 1250: case 1251: case 1252: case 1253:
    case 1254: case 1255: case 1256: case 1257: case 1258:
      return "CP" + std::to_string(number);
    case 10000: return "MACINTOSH";
    default: return "CP1252";
  }
}

}  // namespace vesper
