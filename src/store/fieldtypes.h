// Field types of the contact tables and how their values live in SQLite.
//
// Contract: every column of a table file declares one of the engine's types
// with a type name that both names the engine type and gives SQLite the
// storage affinity that keeps the value in its natural form:
//
//   alpha(n)  VARCHAR(n)        TEXT     text, cut to n characters when written
//   memo      MEMO_TEXT         TEXT     text of any length
//   date      DATE_TEXT         TEXT     'YYYY-MM-DD'
//   time      TIME_TEXT         TEXT     'HH:MM:SS'
//   timestamp TIMESTAMP_TEXT    TEXT     'YYYY-MM-DD HH:MM:SS'
//   short     SHORT_INTEGER     INTEGER  -32768..32767
//   long      LONG_INTEGER      INTEGER  32-bit signed
//   word      WORD_INTEGER      INTEGER  0..65535
//   autoinc   AUTOINC_INTEGER   INTEGER  filled by the engine when a row is added
//   logical   LOGICAL_INTEGER   INTEGER  0 or 1
//   number    NUMBER_REAL       REAL
//   money     MONEY_REAL        REAL
//   BCD       BCD_NUMERIC(n)    NUMERIC
//   bytes(n)  BYTES_BLOB(n)     BLOB
//   binary    BINARY_BLOB       BLOB
//   graphic   GRAPHIC_BLOB      BLOB
//
// TEXT affinity matters: a column declared plainly as ALPHA or DATE would get
// NUMERIC affinity and SQLite would turn the text '02134' into the number 2134.
// Declarations written by other tools (TEXT, INTEGER, REAL, DATE, BOOLEAN,
// BLOB...) are mapped to the nearest engine type.
//
// `Cell` is one stored value; the conversions between cells and the
// caller's text, whole numbers, floating-point numbers, logicals and
// date-times (day count + fraction of a day) are done here by field type.
// Conversions that cannot be made throw EngineError (ConversionError for a
// text that is not a whole number), never anything else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesper {

enum class FieldType {
  Alpha, Short, Long, Word, Number, Money, Date, Time, Timestamp,
  Memo, Logical, Bcd, AutoInc, Bytes, Binary, Graphic,
};

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Alpha;
  int size = 0;  // characters of an alpha field (0: no limit), bytes of a bytes field
};

// "alpha", "short", "long", "word", "number", "money", "date", "time",
// "timestamp", "memo", "logical", "bcd", "autoinc", "bytes", "binary", "graphic".
const char* fieldtypename(FieldType type);
// The SQL type name a column of this type is declared with ("VARCHAR(20)").
std::string declaredtype(const FieldDef& def);
// The engine type and size of a declared SQL type name (case ignored).
FieldDef fieldfromdeclaration(std::string_view name, std::string_view declaration);
// True for the types whose values are stored as text (alpha, memo, dates and times).
bool istexttype(FieldType type);

// True when a whole-number field of type `type` can hold `value` (short
// -32768..32767, word 0..65535, long and autoincrement 32 bits); other types
// take any value.
bool integerfits(FieldType type, long long value);

// Date and time texts as stored: day counts from 30 December 1899, fractions
// of a day.  The parser accepts 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]'
// (also with 'T'), and 'HH:MM[:SS[.fff]]'; false for anything else.
// The day count (whole part) and the time of day (magnitude of the fraction).
void splitdatetime(double datetime, int& days, double& fraction);
// splitdatetime for a value a date, time or timestamp field can hold (a
// finite moment in the years 0001-9999); false for any other.
bool storabledatetime(double datetime, int& days, double& fraction);
std::string datetext(double datetime);
std::string timetext(double datetime);
std::string timestamptext(double datetime);
bool parsedatetimetext(std::string_view text, double& datetime);
// The text a date, time or timestamp field stores for `datetime`, put at
// `out` (room for kDateTimeTextMax bytes) without making a string: its
// length, or 0 (nothing meaningful put) for any other type and for a value
// that datetimecell refuses or writes with a year outside 0-9999.
inline constexpr std::size_t kDateTimeTextMax = 19;
std::size_t datetimetextinto(FieldType type, double datetime, char* out);

// A stored value, as SQLite holds it.
struct Cell {
  enum Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Null;
  long long integer = 0;
  double real = 0;
  std::string text;  // Text and Blob

  static Cell ofinteger(long long v) { Cell c; c.kind = Integer; c.integer = v; return c; }
  static Cell ofreal(double v) { Cell c; c.kind = Real; c.real = v; return c; }
  static Cell oftext(std::string v) { Cell c; c.kind = Text; c.text = std::move(v); return c; }
  static Cell ofblob(std::string v) { Cell c; c.kind = Blob; c.text = std::move(v); return c; }
  bool operator==(const Cell&) const = default;
};

// Reading a cell of a field.  An empty (null) cell reads as "", 0, 0.0, false.
std::string celltext(const FieldDef& def, const Cell& cell);
// celltext into `out`, reusing its storage.
inline void celltextinto(const FieldDef& def, const Cell& c, std::string& out) {
  if (c.kind == Cell::Text || c.kind == Cell::Blob) out.assign(c.text);
  else out = celltext(def, c);
}
// celltext without a copy: a text or blob cell is seen where it lies; any
// other cell is converted into `scratch`, which the view then shows.
inline std::string_view celltextview(const FieldDef& def, const Cell& c, std::string& scratch) {
  if (c.kind == Cell::Text || c.kind == Cell::Blob) return c.text;
  scratch = celltext(def, c);
  return scratch;
}
long long cellinteger(const FieldDef& def, const Cell& cell);
double celldouble(const FieldDef& def, const Cell& cell);
bool cellbool(const FieldDef& def, const Cell& cell);
double celldatetime(const FieldDef& def, const Cell& cell);

// Writing a value into a field: the cell the field stores for it.  An empty
// text gives an empty (null) cell in every type.
Cell textcell(const FieldDef& def, std::string_view text);
Cell integercell(const FieldDef& def, long long value);
Cell doublecell(const FieldDef& def, double value);
Cell boolcell(const FieldDef& def, bool value);
Cell datetimecell(const FieldDef& def, double datetime);

}  // namespace vesper
