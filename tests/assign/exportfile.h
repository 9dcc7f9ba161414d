// Reading a contact export in the tests of the header judge and the
// assignment proposal: the file decoded to UTF-8 and split into records the
// standard way (quoted values with separators, doubled quotes and line
// breaks).  A stand-in for the program's own reader of such files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "source/textdecode.h"

namespace vesper::testing {

using Records = std::vector<std::vector<std::string>>;

// The records of the file at `path` (none when it cannot be read).  The
// separator is the one of comma, semicolon and tab found most often in the
// first line.
inline Records readExport(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return {};
  std::size_t bom = 0;
  TextEncoding encoding = detectencoding(fd, bom);
  ::close(fd);
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string text;
  TextDecoder(encoding).decode(bytes.str().substr(bom), text, true);

  std::string first = text.substr(0, text.find('\n'));
  char separator = ',';
  std::size_t most = 0;
  for (char c : {',', ';', '\t'}) {
    std::size_t n = std::count(first.begin(), first.end(), c);
    if (n > most) most = n, separator = c;
  }
  Records out;
  std::vector<std::string> record;
  std::string cell;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c != '"') cell += c;
      else if (i + 1 < text.size() && text[i + 1] == '"') cell += '"', ++i;
      else quoted = false;
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == separator) {
      record.push_back(cell), cell.clear(), any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !cell.empty()) record.push_back(cell);
      out.push_back(record), record.clear(), cell.clear(), any = false;
    } else {
      cell += c;
    }
  }
  if (any || !cell.empty()) record.push_back(cell), out.push_back(record);
  return out;
}

}  // namespace vesper::testing
