#include "app/wizard.h"

#include "app/undo.h"
#include "base/errors.h"
#include "engine/runreport.h"

namespace vesper {

namespace {
const FileTypeOption kOptions[kFileTypeOptions] = {
    {"Pick from all files (*.*)", 0, 1, "*.*", kLinePerField},
    {"Comma-delimited ASCII files (*.csv)", 1, 3, "*.csv", kDelimited},
    {"Text or ASCII Files (*.txt)", 6, 2, "*.txt", kDelimited},
    {"Dbase/Xbase files (*.dbf)", 2, 4, "*.dbf", kDBase},
    {"Paradox files (*.db)", 3, 5, "*.db", kParadox},
    {"vCard files (*.vcf)", 7, 6, "*.vcf", kVCard},
    {"Excel workbooks (*.xlsx)", 8, 7, "*.xlsx", kXlsxWorkbook},
    {"OpenDocument spreadsheets (*.ods)", 9, 8, "*.ods", kOdsSpreadsheet},
};
const char* const kFilters[kFileTypeOptions] = {"All files (*.*)", "Text files (*.txt)",
                                 "Comma-delimited (*.csv)", "Dbase files (*.dbf)",
                                 "Paradox files (*.db)", "vCard files (*.vcf)",
                                 "Excel workbooks (*.xlsx)", "OpenDocument spreadsheets (*.ods)"};
const char* const kNone = "None Selected";

// A caption's path or name; "" for "None Selected".
std::string shown(const std::string& caption) { return caption == kNone ? std::string() : caption; }
}  // namespace

const FileTypeOption* filetypeoptions() { return kOptions; }
const char* const* sourcefilters() { return kFilters; }

Wizard::Wizard(ImportState& state, Engine& engine, WizardDialogs& dialogs)
    : state_(state), dialogs_(dialogs), session_(state, engine) {}

void Wizard::FormCreate() {
  session_.begin();
  lblSource = lblDatabase = kNone;
}

void Wizard::setsource(const std::string& path) {
  lblSource = path;
  session_.setsource(path);
  session_.choosespec({});
  databaseenabled = true;
  session_.chooselayout({});
  inspectsource();
}

void Wizard::inspectsource() {
  session_.setsource(shown(lblSource));
  const bool readable = session_.inspectsource();
  layoutshown = readable && session_.inspectedtraits().separatorchoice;
  headeroffered = readable && session_.inspectedtraits().headerchoice;
  separatorshown = session_.inspected().separator;
  headershown = session_.inspected().headerline > 0;
  sheetsshown = session_.inspectedsheets();
  sheetshown = session_.chosenlayout().sheet;
  if (sheetshown.empty() && !sheetsshown.empty()) sheetshown = sheetsshown.front();
}

void Wizard::choosesheet(const std::string& name) {
  LayoutChoice choice = session_.chosenlayout();
  choice.sheet = name;
  session_.chooselayout(choice);
  inspectsource();
}

void Wizard::chooseseparator(char separator) {
  LayoutChoice choice = session_.chosenlayout();
  choice.separator = separator;
  session_.chooselayout(choice);
  inspectsource();
}

void Wizard::chooseheader(bool header) {
  LayoutChoice choice = session_.chosenlayout();
  choice.header = header ? HeaderChoice::Yes : HeaderChoice::No;
  session_.chooselayout(choice);
  inspectsource();
}

void Wizard::btSourceClick() {
  lblSource = kNone;
  layoutshown = headeroffered = false;
  sheetsshown.clear();
  int choice = 0;
  if (!dialogs_.filetype(choice)) return;
  if (choice < 0 || choice >= kFileTypeOptions) choice = 0;
  session_.choosespec({});
  chooserfilter = kOptions[choice].filter;
  chooserpattern = kOptions[choice].pattern;
  session_.presumekind(kOptions[choice].kind);
  std::string path = dialogs_.choosesource(chooserfilter, chooserpattern);
  if (!path.empty()) {
    lblSource = path;
    databaseenabled = true;
  }
  session_.chooselayout({});
  inspectsource();
}

void Wizard::btPnantDatabaseClick() {
  DatabaseChooser chooser(state_, session_.place());
  dialogs_.choosedatabase(chooser);
  lblDatabase = state_.DatabaseName;
  if (state_.DatabaseName.empty()) {
    lblDatabase = kNone;
    startenabled = false;
  } else if (chooser.result() == DatabaseChooser::Result::Ok) {
    startenabled = true;
  }
}

void Wizard::btStartClick() {
  session_.setsource(shown(lblSource));
  if (!session_.checkstart(!shown(lblDatabase).empty()) || !session_.opentarget()) return;
  if (state_.SpecFileName.empty()) session_.choosespec(dialogs_.advanced());
  if (!session_.loadspec() || !session_.opensource()) return;
  if (!state_.SpecLoaded) session_.propose();
  if (state_.SpecLoaded) {
    finishedascii();
  } else if (session_.assign(dialogs_.dateformats(),
                             [this](FieldAssignmentModel& model) { dialogs_.assignfields(model); })) {
    session_.saveas(dialogs_.savespec());
    finishedascii();
  }
  session_.endstart();
}

void Wizard::finishedascii() {
  std::unique_ptr<ImportRun> run = session_.makerun(dialogs_.runview());
  dialogs_.runimport(*run);
  summary_ = run->summary();
  endmessage_ = run->endmessage();
  runended_ = true;
  if (!hasreport(run->issues())) return;
  const std::string path = dialogs_.savereport();
  std::string why;
  if (!path.empty() && !writereport(run->issues(), path, why))
    errorbox(state_.messages, "The report " + path + " could not be written: " + why + ".");
}

void Wizard::btUndoClick() {
  const DataPlace& place = session_.place();
  try {
    ImportRecord run;
    if (!lastimport(place, run)) {
      state_.messages.plainmessage("No import has been recorded in this contact database yet.");
      return;
    }
    if (run.state == ImportRecord::State::Undone) {
      UndoOutcome already;
      already.result = UndoOutcome::Result::AlreadyUndone;
      already.run = run;
      state_.messages.plainmessage(undomessage(already, run.run));
      return;
    }
    if (!dialogs_.confirmundo(undoquestion(run))) return;
    state_.messages.plainmessage(undomessage(undoimport(place, run.run), run.run));
  } catch (const EngineError& e) {
    errorbox(state_.messages, e.what());
  }
}

void Wizard::BtnClearClick() {
  lblSource = lblDatabase = kNone;
  layoutshown = headeroffered = false;
  sheetsshown.clear();
  databaseenabled = false;
  startenabled = false;
}

void Wizard::CloseAllSources() { session_.close(); }

}  // namespace vesper
