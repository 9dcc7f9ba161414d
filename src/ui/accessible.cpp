#include "ui/accessible.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QWidget>

namespace vesper {

namespace {
// Marks a name this file derived from a caption, as opposed to one set by hand.
const char* const kDerivedName = "vesperDerivedName";
}  // namespace

QString spokentext(const QString& text) {
  QString spoken;
  spoken.reserve(text.size());
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&')) {
      if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) spoken += text[++i];
      continue;
    }
    spoken += text[i];
  }
  spoken = spoken.trimmed();
  if (spoken.endsWith(QLatin1Char(':'))) spoken.chop(1);
  return spoken.trimmed();
}

void nameaccessibly(QWidget* window) {
  if (!window) return;
  // The caption each control shows of itself, or that a label shows for it.
  QHash<QWidget*, QString> captions;
  for (QLabel* label : window->findChildren<QLabel*>())
    if (QWidget* buddy = label->buddy()) captions.insert(buddy, label->text());
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
    if (!button->text().isEmpty()) captions.insert(button, button->text());
  for (QGroupBox* box : window->findChildren<QGroupBox*>())
    if (!box->title().isEmpty()) captions.insert(box, box->title());

  for (auto it = captions.cbegin(); it != captions.cend(); ++it) {
    QWidget* control = it.key();
    const bool derived = control->property(kDerivedName).toBool();
    if (!control->accessibleName().isEmpty() && !derived) continue;  // named by hand
    const QString name = spokentext(it.value());
    if (name.isEmpty()) continue;
    control->setAccessibleName(name);
    control->setProperty(kDerivedName, true);
  }
}

}  // namespace vesper
