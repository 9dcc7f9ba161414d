// What a header line of column names brings to the field assignment: the
// column's name beside its field number, and a proposed assignment of every
// column that the dialog offers field by field and the batch command takes
// as it stands.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "assign/assignment.h"
#include "assign/proposal.h"

namespace vesper {

// The proposal for one column (assign/proposal.h): a contact field name or
// combined-field code ("x1notused": not used) and, for a date, the date
// layout code the column's values are written in (-1: not known).
using ColumnProposal = ProposedField;

// Makes the proposal from the header's names (names[i] for source field
// i + 1), the first records (samples[r][i]: field i + 1 of record r + 1), the
// contact table's fields and their labels; one entry per name.
using ProposalMaker = std::function<std::vector<ColumnProposal>(
    const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& samples,
    const std::vector<FieldDef>& contactfields, const CatalogueLabels& labels)>;

class AssignmentGuide {
 public:
  AssignmentGuide() = default;
  AssignmentGuide(const AssignState& state, std::vector<std::string> columnnames,
                  std::vector<ColumnProposal> proposal);

  bool hasnames() const { return !names_.empty(); }
  bool hasproposal() const { return !proposal_.empty(); }
  // "Field No. N - name" for the field on show; the model's own caption when
  // the column has no name.
  std::string fieldcaption(const FieldAssignmentModel& model) const;
  // Selects the proposed entry of the field on show, "(Not used)" when the
  // column has none or its entry is no longer on offer.  Nothing without a
  // proposal.
  void preselect(FieldAssignmentModel& model) const;
  // The date layout proposed for source field `field`; -1 when none.
  int dateformat(int field) const;

 private:
  const AssignState* state_ = nullptr;
  std::vector<std::string> names_;
  std::vector<ColumnProposal> proposal_;
};

// The Date Formats dialog opened on the layout the proposal guessed for the
// field's values (when it guessed one); without a dialog, that layout taken
// as the answer.
class GuidedDateFormats : public DateFormatAsker {
 public:
  GuidedDateFormats(DateFormatAsker* dialog, const AssignmentGuide& guide) : dialog_(dialog), guide_(guide) {}
  void askdateformat(AssignState& state) override;

 private:
  DateFormatAsker* dialog_;
  const AssignmentGuide& guide_;
};

// The dialog's work done with every proposed entry accepted as it stands:
// the same assignments, marks and date layouts as a user pressing
// "&Assign>>>" on each preselected entry (the model's date layouts asked of
// a GuidedDateFormats without dialog).  False if it did not end with OK.
bool acceptproposal(FieldAssignmentModel& model, const AssignmentGuide& guide);

}  // namespace vesper
