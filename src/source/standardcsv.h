// The standard reading of delimited text: records that may run over line
// ends inside quotes, read with the separator and header the layout names.
//
// Contract.  A record is read from the source slot (text decoded as the slot
// decodes it, a byte-order mark skipped) up to the line end that is outside
// quotes.  Fields are separated by the layout's separator; a field whose first
// character other than blanks is a double quote is quoted: up to the closing
// quote the separator and line ends are text and a doubled quote is one
// quote.  Blanks around a value outside its quotes are dropped.  CR LF, LF
// and CR end lines, except that in a file whose first line ends in CR LF a
// lone LF is part of the value.  A line break inside a value is given as
// CR LF; any other control character as a blank.
//
// A record of more than kMaxRecordBytes bytes is overlong: its values are not
// kept, and it is handed to the bad-line sink as it stands in the file (its
// first kMaxKeptBytes bytes when it is longer still).  A quote never closed
// runs to the end of the file, which then makes one bad record.  Memory stays
// bounded whatever the file holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "source/textfile.h"
#include "source/textrecordsource.h"

namespace vesper {

constexpr std::size_t kMaxRecordBytes = 64 * 1024;
constexpr std::size_t kMaxKeptBytes = 1024 * 1024;

// One record as read by StandardRecordReader.
struct StandardRecord {
  std::string text;                                      // the values back to back
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // each value's offset and length
  std::string raw;          // the record as the file has it, without its line end
  std::size_t bytes = 0;    // bytes read for it, its line end left out
  bool overlong = false;    // past kMaxRecordBytes: the values are not kept
  bool quotedbreak = false;  // a quoted value ran over a line end
  bool unclosed = false;     // the file ended inside quotes

  int fieldcount() const { return static_cast<int>(spans.size()); }
  std::string_view value(int field) const;  // from 1; empty past the last
  // The fields past `count` are all empty.
  bool extrasempty(int count) const;
  // Whether the record has the width of a record of `count` fields: exactly
  // that, more with the extra ones empty, or (with `minfields` > 0) at least
  // `minfields`, the trailing ones missing.
  bool fitswidth(int count, int minfields) const;
};

// Reads standard records from an open, rewound slot.
class StandardRecordReader {
 public:
  // `crlf`: the file's lines end in CR LF, so a lone LF is text.
  StandardRecordReader(TextFileSlot& slot, char separator, bool crlf)
      : slot_(slot), separator_(separator), crlf_(crlf) {}
  // Whether the first line end of the file (the slot just rewound) is CR LF.
  static bool crlffile(TextFileSlot& slot);
  // Reads the next record into `r`; false at the end of the file.
  bool read(StandardRecord& r);
  // Stops a record after `bytes` bytes, as overlong (a look at the start of
  // a file need not read a runaway quote to the end).
  void limit(std::size_t bytes) { limit_ = bytes; }

 private:
  int get();
  int peek();

  TextFileSlot& slot_;
  char separator_;
  bool crlf_;
  std::size_t limit_ = static_cast<std::size_t>(-1);
};

// Shortens a value for display: at most `chars` characters (UTF-8 aware),
// then "…"; line breaks shown as blanks.  The stored value stays whole.
std::string shortenfordisplay(std::string_view value, std::size_t chars = 60);

// The reader of a delimited source in the standard reading (the layout in
// SourceLayout).  A record with fewer fields than SourceFieldCount (or than
// the layout's minfields, when set), or more of them with text in the extra
// ones, is a bad line; the header and the lines before it are passed over
// without a word.
class StandardDelimitedSource final : public TextRecordSource {
 public:
  using TextRecordSource::TextRecordSource;
  int kind() const override;
  std::string fieldname(int field) const override;
  void rewind() override;
  bool more() override;
  bool next() override;
  void tellend() override;
  std::string_view value(int field) override;
  std::string sample(int field, int record) override;
  int count(const CountProgress& progress) override;

 private:
  // Passes over the header and what lies before it in the slot just
  // rewound; `crlf` is set to how the file's lines end.
  void skiphead(TextFileSlot& slot, bool& crlf);
  // True when `r` is a record of the source (the right field count).
  bool fits(const StandardRecord& r) const;

  StandardRecord record_;
  bool crlf_ = false;
};

}  // namespace vesper
