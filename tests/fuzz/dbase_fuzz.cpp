// Fuzzes the dBASE reader.  The input is a table file, optionally followed by
// the marker "#MEMO#" and the bytes of its memo file; a byte after a second
// marker "#FPT#" picks .fpt instead of .dbt.  The table is opened from a
// scratch folder, walked to the end and every value of every row is read.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "source/formats/dbase.h"

// The code page converters are opened once and kept for the life of the
// program (source/formats/codepage.cpp); at exit they show as leaks, which they are not.
extern "C" const char* __lsan_default_suppressions() { return "leak:iconv_open\n"; }

namespace {

const std::string& folder() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vesper-dbase-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

void put(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string_view table = in, memo;
  bool fpt = false;
  std::size_t mark = in.find("#MEMO#");
  if (mark != std::string_view::npos) {
    table = in.substr(0, mark);
    memo = in.substr(mark + 6);
    std::size_t f = memo.find("#FPT#");
    if (f != std::string_view::npos) {
      fpt = true;
      memo = memo.substr(0, f);
    }
  }
  const std::string base = folder() + "/t";
  ::unlink((base + ".dbt").c_str());
  ::unlink((base + ".fpt").c_str());
  put(base + ".dbf", table);
  if (mark != std::string_view::npos) put(base + (fpt ? ".fpt" : ".dbt"), memo);

  try {
    auto t = vesper::opendbasetable(base + ".dbf");
    const int columns = static_cast<int>(t->columns().size());
    long long rows = 0;
    std::size_t total = 0;
    for (t->first(); !t->atend(); t->next(), ++rows)
      for (int c = -1; c <= columns; ++c) total += t->value(c).text.size();
    if (rows != t->recordcount()) __builtin_trap();  // the count and the walk must agree
    (void)total;
  } catch (const vesper::EngineError&) {
  }
  return 0;
}
