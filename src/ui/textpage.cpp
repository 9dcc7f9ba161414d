#include "ui/textpage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/accessible.h"

namespace vesper {

const char* const kImpFileSavesTime =
    "Using an existing *.IMP file will save time and is especially useful if you are importing "
    "information from the same source on a regular basis.";

namespace {
QLabel* textlabel(const QString& text, QWidget* parent, bool heading) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  if (heading) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
  }
  return label;
}
}  // namespace

void layouttextpage(QDialog* dialog, const QString& heading, const QStringList& texts,
                    std::initializer_list<QPushButton*> buttons) {
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(textlabel(heading, dialog, true));
  for (const QString& t : texts) layout->addWidget(textlabel(t, dialog, false));
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* b : buttons) row->addWidget(b);
  layout->addSpacing(6);
  layout->addLayout(row);
  // Word-wrapped texts take the width of a comfortable reading line.
  dialog->setFixedWidth(460);
  dialog->setAccessibleDescription(heading);
  nameaccessibly(dialog);
}

}  // namespace vesper
