// Real exports through the windows with the program's own header recognition
// and proposal: the assignment dialog offers, field by field, the assignment
// a person would make; accepted as it stands and every record accepted, the
// contacts stored are the file's records, whole, and the header line none.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/importstate.h"
#include "assign/columnnames.h"
#include "assign/exportfile.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "store/table.h"
#include "support/contactrows.h"
#include "support/corpora.h"
#include "support/exportcases.h"
#include "support/fakes.h"
#include "support/modalscript.h"
#include "support/qtwidgets.h"
#include "ui/TfrmImport.h"

using namespace vesper;

namespace {

using testing::click;

}  // namespace

class RealExportsTest : public QObject {
  Q_OBJECT

 private slots:
  void acceptedAsProposed_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");  // one contact holds it
    QTest::newRow("Outlook") << "outlook-en-multiline-horde.csv" << 1 << "Memo"
                             << "It's\r\nmultiline\r\nmemo.";
    QTest::newRow("Gmail 2007") << "gmail-2007-sections-horde.csv" << 2 << "Company" << "Example, Corp.";
    QTest::newRow("Google") << "gmail.csv" << 1 << "Memo" << "note\"note";
  }

  void acceptedAsProposed() {
    QFETCH(QString, file);
    QFETCH(int, records);
    QFETCH(QString, field);
    QFETCH(QString, value);
    const testing::ExportCase* c = testing::exportcase(file.toStdString());
    QVERIFY(c);
    const std::string path = testing::pathOf(*c);
    if (c->where == testing::kRoundcube) VESPER_NEEDS_CORPORA_QT();
    QVERIFY2(QFile::exists(QString::fromStdString(path)), path.c_str());

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QDir::setCurrent(tmp.path());
    const std::string data = tmp.filePath(QStringLiteral("data")).toStdString();
    createsampledatafolder(data);
    testing::RecordingMessages messages;
    testing::FixedClock clock;
    testing::FixedDisk disk;
    Engine engine(tmp.filePath(QStringLiteral("engine.cfg")).toStdString());
    engine.addstandardalias("PNANT", data, "PARADOX");
    ImportState state(messages, clock, disk);
    TfrmImport w(state, engine);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    w.dialogs().choosefile = [path](QWidget*, const FileRequest&) { return path; };
    testing::Script pick;
    pick.add(QStringLiteral("Select source file type"), [](QWidget* d) { click(d, QStringLiteral("OK")); });
    pick.add(QStringLiteral("Target database?"), [](QWidget* d) {
      d->findChild<QListWidget*>()->setCurrentRow(0);
      click(d, QStringLiteral("OK"));
    });
    pick.start();
    click(&w, QStringLiteral("&Source File"));
    QVERIFY(w.cbHeader()->isChecked());
    click(&w, QStringLiteral("Target Database"));
    QVERIFY2(pick.done() && !pick.stalled, qPrintable("stopped after " + pick.seen.join(", ")));

    // Assign pressed on every field as the dialog offers it; OK on the date
    // layout it presets.
    const auto names = testing::readExportAs(path, {}, isheaderline).layout.columnnames;
    const auto assigned = testing::expectations(c->assigned);
    QStringList selected, wanted;
    testing::Script s;
    s.add(QStringLiteral("Start assigning fields"), [](QWidget* d) { click(d, QStringLiteral("S&tart assigning fields")); });
    for (const std::string& name : names) {
      auto it = assigned.find(name);
      const QString want = it == assigned.end() ? QStringLiteral("x1notused") : QString::fromStdString(it->second);
      wanted << want.section('/', 0, 0);
      s.add(QStringLiteral("Assign source fields to Pennant fields"), [&selected](QWidget* d) {
        QListWidgetItem* item = d->findChild<QListWidget*>(QStringLiteral("FieldNames"))->currentItem();
        selected << (item && item->isSelected() ? item->data(Qt::UserRole).toString().section(' ', -1) : QString());
        click(d, QStringLiteral("&Assign>>>"));
      });
      if (want.contains('/'))
        s.add(QStringLiteral("Date Formats"), [](QWidget* d) { click(d, QStringLiteral("OK")); });
    }
    s.add(QStringLiteral("Save the import specification file"), [](QWidget* d) { click(d, QStringLiteral("&Start accepting records")); });
    s.add(QStringLiteral("Accept records"), [](QWidget* d) { click(d, QStringLiteral("Accep&t all contacts")); });
    s.start();
    click(&w, QStringLiteral("Start &Import Now"));
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ")));
    QCOMPARE(selected, wanted);

    Table t;
    t.open(data, "CONTACT.DB");
    QCOMPARE(t.recordcount(), static_cast<long long>(records));
    const auto values = testing::sortedcolumn(data, field.toStdString());
    QVERIFY2(std::binary_search(values.begin(), values.end(), value.toStdString()),
             qPrintable(field + " holds none of the expected \"" + value + "\""));
    QString stored;
    for (const std::string& f : testing::columnnamesstored(data, names, assigned)) stored += QString::fromStdString(f) + ' ';
    QVERIFY2(stored.isEmpty(), qPrintable("the header line stored as a contact: " + stored));
    QVERIFY(!QFile::exists(tmp.filePath(QStringLiteral("bad.csv"))) ||
            QFile(tmp.filePath(QStringLiteral("bad.csv"))).size() == 0);
    QDir::setCurrent(QDir::tempPath());
  }
};

QTEST_MAIN(RealExportsTest)
#include "realexports_test.moc"
