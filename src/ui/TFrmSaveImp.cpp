#include "ui/TFrmSaveImp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/help.h"

namespace vesper {

namespace {
constexpr int kTopic = 2308;

QLabel* textlabel(const QString& text, QWidget* parent, bool heading = false) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  if (heading) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
  }
  return label;
}
}  // namespace

TFrmSaveImp::TFrmSaveImp(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Save the import specification file"));
  setObjectName(QStringLiteral("TFrmSaveImp"));
  sethelptopic(this, kTopic);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(textlabel(
      QStringLiteral("Save *.IMP file, if you are certain all the fields are assigned properly."),
      this, true));
  layout->addWidget(textlabel(
      QStringLiteral("If you are completely sure that you have assigned all the fields from the "
                     "source file to their proper Pennant location, you can save the settings of "
                     "this import. "),
      this));
  layout->addWidget(textlabel(
      QStringLiteral("Using an existing *.IMP file will save time and is especially useful if you "
                     "are importing information from the same source on a regular basis."),
      this));

  auto* buttons = new QHBoxLayout;
  auto* save = new QPushButton(QStringLiteral("S&ave this configuration"), this);
  auto* go = new QPushButton(QStringLiteral("&Start accepting records"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  save->setDefault(true);
  buttons->addStretch(1);
  for (QPushButton* b : {save, go, help}) buttons->addWidget(b);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  connect(save, &QPushButton::clicked, this, &TFrmSaveImp::btSaveClick);
  connect(go, &QPushButton::clicked, this, &TFrmSaveImp::btAcceptClick);
  connect(help, &QPushButton::clicked, this, &TFrmSaveImp::btHelpClick);

  setFixedWidth(460);
  save->setFocus();
}

std::string TFrmSaveImp::askname() {
  fileName_.clear();
  exec();
  return fileName_;
}

void TFrmSaveImp::btSaveClick() {
  FileRequest request;
  request.kind = FileRequest::SaveSpec;
  request.title = QStringLiteral("Import File Save");
  request.filters = QStringList{QStringLiteral("Import Files (*.imp)")};
  request.selectedFilter = request.filters.first();
  request.folder = lastfolder();
  request.defaultSuffix = QStringLiteral("imp");
  request.mustExist = false;
  fileName_ = choosefile_ ? choosefile_(this, request) : std::string();
  if (!fileName_.empty()) setlastfolder(fileName_);
  accept();
}

void TFrmSaveImp::btAcceptClick() {
  fileName_.clear();
  QDialog::reject();
}

void TFrmSaveImp::reject() { btAcceptClick(); }

void TFrmSaveImp::btHelpClick() { showhelp(this, kTopic); }

}  // namespace vesper
