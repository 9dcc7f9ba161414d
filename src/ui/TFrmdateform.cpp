#include "ui/TFrmdateform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "base/errors.h"
#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {

constexpr int kPivotHelp = 2300;

// The runtime's whole-number reading: optional blanks around an optional sign
// and at least one digit, within the 32-bit range; anything else is refused.
bool wholenumber(const QString& text, int& value) {
  QString t = text.trimmed();
  if (t.isEmpty()) return false;
  int i = 0;
  bool negative = false;
  if (t[0] == u'+' || t[0] == u'-') {
    negative = t[0] == u'-';
    ++i;
  }
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    v = v * 10 + (t[i].unicode() - u'0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

// --- the number box ---

NumberBox::NumberBox(int minimum, int maximum, int value, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum) {
  setboxtext(QString::number(value));
  setAccelerated(true);
}

QString NumberBox::boxtext() const { return lineEdit()->text(); }

void NumberBox::setboxtext(const QString& text) {
  lineEdit()->setText(text);
  update();  // the arrows follow the value
}

bool NumberBox::readvalue(int& value) const { return wholenumber(boxtext(), value); }

void NumberBox::stepBy(int steps) {
  int v = 0;
  if (!readvalue(v)) v = steps > 0 ? minimum_ - 1 + steps : minimum_;
  else v += steps;
  setboxtext(QString::number(std::clamp(v, minimum_, maximum_)));
  lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const {
  int v = 0;
  if (!readvalue(v)) return StepUpEnabled | StepDownEnabled;
  StepEnabled e = StepNone;
  if (v < maximum_) e |= StepUpEnabled;
  if (v > minimum_) e |= StepDownEnabled;
  return e;
}

QValidator::State NumberBox::validate(QString& input, int&) const {
  if (input.isEmpty()) return QValidator::Acceptable;
  for (QChar c : input)
    if (c < u'0' || c > u'9') return QValidator::Invalid;
  int v = 0;
  if (!wholenumber(input, v) || v > maximum_) return QValidator::Invalid;
  return QValidator::Acceptable;
}

QSize NumberBox::sizeHint() const {
  QSize base = QAbstractSpinBox::sizeHint();
  int digits = fontMetrics().horizontalAdvance(QString::number(maximum_) + QStringLiteral("00"));
  return QSize(std::max(base.width(), digits + 28), base.height());
}

// --- the dialog ---

const TFrmdateform::Choice TFrmdateform::kChoices[12] = {
    {"yyyymmdd", "1999/12/03 or 1999-12-03", 2},
    {"yymmdd", "991203", 1},
    {"yyyy mmm dd", "1999 December 03", 8},
    {"yy mmm dd", "1999 Dec 03", 7},
    {"mmddyyyy", "12-03-1999", 4},
    {"mmddyy", "12/03/99 or 12-04-99", 3},
    {"mmm dd yyyy", "December 03 1994 or Dec 3 1994", 10},
    {"mmm dd yy", "Dec 03 99", 9},
    {"ddmmyyyy", "12-03-1999", 6},
    {"ddmmyy", "120399", 5},
    {"dd mmm yyyy", "03 Dec 1999", 12},
    {"dd mmm yy", "03 December 99", 11},
};

TFrmdateform::TFrmdateform(AssignState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setWindowTitle(QStringLiteral("Date Formats"));
  setModal(true);

  auto* top = new QVBoxLayout(this);
  top->addWidget(new QLabel(QStringLiteral("Select the appropriate date format:"), this));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(24);
  grid->setVerticalSpacing(2);
  grid->setContentsMargins(12, 4, 4, 4);
  choices_ = new QButtonGroup(this);
  using Handler = void (TFrmdateform::*)();
  static const Handler handlers[12] = {
      &TFrmdateform::RadioButton1Click,  &TFrmdateform::RadioButton2Click,
      &TFrmdateform::RadioButton3Click,  &TFrmdateform::RadioButton4Click,
      &TFrmdateform::RadioButton5Click,  &TFrmdateform::RadioButton6Click,
      &TFrmdateform::RadioButton7Click,  &TFrmdateform::RadioButton8Click,
      &TFrmdateform::RadioButton9Click,  &TFrmdateform::RadioButton10Click,
      &TFrmdateform::RadioButton11Click, &TFrmdateform::RadioButton12Click,
  };
  for (int i = 0; i < 12; ++i) {
    auto* rb = new QRadioButton(QString::fromLatin1(kChoices[i].caption), this);
    rb->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
    choices_->addButton(rb, i);
    auto* example = new QLabel(QString::fromLatin1(kChoices[i].example), this);
    grid->addWidget(rb, i, 0);
    grid->addWidget(example, i, 1);
    if (i == 0) rb->setChecked(true);
    // Arrow keys move the choice as well as clicks do; both count as a click.
    Handler h = handlers[i];
    connect(rb, &QRadioButton::toggled, this, [this, h](bool on) {
      if (on) (this->*h)();
    });
  }
  grid->setColumnStretch(1, 1);
  top->addLayout(grid);

  auto* pivotRow = new QHBoxLayout;
  pivot_ = new NumberBox(0, 80, 20, this);
  pivot_->setObjectName(QStringLiteral("SpinEdit1"));
  auto* pivotText = new QLabel(
      QStringLiteral("Two digit years after this year will be considered part of the 1900's."),
      this);
  pivotText->setWordWrap(true);
  pivotText->setBuddy(pivot_);
  pivot_->setAccessibleName(QStringLiteral("Two-digit year limit"));
  pivot_->setAccessibleDescription(pivotText->text());
  pivotRow->addWidget(pivot_, 0, Qt::AlignTop);
  pivotRow->addWidget(pivotText, 1);
  top->addSpacing(6);
  top->addLayout(pivotRow);

  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("BitBtn1"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("BitBtn2"));
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  top->addSpacing(6);
  top->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &TFrmdateform::BitBtn1Click);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  sethelptopic(pivot_, kPivotHelp);
  sethelptopic(ok, kPivotHelp);
  sethelptopic(cancel, kPivotHelp);

  // The dialog opens on the layout preset by the caller (the first one
  // unless the values were seen to be written in another).
  int preset = 0;
  for (int i = 0; i < 12; ++i)
    if (kChoices[i].code == state_.ChosenDateFormat) preset = i;
  choices_->button(preset)->setChecked(true);
  choices_->button(preset)->setFocus();
  nameaccessibly(this);
  setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void TFrmdateform::choose(int index) { state_.ChosenDateFormat = kChoices[index].code; }

void TFrmdateform::RadioButton1Click() { choose(0); }
void TFrmdateform::RadioButton2Click() { choose(1); }
void TFrmdateform::RadioButton3Click() { choose(2); }
void TFrmdateform::RadioButton4Click() { choose(3); }
void TFrmdateform::RadioButton5Click() { choose(4); }
void TFrmdateform::RadioButton6Click() { choose(5); }
void TFrmdateform::RadioButton7Click() { choose(6); }
void TFrmdateform::RadioButton8Click() { choose(7); }
void TFrmdateform::RadioButton9Click() { choose(8); }
void TFrmdateform::RadioButton10Click() { choose(9); }
void TFrmdateform::RadioButton11Click() { choose(10); }
void TFrmdateform::RadioButton12Click() { choose(11); }

void TFrmdateform::BitBtn1Click() {
  int pivot = 0;
  QString text = pivot_->boxtext();
  if (wholenumber(text, pivot))
    state_.DateFormats[0] = pivot;
  else
    state_.messages.errormessage(ConversionError(text.toStdString()).what());
  accept();
}

void QtDateFormatAsker::askdateformat(AssignState& state) {
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeModalWidget();
  TFrmdateform dialog(state, parent);
  // The question may come while the assignment shows the wait cursor.
  bool waiting = QApplication::overrideCursor() != nullptr;
  if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
  dialog.exec();
  if (waiting) QApplication::restoreOverrideCursor();
}

}  // namespace vesper
