// The program with its windows: start-up check, then the main window until
// it closes.
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMessageBox>

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
  SystemFolders folders;
  // An installed program's first start asks before making the user's data
  // folder, instead of ending.
  auto askcreate = [](const std::string& folder) {
    const QString text = QStringLiteral("Could not find the CONTACT.DB database in the %1 folder.\n\n"
                                        "Create an empty contact data folder there?")
                             .arg(QString::fromStdString(folder));
    return QMessageBox::question(nullptr, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
  };
  try {
    if (!startupcheck(engine, messages, programfolder(), folders, askcreate)) return 0;
  } catch (const UserError& e) {
    // The table engine could not add or save the alias, create the data
    // folder or open the contact table: its own message, then the end.
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
