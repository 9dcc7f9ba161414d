// Shows every window of the program offscreen, checks that it has a sensible
// size, that no label or button is cut short and that every control has a
// name for screen readers, and, when the environment
// variable VESPER_SCREENSHOTS names a folder, writes a PNG of each there.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStyleOptionGroupBox>
#include <QTextEdit>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/importstate.h"
#include "store/engine.h"
#include "store/sampledata.h"
#include "support/fakes.h"
#include "support/modalscript.h"
#include "support/qtwidgets.h"
#include "ui/TFrmSaveImp.h"
#include "ui/TFrmdateform.h"
#include "ui/TfrmAbort.h"
#include "ui/TfrmAdvanced.h"
#include "ui/TfrmCount.h"
#include "ui/TfrmGetDatabase.h"
#include "ui/TfrmImport.h"
#include "ui/TfrmRandom.h"
#include "ui/Tfrmfiletype.h"
#include "ui/help.h"

using namespace vesper;

namespace {

using testing::button;

// The room in which a caption's text is drawn: a label's contents less its
// margins and, when it has a frame, less the indent a framed label keeps
// (half an "x") on each side; a button's contents (beside the indicator of a
// check box or radio button); a group box's title.
QSize textroom(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) {
    int indent = l->indent();
    if (indent < 0) indent = l->frameWidth() > 0 ? l->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - l->margin() : 0;
    return l->contentsRect().size() - QSize(2 * l->margin() + 2 * qMax(indent, 0), 2 * l->margin());
  }
  if (auto* g = qobject_cast<QGroupBox*>(w)) {
    QStyleOptionGroupBox option;
    option.initFrom(g);
    option.text = g->title();
    option.subControls = QStyle::SC_GroupBoxLabel;
    return g->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, g).size();
  }
  QStyleOptionButton option;
  option.initFrom(w);
  QStyle::SubElement contents = QStyle::SE_PushButtonContents;
  if (qobject_cast<QCheckBox*>(w)) contents = QStyle::SE_CheckBoxContents;
  if (qobject_cast<QRadioButton*>(w)) contents = QStyle::SE_RadioButtonContents;
  return w->contentsRect().size().boundedTo(w->style()->subElementRect(contents, &option, w).size());
}

// A caption whose text is wider or taller than the room it is drawn in:
// clipped or elided.  The size is the font's fractional one, access keys as
// drawn; a word-wrapped text is measured broken into lines at the room's width.
QString clipped(QWidget* w, const QString& text, bool mnemonic, bool wrapped = false) {
  const QSize room = textroom(w);
  const QFontMetricsF fm(w->font());
  QSizeF need = wrapped ? fm.boundingRect(QRectF(0, 0, room.width(), 1e6), Qt::TextWordWrap, text).size()
                        : fm.size(mnemonic ? Qt::TextShowMnemonic : 0, text);
  if (need.width() <= room.width() && need.height() <= room.height()) return {};
  return QStringLiteral("\"%1\" needs %2x%3 px, has %4x%5")
      .arg(text).arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
}

// The controls a keyboard or screen reader user reaches that have no
// accessible name (the parts of spin and combo boxes aside).
QStringList unnamed(QWidget* w) {
  QStringList found;
  for (QWidget* c : w->findChildren<QWidget*>()) {
    if (c->window() != w || qobject_cast<QHeaderView*>(c)) continue;
    if (qobject_cast<QAbstractSpinBox*>(c->parentWidget()) || qobject_cast<QComboBox*>(c->parentWidget())) continue;
    const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                         qobject_cast<QComboBox*>(c) || qobject_cast<QAbstractSpinBox*>(c) ||
                         qobject_cast<QAbstractItemView*>(c) || qobject_cast<QProgressBar*>(c) ||
                         qobject_cast<QTextEdit*>(c);
    if (control && c->accessibleName().trimmed().isEmpty())
      found << QStringLiteral("%1 %2").arg(QString::fromLatin1(c->metaObject()->className()), c->objectName());
  }
  return found;
}

// Checks the window as shown and writes its picture.  Returns a description
// of the first fault, or "".  `pathsShown`: the path captions hold chosen
// paths, which they may elide.
QString inspect(QWidget* w, const QString& name, bool pathsShown = false) {
  QApplication::processEvents();
  QSize size = w->size();
  if (size.width() < 160 || size.height() < 80 || size.width() > 1400 || size.height() > 1000)
    return QStringLiteral("%1: odd size %2x%3").arg(name).arg(size.width()).arg(size.height());
  for (QLabel* l : w->findChildren<QLabel*>()) {
    if (!l->isVisibleTo(w) || l->text().isEmpty() || l->window() != w) continue;
    QSize hint = l->sizeHint();
    bool cut = l->wordWrap() ? l->height() + 1 < l->heightForWidth(l->width())
                             : (l->width() + 1 < hint.width() || l->height() + 1 < hint.height());
    if (cut)
      return QStringLiteral("%1: label \"%2\" is %3x%4, wants %5x%6")
          .arg(name, l->text()).arg(l->width()).arg(l->height()).arg(hint.width()).arg(hint.height());
    bool plain = l->textFormat() == Qt::PlainText ||
                 (l->textFormat() == Qt::AutoText && !Qt::mightBeRichText(l->text()));
    if (!plain) continue;
    // A chosen path may be elided, but not cut in height.
    const bool elided = pathsShown && qobject_cast<PathLabel*>(l);
    QString fault = clipped(l, elided ? QStringLiteral("x") : l->text(), l->buddy() != nullptr, l->wordWrap());
    if (!fault.isEmpty()) return QStringLiteral("%1: label %2").arg(name, fault);
  }
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(w) || b->text().isEmpty() || b->window() != w) continue;
    QSize hint = b->sizeHint();
    if (b->width() + 1 < hint.width() || b->height() + 1 < hint.height())
      return QStringLiteral("%1: button \"%2\" is %3x%4, wants %5x%6")
          .arg(name, b->text()).arg(b->width()).arg(b->height()).arg(hint.width()).arg(hint.height());
    QString fault = clipped(b, b->text(), true);
    if (!fault.isEmpty()) return QStringLiteral("%1: button %2").arg(name, fault);
  }
  for (QGroupBox* g : w->findChildren<QGroupBox*>()) {
    if (!g->isVisibleTo(w) || g->title().isEmpty() || g->window() != w) continue;
    QString fault = clipped(g, g->title(), true);
    if (!fault.isEmpty()) return QStringLiteral("%1: group box %2").arg(name, fault);
  }
  const QStringList nameless = unnamed(w);
  if (!nameless.isEmpty())
    return QStringLiteral("%1: no accessible name: %2").arg(name, nameless.join(QStringLiteral(", ")));
  QString folder = qEnvironmentVariable("VESPER_SCREENSHOTS");
  if (!folder.isEmpty()) {
    QDir().mkpath(folder);
    // The set taken at a scale factor above 1 is named after it ("@2x").
    const qreal scale = w->devicePixelRatioF();
    const QString file = scale > 1 ? QStringLiteral("%1@%2x.png").arg(name).arg(scale) : name + ".png";
    if (!w->grab().save(QDir(folder).filePath(file)))
      return QStringLiteral("%1: could not write the picture").arg(name);
  }
  return {};
}

using testing::Script;

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir tmp_;
  QString data_;
  testing::RecordingMessages messages_;
  testing::FixedClock clock_;
  testing::FixedDisk disk_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<ImportState> state_;
  QStringList faults_;

  void check(QWidget* w, const QString& name, bool pathsShown = false) {
    QString fault = inspect(w, name, pathsShown);
    if (!fault.isEmpty()) faults_ << fault;
  }

  void shown(QWidget* w, const QString& name) {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    check(w, name);
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    QDir::setCurrent(tmp_.path());
    data_ = tmp_.filePath(QStringLiteral("data"));
    createsampledatafolder(data_.toStdString());
    engine_ = std::make_unique<Engine>(tmp_.filePath(QStringLiteral("engine.cfg")).toStdString());
    engine_->addstandardalias("PNANT", data_.toStdString(), "PARADOX");
    state_ = std::make_unique<ImportState>(messages_, clock_, disk_);
  }

  void smallWindows() {
    faults_.clear();
    TfrmImport main(*state_, *engine_);
    shown(&main, QStringLiteral("main-window"));
    {
      Tfrmfiletype d(&main);
      shown(&d, QStringLiteral("source-file-type"));
    }
    {
      DatabaseChooser chooser(*state_, DataPlace::folder(data_.toStdString()));
      TfrmGetDatabase d(chooser, &main);
      shown(&d, QStringLiteral("target-database"));
      QCOMPARE(d.list()->count(), 1);
    }
    {
      TfrmAdvanced d(nullptr, &main);
      shown(&d, QStringLiteral("start-assigning-fields"));
    }
    {
      TFrmSaveImp d(&main);
      shown(&d, QStringLiteral("save-specification"));
    }
    {
      TFrmdateform d(*state_, &main);
      shown(&d, QStringLiteral("date-formats"));
    }
    {
      TfrmAbort d(&main);
      shown(&d, QStringLiteral("cancel-operation"));
    }
    {
      TfrmCount d(*state_, &main);
      shown(&d, QStringLiteral("counting-records"));
    }
    {
      TfrmRandom d(*state_, main.wizard(), &main);
      shown(&d, QStringLiteral("random-percentage"));
    }
    showhelp(&main, 2300);
    auto* help = main.findChild<QDialog*>(QStringLiteral("helpwindow"));
    QVERIFY(help);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    check(help, QStringLiteral("help"));
    QVERIFY2(faults_.isEmpty(), qPrintable(faults_.join("\n")));
  }

  // The main window with a source and database chosen, and the windows of an
  // import as they show real records.
  void importWindows() {
    faults_.clear();
    QString csv = tmp_.filePath(QStringLiteral("people.csv"));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("John Smith,Acme Supplies Inc,123 Main St,\"Boston, MA 02134\",617-555-0100,12/03/61\r\n"
            "Mary Jones,Jones & Sons,9 Elm Rd,\"Denver, CO 80202\",303-555-0199,01/15/70\r\n");
    f.close();
    TfrmImport main(*state_, *engine_);
    std::string answer = csv.toStdString();
    main.dialogs().choosefile = [&](QWidget*, const FileRequest&) { return answer; };
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const QSize unchosen = main.size();

    Script pick;
    pick.add(QStringLiteral("Select source file type"),
             [](QWidget* w) { button(w, QStringLiteral("OK"))->click(); });
    pick.add(QStringLiteral("Target database?"), [](QWidget* w) {
      auto* list = w->findChild<QListWidget*>();
      list->setCurrentRow(0);
      button(w, QStringLiteral("OK"))->click();
    });
    pick.start();
    main.btSourceClick();
    main.btPnantDatabaseClick();
    QVERIFY(!pick.stalled);
    check(&main, QStringLiteral("main-window-chosen"), true);
    // The path captions had room for a path from the start.
    QApplication::processEvents();
    QCOMPARE(main.size(), unchosen);

    Script s;
    s.add(QStringLiteral("Start assigning fields"),
          [](QWidget* w) { button(w, QStringLiteral("S&tart assigning fields"))->click(); });
    s.add(QStringLiteral("Assign source fields to Pennant fields"), [this](QWidget* w) {
      auto* list = w->findChild<QListWidget*>(QStringLiteral("FieldNames"));
      if (list && list->count() > 0) list->setCurrentRow(0);
      check(w, QStringLiteral("assign-fields"));
      for (const char* name : {"x2firstlast", "Company", "Addr1", "x5citystatezip", "Phone1",
                               "x1notused"}) {
        for (int row = 0; row < list->count(); ++row) {
          QString entry = list->item(row)->data(Qt::UserRole).toString();
          if (!entry.endsWith(QLatin1Char(' ') + QLatin1String(name))) continue;
          list->scrollToItem(list->item(row));
          QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                            list->visualItemRect(list->item(row)).center());
        }
        button(w, QStringLiteral("&Assign>>>"))->click();
      }
    });
    s.add(QStringLiteral("Save the import specification file"), [this](QWidget* w) {
      check(w, QStringLiteral("save-specification-shown"));
      button(w, QStringLiteral("&Start accepting records"))->click();
    });
    s.add(QStringLiteral("Accept records"), [this](QWidget* w) {
      check(w, QStringLiteral("accept-records"));
      button(w, QStringLiteral("Cancel"))->click();
    });
    s.start();
    main.btStartClick();
    QVERIFY2(!s.stalled && s.done(), "the import did not reach the record-import window");
    QVERIFY2(faults_.isEmpty(), qPrintable(faults_.join("\n")));
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
