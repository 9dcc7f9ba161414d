#include "cli/batchinputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vesper {

namespace {

// 0 when `path` is a file that opens for reading, else the reason as an
// errno value (EISDIR for a folder, which would open but not read).
int readerror(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  // Non-blocking, so that a named pipe without a writer does not hang here.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

}  // namespace

std::string sourcefileproblem(const std::string& path) {
  switch (int e = readerror(path)) {
    case 0: return "";
    case ENOENT: return "Source file not found: " + path;
    case EISDIR: return "Source is a folder, not a file: " + path;
    default: return "Cannot read the source file " + path + ": " + std::strerror(e);
  }
}

std::string specfileproblem(const std::string& path) {
  int e = readerror(path);
  return e ? "Cannot read the specification file " + path + ": " + std::strerror(e) : "";
}

}  // namespace vesper
