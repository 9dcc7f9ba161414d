#include "store/sqlid.h"

namespace vesper {

std::string quoteid(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace vesper
