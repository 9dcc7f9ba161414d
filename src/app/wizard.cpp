#include "app/wizard.h"

#include <filesystem>

#include "app/specfile.h"
#include "assign/samples.h"
#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
const FileTypeOption kOptions[5] = {
    {"Pick from all files (*.*)", 0, 1, "*.*", kLinePerField},
    {"Comma-delimited ASCII files (*.csv)", 1, 3, "*.csv", kDelimited},
    {"Text or ASCII Files (*.txt)", 6, 2, "*.txt", kDelimited},
    {"Dbase/Xbase files (*.dbf)", 2, 4, "*.dbf", kDBase},
    {"Paradox files (*.db)", 3, 5, "*.db", kParadox},
};
const char* const kFilters[5] = {"All files (*.*)", "Text files (*.txt)",
                                 "Comma-delimited (*.csv)", "Dbase files (*.dbf)",
                                 "Paradox files (*.db)"};
const char* const kNotDesigned = " Recommend not picking an .IMP file and redefining the fields.";

// The table passwords of the contact manager's tables, built at run time.
std::string tablepassword(int length) {
  std::string p;
  for (int i = 0; i < length; ++i) p += static_cast<char>('a' + (i * 7 + length) % 26);
  return p;
}
}  // namespace

const FileTypeOption* filetypeoptions() { return kOptions; }
const char* const* sourcefilters() { return kFilters; }

Wizard::Wizard(ImportState& state, Engine& engine, WizardDialogs& dialogs)
    : state_(state), engine_(engine), dialogs_(dialogs) {}

void Wizard::FormCreate() {
  engine_.addPassword(tablepassword(6));
  engine_.addPassword(tablepassword(7));
  state_.AliasName = "PNANT";
  dataFolder_ = engine_.dataFolder(state_.AliasName);
  state_.SpecFileName.clear();
  lblSource = lblDatabase = "None Selected";
  state_.ResetImportState();
  state_.SpecLoaded = false;
  state_.SourceType = kLinePerField;
}

void Wizard::setsource(const std::string& path) {
  lblSource = path;
  state_.SpecFileName.clear();
  databaseEnabled = true;
}

void Wizard::btSourceClick() {
  lblSource = "None Selected";
  int choice = 0;
  if (!dialogs_.filetype(choice)) return;
  if (choice < 0 || choice > 4) choice = 0;
  state_.SpecFileName.clear();
  chooserFilter = kOptions[choice].filter;
  chooserPattern = kOptions[choice].pattern;
  state_.SourceType = kOptions[choice].kind;
  std::string path = dialogs_.choosesource(chooserFilter, chooserPattern);
  if (!path.empty()) {
    lblSource = path;
    databaseEnabled = true;
  }
}

void Wizard::btPnantDatabaseClick() {
  DatabaseChooser chooser(state_, dataFolder_);
  dialogs_.choosedatabase(chooser);
  lblDatabase = state_.DatabaseName;
  if (state_.DatabaseName.empty()) {
    lblDatabase = "None Selected";
    startEnabled = false;
  } else if (chooser.result() == DatabaseChooser::Result::Ok) {
    startEnabled = true;
  }
}

bool Wizard::startchecks() {
  if (!lblSource.empty() && lblSource != "None Selected" &&
      !std::filesystem::exists(std::filesystem::path(lblSource))) {
    state_.messages.errorMessage("File not found. Change the source file.");
    state_.SpecFileName.clear();
    return false;
  }
  if (textlength(lblSource) < 2 || lblSource == "None Selected") {
    state_.messages.errorMessage(
        "You must select a source file (the file containing your list of names)");
    return false;
  }
  if (lblDatabase.empty() || lblDatabase == "None Selected") {
    state_.messages.errorMessage("You must select a Pennant database");
    return false;
  }
  return true;
}

bool Wizard::loadlabels(CatalogueLabels& labels) {
  Table db;
  db.open(dataFolder_, "DATABASE.DB");
  int key = db.fieldIndex("DB");
  for (db.first(); !db.atEnd(); db.next()) {
    if (db.asText(key) != state_.DatabaseName) continue;
    for (int p = 0; p < db.fieldCount(); ++p) labels.database.set(db.fieldName(p), db.asText(p));
    break;
  }
  Table settings;
  settings.open(dataFolder_, "SETTINGS.DB");
  settings.first();
  if (!settings.atEnd())
    for (int p = 0; p < settings.fieldCount(); ++p)
      labels.settings.set(settings.fieldName(p), settings.asText(p));
  return true;
}

// A specification without any assignment leaves the run nothing to import
// (and a line-per-field record of no lines).
bool Wizard::assignsanyfield() const {
  for (int i = 1; i <= kMaxSourceFields; ++i)
    if (!state_.FieldAssignments[i].empty()) return true;
  return false;
}

bool Wizard::identify() {
  if (source_) source_->close();
  source_.reset();
  OpenedSource opened = OpenRecordSource(state_, lblSource, table_);
  RecordSource& source = *opened.source;
  const bool ownCount = !source.traits().fieldsByUser;  // the file fixes the record's fields
  std::string failure = source.openFailure(lblSource);
  if (failure.empty() && ownCount && opened.fieldCount > kMaxSourceFields)
    failure = "The source file has " + std::to_string(opened.fieldCount) +
              " fields; at most 210 fields can be imported.";
  if (!failure.empty()) {
    state_.messages.errorMessage(failure);
    source.close();
    return false;
  }
  if (state_.SpecLoaded) {
    std::string first;
    if (source.kind() != state_.SourceType)
      first = "This .IMP file was not designed for this type of data.";
    else if (!assignsanyfield())
      first = "This .IMP file assigns no source field.";
    else if (ownCount && opened.fieldCount != state_.SourceFieldCount)
      first = "This .IMP file was not designed for this data.";
    if (!first.empty()) {
      state_.messages.errorMessage(first + kNotDesigned);
      state_.SpecLoaded = false;
      state_.SpecFileName.clear();
      source.close();
      return false;
    }
  }
  state_.SourceType = source.kind();
  if (ownCount) state_.SourceFieldCount = opened.fieldCount;
  source_ = std::move(opened.source);
  return true;
}

void Wizard::btStartClick() {
  if (!startchecks()) return;
  CatalogueLabels labels;
  try {
    loadlabels(labels);
    contact_.close();
    contact_.open(dataFolder_, "contact.db");
    state_.TargetFieldCount = contact_.fieldCount();
    if (state_.SpecFileName.empty()) state_.SpecFileName = dialogs_.advanced();
    if (!state_.SpecFileName.empty()) ReadSpecFile(state_, state_.SpecFileName, contact_.fields());
  } catch (const UserError& e) {
    state_.messages.errorMessage(e.what());
    return;
  }
  if (!identify()) return;
  if (state_.SpecLoaded) {
    finishedascii();
  } else {
    SourceSamples samples(*source_);
    FieldAssignmentModel model(state_, contact_.fields(), labels, samples, dialogs_.dateformats());
    dialogs_.assignfields(model);
    if (model.result() == FieldAssignmentModel::Result::Ok) {
      std::string name = dialogs_.savespec();
      if (!name.empty()) state_.SpecFileName = name;
      finishedascii();
    } else {
      state_.ResetImportState();
    }
  }
  state_.SpecLoaded = false;
  state_.SpecFileName.clear();
}

void Wizard::finishedascii() {
  // The run writes the specification with the name in force now.
  std::string folder = dataFolder_;
  ImportRun run(state_, contact_, *source_, folder, dialogs_.runview(),
                [this, folder] { WriteSpecFile(state_, folder); });
  dialogs_.runimport(run);
  summary_ = run.summary();
  endMessage_ = run.endmessage();
  runEnded_ = true;
}

void Wizard::countrecords(RandomDialog& dialog, const CountProgress& progress) {
  if (!source_) source_ = MakeRecordSource(state_, table_);
  btCountClick(state_, *source_, dialog, progress);
}

void Wizard::BtnClearClick() {
  lblSource = lblDatabase = "None Selected";
  databaseEnabled = false;
  startEnabled = false;
}

void Wizard::CloseAllSources() {
  CloseSlot(state_.BadFile);
  if (source_) source_->close();
  contact_.close();
}

}  // namespace vesper
