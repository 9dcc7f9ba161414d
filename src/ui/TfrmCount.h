// The count window: shown, not modal, while the records of the source are
// counted for the random selection; its Cancel stops the count.
#pragma once

#include <QDialog>

#include "app/importstate.h"
#include "app/wizard.h"
#include "source/counting.h"

class QLabel;

namespace vesper {

class TfrmCount : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmCount(ImportState& state, QWidget* parent = nullptr);

  // Shows the window, counts the records of the wizard's source (updating the
  // number as lines are read) and unlocks `dialog`; the window stays open
  // until the caller closes it.
  void doit(Wizard& wizard, RandomDialog& dialog);
  // The lines counted so far, as shown.
  QString counttext() const;
  // "Cancel": the count stops at its next line.
  void CancelBtnClick();
  void reject() override;

 private:
  void showcount(int lines);
  ImportState& state_;
  QLabel* number_ = nullptr;
};

}  // namespace vesper
