// The corpora: real files from elsewhere (dBASE and Paradox tables, name and
// address lists) that some tests read.  They are not part of the repository.
//
// The folder is $VESPER_CORPORA when set at test time, else the CMake cache
// variable VESPER_CORPORA of the build (by default ../shared/corpora beside
// the source folder).  Where it is absent the tests over it are skipped with
// a message naming it; with VESPER_CORPORA_REQUIRED set (CI, where the folder
// is known to be there) they fail instead, so a wrong path cannot pass as a
// skip.
//
// VESPER_NEEDS_CORPORA() at the top of a GoogleTest test or in its fixture's
// SetUp; VESPER_NEEDS_CORPORA_QT() in a QtTest slot.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#ifndef VESPER_CORPORA_DEFAULT
#error "VESPER_CORPORA_DEFAULT (the configured corpora folder) is not defined"
#endif

namespace vesper::testing {

inline std::string corporafolder() {
  const char* env = std::getenv("VESPER_CORPORA");
  return env && *env ? env : VESPER_CORPORA_DEFAULT;
}

// A path inside the folder.
inline std::string corpora(const std::string& relative) {
  return (std::filesystem::path(corporafolder()) / relative).string();
}

// "" when the folder is there; else why the tests over it cannot run.
inline std::string corporaabsent() {
  std::string dir = corporafolder();
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return "";
  return "the corpora folder " + dir +
         " is absent (set VESPER_CORPORA, or the CMake variable VESPER_CORPORA, to where it lies)";
}

inline bool corporarequired() {
  const char* r = std::getenv("VESPER_CORPORA_REQUIRED");
  return r && *r && std::strcmp(r, "0") != 0;
}

}  // namespace vesper::testing

#define VESPER_NEEDS_CORPORA()                                         \
  do {                                                                 \
    const std::string vesper_why_ = ::vesper::testing::corporaabsent(); \
    if (!vesper_why_.empty()) {                                        \
      if (::vesper::testing::corporarequired()) FAIL() << vesper_why_; \
      GTEST_SKIP() << vesper_why_;                                     \
    }                                                                  \
  } while (0)

#define VESPER_NEEDS_CORPORA_QT()                                           \
  do {                                                                      \
    const std::string vesper_why_ = ::vesper::testing::corporaabsent();      \
    if (!vesper_why_.empty()) {                                             \
      if (::vesper::testing::corporarequired()) QFAIL(vesper_why_.c_str()); \
      QSKIP(vesper_why_.c_str());                                           \
    }                                                                       \
  } while (0)
