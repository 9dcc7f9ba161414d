// A zip package (a workbook's container) opened for reading named parts.
//
// Contract.  Only parts asked for by name are read, and nothing is ever
// written: names holding "..", a leading slash or a backslash are refused,
// so a package cannot point the reading elsewhere.  A part is inflated in
// chunks handed to a sink, never whole, and the reading stops with a
// `PackageError` once it passes the caller's byte limit or, past the first
// megabyte, inflates to more than kMaxPackRatio times its compressed size
// (what a compression bomb does, whatever sizes its directory declares).
// Deflated parts are inflated by ISA-L's inflater (several times faster than
// the package library's own) from the part's raw data, and their CRC checked
// at the end as the package library does; parts stored another way are read
// through the package library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;
struct inflate_state;

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
  // Opens the package `other` has open a second time, for reading on
  // another thread (one opening must not be read from two).
  bool openagain(const ZipPackage& other);
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
  std::string path_;
  std::string_view bytes_;
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
  // The bytes the part declares it inflates to (0 when it declares none).
  long long size() const { return declared_; }

 private:
  // The next chunk of a deflated part, inflated here.
  std::size_t inflatechunk();
  [[noreturn]] void damaged() const;

  std::string name_;
  zip_file* file_ = nullptr;
  std::size_t limit_;
  long long packed_ = 0, out_ = 0, declared_ = 0;
  std::vector<char> buffer_;
  // Set for a deflated part: the inflater, its raw input and the CRC the
  // package declares.
  std::unique_ptr<inflate_state> inflater_;
  std::vector<unsigned char> input_;
  std::uint32_t crc_ = 0;
  bool inputended_ = false, hascrc_ = false;
};

// A part name with "a/b/../c" and "./" resolved; empty when it climbs out of
// the package or is otherwise unsafe.
std::string normalpartname(std::string_view name);

}  // namespace vesper
