// The contact tables as a PostgreSQL server keeps them: the statements that
// create them, and rows in the text form COPY reads.
//
// Contract.  A table is created in a schema with the same fields, sizes and
// key as its table file: alpha(n) varchar(n), memo text, date date, time
// time(0), timestamp timestamp(0), short smallint, long and autoincrement
// integer (an autoincrement field numbered by the server, as an identity),
// word integer checked to be from 0 to 65535, logical boolean, number and money double
// precision, BCD numeric, the byte types bytea; a text key compares byte by
// byte (collation "C"), as a table file's key does.  Each column's comment holds
// the field's declaration as a table file writes it (VARCHAR(20),
// WORD_INTEGER...), so reading the table back gives the same field types
// (`fieldfromserver`), whatever the server's own type names.  Identifiers are
// always quoted; no value ever becomes SQL text: values go to the server as
// COPY rows or bound parameters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/fieldtypes.h"
#include "store/packedvalues.h"
#include "store/sqlid.h"

namespace vesper {

// The server's column type for a field.
std::string servertype(const FieldDef& def);
// The statements creating table `table` in `schema` (which must exist):
// CREATE TABLE, then a COMMENT for each column.  EngineError for fields a
// table file could not have either.
std::vector<std::string> createserversql(const std::string& schema, const std::string& table,
                                         const std::vector<FieldDef>& fields, const std::string& keyfield);
// The field a column stands for: from its comment when that is a table
// file's declaration, else from the server's type (`datatype`, as
// information_schema gives it, and `length` for character types).
FieldDef fieldfromserver(const std::string& name, const std::string& comment, const std::string& datatype, int length);

// Appends `cell` of field `def` in COPY's text form: \N for an empty cell,
// backslash, tab, line feed and carriage return escaped, logicals t and f,
// bytes as \\x and hex digits.
void appendcopyvalue(std::string& out, const FieldDef& def, const Cell& cell);
void appendcopyvalue(std::string& out, const FieldDef& def, const CellRef& cell);
// A floating-point number as the server reads it back exactly: the
// shortest such form, NaN, Infinity, -Infinity.
void appendreal(std::string& out, double value);
// Bytes as hexadecimal digits, two a byte, lower case (what follows the \x
// of a bytea value).
void appendhex(std::string& out, const char* data, std::size_t size);
// An integer cell of field `def` as the server reads it: a logical as t or
// f, any other number in decimal.
void appendinteger(std::string& out, const FieldDef& def, long long value);
// A whole COPY row of `cells`: values between tabs, ended by a line feed.
void appendcopyrow(std::string& out, const std::vector<FieldDef>& fields, const std::vector<Cell>& cells);

// COPY's binary form, which the server reads without parsing each value's
// text: a column type it is written for (from the server's own type name,
// format_type's), or None for the types left to the text form (numeric,
// character(n), domains, anything else).
enum class BinaryColumn { None, Text, Int2, Int4, Int8, Bool, Float8, Date, Time, Timestamp, Bytea };
BinaryColumn binarycolumn(std::string_view servertype);
// The start and the end of the binary form's rows, and a row's count of values.
void appendbinaryheader(std::string& out);
void appendbinarytrailer(std::string& out);
void appendbinarycount(std::string& out, std::size_t values);
// Appends `cell` of field `def` to a column of type `column` as the server
// would have read its text form; false (what was appended left as it is)
// for a value whose text the server might read otherwise or refuse (a number
// out of the column's range, a date not written as the table files write
// them...): such rows go in the text form.  `text` is the cell's text form
// without escapes (ServerLink::paramtext) for a text column.
bool appendbinaryvalue(std::string& out, BinaryColumn column, const CellRef& cell, std::string_view text);

}  // namespace vesper
