// Reading back what an import stored in the contact table.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "store/table.h"

namespace vesper::testing {

// Every value of `field` in CONTACT.DB of `datafolder`, sorted.
inline std::vector<std::string> sortedcolumn(const std::filesystem::path& datafolder, const std::string& field) {
  Table t;
  t.open(datafolder.string(), "contact.db");
  std::vector<std::string> out;
  int p = t.fieldindex(field);
  for (t.first(); !t.atend(); t.next()) out.push_back(t.astext(p));
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vesper::testing
