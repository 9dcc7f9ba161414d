#include "app/assignmentguide.h"

#include "assign/catalogue.h"
#include "parse/text.h"

namespace vesper {

namespace {
const char* const kNotUsed = "x1notused";

// The position of `name` in the list on offer; -1 when it is not there.
int entryindex(const std::vector<CatalogueEntry>& list, const std::string& name) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].name == name) return static_cast<int>(i);
  // Contact field names are listed cut to 30 characters, and the table's
  // lookup ignores letter case.
  for (std::size_t i = 0; i < list.size(); ++i)
    if (!iscombinedcode(list[i].name) && sametext(list[i].name, cuttext(name, 30)))
      return static_cast<int>(i);
  return -1;
}

}  // namespace

AssignmentGuide::AssignmentGuide(const AssignState& state, std::vector<std::string> columnnames,
                                 std::vector<ColumnProposal> proposal)
    : state_(&state), names_(std::move(columnnames)), proposal_(std::move(proposal)) {}

std::string AssignmentGuide::fieldcaption(const FieldAssignmentModel& model) const {
  std::string caption = model.fieldnumbercaption();
  if (!state_) return caption;
  const int f = state_->CurrentSourceField;
  if (f >= 1 && f <= static_cast<int>(names_.size()) && !names_[f - 1].empty())
    caption += " - " + names_[f - 1];
  return caption;
}

void AssignmentGuide::preselect(FieldAssignmentModel& model) const {
  if (!state_ || proposal_.empty() || model.result() != FieldAssignmentModel::Result::Open) return;
  const int f = state_->CurrentSourceField;
  std::string entry = f >= 1 && f <= static_cast<int>(proposal_.size()) ? proposal_[f - 1].target : "";
  if (entry.empty()) entry = kNotUsed;
  int index = entryindex(model.fieldnames(), entry);
  if (index < 0) index = entryindex(model.fieldnames(), kNotUsed);
  model.FieldNamesClick(index);
}

int AssignmentGuide::dateformat(int field) const {
  if (field < 1 || field > static_cast<int>(proposal_.size())) return -1;
  return proposal_[field - 1].dateformat;
}

void GuidedDateFormats::askdateformat(AssignState& state) {
  if (int code = guide_.dateformat(state.CurrentSourceField); code > 0) state.ChosenDateFormat = code;
  if (dialog_) dialog_->askdateformat(state);
}

bool acceptproposal(FieldAssignmentModel& model, const AssignmentGuide& guide) {
  model.FormCreate();
  // One assignment per source field; never more than the slots there are.
  for (int step = 0; step <= kMaxSourceFields && model.result() == FieldAssignmentModel::Result::Open; ++step) {
    guide.preselect(model);
    if (model.selectedindex() < 0) break;
    model.btAssignClick();
  }
  return model.result() == FieldAssignmentModel::Result::Ok;
}

}  // namespace vesper
