// The sample values of the field assignment dialog, read from the source
// being assigned by its kind: table columns, delimited fields, or the line
// view of a line-per-field source.
#pragma once

#include "assign/assignment.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"

namespace vesper {

class SourceSamples : public SampleSource {
 public:
  SourceSamples(SourceDescription& source, SourceTable& table) : source_(source), table_(table) {}
  std::string sample(int field, int record) override;
  std::string fieldname(int field) override { return table_.columnName(field - 1); }

 private:
  SourceDescription& source_;
  SourceTable& table_;
};

}  // namespace vesper
