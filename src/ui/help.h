// Help topics: each "&Help" button and F1 on a focused control open the text
// of a topic in a help window titled with the topic's title.
#pragma once

class QWidget;

namespace vesper {

// Opens the help window on `topic` (modal to `parent`).
void showhelp(QWidget* parent, int topic);

// Gives `w` a help topic: F1 while `w` or one of its children has the focus
// opens it.  A control without a topic uses its nearest parent's topic.
void sethelptopic(QWidget* w, int topic);

// The topic `w` answers F1 with (its own or its nearest parent's), 0 for none.
int helptopic(const QWidget* w);

// Title of a topic ("" for an unknown topic) and its text as HTML.
const char* helptitle(int topic);

}  // namespace vesper
