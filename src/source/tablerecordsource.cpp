#include "source/tablerecordsource.h"

#include "source/sourcestate.h"

namespace vesper {

std::string TableRecordSource::openfailure(const std::string& path) const {
  if (table_.columncount() > 0) return {};
  return "The source table " + path + " could not be read: it is damaged, encrypted or not a " +
         formatname() + " table.";
}

void TableRecordSource::rewind() {
  if (SourceTableFile* file = table_.file()) file->first();
  onnextrow_ = true;
  read_ = 0;
  toldfault_ = false;
}

ReadProgress TableRecordSource::readprogress() const {
  return {read_, TableRowCount(table_)};
}

bool TableRecordSource::more() {
  SourceTableFile* file = table_.file();
  if (!file) return false;
  if (!onnextrow_) {
    file->next();
    onnextrow_ = true;
    if (afterline_) afterline_();
  }
  if (!file->atend()) return true;
  if (!toldfault_ && !file->readfault().empty()) {
    toldfault_ = true;
    errorbox(state_.messages, "unable to read the Source file called " + state_.SourceFile.Name);
  }
  return false;
}

bool TableRecordSource::readfailed() const {
  const SourceTableFile* file = table_.file();
  return file && !file->readfault().empty();
}

bool TableRecordSource::next() {
  if (!more()) return false;
  onnextrow_ = false;
  ++read_;
  return true;
}

std::string_view TableRecordSource::value(int field) {
  return value_ = GetTableField(table_, field - 1, 0);
}

void TableRecordSource::tellend() { state_.messages.errormessage("The record is empty"); }

std::string TableRecordSource::sample(int field, int record) {
  return GetTableField(table_, field - 1, record);
}

int TableRecordSource::count(const CountProgress&) { return TableRowCount(table_); }

int DBaseSource::kind() const { return kDBase; }
int ParadoxSource::kind() const { return kParadox; }

}  // namespace vesper
