#include "ui/TfrmAdvanced.h"

#include <QPushButton>

#include "ui/help.h"
#include "ui/textpage.h"

namespace vesper {

namespace {
constexpr int kTopic = 2305;
}  // namespace

TfrmAdvanced::TfrmAdvanced(FileChooser choosefile, QWidget* parent)
    : QDialog(parent), choosefile_(std::move(choosefile)) {
  setWindowTitle(QStringLiteral("Start assigning fields"));
  setObjectName(QStringLiteral("TfrmAdvanced"));
  sethelptopic(this, kTopic);

  auto* assign = new QPushButton(QStringLiteral("S&tart assigning fields"), this);
  auto* select = new QPushButton(QStringLiteral("&Select an *.IMP file"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  select->setDefault(true);
  layouttextpage(
      this, QStringLiteral("Start assigning fields or select an *.IMP file."),
      {QStringLiteral("Now that you have chosen the source file and the target database, you have "
                      "a choice of using a predefined import file (*.imp) or start assigning "
                      "fields yourself. "),
       QStringLiteral("If you have saved an *.IMP file from a previous import session, choose the "
                      "Select an *.IMP File button below. If you have never imported a file with "
                      "the same field definations, you must choose the Start Assigning Fields "
                      "button."),
       QString::fromUtf8(kImpFileSavesTime)},
      {assign, select, help});
  connect(assign, &QPushButton::clicked, this, &TfrmAdvanced::btAssignClick);
  connect(select, &QPushButton::clicked, this, &TfrmAdvanced::btSelectClick);
  connect(help, &QPushButton::clicked, this, &TfrmAdvanced::btHelpClick);
  select->setFocus();
}

void TfrmAdvanced::btAssignClick() {
  specFile_.clear();
  QDialog::reject();
}

void TfrmAdvanced::reject() { btAssignClick(); }

void TfrmAdvanced::btSelectClick() {
  specFile_ = choosefrom(choosefile_, this,
                         onefilterrequest(FileRequest::OpenSpec, QStringLiteral("Open"),
                                          QStringLiteral("Import Spec (*.IMP)"), QStringLiteral("imp"), true));
  accept();
}

void TfrmAdvanced::btHelpClick() { showhelp(this, kTopic); }

}  // namespace vesper
