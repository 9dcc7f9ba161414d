// Pieces of the dBASE table reader shared by its source files (not for use
// outside source/formats/dbase*.cpp).
//
// Contract: every size, offset, count and block number taken from a file is
// checked against the file's real size before it is used; a table that cannot
// be read raises EngineError through `refuse`, a damaged memo gives an empty or
// shortened memo, never a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "source/formats/sourcetable.h"

namespace vesper::dbase {

// Throws EngineError: "Cannot read the dBASE table "<path>": <reason>."
[[noreturn]] void refuse(const std::string& path, const std::string& reason);

// A read-only file read at offsets; reads never go past the end.
class ByteFile {
 public:
  ByteFile() = default;
  ~ByteFile();
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;
  // False when the file cannot be opened or is not a regular file.
  bool open(const std::string& path);
  std::uint64_t size() const { return size_; }
  // Up to n bytes from offset (fewer, or none, at the end of the file).
  std::string read(std::uint64_t offset, std::size_t n) const;
  std::size_t read(std::uint64_t offset, std::size_t n, char* out) const;
  // Why a read failed (the system's words); "" while none did.  A read that
  // finds the file shorter than it was is no failure: the table ends there.
  const std::string& fault() const { return fault_; }

 private:
  mutable std::string fault_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The file beside `path` whose name is the stem of `path` plus `extension`
// (".dbt"), letter case ignored; empty when there is none.
std::string findbeside(const std::string& path, const std::string& extension);

// Turns the table's 8-bit text into UTF-8.
class TextDecoder {
 public:
  enum class Mode {
    Unstated,  // nothing names the code page: Windows-1252, but valid UTF-8 stays UTF-8
    Iconv,     // a code page iconv knows
    Utf8,      // already UTF-8 (invalid bytes become U+FFFD)
    Mazovia,   // Polish DOS code page 620, which iconv lacks
  };
  TextDecoder() = default;
  TextDecoder(Mode mode, std::string name) : mode_(mode), name_(std::move(name)) {}
  std::string decode(std::string_view bytes) const;
  Mode mode() const { return mode_; }
  const std::string& name() const { return name_; }

  // The decoder for a table: a .cpg file beside it wins, then the language
  // driver byte, then (dBASE 7) the language driver name.
  static TextDecoder fortable(const std::string& path, int languagedriver,
                              std::string_view drivername);
  // The decoder named by the text of a .cpg file ("1251", "UTF-8", "ANSI 1250").
  static TextDecoder fromcpg(std::string_view text);
  static TextDecoder fromlanguagedriver(int id);

 private:
  Mode mode_ = Mode::Unstated;
  std::string name_;
};

// True when the bytes are well-formed UTF-8.
bool isutf8(std::string_view bytes);

enum class Layout {
  Level2,    // dBASE II: fixed 521-byte header, 16-byte field descriptors
  Standard,  // dBASE III, IV, 5 and FoxPro 2: 32-byte descriptors
  Visual,    // Visual FoxPro: 32-byte descriptors, backlink, null flags
  Level7,    // dBASE 7: 48-byte descriptors with 32-character names
};

// How the bytes of a field are turned into a value.
enum class Reading {
  Text,          // C: text without trailing blanks
  VarText,       // V: text whose length may sit in its last byte
  VarBytes,      // Q: bytes whose length may sit in its last byte
  Number,        // N, F: decimal digits
  Date,          // D: YYYYMMDD
  JulianStamp,   // T (and @ outside dBASE 7): Julian day + milliseconds, little-endian
  Level7Stamp,   // @ in dBASE 7: big-endian ordered double of milliseconds
  Logical,       // L
  MemoText,      // M: block number of memo text
  MemoBytes,     // G, P, W (4 bytes), and B outside Visual FoxPro: block number of binary data
  Integer,       // I, + : little-endian two's complement
  Level7Integer, // I, + in dBASE 7: big-endian with the sign bit flipped
  Currency,      // Y: 64-bit count of ten-thousandths
  Double,        // B in Visual FoxPro: little-endian double
  Level7Double,  // O in dBASE 7: big-endian, sign bit set when positive, all bits inverted when negative
  FlippedDouble, // O elsewhere: big-endian with only the sign bit inverted
  WideText,      // W wider than a block number: UTF-16LE text
  Hidden,        // 0: the _NullFlags system column
  Unread,        // a type this reader does not know
};

struct Field {
  std::string name;            // UTF-8
  char type = 'C';
  Reading reading = Reading::Unread;
  TableColumnType columntype = TableColumnType::Other;
  std::uint32_t offset = 0;    // from the start of the record (the deletion flag is 0)
  std::uint32_t width = 0;
  int decimals = 0;
  int flags = 0;               // Visual FoxPro field flags
  int nullbit = -1;            // bit in _NullFlags telling the value is null
  int lengthbit = -1;          // bit in _NullFlags telling the length is in the last byte
};

struct Structure {
  Layout layout = Layout::Standard;
  int version = 0;
  std::vector<Field> fields;   // all fields, hidden ones included
  std::uint64_t datastart = 0;
  std::uint32_t recordlength = 0;
  std::uint64_t recordcount = 0;  // reconciled with the file size
  int languagedriver = 0;
  std::string drivername;      // dBASE 7 language driver name
  int nullflagsoffset = -1;    // of the _NullFlags field in the record
  int nullflagswidth = 0;
  bool hasmemo() const;
};

// Reads and checks the header and field descriptors.  `decoder` turns field
// names into UTF-8.  Refuses a file that is not a dBASE table or is damaged.
Structure readstructure(const ByteFile& file, const std::string& path);
void namefields(Structure& s, const TextDecoder& decoder);

// A memo file (.dbt or .fpt) beside a table.
class MemoFile {
 public:
  virtual ~MemoFile() = default;
  // The bytes of the memo starting at `block`; empty for block 0, a block
  // outside the file or a damaged block.  A memo running past the end of the
  // file is cut at the end.
  virtual std::string read(std::uint64_t block) const = 0;
  // The memo file of the table at `path`, or null when it has none.
  static std::unique_ptr<MemoFile> openbeside(const std::string& path, const Structure& s);
};

// Whether bit `bit` of the record's _NullFlags field is set.
bool nullflag(const Structure& s, std::string_view record, int bit);

// The value of field `f` in `record` (null flags of the field's own null bit
// are the caller's business).
TableValue decodevalue(const Structure& s, const Field& f, std::string_view record,
                       const TextDecoder& decoder, const MemoFile* memo);

}  // namespace vesper::dbase
