#include "store/tablefields.h"

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

void TableFields::setfields(const std::vector<FieldDef>* fields, int key) {
  fields_ = fields;
  open_ = fields ? fields->data() : nullptr;
  count_ = fields ? static_cast<unsigned>(fields->size()) : 0;
  key_ = fields ? key : -1;
}

const std::vector<FieldDef>& TableFields::none() {
  static const std::vector<FieldDef> empty;
  return empty;
}

const FieldDef& TableFields::uncheckedfield(int position) const {
  if (!fields_) throw EngineError("Cannot perform this operation on a closed table.");
  throw EngineError("Field number " + std::to_string(position) + " is out of range.");
}

int TableFields::findfield(std::string_view name) const {
  for (unsigned i = 0; i < count_; ++i)
    if (sametext(open_[i].name, name)) return static_cast<int>(i);
  return -1;
}

int TableFields::fieldindex(std::string_view name) const {
  int i = findfield(name);
  if (i < 0) throw EngineError("Field '" + std::string(name) + "' not found.");
  return i;
}

}  // namespace vesper
