// "Start assigning fields": assign the fields by hand, or load an import
// specification (*.IMP) saved by an earlier import.
#pragma once

#include <QDialog>
#include <string>

#include "ui/qtwizarddialogs.h"

class QPushButton;

namespace vesper {

class TfrmAdvanced : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAdvanced(FileChooser choosefile, QWidget* parent = nullptr);

  // The chosen specification file; "" for assigning by hand.
  const std::string& specfile() const { return specFile_; }

  void btAssignClick();  // "S&tart assigning fields" (also Escape)
  void btSelectClick();  // "&Select an *.IMP file"
  void btHelpClick();

  void reject() override;

 private:
  FileChooser choosefile_;
  std::string specFile_;
};

}  // namespace vesper
