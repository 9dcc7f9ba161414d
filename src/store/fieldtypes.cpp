#include "store/fieldtypes.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/errors.h"
#include "parse/daycount.h"
#include "parse/text.h"

namespace vesper {

namespace {

struct TypeName {
  FieldType type;
  const char* name;  // engine name
  const char* sql;   // declared SQL type name, without size
};

const TypeName kTypes[] = {
    {FieldType::Alpha, "alpha", "VARCHAR"},
    {FieldType::Short, "short", "SHORT_INTEGER"},
    {FieldType::Long, "long", "LONG_INTEGER"},
    {FieldType::Word, "word", "WORD_INTEGER"},
    {FieldType::Number, "number", "NUMBER_REAL"},
    {FieldType::Money, "money", "MONEY_REAL"},
    {FieldType::Date, "date", "DATE_TEXT"},
    {FieldType::Time, "time", "TIME_TEXT"},
    {FieldType::Timestamp, "timestamp", "TIMESTAMP_TEXT"},
    {FieldType::Memo, "memo", "MEMO_TEXT"},
    {FieldType::Logical, "logical", "LOGICAL_INTEGER"},
    {FieldType::Bcd, "bcd", "BCD_NUMERIC"},
    {FieldType::AutoInc, "autoinc", "AUTOINC_INTEGER"},
    {FieldType::Bytes, "bytes", "BYTES_BLOB"},
    {FieldType::Binary, "binary", "BINARY_BLOB"},
    {FieldType::Graphic, "graphic", "GRAPHIC_BLOB"},
};

// Declarations written by other tools, by their base name.
const std::pair<const char*, FieldType> kForeignTypes[] = {
    {"CHAR", FieldType::Alpha},        {"CHARACTER", FieldType::Alpha},
    {"NCHAR", FieldType::Alpha},       {"NVARCHAR", FieldType::Alpha},
    {"VARYING CHARACTER", FieldType::Alpha}, {"NATIVE CHARACTER", FieldType::Alpha},
    {"TEXT", FieldType::Memo},         {"CLOB", FieldType::Memo},
    {"DATE", FieldType::Date},         {"TIME", FieldType::Time},
    {"DATETIME", FieldType::Timestamp}, {"TIMESTAMP", FieldType::Timestamp},
    {"BOOLEAN", FieldType::Logical},   {"BOOL", FieldType::Logical},
    {"SMALLINT", FieldType::Short},    {"TINYINT", FieldType::Short},
    {"INT", FieldType::Long},          {"INTEGER", FieldType::Long},
    {"BIGINT", FieldType::Long},       {"MEDIUMINT", FieldType::Long},
    {"REAL", FieldType::Number},       {"FLOAT", FieldType::Number},
    {"DOUBLE", FieldType::Number},     {"DOUBLE PRECISION", FieldType::Number},
    {"NUMERIC", FieldType::Bcd},       {"DECIMAL", FieldType::Bcd},
    {"BLOB", FieldType::Binary},       {"", FieldType::Binary},
};

[[noreturn]] void cannotconvert(const FieldDef& def, std::string_view what) {
  throw EngineError("Field '" + def.name + "' of type " + fieldtypename(def.type) +
                    " cannot hold " + std::string(what) + ".");
}

// Strict number reading: optional sign and the number alone, blanks around
// allowed; '.' is the decimal point (never the locale's, which the windows
// may have changed).
template <class Number>
bool parsenumber(std::string_view text, Number& out) {
  std::string t = trimmed(text);
  const char* b = t.data();
  const char* e = b + t.size();
  if (b != e && *b == '+') ++b;
  if (b == e) return false;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e;
}

bool parseinteger(std::string_view text, long long& out) { return parsenumber(text, out); }

bool parsedouble(std::string_view text, double& out) { return parsenumber(text, out) && std::isfinite(out); }

std::string numbertext(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}


long long limitfor(FieldType t, bool upper) {
  switch (t) {
    case FieldType::Short: return upper ? 32767 : -32768;
    case FieldType::Word: return upper ? 65535 : 0;
    case FieldType::Long: return upper ? 2147483647LL : -2147483648LL;
    case FieldType::AutoInc: return upper ? 2147483647LL : 1;
    default: return upper ? std::numeric_limits<long long>::max() : std::numeric_limits<long long>::min();
  }
}

bool isintegertype(FieldType t) {
  return t == FieldType::Short || t == FieldType::Long || t == FieldType::Word ||
         t == FieldType::AutoInc;
}
bool isrealtype(FieldType t) {
  return t == FieldType::Number || t == FieldType::Money || t == FieldType::Bcd;
}
bool isdatetype(FieldType t) {
  return t == FieldType::Date || t == FieldType::Time || t == FieldType::Timestamp;
}

Cell checkedinteger(const FieldDef& def, long long v) {
  if (v < limitfor(def.type, false) || v > limitfor(def.type, true))
    throw EngineError("Value " + std::to_string(v) + " is out of range for field '" + def.name + "'.");
  return Cell::ofinteger(v);
}

// A date-time read from a stored text; a text that is no date is an error.
double textdatetime(const FieldDef& def, const std::string& text) {
  double v = 0;
  if (!parsedatetimetext(text, v))
    throw EngineError("'" + text + "' in field '" + def.name + "' is not a valid date or time.");
  return v;
}

}  // namespace

void splitdatetime(double v, int& days, double& fraction) {
  // The whole part is the day, the fraction's magnitude the time of day, also
  // for dates before 30 December 1899.
  double whole = std::trunc(v);
  days = static_cast<int>(whole);
  fraction = std::fabs(v - whole);
}

const char* fieldtypename(FieldType type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  return "unknown";
}

bool integerfits(FieldType t, long long v) {
  return v >= limitfor(t, false) && v <= limitfor(t, true);
}

bool istexttype(FieldType t) { return t == FieldType::Alpha || t == FieldType::Memo || isdatetype(t); }

std::string declaredtype(const FieldDef& def) {
  for (const auto& t : kTypes) {
    if (t.type != def.type) continue;
    std::string sql = t.sql;
    bool sized = def.type == FieldType::Alpha || def.type == FieldType::Bytes || def.type == FieldType::Bcd;
    if (sized && def.size > 0) sql += "(" + std::to_string(def.size) + ")";
    return sql;
  }
  return "BLOB";
}

FieldDef fieldfromdeclaration(std::string_view name, std::string_view declaration) {
  FieldDef def;
  def.name = std::string(name);
  std::string decl = uppertext(trimmed(declaration));
  std::string base = decl;
  std::size_t open = decl.find('(');
  if (open != std::string::npos) {
    base = trimmed(decl.substr(0, open));
    long long n = 0;
    std::size_t close = decl.find_first_of(",)", open);
    if (close != std::string::npos && parseinteger(decl.substr(open + 1, close - open - 1), n) &&
        n > 0 && n < 1000000)
      def.size = static_cast<int>(n);
  }
  for (const auto& t : kTypes)
    if (base == t.sql) { def.type = t.type; return def; }
  for (const auto& [foreign, type] : kForeignTypes)
    if (base == foreign) {
      def.type = type;
      if (type != FieldType::Alpha) def.size = 0;
      return def;
    }
  // Anything else by SQLite's own affinity rules.
  def.size = 0;
  if (base.find("INT") != std::string::npos) def.type = FieldType::Long;
  else if (base.find("CHAR") != std::string::npos || base.find("CLOB") != std::string::npos ||
           base.find("TEXT") != std::string::npos) def.type = FieldType::Memo;
  else if (base.find("BLOB") != std::string::npos) def.type = FieldType::Binary;
  else if (base.find("REAL") != std::string::npos || base.find("FLOA") != std::string::npos ||
           base.find("DOUB") != std::string::npos) def.type = FieldType::Number;
  else def.type = FieldType::Bcd;
  return def;
}

std::string celltext(const FieldDef& def, const Cell& c) {
  switch (c.kind) {
    case Cell::Null: return "";
    case Cell::Text:
    case Cell::Blob: return c.text;
    case Cell::Integer:
      if (def.type == FieldType::Logical) return c.integer ? "True" : "False";
      return std::to_string(c.integer);
    case Cell::Real:
      if (def.type == FieldType::Logical) return c.real != 0 ? "True" : "False";
      return numbertext(c.real);
  }
  return "";
}

long long cellinteger(const FieldDef& def, const Cell& c) {
  switch (c.kind) {
    case Cell::Null: return 0;
    case Cell::Integer: return c.integer;
    case Cell::Real: {
      if (!(std::fabs(c.real) < 9.2e18)) cannotconvert(def, "a whole number that large");
      return std::llround(c.real);
    }
    case Cell::Text:
    case Cell::Blob: {
      if (isdatetype(def.type)) {
        double v = textdatetime(def, c.text);
        return static_cast<long long>(std::trunc(v));
      }
      if (def.type == FieldType::Logical) return cellbool(def, c) ? 1 : 0;
      long long v = 0;
      if (!parseinteger(c.text, v)) throw ConversionError(c.text);
      return v;
    }
  }
  return 0;
}

double celldouble(const FieldDef& def, const Cell& c) {
  switch (c.kind) {
    case Cell::Null: return 0;
    case Cell::Integer: return static_cast<double>(c.integer);
    case Cell::Real: return c.real;
    case Cell::Text:
    case Cell::Blob: {
      if (isdatetype(def.type)) return textdatetime(def, c.text);
      double v = 0;
      if (!parsedouble(c.text, v))
        throw EngineError("'" + c.text + "' is not a valid floating point value");
      return v;
    }
  }
  return 0;
}

bool cellbool(const FieldDef&, const Cell& c) {
  switch (c.kind) {
    case Cell::Null: return false;
    case Cell::Integer: return c.integer != 0;
    case Cell::Real: return c.real != 0;
    case Cell::Text:
    case Cell::Blob: {
      std::string t = trimmed(c.text);
      return sametext(t, "true") || sametext(t, "t") || sametext(t, "yes") ||
             sametext(t, "y") || t == "1";
    }
  }
  return false;
}

double celldatetime(const FieldDef& def, const Cell& c) {
  if (c.kind == Cell::Text || c.kind == Cell::Blob) return textdatetime(def, c.text);
  return celldouble(def, c);
}

Cell textcell(const FieldDef& def, std::string_view text) {
  if (text.empty()) return Cell();
  switch (def.type) {
    case FieldType::Alpha:
      return Cell::oftext(def.size > 0 ? cuttext(text, static_cast<std::size_t>(def.size))
                                       : std::string(text));
    case FieldType::Memo: return Cell::oftext(std::string(text));
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Word:
    case FieldType::AutoInc: {
      long long v = 0;
      if (!parseinteger(text, v)) throw ConversionError(std::string(text));
      return checkedinteger(def, v);
    }
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Bcd: {
      double v = 0;
      if (!parsedouble(text, v))
        throw EngineError("'" + std::string(text) + "' is not a valid floating point value");
      return Cell::ofreal(v);
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp: {
      double v = 0;
      if (!parsedatetimetext(text, v))
        throw EngineError("'" + std::string(text) + "' is not a valid date or time.");
      return datetimecell(def, v);
    }
    case FieldType::Logical: {
      std::string t = trimmed(text);
      if (sametext(t, "true") || sametext(t, "t") || sametext(t, "yes") || sametext(t, "y") || t == "1")
        return Cell::ofinteger(1);
      if (sametext(t, "false") || sametext(t, "f") || sametext(t, "no") || sametext(t, "n") || t == "0")
        return Cell::ofinteger(0);
      throw EngineError("'" + std::string(text) + "' is not a valid boolean value");
    }
    case FieldType::Bytes:
      return Cell::ofblob(std::string(def.size > 0 ? text.substr(0, def.size) : text));
    case FieldType::Binary:
    case FieldType::Graphic: return Cell::ofblob(std::string(text));
  }
  return Cell();
}

Cell integercell(const FieldDef& def, long long v) {
  if (isintegertype(def.type)) return checkedinteger(def, v);
  if (isrealtype(def.type)) return Cell::ofreal(static_cast<double>(v));
  if (def.type == FieldType::Logical) return Cell::ofinteger(v != 0);
  if (isdatetype(def.type)) return datetimecell(def, static_cast<double>(v));
  if (def.type == FieldType::Alpha || def.type == FieldType::Memo)
    return textcell(def, std::to_string(v));
  cannotconvert(def, "a number");
}

Cell doublecell(const FieldDef& def, double v) {
  if (!std::isfinite(v)) cannotconvert(def, "an infinite or undefined number");
  if (isrealtype(def.type)) return Cell::ofreal(v);
  if (isintegertype(def.type)) {
    if (!(std::fabs(v) < 9.2e18)) cannotconvert(def, "a whole number that large");
    return checkedinteger(def, std::llround(v));
  }
  if (def.type == FieldType::Logical) return Cell::ofinteger(v != 0);
  if (isdatetype(def.type)) return datetimecell(def, v);
  if (def.type == FieldType::Alpha || def.type == FieldType::Memo) return textcell(def, numbertext(v));
  cannotconvert(def, "a number");
}

Cell boolcell(const FieldDef& def, bool v) {
  if (def.type == FieldType::Logical || isintegertype(def.type)) return Cell::ofinteger(v ? 1 : 0);
  if (isrealtype(def.type)) return Cell::ofreal(v ? 1 : 0);
  if (def.type == FieldType::Alpha || def.type == FieldType::Memo) return textcell(def, v ? "True" : "False");
  cannotconvert(def, "a logical value");
}

bool storabledatetime(double v, int& days, double& fraction) {
  if (!std::isfinite(v) || std::fabs(v) > 2958466.0) return false;
  splitdatetime(v, days, fraction);
  return days >= -693593;
}

Cell datetimecell(const FieldDef& def, double v) {
  int days;
  double fraction;
  if (!storabledatetime(v, days, fraction)) cannotconvert(def, "a date outside 0001-9999");
  switch (def.type) {
    case FieldType::Date: return Cell::oftext(datetext(v));
    case FieldType::Time: return Cell::oftext(timetext(v));
    case FieldType::Timestamp: return Cell::oftext(timestamptext(v));
    case FieldType::Alpha:
    case FieldType::Memo: return textcell(def, timestamptext(v));
    default: return doublecell(def, v);
  }
}

}  // namespace vesper
