// The main window on an export with a header line: what was recognised is
// shown and can be changed, and the assignment dialog offers the proposed
// assignment, which accepted field by field as it stands is what was
// proposed.  The header recognition and the proposal are stand-ins here.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/importstate.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "support/fakes.h"
#include "support/headedsource.h"
#include "support/modalscript.h"
#include "support/qtwidgets.h"
#include "ui/TfrmImport.h"

using namespace vesper;

namespace {

using testing::click;

const std::vector<std::string> kColumns = {"Name", "Business Street", "Business Postal Code",
                                           "E-mail Address", "Birthday", "Notes", "Mobile Phone"};

}  // namespace

class HeadedExportTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir tmp_;
  testing::RecordingMessages messages_;
  testing::FixedClock clock_;
  testing::FixedDisk disk_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<ImportState> state_;
  std::unique_ptr<TfrmImport> window_;
  testing::HeadedOpener headed_;

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    QDir::setCurrent(tmp_.path());
    createsampledatafolder(tmp_.filePath(QStringLiteral("data")).toStdString());
    engine_ = std::make_unique<Engine>(tmp_.filePath(QStringLiteral("engine.cfg")).toStdString());
    engine_->addstandardalias("PNANT", tmp_.filePath(QStringLiteral("data")).toStdString(), "PARADOX");
    state_ = std::make_unique<ImportState>(messages_, clock_, disk_);
    window_ = std::make_unique<TfrmImport>(*state_, *engine_);
    ImportSession& session = window_->wizard().session();
    session.setsourceopener(headed_.opener());
    session.setheaderjudge(testing::wordjudge(kColumns));
    session.setproposer([](const std::vector<std::string>&, const std::vector<std::vector<std::string>>&,
                           const std::vector<FieldDef>&, const CatalogueLabels&) {
      return std::vector<ColumnProposal>{{"x2firstlast"}, {"Addr1"}, {"Zip"}, {"Email"},
                                         {"Date1", 6},    {"Memo"},  {""}};
    });
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void proposalAcceptedAsItStands() {
    QString csv = tmp_.filePath(QStringLiteral("export.csv"));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Name,Business Street,Business Postal Code,E-mail Address,Birthday,Notes,Mobile Phone\r\n"
            "Ann Ames,1 Elm St,02134,ann@example.org,15.03.1961,Met in Leeds,555-0100\r\n");
    f.close();
    TfrmImport& w = *window_;
    QVERIFY(!w.cbSeparator()->isEnabled() && !w.cbHeader()->isEnabled());
    w.dialogs().choosefile = [csv](QWidget*, const FileRequest&) { return csv.toStdString(); };
    testing::Script pick;
    pick.add(QStringLiteral("Select source file type"), [](QWidget* d) { click(d, QStringLiteral("OK")); });
    pick.add(QStringLiteral("Target database?"), [](QWidget* d) {
      d->findChild<QListWidget*>()->setCurrentRow(0);
      click(d, QStringLiteral("OK"));
    });
    pick.start();
    click(&w, QStringLiteral("&Source File"));

    // What was recognised, then changed by the user and recognised again.
    QVERIFY(w.cbSeparator()->isEnabled() && w.cbHeader()->isEnabled());
    QCOMPARE(w.cbSeparator()->currentText(), QStringLiteral("Comma (,)"));
    QVERIFY(w.cbHeader()->isChecked());
    QTest::mouseClick(w.cbHeader(), Qt::LeftButton);
    QCOMPARE(headed_.choices.back().header, HeaderChoice::No);
    QVERIFY(!w.cbHeader()->isChecked());
    QTest::mouseClick(w.cbHeader(), Qt::LeftButton);
    QCOMPARE(headed_.choices.back().header, HeaderChoice::Yes);
    QVERIFY(w.cbHeader()->isChecked());
    w.cbSeparator()->setFocus();
    QTest::keyClick(w.cbSeparator(), Qt::Key_Down);
    QCOMPARE(headed_.choices.back().separator, ';');
    QCOMPARE(w.cbSeparator()->currentText(), QStringLiteral("Semicolon (;)"));
    QTest::keyClick(w.cbSeparator(), Qt::Key_Up);
    QCOMPARE(headed_.choices.back().separator, ',');

    click(&w, QStringLiteral("Target Database"));
    QVERIFY(pick.done() && !pick.stalled);

    QStringList captions, selected;
    int presetDate = 0;
    testing::Script s;
    s.add(QStringLiteral("Start assigning fields"), [](QWidget* d) { click(d, QStringLiteral("S&tart assigning fields")); });
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
      s.add(QStringLiteral("Assign source fields to Pennant fields"), [&](QWidget* d) {
        captions << d->findChild<QLabel*>(QStringLiteral("lblFieldNo"))->text();
        auto* list = d->findChild<QListWidget*>(QStringLiteral("FieldNames"));
        QListWidgetItem* item = list->currentItem();
        selected << (item && item->isSelected() ? item->data(Qt::UserRole).toString().section(' ', -1) : QString());
        click(d, QStringLiteral("&Assign>>>"));
      });
      if (i == 4)
        s.add(QStringLiteral("Date Formats"), [&](QWidget* d) {
          for (QRadioButton* rb : d->findChildren<QRadioButton*>())
            if (rb->isChecked()) presetDate = rb->text() == QStringLiteral("ddmmyyyy") ? 6 : -1;
          click(d, QStringLiteral("OK"));
        });
    }
    s.add(QStringLiteral("Save the import specification file"), [](QWidget* d) { click(d, QStringLiteral("&Start accepting records")); });
    s.add(QStringLiteral("Accept records"), [](QWidget* d) { click(d, QStringLiteral("Accep&t all contacts")); });
    s.start();
    click(&w, QStringLiteral("Start &Import Now"));
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ")));

    QCOMPARE(captions.value(0), QStringLiteral("Field No. 1 - Name"));
    QCOMPARE(captions.value(2), QStringLiteral("Field No. 3 - Business Postal Code"));
    QCOMPARE(selected, (QStringList{"x2firstlast", "Addr1", "Zip", "Email", "Date1", "Memo", "x1notused"}));
    QCOMPARE(presetDate, 6);
    const std::vector<std::string> want = {"x2firstlast", "Addr1", "Zip", "Email", "Date1", "Memo", "x1notused"};
    for (int i = 1; i <= 7; ++i) QCOMPARE(state_->FieldAssignments[i], want[i - 1]);
    QCOMPARE(state_->DateFormats[5], 6);
  }

  void cleanupTestCase() {
    window_.reset();
    state_.reset();
    engine_.reset();
  }
};

QTEST_MAIN(HeadedExportTest)
#include "headedexport_test.moc"
