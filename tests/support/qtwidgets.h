// Finding the controls of a window under test by what they show.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>

namespace vesper::testing {

// The first button of `w` whose caption is `text`, or nullptr.
inline QAbstractButton* button(QWidget* w, const QString& text) {
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

}  // namespace vesper::testing
