// Finding the controls of a window under test by what they show.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>
#include <QtTest>

namespace vesper::testing {

// The first button of `w` whose caption is `text`, or nullptr.
inline QAbstractButton* button(QWidget* w, const QString& text) {
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// Clicks the enabled button of `w` whose caption is `text`; fails the test
// when there is none.
inline void click(QWidget* w, const QString& text) {
  QAbstractButton* b = button(w, text);
  QVERIFY2(b && b->isEnabled(), qPrintable("no enabled button " + text + " in " + w->windowTitle()));
  QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace vesper::testing
