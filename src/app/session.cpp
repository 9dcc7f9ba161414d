#include "app/session.h"

#include <filesystem>

#include "app/chooser.h"
#include "app/specfile.h"
#include "assign/samples.h"
#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {
const char* const kNotDesigned = " Recommend not picking an .IMP file and redefining the fields.";

// The table passwords of the contact manager's tables, built at run time.
std::string tablepassword(int length) {
  std::string p;
  for (int i = 0; i < length; ++i) p += static_cast<char>('a' + (i * 7 + length) % 26);
  return p;
}

// The source opened with the header judge, where the source identification
// takes one.
template <typename Judge>
OpenedSource openwithjudge(SourceState& state, const std::string& path, SourceTable& table,
                           const Judge& judge) {
  if constexpr (requires(SourceState& s, const std::string& p, SourceTable& t, const Judge& j) {
                  OpenRecordSource(s, p, t, j);
                })
    return OpenRecordSource(state, path, table, judge);
  else
    return OpenRecordSource(state, path, table);
}

// `over`'s parts that are not Auto, on `base`.
LayoutChoice overlay(LayoutChoice base, const LayoutChoice& over) {
  if (over.separator) base.separator = over.separator;
  if (over.header != HeaderChoice::Auto) base.header = over.header;
  if (over.quoting != QuotingChoice::Auto) base.quoting = over.quoting;
  return base;
}

// Records 1 to 50, every field of each, as the assignment dialog reads its
// samples.
std::vector<std::vector<std::string>> samplerecords(RecordSource& source, int fields) {
  constexpr int kRecords = FieldAssignmentModel::kSampleRecords;
  std::vector<std::vector<std::string>> records(kRecords, std::vector<std::string>(fields));
  for (int f = 1; f <= fields; ++f)
    for (int r = 1; r <= kRecords; ++r) records[r - 1][f - 1] = source.sample(f, r);
  return records;
}
}  // namespace

ImportSession::ImportSession(ImportState& state, Engine& engine)
    : state_(state), engine_(engine), opener_(openwithjudge<HeaderJudge>) {}

void ImportSession::setsourceopener(SourceOpener opener) {
  opener_ = opener ? std::move(opener) : SourceOpener(openwithjudge<HeaderJudge>);
}

bool ImportSession::headerrecognised() const {
  return state_.SourceType == kDelimited && state_.SourceLayout.headerLine > 0;
}

LayoutChoice ImportSession::choiceinforce() const { return overlay(speclayout_, userlayout_); }

bool ImportSession::inspectsource() {
  inspected_ = {};
  std::error_code error;
  if (source_.empty() || !std::filesystem::is_regular_file(std::filesystem::path(source_), error))
    return false;
  // A state of its own: the import under way, its source file and its
  // messages stay as they are.
  SilentMessages quiet;
  SourceState scratch(quiet, state_.clock, state_.disk);
  scratch.SourceLayoutChoice = userlayout_;
  SourceTable table;
  bool delimited = false;
  try {
    OpenedSource opened = opener_(scratch, source_, table, judge_);
    delimited = opened.source->kind() == kDelimited && opened.source->openFailure(source_).empty();
    opened.source->close();
  } catch (const UserError&) {
    return false;
  }
  if (delimited) inspected_ = scratch.SourceLayout;
  return delimited;
}

void ImportSession::begin() {
  engine_.addPassword(tablepassword(6));
  engine_.addPassword(tablepassword(7));
  state_.AliasName = "PNANT";
  dataFolder_ = engine_.dataFolder(state_.AliasName);
  state_.SpecFileName.clear();
  state_.ResetImportState();
  state_.SpecLoaded = false;
  state_.SourceType = kLinePerField;
}

// The name is matched as the database chooser hands it back from its list.
bool ImportSession::choosedatabase(const std::string& name) {
  DatabaseChooser chooser(state_, dataFolder_);
  chooser.FormShow();
  if (chooser.result() != DatabaseChooser::Result::Open) return false;
  for (std::size_t i = 0; i < chooser.lines().size(); ++i) {
    if (chooser.nameof(static_cast<int>(i)) != name) continue;
    state_.DatabaseName = name;
    return true;
  }
  state_.DatabaseName.clear();
  state_.messages.errorMessage("There is no database called " + name + " in DATABASE.DB.");
  return false;
}

bool ImportSession::checkstart(bool databaseChosen) {
  if (!source_.empty() && !std::filesystem::exists(std::filesystem::path(source_))) {
    state_.messages.errorMessage("File not found. Change the source file.");
    state_.SpecFileName.clear();
    return false;
  }
  if (textlength(source_) < 2) {
    state_.messages.errorMessage(
        "You must select a source file (the file containing your list of names)");
    return false;
  }
  if (!databaseChosen) {
    state_.messages.errorMessage("You must select a Pennant database");
    return false;
  }
  return true;
}

void ImportSession::loadlabels() {
  labels_ = {};
  Table db;
  db.open(dataFolder_, "DATABASE.DB");
  int key = db.fieldIndex("DB");
  for (db.first(); !db.atEnd(); db.next()) {
    if (db.asText(key) != state_.DatabaseName) continue;
    for (int p = 0; p < db.fieldCount(); ++p) labels_.database.set(db.fieldName(p), db.asText(p));
    break;
  }
  Table settings;
  settings.open(dataFolder_, "SETTINGS.DB");
  settings.first();
  if (!settings.atEnd())
    for (int p = 0; p < settings.fieldCount(); ++p)
      labels_.settings.set(settings.fieldName(p), settings.asText(p));
}

bool ImportSession::opentarget() {
  try {
    loadlabels();
    contact_.close();
    contact_.open(dataFolder_, "contact.db");
    state_.TargetFieldCount = contact_.fieldCount();
  } catch (const UserError& e) {
    state_.messages.errorMessage(e.what());
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
    state_.messages.errorMessage(e.what());
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
  const bool ownCount = !source.traits().fieldsByUser;  // the file fixes the record's fields
  std::string failure = source.openFailure(source_);
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
  reader_ = std::move(opened.source);
  return true;
}

bool ImportSession::propose() {
  guide_ = {};
  if (state_.SpecLoaded || !reader_ || !headerrecognised()) return false;
  std::vector<std::string> names = state_.SourceLayout.columnNames;
  std::vector<ColumnProposal> proposal;
  if (proposer_)
    proposal = proposer_(names, samplerecords(*reader_, state_.SourceFieldCount), contact_.fields(), labels_);
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
  std::string folder = dataFolder_;
  return std::make_unique<ImportRun>(state_, contact_, *reader_, folder, view,
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
