// The sample values of the field assignment dialog, read from the source
// being assigned.
#pragma once

#include "assign/assignment.h"
#include "source/recordsource.h"

namespace vesper {

class SourceSamples : public SampleSource {
 public:
  explicit SourceSamples(RecordSource& source) : source_(source) {}
  std::string sample(int field, int record) override { return source_.sample(field, record); }
  std::string fieldname(int field) override { return source_.fieldname(field); }

 private:
  RecordSource& source_;
};

}  // namespace vesper
