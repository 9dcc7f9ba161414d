// The source file type dialog: which kind of file the source chooser shows
// at first.  Opens with "Pick from all files (*.*)" selected every time.
#pragma once

#include <QDialog>
#include <QList>

class QRadioButton;
class QPushButton;

namespace vesper {

class Tfrmfiletype : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrmfiletype(QWidget* parent = nullptr);

  // The selected option: an index into filetypeoptions() (0 to kFileTypeOptions - 1).
  int choice() const { return choice_; }
  QRadioButton* option(int index) const { return options_.value(index); }

  void OKBtnClick();
  void CancelBtnClick();
  void HelpBtnClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RadioClick(int index);

  QList<QRadioButton*> options_;
  int choice_ = 0;
};

}  // namespace vesper
