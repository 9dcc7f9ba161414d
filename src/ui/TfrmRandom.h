// The random selection dialog ("Acce&pt random" of the record-import window):
// after the records have been counted the user takes a percentage of them or
// X of them at random.  The values and their rules live in RandomDialog; the
// dialog shows them and passes the clicks on.
#pragma once

#include <QDialog>

#include "app/importstate.h"
#include "app/wizard.h"
#include "source/counting.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vesper {

class TfrmRandom : public QDialog {
  Q_OBJECT

 public:
  TfrmRandom(ImportState& state, Wizard& wizard, QWidget* parent = nullptr);

  void btCountClick();
  void rbRandomPctClick();
  void rbAcceptXClick();
  void OKBtnClick();
  void CancelBtnClick();
  void btHelpClick();
  void reject() override;

  const RandomDialog& values() const { return values_; }

 private:
  void render();
  void takevalues();

  ImportState& state_;
  Wizard& wizard_;
  RandomDialog values_;
  bool counting_ = false;

  QLabel* lblCount_ = nullptr;
  QRadioButton* rbRandomPct_ = nullptr;
  QRadioButton* rbAcceptX_ = nullptr;
  QSpinBox* SEPercent_ = nullptr;
  QSpinBox* SEx_ = nullptr;
  QLabel* Label2_ = nullptr;
  QPushButton* BtCount_ = nullptr;
  QPushButton* OKBtn_ = nullptr;
  QPushButton* CancelBtn_ = nullptr;
  QPushButton* btHelp_ = nullptr;
};

}  // namespace vesper
