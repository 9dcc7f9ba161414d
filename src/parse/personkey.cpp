#include "parse/personkey.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>

#include "parse/text.h"

namespace vesper {

std::string foldedname(std::string_view name) {
  // Plain ASCII folds to its letters and digits, lower-cased.
  if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
      const char l = lowerchar(c);
      if ((l >= '0' && l <= '9') || (l >= 'a' && l <= 'z')) out += l;
    }
    return out;
  }
  utf8proc_uint8_t* mapped = nullptr;
  const utf8proc_ssize_t n =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(name.data()), static_cast<utf8proc_ssize_t>(name.size()),
                   &mapped, utf8proc_option_t(UTF8PROC_DECOMPOSE | UTF8PROC_STRIPMARK | UTF8PROC_CASEFOLD));
  std::string out;
  if (n < 0) {
    // Not well-formed UTF-8: ASCII letters and digits lower-cased, other
    // bytes kept.
    for (char c : name) {
      const char l = lowerchar(c);
      if (static_cast<unsigned char>(c) >= 0x80 || (l >= '0' && l <= '9') || (l >= 'a' && l <= 'z')) out += l;
    }
    return out;
  }
  out.reserve(static_cast<std::size_t>(n));
  for (utf8proc_ssize_t i = 0; i < n;) {
    utf8proc_int32_t cp = 0;
    const utf8proc_ssize_t len = utf8proc_iterate(mapped + i, n - i, &cp);
    if (len <= 0) break;
    const utf8proc_category_t cat = utf8proc_category(cp);
    const bool keep = (cat >= UTF8PROC_CATEGORY_LU && cat <= UTF8PROC_CATEGORY_LO) ||
                      (cat >= UTF8PROC_CATEGORY_ND && cat <= UTF8PROC_CATEGORY_NO);
    if (keep) out.append(reinterpret_cast<const char*>(mapped + i), static_cast<std::size_t>(len));
    i += len;
  }
  std::free(mapped);
  return out;
}

std::string personkey(std::string_view firstname, std::string_view lastname) {
  std::string last = foldedname(lastname);
  if (last.empty()) return last;
  return last + '\x1f' + foldedname(firstname);
}

std::string emailkey(std::string_view email) { return lowertext(trimmed(email)); }

std::string phonekey(std::string_view phone) {
  std::string digits;
  for (char c : phone)
    if (c >= '0' && c <= '9') digits += c;
  if (digits.size() < 7) return "";
  return digits.size() > 10 ? digits.substr(digits.size() - 10) : digits;
}

std::string postalkey(std::string_view zip) {
  std::string out;
  for (char c : zip) {
    const char u = upperchar(c);
    if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z')) out += u;
  }
  return out;
}

}  // namespace vesper
