// Fuzzes the Paradox table reader.  The input is a table file, optionally
// followed by the marker "--MB--" and the bytes of its memo file; both are
// written to a private folder, opened, and every value of every row is read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "source/formats/paradox.h"

namespace {

const std::string& folder() {
  static std::string dir = [] {
    char pattern[] = "/tmp/paradoxfuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

void save(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

// The code page converters are cached for the life of the program and the
// cache is torn down before the leak check at exit, so the converters' own
// allocations would be reported as leaks; they are bounded (one set per code
// page) and not this reader's.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:__gconv_open\nleak:__gconv_lookup_cache\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view table = input, memo;
  bool hasmemo = false;
  if (auto mark = input.find("--MB--"); mark != std::string_view::npos) {
    table = input.substr(0, mark);
    memo = input.substr(mark + 6);
    hasmemo = true;
  }
  const std::string db = folder() + "/fuzz.db";
  const std::string mb = folder() + "/FUZZ.MB";
  save(db, table);
  if (hasmemo) save(mb, memo); else std::remove(mb.c_str());
  try {
    auto t = vesper::openparadoxtable(db);
    long long rows = 0;
    for (t->first(); !t->atend(); t->next(), ++rows) {
      for (int c = 0; c < int(t->columns().size()); ++c) t->value(c);
      if (rows > t->recordcount()) std::abort();  // more rows than it counted
    }
    if (rows != t->recordcount()) std::abort();
  } catch (const vesper::EngineError&) {
  }
  return 0;
}
