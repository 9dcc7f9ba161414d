// Read-only reader of Paradox tables (.DB, versions 3.0 to 7) and their memo
// files (.MB).
//
// Contract: `openparadoxtable` checks the header, the field descriptors and
// the whole chain of data blocks against the file's real size before it
// returns; a table that is empty of bytes, truncated, damaged, encrypted or
// not a Paradox data table is refused with an EngineError saying which.  The
// rows are delivered in block-chain order.  A memo file that is missing or
// damaged gives empty (null) values for the memos it should hold, never a
// failure.  Text is converted to UTF-8 from the table's code page (from the
// header from version 4.0 on; Windows-1252 for older tables and those that
// name none).
#pragma once

#include <memory>
#include <string>

#include "source/formats/sourcetable.h"

namespace vesper {

std::unique_ptr<SourceTableFile> openparadoxtable(const std::string& path);

}  // namespace vesper
