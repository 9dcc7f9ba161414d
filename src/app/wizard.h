// The import wizard: the main window's logic ("Pennant Vesper Import").
//
// Contract: `Wizard` holds the main window's captions and enabled buttons and
// does what its buttons do through an ImportSession (session.h), which owns
// the tables and the reader of the source; every dialog it opens is reached
// through `WizardDialogs`, which the windows implement with real dialogs.
// The captions are what the start checks: a source or a database shown as
// "None Selected" is none.
//
// Beyond the checks of the start, a start also ends, with a clear message and
// nothing changed in the tables, when the source table cannot be read, when
// the source has more than 210 fields, when the specification file cannot
// be read, or when it assigns no source field.
//
// A source chosen in step one is identified at once: for delimited text the
// window shows the separator and whether the first line holds column names,
// for a workbook whether its sheet has a header row, and the user may change
// what is shown (`chooseseparator`, `chooseheader`), the source being
// identified again.  At the start, a header line recognised
// without a specification brings the proposed assignment into the
// assignment dialog.
#pragma once

#include <memory>
#include <string>

#include "app/chooser.h"
#include "app/importstate.h"
#include "app/session.h"

namespace vesper {

// The file type dialog's options: caption, choice code, filter number,
// file name pattern, and the source kind the choice presumes until the
// chosen file is identified at the start.
struct FileTypeOption {
  const char* caption;
  int code;
  int filter;
  const char* pattern;
  int kind;
};
constexpr int kFileTypeOptions = 8;
const FileTypeOption* filetypeoptions();  // kFileTypeOptions options, in screen order
const char* const* sourcefilters();       // the kFileTypeOptions filters of the source file chooser

class WizardDialogs {
 public:
  virtual ~WizardDialogs() = default;
  // Tfrmfiletype: false for Cancel; `choice` is the option index (0..kFileTypeOptions - 1).
  virtual bool filetype(int& choice) = 0;
  // The source file chooser preset with a filter number (1..kFileTypeOptions) and pattern;
  // the chosen path, or "" when cancelled.
  virtual std::string choosesource(int filter, const std::string& pattern) = 0;
  // TfrmGetDatabase, modal; its result tells OK from Cancel.
  virtual void choosedatabase(DatabaseChooser& chooser) = 0;
  // TfrmAdvanced: the chosen .IMP path, or "" ("S&tart assigning fields" or
  // a cancelled file chooser).
  virtual std::string advanced() = 0;
  // TFrmascii, modal, on the model; its result tells OK from Cancel.
  virtual void assignfields(FieldAssignmentModel& model) = 0;
  // TFrmSaveImp: the chosen .IMP name, or "" ("&Start accepting records").
  virtual std::string savespec() = 0;
  // TfrmDoimp, modal.
  virtual void runimport(ImportRun& run) = 0;
  // Answers for the abort question of the run, Date Formats of the
  // assignment.
  virtual RunView& runview() = 0;
  virtual DateFormatAsker& dateformats() = 0;
  // The confirmation of "Undo last import", answered Yes or No; true for Yes.
  virtual bool confirmundo(const std::string& question) {
    (void)question;
    return false;
  }
  // At the end of a run with records not imported as they stood, "Save
  // report..." is offered: the path chosen for the report, or "" when the
  // user closes the offer or the chooser.
  virtual std::string savereport() { return {}; }
};

class Wizard {
 public:
  Wizard(ImportState& state, Engine& engine, WizardDialogs& dialogs);

  void FormCreate();
  void btSourceClick();
  void btPnantDatabaseClick();
  void btStartClick();
  void finishedascii();
  void BtnClearClick();
  void btExitClick() { CloseAllSources(); }
  // "Undo last import": the last run recorded in the contact table's import
  // history, named in a confirmation, is taken back whole; a message says
  // what was removed and what kept (or why nothing was done).
  void btUndoClick();
  void CloseAllSources();

  // The source path as if chosen in step one.
  void setsource(const std::string& path);

  // --- what the window shows ---
  std::string lblSource = "None Selected";
  std::string lblDatabase = "None Selected";
  bool databaseenabled = false;
  bool startenabled = false;
  // The separator of a delimited text source: shown only for one.
  bool layoutshown = false;
  char separatorshown = ',';
  // Whether the first line or row holds column names: offered for delimited
  // text and workbooks; checked when a header was recognised or chosen.
  bool headeroffered = false;
  bool headershown = false;
  // The sheets of a workbook source (none for any other) and the one read.
  std::vector<std::string> sheetsshown;
  std::string sheetshown;
  void choosesheet(const std::string& name);
  void chooseseparator(char separator);
  void chooseheader(bool header);
  // The file type dialog's choice preset for the source chooser.
  int chooserfilter = 1;
  std::string chooserpattern = "*.*";

  const std::string& datafolder() const { return session_.datafolder(); }
  ImportSession& session() { return session_; }
  // "&Count Records" of the random selection dialog, on the wizard's source.
  void countrecords(RandomDialog& dialog, const CountProgress& progress = {}) {
    session_.countrecords(dialog, progress);
  }
  const std::string& lastendmessage() const { return endmessage_; }
  // What the last run did (empty before the first run).
  const RunSummary& lastsummary() const { return summary_; }
  bool lastrunended() const { return runended_; }

 private:
  void inspectsource();

  ImportState& state_;
  WizardDialogs& dialogs_;
  ImportSession session_;
  RunSummary summary_;
  std::string endmessage_;
  bool runended_ = false;
};

}  // namespace vesper
