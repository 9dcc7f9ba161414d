#include "ui/TfrmAbort.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/accessible.h"

namespace vesper {

TfrmAbort::TfrmAbort(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Cancel operation?"));
  setModal(true);

  auto* top = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(size));
  icon->setAlignment(Qt::AlignTop);
  auto* text = new QLabel(QStringLiteral("Do you really wish to cancel the operation? "), this);
  text->setObjectName(QStringLiteral("Label1"));
  row->addWidget(icon);
  row->addSpacing(8);
  row->addWidget(text, 1, Qt::AlignVCenter);
  top->addLayout(row);
  top->addSpacing(8);

  auto* buttons = new QHBoxLayout;
  auto* yes = new QPushButton(QStringLiteral("&Yes"), this);
  yes->setObjectName(QStringLiteral("btYes"));
  yes->setDefault(true);
  auto* no = new QPushButton(QStringLiteral("&No"), this);
  no->setObjectName(QStringLiteral("btNo"));
  buttons->addStretch(1);
  buttons->addWidget(yes);
  buttons->addWidget(no);
  buttons->addStretch(1);
  top->addLayout(buttons);

  // Escape and the window's close button answer "&No" (QDialog::reject).
  connect(yes, &QPushButton::clicked, this, &QDialog::accept);
  connect(no, &QPushButton::clicked, this, &QDialog::reject);
  yes->setFocus();
  setAccessibleDescription(text->text());
  nameaccessibly(this);
  setFixedSize(sizeHint());
}

}  // namespace vesper
