#include "ui/TfrmRandom.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/TfrmCount.h"
#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {
constexpr int kRandomHelp = 2310;
const char* const kCountCaption = "Source File Record Count :";
}  // namespace

TfrmRandom::TfrmRandom(ImportState& state, Wizard& wizard, QWidget* parent)
    : QDialog(parent), state_(state), wizard_(wizard) {
  setWindowTitle(QStringLiteral("Random percentage"));
  setModal(true);

  auto* heading = new QLabel(QStringLiteral("Advanced Features"), this);
  QFont big = heading->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.25);
  heading->setFont(big);

  lblCount_ = new QLabel(this);
  lblCount_->setObjectName(QStringLiteral("lblCount"));

  rbRandomPct_ = new QRadioButton(QStringLiteral("&Accept random percentage"), this);
  rbRandomPct_->setObjectName(QStringLiteral("rbRandomPct"));
  SEPercent_ = new QSpinBox(this);
  SEPercent_->setObjectName(QStringLiteral("SEPercent"));
  SEPercent_->setRange(1, 100);
  SEPercent_->setSuffix(QStringLiteral(" %"));
  SEPercent_->setAccessibleName(QStringLiteral("Percentage to accept"));

  rbAcceptX_ = new QRadioButton(QStringLiteral("Accept &X at random"), this);
  rbAcceptX_->setObjectName(QStringLiteral("rbAcceptX"));
  Label2_ = new QLabel(QStringLiteral("Where X is "), this);
  Label2_->setObjectName(QStringLiteral("Label2"));
  SEx_ = new QSpinBox(this);
  SEx_->setObjectName(QStringLiteral("SEx"));
  Label2_->setBuddy(SEx_);
  int wide = SEx_->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 30;
  SEx_->setMinimumWidth(wide);
  SEPercent_->setMinimumWidth(wide);

  auto* options = new QGridLayout;
  options->setHorizontalSpacing(10);
  options->addWidget(rbRandomPct_, 0, 0, 1, 2);
  options->addWidget(SEPercent_, 0, 2);
  options->addWidget(rbAcceptX_, 1, 0, 1, 2);
  options->addItem(new QSpacerItem(16, 0, QSizePolicy::Fixed), 2, 0);
  options->addWidget(Label2_, 2, 1, Qt::AlignRight);
  options->addWidget(SEx_, 2, 2);
  options->setColumnStretch(1, 1);

  auto* left = new QVBoxLayout;
  left->addWidget(heading);
  left->addSpacing(6);
  left->addWidget(lblCount_);
  left->addSpacing(10);
  left->addLayout(options);
  left->addStretch(1);

  BtCount_ = new QPushButton(QStringLiteral("&Count Records"), this);
  BtCount_->setObjectName(QStringLiteral("BtCount"));
  OKBtn_ = new QPushButton(QStringLiteral("OK"), this);
  OKBtn_->setObjectName(QStringLiteral("OKBtn"));
  OKBtn_->setDefault(true);
  CancelBtn_ = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  btHelp_ = new QPushButton(QStringLiteral("&Help"), this);
  btHelp_->setObjectName(QStringLiteral("btHelp"));

  auto* right = new QVBoxLayout;
  right->addWidget(BtCount_);
  right->addSpacing(12);
  right->addWidget(OKBtn_);
  right->addWidget(CancelBtn_);
  right->addWidget(btHelp_);
  right->addStretch(1);

  auto* top = new QHBoxLayout(this);
  top->addLayout(left, 1);
  top->addSpacing(16);
  top->addLayout(right);

  connect(BtCount_, &QPushButton::clicked, this, &TfrmRandom::btCountClick);
  connect(rbRandomPct_, &QRadioButton::clicked, this, &TfrmRandom::rbRandomPctClick);
  connect(rbAcceptX_, &QRadioButton::clicked, this, &TfrmRandom::rbAcceptXClick);
  connect(OKBtn_, &QPushButton::clicked, this, &TfrmRandom::OKBtnClick);
  connect(CancelBtn_, &QPushButton::clicked, this, &TfrmRandom::CancelBtnClick);
  connect(btHelp_, &QPushButton::clicked, this, &TfrmRandom::btHelpClick);
  connect(SEPercent_, &QSpinBox::valueChanged, this, [this](int v) { values_.percent = v; });
  connect(SEx_, &QSpinBox::valueChanged, this, [this](int v) { values_.x = v; });

  sethelptopic(this, kRandomHelp);
  nameaccessibly(this);
  render();
  BtCount_->setFocus();
  setFixedSize(sizeHint().expandedTo(QSize(460, 0)));
}

// Shows the dialog's values; nothing but the count window's Cancel is usable
// while a count runs.
void TfrmRandom::render() {
  bool idle = !counting_;
  lblCount_->setText(QString::fromLatin1(kCountCaption) +
                     (values_.counttext.empty() ? QString()
                                                : QStringLiteral(" ") +
                                                      QString::fromStdString(values_.counttext)));
  rbRandomPct_->setChecked(!values_.acceptx);
  rbAcceptX_->setChecked(values_.acceptx);
  rbRandomPct_->setEnabled(idle && values_.optionsenabled);
  rbAcceptX_->setEnabled(idle && values_.optionsenabled);
  {
    QSignalBlocker quiet1(SEPercent_), quiet2(SEx_);
    SEPercent_->setValue(values_.percent);
    // Before the count the box shows its first value above the (zero) count.
    SEx_->setRange(0, std::max(values_.xmax, values_.x));
    SEx_->setValue(values_.x);
  }
  SEPercent_->setEnabled(idle && values_.percentenabled);
  SEx_->setEnabled(idle && values_.xenabled);
  Label2_->setEnabled(idle && values_.xenabled);
  BtCount_->setEnabled(idle && values_.countenabled);
  OKBtn_->setEnabled(idle && values_.okenabled);
  CancelBtn_->setEnabled(idle);
  btHelp_->setEnabled(idle);
}

// The number boxes keep what was typed in them but not yet confirmed.
void TfrmRandom::takevalues() {
  SEPercent_->interpretText();
  SEx_->interpretText();
  values_.percent = SEPercent_->value();
  values_.x = SEx_->value();
}

void TfrmRandom::btCountClick() {
  if (counting_ || !values_.countenabled) return;
  counting_ = true;
  render();
  {
    TfrmCount count(state_, this);
    count.doit(wizard_, values_);
    count.hide();
  }
  counting_ = false;
  render();
  if (rbRandomPct_->isEnabled()) rbRandomPct_->setFocus();
}

void TfrmRandom::rbRandomPctClick() {
  takevalues();
  vesper::rbRandomPctClick(values_);
  render();
}

void TfrmRandom::rbAcceptXClick() {
  takevalues();
  vesper::rbAcceptXClick(values_);
  render();
}

void TfrmRandom::OKBtnClick() {
  if (counting_ || !values_.okenabled) return;
  takevalues();
  if (vesper::OKBtnClick(state_, values_)) accept();
}

void TfrmRandom::CancelBtnClick() {
  if (counting_) return;
  QDialog::reject();
}

// Escape and the close button: Cancel, or stop a count under way.
void TfrmRandom::reject() {
  if (counting_) {
    state_.CountCancelled = true;
    return;
  }
  CancelBtnClick();
}

void TfrmRandom::btHelpClick() { showhelp(this, kRandomHelp); }

}  // namespace vesper
