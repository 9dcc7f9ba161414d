#include "store/contactstore.h"

#include "base/errors.h"

namespace vesper {

WriterHandle ContactStore::takewriter() {
  // A second holder would be a second thread storing rows on one connection.
  if (writerout_) throw EngineError("The contact table is being written by another part of the import.");
  writerout_ = true;
  return WriterHandle(*this, rowwriter());
}

}  // namespace vesper
