// The record-import window "Accept records": step four of the wizard.  It
// shows the source records one at a time for review and lets the user accept
// or reject each, or accept all or a random share of the rest in a batch.
// The run itself is ImportRun; the window renders its record list, counters
// and panels, and its click handlers call the run's verbs.
#pragma once

#include <QDialog>
#include <QPointer>

#include "app/importstate.h"
#include "app/wizard.h"
#include "engine/importrun.h"

class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace vesper {

class TfrmDoimp;

// The run's view of the window: the abort question, the counters and the
// record list.  The window attaches itself while it exists.
class QtRunView : public RunView {
 public:
  QtRunView() = default;
  void attach(TfrmDoimp* form) { form_ = form; }
  void detach(TfrmDoimp* form) {
    if (form_ == form) form_ = nullptr;
  }
  // TfrmAbort, modal over the window: true for "&Yes".
  bool askabort() override;
  void statuschanged() override;
  void recordchanged() override;

 private:
  QPointer<TfrmDoimp> form_;
};

class TfrmDoimp : public QDialog {
  Q_OBJECT

 public:
  TfrmDoimp(ImportRun& run, ImportState& state, Wizard& wizard, QtRunView& view,
            QWidget* parent = nullptr);
  ~TfrmDoimp() override;

  // Prepares the run and shows the first record; runs once the window is on
  // screen, so that a run that ends at once closes a window that was opened.
  void FormCreate();
  void btAcceptOneClick();
  void btRejectClick();
  void btSkipClick();  // the record on display is a likely duplicate: keep the existing contact
  void btAllClick();
  void btRandomClick();
  void bt2CancelClick();
  void btCancelClick();
  void btHelpClick();
  void CheckBox1Click();
  // The three counters and the panel in view.
  void updatestatus();
  // The record list.
  void showrecord();
  // Escape and the close button: "Cancel" in review, "&Cancel import" while
  // a batch runs.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void closeifdone();
  bool batchrunning() const;

  ImportRun& run_;
  ImportState& state_;
  Wizard& wizard_;
  QtRunView& view_;
  bool created_ = false;

  QListWidget* datalist_ = nullptr;
  QTreeWidget* preview_ = nullptr;  // the contact the record would become
  QCheckBox* CheckBox1_ = nullptr;
  QStackedWidget* panels_ = nullptr;
  QFrame* Panel1_ = nullptr;
  QFrame* Panel2_ = nullptr;
  QPushButton* btAcceptOne_ = nullptr;
  QPushButton* btSkip_ = nullptr;
  QLabel* duplicate_ = nullptr;  // names the existing contact a record is likely to be
  QLabel* lblAccepted_ = nullptr;
  QLabel* lblRejected_ = nullptr;
  QLabel* lblTotal_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* timeLeft_ = nullptr;
};

}  // namespace vesper
