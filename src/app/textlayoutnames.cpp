#include "app/textlayoutnames.h"

#include "parse/text.h"

namespace vesper {

std::string separatorname(char separator) {
  return separator == '\t' ? std::string("TAB") : std::string(1, separator);
}

std::optional<char> separatorfromname(std::string_view name) {
  if (name == "\t" || uppertext(name) == "TAB") return '\t';
  if (name.size() == 1)
    for (char c : kSeparators)
      if (name[0] == c) return c;
  return std::nullopt;
}

std::optional<HeaderChoice> headerfromname(std::string_view name) {
  const std::string word = uppertext(name);
  if (word == "YES") return HeaderChoice::Yes;
  if (word == "NO") return HeaderChoice::No;
  if (word == "AUTO") return HeaderChoice::Auto;
  return std::nullopt;
}

}  // namespace vesper
