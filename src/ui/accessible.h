// Names for screen readers.  Every control of a window gets an accessible
// name: a button or check box the caption it shows, a control with a buddy
// label that label's text, both without the access-key marks.  Controls
// without visible text are named by hand where they are made.
#pragma once

#include <QString>

class QWidget;

namespace vesper {

// `text` as it is read out: the "&" of an access key dropped ("&&" is a
// plain "&"), and a trailing colon of a field label dropped.
QString spokentext(const QString& text);

// Names every control of `window` from its own caption or its buddy label.
// A name given by hand stays; a name taken from a caption follows it, so
// calling this again after captions changed renames those controls.
void nameaccessibly(QWidget* window);

}  // namespace vesper
