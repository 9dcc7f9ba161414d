// The source file chooser as it comes up after the file type dialog: the real
// file dialog, its filter captions, the pattern in its name box and the
// files it lists, for each file type.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QtTest>

#include "app/importstate.h"
#include "app/wizard.h"
#include "support/fakes.h"
#include "support/modalscript.h"
#include "ui/qtwizarddialogs.h"

using namespace vesper;

namespace {

// The names the dialog lists in the folder on show, sorted.
QStringList listed(QFileDialog* d) {
  auto* view = d->findChild<QListView*>(QStringLiteral("listView"));
  if (!view) return {};
  QStringList names;
  QModelIndex root = view->rootIndex();
  for (int r = 0; r < view->model()->rowCount(root); ++r)
    names << view->model()->index(r, 0, root).data().toString();
  names.sort();
  return names;
}

}  // namespace

class FileChooserTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  testing::RecordingMessages messages_;
  testing::FixedClock clock_;
  testing::FixedDisk disk_;

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    for (const char* name : {"a.csv", "b.txt", "c.dbf", "d.db", "README"}) {
      QFile f(tmp_.filePath(QString::fromLatin1(name)));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
  }

  void presetForEachFileType_data() {
    QTest::addColumn<int>("option");  // of the file type dialog
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("namebox");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("all files") << 0 << "All files (*.*)" << "*"
                               << QStringList{"README", "a.csv", "b.txt", "c.dbf", "d.db"};
    QTest::newRow("comma-delimited") << 1 << "Comma-delimited (*.csv)" << "*.csv" << QStringList{"a.csv"};
    QTest::newRow("text") << 2 << "Text files (*.txt)" << "*.txt" << QStringList{"b.txt"};
    QTest::newRow("dBASE") << 3 << "Dbase files (*.dbf)" << "*.dbf" << QStringList{"c.dbf"};
    QTest::newRow("Paradox") << 4 << "Paradox files (*.db)" << "*.db" << QStringList{"d.db"};
  }

  void presetForEachFileType() {
    QFETCH(int, option);
    QFETCH(QString, caption);
    QFETCH(QString, namebox);
    QFETCH(QStringList, files);
    ImportState state(messages_, clock_, disk_);
    QtWizardDialogs dialogs(state);
    setlastfolder(tmp_.filePath(QStringLiteral("a.csv")).toStdString());

    QStringList captions;
    QString shownCaption, shownName, pick = files.first();
    QStringList shownFiles;
    testing::Script s;
    s.add(QStringLiteral("Open Source File"), [&](QWidget* w) {
      auto* d = qobject_cast<QFileDialog*>(w);
      auto* types = w->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (!d || !types || !name) return;  // not the dialog expected: the script stalls
      for (int i = 0; i < types->count(); ++i) captions << types->itemText(i);
      shownCaption = types->currentText();
      shownName = name->text();
      // The folder is read in the background.
      QElapsedTimer waited;
      waited.start();
      while (listed(d) != files && waited.elapsed() < 5000) QTest::qWait(10);
      shownFiles = listed(d);
      name->setText(pick);
      static_cast<QDialog*>(d)->accept();  // Open, as the button does
    });
    s.start();
    const FileTypeOption& o = filetypeoptions()[option];
    std::string chosen = dialogs.choosesource(o.filter, o.pattern);
    QVERIFY(s.done() && !s.stalled);

    QCOMPARE(captions, (QStringList{"All files (*.*)", "Text files (*.txt)", "Comma-delimited (*.csv)",
                                    "Dbase files (*.dbf)", "Paradox files (*.db)", "vCard files (*.vcf)",
                                    "Excel workbooks (*.xlsx)",
                                    "OpenDocument spreadsheets (*.ods)"}));
    QCOMPARE(shownCaption, caption);
    QCOMPARE(shownName, namebox);
    QCOMPARE(shownFiles, files);
    QCOMPARE(QString::fromStdString(chosen), tmp_.filePath(pick));
  }
};

QTEST_MAIN(FileChooserTest)
#include "filechooser_test.moc"
