#include "ui/TfrmDoimp.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "ui/TfrmAbort.h"
#include "ui/TfrmRandom.h"
#include "ui/help.h"

namespace vesper {

namespace {
constexpr int kListHelp = 800;
constexpr int kDecisionHelp = 2350;
constexpr int kRunHelp = 2309;

QPushButton* panelbutton(const char* text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(QString::fromLatin1(text), parent);
  b->setObjectName(QString::fromLatin1(name));
  return b;
}
}  // namespace

// --- the run's view ---

bool QtRunView::askabort() {
  TfrmAbort question(form_);
  return question.exec() == QDialog::Accepted;
}

void QtRunView::statuschanged() {
  if (form_) form_->updatestatus();
}

void QtRunView::recordchanged() {
  if (form_) form_->showrecord();
}

// --- the window ---

TfrmDoimp::TfrmDoimp(ImportRun& run, ImportState& state, Wizard& wizard, QtRunView& view,
                     QWidget* parent)
    : QDialog(parent), run_(run), state_(state), wizard_(wizard), view_(view) {
  setWindowTitle(QStringLiteral("Accept records"));
  setModal(true);
  view_.attach(this);

  auto* heading = new QLabel(QStringLiteral("Step Four:"), this);
  QFont big = heading->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.4);
  heading->setFont(big);
  auto* intro = new QLabel(
      QStringLiteral(" Select records from the source file to be placed into Pennant."), this);

  datalist_ = new QListWidget(this);
  datalist_->setObjectName(QStringLiteral("datalist"));
  datalist_->setSelectionMode(QAbstractItemView::NoSelection);
  datalist_->setMinimumSize(340, 220);

  preview_ = new QTreeWidget(this);
  preview_->setObjectName(QStringLiteral("preview"));
  preview_->setColumnCount(4);
  preview_->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Stored as"), QStringLiteral("Note"),
                             QStringLiteral("Existing contact")});
  preview_->setRootIsDecorated(false);
  preview_->header()->setStretchLastSection(false);
  preview_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  preview_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  preview_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  preview_->header()->setSectionResizeMode(3, QHeaderView::Stretch);
  preview_->setColumnHidden(3, true);
  duplicate_ = new QLabel(this);
  duplicate_->setObjectName(QStringLiteral("duplicate"));
  duplicate_->setWordWrap(true);
  duplicate_->setVisible(false);
  preview_->setSelectionMode(QAbstractItemView::NoSelection);
  preview_->setMinimumSize(340, 220);
  preview_->setAccessibleName(QStringLiteral("The contact as it will be stored"));

  CheckBox1_ = new QCheckBox(
      QStringLiteral("C&onvert to mixed case. (JOHN SMITH becomes John Smith)"), this);
  CheckBox1_->setObjectName(QStringLiteral("CheckBox1"));

  // Review panel.
  Panel1_ = new QFrame(this);
  Panel1_->setObjectName(QStringLiteral("Panel1"));
  Panel1_->setFrameShape(QFrame::StyledPanel);
  btAcceptOne_ = panelbutton("&Accept this contact", "btAcceptOne", Panel1_);
  btAcceptOne_->setDefault(true);
  auto* btReject = panelbutton("&Reject this contact", "btReject", Panel1_);
  // Shown while the record on display is likely an existing contact.
  btSkip_ = panelbutton("&Skip: keep the existing one", "btSkip", Panel1_);
  btSkip_->setVisible(false);
  auto* btAll = panelbutton("Accep&t all contacts", "btAll", Panel1_);
  auto* btRandom = panelbutton("Acce&pt random", "btRandom", Panel1_);
  auto* btCancel = panelbutton("Cancel", "btCancel", Panel1_);
  auto* btHelp = panelbutton("&Help", "btHelp", Panel1_);
  auto* review = new QVBoxLayout(Panel1_);
  review->addWidget(btAcceptOne_);
  review->addWidget(btReject);
  review->addWidget(btSkip_);
  review->addSpacing(10);
  review->addWidget(btAll);
  review->addWidget(btRandom);
  review->addStretch(1);
  review->addWidget(btCancel);
  review->addWidget(btHelp);

  // Progress panel, in the review panel's place during a batch.
  Panel2_ = new QFrame(this);
  Panel2_->setObjectName(QStringLiteral("Panel2"));
  Panel2_->setFrameShape(QFrame::StyledPanel);
  auto* progressTitle = new QLabel(QStringLiteral("Progress Indicator"), Panel2_);
  QFont bold = progressTitle->font();
  bold.setBold(true);
  progressTitle->setFont(bold);
  progressTitle->setAlignment(Qt::AlignCenter);
  auto counter = [this](const char* name) {
    auto* l = new QLabel(QStringLiteral("0"), Panel2_);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    return l;
  };
  lblAccepted_ = counter("lblAccepted");
  lblRejected_ = counter("lblRejected");
  lblTotal_ = counter("lblTotal");
  auto* bt2Cancel = panelbutton("&Cancel import", "bt2Cancel", Panel2_);
  auto* counters = new QGridLayout;
  counters->addWidget(new QLabel(QStringLiteral("Accepted:"), Panel2_), 0, 0);
  counters->addWidget(lblAccepted_, 0, 1);
  counters->addWidget(new QLabel(QStringLiteral("Rejected:"), Panel2_), 1, 0);
  counters->addWidget(lblRejected_, 1, 1);
  counters->addWidget(new QLabel(QStringLiteral("Total:"), Panel2_), 2, 0);
  counters->addWidget(lblTotal_, 2, 1);
  auto* progress = new QVBoxLayout(Panel2_);
  progress->addWidget(progressTitle);
  progress->addSpacing(8);
  progress->addLayout(counters);
  // Under the counters: the share of the source read, and the time left.
  progressBar_ = new QProgressBar(Panel2_);
  progressBar_->setObjectName(QStringLiteral("progressBar"));
  progressBar_->setRange(0, 1000);
  progressBar_->setTextVisible(false);
  progressBar_->setAccessibleName(QStringLiteral("Share of the source read"));
  timeLeft_ = new QLabel(Panel2_);
  timeLeft_->setObjectName(QStringLiteral("timeLeft"));
  progress->addWidget(progressBar_);
  progress->addWidget(timeLeft_);
  progress->addStretch(1);
  progress->addWidget(bt2Cancel);

  panels_ = new QStackedWidget(this);
  panels_->addWidget(Panel1_);
  panels_->addWidget(Panel2_);
  panels_->setCurrentWidget(Panel1_);

  auto* sourceside = new QVBoxLayout;
  sourceside->addWidget(new QLabel(QStringLiteral("Source record:"), this));
  sourceside->addWidget(datalist_, 1);
  auto* contactside = new QVBoxLayout;
  contactside->addWidget(new QLabel(QStringLiteral("As it will be stored:"), this));
  contactside->addWidget(preview_, 1);
  contactside->addWidget(duplicate_);
  auto* middle = new QHBoxLayout;
  middle->addLayout(sourceside, 1);
  middle->addLayout(contactside, 1);
  middle->addWidget(panels_);

  auto* top = new QVBoxLayout(this);
  top->addWidget(heading);
  top->addWidget(intro);
  top->addSpacing(6);
  top->addLayout(middle, 1);
  top->addWidget(CheckBox1_, 0, Qt::AlignLeft);

  connect(btAcceptOne_, &QPushButton::clicked, this, &TfrmDoimp::btAcceptOneClick);
  connect(btReject, &QPushButton::clicked, this, &TfrmDoimp::btRejectClick);
  connect(btSkip_, &QPushButton::clicked, this, &TfrmDoimp::btSkipClick);
  connect(btAll, &QPushButton::clicked, this, &TfrmDoimp::btAllClick);
  connect(btRandom, &QPushButton::clicked, this, &TfrmDoimp::btRandomClick);
  connect(btCancel, &QPushButton::clicked, this, &TfrmDoimp::btCancelClick);
  connect(btHelp, &QPushButton::clicked, this, &TfrmDoimp::btHelpClick);
  connect(bt2Cancel, &QPushButton::clicked, this, &TfrmDoimp::bt2CancelClick);
  connect(CheckBox1_, &QCheckBox::clicked, this, &TfrmDoimp::CheckBox1Click);

  sethelptopic(this, kRunHelp);
  sethelptopic(datalist_, kListHelp);
  sethelptopic(preview_, kListHelp);
  for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1_, btAcceptOne_, btReject, btAll,
                                                    btRandom, btCancel, bt2Cancel})
    sethelptopic(w, kDecisionHelp);
  sethelptopic(btHelp, kRunHelp);

  resize(980, 440);
  btAcceptOne_->setFocus();
}

TfrmDoimp::~TfrmDoimp() { view_.detach(this); }

void TfrmDoimp::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (created_) return;
  created_ = true;
  // After the window's own event loop has started, so that closing it at
  // once (a source without records) ends that loop.
  QMetaObject::invokeMethod(this, &TfrmDoimp::FormCreate, Qt::QueuedConnection);
}

void TfrmDoimp::FormCreate() {
  if (run_.outcome() != ImportRun::Outcome::Open) return closeifdone();
  run_.start();
  showrecord();
  updatestatus();
  closeifdone();
}

bool TfrmDoimp::batchrunning() const {
  return run_.progressvisible() && run_.outcome() == ImportRun::Outcome::Open;
}

void TfrmDoimp::closeifdone() {
  switch (run_.outcome()) {
    case ImportRun::Outcome::Open: return;
    case ImportRun::Outcome::Ok: done(QDialog::Accepted); return;
    case ImportRun::Outcome::Cancel: done(QDialog::Rejected); return;
  }
}

void TfrmDoimp::showrecord() {
  datalist_->clear();
  for (const std::string& line : run_.lines()) datalist_->addItem(QString::fromStdString(line));
  preview_->clear();
  const ContactPreview& contact = run_.preview();
  std::map<std::string, std::string> existing(contact.existing.fields.begin(), contact.existing.fields.end());
  auto add = [&](const QString& field, const QString& text, const QString& mark) {
    QString other;
    if (auto e = existing.find(field.toStdString()); contact.duplicate && e != existing.end())
      other = QString::fromStdString(e->second).replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    auto* item = new QTreeWidgetItem(preview_, {field, text, mark, other});
    item->setToolTip(1, text);
    if (!mark.isEmpty())
      for (int c = 0; c < 3; ++c) item->setForeground(c, QBrush(Qt::darkRed));
  };
  if (!contact.failure.empty()) {
    add(QString(), QStringLiteral("Not imported"), QString::fromStdString(contact.failure));
  } else if (contact.empty) {
    add(QString(), QStringLiteral("No value to import"), QString());
  }
  for (const PreviewField& f : contact.fields) {
    // A value of several lines (the mailing block, a memo) on one line.
    QString text = QString::fromStdString(f.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" / ")).replace(QLatin1Char('\n'), QStringLiteral(" / "));
    add(QString::fromStdString(f.field), text, QString::fromStdString(f.mark));
  }
  // A likely duplicate: the contact it is like beside it, and the choice to
  // accept it anyway, reject it, or skip it keeping the existing one.
  const bool duplicate = contact.duplicate;
  preview_->setColumnHidden(3, !duplicate);
  duplicate_->setVisible(duplicate);
  if (duplicate)
    duplicate_->setText(contact.existing.key.empty()
                            ? QStringLiteral("Likely the same person as a contact stored earlier in this import.")
                            : QStringLiteral("Likely the same person as the existing contact %1.")
                                  .arg(QString::fromStdString(contact.existing.key)));
  btSkip_->setVisible(duplicate);
  btAcceptOne_->setText(duplicate ? QStringLiteral("&Accept anyway") : QStringLiteral("&Accept this contact"));
}

void TfrmDoimp::updatestatus() {
  lblAccepted_->setText(QString::fromStdString(run_.lblAccepted()));
  lblRejected_->setText(QString::fromStdString(run_.lblRejected()));
  lblTotal_->setText(QString::fromStdString(run_.lblTotal()));
  bool batch = run_.progressvisible();
  QWidget* want = batch ? static_cast<QWidget*>(Panel2_) : Panel1_;
  if (panels_->currentWidget() != want) {
    panels_->setCurrentWidget(want);
    if (batch) Panel2_->findChild<QPushButton*>(QStringLiteral("bt2Cancel"))->setFocus();
  }
  // During a batch only "&Cancel import" takes input.
  CheckBox1_->setEnabled(!batch);
  if (!batch) return;
  const RunProgress p = run_.progress();
  if (p.share < 0) {
    progressBar_->setRange(0, 0);  // the source cannot tell: a busy bar
  } else {
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(static_cast<int>(p.share * 1000));
  }
  QString left;
  if (p.secondsleft >= 0) {
    const long long s = static_cast<long long>(p.secondsleft + 0.5);
    left = s >= 3600 ? QStringLiteral("Time left: %1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                .arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("Time left: %1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
  }
  timeLeft_->setText(left);
}

void TfrmDoimp::CheckBox1Click() { run_.setmixed(CheckBox1_->isChecked()); }

void TfrmDoimp::btAcceptOneClick() {
  if (batchrunning()) return;
  run_.accept();
  run_.next();
  closeifdone();
}

void TfrmDoimp::btSkipClick() {
  if (batchrunning()) return;
  run_.skipduplicate();
  run_.next();
  closeifdone();
}

void TfrmDoimp::btRejectClick() {
  if (batchrunning()) return;
  run_.reject();
  run_.next();
  closeifdone();
}

void TfrmDoimp::btAllClick() {
  if (batchrunning()) return;
  run_.acceptall();
  closeifdone();
}

void TfrmDoimp::btRandomClick() {
  if (batchrunning()) return;
  TfrmRandom random(state_, wizard_, this);
  if (random.exec() != QDialog::Accepted) return;
  run_.acceptrandom();
  closeifdone();
}

void TfrmDoimp::bt2CancelClick() { run_.requestcancel(); }

void TfrmDoimp::btCancelClick() {
  if (batchrunning()) return;
  run_.cancel();
  closeifdone();
}

void TfrmDoimp::btHelpClick() { showhelp(this, kRunHelp); }

void TfrmDoimp::reject() {
  if (run_.outcome() != ImportRun::Outcome::Open) return closeifdone();
  if (batchrunning())
    bt2CancelClick();
  else
    btCancelClick();
}

}  // namespace vesper
