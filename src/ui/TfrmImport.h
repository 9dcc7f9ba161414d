// The main window "Pennant Vesper Import": the three steps of an import.
// Shows the wizard's captions and enabled buttons after every click; what
// the buttons do is the wizard's.
#pragma once

#include <QDialog>
#include <QLabel>
#include <memory>

#include "app/wizard.h"
#include "ui/qtwizarddialogs.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace vesper {

// A label for a file path: as wide as a typical path from the start, so
// that choosing a file does not resize the window; a longer path has its
// middle elided.  Like a framed QLabel, it keeps half an "x" clear on each
// side of its text.
class PathLabel : public QLabel {
  Q_OBJECT
 public:
  explicit PathLabel(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // Where the text is drawn.
  QRect textrect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TfrmImport : public QDialog {
  Q_OBJECT
 public:
  TfrmImport(ImportState& state, Engine& engine, QWidget* parent = nullptr);
  ~TfrmImport() override;

  Wizard& wizard() { return *wizard_; }
  QtWizardDialogs& dialogs() { return *dialogs_; }

  void FormCreate();
  void btSourceClick();
  // `path` as the source, as if chosen in step one.
  void opensource(const std::string& path);
  void btPnantDatabaseClick();
  void btStartClick();
  void BtnClearClick();
  void btExitClick();
  void btHelpClick();
  void btUndoClick();
  // The separator and header line of a delimited text source, changed by
  // the user: the source is identified again.
  void cbSeparatorChange(int index);
  void cbHeaderClick(bool checked);
  void cbSheetChange(int index);

  // Puts the wizard's captions and enabled buttons on the window.
  void render();

  QLabel* lblSource() const { return lblSource_; }
  QLabel* lblDatabase() const { return lblDatabase_; }
  QPushButton* btSource() const { return btSource_; }
  QPushButton* BtPnantDatabase() const { return btDatabase_; }
  QPushButton* btStart() const { return btStart_; }
  QPushButton* BtnClear() const { return btClear_; }
  QPushButton* btExit() const { return btExit_; }
  QPushButton* btHelp() const { return btHelp_; }
  QPushButton* btUndo() const { return btUndo_; }
  QComboBox* cbSeparator() const { return cbSeparator_; }
  QCheckBox* cbHeader() const { return cbHeader_; }
  QComboBox* cbSheet() const { return cbSheet_; }

  void reject() override;  // Escape and closing the window are "E&xit"

 private:
  std::unique_ptr<QtWizardDialogs> dialogs_;
  std::unique_ptr<Wizard> wizard_;
  QLabel* lblSource_ = nullptr;
  QLabel* lblDatabase_ = nullptr;
  QPushButton* btSource_ = nullptr;
  QPushButton* btDatabase_ = nullptr;
  QPushButton* btStart_ = nullptr;
  QPushButton* btClear_ = nullptr;
  QPushButton* btExit_ = nullptr;
  QPushButton* btHelp_ = nullptr;
  QPushButton* btUndo_ = nullptr;
  QComboBox* cbSeparator_ = nullptr;
  QCheckBox* cbHeader_ = nullptr;
  QComboBox* cbSheet_ = nullptr;
};

}  // namespace vesper
