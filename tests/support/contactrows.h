// Reading back what an import stored in the contact table.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "store/table.h"

namespace vesper::testing {

// Every value of `field` in CONTACT.DB of `dataFolder`, sorted.
inline std::vector<std::string> sortedcolumn(const std::filesystem::path& dataFolder, const std::string& field) {
  Table t;
  t.open(dataFolder.string(), "contact.db");
  std::vector<std::string> out;
  int p = t.fieldIndex(field);
  for (t.first(); !t.atEnd(); t.next()) out.push_back(t.asText(p));
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vesper::testing
