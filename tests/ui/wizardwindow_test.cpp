// The main window and its dialogs driven as a user would: clicks and keys on
// the real windows (offscreen), modal dialogs answered from a timer, the file
// choosers answered through the dialogs' chooser function.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <deque>
#include <functional>

#include <libpq-fe.h>

#include "app/importstate.h"
#include "store/engine.h"
#include "store/dataplace.h"
#include "store/importhistory.h"
#include "store/sampledata.h"
#include "store/table.h"
#include "support/fakes.h"
#include "support/modalscript.h"
#include "support/qtwidgets.h"
#include "support/workbookbuilder.h"
#include "ui/TfrmGetDatabase.h"
#include "ui/TfrmImport.h"
#include "ui/Tfrmfiletype.h"
#include "ui/help.h"

using namespace vesper;

namespace {

using testing::button;

void click(QWidget* w, const QString& text) {
  QAbstractButton* b = button(w, text);
  QVERIFY2(b, qPrintable("no button " + text + " in " + w->windowTitle()));
  QVERIFY2(b->isEnabled(), qPrintable(text + " is disabled"));
  QTest::mouseClick(b, Qt::LeftButton);
}

using testing::Script;

int rowending(QListWidget* list, const QString& name) {
  for (int i = 0; i < list->count(); ++i) {
    QString entry = list->item(i)->data(Qt::UserRole).toString();
    if (entry.isEmpty()) entry = list->item(i)->text();
    if (entry.endsWith(" " + name)) return i;
  }
  return -1;
}

// Selects the catalogue entry of `name` and presses "&Assign>>>".
std::function<void(QWidget*)> assign(const QString& name) {
  return [name](QWidget* w) {
    auto* list = w->findChild<QListWidget*>(QStringLiteral("FieldNames"));
    QVERIFY(list);
    int row = rowending(list, name);
    QVERIFY2(row >= 0, qPrintable("no catalogue entry " + name));
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
    click(w, QStringLiteral("&Assign>>>"));
  };
}

std::function<void(QWidget*)> press(const QString& text) {
  return [text](QWidget* w) { click(w, text); };
}

// The control that takes typed keys: the focused one of the window in front.
QWidget* keytarget() {
  if (QWidget* focused = QApplication::focusWidget()) return focused;
  QWidget* front = QApplication::activeModalWidget();
  if (!front) front = QApplication::activeWindow();
  return front && front->focusWidget() ? front->focusWidget() : front;
}

void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = keytarget();
  QVERIFY2(target, "no window takes keys");
  QTest::keyClick(target, k, modifiers);
}

// Selects the catalogue entry of `name` with the arrow keys and presses
// Return, the assignment dialog's default button.
std::function<void(QWidget*)> keyassign(const QString& name) {
  return [name](QWidget* w) {
    auto* list = w->findChild<QListWidget*>(QStringLiteral("FieldNames"));
    QVERIFY(list);
    QCOMPARE(keytarget(), static_cast<QWidget*>(list));
    const int row = rowending(list, name);
    QVERIFY2(row >= 0, qPrintable("no catalogue entry " + name));
    key(Qt::Key_Home);
    for (int i = 0; i < row; ++i) key(Qt::Key_Down);
    QCOMPARE(list->currentRow(), row);
    key(Qt::Key_Return);
  };
}

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir tmp_;
  QString data_;
  testing::RecordingMessages messages_;
  testing::FixedClock clock_;
  testing::FixedDisk disk_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<ImportState> state_;
  std::unique_ptr<TfrmImport> window_;
  std::vector<FileRequest> requests_;
  std::deque<std::string> answers_;  // what the file choosers answer, in turn

  QString file(const QString& name, const QByteArray& text) {
    QString path = tmp_.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
    return path;
  }

  void pickfile(const std::string& path) { answers_.push_back(path); }

  // Step one through the window: the file type dialog with option `option`,
  // then the chooser answered with `path`.
  void choosesource(int option, const std::string& path) {
    pickfile(path);
    answer(QStringLiteral("&Source File"), QStringLiteral("Select source file type"), [option](QWidget* w) {
      auto* dialog = qobject_cast<Tfrmfiletype*>(w);
      QVERIFY(dialog);
      QTest::mouseClick(dialog->option(option), Qt::LeftButton);
      click(w, QStringLiteral("OK"));
    });
  }

  void choosemain() {
    answer(QStringLiteral("Target Database"), QStringLiteral("Target database?"), [](QWidget* w) {
      auto* list = w->findChild<TTabListBox*>();
      QVERIFY(list && list->count() == 1);
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(0)).center());
      click(w, QStringLiteral("OK"));
    });
  }

  // Presses `opener` on the main window and answers the one dialog it opens.
  void answer(const QString& opener, const QString& title, std::function<void(QWidget*)> act) {
    Script s;
    s.add(title, std::move(act));
    s.start();
    click(window_.get(), opener);
    QVERIFY(s.done() && !s.stalled);
  }

  // The steps that assign a list of people (name, street, city with state
  // and zip, a date of the month-first layout) one field after the other.
  static void assignpeople(Script& s) {
    s.add(QStringLiteral("Start assigning fields"), press(QStringLiteral("S&tart assigning fields")));
    for (const char* field : {"x2firstlast", "Addr1", "x5citystatezip", "Date1"})
      s.add(QStringLiteral("Assign source fields to Pennant fields"), assign(QString::fromLatin1(field)));
    s.add(QStringLiteral("Date Formats"), [](QWidget* w) {
      click(w, QStringLiteral("mmddyy"));
      click(w, QStringLiteral("OK"));
    });
  }

  int contactcount() {
    Table t;
    t.open(data_.toStdString(), "CONTACT.DB");
    int n = 0;
    for (t.first(); !t.atend(); t.next()) ++n;
    return n;
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    QDir::setCurrent(tmp_.path());  // bad.csv and IMPORT.IMP land here
    data_ = tmp_.filePath(QStringLiteral("data"));
    createsampledatafolder(data_.toStdString());
  }

  void init() {
    engine_ = std::make_unique<Engine>(tmp_.filePath(QStringLiteral("engine.cfg")).toStdString());
    if (!engine_->isalias("PNANT")) engine_->addstandardalias("PNANT", data_.toStdString(), "PARADOX");
    messages_.shown.clear();
    state_ = std::make_unique<ImportState>(messages_, clock_, disk_);
    state_->random.pin(7);
    window_ = std::make_unique<TfrmImport>(*state_, *engine_);
    requests_.clear();
    answers_.clear();
    window_->dialogs().choosefile = [this](QWidget*, const FileRequest& r) {
      requests_.push_back(r);
      if (answers_.empty()) return std::string();
      std::string a = answers_.front();
      answers_.pop_front();
      return a;
    };
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    window_.reset();
    state_.reset();
    engine_.reset();
  }

  void startsInStepOne() {
    TfrmImport& w = *window_;
    QCOMPARE(w.windowTitle(), QStringLiteral("Pennant Vesper Import"));
    QCOMPARE(w.lblSource()->text(), QStringLiteral("None Selected"));
    QCOMPARE(w.lblDatabase()->text(), QStringLiteral("None Selected"));
    QVERIFY(w.btSource()->isEnabled());
    QVERIFY(!w.BtPnantDatabase()->isEnabled());
    QVERIFY(!w.btStart()->isEnabled());
    // "Start &Import Now" is the window's default button whenever the focus
    // is on no button (a focused button takes Enter itself).
    if (QWidget* focused = w.focusWidget()) focused->clearFocus();
    QVERIFY(w.btStart()->isDefault());
    w.btSource()->setFocus();
    // Screen order is tab order.
    QList<QWidget*> order{w.btSource(), w.BtPnantDatabase(), w.btStart(), w.btUndo(), w.BtnClear(),
                          w.btExit(), w.btHelp()};
    for (int i = 0; i + 1 < order.size(); ++i) {
      QWidget* next = order[i]->nextInFocusChain();
      while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
      QCOMPARE(next, order[i + 1]);
    }
  }

  // Each file type option presets the chooser's filter and pattern; the
  // dialog opens on all files every time.
  void fileTypePresetsChooser_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("all") << 0 << "All files (*.*)" << "*.*";
    QTest::newRow("csv") << 1 << "Comma-delimited (*.csv)" << "*.csv";
    QTest::newRow("txt") << 2 << "Text files (*.txt)" << "*.txt";
    QTest::newRow("dbf") << 3 << "Dbase files (*.dbf)" << "*.dbf";
    QTest::newRow("db") << 4 << "Paradox files (*.db)" << "*.db";
    QTest::newRow("vcf") << 5 << "vCard files (*.vcf)" << "*.vcf";
    QTest::newRow("xlsx") << 6 << "Excel workbooks (*.xlsx)" << "*.xlsx";
    QTest::newRow("ods") << 7 << "OpenDocument spreadsheets (*.ods)" << "*.ods";
  }
  void fileTypePresetsChooser() {
    QFETCH(int, option);
    QFETCH(QString, filter);
    QFETCH(QString, pattern);
    QString csv = file(QStringLiteral("a.csv"), "a,b,c\r\n");
    choosesource(option, csv.toStdString());
    QCOMPARE(int(requests_.size()), 1);
    const FileRequest& r = requests_[0];
    QCOMPARE(r.title, QStringLiteral("Open Source File"));
    QCOMPARE(r.filters, (QStringList{"All files (*.*)", "Text files (*.txt)",
                                     "Comma-delimited (*.csv)", "Dbase files (*.dbf)",
                                     "Paradox files (*.db)", "vCard files (*.vcf)", "Excel workbooks (*.xlsx)",
                                     "OpenDocument spreadsheets (*.ods)"}));
    QCOMPARE(r.selectedFilter, filter);
    QCOMPARE(r.pattern, pattern);
    QVERIFY(r.mustExist);
    QCOMPARE(window_->lblSource()->text(), csv);
    QVERIFY(window_->BtPnantDatabase()->isEnabled());
    QCOMPARE(window_->focusWidget(), window_->BtPnantDatabase());

    // A second time, pressing OK at once means all files again.
    pickfile(csv.toStdString());
    Script s;
    s.add(QStringLiteral("Select source file type"), [](QWidget* w) {
      auto* d = qobject_cast<Tfrmfiletype*>(w);
      QVERIFY(d->option(0)->isChecked());
      QTest::keyClick(w, Qt::Key_Return);
    });
    s.start();
    click(window_.get(), QStringLiteral("&Source File"));
    QVERIFY(s.done());
    QCOMPARE(requests_.back().selectedFilter, QStringLiteral("All files (*.*)"));
  }

  void cancellingStepOne() {
    QString csv = file(QStringLiteral("a.csv"), "a,b,c\r\n");
    choosesource(1, csv.toStdString());
    QVERIFY(window_->BtPnantDatabase()->isEnabled());
    // Escape on the file type dialog: the caption goes back, the button stays.
    Script s;
    s.add(QStringLiteral("Select source file type"),
          [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    s.start();
    click(window_.get(), QStringLiteral("&Source File"));
    QVERIFY(s.done());
    QCOMPARE(window_->lblSource()->text(), QStringLiteral("None Selected"));
    QVERIFY(window_->BtPnantDatabase()->isEnabled());
    QCOMPARE(int(requests_.size()), 1);  // no chooser after Cancel
    // A cancelled chooser leaves no source either.
    choosesource(0, "");
    QCOMPARE(window_->lblSource()->text(), QStringLiteral("None Selected"));
  }

  // A workbook: no separator to choose, the header check box shows the
  // header row found and a click reads the sheet again without it, another
  // with it.
  void workbookHeaderCheckBox() {
    testing::XlsxContent content;
    content.strings = {"<t>First Name</t>", "<t>Last Name</t>", "<t>Ann</t>", "<t>Ames</t>"};
    content.sheets = {{"People", "<row r=\"1\"><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row>"
                                 "<row r=\"2\"><c t=\"s\"><v>2</v></c><c t=\"s\"><v>3</v></c></row>"}};
    const std::string book = tmp_.filePath(QStringLiteral("people.xlsx")).toStdString();
    testing::writezip(book, testing::xlsxparts(content));
    choosesource(6, book);
    TfrmImport& w = *window_;
    QVERIFY(!w.cbSeparator()->isEnabled());
    QVERIFY(w.cbHeader()->isEnabled());
    QVERIFY(w.cbHeader()->isChecked());
    for (HeaderChoice want : {HeaderChoice::No, HeaderChoice::Yes}) {
      QTest::mouseClick(w.cbHeader(), Qt::LeftButton);
      QCOMPARE(w.wizard().session().chosenlayout().header, want);
      QCOMPARE(w.cbHeader()->isChecked(), want == HeaderChoice::Yes);
    }
  }

  // A file the program is opened with (as a desktop's "Open with") is the
  // source of step one, identified by its content as a chosen one is.
  void opensAGivenFile() {
    const QString csv = file(QStringLiteral("given.txt"), "First;Last;City\r\nAnn;Ames;Boston\r\n");
    TfrmImport& w = *window_;
    w.opensource(csv.toStdString());
    QCOMPARE(w.lblSource()->text(), csv);
    QVERIFY(w.BtPnantDatabase()->isEnabled());
    QCOMPARE(w.focusWidget(), static_cast<QWidget*>(w.BtPnantDatabase()));
    QVERIFY(w.cbSeparator()->isEnabled());
    QCOMPARE(w.wizard().separatorshown, ';');
    QVERIFY(w.cbHeader()->isChecked());
  }

  void databaseChooser() {
    QString csv = file(QStringLiteral("a.csv"), "a,b,c\r\n");
    choosesource(0, csv.toStdString());
    QStringList lines;
    int stop = 0, unit4 = 0;
    Script s;
    s.add(QStringLiteral("Target database?"), [&](QWidget* w) {
      auto* list = w->findChild<TTabListBox*>();
      QVERIFY(list);
      for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
      stop = list->tabStopPixels().at(0);
      unit4 = QFontMetrics(list->font()).averageCharWidth();
      // A double click: press and release, then the double click itself.
      QPoint at = list->visualItemRect(list->item(0)).center();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    });
    s.start();
    click(window_.get(), QStringLiteral("Target Database"));
    QVERIFY(s.done());
    QCOMPARE(lines, QStringList{QStringLiteral("MAIN     \tMain contacts")});
    QVERIFY(qAbs(stop - 15 * unit4) <= 1);  // 60 dialog units = 15 average characters
    QCOMPARE(window_->lblDatabase()->text(), QStringLiteral("MAIN"));
    QVERIFY(window_->btStart()->isEnabled());
    QCOMPARE(window_->focusWidget(), window_->btStart());

    // Cancel keeps the earlier choice; OK without a selection clears it.
    Script cancel;
    cancel.add(QStringLiteral("Target database?"), press(QStringLiteral("Cancel")));
    cancel.start();
    click(window_.get(), QStringLiteral("Target Database"));
    QCOMPARE(window_->lblDatabase()->text(), QStringLiteral("MAIN"));
    Script none;
    none.add(QStringLiteral("Target database?"), [](QWidget* w) {
      w->findChild<TTabListBox*>()->clearSelection();
      click(w, QStringLiteral("OK"));
    });
    none.start();
    click(window_.get(), QStringLiteral("Target Database"));
    QCOMPARE(window_->lblDatabase()->text(), QStringLiteral("None Selected"));
    QVERIFY(!window_->btStart()->isEnabled());

    // Start Over returns to step one.
    choosemain();
    click(window_.get(), QStringLiteral("&Start Over"));
    QCOMPARE(window_->lblSource()->text(), QStringLiteral("None Selected"));
    QCOMPARE(window_->lblDatabase()->text(), QStringLiteral("None Selected"));
    QVERIFY(!window_->BtPnantDatabase()->isEnabled());
    QVERIFY(!window_->btStart()->isEnabled());
  }

  // The start's three checks, each with its error box and nothing opened.
  void startChecks_data() {
    QTest::addColumn<QString>("source");  // "" none chosen, "gone" a deleted file
    QTest::addColumn<bool>("database");
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted source") << "gone" << true << "File not found. Change the source file.";
    QTest::newRow("no source") << "" << true
                               << "You must select a source file (the file containing your list of names)";
    QTest::newRow("no database") << "ok" << false << "You must select a Pennant database";
  }
  void startChecks() {
    QFETCH(QString, source);
    QFETCH(bool, database);
    QFETCH(QString, message);
    QString csv = file(QStringLiteral("b.csv"), "a,b,c\r\n");
    choosesource(0, csv.toStdString());
    if (database) choosemain();
    if (source.isEmpty()) choosesource(0, "");
    if (source == "gone") QFile::remove(csv);
    messages_.shown.clear();
    window_->btStartClick();  // the button may be disabled; the checks still hold
    QCOMPARE(int(messages_.shown.size()), 1);
    QCOMPARE(QString::fromStdString(messages_.shown[0].text), message);
    QCOMPARE(QString::fromStdString(messages_.shown[0].kind), QStringLiteral("error"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void keyboard() {
    TfrmImport& w = *window_;
    // "&Source File" and "&Start Over" share their access key: Alt+S moves
    // the focus between them; Space then presses the focused button.
    w.btHelp()->setFocus();
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    QWidget* first = w.focusWidget();
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    QVERIFY((first == w.btSource() && w.focusWidget() == w.BtnClear()) ||
            (first == w.BtnClear() && w.focusWidget() == w.btSource()));
    w.btSource()->setFocus();
    Script s;
    s.add(QStringLiteral("Select source file type"), [](QWidget* d) {
      click(d, QStringLiteral("&Help"));  // its own topic, beside the dialog
      QWidget* help = d->findChild<QDialog*>(QStringLiteral("helpwindow"));
      QVERIFY(help && help->isVisible());
      QCOMPARE(help->windowTitle(), QString::fromLatin1(helptitle(2302)));
      QTest::keyClick(d, Qt::Key_Escape);
    });
    s.start();
    QTest::keyClick(w.btSource(), Qt::Key_Space);
    QVERIFY(s.done());
    QCOMPARE(s.seen, QStringList{QStringLiteral("Select source file type")});
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    // F1 on a control opens its topic; Alt+H the window's.
    QTest::keyClick(w.btSource(), Qt::Key_F1);
    auto* help = w.findChild<QDialog*>(QStringLiteral("helpwindow"));
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->windowTitle(), QStringLiteral("Importing names and addresses"));
    QVERIFY(help->findChild<QTextBrowser*>()->toPlainText().contains("Step One"));
    help->close();
    // Escape is Exit.
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
  }

  // A whole import with keys alone, each sent to the control that has the
  // focus: the source path typed into the real file chooser, the assignment
  // and the date layout chosen with arrows, the records accepted and
  // rejected by access keys.
  void keyboardOnlyImport() {
    QString csv = file(QStringLiteral("typed.csv"), "ANN KEYES,4 Birch Ln,\"Troy, NY 12180\",03/09/75\r\n"
                                                   "Ben Ford,8 Ash Ct,\"Reno, NV 89501\",11/30/68\r\n"
                                                   "Cy Moss,2 Fir Way,\"Ogden, UT 84401\",05/05/90\r\n");
    window_->dialogs().choosefile = choosefilewithdialog;
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    const int before = contactcount();
    Script s;
    s.add(QStringLiteral("Select source file type"), [](QWidget*) {
      key(Qt::Key_Down);  // "Comma-delimited ASCII files (*.csv)"
      key(Qt::Key_Return);
    });
    s.add(QStringLiteral("Open Source File"), [csv](QWidget*) {
      key(Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(keytarget(), QDir::toNativeSeparators(csv));
      key(Qt::Key_Return);
    });
    s.add(QStringLiteral("Target database?"), [](QWidget*) {
      key(Qt::Key_Space);  // selects the line the cursor is on
      key(Qt::Key_Return);
    });
    s.add(QStringLiteral("Start assigning fields"), [](QWidget*) { key(Qt::Key_T, Qt::AltModifier); });
    for (const char* field : {"x2firstlast", "Addr1", "x5citystatezip", "Date1"})
      s.add(QStringLiteral("Assign source fields to Pennant fields"), keyassign(QString::fromLatin1(field)));
    s.add(QStringLiteral("Date Formats"), [](QWidget* w) {
      for (int i = 0; i < 5; ++i) key(Qt::Key_Down);
      QCOMPARE(button(w, QStringLiteral("mmddyy"))->isChecked(), true);
      key(Qt::Key_Return);
    });
    s.add(QStringLiteral("Save the import specification file"), [](QWidget*) { key(Qt::Key_S, Qt::AltModifier); });
    s.add(QStringLiteral("Accept records"), [](QWidget* w) {
      key(Qt::Key_O, Qt::AltModifier);  // mixed case: an access key clicks a moment later
      QTRY_VERIFY(w->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->isChecked());
      key(Qt::Key_Return);  // accept the first record
    });
    s.add(QStringLiteral("Accept records"), [](QWidget*) { key(Qt::Key_R, Qt::AltModifier); });
    s.add(QStringLiteral("Accept records"), [](QWidget*) { key(Qt::Key_T, Qt::AltModifier); });
    // The record rejected is in the run's report, which is offered: Escape closes the offer.
    s.add(QStringLiteral("Import report"), [](QWidget*) { key(Qt::Key_Escape); });
    s.start();

    // Each step's button has the focus once the step before is done, and
    // tells a screen reader which step it is.
    QStringList announced;
    const QList<Qt::Key> presses{Qt::Key_Space, Qt::Key_Space, Qt::Key_Return};
    for (Qt::Key k : presses) {
      // The window comes to the front again when a dialog closes (here no
      // window manager does it).
      window_->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(window_.get()));
      QWidget* focused = keytarget();
      QVERIFY2(focused, qPrintable("nothing has the focus after " + announced.join(", ") + "; dialogs: " + s.seen.join(", ") + " at " + s.stalledat));
      announced << focused->accessibleDescription().section(QLatin1Char(':'), 0, 0);
      key(k);
    }
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ") + " at " + s.stalledat));
    QCOMPARE(announced, (QStringList{"Step One", "Step Two", "Step Three"}));
    QCOMPARE(QString::fromStdString(window_->wizard().lastendmessage()),
             QStringLiteral("Finished. Imported 2 records."));
    QCOMPARE(contactcount(), before + 2);
    Table t;
    t.open(data_.toStdString(), "CONTACT.DB");
    QMap<QString, QStringList> stored;  // last name: first name, city, date
    for (t.first(); !t.atend(); t.next())
      stored[QString::fromStdString(t.astext(t.fieldindex("LastName")))]
          << QString::fromStdString(t.astext(t.fieldindex("FirstName"))).trimmed()
          << QString::fromStdString(t.astext(t.fieldindex("City")))
          << QString::fromStdString(t.astext(t.fieldindex("Date1")));
    QCOMPARE(stored.value(QStringLiteral("Keyes")), (QStringList{"Ann", "Troy", "1975-03-09"}));
    QCOMPARE(stored.value(QStringLiteral("Moss")), (QStringList{"Cy", "Ogden", "1990-05-05"}));
    QVERIFY(!stored.contains(QStringLiteral("Ford")));
  }

  void helpTopicsAllHaveText() {
    for (int topic : {800, 2300, 2302, 2303, 2305, 2306, 2308, 2309, 2310, 2330, 2350}) {
      showhelp(window_.get(), topic);
      auto* help = window_->findChild<QDialog*>(QStringLiteral("helpwindow"));
      QVERIFY(help);
      QVERIFY2(QString::fromLatin1(helptitle(topic)).size() > 3, qPrintable(QString::number(topic)));
      QCOMPARE(help->windowTitle(), QString::fromLatin1(helptitle(topic)));
      QVERIFY(help->findChild<QTextBrowser*>()->toPlainText().size() > 100);
    }
  }

  // A whole delimited import: file type, chooser, database, advanced
  // options, assignment with a date field, save dialog, review, accept all.
  void delimitedImport() {
    QString csv = file(QStringLiteral("people.csv"),
                       "JOHN SMITH,123 Main St,\"Boston, MA 02134\",12/03/61\r\n"
                       "Mary Jones,9 Elm Rd,\"Denver, CO 80202\",01/15/70\r\n"
                       "bad,line\r\n"
                       "Ann Lee,5 Oak Ave,\"Austin, TX 78701\",07/04/80\r\n"
                       "Bob Stone,1 Pine St,\"Salem, OR 97301\",02/02/82\r\n");
    QFile::remove(tmp_.filePath(QStringLiteral("bad.csv")));
    int before = contactcount();
    choosesource(1, csv.toStdString());
    choosemain();

    QString spec = tmp_.filePath(QStringLiteral("people.imp"));
    pickfile(spec.toStdString());
    QStringList firstRecord;
    Script s;
    assignpeople(s);
    s.add(QStringLiteral("Save the import specification file"),
          press(QStringLiteral("S&ave this configuration")));
    s.add(QStringLiteral("Accept records"), [&](QWidget* w) {
      auto* list = w->findChild<QListWidget*>(QStringLiteral("datalist"));
      QVERIFY(list);
      for (int i = 0; i < list->count(); ++i) firstRecord << list->item(i)->text();
      QTest::mouseClick(w->findChild<QCheckBox*>(QStringLiteral("CheckBox1")), Qt::LeftButton);
      click(w, QStringLiteral("&Accept this contact"));
    });
    s.add(QStringLiteral("Accept records"), press(QStringLiteral("&Reject this contact")));
    s.add(QStringLiteral("Accept records"), press(QStringLiteral("Accep&t all contacts")));
    // The run met a rejected record and a bad line: its report is offered.
    const QString report = tmp_.filePath(QStringLiteral("people-report.csv"));
    s.add(QStringLiteral("Import report"), [&](QWidget* w) {
      pickfile(report.toStdString());
      click(w, QStringLiteral("Save report\u2026"));
    });
    s.start();
    click(window_.get(), QStringLiteral("Start &Import Now"));
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ")));
    QCOMPARE(requests_.back().title, QStringLiteral("Save report"));
    QCOMPARE(requests_.back().defaultSuffix, QStringLiteral("csv"));
    QFile saved(report);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines.value(0), QByteArray("Record,Line,What happened,Field\r"));
    QCOMPARE(lines.size(), 4);  // the header, two records and the end of the last line

    QCOMPARE(firstRecord.value(0), QStringLiteral("(First & Last): JOHN SMITH"));
    QCOMPARE(firstRecord.size(), 4);
    const std::string end =
        "Finished. Imported 3 records.  Some improper records were not imported, and were "
        "placed in the file BAD.CSV";
    QCOMPARE(QString::fromStdString(window_->wizard().lastendmessage()), QString::fromStdString(end));
    bool told = false;
    for (auto& m : messages_.shown) told = told || m.text == end;
    QVERIFY(told);
    QCOMPARE(contactcount(), before + 3);
    QVERIFY(QFile::exists(spec));
    QFile bad(tmp_.filePath(QStringLiteral("bad.csv")));
    QVERIFY(bad.open(QIODevice::ReadOnly));
    QCOMPARE(bad.readAll(), QByteArray("bad,line\r\n"));
    // The save chooser was asked as the user sees it, before the report's.
    const FileRequest& savespec = requests_.end()[-2];
    QCOMPARE(savespec.title, QStringLiteral("Import File Save"));
    QCOMPARE(savespec.filters, QStringList{QStringLiteral("Import Files (*.imp)")});
    QCOMPARE(savespec.defaultSuffix, QStringLiteral("imp"));

    Table t;
    t.open(data_.toStdString(), "CONTACT.DB");
    bool found = false;
    for (t.first(); !t.atend(); t.next()) {
      if (t.astext(t.fieldindex("LastName")) != "Smith") continue;
      found = true;
      // Given names and middle initial share the field: "John" and an empty initial.
      QCOMPARE(QString::fromStdString(t.astext(t.fieldindex("FirstName"))).trimmed(),
               QStringLiteral("John"));
      QCOMPARE(QString::fromStdString(t.astext(t.fieldindex("City"))), QStringLiteral("Boston"));
      QCOMPARE(QString::fromStdString(t.astext(t.fieldindex("DB"))), QStringLiteral("MAIN"));
      QCOMPARE(QString::fromStdString(t.astext(t.fieldindex("Date1"))), QStringLiteral("1961-12-03"));
    }
    QVERIFY(found);
    // Back to the database-chosen state, ready for another start.
    QVERIFY(window_->btStart()->isEnabled());
    QCOMPARE(window_->lblSource()->text(), csv);

    // The saved specification skips the assignment at the next start.
    pickfile(spec.toStdString());
    Script again;
    again.add(QStringLiteral("Start assigning fields"), press(QStringLiteral("&Select an *.IMP file")));
    again.add(QStringLiteral("Accept records"), press(QStringLiteral("Accep&t all contacts")));
    again.add(QStringLiteral("Import report"), press(QStringLiteral("Close")));
    again.start();
    click(window_.get(), QStringLiteral("Start &Import Now"));
    QVERIFY2(again.done() && !again.stalled, qPrintable("stopped after " + again.seen.join(", ")));
    QCOMPARE(requests_.back().filters, QStringList{QStringLiteral("Import Spec (*.IMP)")});
    QCOMPARE(contactcount(), before + 7);
    QVERIFY(QFile::remove(report));  // closing the offer wrote nothing
    QVERIFY(!QFile::exists(report));
  }

  // "Undo last import" names the last run, with its contacts, and takes it
  // back only when answered Yes; then says what was removed.
  void undoLastImport_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
  }
  void undoLastImport() {
    QFETCH(bool, yes);
    const int before = contactcount();
    long long run = 0;
    {
      ContactTable t;
      t.open(data_.toStdString(), "CONTACT.DB");
      run = t.history()->addrun({0, "2024-05-01 10:00:00", "/lists/new.csv", "", "MAIN"});
      t.writer().settrail(run);
      t.writer().begingroup();
      for (int i = 0; i < 3; ++i) {
        t.newrow();
        t.field("Recno").settext("UNDO" + std::to_string(run) + "-" + std::to_string(i));
        t.field("LastName").settext("Undone");
        t.field("DB").settext("MAIN");
        t.store();
      }
      t.writer().commitgroup();
      t.writer().settrail(0);
      ImportRecord counts{run};
      counts.read = counts.imported = 3;
      t.history()->endrun(counts);
    }
    QCOMPARE(contactcount(), before + 3);
    const QString name = QStringLiteral("run %1 of 2024-05-01 10:00:00 from /lists/new.csv").arg(run);
    QString question;
    answer(QStringLiteral("&Undo last import"), QStringLiteral("Undo last import"), [&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      question = box->text();
      click(w, yes ? QStringLiteral("&Yes") : QStringLiteral("&No"));
    });
    QCOMPARE(question, "Undo the import " + name + "? Its 3 contacts will be removed from MAIN, except any changed since.");
    QCOMPARE(contactcount(), yes ? before : before + 3);
    QStringList told;
    for (auto& m : messages_.shown) told << QString::fromStdString(m.text);
    QCOMPARE(told, yes ? QStringList{"Undid the import " + name + ": 3 contacts removed."} : QStringList{});
  }

  // Line-per-field text: the lines of one record assigned, then "&Next Record".
  void linePerFieldImport() {
    QString txt = file(QStringLiteral("cards.txt"),
                       "Jane Doe\r\nAcme Inc\r\n555-1234\r\nTom Hardy\r\nBeta LLC\r\n555-9876\r\n");
    int before = contactcount();
    choosesource(2, txt.toStdString());
    choosemain();
    Script s;
    s.add(QStringLiteral("Start assigning fields"), [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    s.add(QStringLiteral("Assign source fields to Pennant fields"), assign(QStringLiteral("x2firstlast")));
    s.add(QStringLiteral("Assign source fields to Pennant fields"), assign(QStringLiteral("Company")));
    s.add(QStringLiteral("Assign source fields to Pennant fields"), assign(QStringLiteral("Phone1")));
    s.add(QStringLiteral("Assign source fields to Pennant fields"), [](QWidget* w) {
      auto* list = w->findChild<QListWidget*>(QStringLiteral("FieldNames"));
      int row = rowending(list, QStringLiteral("x1notused"));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(row)).center());
      click(w, QStringLiteral("&Next Record"));
    });
    s.add(QStringLiteral("Save the import specification file"),
          [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    s.add(QStringLiteral("Accept records"), press(QStringLiteral("Accep&t all contacts")));
    s.start();
    click(window_.get(), QStringLiteral("Start &Import Now"));
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ")));
    QCOMPARE(state_->SourceFieldCount, 3);
    QCOMPARE(QString::fromStdString(window_->wizard().lastendmessage()),
             QStringLiteral("Finished. Imported 2 records."));
    QCOMPARE(contactcount(), before + 2);
    QVERIFY(QFile::exists(tmp_.filePath(QStringLiteral("IMPORT.IMP"))));
  }

  // A record likely to be a contact already stored is shown beside it, and
  // skipping it keeps the existing one only.
  void duplicateInReview() {
    QString csv = file(QStringLiteral("twice.csv"), "Zoe Quist,5 Oak Ave,\"Austin, TX 78701\",07/04/80\r\n"
                                                    "ZOE QUIST,5 Oak Ave,\"Austin, TX 78701\",07/04/80\r\n");
    const int before = contactcount();
    choosesource(1, csv.toStdString());
    choosemain();
    QString label;
    bool skipshown = false;
    Script s;
    assignpeople(s);
    s.add(QStringLiteral("Save the import specification file"),
          [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    s.add(QStringLiteral("Accept records"), [&](QWidget* w) {
      QVERIFY(!button(w, QStringLiteral("&Skip: keep the existing one"))->isVisible());
      click(w, QStringLiteral("&Accept this contact"));
      label = w->findChild<QLabel*>(QStringLiteral("duplicate"))->text();
      skipshown = button(w, QStringLiteral("&Skip: keep the existing one"))->isVisible();
      click(w, QStringLiteral("&Skip: keep the existing one"));
    });
    // The record skipped is one the run report lists.
    s.add(QStringLiteral("Import report"), press(QStringLiteral("Close")));
    s.start();
    click(window_.get(), QStringLiteral("Start &Import Now"));
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ") + " at " + s.stalledat));
    QVERIFY(skipshown);
    QCOMPARE(label, QStringLiteral("Likely the same person as a contact stored earlier in this import."));
    QCOMPARE(contactcount(), before + 1);
  }

  // The windows over a contact database on the PostgreSQL server of the tests
  // ($VESPER_TEST_POSTGRES): the chooser lists the server's databases, the
  // review shows the contact each record will become, and the contacts
  // accepted are stored on the server.
  void serverDatabase() {
    const std::string conninfo = qEnvironmentVariable("VESPER_TEST_POSTGRES").toStdString();
    if (conninfo.empty()) {
      if (!qEnvironmentVariableIsEmpty("VESPER_TEST_POSTGRES_REQUIRED"))
        QFAIL("VESPER_TEST_POSTGRES is not set, though a server is required");
      QSKIP("VESPER_TEST_POSTGRES is not set: no PostgreSQL server for this test (.ci/pgcluster starts one)");
    }
    const ServerDatabase server{conninfo, "test_ui_" + std::to_string(QCoreApplication::applicationPid())};
    struct Dropped {  // the schema goes whatever the test's outcome
      const ServerDatabase& server;
      ~Dropped() {
        PGconn* c = PQconnectdb(server.connection.c_str());
        PQclear(PQexec(c, ("SET client_min_messages TO warning; DROP SCHEMA IF EXISTS " + server.schema +
                           " CASCADE").c_str()));
        PQfinish(c);
      }
    } dropped{server};
    createserverdatabase(server);
    const QString cfg = tmp_.filePath(QStringLiteral("server.cfg"));
    file(QStringLiteral("server.cfg"), QByteArray::fromStdString("[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" + conninfo +
                                                                 "\nSCHEMA=" + server.schema + "\n"));
    window_.reset();
    engine_ = std::make_unique<Engine>(cfg.toStdString());
    window_ = std::make_unique<TfrmImport>(*state_, *engine_);
    window_->dialogs().choosefile = [this](QWidget*, const FileRequest&) {
      std::string a = answers_.empty() ? std::string() : answers_.front();
      if (!answers_.empty()) answers_.pop_front();
      return a;
    };
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

    QString csv = file(QStringLiteral("team.csv"), "ANN LEE,5 Oak Ave,\"Austin, TX 78701\",07/04/80\r\n"
                                                  "Bob Stone,1 Pine St,\"Salem, OR 97301\",02/02/82\r\n");
    choosesource(1, csv.toStdString());
    choosemain();  // the one database of the server's list
    QMap<QString, QString> shown;
    Script s;
    assignpeople(s);
    s.add(QStringLiteral("Save the import specification file"),
          [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    s.add(QStringLiteral("Accept records"), [&](QWidget* w) {
      QTest::mouseClick(w->findChild<QCheckBox*>(QStringLiteral("CheckBox1")), Qt::LeftButton);
      auto* preview = w->findChild<QTreeWidget*>(QStringLiteral("preview"));
      QVERIFY(preview);
      for (int i = 0; i < preview->topLevelItemCount(); ++i)
        shown[preview->topLevelItem(i)->text(0)] = preview->topLevelItem(i)->text(1);
      click(w, QStringLiteral("Accep&t all contacts"));
    });
    s.start();
    click(window_.get(), QStringLiteral("Start &Import Now"));
    QString told;
    for (auto& m : messages_.shown) told += QString::fromStdString(m.text) + "; ";
    QVERIFY2(s.done() && !s.stalled, qPrintable("stopped after " + s.seen.join(", ") + " at " + s.stalledat + "; messages: " + told));
    QCOMPARE(QString::fromStdString(window_->wizard().lastendmessage()), QStringLiteral("Finished. Imported 2 records."));
    QCOMPARE(shown.value(QStringLiteral("LastName")), QStringLiteral("Lee"));
    QCOMPARE(shown.value(QStringLiteral("FirstName")), QStringLiteral("Ann"));
    QCOMPARE(shown.value(QStringLiteral("City")), QStringLiteral("Austin"));
    QCOMPARE(shown.value(QStringLiteral("Date1")), QStringLiteral("1980-07-04"));
    Table t;
    DataPlace::server(server).open(t, "CONTACT.DB");
    QStringList stored;
    for (t.first(); !t.atend(); t.next()) {
      stored << QString::fromStdString(t.astext(t.fieldindex("LastName")));
      if (stored.back() == QStringLiteral("Lee"))
        QCOMPARE(QString::fromStdString(t.astext(t.fieldindex("Recno"))), shown.value(QStringLiteral("Recno")));
    }
    stored.sort();
    QCOMPARE(stored, (QStringList{QStringLiteral("Lee"), QStringLiteral("Stone")}));
  }
};

QTEST_MAIN(WizardTest)
#include "wizardwindow_test.moc"
