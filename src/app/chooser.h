// The target database chooser: lists the databases of DATABASE.DB and hands
// the chosen name back in DatabaseName.
//
// Contract: `FormShow` fills the list with "%-9s\t%s" lines of DB and
// Description in the table's order; an empty catalogue shows the error box
// "No databases could be found.  Exit import and create a database using
// Pennant." and the chooser closes with Cancel.  `OKBtnClick` takes the name
// of the selected line (`nameof`: the text before the tab without the
// padding, cut to 20 characters), or empties DatabaseName when no line is
// selected.  Cancel leaves DatabaseName as it was.
#pragma once

#include <string>
#include <vector>

#include "app/importstate.h"
#include "store/dataplace.h"

namespace vesper {

std::string chooserline(const std::string& db, const std::string& description);

class DatabaseChooser {
 public:
  enum class Result { Open, Ok, Cancel };
  DatabaseChooser(ImportState& state, DataPlace place) : state_(state), place_(std::move(place)) {}

  void FormShow();
  void OKBtnClick(int selected);  // -1: no line selected
  // The database name line `selected` stands for ("" for no line).
  std::string nameof(int selected) const;
  void CancelClick() { result_ = Result::Cancel; }

  const std::vector<std::string>& lines() const { return lines_; }
  // Tab stops of the list, in dialog units.
  static constexpr int kTabStop = 60;
  Result result() const { return result_; }

 private:
  ImportState& state_;
  DataPlace place_;
  std::vector<std::string> lines_;
  std::vector<std::string> names_;
  Result result_ = Result::Open;
};

}  // namespace vesper
