#include "ui/TfrmImport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QtMath>
#include <utility>

#include "app/textlayoutnames.h"
#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {

constexpr int kTopic = 2300;
const char* const kNone = "None Selected";
// The path captions have room for this many average characters.
constexpr int kPathChars = 44;
// The separators as offered, in the order of kSeparators.
const char* const kSeparatorCaptions[] = {"Comma (,)", "Semicolon (;)", "Tab", "Vertical bar (|)"};

QLabel* boldlabel(const QString& text, QWidget* parent, int pointDelta = 0) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  if (pointDelta) f.setPointSizeF(f.pointSizeF() + pointDelta);
  label->setFont(f);
  return label;
}

}  // namespace

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setTextInteractionFlags(Qt::NoTextInteraction);
}

QRect PathLabel::textrect() const {
  const int clear = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
  return contentsRect().adjusted(clear, 0, -clear, 0);
}

// The same width whatever the text: room for "None Selected" and for a path
// of kPathChars average characters.  Text widths are fractional: rounded up.
QSize PathLabel::sizeHint() const {
  QFontMetricsF fm(font());
  qreal text = qMax(fm.horizontalAdvance(QString::fromLatin1(kNone)), fm.averageCharWidth() * kPathChars);
  int clear = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
  return QSize(qCeil(text) + 2 * clear + 2 * frameWidth(), QLabel::sizeHint().height());
}

QSize PathLabel::minimumSizeHint() const { return sizeHint(); }

void PathLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  QRect r = textrect();
  QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width());
  style()->drawItemText(&painter, r, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                        shown, foregroundRole());
}

TfrmImport::TfrmImport(ImportState& state, Engine& engine, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  dialogs_ = std::make_unique<QtWizardDialogs>(state, this);
  wizard_ = std::make_unique<Wizard>(state, engine, *dialogs_);
  dialogs_->setwizard(wizard_.get());

  setWindowTitle(QStringLiteral("Pennant Vesper Import"));
  setObjectName(QStringLiteral("TfrmImport"));
  sethelptopic(this, kTopic);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* title = boldlabel(QStringLiteral("Pennant Vesper Import"), this, 4);
  title->setObjectName(QStringLiteral("LblTitle"));
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);

  // The step panel: one row of three per step.
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("steppanel"));
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Sunken);
  auto* grid = new QGridLayout(panel);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(4);
  grid->setColumnStretch(2, 1);

  int row = 0;
  // Returns the step as read out: its number and what it asks for.
  auto addstep = [&](const QString& step, const QString& line) {
    if (row > 0) {
      auto* rule = new QFrame(panel);
      rule->setFrameShape(QFrame::HLine);
      rule->setFrameShadow(QFrame::Sunken);
      grid->addWidget(rule, row++, 0, 1, 4);
    }
    grid->addWidget(boldlabel(step, panel), row, 0);
    grid->addWidget(new QLabel(line, panel), row, 1, 1, 3);
    ++row;
    return step + QLatin1Char(' ') + line.trimmed();
  };
  auto addchoice = [&](const QString& caption, QLabel* value, QPushButton* button) {
    grid->addWidget(new QLabel(caption, panel), row, 1);
    value->setFrameShape(QFrame::Panel);
    value->setFrameShadow(QFrame::Sunken);
    grid->addWidget(value, row, 2);
    grid->addWidget(button, row, 3);
    ++row;
  };

  lblSource_ = new PathLabel(panel);
  lblSource_->setObjectName(QStringLiteral("lblSource"));
  lblDatabase_ = new PathLabel(panel);
  lblDatabase_->setObjectName(QStringLiteral("lblDatabase"));
  btSource_ = new QPushButton(QStringLiteral("&Source File"), panel);
  btSource_->setObjectName(QStringLiteral("btSource"));
  btDatabase_ = new QPushButton(QStringLiteral("Target Database"), panel);
  btDatabase_->setObjectName(QStringLiteral("BtPnantDatabase"));
  btStart_ = new QPushButton(QStringLiteral("Start &Import Now"), panel);
  btStart_->setObjectName(QStringLiteral("btStart"));

  const QString stepOne = addstep(QStringLiteral("Step One:"), QStringLiteral("Select a source file. "));
  addchoice(QStringLiteral("Source File:"), lblSource_, btSource_);
  // How a delimited text source is written (a workbook: whether its sheet
  // has a header row): shown when one is chosen.
  cbSeparator_ = new QComboBox(panel);
  cbSeparator_->setObjectName(QStringLiteral("cbSeparator"));
  for (const char* caption : kSeparatorCaptions) cbSeparator_->addItem(QString::fromLatin1(caption));
  cbHeader_ = new QCheckBox(QStringLiteral("First line holds column names"), panel);
  cbHeader_->setObjectName(QStringLiteral("cbHeader"));
  auto* separatorLabel = new QLabel(QStringLiteral("Se&parator:"), panel);
  separatorLabel->setBuddy(cbSeparator_);
  auto* layoutRow = new QHBoxLayout;
  layoutRow->addWidget(separatorLabel);
  layoutRow->addWidget(cbSeparator_);
  layoutRow->addSpacing(12);
  layoutRow->addWidget(cbHeader_);
  // The sheet of a workbook source: shown when one is chosen.
  cbSheet_ = new QComboBox(panel);
  cbSheet_->setObjectName(QStringLiteral("cbSheet"));
  cbSheet_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* sheetLabel = new QLabel(QStringLiteral("S&heet:"), panel);
  sheetLabel->setBuddy(cbSheet_);
  layoutRow->addSpacing(12);
  layoutRow->addWidget(sheetLabel);
  layoutRow->addWidget(cbSheet_);
  layoutRow->addStretch(1);
  grid->addLayout(layoutRow, row++, 2, 1, 2);

  const QString stepTwo =
      addstep(QStringLiteral("Step Two:"), QStringLiteral("Select a Pennant database to import into."));
  addchoice(QStringLiteral("Target Database:"), lblDatabase_, btDatabase_);
  const QString stepThree =
      addstep(QStringLiteral("Step Three:"), QStringLiteral("Assign fields and perform merge."));
  grid->addWidget(btStart_, row++, 3);
  layout->addWidget(panel);

  auto* buttons = new QHBoxLayout;
  btClear_ = new QPushButton(QStringLiteral("&Start Over"), this);
  btClear_->setObjectName(QStringLiteral("BtnClear"));
  btExit_ = new QPushButton(QStringLiteral("E&xit"), this);
  btExit_->setObjectName(QStringLiteral("btExit"));
  btHelp_ = new QPushButton(QStringLiteral("&Help"), this);
  btHelp_->setObjectName(QStringLiteral("btHelp"));
  btUndo_ = new QPushButton(QStringLiteral("&Undo last import"), this);
  btUndo_->setObjectName(QStringLiteral("btUndo"));
  buttons->addWidget(btUndo_);
  buttons->addStretch(1);
  for (QPushButton* b : {btClear_, btExit_, btHelp_}) buttons->addWidget(b);
  layout->addLayout(buttons);

  // Same width for the three step buttons, so that they line up.
  int width = 0;
  for (QPushButton* b : {btSource_, btDatabase_, btStart_}) width = qMax(width, b->sizeHint().width());
  for (QPushButton* b : {btSource_, btDatabase_, btStart_}) b->setMinimumWidth(width);

  // Enter presses the focused button; "Start &Import Now" is the default
  // button the window starts with.
  btStart_->setDefault(true);

  setTabOrder(btSource_, cbSeparator_);
  setTabOrder(cbSeparator_, cbHeader_);
  setTabOrder(cbHeader_, cbSheet_);
  setTabOrder(cbSheet_, btDatabase_);
  setTabOrder(btDatabase_, btStart_);
  setTabOrder(btStart_, btUndo_);
  setTabOrder(btUndo_, btClear_);
  setTabOrder(btClear_, btExit_);
  setTabOrder(btExit_, btHelp_);

  // Each step's button tells a screen reader which step it is; the focus
  // moves to the next step's button as soon as that step can be taken.
  btSource_->setAccessibleDescription(stepOne);
  btDatabase_->setAccessibleDescription(stepTwo);
  btStart_->setAccessibleDescription(stepThree);
  lblSource_->setAccessibleDescription(QStringLiteral("Source file chosen"));
  lblDatabase_->setAccessibleDescription(QStringLiteral("Target database chosen"));
  cbSeparator_->setAccessibleDescription(QStringLiteral("How the fields of a delimited text source are separated"));
  cbSheet_->setAccessibleDescription(QStringLiteral("The sheet of the workbook to import"));
  nameaccessibly(this);

  connect(btSource_, &QPushButton::clicked, this, &TfrmImport::btSourceClick);
  connect(btDatabase_, &QPushButton::clicked, this, &TfrmImport::btPnantDatabaseClick);
  connect(btStart_, &QPushButton::clicked, this, &TfrmImport::btStartClick);
  connect(btClear_, &QPushButton::clicked, this, &TfrmImport::BtnClearClick);
  connect(btExit_, &QPushButton::clicked, this, &TfrmImport::btExitClick);
  connect(btHelp_, &QPushButton::clicked, this, &TfrmImport::btHelpClick);
  connect(btUndo_, &QPushButton::clicked, this, &TfrmImport::btUndoClick);
  connect(cbSeparator_, &QComboBox::activated, this, &TfrmImport::cbSeparatorChange);
  connect(cbHeader_, &QCheckBox::clicked, this, &TfrmImport::cbHeaderClick);
  connect(cbSheet_, &QComboBox::activated, this, &TfrmImport::cbSheetChange);

  FormCreate();
}

TfrmImport::~TfrmImport() = default;

void TfrmImport::FormCreate() {
  wizard_->FormCreate();
  render();
  // The window takes the size of its content and keeps it.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  btSource_->setFocus();
}

void TfrmImport::render() {
  lblSource_->setText(QString::fromStdString(wizard_->lblSource));
  lblSource_->setToolTip(lblSource_->text());
  lblDatabase_->setText(QString::fromStdString(wizard_->lblDatabase));
  btDatabase_->setEnabled(wizard_->databaseenabled);
  btStart_->setEnabled(wizard_->startenabled);
  const bool layout = wizard_->layoutshown;
  const bool header = wizard_->headeroffered;
  {
    QSignalBlocker quietSeparator(cbSeparator_);
    QSignalBlocker quietHeader(cbHeader_);
    int index = 0;
    for (int i = 0; i < int(sizeof kSeparators); ++i)
      if (kSeparators[i] == wizard_->separatorshown) index = i;
    cbSeparator_->setCurrentIndex(layout ? index : 0);
    cbHeader_->setChecked(header && wizard_->headershown);
    QSignalBlocker quietSheet(cbSheet_);
    cbSheet_->clear();
    for (const std::string& name : wizard_->sheetsshown) cbSheet_->addItem(QString::fromStdString(name));
    cbSheet_->setCurrentText(QString::fromStdString(wizard_->sheetshown));
  }
  const bool sheets = !wizard_->sheetsshown.empty();
  cbSheet_->setEnabled(sheets);
  cbSheet_->setFocusPolicy(sheets ? Qt::StrongFocus : Qt::NoFocus);
  // Out of the focus chain while there is nothing to choose, so the steps'
  // buttons follow one another.
  const std::pair<QWidget*, bool> choices[] = {{cbSeparator_, layout}, {cbHeader_, header}};
  for (auto [choice, offered] : choices) {
    choice->setEnabled(offered);
    choice->setFocusPolicy(offered ? Qt::StrongFocus : Qt::NoFocus);
  }
  lblSource_->updateGeometry();
  lblDatabase_->updateGeometry();
}

void TfrmImport::btSourceClick() {
  wizard_->btSourceClick();
  render();
  if (wizard_->lblSource != kNone && wizard_->databaseenabled) btDatabase_->setFocus();
}

void TfrmImport::opensource(const std::string& path) {
  wizard_->setsource(path);
  render();
  if (wizard_->databaseenabled) btDatabase_->setFocus();
}

void TfrmImport::btPnantDatabaseClick() {
  wizard_->btPnantDatabaseClick();
  render();
  if (wizard_->lblDatabase != kNone && wizard_->startenabled) btStart_->setFocus();
}

void TfrmImport::btStartClick() {
  wizard_->btStartClick();
  render();
}

void TfrmImport::BtnClearClick() {
  wizard_->BtnClearClick();
  render();
  btSource_->setFocus();
}

void TfrmImport::btExitClick() {
  wizard_->btExitClick();
  // The window is the program: its end ends the message loop.
  QDialog::done(QDialog::Rejected);
}

void TfrmImport::btHelpClick() { showhelp(this, kTopic); }

void TfrmImport::btUndoClick() {
  wizard_->btUndoClick();
  render();
}

void TfrmImport::cbSeparatorChange(int index) {
  if (index < 0 || index >= int(sizeof kSeparators)) return;
  wizard_->chooseseparator(kSeparators[index]);
  render();
}

void TfrmImport::cbSheetChange(int index) {
  if (index < 0 || index >= int(wizard_->sheetsshown.size())) return;
  wizard_->choosesheet(wizard_->sheetsshown[std::size_t(index)]);
  render();
}

void TfrmImport::cbHeaderClick(bool checked) {
  wizard_->chooseheader(checked);
  render();
}

// Escape and closing the window are "E&xit".
void TfrmImport::reject() { btExitClick(); }

}  // namespace vesper
