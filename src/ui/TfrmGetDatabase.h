// The target database chooser, and the list box with tab stops it shows the
// databases in.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <vector>

#include "app/chooser.h"

class QPushButton;

namespace vesper {

// A list box that expands the tab characters of its lines to tab stops given
// in dialog units (a quarter of the average character width of its font).
// A single stop repeats: one stop of 60 units puts tabs every 60 units.
class TTabListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TTabListBox(QWidget* parent = nullptr);

  void setTabStops(const std::vector<int>& dialogUnits);
  const std::vector<int>& tabStops() const { return stops_; }
  // The tab stops in pixels for the current font.
  std::vector<int> tabStopPixels() const;
  // Width of one dialog unit in pixels.
  double dialogUnit() const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  std::vector<int> stops_;
};

// "Target database?": lists the databases of the catalogue; OK (or a double
// click on a line) hands the chosen name to the chooser, Cancel keeps the
// earlier one.
class TfrmGetDatabase : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGetDatabase(DatabaseChooser& chooser, QWidget* parent = nullptr);

  TTabListBox* list() const { return list_; }

  void FormShow();
  void OKBtnClick();
  void CancelBtnClick();
  void BitBtn1Click();

  void reject() override;  // closing the window and Escape are Cancel

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  DatabaseChooser& chooser_;
  TTabListBox* list_;
  bool shown_ = false;
};

}  // namespace vesper
