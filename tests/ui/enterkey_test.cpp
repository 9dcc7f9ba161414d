// Enter in every window and dialog of the program: it presses the push button
// that has the focus, and the window's default button when the focus is on
// a control that is no push button (a list, a number box, an option).  The
// buttons' own work is taken off them: the test records which one was
// clicked.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>

#include "app/importstate.h"
#include "assign/assignment.h"
#include "source/delimited.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "support/fakes.h"
#include "ui/TFrmSaveImp.h"
#include "ui/TFrmascii.h"
#include "ui/TFrmdateform.h"
#include "ui/TfrmAbort.h"
#include "ui/TfrmAdvanced.h"
#include "ui/TfrmCount.h"
#include "ui/TfrmDoimp.h"
#include "ui/TfrmGetDatabase.h"
#include "ui/TfrmImport.h"
#include "ui/TfrmRandom.h"
#include "ui/Tfrmfiletype.h"
#include "ui/help.h"

using namespace vesper;

namespace {

// An assignment without samples and without the Date Formats question.
struct Quiet : SampleSource, DateFormatAsker {
  std::string sample(int, int) override { return {}; }
  std::string fieldname(int) override { return {}; }
  void askdateformat(AssignState&) override {}
};

// The push buttons of `w` itself (not of windows it owns).
QList<QPushButton*> buttonsof(QWidget* w) {
  QList<QPushButton*> out;
  for (QPushButton* b : w->findChildren<QPushButton*>())
    if (b->window() == w) out << b;
  return out;
}

// The controls of `w` that take the focus from the keyboard and are no push
// button.
QList<QWidget*> othercontrols(QWidget* w) {
  QList<QWidget*> out;
  for (QWidget* c : w->findChildren<QWidget*>()) {
    bool control = qobject_cast<QAbstractItemView*>(c) || qobject_cast<QAbstractSpinBox*>(c) ||
                   qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c);
    if (control && c->window() == w && c->isVisible() && (c->focusPolicy() & Qt::TabFocus)) out << c;
  }
  return out;
}

}  // namespace

class EnterKeyTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  std::string data_;
  testing::RecordingMessages messages_;
  testing::FixedClock clock_;
  testing::FixedDisk disk_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<ImportState> state_;
  std::unique_ptr<TfrmImport> main_;
  QtRunView view_;
  Quiet quiet_;
  std::unique_ptr<DatabaseChooser> chooser_;
  std::unique_ptr<FieldAssignmentModel> model_;
  ContactTable contact_;
  SourceTable source_;
  std::unique_ptr<RecordSource> records_;
  std::unique_ptr<ImportRun> run_;
  QWidget helpOwner_;

  // The record-import window over a small delimited source.
  QDialog* recordwindow() {
    std::string path = tmp_.filePath(QStringLiteral("people.csv")).toStdString();
    std::ofstream(path, std::ios::binary) << "Smith,John,Boston\r\nJones,Ann,Denver\r\n";
    SourceIdentity id = IdentifySource(*state_, path, source_);
    state_->SourceType = id.kind;
    state_->SourceFieldCount = id.fieldcount;
    state_->FieldAssignments[1] = "LastName";
    contact_.close();
    contact_.open(data_, "contact.db");
    records_ = MakeRecordSource(*state_, source_);
    run_ = std::make_unique<ImportRun>(*state_, contact_, *records_, DataPlace::folder(data_), view_);
    return new TfrmDoimp(*run_, *state_, main_->wizard(), view_, main_.get());
  }

  QDialog* assignmentdialog() {
    state_->SourceType = kLinePerField;  // "&Next Record" on show
    if (!contact_.isopen()) contact_.open(data_, "contact.db");
    model_ = std::make_unique<FieldAssignmentModel>(*state_, contact_.fields(), CatalogueLabels{},
                                                    quiet_, quiet_);
    return new TFrmascii(*model_, main_.get());
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    QDir::setCurrent(tmp_.path());
    data_ = tmp_.filePath(QStringLiteral("data")).toStdString();
    createsampledatafolder(data_);
    engine_ = std::make_unique<Engine>(tmp_.filePath(QStringLiteral("engine.cfg")).toStdString());
    engine_->addstandardalias("PNANT", data_, "PARADOX");
    state_ = std::make_unique<ImportState>(messages_, clock_, disk_);
    state_->DatabaseName = "MAIN";
    main_ = std::make_unique<TfrmImport>(*state_, *engine_);
    chooser_ = std::make_unique<DatabaseChooser>(*state_, DataPlace::folder(data_));
  }

  void enterPressesTheFocusedButton_data() {
    QTest::addColumn<std::function<QDialog*()>>("make");
    QTest::addColumn<std::function<void(QDialog*)>>("prepare");  // once shown
    QTest::addColumn<QString>("defaultButton");  // "" when none is on show
    auto none = std::function<void(QDialog*)>([](QDialog*) {});
    auto row = [&](const char* name, std::function<QDialog*()> make, const char* defaultButton,
                   std::function<void(QDialog*)> prepare = {}) {
      QTest::newRow(name) << make << (prepare ? prepare : none) << QString::fromUtf8(defaultButton);
    };
    row("main window", [this] { return new TfrmImport(*state_, *engine_); }, "Start &Import Now");
    row("source file type", [this] { return new Tfrmfiletype(main_.get()); }, "OK");
    row("target database", [this] { return new TfrmGetDatabase(*chooser_, main_.get()); }, "OK");
    row("start assigning fields", [this] { return new TfrmAdvanced(nullptr, main_.get()); },
        "&Select an *.IMP file");
    row("field assignment", [this] { return assignmentdialog(); }, "&Assign>>>");
    row("date formats", [this] { return new TFrmdateform(*state_, main_.get()); }, "OK");
    row("save specification", [this] { return new TFrmSaveImp(main_.get()); },
        "S&ave this configuration");
    row("record import, review", [this] { return recordwindow(); }, "&Accept this contact");
    row("record import, batch", [this] { return recordwindow(); }, "",
        [](QDialog* d) { d->findChild<QStackedWidget*>()->setCurrentIndex(1); });
    row("cancel operation", [this] { return new TfrmAbort(main_.get()); }, "&Yes");
    row("random selection", [this] { return new TfrmRandom(*state_, main_->wizard(), main_.get()); }, "OK");
    row("counting records", [this] { return new TfrmCount(*state_, main_.get()); }, "");
    row("help", [this] {
      showhelp(&helpOwner_, 2300);
      return helpOwner_.findChild<QDialog*>(QStringLiteral("helpwindow"));
    }, "");
  }

  void enterPressesTheFocusedButton() {
    QFETCH(std::function<QDialog*()>, make);
    QFETCH(std::function<void(QDialog*)>, prepare);
    QFETCH(QString, defaultButton);
    QPointer<QDialog> d = make();
    QVERIFY(d);
    // Also when a check fails: the window goes before the run it shows.
    auto closing = qScopeGuard([&] {
      delete d.data();
      run_.reset();
    });
    d->show();
    d->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(d));
    QApplication::processEvents();  // a window may prepare itself once shown
    prepare(d);

    // Every button records its click instead of doing its work; buttons
    // that wait for an earlier step are enabled: only the key is tested.
    QStringList clicked;
    for (QPushButton* b : buttonsof(d)) {
      QObject::disconnect(b, &QAbstractButton::clicked, nullptr, nullptr);
      QObject::connect(b, &QAbstractButton::clicked, d, [&clicked, b] { clicked << b->text(); });
    }
    for (QWidget* w : d->findChildren<QWidget*>()) w->setEnabled(true);

    int pressed = 0;
    for (QPushButton* b : buttonsof(d)) {
      if (!b->isVisible()) continue;
      for (auto [key, modifiers] : {std::pair{Qt::Key_Return, Qt::NoModifier},
                                    std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        b->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), b);
        clicked.clear();
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        QCOMPARE(clicked, QStringList{b->text()});
      }
      ++pressed;
    }
    QVERIFY(pressed > 0);

    QStringList expected;
    if (!defaultButton.isEmpty()) expected << defaultButton;
    for (QWidget* c : othercontrols(d)) {
      c->setFocus(Qt::TabFocusReason);
      clicked.clear();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QVERIFY2(clicked == expected,
               qPrintable(QString("Enter on %1 pressed [%2]").arg(c->metaObject()->className(), clicked.join(", "))));
    }
  }
};

QTEST_MAIN(EnterKeyTest)
#include "enterkey_test.moc"
