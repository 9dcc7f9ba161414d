#include "store/rowbuilder.h"

#include <bit>
#include <cstring>

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

void RowBuilder::attach(const std::vector<FieldDef>* fields, int key, const std::string* file) {
  setfields(fields, key);
  file_ = file;
  mode_ = None;
  changed_ = false;
  pending_.clear();
  valuedbits_.clear();
  written_.clear();
}

const std::string& RowBuilder::file() const {
  static const std::string none;
  return file_ ? *file_ : none;
}

void RowBuilder::newrow() {
  checked(0);
  mode_ = Inserting;
  const std::size_t n = static_cast<std::size_t>(fieldcount()), words = (n + 63) / 64;
  if (pending_.size() == n && valuedbits_.size() == words) {
    // Only the cells holding a value need emptying; each keeps its text
    // storage for the next row.
    for (std::size_t w = 0; w < words; ++w) {
      for (std::uint64_t bits = valuedbits_[w]; bits; bits &= bits - 1) {
        Cell& c = pending_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
        c.kind = Cell::Null;
        c.integer = 0;
        c.real = 0;
        c.text.clear();
      }
      valuedbits_[w] = 0;
    }
  } else {
    pending_.assign(n, Cell());
    valuedbits_.assign(words, 0);
  }
  written_.assign(n, false);
  changed_ = false;
}

void RowBuilder::editrow(const std::vector<Cell>& current) {
  pending_ = current;
  valuedbits_.assign((pending_.size() + 63) / 64, 0);
  for (std::size_t i = 0; i < pending_.size(); ++i)
    if (pending_[i].kind != Cell::Null) valuedbits_[i / 64] |= std::uint64_t{1} << (i % 64);
  written_.assign(pending_.size(), false);
  changed_ = false;
  mode_ = Editing;
}

void RowBuilder::drop() {
  mode_ = None;
  changed_ = false;
}

std::string RowBuilder::astext(int p) const { const Cell& c = cell(p); return celltext(fielddef(p), c); }
long long RowBuilder::asinteger(int p) const { const Cell& c = cell(p); return cellinteger(fielddef(p), c); }
double RowBuilder::asdouble(int p) const { const Cell& c = cell(p); return celldouble(fielddef(p), c); }
bool RowBuilder::asbool(int p) const { const Cell& c = cell(p); return cellbool(fielddef(p), c); }
double RowBuilder::asdatetime(int p) const { const Cell& c = cell(p); return celldatetime(fielddef(p), c); }

void RowBuilder::textinto(int p, std::string& out) const { celltextinto(fielddef(p), cell(p), out); }

std::string_view RowBuilder::textview(int p, std::string& scratch) const {
  return celltextview(fielddef(p), cell(p), scratch);
}

void RowBuilder::write(int position, Cell value) {
  if (mode_ == None) throw EngineError("Table " + file() + " is not in edit or insert mode.");
  const std::uint64_t bit = std::uint64_t{1} << (position % 64);
  if (value.kind == Cell::Null) valuedbits_[position / 64] &= ~bit;
  else valuedbits_[position / 64] |= bit;
  pending_[position] = std::move(value);
  written_[position] = true;
  changed_ = true;
}

void RowBuilder::settext(int p, std::string_view v) {
  const FieldDef& def = checked(p);
  // A text that fits its text field is copied into the pending cell's own
  // storage; anything else goes through the general conversion.
  bool fits = def.type == FieldType::Memo ||
              (def.type == FieldType::Alpha && (def.size <= 0 || v.size() <= static_cast<std::size_t>(def.size)));
  if (mode_ != None && v.empty()) {
    // An empty text empties the cell in every type; its storage is kept.
    Cell& c = pending_[p];
    c.kind = Cell::Null;
    c.integer = 0;
    c.real = 0;
    c.text.clear();
    valuedbits_[p / 64] &= ~(std::uint64_t{1} << (p % 64));
    written_[p] = true;
    changed_ = true;
    return;
  }
  if (mode_ == None || !fits) {
    write(p, textcell(def, v));
    return;
  }
  putpending(p, v.data(), v.size());
}

void RowBuilder::putpending(int p, const char* text, std::size_t size) {
  Cell& c = pending_[p];
  c.kind = Cell::Text;
  // Emptied and appended to rather than assigned: the text never lies in
  // the cell, and appending skips assign's overlap checks.
  c.text.clear();
  c.text.append(text, size);
  valuedbits_[p / 64] |= std::uint64_t{1} << (p % 64);
  written_[p] = true;
  changed_ = true;
}

void RowBuilder::setinteger(int p, long long v) { write(p, integercell(checked(p), v)); }
void RowBuilder::setdouble(int p, double v) { write(p, doublecell(checked(p), v)); }
void RowBuilder::setbool(int p, bool v) { write(p, boolcell(checked(p), v)); }
void RowBuilder::setdatetime(int p, double v) {
  const FieldDef& def = checked(p);
  // A date or time field of the pending row gets its text written straight
  // into its cell; anything else goes through the general conversion.
  char text[kDateTimeTextMax];
  const std::size_t n = mode_ != None ? datetimetextinto(def.type, v, text) : 0;
  if (n == 0) {
    write(p, datetimecell(def, v));
    return;
  }
  putpending(p, text, n);
}
void RowBuilder::clear(int p) { checked(p); write(p, Cell()); }

namespace {
std::size_t packedvalue(const Cell& c) {
  return 1 + (c.kind == Cell::Text || c.kind == Cell::Blob ? 4 + c.text.size() : 8);
}
}  // namespace

std::size_t RowBuilder::packedsize() const {
  checked(0);
  if (mode_ != Inserting) throw EngineError("Table " + file() + " is not in insert mode.");
  std::size_t n = valuedbits_.size() * 8;
  for (std::size_t w = 0; w < valuedbits_.size(); ++w)
    for (std::uint64_t bits = valuedbits_[w]; bits; bits &= bits - 1)
      n += packedvalue(pending_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))]);
  return n;
}

long long RowBuilder::packrow(char* out) {
  checked(0);
  if (mode_ != Inserting) throw EngineError("Table " + file() + " is not in insert mode.");
  const std::size_t words = valuedbits_.size();
  std::memcpy(out, valuedbits_.data(), words * 8);
  char* p = out + words * 8;
  long long bytes = 0;
  for (std::size_t w = 0; w < words; ++w) {
    for (std::uint64_t bits = valuedbits_[w]; bits; bits &= bits - 1) {
      const Cell& c = pending_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
      *p++ = static_cast<char>(c.kind);
      if (c.kind == Cell::Text || c.kind == Cell::Blob) {
        const std::uint32_t len = static_cast<std::uint32_t>(c.text.size());
        std::memcpy(p, &len, 4);
        copyshort(p + 4, c.text.data(), len);
        p += 4 + len;
        bytes += len;
      } else {
        std::memcpy(p, c.kind == Cell::Integer ? static_cast<const void*>(&c.integer) : &c.real, 8);
        p += 8;
        bytes += 8;
      }
    }
  }
  mode_ = None;
  changed_ = false;
  return bytes;
}

}  // namespace vesper
