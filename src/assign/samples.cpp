#include "assign/samples.h"

#include "source/delimited.h"
#include "source/lineperfield.h"

namespace vesper {

std::string SourceSamples::sample(int field, int record) {
  switch (state_.SourceType) {
    case kLinePerField: return PeekSourceLine(state_, field, record);
    case kDelimited: return PeekDelimitedField(state_, field, record);
    default: return GetTableField(table_, field - 1, record);
  }
}

}  // namespace vesper
