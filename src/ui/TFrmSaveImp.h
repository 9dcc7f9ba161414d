// "Save the import specification file": offered after the fields were
// assigned by hand.  Created hidden at start-up and shown by the wizard.
#pragma once

#include <QDialog>
#include <string>

#include "ui/qtwizarddialogs.h"

namespace vesper {

class TFrmSaveImp : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmSaveImp(QWidget* parent = nullptr);

  void setchooser(FileChooser choosefile) { choosefile_ = std::move(choosefile); }

  // Shows the dialog modally; the name chosen with "S&ave this
  // configuration", or "" for "&Start accepting records".
  std::string askname();
  const std::string& filename() const { return fileName_; }

  void btSaveClick();    // "S&ave this configuration"
  void btAcceptClick();  // "&Start accepting records" (also Escape)
  void btHelpClick();

  void reject() override;

 private:
  FileChooser choosefile_ = choosefilewithdialog;
  std::string fileName_;
};

}  // namespace vesper
