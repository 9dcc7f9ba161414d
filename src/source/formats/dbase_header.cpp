// The header and field descriptors of a dBASE table: which layout the version
// byte names, the fields with their offsets and readings, the Visual FoxPro
// null-flag bits, where the records start and how many the file really holds.
#include <string_view>

#include "parse/text.h"
#include "source/formats/dbase_internal.h"

namespace vesper::dbase {

namespace {

constexpr std::uint64_t kLevel2HeaderSize = 521;

unsigned byteat(std::string_view b, std::size_t at) {
  return at < b.size() ? static_cast<unsigned char>(b[at]) : 0u;
}
std::uint32_t le16(std::string_view b, std::size_t at) {
  return byteat(b, at) | (byteat(b, at + 1) << 8);
}
std::uint32_t le32(std::string_view b, std::size_t at) {
  return le16(b, at) | (le16(b, at + 2) << 16);
}

std::string hex(int v) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[(v >> 4) & 15] + digits[v & 15];
}

Layout layoutof(int version, const std::string& path) {
  if (version == 0x02) return Layout::Level2;
  if (version == 0x30 || version == 0x31 || version == 0x32) return Layout::Visual;
  switch (version & 0x07) {
    case 3: case 5: return Layout::Standard;  // dBASE III, IV, 5, FoxPro 2
    case 4: return Layout::Level7;
    default: refuse(path, "it is not a dBASE table (version byte " + hex(version) + ")");
  }
}

void classify(Field& f, Layout layout) {
  const bool visual = layout == Layout::Visual;
  const bool level7 = layout == Layout::Level7;
  using R = Reading;
  using T = TableColumnType;
  auto set = [&](R r, T t) { f.reading = r; f.columntype = t; };
  switch (f.type) {
    case 'C': set(R::Text, T::String); break;
    case 'V': set(visual ? R::VarText : R::Text, T::String); break;
    case 'Q': set(R::VarBytes, T::Bytes); break;
    case 'N': case 'F': set(R::Number, T::Float); break;
    case 'D': set(R::Date, T::Date); break;
    case 'T': set(R::JulianStamp, T::DateTime); break;
    case '@': set(level7 ? R::Level7Stamp : R::JulianStamp, T::DateTime); break;
    case 'L': set(R::Logical, T::Logical); break;
    case 'M': set(R::MemoText, T::Memo); break;
    case 'G': case 'P': set(R::MemoBytes, T::Blob); break;
    // Visual FoxPro's blob is a 4-byte block number; other writers use W for
    // UTF-16 text held in the record.
    case 'W': if (f.width == 4) set(R::MemoBytes, T::Blob); else set(R::WideText, T::String); break;
    case 'B': if (visual) set(R::Double, T::Float); else set(R::MemoBytes, T::Blob); break;
    case 'I': set(level7 ? R::Level7Integer : R::Integer, T::Long); break;
    case '+': set(level7 ? R::Level7Integer : R::Integer, T::AutoInc); break;
    case 'Y': set(R::Currency, T::Currency); break;
    case 'O': set(level7 ? R::Level7Double : R::FlippedDouble, T::Float); break;
    case '0': set(R::Hidden, T::Other); break;
    default: set(R::Unread, T::Other); break;
  }
}

// The raw name bytes: up to the first NUL, without trailing blanks.
std::string rawname(std::string_view bytes) {
  return trimright(bytes.substr(0, bytes.find('\0')));
}

// Lays the fields end to end after the deletion flag.  Clipper and some
// FoxPro writers store character widths over 255 with the decimals byte as
// the high byte; that reading is used only when it, and not the plain one,
// matches the record length (a spreadsheet writer puts decimals on
// character fields of ordinary width).
void placefields(Structure& s, const std::vector<int>& highbytes, const std::string& path) {
  std::uint64_t plain = 1, extended = 1;
  for (std::size_t i = 0; i < s.fields.size(); ++i) {
    plain += s.fields[i].width;
    extended += s.fields[i].width + 256u * static_cast<unsigned>(highbytes[i]);
  }
  if (plain != s.recordlength && extended == s.recordlength && extended != plain) {
    for (std::size_t i = 0; i < s.fields.size(); ++i)
      if (highbytes[i]) {
        s.fields[i].width += 256u * static_cast<unsigned>(highbytes[i]);
        s.fields[i].decimals = 0;
      }
    plain = extended;
  }
  if (plain > s.recordlength)
    refuse(path, "its fields are " + std::to_string(plain) + " bytes long but a record holds only " +
                     std::to_string(s.recordlength));
  std::uint32_t offset = 1;
  for (Field& f : s.fields) {
    f.offset = offset;
    offset += f.width;
  }
}

// Visual FoxPro keeps one bit per varying-length field (the length is in the
// field's last byte) and one per nullable field, in field order, in the
// hidden _NullFlags field.
void assignnullbits(Structure& s) {
  for (const Field& f : s.fields)
    if (f.reading == Reading::Hidden) {
      s.nullflagsoffset = static_cast<int>(f.offset);
      s.nullflagswidth = static_cast<int>(f.width);
      break;
    }
  if (s.layout != Layout::Visual || s.nullflagsoffset < 0) return;
  const int bits = s.nullflagswidth * 8;
  int next = 0;
  for (Field& f : s.fields) {
    if (f.reading == Reading::Hidden) continue;
    if (f.reading == Reading::VarText || f.reading == Reading::VarBytes) {
      if (next < bits) f.lengthbit = next;
      ++next;
    }
    if (f.flags & 0x02) {
      if (next < bits) f.nullbit = next;
      ++next;
    }
  }
}

void readlevel2(const ByteFile& file, const std::string& path, Structure& s) {
  if (file.size() < kLevel2HeaderSize) refuse(path, "the file is shorter than its header");
  std::string h = file.read(0, kLevel2HeaderSize);
  s.recordcount = le16(h, 1);
  s.recordlength = le16(h, 6);
  std::vector<int> highbytes;
  for (std::size_t pos = 8; pos + 16 <= 8 + 32 * 16; pos += 16) {
    if (byteat(h, pos) == 0x0D || byteat(h, pos) == 0x00) break;
    Field f;
    f.name = rawname(std::string_view(h).substr(pos, 11));
    f.type = static_cast<char>(byteat(h, pos + 11));
    f.width = byteat(h, pos + 12);
    f.decimals = static_cast<int>(byteat(h, pos + 15));
    s.fields.push_back(std::move(f));
    highbytes.push_back(0);
  }
  s.datastart = kLevel2HeaderSize;
  if (s.fields.empty()) refuse(path, "the table has no fields");
  if (s.recordlength == 0) refuse(path, "the record length is zero");
  placefields(s, highbytes, path);
}

void readlater(const ByteFile& file, const std::string& path, Structure& s) {
  if (file.size() < 32) refuse(path, "the file is shorter than a table header");
  std::string h = file.read(0, 32);
  s.recordcount = le32(h, 4);
  const std::uint32_t headerlength = le16(h, 8);
  s.recordlength = le16(h, 10);
  s.languagedriver = static_cast<int>(byteat(h, 29));
  if (headerlength > file.size()) refuse(path, "the header is longer than the file");
  h = file.read(0, headerlength);

  const bool level7 = s.layout == Layout::Level7;
  const std::size_t first = level7 ? 68 : 32;
  const std::size_t size = level7 ? 48 : 32;  // bytes per field descriptor
  if (level7) s.drivername = rawname(std::string_view(h).substr(std::min<std::size_t>(32, h.size()), 32));

  std::vector<int> highbytes;
  std::size_t pos = first;
  // The descriptors end at the 0x0D terminator, or where the header ends
  // when a writer left the terminator out.
  for (; pos + size <= headerlength; pos += size) {
    if (byteat(h, pos) == 0x0D || byteat(h, pos) == 0x00) break;
    std::string_view d = std::string_view(h).substr(pos, size);
    Field f;
    f.name = rawname(d.substr(0, level7 ? 32 : 11));
    std::size_t at = level7 ? 32 : 11;
    f.type = static_cast<char>(byteat(d, at));
    f.width = byteat(d, level7 ? 33 : 16);
    f.decimals = static_cast<int>(byteat(d, level7 ? 34 : 17));
    f.flags = level7 ? 0 : static_cast<int>(byteat(d, 18));
    highbytes.push_back(f.type == 'C' && !level7 ? f.decimals : 0);
    s.fields.push_back(std::move(f));
  }
  if (s.fields.empty()) refuse(path, "the table has no fields");
  if (s.recordlength == 0) refuse(path, "the record length is zero");
  placefields(s, highbytes, path);

  s.datastart = headerlength;
}

}  // namespace

bool Structure::hasmemo() const {
  for (const Field& f : fields)
    if (f.reading == Reading::MemoText || f.reading == Reading::MemoBytes) return true;
  return false;
}

Structure readstructure(const ByteFile& file, const std::string& path) {
  if (file.size() == 0) refuse(path, "the file is empty");
  Structure s;
  s.version = static_cast<int>(byteat(file.read(0, 1), 0));
  s.layout = layoutof(s.version, path);
  if (s.layout == Layout::Level2) readlevel2(file, path, s);
  else readlater(file, path, s);

  for (Field& f : s.fields) {
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    classify(f, s.layout);
  }
  assignnullbits(s);

  // Trust the header's record count only as far as the file bears it out.
  const std::uint64_t room = s.datastart <= file.size() ? file.size() - s.datastart : 0;
  const std::uint64_t fit = room / s.recordlength;
  if (fit < s.recordcount) s.recordcount = fit;
  return s;
}

void namefields(Structure& s, const TextDecoder& decoder) {
  for (Field& f : s.fields) f.name = decoder.decode(f.name);
}

}  // namespace vesper::dbase
