// Conversion of 8-bit table text to UTF-8.
//
// Contract: `toutf8` never fails: a byte the code page cannot map becomes
// U+FFFD.  Code pages are named as iconv names them ("CP1252", "CP437", ...);
// an unknown name falls back to Windows-1252.  Plain ASCII is returned as is
// without calling iconv.
#pragma once

#include <string>
#include <string_view>

namespace vesper {

std::string toutf8(std::string_view bytes, const std::string& codepage);

// The iconv name for a DOS/Windows code page number (437 -> "CP437",
// 1252 -> "CP1252"); "CP1252" for 0 or an unknown number.
std::string codepagename(int number);

}  // namespace vesper
