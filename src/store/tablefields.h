// The fields of an open table, by position and by name.
//
// Contract: the list is fixed while the table is open, so any thread may read
// it.  Lookup by name ignores letter case; fieldindex() fails with
// EngineError "Field 'X' not found.".  Asking for a field by position fails
// with EngineError while the table is closed ("Cannot perform this operation
// on a closed table.") or when the position is out of range.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/fieldtypes.h"

namespace vesper {

class TableFields {
 public:
  int fieldcount() const { return static_cast<int>(count_); }
  const std::vector<FieldDef>& fields() const { return fields_ ? *fields_ : none(); }
  const FieldDef& fielddef(int position) const { return checked(position); }
  const std::string& fieldname(int position) const { return checked(position).name; }
  FieldType fieldtype(int position) const { return checked(position).type; }
  int findfield(std::string_view name) const;   // letter case ignored; -1 when missing
  int fieldindex(std::string_view name) const;  // as findfield, EngineError when missing
  int keyfield() const { return key_; }         // position of the key field, -1 without key

 protected:
  // The fields of the table just opened (`fields` outlives the opening), or
  // nullptr when it is closed.
  void setfields(const std::vector<FieldDef>* fields, int key);
  bool hasfields() const { return fields_ != nullptr; }
  // The field at `position`, with the check every field access makes.
  const FieldDef& checked(int position) const {
    if (static_cast<unsigned>(position) < count_) return open_[position];
    return uncheckedfield(position);
  }

 private:
  static const std::vector<FieldDef>& none();
  [[noreturn]] const FieldDef& uncheckedfield(int position) const;  // fails: closed, or out of range

  const std::vector<FieldDef>* fields_ = nullptr;
  const FieldDef* open_ = nullptr;
  unsigned count_ = 0;
  int key_ = -1;
};

}  // namespace vesper
