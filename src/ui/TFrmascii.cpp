#include "ui/TFrmascii.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "assign/catalogue.h"
#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {

constexpr int kAssignHelp = 2306;

// The wait cursor while sample values are read from the source.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

QLabel* wrapped(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setWordWrap(true);
  return l;
}

}  // namespace

QString TFrmascii::labelof(const std::string& entrytext) {
  // An entry is the label, a run of spaces and the field name or code.
  std::string name = entryname(entrytext);
  std::string label = entrytext.substr(0, entrytext.size() - name.size());
  while (!label.empty() && label.back() == ' ') label.pop_back();
  return QString::fromStdString(label.empty() ? entrytext : label);
}

TFrmascii::TFrmascii(FieldAssignmentModel& model, QWidget* parent, const AssignmentGuide* guide)
    : QDialog(parent), model_(model), guide_(guide) {
  setWindowTitle(QStringLiteral("Assign source fields to Pennant fields"));
  setModal(true);

  // --- heading ---
  auto* step = new QLabel(QStringLiteral("Step Three:"), this);
  QFont big = step->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.4);
  step->setFont(big);
  auto* title = new QLabel(QStringLiteral("Assign source file fields to corresponding Pennant fields"), this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  auto* instruction = wrapped(
      QStringLiteral("Each of the fields from the Source File will be presented to you one at a "
                     "time. Select the proper Pennant field and click on the Assign button."),
      this);
  auto* hint = new QLabel(QStringLiteral("Hint: Select (not used) if you can't find a matching field."), this);
  QFont italic = hint->font();
  italic.setItalic(true);
  hint->setFont(italic);

  // --- the catalogue and the chosen entries ---
  FieldNames_ = new QListWidget(this);
  FieldNames_->setObjectName(QStringLiteral("FieldNames"));
  FieldNames_->setMinimumWidth(190);
  auto* fieldNamesLabel = new QLabel(QStringLiteral("&Pennant Fields:"), this);
  fieldNamesLabel->setBuddy(FieldNames_);
  auto* catalogue = new QVBoxLayout;
  catalogue->addWidget(fieldNamesLabel);
  catalogue->addWidget(FieldNames_, 1);

  btAssign_ = new QPushButton(QStringLiteral("&Assign>>>"), this);
  btAssign_->setObjectName(QStringLiteral("btAssign"));
  btAssign_->setDefault(true);
  auto* assignColumn = new QVBoxLayout;
  assignColumn->addStretch(1);
  assignColumn->addWidget(btAssign_);
  assignColumn->addStretch(1);

  SelectedFields_ = new QListWidget(this);
  SelectedFields_->setObjectName(QStringLiteral("SelectedFields"));
  SelectedFields_->setSelectionMode(QAbstractItemView::NoSelection);
  SelectedFields_->setFocusPolicy(Qt::NoFocus);
  SelectedFields_->setMinimumWidth(170);
  auto* chosen = new QVBoxLayout;
  auto* selectedLabel = new QLabel(QStringLiteral("Selected Fields:"), this);
  selectedLabel->setBuddy(SelectedFields_);
  chosen->addWidget(selectedLabel);
  chosen->addWidget(SelectedFields_, 1);

  // --- sample values (table and delimited sources) ---
  auto* samples = new QFrame(this);
  samples->setObjectName(QStringLiteral("SamplePanel"));
  samples->setFrameShape(QFrame::StyledPanel);
  samplePanel_ = samples;
  auto* sampleLayout = new QVBoxLayout(samples);
  sampleLayout->addWidget(new QLabel(QStringLiteral("Actual Data from the Source File for"), samples));
  lblFieldNo_ = new QLabel(samples);
  lblFieldNo_->setObjectName(QStringLiteral("lblFieldNo"));
  lblFieldNo_->setFont(bold);
  lblTableField_ = new QLabel(samples);
  lblTableField_->setObjectName(QStringLiteral("lblTableField"));
  auto* which = new QHBoxLayout;
  which->addWidget(lblFieldNo_);
  which->addWidget(lblTableField_, 1);
  sampleLayout->addLayout(which);
  for (int k = 0; k < FieldAssignmentModel::kSampleBoxes; ++k) {
    auto* e = new QLineEdit(samples);
    e->setObjectName(QStringLiteral("Edit%1").arg(k + 1));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setMinimumWidth(240);
    e->setAccessibleName(QStringLiteral("Sample value %1").arg(k + 1));
    edits_[k] = e;
    sampleLayout->addWidget(e);
  }
  sampleLayout->addStretch(1);

  // --- the line view (line-per-field sources) ---
  auto* lines = new QFrame(this);
  lines->setObjectName(QStringLiteral("LinePanel"));
  lines->setFrameShape(QFrame::StyledPanel);
  linePanel_ = lines;
  auto* lineLayout = new QVBoxLayout(lines);
  lineLayout->addWidget(
      wrapped(QStringLiteral("Assign to the Pennant field based on the arrows. (<<<<<)"), lines));
  lineView_ = new QListWidget(lines);
  lineView_->setObjectName(QStringLiteral("SampleList"));
  lineView_->setSelectionMode(QAbstractItemView::NoSelection);
  lineView_->setFocusPolicy(Qt::NoFocus);
  lineView_->setMinimumWidth(240);
  lineView_->setAccessibleName(QStringLiteral("Lines of the source file"));
  lineView_->setAccessibleDescription(QStringLiteral("The arrows mark the line to assign"));
  lineLayout->addWidget(lineView_, 1);
  lineLayout->addWidget(wrapped(QStringLiteral("Choose Next Record when you have reached the first "
                                               "record in your field a second time."),
                                lines));
  btNextRecord_ = new QPushButton(QStringLiteral("&Next Record"), lines);
  btNextRecord_->setObjectName(QStringLiteral("btNextRecord"));
  lineLayout->addWidget(btNextRecord_, 0, Qt::AlignRight);

  auto* middle = new QHBoxLayout;
  middle->addLayout(catalogue, 3);
  middle->addLayout(assignColumn);
  middle->addLayout(chosen, 3);
  middle->addSpacing(6);
  middle->addWidget(samplePanel_, 4);
  middle->addWidget(linePanel_, 4);

  // --- buttons ---
  auto* btRetry = new QPushButton(QStringLiteral("&Start over"), this);
  btRetry->setObjectName(QStringLiteral("BtRetry"));
  auto* btCancel = new QPushButton(QStringLiteral("&Cancel and exit"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  auto* btHelp = new QPushButton(QStringLiteral("&Help"), this);
  btHelp->setObjectName(QStringLiteral("BtHelp"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btRetry);
  buttons->addWidget(btCancel);
  buttons->addStretch(1);
  buttons->addWidget(btHelp);

  auto* top = new QVBoxLayout(this);
  top->addWidget(step);
  top->addWidget(title);
  top->addWidget(instruction);
  top->addWidget(hint);
  top->addSpacing(6);
  top->addLayout(middle, 1);
  top->addSpacing(6);
  top->addLayout(buttons);

  connect(btAssign_, &QPushButton::clicked, this, &TFrmascii::btAssignClick);
  connect(FieldNames_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { FieldNamesClick(FieldNames_->row(item)); });
  // Moving through the list with the keyboard picks an entry as a click does
  // (the focus alone only puts the cursor on the first entry, unselected).
  connect(FieldNames_, &QListWidget::itemSelectionChanged, this, [this] {
    const auto items = FieldNames_->selectedItems();
    if (!items.isEmpty()) FieldNamesClick(FieldNames_->row(items.first()));
  });
  connect(FieldNames_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { FieldNamesDblClick(FieldNames_->row(item)); });
  connect(btNextRecord_, &QPushButton::clicked, this, &TFrmascii::btNextRecordClick);
  connect(btRetry, &QPushButton::clicked, this, &TFrmascii::BtRetryClick);
  connect(btCancel, &QPushButton::clicked, this, &TFrmascii::btCancelClick);
  connect(btHelp, &QPushButton::clicked, this, &TFrmascii::BtHelpClick);

  sethelptopic(this, kAssignHelp);
  setAccessibleDescription(step->text() + QLatin1Char(' ') + title->text());
  btAssign_->setAccessibleDescription(QStringLiteral("Assigns the source field on show to the selected Pennant field"));
  nameaccessibly(this);
  resize(860, 540);

  {
    WaitCursor wait;
    model_.FormCreate();
  }
  preselect();
  render();
  FieldNames_->setFocus();
}

void TFrmascii::preselect() {
  if (guide_) guide_->preselect(model_);
}

void TFrmascii::renderfieldnames() {
  const auto& entries = model_.fieldnames();
  QSignalBlocker quiet(FieldNames_);
  bool same = FieldNames_->count() == static_cast<int>(entries.size());
  for (int i = 0; same && i < FieldNames_->count(); ++i)
    same = FieldNames_->item(i)->data(Qt::UserRole).toString().toStdString() == entries[i].text;
  if (!same) {
    FieldNames_->clear();
    for (const CatalogueEntry& e : entries) {
      auto* item = new QListWidgetItem(labelof(e.text), FieldNames_);
      item->setData(Qt::UserRole, QString::fromStdString(e.text));
    }
  }
  int selected = model_.selectedindex();
  if (selected >= 0 && selected < FieldNames_->count()) {
    FieldNames_->setCurrentRow(selected);
    FieldNames_->scrollToItem(FieldNames_->item(selected));
  } else {
    FieldNames_->setCurrentRow(-1);
    FieldNames_->clearSelection();
  }
}

void TFrmascii::render() {
  renderfieldnames();

  SelectedFields_->clear();
  for (const std::string& text : model_.selectedfields()) SelectedFields_->addItem(labelof(text));
  SelectedFields_->scrollToBottom();

  bool lineView = model_.nextrecordvisible();
  samplePanel_->setVisible(!lineView);
  linePanel_->setVisible(lineView);
  if (lineView) {
    lineView_->clear();
    for (const std::string& line : model_.samplelist()) lineView_->addItem(QString::fromStdString(line));
  } else {
    lblFieldNo_->setText(QString::fromStdString(guide_ ? guide_->fieldcaption(model_)
                                                       : model_.fieldnumbercaption()));
    lblTableField_->setText(QString::fromStdString(model_.tablefieldcaption()));
    for (int k = 0; k < FieldAssignmentModel::kSampleBoxes; ++k) {
      edits_[k]->setText(QString::fromStdString(model_.edits()[k]));
      edits_[k]->setCursorPosition(0);
    }
  }
  btAssign_->setEnabled(model_.assignenabled());
  btNextRecord_->setEnabled(model_.nextrecordenabled());
}

void TFrmascii::closeifdone() {
  switch (model_.result()) {
    case FieldAssignmentModel::Result::Open: return;
    case FieldAssignmentModel::Result::Ok: done(QDialog::Accepted); return;
    case FieldAssignmentModel::Result::Cancel: done(QDialog::Rejected); return;
  }
}

void TFrmascii::btAssignClick() {
  {
    WaitCursor wait;
    model_.btAssignClick();
  }
  preselect();
  render();
  closeifdone();
}

void TFrmascii::FieldNamesClick(int index) {
  model_.FieldNamesClick(index);
  btAssign_->setEnabled(model_.assignenabled());
  btNextRecord_->setEnabled(model_.nextrecordenabled());
}

void TFrmascii::FieldNamesDblClick(int index) {
  {
    WaitCursor wait;
    model_.FieldNamesDblClick(index);
  }
  preselect();
  render();
  closeifdone();
}

void TFrmascii::btNextRecordClick() {
  model_.btNextRecordClick();
  closeifdone();
}

void TFrmascii::BtRetryClick() {
  {
    WaitCursor wait;
    model_.BtRetryClick();
  }
  preselect();
  render();
  FieldNames_->setFocus();
}

void TFrmascii::btCancelClick() {
  model_.btCancelClick();
  closeifdone();
}

void TFrmascii::reject() { btCancelClick(); }

void TFrmascii::BtHelpClick() { showhelp(this, kAssignHelp); }

}  // namespace vesper
