#include "source/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
constexpr std::size_t kReadBuffer = 64 * 1024;
constexpr char kCtrlZ = 26;

void report(TextFileSlot& slot, const std::string& text) {
  if (slot.messages) errorbox(*slot.messages, text);
}

// write() the whole text, retrying after partial writes and interrupts.
bool writeall(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

LineBuffer::LineBuffer() { std::memset(text, ' ', sizeof text); }

TextFileSlot::~TextFileSlot() { closefile(); }

void TextFileSlot::closefile() {
  if (fd >= 0) ::close(fd);
  fd = -1;
  writing = false;
  pos = len = 0;
  exhausted = false;
}

void TextFileSlot::setup(Messages& m, const std::string& name, const std::string& caption) {
  closefile();
  messages = &m;
  Name = name;
  Caption = caption;
  State = 0;
  fault.clear();
}

bool TextFileSlot::fill() {
  if (exhausted || fd < 0 || writing) return false;
  if (rawbuffer.size() != kReadBuffer) rawbuffer.resize(kReadBuffer);
  for (;;) {
    ssize_t n = ::read(fd, rawbuffer.data(), rawbuffer.size());
    if (n < 0 && errno == EINTR) continue;
    buffer.clear();
    pos = 0;
    if (n <= 0) {
      if (n < 0) {
        State = 1;
        fault = std::strerror(errno);
        report(*this, "unable to read the " + Caption + " called " + Name);
      } else {
        decoder.decode({}, buffer, true);  // a character cut off by the end
      }
      len = buffer.size();
      if (len > 0 && n == 0) {
        exhausted = true;
        return true;
      }
      exhausted = true;
      len = 0;
      return false;
    }
    const std::string_view bytes(rawbuffer.data(), static_cast<std::size_t>(n));
    if (undecided) {
      const std::size_t at = firstnonascii(bytes);
      if (at < bytes.size()) {  // everything before was ASCII: decide from here on
        encoding = detectencodingfrom(fd, readoffset + static_cast<long long>(at));
        decoder.reset(encoding);
        undecided = false;
        std::copy(openfile, openfile + 4, known);
      }
    }
    readoffset += n;
    decoder.decode(bytes, buffer);
    len = buffer.size();
    if (len > 0) return true;
  }
}

bool OpenSlot(TextFileSlot& slot) {
  if (slot.State != 0) return true;
  // Binding the name: the name must at least be usable as a path.
  if (slot.Name.empty() || slot.Name.find('\0') != std::string::npos) {
    slot.State = 2;
    slot.fault = "the name is not a usable file name";
    report(slot, "Unable to open the " + slot.Caption + " called " + slot.Name);
    return false;
  }
  slot.State = -1;
  return true;
}

void CloseSlot(TextFileSlot& slot) {
  if (slot.State != -1) return;
  bool ok = true;
  if (slot.fd >= 0) ok = ::close(slot.fd) == 0;
  slot.fd = -1;
  slot.closefile();
  if (!ok) {
    slot.State = 1;
    report(slot, "unable to close the " + slot.Caption + " called " + slot.Name);
    return;
  }
  slot.State = 0;
}

bool ResetSlot(TextFileSlot& slot) {
  if (slot.State == 0) {
    report(slot, "attempting to reset the " + slot.Caption + " while it is closed");
    return false;
  }
  if (slot.State != -1) return true;
  slot.closefile();
  int fd = ::open(slot.Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    slot.State = 1;
    report(slot, "unable to reset the " + slot.Caption + " called " + slot.Name);
    return true;
  }
  slot.fd = fd;
  // Decide the encoding (once per file) and skip a byte-order mark.
  struct stat st{};
  unsigned long long id[4] = {0, 0, 0, 0};
  if (::fstat(fd, &st) == 0)
    id[0] = st.st_dev, id[1] = st.st_ino, id[2] = static_cast<unsigned long long>(st.st_size),
    id[3] = static_cast<unsigned long long>(st.st_ctim.tv_sec) * 1000000000ull + st.st_ctim.tv_nsec;
  slot.undecided = false;
  if (!std::equal(id, id + 4, slot.known) || id[1] == 0) {
    // A byte-order mark decides at once; otherwise the first byte that is
    // not ASCII does, when fill() meets it.
    if (detectmark(fd, slot.encoding, slot.knownbom)) {
      std::copy(id, id + 4, slot.known);
    } else {
      slot.encoding = TextEncoding::Utf8;
      slot.undecided = true;
      std::copy(id, id + 4, slot.openfile);
    }
  }
  if (slot.knownbom > 0) ::lseek(fd, static_cast<off_t>(slot.knownbom), SEEK_SET);
  slot.readoffset = static_cast<long long>(slot.knownbom);
  slot.filesize = static_cast<long long>(id[2]);
  slot.decoder.reset(slot.encoding);
  return true;
}

void ReadSlotChar(TextFileSlot& slot, char& c) {
  if (slot.State == 0) {
    report(slot, "attempting to read from the " + slot.Caption + " named " + slot.Name +
                     " while not open");
    return;
  }
  if (slot.State != -1) return;
  if (slot.fd < 0 || slot.writing) {
    slot.State = 1;
    report(slot, "unable to read the " + slot.Caption + " called " + slot.Name);
    return;
  }
  if (slot.pos >= slot.len && !slot.fill()) {
    // Past the end of the file the reader sees Ctrl-Z, as a text file does.
    if (slot.State == -1) c = kCtrlZ;
    return;
  }
  c = slot.buffer[slot.pos++];
}

void WriteSlotText(TextFileSlot& slot, const std::string& text) {
  if (slot.State == 0) {
    report(slot, "attempting to write from the " + slot.Caption + " named " + slot.Name +
                     " while not open");
    return;
  }
  if (slot.State != -1) return;
  // A write that fails half-way is cut back, so the file ends after its
  // last whole text.
  const off_t before = slot.fd >= 0 && slot.writing ? ::lseek(slot.fd, 0, SEEK_CUR) : -1;
  if (slot.fd < 0 || !slot.writing || !writeall(slot.fd, text.data(), text.size())) {
    const int error = errno;
    if (before >= 0) (void)!::ftruncate(slot.fd, before);
    errno = error;
    slot.fault = slot.fd < 0 || !slot.writing ? "the file is not open for writing" : std::strerror(errno);
    slot.State = 1;
    report(slot, "unable to write the " + slot.Caption + " called " + slot.Name);
  }
}

void WriteSlotChar(TextFileSlot& slot, char c) { WriteSlotText(slot, std::string(1, c)); }
void WriteSlotInt(TextFileSlot& slot, int value) { WriteSlotText(slot, std::to_string(value) + "\r\n"); }
void WriteSlotLine(TextFileSlot& slot, const std::string& text) { WriteSlotText(slot, text + "\r\n"); }

void RewriteSlot(TextFileSlot& slot) {
  if (slot.State != -1) {
    if (slot.State == 0) throw IoError("File not open");
    return;  // a failed slot does nothing
  }
  slot.closefile();
  int fd = ::open(slot.Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw IoError(std::string(std::strerror(errno)) + ": " + slot.Name);
  slot.fd = fd;
  slot.writing = true;
}

bool SlotEof(TextFileSlot& slot) {
  if (slot.State == 0) throw IoError("File not open");
  if (slot.State != -1 || slot.fd < 0) return true;
  int c = slot.peek();
  return c < 0 || c == kCtrlZ;
}

namespace {

// Bytes below 32 in a word of eight read in memory order: the high bit of each
// such byte is set.  A byte only borrows from the bytes after it, so the
// lowest set bit always marks the first such byte (later marks may be false).
inline std::uint64_t controlbytes(std::uint64_t x) {
  constexpr std::uint64_t kSpaces = 0x2020202020202020ull, kHigh = 0x8080808080808080ull;
  return (x - kSpaces) & ~x & kHigh;
}

inline bool islineend(char d) { return d == kCtrlZ || d == '\r' || d == '\n'; }

// Copies b[p, stop) to `out` with control characters as spaces, up to the
// first CR, LF or Ctrl-Z; returns where it stopped (`stop` or that line end).
// Runs without control characters are copied eight bytes at a time.
std::size_t copyclean(const char* b, std::size_t p, std::size_t stop, char*& out) {
  while (stop - p >= 8) {
    std::uint64_t x;
    std::memcpy(&x, b + p, 8);
    const std::uint64_t marks = controlbytes(x);
    std::memcpy(out, &x, 8);  // room for all eight: `out` runs in step with p
    if (marks == 0) {
      out += 8;
      p += 8;
      continue;
    }
    const std::size_t k = static_cast<std::size_t>(std::countr_zero(marks)) / 8;
    if (islineend(b[p + k])) {
      out += k;
      std::memset(out, ' ', 8 - k);  // what the word put past the line's end
      return p + k;
    }
    out[k] = ' ';
    out += k + 1;
    p += k + 1;
  }
  for (; p < stop; ++p) {
    const char d = b[p];
    if (static_cast<unsigned char>(d) < 32) {
      if (islineend(d)) break;
      *out++ = ' ';
    } else {
      *out++ = d;
    }
  }
  return p;
}

void readline(TextFileSlot& slot, LineBuffer& line) {
  line.count = 0;
  line.raw.clear();
  line.lineendinfront = 0;
  bool frontend = true;  // still inside the previous line's end
  char prev = 0;
  for (;;) {
    char c = ' ';
    if (slot.State == -1 && slot.fd >= 0 && !slot.writing && slot.pos < slot.len) {
      c = slot.buffer[slot.pos++];  // what ReadSlotChar does with a byte read ahead
    } else {
      ReadSlotChar(slot, c);
      if (slot.State != -1) {  // the read failed: the line ends here
        if (line.count == 0) line.text[line.count++] = ' ';
        return;
      }
    }
    if (frontend && (c == '\r' || (c == '\n' && (line.count == 0 || prev == '\r')))) {
      ++line.lineendinfront;
    } else {
      frontend = false;
    }
    line.raw += c;
    line.text[line.count++] = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    int next = slot.peek();
    bool endofline = next < 0 || next == kCtrlZ || next == '\r' || (next == '\n' && c != '\r');
    if (endofline || line.count >= kLineCapacity) return;
    prev = c;
    if (frontend || slot.writing || slot.fd < 0) continue;
    // The rest of the line straight from the read-ahead buffer, as long as the
    // character after the one taken is there to tell whether the line ends.
    // The character at `from` is no line end (the peek above said so), and
    // none taken after it is a CR, so the line ends at the first CR, LF or
    // Ctrl-Z after `from`; it is looked for only among control characters.
    const char* b = slot.buffer.data();
    const std::size_t from = slot.pos, last = slot.len - 1;
    const std::size_t stop = std::min(last, from + static_cast<std::size_t>(kLineCapacity - line.count));
    char* out = line.text + line.count;
    std::size_t p = from;
    bool ended = false;
    if (p < stop) {
      const char first = b[p++];
      *out++ = static_cast<unsigned char>(first) < 32 ? ' ' : first;
      p = copyclean(b, p, stop, out);
      ended = p < stop || islineend(b[p]);
    }
    line.count = static_cast<int>(out - line.text);
    line.raw.append(b + from, p - from);
    slot.pos = p;
    if (ended || line.count >= kLineCapacity) return;
  }
}

}  // namespace

void ReadSourceLine(TextFileSlot& slot, LineBuffer& line) {
  // Positions the previous contents may hold: what the last read wrote, or up
  // to one past the count another writer left (a joined record writes that
  // far).  Only those are blanked again, not the whole buffer.
  const int used = std::min(kLineCapacity + 1, std::max(line.used, line.count + 1));
  readline(slot, line);
  if (line.count < used) std::memset(line.text + line.count, ' ', static_cast<std::size_t>(used - line.count));
  line.used = line.count;
}

std::string CleanValue(std::string_view text) { return std::string(CleanView(text)); }

}  // namespace vesper
