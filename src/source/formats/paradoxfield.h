// Paradox field types and the decoding of one stored field value.
//
// Contract: pure functions on byte slices, no I/O, never throwing.  Numbers
// in a Paradox record are big-endian with the sign bit flipped, so that the
// raw bytes sort like the values; an all-zero field is a blank (null) value.
// Dates are days from 1 January of year 1 (that day being 1) and come back as
// day counts from 30 December 1899; times are milliseconds since midnight and
// come back as fractions of a day; timestamps are milliseconds from the same
// start as dates.  Text arrives in UTF-8, converted from the table's code
// page.  A value that cannot be right (a date beyond year 9999, a time past
// midnight, a number that is not finite) reads as null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "source/formats/sourcetable.h"

namespace vesper {

enum ParadoxFieldCode : int {
  PxAlpha = 0x01,
  PxDate = 0x02,
  PxShort = 0x03,
  PxLong = 0x04,
  PxMoney = 0x05,
  PxNumber = 0x06,
  PxLogical = 0x09,
  PxMemo = 0x0C,
  PxBlob = 0x0D,
  PxFormattedMemo = 0x0E,
  PxOle = 0x0F,
  PxGraphic = 0x10,
  PxTime = 0x14,
  PxTimestamp = 0x15,
  PxAutoInc = 0x16,
  PxBcd = 0x17,
  PxBytes = 0x18,
};

// Day count (from 30 December 1899) of Paradox day 1, 1 January 0001.
constexpr int kParadoxDayOffset = 693594;
constexpr int kParadoxBcdWidth = 17;
// A large-object field ends in a 10-byte reference to the memo file.
constexpr int kParadoxBlobRefWidth = 10;

TableColumnType paradoxcolumntype(int code);
bool isparadoxblob(int code);
// Bytes the field takes in a record, given the size in its descriptor (for
// BCD the descriptor gives the decimal places instead); 0 when that size is
// impossible for the type.
int paradoxfieldwidth(int code, int size);

// Value of a field that lives wholly in the record (every type except the
// large objects).  `bytes` is the field's slice of the record.
TableValue decodeparadoxfield(int code, std::string_view bytes, const std::string& codepage);

// The reference at the end of a large-object field.
struct ParadoxBlobRef {
  std::string_view leading;  // the part kept in the record itself
  std::uint32_t offset = 0;  // in the memo file; low byte: slot in a shared block
  std::uint32_t length = 0;  // of the whole object
};
ParadoxBlobRef paradoxblobref(std::string_view field);

// Value of a large object from its complete bytes (memo text converted to
// UTF-8 and cut at a NUL; formatted memos reduced to their plain text; other
// objects kept as raw bytes).
TableValue paradoxblobvalue(int code, std::string_view blob, const std::string& codepage);

// The plain text inside a formatted memo: a 44-byte lead-in whose first word
// is 7 and second the text length, then the text, then formatting runs.
std::optional<std::string_view> formattedmemotext(std::string_view blob);

}  // namespace vesper
