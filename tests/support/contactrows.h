// Reading back what an import stored in the contact table.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
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

// The columns whose name is stored in the field the column is assigned to, as
// "Field=name": what a header line imported as a contact leaves.  `assigned`
// maps a column name to its field; combined fields ("x...") and dates
// ("Date1/2") are passed over.
inline std::vector<std::string> columnnamesstored(const std::filesystem::path& datafolder,
                                                  const std::vector<std::string>& names,
                                                  const std::map<std::string, std::string>& assigned) {
  std::vector<std::string> out;
  for (const std::string& name : names) {
    auto it = assigned.find(name);
    if (it == assigned.end() || it->second[0] == 'x' || it->second.find('/') != std::string::npos) continue;
    auto column = sortedcolumn(datafolder, it->second);
    if (std::binary_search(column.begin(), column.end(), name)) out.push_back(it->second + "=" + name);
  }
  return out;
}

// Every contact of CONTACT.DB in `datafolder` as its values of `fields`
// joined by "|", in any order; `last`, when given, adds one more piece made
// from the row.
inline std::multiset<std::string> contactrows(const std::filesystem::path& datafolder,
                                              const std::vector<std::string>& fields,
                                              const std::function<std::string(Table&)>& last = {}) {
  Table t;
  t.open(datafolder.string(), "CONTACT.DB");
  std::multiset<std::string> out;
  for (t.first(); !t.atend(); t.next()) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) row += (i ? "|" : "") + t.field(fields[i]).astext();
    if (last) row += "|" + last(t);
    out.insert(row);
  }
  return out;
}

}  // namespace vesper::testing
