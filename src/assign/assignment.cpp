#include "assign/assignment.h"

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
// The contact fields each combined field fills, and the combined-field marks
// an assignment of it sets, by digit.
struct CombinedEffect { std::vector<const char*> parts; std::vector<int> marks; };
const CombinedEffect& effectof(int digit) {
  static const CombinedEffect effects[9] = {
      {{}, {}},
      {{}, {}},
      {{"FirstName", "LastName"}, {202, 203, 206}},
      {{"FirstName", "LastName"}, {202, 203, 206}},
      {{"City", "State"}, {204, 205}},
      {{"City", "State", "Zip"}, {204, 205, 207}},
      {{}, {202, 203, 206}},
      {{}, {205, 207}},
      {{"Addr1", "Addr2"}, {208}},
  };
  return effects[digit >= 1 && digit <= 8 ? digit : 0];
}

// Marks the parts of a combined field as filled by it (2); a missing part is
// reported and passed over.
void markparts(AssignState& state, const std::vector<FieldDef>& fields, int digit) {
  for (const char* part : effectof(digit).parts) {
    int pos = fieldposition(fields, part);
    if (pos >= 0 && pos < 202)
      state.TargetFieldMarks[pos] = 2;
    else if (pos < 0)
      state.messages.plainmessage(std::string("could not find the ") + part +
                                  " field in the database");
  }
}

int digitof(const std::string& code) { return code.size() > 1 ? code[1] - '0' : 0; }
}  // namespace

int fieldposition(const std::vector<FieldDef>& fields, std::string_view name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == name) return static_cast<int>(i);
  return -1;
}

void markloadedentry(AssignState& state, const std::vector<FieldDef>& fields,
                     const std::string& entry) {
  if (!iscombinedcode(entry)) {
    // The table engine's lookup: letter case ignored.
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (sametext(fields[i].name, entry)) {
        if (i < 202) state.TargetFieldMarks[i] = 1;
        return;
      }
    }
    throw EngineError("Field '" + entry + "' not found.");
  }
  int digit = digitof(entry);
  markparts(state, fields, digit);
  static const int own[9] = {0, 0, 203, 202, 205, 204, 0, 0, 0};
  if (digit >= 1 && digit <= 8 && own[digit]) state.TargetFieldMarks[own[digit]] = 1;
}

void markassignedentry(AssignState& state, const std::vector<FieldDef>& fields,
                       const std::string& entry) {
  if (iscombinedcode(entry)) {
    int digit = digitof(entry);
    markparts(state, fields, digit);
    for (int m : effectof(digit).marks) state.TargetFieldMarks[m] = 1;
    return;
  }
  int pos = fieldposition(fields, entry);
  if (pos < 0) return;
  if (pos < 202) state.TargetFieldMarks[pos] = 1;
  // The combined fields that would fill the same contact field.
  struct Block { const char* field; std::vector<int> marks; };
  static const Block blocks[] = {
      {"FirstName", {202, 203}}, {"LastName", {202, 203}}, {"City", {204, 205}},
      {"State", {204, 205}},     {"Zip", {205}},           {"Addr1", {208}},
      {"Addr2", {208}},
  };
  for (const auto& b : blocks)
    if (entry == b.field)
      for (int m : b.marks) state.TargetFieldMarks[m] = 2;
}

FieldAssignmentModel::FieldAssignmentModel(AssignState& state, std::vector<FieldDef> fields,
                                           CatalogueLabels labels, SampleSource& samples,
                                           DateFormatAsker& dates)
    : state_(state), fields_(std::move(fields)), labels_(std::move(labels)),
      source_(samples), dates_(dates) {}

void FieldAssignmentModel::FormCreate() {
  result_ = Result::Open;
  state_.SelectedTargetIndex = -1;
  selected_ = -1;
  assignenabled_ = false;
  chosen_.clear();
  prepareascii();
}

void FieldAssignmentModel::prepareascii() {
  state_.CurrentSourceField = 1;
  loadsamples();
  loadfieldlist();
}

void FieldAssignmentModel::loadsamples() {
  samples_.clear();
  ClearEdits();
  int f = state_.CurrentSourceField;
  tablefield_ = traits().namedfields ? "(Field: " + source_.fieldname(f) + ")" : "";
  for (int r = 1; r <= kSampleRecords && samples_.size() < kSampleBoxes; ++r) {
    std::string v = source_.sample(f, r);
    if (!v.empty()) samples_.push_back(std::move(v));
    state_.messages.processevents();
  }
  SetEdits();
}

void FieldAssignmentModel::ClearEdits() { edits_.fill(""); }

void FieldAssignmentModel::SetEdits() {
  for (int k = 0; k < kSampleBoxes; ++k)
    edits_[k] = k < static_cast<int>(samples_.size()) ? samples_[k] : "Data NOT Found.";
}

std::string FieldAssignmentModel::fieldnumbercaption() const {
  return "Field No. " + std::to_string(state_.CurrentSourceField);
}

void FieldAssignmentModel::loadfieldlist() {
  list_ = vesper::loadfieldlist(fields_, state_.TargetFieldMarks, labels_);
}

void FieldAssignmentModel::FieldNamesClick(int index) {
  if (index < 0 || index >= static_cast<int>(list_.size())) return;
  selected_ = index;
  assignenabled_ = true;
}

void FieldAssignmentModel::takedatelayout(const std::string& name) {
  int pos = fieldposition(fields_, name);
  if (pos < 0) return;
  FieldType t = fields_[pos].type;
  int f = state_.CurrentSourceField;
  if (t == FieldType::Date || t == FieldType::Timestamp) {
    if (int layout = traits().datelayout) {
      state_.DateFormats[f] = layout;
    } else {
      state_.ChosenDateFormat = 2;
      dates_.askdateformat(state_);
      state_.DateFormats[f] = state_.ChosenDateFormat;
    }
  }
}

void FieldAssignmentModel::acceptfield() {
  if (selected_ < 0 || selected_ >= static_cast<int>(list_.size())) return;
  state_.SelectedTargetIndex = selected_;
  const CatalogueEntry entry = list_[selected_];
  chosen_.push_back(entry.text);
  int f = state_.CurrentSourceField;
  state_.FieldAssignments[f] = cuttext(entry.name, kAssignmentCapacity);
  const std::string& name = state_.FieldAssignments[f];
  markassignedentry(state_, fields_, name);
  if (!iscombinedcode(name)) takedatelayout(name);
  loadfieldlist();
  state_.CurrentSourceField = f + 1;
  const bool byuser = traits().fieldsbyuser;
  if (state_.CurrentSourceField > state_.SourceFieldCount && !byuser) {
    result_ = Result::Ok;
    return;
  }
  if (byuser && state_.CurrentSourceField > kMaxSourceFields) {
    state_.SourceFieldCount = kMaxSourceFields;
    state_.messages.infomessage("A record can hold at most 210 lines: the record is taken to "
                                "end at line 210.");
    result_ = Result::Ok;
    return;
  }
  loadsamples();
}

void FieldAssignmentModel::btAssignClick() {
  acceptfield();
  if (result_ != Result::Open) return;
  int again = state_.SelectedTargetIndex;
  if (again >= 0 && again < static_cast<int>(list_.size())) {
    selected_ = again;
    assignenabled_ = true;
  } else {
    selected_ = -1;
    assignenabled_ = false;
  }
}

void FieldAssignmentModel::btNextRecordClick() {
  // A record of no lines would never reach the end of the source.
  if (state_.CurrentSourceField <= 1) {
    state_.messages.errormessage(kAssignOneField);
    return;
  }
  state_.SourceFieldCount = state_.CurrentSourceField - 1;
  result_ = Result::Ok;
}

void FieldAssignmentModel::BtRetryClick() {
  state_.ResetImportState();
  FormCreate();
}

}  // namespace vesper
