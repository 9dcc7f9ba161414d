#include "store/sourcetable.h"

#include "store/dbase.h"
#include "store/paradox.h"

namespace vesper {

std::unique_ptr<SourceTableFile> openSourceTableFile(const std::string& path, TableFormat format) {
  return format == TableFormat::DBase ? openDBaseTable(path) : openParadoxTable(path);
}

}  // namespace vesper
