// Streaming reader of vCard files (versions 2.1, 3.0 and 4.0, mixed).
//
// Contract.  The file is read front to back through a buffer of its own; the
// reader holds one logical line at a time, never a whole card or file.
//   - Line ends are CR LF, LF or CR.  A line that starts with a blank or a tab
//     continues the one before (the blank is dropped); a QUOTED-PRINTABLE
//     value that ends in "=" continues on the next line (a soft line break).
//   - A property's head (group, name, parameters) is parsed on its first
//     line.  Values of properties the caller does not want (`wanted`) are
//     passed over unread, so embedded pictures and sounds cost no memory;
//     a wanted value is kept up to kMaxValueBytes.
//   - Values reach the caller decoded from QUOTED-PRINTABLE and converted to
//     UTF-8 from their CHARSET (without one: UTF-8 when the bytes are valid
//     UTF-8, else Windows-1252).  Escapes (\n \, \; \\) are left in: they
//     mean different things in structured and plain values.
//   - A card runs from BEGIN:VCARD to END:VCARD.  A card that another
//     BEGIN:VCARD interrupts, or that the file ends inside, cannot be read:
//     its lines go to the bad-line sink as the file has them (without their
//     line ends), read again from the file.  So does every line outside a card
//     that is not blank (an END:VCARD with no card open among them).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vesper {

constexpr std::size_t kMaxValueBytes = 1 << 20;

struct VCardProperty {
  std::string name;                // upper case, without its group
  std::vector<std::string> types;  // TYPE values and bare parameters, lower case
  std::string_view value;          // UTF-8, escapes left in; valid during property()
  int tag = 0;                     // what the sink's wanted() said of the name
};

class VCardSink {
 public:
  virtual void startcard() = 0;
  virtual void property(const VCardProperty& property) = 0;
  // After the card's last property, when the card ended as it should.
  virtual void endcard() {}
  // For a property name (upper case) whose values the sink takes, a number
  // of the sink's own other than 0, handed back in the property's `tag`; 0
  // for the names it passes over.
  virtual int wanted(std::string_view name) const = 0;

 protected:
  ~VCardSink() = default;
};

class VCardReader {
 public:
  using BadLine = std::function<void(std::string_view line)>;

  VCardReader() = default;
  VCardReader(const VCardReader&) = delete;
  VCardReader& operator=(const VCardReader&) = delete;
  ~VCardReader() { close(); }

  bool open(const std::string& path);
  bool isopen() const { return fd_ >= 0; }
  void close();
  // Back to the start of the file.
  void rewind();
  // True once nothing but blank lines can follow.
  bool atend();
  // Reads on to the end of the next readable card, handing its properties to
  // `sink` (startcard first); false at the end of the file.  Lines that are
  // no part of a readable card go to `bad`.
  bool nextcard(VCardSink& sink, const BadLine& bad);

  long long offset() const { return base_ + static_cast<long long>(pos_); }
  long long size() const { return size_; }

 private:
  struct Line {
    long long start = 0, end = 0;  // bytes of the file, line ends included
    std::string text;              // the logical line, unfolded (values maybe cut)
    std::size_t colon = 0;         // where the head ends (npos: no head)
  };
  bool fill();
  int peekbyte();
  // Appends the rest of the physical line to `out` (nullptr: drops it) up to
  // `limit` bytes in all; 1 when the line end was reached, 0 when the limit
  // stopped it first, -1 at the end of the file with nothing read.
  int appendline(std::string* out, std::size_t limit);
  // True when the next line starts with `word` (any case).
  bool startsline(std::string_view word);
  bool readlogical(VCardSink& sink, bool& parsed);
  void sendbad(long long from, long long to, const BadLine& bad);

  int fd_ = -1;
  long long size_ = 0;
  long long base_ = 0;  // file offset of buf_[0]
  std::vector<char> buf_;
  std::size_t pos_ = 0, len_ = 0;
  char lastbyte_ = 0;  // the last byte of the physical line read last
  // The line and property being read, kept from card to card so that their
  // room is reused.
  Line line_;
  VCardProperty property_;
  std::string charset_;
  std::string decoded_;  // a value that needed decoding
};

// Splits a property's head (what stands before the first colon outside
// double quotes) into its name and types; false when it has no name.
// `qp` is set for QUOTED-PRINTABLE, `charset` to the CHARSET parameter.
bool parsevcardhead(std::string_view head, VCardProperty& property, bool& qp, std::string& charset);
// The value's bytes decoded (QUOTED-PRINTABLE when `qp`) into UTF-8, into
// `out` (its old content replaced).
void decodevcardvalue(std::string_view raw, bool qp, const std::string& charset, std::string& out);
// True when the bytes start (after a byte-order mark and blank lines) with
// BEGIN:VCARD.
bool looksvcard(std::string_view start);

}  // namespace vesper
