#include "source/standardcsv.h"

#include "source/sourceline.h"
#include "source/sourcestate.h"

namespace vesper {

namespace {
constexpr int kCtrlZ = 26;
}

// --- one record ---

std::string_view StandardRecord::value(int field) const {
  if (field < 1 || field > fieldcount()) return {};
  const auto& s = spans[static_cast<std::size_t>(field - 1)];
  return std::string_view(text).substr(s.first, s.second);
}

bool StandardRecord::extrasempty(int count) const {
  for (int i = count; i < fieldcount(); ++i)
    if (spans[static_cast<std::size_t>(i)].second != 0) return false;
  return true;
}

bool StandardRecord::fitswidth(int count, int minfields) const {
  const int n = fieldcount();
  if (n == count) return true;
  if (n > count) return extrasempty(count);
  return minfields > 0 && n >= minfields;
}

// --- the reader ---

bool StandardRecordReader::crlffile(TextFileSlot& slot) {
  if (slot.peek() < 0) return false;
  for (std::size_t i = slot.pos; i < slot.len; ++i) {
    const char c = slot.buffer[i];
    if (c == '\n') return false;
    if (c == '\r') return i + 1 < slot.len && slot.buffer[i + 1] == '\n';
  }
  return false;
}

// The next character, or -1 at the end of the file (a Ctrl-Z ends it, and is
// left unread so that the end stays the end).
inline int StandardRecordReader::get() {
  TextFileSlot& s = slot_;
  if (s.pos >= s.len && SlotEof(s)) return -1;
  const unsigned char c = static_cast<unsigned char>(s.buffer[s.pos]);
  if (c == kCtrlZ) return -1;
  ++s.pos;
  return c;
}

inline int StandardRecordReader::peek() {
  TextFileSlot& s = slot_;
  if (s.pos >= s.len && SlotEof(s)) return -1;
  const unsigned char c = static_cast<unsigned char>(s.buffer[s.pos]);
  return c == kCtrlZ ? -1 : c;
}

bool StandardRecordReader::read(StandardRecord& r) {
  r.text.clear();
  r.spans.clear();
  r.raw.clear();
  r.bytes = 0;
  r.overlong = r.quotedbreak = r.unclosed = false;
  int c = get();
  if (c < 0) return false;

  // Per field: where its text starts, where it ends once the blanks after it
  // are dropped, whether anything but blanks was met, whether it is inside
  // quotes now and whether its quotes were closed.
  std::size_t start = 0, keep = 0;
  bool content = false, quoted = false, closed = false;
  auto take = [&](int ch) {
    if (++r.bytes > kMaxRecordBytes && !r.overlong) {
      r.overlong = true;
      r.text.clear();
      r.spans.clear();
    }
    if (r.raw.size() < kMaxKeptBytes) r.raw.push_back(static_cast<char>(ch));
  };
  auto put = [&](char ch) {
    if (!r.overlong) r.text.push_back(ch);
  };
  auto linebreak = [&] {
    put('\r');
    put('\n');
  };
  auto endfield = [&] {
    if (r.overlong) return;
    r.text.resize(keep);
    r.spans.emplace_back(start, keep - start);
    start = keep = r.text.size();
    content = closed = false;
  };

  for (; c >= 0; c = get()) {
    if (r.bytes >= limit_) {
      r.overlong = true;
      break;
    }
    if (quoted) {
      take(c);
      if (c == '"') {
        if (peek() == '"') {
          take(get());
          put('"');
        } else {
          quoted = false;
          closed = true;
          keep = r.text.size();
        }
      } else if (c == '\r' || c == '\n') {
        if (c == '\r' && peek() == '\n') take(get());
        linebreak();
        r.quotedbreak = true;
      } else {
        put(c < 32 ? ' ' : static_cast<char>(c));
      }
      continue;
    }
    if (c == '\r') {
      if (peek() == '\n') get();
      break;
    }
    if (c == '\n') {
      if (!crlf_) break;
      take(c);  // a lone LF in a file of CR LF lines: part of the value
      linebreak();
      content = true;
      keep = r.text.size();
      continue;
    }
    take(c);
    if (c == separator_) {
      endfield();
    } else if (c == '"') {
      if (!content && !closed) {
        quoted = content = true;
      } else {
        put('"');
        keep = r.text.size();
      }
    } else if (c < 32 || c == ' ') {
      if (content) put(' ');
    } else {
      put(static_cast<char>(c));
      content = true;
      keep = r.text.size();
    }
  }
  if (quoted && !r.overlong) {
    r.unclosed = true;
    keep = r.text.size();
  }
  endfield();
  return true;
}

std::string shortenfordisplay(std::string_view value, std::size_t chars) {
  std::string out;
  std::size_t n = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && ++n > chars) {
      out += "\xE2\x80\xA6";  // …
      break;
    }
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
      c = ' ';
    }
    out += c;
  }
  return out;
}

// --- the source ---

int StandardDelimitedSource::kind() const { return kDelimited; }

std::string StandardDelimitedSource::fieldname(int field) const {
  const auto& names = state_.SourceLayout.columnnames;
  if (field < 1 || field > static_cast<int>(names.size())) return {};
  return names[static_cast<std::size_t>(field - 1)];
}

void StandardDelimitedSource::skiphead(TextFileSlot& slot, bool& crlf) {
  crlf = StandardRecordReader::crlffile(slot);
  StandardRecordReader reader(slot, state_.SourceLayout.separator, crlf);
  StandardRecord passed;
  for (int i = 0; i < state_.SourceLayout.headerline; ++i)
    if (!reader.read(passed)) break;
}

void StandardDelimitedSource::rewind() {
  state_.SourceLayout.recordstoolong = 0;
  if (!RewindSourceFile(state_)) return;
  skiphead(state_.SourceFile, crlf_);
}

bool StandardDelimitedSource::more() { return !SlotEof(state_.SourceFile); }

bool StandardDelimitedSource::fits(const StandardRecord& r) const {
  if (r.overlong || r.unclosed) return false;
  return r.fitswidth(state_.SourceFieldCount, state_.SourceLayout.minfields);
}

bool StandardDelimitedSource::next() {
  StandardRecordReader reader(state_.SourceFile, state_.SourceLayout.separator, crlf_);
  while (!state_.ImportStopped && reader.read(record_)) {
    // A line with nothing on it is no record and no bad line either.
    const bool empty = record_.bytes == 0;
    if (!empty && fits(record_)) {
      if (afterline_) afterline_();
      return true;
    }
    if (!empty) {
      state_.NoBadRecords = false;
      if (record_.overlong) ++state_.SourceLayout.recordstoolong;
      if (badline_) badline_(record_.raw);
    }
    if (afterline_) afterline_();
  }
  return false;
}

std::string_view StandardDelimitedSource::value(int field) { return record_.value(field); }

void StandardDelimitedSource::tellend() { state_.messages.errormessage("The record is empty"); }

std::string StandardDelimitedSource::sample(int field, int record) {
  if (record < 1 || !RewindSourceFile(state_)) return {};
  bool crlf = false;
  skiphead(state_.SourceFile, crlf);
  StandardRecordReader reader(state_.SourceFile, state_.SourceLayout.separator, crlf);
  StandardRecord r;
  int found = 0;
  while (reader.read(r))
    if (r.bytes > 0 && fits(r) && ++found == record) return shortenfordisplay(r.value(field));
  return {};
}

// The records, read through a slot of its own so that the reading under way
// stays where it is.
int StandardDelimitedSource::count(const CountProgress& progress) {
  TextFileSlot slot;
  slot.setup(state_.messages, state_.SourceFile.Name, "Source file");
  if (!OpenSlot(slot) || !ResetSlot(slot)) return 0;
  bool crlf = false;
  skiphead(slot, crlf);
  StandardRecordReader reader(slot, state_.SourceLayout.separator, crlf);
  StandardRecord r;
  int records = 0, read = 0;
  while (!state_.CountCancelled && reader.read(r)) {
    if (r.bytes > 0 && fits(r)) ++records;
    if (++read % 10 == 0 && progress.show) progress.show(read);
    if (progress.letinputrun)
      progress.letinputrun();
    else
      state_.messages.processevents();
  }
  CloseSlot(slot);
  return records;
}

}  // namespace vesper
