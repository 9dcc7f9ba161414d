#include "ui/TfrmAdvanced.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/help.h"

namespace vesper {

namespace {
constexpr int kTopic = 2305;

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

TfrmAdvanced::TfrmAdvanced(FileChooser choosefile, QWidget* parent)
    : QDialog(parent), choosefile_(std::move(choosefile)) {
  setWindowTitle(QStringLiteral("Start assigning fields"));
  setObjectName(QStringLiteral("TfrmAdvanced"));
  sethelptopic(this, kTopic);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(textlabel(QStringLiteral("Start assigning fields or select an *.IMP file."),
                              this, true));
  layout->addWidget(textlabel(
      QStringLiteral("Now that you have chosen the source file and the target database, you have "
                     "a choice of using a predefined import file (*.imp) or start assigning "
                     "fields yourself. "),
      this));
  layout->addWidget(textlabel(
      QStringLiteral("If you have saved an *.IMP file from a previous import session, choose the "
                     "Select an *.IMP File button below. If you have never imported a file with "
                     "the same field definations, you must choose the Start Assigning Fields "
                     "button."),
      this));
  layout->addWidget(textlabel(
      QStringLiteral("Using an existing *.IMP file will save time and is especially useful if you "
                     "are importing information from the same source on a regular basis."),
      this));

  auto* buttons = new QHBoxLayout;
  auto* assign = new QPushButton(QStringLiteral("S&tart assigning fields"), this);
  auto* select = new QPushButton(QStringLiteral("&Select an *.IMP file"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  select->setDefault(true);
  buttons->addStretch(1);
  for (QPushButton* b : {assign, select, help}) buttons->addWidget(b);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  connect(assign, &QPushButton::clicked, this, &TfrmAdvanced::btAssignClick);
  connect(select, &QPushButton::clicked, this, &TfrmAdvanced::btSelectClick);
  connect(help, &QPushButton::clicked, this, &TfrmAdvanced::btHelpClick);

  // Word-wrapped texts take the width of a comfortable reading line.
  setFixedWidth(460);
  select->setFocus();
}

void TfrmAdvanced::btAssignClick() {
  specFile_.clear();
  QDialog::reject();
}

void TfrmAdvanced::reject() { btAssignClick(); }

void TfrmAdvanced::btSelectClick() {
  FileRequest request;
  request.kind = FileRequest::OpenSpec;
  request.title = QStringLiteral("Open");
  request.filters = QStringList{QStringLiteral("Import Spec (*.IMP)")};
  request.selectedFilter = request.filters.first();
  request.pattern = QString();
  request.folder = lastfolder();
  request.defaultSuffix = QStringLiteral("imp");
  request.mustExist = true;
  specFile_ = choosefile_ ? choosefile_(this, request) : std::string();
  if (!specFile_.empty()) setlastfolder(specFile_);
  accept();
}

void TfrmAdvanced::btHelpClick() { showhelp(this, kTopic); }

}  // namespace vesper
