// The layout shared by the wizard's explanation dialogs: a bold heading,
// word-wrapped texts, and a right-aligned row of buttons.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace vesper {

// The closing text of both the advanced-options and the save dialog.
extern const char* const kImpFileSavesTime;

// Lays `dialog` out: `heading` in bold, each of `texts` below it, then the
// buttons in order at the right; the dialog takes a reading-line width.
void layouttextpage(QDialog* dialog, const QString& heading, const QStringList& texts,
                    std::initializer_list<QPushButton*> buttons);

}  // namespace vesper
