// Bounded random-access reading of a Paradox table or memo file.
//
// Contract: `read` hands back exactly the bytes asked for or reports false;
// it never reads past the size the file had when it was opened, so every
// offset and length taken from the file itself can be passed straight in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vesper {

class ParadoxFile {
 public:
  ParadoxFile() = default;
  ~ParadoxFile() { close(); }
  ParadoxFile(const ParadoxFile&) = delete;
  ParadoxFile& operator=(const ParadoxFile&) = delete;

  bool open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return false;
    if (std::fseek(file_, 0, SEEK_END) != 0) return close(), false;
    long end = std::ftell(file_);
    if (end < 0) return close(), false;
    size_ = static_cast<std::uint64_t>(end);
    return true;
  }
  void close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    size_ = 0;
  }
  bool isopen() const { return file_ != nullptr; }
  std::uint64_t size() const { return size_; }
  // True when [offset, offset + length) lies inside the file.
  bool holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool read(std::uint64_t offset, std::size_t length, std::string& out) {
    out.clear();
    if (!file_ || !holds(offset, length)) return false;
    if (length == 0) return true;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    out.resize(length);
    if (std::fread(out.data(), 1, length, file_) != length) {
      out.clear();
      return false;
    }
    return true;
  }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace vesper
