#include "ui/TfrmCount.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/accessible.h"

namespace vesper {

namespace {
// Input is let through at most this often while counting: often enough for
// Cancel to feel immediate, seldom enough not to slow a long count down.
constexpr int kInputMillis = 15;
}  // namespace

TfrmCount::TfrmCount(ImportState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setWindowTitle(QStringLiteral("Counting Records"));
  setModal(false);

  auto* top = new QVBoxLayout(this);
  auto* text = new QLabel(QStringLiteral("Now counting records ... standby"), this);
  text->setObjectName(QStringLiteral("Label1"));
  top->addWidget(text);

  number_ = new QLabel(QStringLiteral("0"), this);
  number_->setObjectName(QStringLiteral("lblCount"));
  number_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  number_->setFrameShape(QFrame::Panel);
  number_->setFrameShadow(QFrame::Sunken);
  number_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(number_);
  top->addLayout(row);

  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("CancelBtn"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  top->addLayout(buttons);
  connect(cancel, &QPushButton::clicked, this, &TfrmCount::CancelBtnClick);
  number_->setAccessibleDescription(QStringLiteral("Records counted so far"));
  nameaccessibly(this);

  setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

QString TfrmCount::counttext() const { return number_->text(); }

void TfrmCount::showcount(int lines) { number_->setText(QString::number(lines)); }

void TfrmCount::CancelBtnClick() { state_.CountCancelled = true; }

// Escape and the close button cancel the count; the window itself closes
// when the count has stopped.
void TfrmCount::reject() { CancelBtnClick(); }

void TfrmCount::doit(Wizard& wizard, RandomDialog& dialog) {
  showcount(0);
  show();
  raise();
  // The first line lets input run at once (the window is painted and a Cancel
  // already on its way is seen); after that at most every kInputMillis.
  QElapsedTimer sinceInput;
  CountProgress progress;
  progress.show = [this](int lines) { showcount(lines); };
  progress.letinputrun = [&sinceInput] {
    if (sinceInput.isValid() && sinceInput.elapsed() < kInputMillis) return;
    QApplication::processEvents();
    sinceInput.start();
  };
  wizard.countrecords(dialog, progress);
}

}  // namespace vesper
