// A stand-in for the recognition of a header line when a delimited source
// is opened: the source is opened as usual, then its first line is taken as
// the header when the choice allows it and the judge says its cells are
// column names.  The choice in force at each opening is recorded.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/session.h"

namespace vesper::testing {

struct HeadedOpener {
  std::vector<LayoutChoice> choices;  // SourceLayoutChoice at each opening

  ImportSession::SourceOpener opener() {
    return [this](SourceState& state, const std::string& path, SourceTable& table, const HeaderJudge& judge) {
      choices.push_back(state.SourceLayoutChoice);
      OpenedSource opened = OpenRecordSource(state, path, table);
      if (opened.source->kind() != kDelimited && opened.source->kind() != kLinePerField) return opened;
      const char separator = state.SourceLayoutChoice.separator ? state.SourceLayoutChoice.separator : ',';
      std::ifstream in(path, std::ios::binary);
      std::string first;
      std::getline(in, first);
      if (!first.empty() && first.back() == '\r') first.pop_back();
      std::vector<std::string> cells;
      std::stringstream split(first);
      for (std::string cell; std::getline(split, cell, separator);) cells.push_back(cell);
      state.SourceLayout.separator = separator;
      const HeaderChoice h = state.SourceLayoutChoice.header;
      if (h == HeaderChoice::Yes || (h == HeaderChoice::Auto && judge && judge(cells))) {
        state.SourceLayout.headerLine = 1;
        state.SourceLayout.columnNames = cells;
      }
      return opened;
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
