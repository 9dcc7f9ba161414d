// The assignment, date format, record-import and random selection windows,
// driven with mouse and keys over the real wizard, tables and source files.
// Message boxes are recorded instead of shown; modal dialogs are answered by
// a timer that waits for them to come up.
//
// With VESPER_UI_SHOTS set to a folder, every window is also saved there as
// a PNG, to look at the layouts.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/wizard.h"
#include "assign/catalogue.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "support/contactrows.h"
#include "support/corpora.h"
#include "support/fakes.h"
#include "ui/TFrmascii.h"
#include "ui/TFrmdateform.h"
#include "ui/TfrmAbort.h"
#include "ui/TfrmCount.h"
#include "ui/TfrmDoimp.h"
#include "ui/TfrmRandom.h"
#include "ui/help.h"

namespace fs = std::filesystem;
using namespace vesper;

namespace {

// Recorded message boxes; "let messages run" runs the Qt events and, when
// set, a hook that sees how many times it has been called.
struct UiMessages : testing::RecordingMessages {
  std::function<void(int)> onEvents;
  void processevents() override {
    RecordingMessages::processevents();
    QCoreApplication::processEvents();
    // A copy: the hook may clear itself while it runs.
    if (auto hook = onEvents) hook(events);
  }
};

// A fixed date and time whose millisecond ticks move on at every reading, so
// that the run's timed refreshes happen as they would on screen.
struct TickingClock : testing::FixedClock {
  std::int64_t ticks() override { return ++tick; }
};

template <class T = QAbstractButton>
T* child(QWidget* w, const char* name) {
  return w->findChild<T*>(QString::fromLatin1(name));
}

void click(QWidget* w, const char* name) {
  auto* b = child(w, name);
  QVERIFY2(b, name);
  QVERIFY2(b->isVisible() && b->isEnabled(), name);
  QTest::mouseClick(b, Qt::LeftButton);
}

QAbstractButton* buttontext(QWidget* w, const QString& text) {
  for (auto* b : w->findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

void shot(QWidget* w, const char* name) {
  QByteArray folder = qgetenv("VESPER_UI_SHOTS");
  if (folder.isEmpty()) return;
  w->grab().save(QString::fromLocal8Bit(folder) + "/" + name + ".png");
}

// Runs `act` on the modal dialog of type T once it is the active modal
// widget; `seen` tells whether it came up within a few seconds.
template <class T>
void whenmodal(std::function<void(T&)> act, std::shared_ptr<bool> seen = nullptr) {
  auto* timer = new QTimer;
  auto waited = std::make_shared<QElapsedTimer>();
  waited->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!d && waited->elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    if (!d) return;
    if (seen) *seen = true;
    act(*d);
  });
  timer->start(5);
}

// The wizard's dialogs: the windows under test, each given a script that
// runs once it is up; a window the script leaves open is cancelled.
struct TestDialogs : WizardDialogs {
  ImportState* state = nullptr;
  Wizard* wizard = nullptr;
  QtRunView view;
  QtDateFormatAsker dates;
  std::function<void(TFrmascii&)> onAssign;
  std::function<void()> beforeRun;
  std::function<void(TfrmDoimp&, ImportRun&)> onRun;
  int assignResult = -1, runResult = -1;
  bool runOffered = false;  // a record was on display

  bool filetype(int&) override { return false; }
  std::string choosesource(int, const std::string&) override { return {}; }
  void choosedatabase(DatabaseChooser&) override {}
  std::string advanced() override { return {}; }
  std::string savespec() override { return {}; }
  RunView& runview() override { return view; }
  DateFormatAsker& dateformats() override { return dates; }

  void assignfields(FieldAssignmentModel& model) override {
    TFrmascii dialog(model);
    QTimer::singleShot(0, &dialog, [&] {
      if (onAssign) onAssign(dialog);
      if (dialog.isVisible()) dialog.reject();
    });
    assignResult = dialog.exec();
  }
  void runimport(ImportRun& run) override {
    if (beforeRun) beforeRun();
    TfrmDoimp dialog(run, *state, *wizard, view);
    QTimer::singleShot(0, &dialog, [&] {
      auto* list = child<QListWidget>(&dialog, "datalist");
      for (int i = 0; i < 400 && list->count() == 0 && run.outcome() == ImportRun::Outcome::Open; ++i)
        QTest::qWait(5);
      runOffered = run.outcome() == ImportRun::Outcome::Open;
      if (onRun) onRun(dialog, run);
      if (run.outcome() == ImportRun::Outcome::Open) dialog.reject();
    });
    runResult = dialog.exec();
  }
};

struct Fixture {
  fs::path dir;
  fs::path cwd = fs::current_path();
  UiMessages messages;
  TickingClock clock;
  testing::FixedDisk disk;
  ImportState state{messages, clock, disk};
  std::unique_ptr<Engine> engine;
  TestDialogs dialogs;
  std::unique_ptr<Wizard> wizard;

  Fixture() {
    static int serial = 0;
    dir = fs::temp_directory_path() /
          ("vesper-forms-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    fs::remove_all(dir);
    createsampledatafolder((dir / "data").string());
    std::ofstream((dir / "engine.cfg").string())
        << "[PNANT]\nTYPE=STANDARD\nPATH=" << (dir / "data").string() << "\nDEFAULT DRIVER=PARADOX\n";
    engine = std::make_unique<Engine>((dir / "engine.cfg").string());
    wizard = std::make_unique<Wizard>(state, *engine, dialogs);
    dialogs.state = &state;
    dialogs.wizard = wizard.get();
    wizard->FormCreate();
    clock.time = {2026, 3, 14, 10, 30, 0, 0};
    fs::current_path(dir);
  }
  ~Fixture() {
    wizard->CloseAllSources();
    fs::current_path(cwd);
    fs::remove_all(dir);
  }
  std::string source(const std::string& name, const std::string& text) {
    std::ofstream((dir / name).string(), std::ios::binary) << text;
    return (dir / name).string();
  }
  void start(const std::string& path) {
    wizard->setsource(path);
    wizard->lblDatabase = "MAIN";
    state.DatabaseName = "MAIN";
    wizard->btStartClick();
  }
  std::vector<std::string> column(const std::string& field) { return testing::sortedcolumn(dir / "data", field); }
};

// --- the catalogue list ---

QListWidget* fieldnames(TFrmascii& d) { return child<QListWidget>(&d, "FieldNames"); }

// Row of the entry for a contact field name or combined code; -1 if none.
int rowof(TFrmascii& d, const std::string& name) {
  QListWidget* list = fieldnames(d);
  for (int i = 0; i < list->count(); ++i)
    if (entryname(list->item(i)->data(Qt::UserRole).toString().toStdString()) == name) return i;
  return -1;
}

std::string nameatrow(TFrmascii& d, int row) {
  return entryname(fieldnames(d)->item(row)->data(Qt::UserRole).toString().toStdString());
}

QPoint itemcentre(QListWidget* list, int row) {
  list->scrollToItem(list->item(row));
  return list->visualItemRect(list->item(row)).center();
}

void pick(TFrmascii& d, const std::string& name) {
  int row = rowof(d, name);
  QVERIFY2(row >= 0, name.c_str());
  QTest::mouseClick(fieldnames(d)->viewport(), Qt::LeftButton, {}, itemcentre(fieldnames(d), row));
}

void assign(TFrmascii& d, const std::string& name) {
  pick(d, name);
  click(&d, "btAssign");
}

void dblassign(TFrmascii& d, const std::string& name) {
  int row = rowof(d, name);
  QVERIFY2(row >= 0, name.c_str());
  // A double click as the mouse makes it: a click, then the double click.
  QPoint at = itemcentre(fieldnames(d), row);
  QTest::mouseClick(fieldnames(d)->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(fieldnames(d)->viewport(), Qt::LeftButton, {}, at);
}

QStringList texts(QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

QStringList sampleboxes(TFrmascii& d) {
  QStringList out;
  for (int k = 1; k <= 8; ++k) out << child<QLineEdit>(&d, QString("Edit%1").arg(k).toLatin1())->text();
  return out;
}

std::string records(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i)
    out += "Last" + std::to_string(i) + ",First" + std::to_string(i) + ",City" + std::to_string(i) + "\r\n";
  return out;
}

// Assigns the three fields of records().
void assignthree(TFrmascii& d) {
  assign(d, "LastName");
  assign(d, "FirstName");
  assign(d, "City");
}

QString label(QWidget* w, const char* name) { return child<QLabel>(w, name)->text(); }

}  // namespace

class FormsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<Fixture> f;

 private slots:
  void init() { f = std::make_unique<Fixture>(); }
  void cleanup() { f.reset(); }

  void assignmentWithClicksAndDoubleClicks() {
    std::string src = f->source("people.csv", "Smith,John,Boston\r\nJones,,Denver\r\nBrown,Mary,Austin\r\n");
    std::string secondName;
    int reselectRow = -1;
    f->dialogs.onAssign = [&](TFrmascii& d) {
      shot(&d, "assign-delimited");
      QCOMPARE(d.windowTitle(), QString("Assign source fields to Pennant fields"));
      QCOMPARE(label(&d, "lblFieldNo"), QString("Field No. 1"));
      QCOMPARE(sampleboxes(d).mid(0, 4),
               QStringList({"Smith", "Jones", "Brown", "Data NOT Found."}));
      QVERIFY(child<QLineEdit>(&d, "Edit1")->isReadOnly());
      QVERIFY(!child(&d, "btAssign")->isEnabled());
      QVERIFY(!child(&d, "btNextRecord")->isVisible());
      // The lists show labels only.
      QCOMPARE(fieldnames(d)->item(rowof(d, "x1notused"))->text(), QString("(Not used)"));
      for (const QString& t : texts(fieldnames(d))) QVERIFY2(!t.contains("  "), qPrintable(t));

      pick(d, "LastName");
      QVERIFY(child(&d, "btAssign")->isEnabled());
      reselectRow = fieldnames(d)->currentRow();
      click(&d, "btAssign");
      QCOMPARE(texts(child<QListWidget>(&d, "SelectedFields")).size(), 1);
      QCOMPARE(label(&d, "lblFieldNo"), QString("Field No. 2"));
      // The second field: one record without a value.
      QCOMPARE(sampleboxes(d).mid(0, 3), QStringList({"John", "Mary", "Data NOT Found."}));
      // The entry now at the same place is selected, ready for the next click.
      QCOMPARE(fieldnames(d)->currentRow(), reselectRow);
      QVERIFY(child(&d, "btAssign")->isEnabled());
      secondName = nameatrow(d, reselectRow);
      click(&d, "btAssign");
      QCOMPARE(label(&d, "lblFieldNo"), QString("Field No. 3"));
      dblassign(d, "City");
    };
    f->start(src);
    QCOMPARE(f->dialogs.assignResult, int(QDialog::Accepted));
    QCOMPARE(f->state.FieldAssignments[1], std::string("LastName"));
    QVERIFY(!secondName.empty());
    QCOMPARE(f->state.FieldAssignments[2], secondName);
    QCOMPARE(f->state.FieldAssignments[3], std::string("City"));
    QCOMPARE(f->state.SourceFieldCount, 3);
  }

  void startOverAndCancel() {
    std::string src = f->source("people.csv", records(2));
    f->dialogs.onAssign = [&](TFrmascii& d) {
      assign(d, "LastName");
      QCOMPARE(f->state.FieldAssignments[1], std::string("LastName"));
      QVERIFY(rowof(d, "LastName") < 0);
      click(&d, "BtRetry");
      QCOMPARE(f->state.FieldAssignments[1], std::string());
      QVERIFY(rowof(d, "LastName") >= 0);
      QCOMPARE(child<QListWidget>(&d, "SelectedFields")->count(), 0);
      QCOMPARE(label(&d, "lblFieldNo"), QString("Field No. 1"));
      QVERIFY(!child(&d, "btAssign")->isEnabled());
      // Escape is "&Cancel and exit".
      QTest::keyClick(&d, Qt::Key_Escape);
    };
    f->start(src);
    QCOMPARE(f->dialogs.assignResult, int(QDialog::Rejected));
    QVERIFY(!f->dialogs.runOffered);
  }

  void dateField_data() {
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QString>("pivot");  // typed into the box; "=" leaves it
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("message");
    QTest::newRow("OK at once") << QStringList() << "=" << "OK" << 2 << 20 << "";
    QTest::newRow("two clicks, Cancel") << QStringList({"dd mmm yy", "mmddyy"}) << "55" << "Cancel"
                                        << 3 << 33 << "";
    QTest::newRow("pivot 50") << QStringList({"yyyy mmm dd"}) << "50" << "OK" << 8 << 50 << "";
    QTest::newRow("empty pivot") << QStringList({"ddmmyy"}) << "" << "OK" << 5 << 33
                                 << "'' is not a valid integer value";
    QTest::newRow("Escape") << QStringList({"dd mmm yyyy"}) << "=" << "Escape" << 12 << 33 << "";
  }

  void dateField() {
    QFETCH(QStringList, choices);
    QFETCH(QString, pivot);
    QFETCH(QString, button);
    QFETCH(int, code);
    QFETCH(int, year);
    QFETCH(QString, message);
    std::string src = f->source("dates.csv", "Smith,John,1999/12/03\r\n");
    auto seen = std::make_shared<bool>(false);
    f->dialogs.onAssign = [&](TFrmascii& d) {
      // The pivot set by an earlier date field of the same import.
      f->state.DateFormats[0] = 33;
      assign(d, "LastName");
      assign(d, "FirstName");
      whenmodal<TFrmdateform>([&](TFrmdateform& form) {
        shot(&form, "dateform");
        QCOMPARE(form.windowTitle(), QString("Date Formats"));
        QVERIFY(child<QRadioButton>(&form, "RadioButton1")->isChecked());
        QCOMPARE(child<QRadioButton>(&form, "RadioButton1")->text(), QString("yyyymmdd"));
        for (const QString& c : choices) {
          QAbstractButton* rb = buttontext(&form, c);
          QVERIFY2(rb, qPrintable(c));
          QTest::mouseClick(rb, Qt::LeftButton, {}, QPoint(6, rb->height() / 2));
        }
        QCOMPARE(helptopic(child<QWidget>(&form, "SpinEdit1")), 2300);
        auto* box = child<QWidget>(&form, "SpinEdit1")->findChild<QLineEdit*>();
        QCOMPARE(box->text(), QString("20"));
        if (pivot != "=") {
          box->selectAll();
          QTest::keyClick(box, Qt::Key_Backspace);
          QTest::keyClicks(box, pivot);
        }
        if (button == "Escape")
          QTest::keyClick(&form, Qt::Key_Escape);
        else
          QTest::mouseClick(buttontext(&form, button), Qt::LeftButton);
      }, seen);
      pick(d, "Date1");
      click(&d, "btAssign");
    };
    f->start(src);
    QVERIFY(*seen);
    QCOMPARE(f->dialogs.assignResult, int(QDialog::Accepted));
    QCOMPARE(f->state.FieldAssignments[3], std::string("Date1"));
    QCOMPARE(f->state.DateFormats[3], code);
    QCOMPARE(f->state.DateFormats[0], year);
    QCOMPARE(f->messages.texts().empty() ? std::string() : f->messages.texts().front(),
             message.toStdString());
  }

  void linePerFieldNextRecordAndReview() {
    std::string src = f->source("people.txt",
                                "John Smith\r\n12 Main St\r\nBoston\r\n"
                                "Jane Doe\r\n4 Elm Rd\r\nDenver");
    f->dialogs.onAssign = [&](TFrmascii& d) {
      shot(&d, "assign-lineperfield");
      auto* lines = child<QListWidget>(&d, "SampleList");
      QVERIFY(lines->isVisible());
      QVERIFY(!child<QWidget>(&d, "SamplePanel")->isVisible());
      QCOMPARE(lines->item(0)->text(), QString("John Smith  <<<<<<"));
      QVERIFY(child(&d, "btNextRecord")->isVisible());
      QVERIFY(!child(&d, "btNextRecord")->isEnabled());
      // Before the first line is assigned, "&Next Record" is refused.
      pick(d, "LastName");
      click(&d, "btNextRecord");
      QVERIFY(d.isVisible());
      QCOMPARE(f->messages.texts().back(), std::string("Assign at least one field before going on."));
      assign(d, "LastName");
      assign(d, "Addr1");
      assign(d, "City");
      // The arrows have reached the first line of the second record.
      QVERIFY(texts(lines).contains("Jane Doe  <<<<<<"));
      click(&d, "btNextRecord");
    };
    QStringList first, second;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      first = texts(child<QListWidget>(&d, "datalist"));
      click(&d, "btAcceptOne");
      second = texts(child<QListWidget>(&d, "datalist"));
      click(&d, "btAcceptOne");
    };
    f->start(src);
    QCOMPARE(f->dialogs.assignResult, int(QDialog::Accepted));
    QCOMPARE(f->state.SourceFieldCount, 3);
    QCOMPARE(first, QStringList({"LastName: John Smith", "Addr1: 12 Main St", "City: Boston"}));
    QCOMPARE(second, QStringList({"LastName: Jane Doe", "Addr1: 4 Elm Rd", "City: Denver"}));
    QCOMPARE(f->dialogs.runResult, int(QDialog::Accepted));
    QVERIFY(f->messages.texts().size() >= 2);
    QCOMPARE(f->messages.texts().back(), std::string("Finished. Imported 2 records."));
    QCOMPARE(f->column("City"), (std::vector<std::string>{"Boston", "Denver"}));
  }

  void tableSourceShowsFieldName() {
    VESPER_NEEDS_CORPORA_QT();
    fs::path people = vesper::testing::corpora("dbase/dbfread-examples/people.dbf");
    QString caption, fieldNo;
    f->dialogs.onAssign = [&](TFrmascii& d) {
      shot(&d, "assign-table");
      caption = label(&d, "lblTableField");
      fieldNo = label(&d, "lblFieldNo");
      QVERIFY(child<QWidget>(&d, "SamplePanel")->isVisible());
    };
    f->start(fs::canonical(people).string());
    QCOMPARE(fieldNo, QString("Field No. 1"));
    QVERIFY2(caption.startsWith("(Field: ") && caption.endsWith(")") && caption.size() > 9,
             qPrintable(caption));
  }

  void reviewAcceptRejectAndCancel() {
    std::string src = f->source("people.csv", records(4));
    f->dialogs.onAssign = assignthree;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun& run) {
      shot(&d, "doimp-review");
      QCOMPARE(d.windowTitle(), QString("Accept records"));
      auto* list = child<QListWidget>(&d, "datalist");
      QCOMPARE(texts(list), QStringList({"LastName: Last1", "FirstName: First1", "City: City1"}));
      QVERIFY(child<QWidget>(&d, "Panel1")->isVisible());
      QVERIFY(!child<QWidget>(&d, "Panel2")->isVisible());
      const std::pair<const char*, int> topics[] = {
          {"datalist", 800}, {"CheckBox1", 2350}, {"btAcceptOne", 2350}, {"btReject", 2350},
          {"btAll", 2350},   {"btRandom", 2350},  {"btCancel", 2350},    {"bt2Cancel", 2350},
          {"btHelp", 2309}};
      for (auto [name, topic] : topics) QCOMPARE(helptopic(child<QWidget>(&d, name)), topic);
      click(&d, "btReject");
      QCOMPARE(texts(list).first(), QString("LastName: Last2"));
      QCOMPARE(label(&d, "lblRejected"), QString("1"));
      // Mixed case for the accepted record.
      QTest::mouseClick(child(&d, "CheckBox1"), Qt::LeftButton, {}, QPoint(6, 6));
      QVERIFY(run.mixed());
      click(&d, "btAcceptOne");
      QCOMPARE(texts(list).first(), QString("LastName: Last3"));
      QCOMPARE(label(&d, "lblAccepted"), QString("1"));
      QCOMPARE(label(&d, "lblTotal"), QString("2"));
      click(&d, "btCancel");
    };
    f->start(src);
    QCOMPARE(f->dialogs.runResult, int(QDialog::Rejected));
    QCOMPARE(f->column("LastName"), std::vector<std::string>{"Last2"});
    // Cancel shows no end message.
    for (const std::string& t : f->messages.texts()) QVERIFY(t.find("Finished.") == std::string::npos);
  }

  void acceptAllCounters() {
    std::string src = f->source("people.csv", records(100));
    f->dialogs.onAssign = assignthree;
    bool panelsSwapped = false;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      f->messages.onEvents = [&](int) {
        if (panelsSwapped) return;
        panelsSwapped = child<QWidget>(&d, "Panel2")->isVisible() &&
                        !child<QWidget>(&d, "Panel1")->isVisible() &&
                        !child<QWidget>(&d, "CheckBox1")->isEnabled();
        shot(&d, "doimp-progress");
      };
      click(&d, "btAll");
      f->messages.onEvents = nullptr;
      QCOMPARE(label(&d, "lblAccepted"), QString("100"));
      QCOMPARE(label(&d, "lblRejected"), QString("0"));
      QCOMPARE(label(&d, "lblTotal"), QString("100"));
    };
    f->start(src);
    QVERIFY(panelsSwapped);
    QCOMPARE(f->dialogs.runResult, int(QDialog::Accepted));
    QCOMPARE(f->messages.texts().back(), std::string("Finished. Imported 100 records."));
    QCOMPARE(f->column("LastName").size(), std::size_t(100));
  }

  void cancelImport_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes stops") << true;
    QTest::newRow("No goes on") << false;
  }

  void cancelImport() {
    QFETCH(bool, yes);
    std::string src = f->source("people.csv", records(300));
    f->dialogs.onAssign = assignthree;
    auto asked = std::make_shared<bool>(false);
    QString accepted;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      f->messages.onEvents = [&](int) {
        f->messages.onEvents = nullptr;  // once
        whenmodal<TfrmAbort>([&](TfrmAbort& q) {
          shot(&q, "abort");
          QCOMPARE(q.windowTitle(), QString("Cancel operation?"));
          QCOMPARE(label(&q, "Label1"), QString("Do you really wish to cancel the operation? "));
          QVERIFY(static_cast<QPushButton*>(child(&q, "btYes"))->isDefault());
          click(&q, yes ? "btYes" : "btNo");
        }, asked);
        click(&d, "bt2Cancel");
      };
      click(&d, "btAll");
      accepted = label(&d, "lblAccepted");
    };
    f->start(src);
    QVERIFY(*asked);
    QCOMPARE(f->dialogs.runResult, int(QDialog::Accepted));
    int stored = static_cast<int>(f->column("LastName").size());
    QCOMPARE(accepted, QString::number(stored));
    QCOMPARE(f->messages.texts().back(), "Finished. Imported " + std::to_string(stored) + " records.");
    if (yes)
      QVERIFY(stored > 0 && stored < 300);
    else
      QCOMPARE(stored, 300);
  }

  void randomAfterCount() {
    std::string src = f->source("people.csv", records(10));
    f->dialogs.onAssign = assignthree;
    auto seen = std::make_shared<bool>(false);
    bool countShown = false;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      whenmodal<TfrmRandom>([&](TfrmRandom& r) {
        shot(&r, "random-before");
        QCOMPARE(r.windowTitle(), QString("Random percentage"));
        QCOMPARE(label(&r, "lblCount"), QString("Source File Record Count :"));
        QVERIFY(!child(&r, "OKBtn")->isEnabled());
        QVERIFY(!child(&r, "rbRandomPct")->isEnabled());
        QVERIFY(child<QRadioButton>(&r, "rbRandomPct")->isChecked());
        QVERIFY(!child<QWidget>(&r, "SEx")->isEnabled());
        // The count window is up while the count runs.
        QTimer::singleShot(0, [&] {
          for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<TfrmCount*>(w); c && c->isVisible()) {
              countShown = c->windowTitle() == "Counting Records";
              shot(c, "count");
            }
        });
        click(&r, "BtCount");
        QCOMPARE(label(&r, "lblCount"), QString("Source File Record Count : 10"));
        QVERIFY(!child(&r, "BtCount")->isEnabled());
        QVERIFY(child(&r, "OKBtn")->isEnabled());
        QVERIFY(child<QWidget>(&r, "SEPercent")->isEnabled());
        QVERIFY(!child<QWidget>(&r, "SEx")->isEnabled());
        QTest::mouseClick(child(&r, "rbAcceptX"), Qt::LeftButton, {}, QPoint(6, 6));
        auto* x = child<QSpinBox>(&r, "SEx");
        QVERIFY(x->isEnabled() && !child<QWidget>(&r, "SEPercent")->isEnabled());
        QCOMPARE(x->value(), 10);
        QCOMPARE(x->maximum(), 10);
        shot(&r, "random-counted");
        auto* xText = x->findChild<QLineEdit*>();
        xText->selectAll();
        QTest::keyClicks(xText, "3");
        click(&r, "OKBtn");
      }, seen);
      click(&d, "btRandom");
    };
    f->start(src);
    QVERIFY(*seen);
    QVERIFY(countShown);
    QCOMPARE(f->dialogs.runResult, int(QDialog::Accepted));
    QCOMPARE(f->column("LastName").size(), std::size_t(3));
    QCOMPARE(f->messages.texts().back(), std::string("Finished. Imported 3 records."));
  }

  void countCancelled() {
    std::string src = f->source("people.csv", records(2000));
    f->dialogs.onAssign = assignthree;
    QString xMessage;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      whenmodal<TfrmRandom>([&](TfrmRandom& r) {
        QTimer::singleShot(0, [&] {
          for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<TfrmCount*>(w); c && c->isVisible()) click(c, "CancelBtn");
        });
        click(&r, "BtCount");
        QVERIFY(f->state.CountCancelled);
        QCOMPARE(f->state.SourceRecordCount, 0);
        // Accept X after a cancelled count is refused and the dialog stays.
        QTest::mouseClick(child(&r, "rbAcceptX"), Qt::LeftButton, {}, QPoint(6, 6));
        click(&r, "OKBtn");
        QVERIFY(r.isVisible());
        xMessage = QString::fromStdString(f->messages.texts().back());
        click(&r, "CancelBtn");
      });
      click(&d, "btRandom");
      QVERIFY(child<QWidget>(&d, "Panel1")->isVisible());  // nothing happened
    };
    f->start(src);
    QVERIFY(xMessage.startsWith("In order to accurately select a random number"));
    QCOMPARE(f->dialogs.runResult, int(QDialog::Rejected));
  }

  void countWindowShowsLines() {
    std::string src = f->source("people.csv", records(1234));
    f->dialogs.onAssign = assignthree;
    f->dialogs.onRun = [&](TfrmDoimp& d, ImportRun&) {
      TfrmCount count(f->state, &d);
      RandomDialog values;
      count.doit(*f->wizard, values);
      // 1234 lines and the blank after the last line end, shown by tens.
      QCOMPARE(count.counttext(), QString("1230"));
      QCOMPARE(values.counttext, std::string("1234"));
    };
    f->start(src);
  }

  void runWithoutRecordsClosesAtOnce() {
    std::string src = f->source("people.csv", records(3));
    f->dialogs.onAssign = assignthree;
    // Every line has one field fewer than the run expects.
    f->dialogs.beforeRun = [&] { f->state.SourceFieldCount = 4; };
    f->start(src);
    QVERIFY(!f->dialogs.runOffered);
    QCOMPARE(f->dialogs.runResult, int(QDialog::Accepted));
    QCOMPARE(f->messages.texts().back(),
             std::string("Finished. Imported 0 records.  Some improper records were not imported, "
                         "and were placed in the file BAD.CSV"));
  }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
