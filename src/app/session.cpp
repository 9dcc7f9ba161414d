#include "app/session.h"

#include <filesystem>

#include "app/chooser.h"
#include "app/specfile.h"
#include "assign/columnnames.h"
#include "assign/proposal.h"
#include "assign/samples.h"
#include "base/errors.h"
#include "parse/text.h"
#include "source/workbooksource.h"

namespace vesper {

namespace {
const char* const kNotDesigned = " Recommend not picking an .IMP file and redefining the fields.";

// The table passwords of the contact manager's tables, built at run time.
std::string tablepassword(int length) {
  std::string p;
  for (int i = 0; i < length; ++i) p += static_cast<char>('a' + (i * 7 + length) % 26);
  return p;
}

// The source opened as the program opens it, the header judge passed on.
OpenedSource openrecordsource(SourceState& state, const std::string& path, SourceTable& table,
                              const HeaderJudge& judge) {
  return OpenRecordSource(state, path, table, judge);
}

// `over`'s parts that are not Auto, on `base`.
LayoutChoice overlay(LayoutChoice base, const LayoutChoice& over) {
  if (over.separator) base.separator = over.separator;
  if (over.header != HeaderChoice::Auto) base.header = over.header;
  if (over.quoting != QuotingChoice::Auto) base.quoting = over.quoting;
  if (!over.sheet.empty()) base.sheet = over.sheet;
  return base;
}

// Whether a specification assigning `assigned` fields fits a source of
// `own` fields: the same count, or fewer for a kind whose list grows at its end.
bool fitsfieldcount(const SourceTraits& traits, int assigned, int own) {
  return assigned == own || (traits.fieldsgrowatend && assigned < own);
}

}  // namespace

ImportSession::ImportSession(ImportState& state, Engine& engine)
    : state_(state), engine_(engine), judge_(isheaderline), proposer_(proposeassignment),
      opener_(openrecordsource) {}

void ImportSession::setsourceopener(SourceOpener opener) {
  opener_ = opener ? std::move(opener) : SourceOpener(openrecordsource);
}

bool ImportSession::headerrecognised() const {
  if (SourceTraitsOf(state_.SourceType).fieldsnamedforproposal) return true;
  // Delimited text and workbooks: the header's cells are the column names.
  return state_.SourceLayout.headerline > 0 && !state_.SourceLayout.columnnames.empty();
}

LayoutChoice ImportSession::choiceinforce() const { return overlay(speclayout_, userlayout_); }

bool ImportSession::inspectsource() {
  inspected_ = {};
  inspectedtraits_ = {};
  sheets_.clear();
  std::error_code error;
  if (source_.empty() || !std::filesystem::is_regular_file(std::filesystem::path(source_), error))
    return false;
  // A state of its own: the import under way, its source file and its
  // messages stay as they are.
  SilentMessages quiet;
  SourceState scratch(quiet, state_.clock, state_.disk);
  scratch.SourceLayoutChoice = userlayout_;
  SourceTable table;
  SourceTraits traits;
  try {
    OpenedSource opened = opener_(scratch, source_, table, judge_);
    if (opened.source->openfailure(source_).empty()) traits = opened.source->traits();
    opened.source->close();
  } catch (const UserError&) {
    return false;
  }
  sheets_ = SourceSheetNames(source_);
  if (!traits.separatorchoice && !traits.headerchoice) return false;
  inspected_ = scratch.SourceLayout;
  inspectedtraits_ = traits;
  return true;
}

void ImportSession::begin() {
  engine_.addpassword(tablepassword(6));
  engine_.addpassword(tablepassword(7));
  state_.AliasName = "PNANT";
  place_ = engine_.place(state_.AliasName);
  state_.SpecFileName.clear();
  state_.ResetImportState();
  state_.SpecLoaded = false;
  state_.SourceType = kLinePerField;
}

// The name is matched as the database chooser hands it back from its list.
bool ImportSession::choosedatabase(const std::string& name) {
  DatabaseChooser chooser(state_, place_);
  chooser.FormShow();
  if (chooser.result() != DatabaseChooser::Result::Open) return false;
  for (std::size_t i = 0; i < chooser.lines().size(); ++i) {
    if (chooser.nameof(static_cast<int>(i)) != name) continue;
    state_.DatabaseName = name;
    return true;
  }
  state_.DatabaseName.clear();
  state_.messages.errormessage("There is no database called " + name + " in DATABASE.DB.");
  return false;
}

bool ImportSession::checkstart(bool databasechosen) {
  if (!source_.empty() && !std::filesystem::exists(std::filesystem::path(source_))) {
    state_.messages.errormessage("File not found. Change the source file.");
    state_.SpecFileName.clear();
    return false;
  }
  if (textlength(source_) < 2) {
    state_.messages.errormessage(
        "You must select a source file (the file containing your list of names)");
    return false;
  }
  if (!databasechosen) {
    state_.messages.errormessage("You must select a Pennant database");
    return false;
  }
  return true;
}

void ImportSession::loadlabels() {
  labels_ = {};
  Table db;
  place_.open(db, "DATABASE.DB");
  int key = db.fieldindex("DB");
  for (db.first(); !db.atend(); db.next()) {
    if (db.astext(key) != state_.DatabaseName) continue;
    for (int p = 0; p < db.fieldcount(); ++p) labels_.database.set(db.fieldname(p), db.astext(p));
    break;
  }
  Table settings;
  place_.open(settings, "SETTINGS.DB");
  settings.first();
  if (!settings.atend())
    for (int p = 0; p < settings.fieldcount(); ++p)
      labels_.settings.set(settings.fieldname(p), settings.astext(p));
}

bool ImportSession::opentarget() {
  try {
    loadlabels();
    contact_.close();
    place_.open(contact_, "contact.db");
    state_.TargetFieldCount = contact_.fieldcount();
  } catch (const UserError& e) {
    state_.messages.errormessage(e.what());
    return false;
  }
  return true;
}

bool ImportSession::loadspec() {
  speclayout_ = {};
  guide_ = {};
  if (state_.SpecFileName.empty()) return true;
  try {
    ReadSpecFile(state_, state_.SpecFileName, contact_.fields());
    speclayout_ = state_.SourceLayoutChoice;
  } catch (const UserError& e) {
    state_.messages.errormessage(e.what());
    return false;
  }
  return true;
}

// A specification without any assignment leaves the run nothing to import
// (and a line-per-field record of no lines).
bool ImportSession::assignsanyfield() const {
  for (int i = 1; i <= kMaxSourceFields; ++i)
    if (!state_.FieldAssignments[i].empty()) return true;
  return false;
}

bool ImportSession::opensource() { return identify(); }

bool ImportSession::identify() {
  if (reader_) reader_->close();
  reader_.reset();
  state_.SourceLayoutChoice = choiceinforce();
  state_.SourceLayout = {};
  OpenedSource opened = opener_(state_, source_, table_, judge_);
  RecordSource& source = *opened.source;
  const bool owncount = !source.traits().fieldsbyuser;  // the file fixes the record's fields
  std::string failure = source.openfailure(source_);
  if (failure.empty() && owncount && opened.fieldcount > kMaxSourceFields)
    failure = "The source file has " + std::to_string(opened.fieldcount) +
              " fields; at most 210 fields can be imported.";
  if (!failure.empty()) {
    state_.messages.errormessage(failure);
    source.close();
    return false;
  }
  if (state_.SpecLoaded) {
    std::string first;
    if (source.kind() != state_.SourceType)
      first = "This .IMP file was not designed for this type of data.";
    else if (!assignsanyfield())
      first = "This .IMP file assigns no source field.";
    else if (owncount && !fitsfieldcount(source.traits(), state_.SourceFieldCount, opened.fieldcount))
      first = "This .IMP file was not designed for this data.";
    if (!first.empty()) {
      state_.messages.errormessage(first + kNotDesigned);
      state_.SpecLoaded = false;
      state_.SpecFileName.clear();
      source.close();
      return false;
    }
  }
  state_.SourceType = source.kind();
  if (owncount) state_.SourceFieldCount = opened.fieldcount;
  reader_ = std::move(opened.source);
  return true;
}

bool ImportSession::propose() {
  guide_ = {};
  if (state_.SpecLoaded || !reader_ || !headerrecognised()) return false;
  std::vector<std::string> names = state_.SourceLayout.columnnames;
  if (reader_->traits().fieldsnamedforproposal) {
    names.clear();
    for (int f = 1; f <= state_.SourceFieldCount; ++f) names.push_back(reader_->fieldname(f));
  }
  std::vector<ColumnProposal> proposal;
  if (proposer_)
  {
    SourceSamples samples(*reader_);
    proposal = proposer_(names, samplerecords(samples, state_.SourceFieldCount), contact_.fields(), labels_);
  }
  guide_ = AssignmentGuide(state_, std::move(names), std::move(proposal));
  return guide_.hasproposal();
}

bool ImportSession::acceptproposal() {
  if (!guide_.hasproposal()) return false;
  SourceSamples samples(*reader_);
  GuidedDateFormats dates(nullptr, guide_);
  FieldAssignmentModel model(state_, contact_.fields(), labels_, samples, dates);
  if (vesper::acceptproposal(model, guide_)) return true;
  state_.ResetImportState();
  return false;
}

bool ImportSession::assign(DateFormatAsker& dates,
                           const std::function<void(FieldAssignmentModel&)>& dialog) {
  SourceSamples samples(*reader_);
  GuidedDateFormats guided(&dates, guide_);
  FieldAssignmentModel model(state_, contact_.fields(), labels_, samples, guided);
  dialog(model);
  if (model.result() == FieldAssignmentModel::Result::Ok) return true;
  state_.ResetImportState();
  return false;
}

void ImportSession::saveas(const std::string& name) {
  if (!name.empty()) state_.SpecFileName = name;
}

std::unique_ptr<ImportRun> ImportSession::makerun(RunView& view) {
  // The run writes the specification with the name in force when it ends.
  std::string folder = place_.path();
  state_.SourceName = source_;
  return std::make_unique<ImportRun>(state_, contact_, *reader_, place_, view,
                                     [this, folder] { WriteSpecFile(state_, folder); });
}

void ImportSession::endstart() {
  state_.SpecLoaded = false;
  state_.SpecFileName.clear();
}

void ImportSession::countrecords(RandomDialog& dialog, const CountProgress& progress) {
  if (!reader_) reader_ = MakeRecordSource(state_, table_);
  btCountClick(state_, *reader_, dialog, progress);
}

void ImportSession::close() {
  CloseSlot(state_.BadFile);
  if (reader_) reader_->close();
  contact_.close();
}

}  // namespace vesper
