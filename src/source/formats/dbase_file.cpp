// Bounded file access for the dBASE reader: reads at offsets that never pass
// the end of the file, and the search for companion files (.dbt, .fpt, .cpg)
// beside a table with letter case ignored.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"
#include "source/formats/dbase_internal.h"

namespace vesper::dbase {

void refuse(const std::string& path, const std::string& reason) {
  throw EngineError("Cannot read the dBASE table \"" + path + "\": " + reason + ".");
}

ByteFile::~ByteFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ByteFile::open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::size_t ByteFile::read(std::uint64_t offset, std::size_t n, char* out) const {
  if (fd_ < 0 || offset >= size_) return 0;
  if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && fault_.empty()) fault_ = std::strerror(errno);
    if (r <= 0) break;  // the file shrank or cannot be read: what was read is all
    done += static_cast<std::size_t>(r);
  }
  return done;
}

std::string ByteFile::read(std::uint64_t offset, std::size_t n) const {
  if (offset >= size_) return {};
  if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
  std::string out(n, '\0');
  out.resize(read(offset, n, out.data()));
  return out;
}

std::string findbeside(const std::string& path, const std::string& extension) {
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::size_t dot = base.rfind('.');
  std::string wanted = (dot == std::string::npos ? base : base.substr(0, dot)) + extension;

  // The exact spelling first: no directory walk in the common case.
  std::string exact = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + wanted;
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;

  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (sametext(e->d_name, wanted)) {
      std::string candidate = dir + "/" + e->d_name;
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        found = candidate;
        break;
      }
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace vesper::dbase
