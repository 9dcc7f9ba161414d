// The program with its windows: start-up check, then the main window until
// it closes.
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include "app/importstate.h"
#include "app/startup.h"
#include "base/errors.h"
#include "store/engine.h"
#include "store/systemdisk.h"
#include "ui/TFrmSaveImp.h"
#include "ui/TfrmImport.h"
#include "ui/qtmessages.h"

namespace vesper {

namespace {

// The local date and time from the system clock; ticks from a monotonic timer.
class QtClock : public Clock {
 public:
  QtClock() { timer_.start(); }
  LocalTime now() override {
    QDateTime t = QDateTime::currentDateTime();
    LocalTime l;
    l.year = t.date().year();
    l.month = t.date().month();
    l.day = t.date().day();
    l.hour = t.time().hour();
    l.minute = t.time().minute();
    l.second = t.time().second();
    l.msec = t.time().msec();
    return l;
  }
  std::int64_t ticks() override { return timer_.elapsed(); }

 private:
  QElapsedTimer timer_;
};

}  // namespace

int runwindows(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pennant Vesper Import"));
  QApplication::setApplicationDisplayName(QStringLiteral("Pennant Vesper Import"));

  QtMessages messages;
  QtClock clock;
  SystemDisk disk;
  Engine engine;
  try {
    if (!startupcheck(engine, messages, programfolder())) return 0;
  } catch (const UserError& e) {
    // The table engine could not add or save the alias, or open the
    // contact table: its own message, then the end.
    messages.errormessage(e.what());
    return 0;
  }

  ImportState state(messages, clock, disk);
  TfrmImport window(state, engine);
  TFrmSaveImp saveDialog(&window);
  window.dialogs().setsavedialog(&saveDialog);
  QObject::connect(&window, &QDialog::finished, &app, &QApplication::quit);
  window.show();
  app.exec();
  return 0;
}

}  // namespace vesper
