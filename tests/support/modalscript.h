// Answering the modal dialogs of a window under test, in a given order.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <utility>

namespace vesper::testing {

// Each step waits for a modal window with its title, then acts on it.
// Actions run from their own single-shot timer, so that an action that opens
// a further modal dialog does not hold up the steps that answer it.  After
// 20 seconds without a step the script counts as stalled and rejects the
// dialog on show.
class Script : public QObject {
 public:
  struct Step {
    QString title;
    std::function<void(QWidget*)> act;
  };
  std::deque<Step> steps;
  QStringList seen;  // titles of the windows acted on
  bool stalled = false;
  QString stalledat;  // the title of the window left waiting, when stalled

  void add(const QString& title, std::function<void(QWidget*)> act) {
    steps.push_back({title, std::move(act)});
  }
  void start() {
    timer_.setInterval(15);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    clock_.start();
    timer_.start();
  }
  bool done() const { return steps.empty(); }

 private:
  void tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (clock_.elapsed() > 20000) {  // something waits for an answer nobody gives
      stalled = true;
      if (modal) stalledat = modal->windowTitle();
      if (modal) QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
      return;
    }
    if (pending_ || steps.empty() || !modal || modal->windowTitle() != steps.front().title) return;
    Step step = std::move(steps.front());
    steps.pop_front();
    seen << step.title;
    pending_ = true;
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [this, step, target] {
      pending_ = false;
      clock_.restart();
      if (target) step.act(target);
    });
  }
  QTimer timer_;
  QElapsedTimer clock_;
  bool pending_ = false;
};

}  // namespace vesper::testing
