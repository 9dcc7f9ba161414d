// Whole numbers in the server's byte order (most significant byte first):
// appended to a string for the binary COPY and the import history's packed
// keys, and read back from bytes.
#pragma once

#include <cstdint>
#include <string>

namespace vesper {

inline void put16(std::string& out, std::uint16_t v) {
  const char b[2] = {static_cast<char>(v >> 8), static_cast<char>(v)};
  out.append(b, 2);
}
inline void put32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out.append(b, 4);
}
inline void put64(std::string& out, std::uint64_t v) {
  put32(out, static_cast<std::uint32_t>(v >> 32));
  put32(out, static_cast<std::uint32_t>(v));
}
inline std::uint32_t get32(const unsigned char* at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}
inline std::uint64_t get64(const unsigned char* at) { return std::uint64_t{get32(at)} << 32 | get32(at + 4); }

}  // namespace vesper
