#include "ui/qtmessages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

namespace vesper {

namespace {

// The program's own name is the title of every message box.
const char* const kBoxTitle = "Pennant Vesper Import";

void showbox(QWidget* owner, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QString::fromLatin1(kBoxTitle), QString::fromStdString(text),
                  QMessageBox::Ok, owner);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace

QWidget* QtMessages::owner() const {
  if (parent_) return parent_.data();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

void QtMessages::beep() { QApplication::beep(); }

void QtMessages::errormessage(const std::string& text) {
  showbox(owner(), QMessageBox::Critical, text);
}

void QtMessages::infomessage(const std::string& text) {
  showbox(owner(), QMessageBox::Information, text);
}

void QtMessages::plainmessage(const std::string& text) {
  showbox(owner(), QMessageBox::NoIcon, text);
}

void QtMessages::processevents() { QCoreApplication::processEvents(); }

}  // namespace vesper
