// The fingerprint of a stored row, as the import history keeps it: a 64-bit
// hash of the row's values, computed by a writer from the values it binds
// and by an undo from the values the table gives back, so that a contact
// changed since it was stored is told apart (internal to the table engines).
//
// Contract:
// - Only values count, each with its field's position: a NULL adds nothing,
//   so a writer need not visit the fields it leaves empty.
// - A number is taken by its value, not by how it is held: a floating-point
//   value that is a whole number (within 64 bits) counts as that integer, as
//   the engine may hand back 2 stored as 2.0 in a real column or the other
//   way round in a numeric one.
// - Texts and blobs are read eight bytes at a time, as little-endian words
//   (a last short piece by overlapping loads), so the same values give the
//   same print on every machine.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "store/packedvalues.h"

namespace vesper {

class RowPrint {
 public:
  void add(int field, const CellRef& c) {
    switch (c.kind) {
      case Cell::Null: return;
      case Cell::Integer: return number(field, c.integer);
      case Cell::Real:
        if (c.real >= -9223372036854775808.0 && c.real < 9223372036854775808.0 && std::trunc(c.real) == c.real)
          return number(field, static_cast<long long>(c.real));
        word(head(field, 2, 8));
        std::uint64_t bits;
        std::memcpy(&bits, &c.real, 8);
        return word(bits);
      case Cell::Text:
      case Cell::Blob: return bytes(field, c.kind == Cell::Text ? 3 : 4, c.data, c.size);
    }
  }
  std::uint64_t value() const { return mix(h_, 0x9e3779b97f4a7c15ULL); }

 private:
  static std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 m = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(m) ^ static_cast<std::uint64_t>(m >> 64);
  }
  static std::uint64_t head(int field, unsigned kind, std::size_t size) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(field)) << 40 | std::uint64_t{kind} << 32 |
           static_cast<std::uint32_t>(size);
  }
  // One multiply a word: the print tells changed rows apart, it is no
  // guard against rows made to collide; value() mixes the whole at the end.
  void word(std::uint64_t w) {
    h_ = (h_ ^ w) * 0x9e3779b97f4a7c15ULL;
    h_ ^= h_ >> 29;
  }
  void number(int field, long long v) {
    word(head(field, 1, 8));
    word(static_cast<std::uint64_t>(v));
  }
  static std::uint64_t load(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
  }
  static std::uint64_t load4(const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    return w;
  }
  // The last 1 to 7 bytes of a value, every one of them counted (the
  // length is in the value's head, so overlapping loads stay apart): no
  // copy of a varying length for each value.
  static std::uint64_t tail(const char* p, std::size_t n) {
    if (n >= 4) return load4(p) | load4(p + n - 4) << 32;
    return std::uint64_t{static_cast<unsigned char>(p[0])} |
           std::uint64_t{static_cast<unsigned char>(p[n / 2])} << 8 |
           std::uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
  }
  void bytes(int field, unsigned kind, const char* p, std::size_t n) {
    word(head(field, kind, n));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) word(load(p + i));
    if (i < n) word(n >= 8 ? load(p + n - 8) : tail(p, n));
  }
  std::uint64_t h_ = 0x243f6a8885a308d3ULL;
};

// A short print of a row's key alone: a row id found holding another
// contact than the one stored there (the row removed, its id given again)
// is told from a contact changed since.
inline std::uint32_t keyprint(int field, const CellRef& key) {
  RowPrint p;
  p.add(field, key);
  return static_cast<std::uint32_t>(p.value());
}

}  // namespace vesper
