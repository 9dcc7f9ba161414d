// A zip package (a workbook's container) opened for reading named parts.
//
// Contract.  Only parts asked for by name are read, and nothing is ever
// written: names holding "..", a leading slash or a backslash are refused,
// so a package cannot point the reading elsewhere.  A part is inflated in
// chunks handed to a sink, never whole, and the reading stops with a
// `PackageError` once it passes the caller's byte limit or, past the first
// megabyte, inflates to more than kMaxPackRatio times its compressed size
// (what a compression bomb does, whatever sizes its directory declares).
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;

namespace vesper {

constexpr long long kMaxPackRatio = 200;

struct PackageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ZipPackage {
 public:
  ZipPackage() = default;
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  // False when `path` is no zip file that can be read.
  bool open(const std::string& path);
  // The package held in `bytes` (kept by the caller while this is open).
  bool openmemory(std::string_view bytes);
  void close();
  bool isopen() const { return zip_ != nullptr; }

  bool has(const std::string& name) const;
  // The size part `name` declares; -1 when absent or unknown.
  long long declaredsize(const std::string& name) const;
  // Inflates part `name` into `sink`, chunk by chunk, at most `limit` bytes;
  // `sink` returns false to stop early.  False when there is no such part.
  bool read(const std::string& name, std::size_t limit,
            const std::function<bool(std::string_view chunk)>& sink) const;
  // The whole of a small part (at most `limit` bytes); empty when absent.
  std::string readsmall(const std::string& name, std::size_t limit) const;

 private:
  friend class ZipPart;
  zip* zip_ = nullptr;
};

// One part being inflated, a chunk at a time, under the limits above.
class ZipPart {
 public:
  // Throws PackageError when the part is absent or declares too much.
  ZipPart(const ZipPackage& package, const std::string& name, std::size_t limit);
  ~ZipPart();
  ZipPart(const ZipPart&) = delete;
  ZipPart& operator=(const ZipPart&) = delete;
  // The next chunk, empty at the end of the part.
  std::string_view read();

 private:
  std::string name_;
  zip_file* file_ = nullptr;
  std::size_t limit_;
  long long packed_ = 0, out_ = 0;
  std::vector<char> buffer_;
};

// A part name with "a/b/../c" and "./" resolved; empty when it climbs out of
// the package or is otherwise unsafe.
std::string normalpartname(std::string_view name);

}  // namespace vesper
