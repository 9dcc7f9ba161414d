#include "ui/Tfrmfiletype.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/wizard.h"
#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {
constexpr int kTopic = 2302;
}

Tfrmfiletype::Tfrmfiletype(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Select source file type"));
  setObjectName(QStringLiteral("Tfrmfiletype"));
  sethelptopic(this, kTopic);

  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QStringLiteral("Select the source file type:"), this);
  layout->addWidget(text);

  auto* group = new QButtonGroup(this);
  auto* optionsBox = new QVBoxLayout;
  optionsBox->setContentsMargins(12, 0, 0, 0);
  const FileTypeOption* types = filetypeoptions();
  for (int i = 0; i < kFileTypeOptions; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(types[i].caption), this);
    group->addButton(radio, i);
    radio->installEventFilter(this);
    optionsBox->addWidget(radio);
    options_.append(radio);
  }
  layout->addLayout(optionsBox);
  connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) RadioClick(id);
  });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  ok->setDefault(true);
  for (QPushButton* b : {ok, cancel, help}) buttons->addWidget(b);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &Tfrmfiletype::OKBtnClick);
  connect(cancel, &QPushButton::clicked, this, &Tfrmfiletype::CancelBtnClick);
  connect(help, &QPushButton::clicked, this, &Tfrmfiletype::HelpBtnClick);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Opens on the all-files option whatever was chosen the last time.
  options_[0]->setChecked(true);
  options_[0]->setFocus();
  choice_ = 0;
  setAccessibleDescription(text->text());
  nameaccessibly(this);
}

void Tfrmfiletype::RadioClick(int index) { choice_ = index; }

void Tfrmfiletype::OKBtnClick() { accept(); }

void Tfrmfiletype::CancelBtnClick() { reject(); }

void Tfrmfiletype::HelpBtnClick() { showhelp(this, kTopic); }

bool Tfrmfiletype::eventFilter(QObject* watched, QEvent* event) {
  // A double click on an option chooses it and closes the dialog with OK.
  if (event->type() == QEvent::MouseButtonDblClick) {
    int index = options_.indexOf(static_cast<QRadioButton*>(watched));
    if (index >= 0) {
      options_[index]->setChecked(true);
      RadioClick(index);
      OKBtnClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vesper
