// The field assignment dialog, step three of the wizard: the source fields
// are presented one at a time with sample values from the first records, and
// the user assigns each to a contact field, a combined field or "(Not used)".
// FieldAssignmentModel does the work; the dialog renders it and passes the
// clicks on.
#pragma once

#include <QDialog>
#include <array>

#include "app/assignmentguide.h"
#include "assign/assignment.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace vesper {

class TFrmascii : public QDialog {
  Q_OBJECT

 public:
  // Runs model.FormCreate(): the first source field is on show.  A guide
  // with column names shows each beside its field number; one with a
  // proposal has the proposed entry of each field selected when it is shown.
  explicit TFrmascii(FieldAssignmentModel& model, QWidget* parent = nullptr,
                     const AssignmentGuide* guide = nullptr);

  void btAssignClick();
  void FieldNamesClick(int index);
  void FieldNamesDblClick(int index);
  void btNextRecordClick();
  void BtRetryClick();
  void btCancelClick();
  void BtHelpClick();
  // Escape and the close button: "&Cancel and exit".
  void reject() override;

  // The label part of a catalogue entry text: what the lists show.
  static QString labelof(const std::string& entrytext);

 private:
  void render();
  void renderfieldnames();
  void closeifdone();
  void preselect();

  FieldAssignmentModel& model_;
  const AssignmentGuide* guide_ = nullptr;

  QListWidget* FieldNames_ = nullptr;
  QListWidget* SelectedFields_ = nullptr;
  QPushButton* btAssign_ = nullptr;
  QWidget* samplePanel_ = nullptr;
  QLabel* lblFieldNo_ = nullptr;
  QLabel* lblTableField_ = nullptr;
  std::array<QLineEdit*, FieldAssignmentModel::kSampleBoxes> edits_{};
  QWidget* linePanel_ = nullptr;
  QListWidget* lineView_ = nullptr;
  QPushButton* btNextRecord_ = nullptr;
};

}  // namespace vesper
