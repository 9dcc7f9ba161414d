// Message boxes of the windows: each has one OK button.
#pragma once

#include <QPointer>
#include <QWidget>

#include "base/seams.h"

namespace vesper {

class QtMessages : public Messages {
 public:
  // Boxes are modal to `parent` when it is set, else to the active window.
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  void beep() override;
  void errormessage(const std::string& text) override;  // QMessageBox::Critical
  void infomessage(const std::string& text) override;   // QMessageBox::Information
  void plainmessage(const std::string& text) override;  // no icon
  void processevents() override;

 private:
  QWidget* owner() const;
  QPointer<QWidget> parent_;
};

}  // namespace vesper
