// The row being built for a table: one cell per field, written value by
// value, then stored or packed into bytes for another thread to store.
//
// Contract:
// - A row builder belongs to the thread that builds rows (the one reading the
//   source); it touches no connection, so it may build the next row while a
//   RowWriter stores earlier ones on a thread of its own.
// - newrow() starts a new row, empty in every field; a table's edit() puts
//   its current row here.  setX() write into the pending row (EngineError
//   when none is pending, after the value's own conversion); reads see the
//   pending row, or an empty cell when none is pending.  drop() ends the
//   pending row (stored or not).
// - Cells keep their text storage from row to row, so building a row of
//   texts that fit needs no allocation.
// - packrow() packs a pending new row for RowWriter::insert(): the value bits
//   (64 fields a word), then for each field holding a value, in table order,
//   its kind (one byte) and its value (8 bytes for an integer or a real, a
//   4-byte length and the bytes for a text or blob).  packedsize() is the
//   number of bytes packrow() writes; packrow() ends the pending row without
//   storing it and returns the bytes of its values, as bytesstored counts
//   them.  Both fail with EngineError when no new row is pending.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/fieldtypes.h"
#include "store/tablefields.h"

namespace vesper {

// Packed rows as packrow() writes them.
struct PackedRow {
  const char* data;
  std::size_t size;
};

// Written by one thread for every row while another stores: a cache line of
// its own.
class alignas(64) RowBuilder : public TableFields {
 public:
  void newrow();
  bool ispending() const { return mode_ != None; }
  bool isnew() const { return mode_ == Inserting; }
  bool changed() const { return mode_ != None && changed_; }  // a field was written since the row began
  void drop();

  // Values of the pending row by position.
  const Cell& cell(int position) const {
    checked(position);
    return mode_ != None ? pending_[static_cast<std::size_t>(position)] : empty_;
  }
  bool isnull(int position) const { return cell(position).kind == Cell::Null; }
  std::string astext(int position) const;
  long long asinteger(int position) const;
  double asdouble(int position) const;
  bool asbool(int position) const;
  double asdatetime(int position) const;  // day count + fraction of a day
  void textinto(int position, std::string& out) const;  // astext into `out`, reusing its storage
  // astext without a copy: a text or blob cell is seen where it lies (valid
  // until that cell is written or the row changes); any other cell is
  // converted into `scratch`, which the view then shows.
  std::string_view textview(int position, std::string& scratch) const;

  void settext(int position, std::string_view value);
  void setinteger(int position, long long value);
  void setdouble(int position, double value);
  void setbool(int position, bool value);
  void setdatetime(int position, double value);  // date part for a date field, time part for a time field
  void clear(int position);

  std::size_t packedsize() const;
  long long packrow(char* out);

  // The cells of the pending row, which of them hold a value (a bit per
  // field) and which were written, for the table that stores it.
  const std::vector<Cell>& cells() const { return pending_; }
  const std::vector<std::uint64_t>& valued() const { return valuedbits_; }
  const std::vector<bool>& written() const { return written_; }

 private:
  friend class Table;
  // The table's side: its fields and name when it opens (nullptr when it
  // closes), and the row it edits.
  void attach(const std::vector<FieldDef>* fields, int key, const std::string* file);
  void editrow(const std::vector<Cell>& current);

  enum Mode { None, Inserting, Editing };
  void write(int position, Cell value);
  // Puts a text value into the pending row's cell in its own storage (no
  // Cell made and moved); only with a row pending and `text` not empty.
  void putpending(int position, const char* text, std::size_t size);
  const std::string& file() const;

  Mode mode_ = None;
  bool changed_ = false;
  std::vector<Cell> pending_;
  std::vector<std::uint64_t> valuedbits_;  // the pending cells holding a value, 64 a word
  std::vector<bool> written_;
  const std::string* file_ = nullptr;
  const Cell empty_{};
};

}  // namespace vesper
