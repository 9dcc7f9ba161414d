// Values as they lie in a row builder's cells or in packed row bytes, read
// without copying their texts: what every table engine's writer stores from
// (internal to the table engines).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "store/fieldtypes.h"

namespace vesper {

// A value as it lies in a cell or in packed bytes (texts and blobs not
// copied).
struct CellRef {
  Cell::Kind kind = Cell::Null;
  long long integer = 0;
  double real = 0;
  const char* data = nullptr;
  std::size_t size = 0;
  static CellRef of(const Cell& c) { return {c.kind, c.integer, c.real, c.text.data(), c.text.size()}; }
};

// The bytes a value takes, as counted for the stored-bytes total.
inline long long cellbytes(const CellRef& c) {
  return c.kind == Cell::Text || c.kind == Cell::Blob ? static_cast<long long>(c.size) : 8;
}

// The values of a packed row, read in field order as the insert asks for
// them; a value the insert does not ask for (a field replaced by NULL) is
// passed over.
struct PackedValues {
  const std::uint64_t* bits;  // the fields with a value in the packed bytes
  const char* p;
  const char* end;
  const std::string& file;
  std::size_t next = 0;  // the first field not yet read
  int replacefield = -1;
  const Cell* replace = nullptr;

  [[noreturn]] void cutshort() const { throw EngineError("Table " + file + ": a packed row cut short."); }
  bool valued(std::size_t i) const { return bits[i / 64] >> (i % 64) & 1; }
  CellRef read() {
    CellRef r;
    if (p >= end) cutshort();
    r.kind = static_cast<Cell::Kind>(*p++);
    if (r.kind == Cell::Text || r.kind == Cell::Blob) {
      std::uint32_t len = 0;
      if (end - p < 4) cutshort();
      std::memcpy(&len, p, 4);
      if (static_cast<std::size_t>(end - p - 4) < len) cutshort();
      r.data = p + 4;
      r.size = len;
      p += 4 + len;
    } else {
      if (end - p < 8) cutshort();
      std::memcpy(r.kind == Cell::Integer ? static_cast<void*>(&r.integer) : &r.real, p, 8);
      p += 8;
    }
    return r;
  }
  CellRef at(std::size_t i) {
    while (next < i) {  // values before field i not asked for are passed over
      std::uint64_t rest = bits[next / 64] >> (next % 64);
      if (!rest) {
        next = (next / 64 + 1) * 64;
        continue;
      }
      std::size_t f = next + static_cast<std::size_t>(std::countr_zero(rest));
      if (f >= i) break;
      read();
      next = f + 1;
    }
    next = i + 1;
    CellRef r;
    if (valued(i)) r = read();
    if (static_cast<int>(i) == replacefield && replace) return CellRef::of(*replace);
    return r;
  }
};

}  // namespace vesper
