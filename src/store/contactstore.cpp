#include "store/contactstore.h"

#include "base/errors.h"

namespace vesper {

WriterHandle ContactStore::takewriter() {
  // A second holder would be a second thread storing rows on one connection.
  if (writerOut_) throw EngineError("The contact table is being written by another part of the import.");
  writerOut_ = true;
  return WriterHandle(*this, rowwriter());
}

}  // namespace vesper
