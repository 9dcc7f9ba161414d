#include "assign/samples.h"

#include "source/delimited.h"
#include "source/lineperfield.h"

namespace vesper {

std::string SourceSamples::sample(int field, int record) {
  switch (source_.SourceType) {
    case kLinePerField: return PeekSourceLine(source_, field, record);
    case kDelimited: return PeekDelimitedField(source_, field, record);
    default: return GetTableField(table_, field - 1, record);
  }
}

}  // namespace vesper
