#include "app/chooser.h"

#include "base/errors.h"
#include "parse/text.h"
#include "store/table.h"

namespace vesper {

std::string chooserline(const std::string& db, const std::string& description) {
  std::string name = db;
  if (textlength(name) < 9) name.append(9 - textlength(name), ' ');
  return name + "\t" + description;
}

void DatabaseChooser::FormShow() {
  lines_.clear();
  names_.clear();
  result_ = Result::Open;
  try {
    Table t;
    t.open(dataFolder_, "DATABASE.DB");
    int db = t.fieldIndex("DB");
    int description = t.fieldIndex("Description");
    for (t.first(); !t.atEnd(); t.next()) {
      lines_.push_back(chooserline(t.asText(db), t.asText(description)));
      names_.push_back(t.asText(db));
    }
  } catch (const EngineError& e) {
    state_.messages.errorMessage(e.what());
  }
  if (lines_.empty()) {
    errorbox(state_.messages,
             "No databases could be found.  Exit import and create a database using Pennant.");
    result_ = Result::Cancel;
  }
}

std::string DatabaseChooser::nameof(int selected) const {
  if (selected < 0 || selected >= static_cast<int>(lines_.size())) return {};
  const std::string& line = lines_[selected];
  return cuttext(trimright(line.substr(0, line.find('\t'))), 20);
}

void DatabaseChooser::OKBtnClick(int selected) {
  state_.DatabaseName = nameof(selected);
  result_ = Result::Ok;
}

}  // namespace vesper
