// Text-file slots: every plain-text file of the importer (the source text
// file, BAD.CSV, the import specification file) goes through these.
//
// Contract: a slot pairs a file with a caption for messages and a state
// (0 closed, -1 open, 1 an operation failed, 2 binding the name failed).  A
// failed operation shows its message with errorbox and never throws; later
// operations on a failed slot do nothing.  Creating a file for writing
// (`RewriteSlot`) and the end-of-line / end-of-file tests are not slot
// operations: they throw IoError with the runtime's text.
//
// Paths are kept whole (they are not cut to 64 characters: a cut path would
// name another file on this platform).
//
// Reading is buffered (one system call per 64 KiB); every write goes to the
// operating system at once, so a written file is complete on disk after each
// call.  Line ends written are CR LF.
//
// A file read through a slot arrives as UTF-8 whatever its encoding (see
// textdecode.h): a byte-order mark decides it when the slot is reset, and is
// skipped; without one the decision waits for the first byte that is not
// ASCII (ASCII reads the same in every encoding), and is then made for the
// whole file from there on, so a file of plain ASCII is never read twice.
// The decision is kept while the file stays the same.  UTF-16 and
// Windows-1252 text is converted as it is read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/seams.h"
#include "parse/text.h"
#include "source/textdecode.h"

namespace vesper {

struct TextFileSlot {
  std::string Name;
  std::string Caption;
  int State = 0;
  // Why the slot failed, in the system's words ("No space left on device"),
  // once an operation failed; empty before.
  std::string fault;

  // Sets the slot up afresh: name, caption, state closed (an open file is
  // closed silently).
  void setup(Messages& messages, const std::string& name, const std::string& caption);

  TextFileSlot() = default;
  TextFileSlot(const TextFileSlot&) = delete;
  TextFileSlot& operator=(const TextFileSlot&) = delete;
  ~TextFileSlot();

  // --- the operating-system file, used by the operations below ---
  Messages* messages = nullptr;
  int fd = -1;
  bool writing = false;
  std::string buffer;        // decoded text read ahead (UTF-8)
  std::vector<char> rawbuffer;  // bytes as read, allocated once
  TextEncoding encoding = TextEncoding::Utf8;
  TextDecoder decoder;
  // The file the encoding was decided for (device, inode, size, change time).
  unsigned long long known[4] = {0, 0, 0, 0};
  std::size_t knownbom = 0;  // length of its byte-order mark
  // No byte that is not ASCII read yet and no decision: the file open now
  // (its identity) and where the next read starts in it.
  bool undecided = false;
  unsigned long long openfile[4] = {0, 0, 0, 0};
  long long readoffset = 0;
  long long filesize = 0;  // the file's size when it was opened for reading
  std::size_t pos = 0, len = 0;
  bool exhausted = false;    // the file has no more bytes
  // Fills the buffer when it is empty; false at the end of the file.  A read
  // error is reported and ends the file for the reader.
  bool fill();
  // The next byte without consuming it, or -1 at the end of the file.
  int peek() { return (pos < len || fill()) ? static_cast<unsigned char>(buffer[pos]) : -1; }
  void closefile();
};

bool OpenSlot(TextFileSlot& slot);
void CloseSlot(TextFileSlot& slot);
bool ResetSlot(TextFileSlot& slot);
// Past the end of the file the character read is Ctrl-Z (26).
void ReadSlotChar(TextFileSlot& slot, char& c);
void WriteSlotChar(TextFileSlot& slot, char c);
void WriteSlotInt(TextFileSlot& slot, int value);
void WriteSlotLine(TextFileSlot& slot, const std::string& text);
// Writes the text (no line end) in one go; the same failure handling as
// WriteSlotChar.  Used where a whole line is written at once.
void WriteSlotText(TextFileSlot& slot, const std::string& text);

// Creates or empties the file of an open slot for writing (IoError on failure).
void RewriteSlot(TextFileSlot& slot);
// End-of-file test on an open slot: Ctrl-Z next, or no more bytes.
bool SlotEof(TextFileSlot& slot);

// A line buffer: 4001 positions, with the count of valid characters.  `raw`
// holds the same line's bytes exactly as the file has them (control
// characters not turned into spaces), and `lineendinfront` how many of its
// first bytes are the previous line's end (0, 1 for CR or LF, 2 for CR LF) —
// what the bad-record writer leaves out.  After ReadSourceLine every position
// from `count` on holds a space; `used` is how many it wrote, so the next
// read blanks only those again.  Whoever else writes the text must not write
// past `count`, one position after it excepted.
constexpr int kLineCapacity = 4000;
struct LineBuffer {
  char text[kLineCapacity + 1];
  int count = 0;
  std::string raw;
  int lineendinfront = 0;
  int used = 0;
  LineBuffer();
  std::string_view view() const { return std::string_view(text, static_cast<std::size_t>(count)); }
};

// Reads one line of a text source: control characters become spaces, the line
// end is left for the next call (which reads it as one or two leading spaces).
// CR LF, CR alone and LF alone each end a line; Ctrl-Z or the end of the file
// ends the file.  At most 4000 characters: a longer line arrives in pieces.
void ReadSourceLine(TextFileSlot& slot, LineBuffer& line);

// The cleaning applied to every value taken out of a line: trailing spaces
// and tabs, then leading blanks, then one leading double quote and (only
// then) one trailing double quote are removed.
std::string CleanValue(std::string_view text);
// The same cleaning as a view into `text`.
inline std::string_view CleanView(std::string_view text) {
  std::string_view v = text;
  while (!v.empty() && istrailingblank(v.back())) v.remove_suffix(1);
  while (!v.empty() && isleadingblank(v.front())) v.remove_prefix(1);
  if (!v.empty() && v.front() == '"') {
    v.remove_prefix(1);
    if (!v.empty() && v.back() == '"') v.remove_suffix(1);
  }
  return v;
}

}  // namespace vesper
