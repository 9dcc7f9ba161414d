// The abort question of a batch run: "&Yes" stops the run, "&No" goes on.
#pragma once

#include <QDialog>

namespace vesper {

class TfrmAbort : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbort(QWidget* parent = nullptr);
};

}  // namespace vesper
