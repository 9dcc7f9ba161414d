#include "store/systemdisk.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <limits>
#include <system_error>

#include "parse/text.h"

namespace vesper {

std::string joinpath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

void splitpath(const std::string& path, std::string& folder, std::string& name) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

namespace {
bool isregular(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string findfile(const std::string& folder, const std::string& name) {
  if (name.empty()) return "";
  std::string exact = joinpath(folder, name);
  if (isregular(exact)) return exact;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder.empty() ? std::string(".") : folder, ec);
  if (ec) return "";
  // Directory order is arbitrary: take the smallest folded match so the choice
  // does not change from run to run when several spellings exist.
  std::string best;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string entry = it->path().filename().string();
    if (!sametext(entry, name)) continue;
    std::string candidate = joinpath(folder, entry);
    if (isregular(candidate) && (best.empty() || candidate < best)) best = candidate;
  }
  return best;
}

bool fileexists(const std::string& path) {
  std::string folder, name;
  splitpath(path, folder, name);
  return !findfile(folder, name).empty();
}

long long SystemDisk::freespace(const std::string& path) {
  struct statvfs vfs;
  if (::statvfs(path.empty() ? "." : path.c_str(), &vfs) != 0) return -1;
  unsigned long long unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  unsigned long long blocks = vfs.f_bavail;
  const unsigned long long cap = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  if (unit != 0 && blocks > cap / unit) return std::numeric_limits<long long>::max();
  return static_cast<long long>(blocks * unit);
}

}  // namespace vesper
