#include "app/specfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>

#include "app/textlayoutnames.h"
#include "assign/assignment.h"
#include "base/errors.h"
#include "parse/text.h"
#include "source/recordsource.h"

namespace vesper {

namespace {

constexpr long long kMinFreeSpace = 5000;
// A specification file is a few kilobytes; anything far larger is not one.
constexpr off_t kMaxSpecFileSize = 1 << 20;

// A cursor over the file's text with the runtime's text-file reading rules.
class SpecReader {
 public:
  SpecReader(std::string text, std::string name) : text_(std::move(text)), name_(std::move(name)) {}

  int readint() {
    while (pos_ < text_.size() && isblankorend(text_[pos_])) {
      if (text_[pos_] == '\n' || (text_[pos_] == '\r' && !followedbylf())) ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size() || text_[pos_] == 26)
      fail("ends early, at line " + std::to_string(line_) + " of " + std::to_string(kSpecFileLines));
    std::size_t start = pos_;
    while (pos_ < text_.size() && !isblankorend(text_[pos_])) ++pos_;
    std::string_view token(text_.data() + start, pos_ - start);
    int value = 0;
    const char* first = token.data();
    if (!token.empty() && token[0] == '+') ++first;
    auto [end, ec] = std::from_chars(first, token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size() || first == token.data() + token.size())
      fail("holds '" + std::string(token.substr(0, 40)) + "' at line " + std::to_string(line_) +
           " where a number belongs");
    return value;
  }

  // The first n characters of the rest of the line.
  std::string readtext(std::size_t n) {
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n' && text_[pos_] != 26)
      ++pos_;
    return cuttext(std::string_view(text_).substr(start, pos_ - start), n);
  }

  // What follows the line being read, from the start of the next line.
  std::string_view rest() const {
    std::size_t p = pos_;
    while (p < text_.size() && text_[p] != '\r' && text_[p] != '\n') ++p;
    if (p < text_.size() && text_[p] == '\r') ++p;
    if (p < text_.size() && text_[p] == '\n') ++p;
    return std::string_view(text_).substr(p);
  }

  // Skips to the start of the next line.
  void readln() {
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
  }

 private:
  static bool isblankorend(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  bool followedbylf() const { return pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n'; }
  [[noreturn]] void fail(const std::string& what) {
    throw IoError("The import specification file " + name_ + " is not valid: it " + what + ".");
  }
  std::string text_;
  std::string name_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// The whole file through the slot layer; false when a slot operation failed
// (its message has been shown).
bool readwhole(TextFileSlot& slot, std::string& out) {
  if (!OpenSlot(slot)) return false;
  ResetSlot(slot);
  if (slot.State != -1) return false;
  struct stat st{};
  if (::fstat(slot.fd, &st) == 0 && st.st_size > kMaxSpecFileSize)
    throw IoError("The import specification file " + slot.Name + " is not valid: it is far too large.");
  while (slot.State == -1 && slot.fill()) {
    out.append(slot.buffer.data(), slot.len);
    slot.pos = slot.len;
  }
  return slot.State == -1;
}

// The layout lines of a delimited source read other than the classic way;
// for a workbook the sheet when one was named and whether it has a header
// row (so that the sheet is read again as it was, whatever the header judge
// would say); none for any other source.
std::string layoutlines(const SourceDescription& source) {
  const TextLayout& l = source.SourceLayout;
  const SourceTraits& traits = SourceTraitsOf(source.SourceType);
  // A workbook's sheet other than the first, by name.
  std::string sheet = l.sheet.empty() ? std::string() : "SHEET=" + l.sheet + "\r\n";
  const std::string header = std::string("HEADER=") + (l.headerline > 0 ? "YES" : "NO") + "\r\n";
  if (!traits.headerchoice) return sheet;
  if (!traits.separatorchoice) return sheet + header;
  if (l.separator == ',' && l.headerline == 0 && l.quoting == Quoting::Classic) return sheet;
  return sheet + "SEPARATOR=" + separatorname(l.separator) + "\r\n" + header +
         "QUOTING=" + (l.quoting == Quoting::Standard ? "STANDARD" : "CLASSIC") + "\r\n";
}

// One KEY=VALUE line after the 422 into the choice; anything else is passed
// over.
void readlayoutline(std::string_view line, LayoutChoice& choice) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return;
  const std::string key = uppertext(trimmed(line.substr(0, eq)));
  std::string_view raw = line.substr(eq + 1);
  // A tab separator may be written as the character itself.
  const std::string value = raw == "\t" ? std::string(raw) : trimmed(raw);
  if (key == "SEPARATOR") {
    if (auto c = separatorfromname(value)) choice.separator = *c;
  } else if (key == "HEADER") {
    if (auto h = headerfromname(value)) choice.header = *h;
  } else if (key == "SHEET") {
    choice.sheet = trimmed(raw);
  } else if (key == "QUOTING") {
    const std::string word = uppertext(value);
    if (word == "STANDARD") choice.quoting = QuotingChoice::Standard;
    else if (word == "CLASSIC") choice.quoting = QuotingChoice::Classic;
    else if (word == "AUTO") choice.quoting = QuotingChoice::Auto;
  }
}

void readlayoutlines(std::string_view text, LayoutChoice& choice) {
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos) end = text.size();
    readlayoutline(text.substr(0, end), choice);
    text.remove_prefix(end);
    if (!text.empty() && text[0] == '\r') text.remove_prefix(1);
    if (!text.empty() && text[0] == '\n') text.remove_prefix(1);
  }
}

}  // namespace

void WriteSpecFile(ImportState& state, const std::string& datafolder) {
  std::string name = state.SpecFileName.empty() ? "IMPORT.IMP" : state.SpecFileName;
  // Without a data folder (a database on a server) the file's own folder is
  // the disk that must have room.
  const std::string space = datafolder.empty() ? std::filesystem::path(name).parent_path().string() : datafolder;
  if (state.disk.freespace(space) < kMinFreeSpace) {
    state.messages.plainmessage("Disk space less then 5k. IMP file will not be saved.");
    return;
  }
  TextFileSlot slot;
  slot.setup(state.messages, name, "New import specification file");
  if (!OpenSlot(slot)) return;
  RewriteSlot(slot);
  // One write for the whole file: it is complete on disk or reported failed.
  std::string text = std::to_string(state.SourceType) + "\r\n";
  for (int i = 1; i <= kMaxSourceFields; ++i) text += state.FieldAssignments[i] + "\r\n";
  for (int i = 0; i <= kMaxSourceFields; ++i) text += std::to_string(state.DateFormats[i]) + "\r\n";
  text += layoutlines(state);
  WriteSlotText(slot, text);
  CloseSlot(slot);
}

void ReadSpecFile(ImportState& state, const std::string& name,
                  const std::vector<FieldDef>& contactfields) {
  TextFileSlot slot;
  slot.setup(state.messages, name, "specification file");
  std::string text;
  if (!readwhole(slot, text)) return;
  CloseSlot(slot);
  SpecReader in(std::move(text), name);
  state.SourceType = in.readint();
  in.readln();
  for (int i = 1; i <= kMaxSourceFields; ++i) {
    state.FieldAssignments[i] = in.readtext(kAssignmentCapacity);
    in.readln();
    if (!state.FieldAssignments[i].empty()) {
      state.SourceFieldCount = i;
      markloadedentry(state, contactfields, state.FieldAssignments[i]);
    }
  }
  for (int i = 0; i <= kMaxSourceFields; ++i) {
    state.DateFormats[i] = in.readint();
    if (i < kMaxSourceFields) in.readln();
  }
  state.SourceLayoutChoice = {};
  readlayoutlines(in.rest(), state.SourceLayoutChoice);
  state.SpecLoaded = true;
}

}  // namespace vesper
