// The Date Formats dialog: asked whenever a text source field is assigned to a
// contact field that holds a date.  The user picks the layout in which the
// field writes its dates and sets the two-digit-year pivot; the choice goes
// straight into the import state (ChosenDateFormat at every click, the pivot
// DateFormats[0] on "OK").
#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <QPointer>

#include "assign/assignment.h"

class QButtonGroup;
class QPushButton;
class QRadioButton;

namespace vesper {

// A number box with up and down arrows whose text may also be left empty or
// otherwise unreadable, so that "OK" reads whatever the box shows.  Typed
// digits beyond the range are refused; the arrows stay within the range.
class NumberBox : public QAbstractSpinBox {
 public:
  NumberBox(int minimum, int maximum, int value, QWidget* parent = nullptr);
  QString boxtext() const;
  void setboxtext(const QString& text);
  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  StepEnabled stepEnabled() const override;

 private:
  bool readvalue(int& value) const;
  int minimum_, maximum_;
};

class TFrmdateform : public QDialog {
  Q_OBJECT

 public:
  // One date layout choice: its caption, the example beside it and its code.
  struct Choice {
    const char* caption;
    const char* example;
    int code;
  };
  static const Choice kChoices[12];

  explicit TFrmdateform(AssignState& state, QWidget* parent = nullptr);

  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void RadioButton4Click();
  void RadioButton5Click();
  void RadioButton6Click();
  void RadioButton7Click();
  void RadioButton8Click();
  void RadioButton9Click();
  void RadioButton10Click();
  void RadioButton11Click();
  void RadioButton12Click();
  // "OK": the pivot from the number box, then close with OK.
  void BitBtn1Click();

 private:
  void choose(int index);

  AssignState& state_;
  QButtonGroup* choices_ = nullptr;
  NumberBox* pivot_ = nullptr;
};

// Shows the Date Formats dialog modally over the window that assigns fields.
class QtDateFormatAsker : public DateFormatAsker {
 public:
  explicit QtDateFormatAsker(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  void askdateformat(AssignState& state) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vesper
