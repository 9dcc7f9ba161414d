// The sample values of the field assignment dialog, read from the source
// being assigned by its kind: table columns, delimited fields, or the line
// view of a line-per-field source.
#pragma once

#include "app/importstate.h"
#include "assign/assignment.h"
#include "source/tablesource.h"

namespace vesper {

class SourceSamples : public SampleSource {
 public:
  SourceSamples(ImportState& state, SourceTable& table) : state_(state), table_(table) {}
  std::string sample(int field, int record) override;
  std::string fieldname(int field) override { return table_.columnName(field - 1); }

 private:
  ImportState& state_;
  SourceTable& table_;
};

}  // namespace vesper
