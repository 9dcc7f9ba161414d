// Field assignment: the source fields are presented one at a time with
// sample values, and the user picks for each a contact field, a combined
// field or "(Not used)".
//
// Contract: `FieldAssignmentModel` holds what the assignment dialog shows and
// does everything its buttons do; the window only renders the model and
// forwards clicks.  It writes FieldAssignments, DateFormats, TargetFieldMarks,
// CurrentSourceField, SelectedTargetIndex, ChosenDateFormat and (line-per-field
// sources) SourceFieldCount of the import state (assignstate.h).  Samples come through
// `SampleSource`, the date layout through `DateFormatAsker` (the Date Formats
// dialog in the windows, a direct answer in tests).  What differs by source
// kind (column names shown, dates in a layout of the source's own, a record
// ended by the user) comes from the kind's SourceTraits.  No slot past 210 is ever
// written: a line-per-field source whose user keeps assigning past line 210
// ends the record at line 210 with a message.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "assign/assignstate.h"
#include "assign/catalogue.h"
#include "source/recordsource.h"
#include "store/fieldtypes.h"

namespace vesper {

// Sample values of the source being assigned.
class SampleSource {
 public:
  virtual ~SampleSource() = default;
  // Field `field` (1-based) of record `record` (1-based) for table and
  // delimited sources; line `record` of the line view for field `field` of a
  // line-per-field source.  Empty when there is none.
  virtual std::string sample(int field, int record) = 0;
  // The column name of source field `field` of a table source.
  virtual std::string fieldname(int field) = 0;
};

// Shows the Date Formats dialog: on return ChosenDateFormat holds the code of
// the last button clicked (the caller presets it), DateFormats[0] the pivot.
class DateFormatAsker {
 public:
  virtual ~DateFormatAsker() = default;
  virtual void askdateformat(AssignState& state) = 0;
};

// Marks and messages of assigning `name` to source field `field`, shared by
// the dialog and the loading of an import specification file.
// Looks a contact field up by its exact name; -1 when the table has none.
int fieldposition(const std::vector<FieldDef>& fields, std::string_view name);

// Bookkeeping after loading an assignment from a specification file, for one
// non-empty entry.  Throws EngineError "Field '<name>' not found." for a
// contact field name that the table lacks.
void markloadedentry(AssignState& state, const std::vector<FieldDef>& fields,
                     const std::string& entry);

// The marks the dialog sets when `entry` (a contact field name or a
// combined-field code, as stored in FieldAssignments) is assigned: a contact
// field used (1) and the combined fields it collides with blocked (2); a
// combined field used with the contact fields it fills blocked, a missing
// one reported.  A contact field the table lacks sets nothing.  Date
// layouts are not touched.
void markassignedentry(AssignState& state, const std::vector<FieldDef>& fields,
                       const std::string& entry);

// Said when "&Next Record" is pressed before the first line of a
// line-per-field record was assigned: the dialog stays open.
inline constexpr const char* kAssignOneField = "Assign at least one field before going on.";

class FieldAssignmentModel {
 public:
  enum class Result { Open, Ok, Cancel };
  static constexpr int kSampleBoxes = 8;
  static constexpr int kSampleRecords = 50;

  FieldAssignmentModel(AssignState& state, std::vector<FieldDef> contactfields,
                       CatalogueLabels labels, SampleSource& samples, DateFormatAsker& dates);

  // --- the dialog's operations ---
  void FormCreate();
  void prepareascii();
  void acceptfield();
  void btAssignClick();
  void FieldNamesDblClick(int index) { FieldNamesClick(index); btAssignClick(); }
  void FieldNamesClick(int index);
  void btNextRecordClick();
  void BtRetryClick();
  void btCancelClick() { result_ = Result::Cancel; }

  // --- what the dialog shows ---
  const std::vector<CatalogueEntry>& fieldnames() const { return list_; }
  int selectedindex() const { return selected_; }
  const std::vector<std::string>& selectedfields() const { return chosen_; }
  // The eight sample boxes ("Data NOT Found." in the empty ones).
  const std::array<std::string, kSampleBoxes>& edits() const { return edits_; }
  // The non-empty samples in the order read (the line view of a
  // line-per-field source).
  const std::vector<std::string>& samplelist() const { return samples_; }
  std::string fieldnumbercaption() const;  // "Field No. N"
  std::string tablefieldcaption() const { return tablefield_; }  // "(Field: name)" or ""
  bool assignenabled() const { return assignenabled_; }
  bool nextrecordvisible() const { return traits().fieldsbyuser; }
  bool nextrecordenabled() const { return assignenabled_; }
  Result result() const { return result_; }

 private:
  void loadfieldlist();
  void loadsamples();
  void ClearEdits();
  void SetEdits();
  // The date layout of the field being assigned, when `name` is a date field.
  void takedatelayout(const std::string& name);
  // What the kind of the source being assigned asks of the dialog.
  const SourceTraits& traits() const { return SourceTraitsOf(state_.SourceType); }

  AssignState& state_;
  std::vector<FieldDef> fields_;
  CatalogueLabels labels_;
  SampleSource& source_;
  DateFormatAsker& dates_;

  std::vector<CatalogueEntry> list_;
  int selected_ = -1;
  std::vector<std::string> chosen_;
  std::vector<std::string> samples_;
  std::array<std::string, kSampleBoxes> edits_{};
  std::string tablefield_;
  bool assignenabled_ = false;
  Result result_ = Result::Open;
};

}  // namespace vesper
