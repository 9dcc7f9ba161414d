#include "base/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vesper {

namespace {

std::string envvalue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool startswith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool systemprogramfolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  for (const char* f : {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin",
                        "/usr/local/sbin", "/usr/local/games"})
    if (folder == f) return true;
  return startswith(folder, "/opt/") || startswith(folder, "/usr/lib/") || startswith(folder, "/usr/libexec/");
}

}  // namespace

bool SystemFolders::writable(const std::string& folder) {
  if (systemprogramfolder(folder)) return false;
  return ::access(folder.c_str(), W_OK) == 0;
}

std::string SystemFolders::datahome() {
  // A relative XDG_DATA_HOME is invalid and is ignored, as the XDG rules say.
  std::string xdg = envvalue("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  std::string home = envvalue("HOME");
  if (home.empty())
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  if (home.empty()) home = ".";
  return home + "/.local/share";
}

}  // namespace vesper
