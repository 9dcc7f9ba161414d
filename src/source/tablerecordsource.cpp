#include "source/tablerecordsource.h"

#include "source/sourcestate.h"

namespace vesper {

std::string TableRecordSource::openFailure(const std::string& path) const {
  if (table_.columnCount() > 0) return {};
  return "The source table " + path + " could not be read: it is damaged, encrypted or not a " +
         formatName() + " table.";
}

void TableRecordSource::rewind() {
  if (SourceTableFile* file = table_.file()) file->first();
  onNextRow_ = true;
}

bool TableRecordSource::more() {
  SourceTableFile* file = table_.file();
  if (!file) return false;
  if (!onNextRow_) {
    file->next();
    onNextRow_ = true;
    if (afterLine_) afterLine_();
  }
  return !file->atEnd();
}

bool TableRecordSource::next() {
  if (!more()) return false;
  onNextRow_ = false;
  return true;
}

std::string_view TableRecordSource::value(int field) {
  return value_ = GetTableField(table_, field - 1, 0);
}

void TableRecordSource::tellEnd() { state_.messages.errorMessage("The record is empty"); }

std::string TableRecordSource::sample(int field, int record) {
  return GetTableField(table_, field - 1, record);
}

int TableRecordSource::count(const CountProgress&) { return TableRowCount(table_); }

int DBaseSource::kind() const { return kDBase; }
int ParadoxSource::kind() const { return kParadox; }

}  // namespace vesper
