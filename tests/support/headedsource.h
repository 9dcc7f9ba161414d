// The program's opening of a source, with the layout choice in force at each
// opening recorded.
#pragma once

#include <string>
#include <vector>

#include "app/session.h"

namespace vesper::testing {

struct HeadedOpener {
  std::vector<LayoutChoice> choices;  // SourceLayoutChoice at each opening

  ImportSession::SourceOpener opener() {
    return [this](SourceState& state, const std::string& path, SourceTable& table, const HeaderJudge& judge) {
      choices.push_back(state.SourceLayoutChoice);
      return OpenRecordSource(state, path, table, judge);
    };
  }
};

// Column names are words of this list.
inline HeaderJudge wordjudge(std::vector<std::string> words) {
  return [words](const std::vector<std::string>& cells) {
    for (const std::string& c : cells) {
      bool known = false;
      for (const std::string& w : words) known = known || c == w;
      if (!known) return false;
    }
    return !cells.empty();
  };
}

}  // namespace vesper::testing
