#include "ui/TFrmSaveImp.h"

#include <QPushButton>

#include "ui/help.h"
#include "ui/textpage.h"

namespace vesper {

namespace {
constexpr int kTopic = 2308;
}  // namespace

TFrmSaveImp::TFrmSaveImp(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Save the import specification file"));
  setObjectName(QStringLiteral("TFrmSaveImp"));
  sethelptopic(this, kTopic);

  auto* save = new QPushButton(QStringLiteral("S&ave this configuration"), this);
  auto* go = new QPushButton(QStringLiteral("&Start accepting records"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  save->setDefault(true);
  layouttextpage(
      this, QStringLiteral("Save *.IMP file, if you are certain all the fields are assigned properly."),
      {QStringLiteral("If you are completely sure that you have assigned all the fields from the "
                      "source file to their proper Pennant location, you can save the settings of "
                      "this import. "),
       QString::fromUtf8(kImpFileSavesTime)},
      {save, go, help});
  connect(save, &QPushButton::clicked, this, &TFrmSaveImp::btSaveClick);
  connect(go, &QPushButton::clicked, this, &TFrmSaveImp::btAcceptClick);
  connect(help, &QPushButton::clicked, this, &TFrmSaveImp::btHelpClick);
  save->setFocus();
}

std::string TFrmSaveImp::askname() {
  fileName_.clear();
  exec();
  return fileName_;
}

void TFrmSaveImp::btSaveClick() {
  fileName_ = choosefrom(choosefile_, this,
                         onefilterrequest(FileRequest::SaveSpec, QStringLiteral("Import File Save"),
                                          QStringLiteral("Import Files (*.imp)"), QStringLiteral("imp"), false));
  accept();
}

void TFrmSaveImp::btAcceptClick() {
  fileName_.clear();
  QDialog::reject();
}

void TFrmSaveImp::reject() { btAcceptClick(); }

void TFrmSaveImp::btHelpClick() { showhelp(this, kTopic); }

}  // namespace vesper
