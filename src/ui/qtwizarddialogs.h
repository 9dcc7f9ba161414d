// The wizard's dialogs as real windows: every dialog the wizard opens is
// opened here, modal to the main window.
//
// The file choosers go through `choosefile`, a replaceable function that by
// default shows a file dialog; tests answer it directly.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "app/wizard.h"

class QWidget;

namespace vesper {

class QtDateFormatAsker;
class QtRunView;
class TFrmSaveImp;

// What a file chooser is asked for.
struct FileRequest {
  enum Kind { OpenSource, OpenSpec, SaveSpec, SaveReport };
  Kind kind = OpenSource;
  QString title;
  QStringList filters;     // in the order shown
  QString selectedFilter;  // one of `filters`
  QString pattern;         // file name pattern preset in the name box ("*.csv")
  QString folder;          // folder shown first
  QString defaultSuffix;   // added to a typed name without one ("imp")
  bool mustExist = true;   // open: the file must exist
};

using FileChooser = std::function<std::string(QWidget* parent, const FileRequest&)>;

// The file dialog for `request`: the chosen absolute path, or "" when
// cancelled.
std::string choosefilewithdialog(QWidget* parent, const FileRequest& request);

// The folder the file choosers open in: the folder of the last file chosen
// in any of them, the home folder at first.
QString lastfolder();
void setlastfolder(const std::string& chosenFile);

// A request with one filter, opening in the last folder.
FileRequest onefilterrequest(FileRequest::Kind kind, const QString& title, const QString& filter,
                             const QString& suffix, bool mustExist);
// The file `chooser` (none: no file) gives for `request`, its folder then
// remembered as the last one.
std::string choosefrom(const FileChooser& chooser, QWidget* parent, const FileRequest& request);

class QtWizardDialogs : public WizardDialogs {
 public:
  QtWizardDialogs(ImportState& state, QWidget* parent = nullptr);
  ~QtWizardDialogs() override;

  void setparent(QWidget* parent) { parent_ = parent; }
  void setwizard(Wizard* wizard) { wizard_ = wizard; }
  // The save dialog created at start-up; without one a dialog is made per use.
  void setsavedialog(TFrmSaveImp* dialog);

  FileChooser choosefile = choosefilewithdialog;

  bool filetype(int& choice) override;
  std::string choosesource(int filter, const std::string& pattern) override;
  void choosedatabase(DatabaseChooser& chooser) override;
  std::string advanced() override;
  void assignfields(FieldAssignmentModel& model) override;
  std::string savespec() override;
  void runimport(ImportRun& run) override;
  RunView& runview() override;
  DateFormatAsker& dateformats() override;
  bool confirmundo(const std::string& question) override;
  std::string savereport() override;

 private:
  ImportState& state_;
  QPointer<QWidget> parent_;
  Wizard* wizard_ = nullptr;
  QPointer<TFrmSaveImp> saveDialog_;
  std::unique_ptr<QtRunView> runView_;
  std::unique_ptr<QtDateFormatAsker> dateAsker_;
};

}  // namespace vesper
