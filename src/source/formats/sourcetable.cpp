#include "source/formats/sourcetable.h"

#include "source/formats/dbase.h"
#include "source/formats/paradox.h"

namespace vesper {

std::unique_ptr<SourceTableFile> opensourcetablefile(const std::string& path, TableFormat format) {
  return format == TableFormat::DBase ? opendbasetable(path) : openparadoxtable(path);
}

}  // namespace vesper
