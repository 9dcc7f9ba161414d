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
    place_.open(t, "DATABASE.DB");
    int db = t.fieldindex("DB");
    int description = t.fieldindex("Description");
    for (t.first(); !t.atend(); t.next()) {
      lines_.push_back(chooserline(t.astext(db), t.astext(description)));
      names_.push_back(t.astext(db));
    }
  } catch (const EngineError& e) {
    state_.messages.errormessage(e.what());
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
