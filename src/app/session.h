// The import session: one import of a source file into a target database
// under an import specification, from the choices to the run.
//
// Contract: `begin` readies the engine and finds the data folder (alias
// PNANT).  The choices: the source file (`setsource`, with the kind its file
// type presumes until the file is identified), the target database by name
// (`choosedatabase`) and the specification file (`choosespec`, "" to assign
// the fields).  The start, in order: `checkstart` (a source that exists, a
// database), `opentarget` (the contact table and its labels), `loadspec`,
// `opensource` (the source identified by its file and checked against the
// specification loaded), then `assign` when no specification was loaded,
// `makerun` for the runner, and `endstart`, which leaves no specification
// chosen for the next start.  Each step that fails has shown why (an error
// box) and returns false; nothing has changed in the tables then.
//
// A delimited text source may begin with a header line of column names, a
// sheet of a workbook with a header row.  The session hands the reader a
// `HeaderJudge` (set by the application) to recognise it, keeps the user's
// choice of separator and header line (`chooselayout`; a specification
// file's layout lines yield to it), and can identify a source alone to show
// what was recognised and which of the choices its kind offers
// (`inspectsource`).
// When no specification is loaded and a header was recognised, `propose`
// asks the application's `ProposalMaker` for the whole assignment; the
// assignment dialog then offers it field by field (`guide`), and
// `acceptproposal` takes it as it stands without a dialog.
//
// The session owns the tables the import works through (the contact table,
// the source table) and the reader of the source (a RecordSource, opened at
// each start); `close` closes them.  The wizard's handlers and the batch
// command both drive an import through it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/assignmentguide.h"
#include "app/importstate.h"
#include "assign/assignment.h"
#include "engine/importrun.h"
#include "source/counting.h"
#include "source/recordsource.h"
#include "source/tablesource.h"
#include "store/engine.h"
#include "store/table.h"

namespace vesper {

class ImportSession {
 public:
  ImportSession(ImportState& state, Engine& engine);

  void begin();
  // Where the contact database is: its data folder ("" for a database on a
  // server), or either kind.
  const std::string& datafolder() const { return place_.path(); }
  const DataPlace& place() const { return place_; }

  // --- the choices ---
  void presumekind(int kind) { state_.SourceType = kind; }
  void setsource(const std::string& path) { source_ = path; }  // "" for none
  const std::string& source() const { return source_; }
  // The database of DATABASE.DB called `name` becomes the target; false, with
  // "There is no database called NAME in DATABASE.DB." (or why the catalogue
  // could not be read), when there is none.
  bool choosedatabase(const std::string& name);
  void choosespec(const std::string& path) { state_.SpecFileName = path; }

  // --- the text layout of a delimited source ---
  // How a source file is opened as a reader: the default passes the judge
  // to the source identification; tests put a stand-in here.
  using SourceOpener = std::function<OpenedSource(SourceState&, const std::string& path, SourceTable&,
                                                  const HeaderJudge&)>;
  // The header judge and the proposal maker are the program's own
  // (isheaderline, proposeassignment) unless replaced.
  void setheaderjudge(HeaderJudge judge) { judge_ = std::move(judge); }
  void setproposer(ProposalMaker maker) { proposer_ = std::move(maker); }
  void setsourceopener(SourceOpener opener);
  // The user's choice; each part left Auto is recognised from the file (or
  // taken from the specification's layout lines).
  void chooselayout(const LayoutChoice& choice) { userlayout_ = choice; }
  const LayoutChoice& chosenlayout() const { return userlayout_; }
  // Identifies the source on its own, nothing shown and the import state
  // untouched, and keeps what was recognised (`inspected`) and the traits of
  // its kind (`inspectedtraits`: which layout choices it offers).  False,
  // nothing kept, when the source cannot be read or offers no layout choice.
  bool inspectsource();
  const TextLayout& inspected() const { return inspected_; }
  const SourceTraits& inspectedtraits() const { return inspectedtraits_; }
  // The sheets of the source inspected, when it is a workbook.
  const std::vector<std::string>& inspectedsheets() const { return sheets_; }
  // What the source opened at this start was recognised as.
  const TextLayout& layout() const { return state_.SourceLayout; }
  bool headerrecognised() const;

  // --- the start ---
  bool checkstart(bool databasechosen);
  bool opentarget();
  bool loadspec();
  bool opensource();
  bool specloaded() const { return state_.SpecLoaded; }
  // After `opensource`, with no specification loaded and a header line
  // recognised: asks for the proposal.  False when there is none to make
  // (the guide then shows the column names only, if any).
  bool propose();
  const AssignmentGuide& guide() const { return guide_; }
  // The proposal taken as it stands (the batch command's assignment).
  bool acceptproposal();
  // The field assignment, shown by `dialog` on the model: false (the
  // specification reset) unless it closed with OK.
  bool assign(DateFormatAsker& dates, const std::function<void(FieldAssignmentModel&)>& dialog);
  // The name the specification is saved under when the run completes ("":
  // the name in force, if any).
  void saveas(const std::string& name);
  // The runner of this start; it saves the specification when it completes.
  std::unique_ptr<ImportRun> makerun(RunView& view);
  void endstart();

  // "&Count Records" of the random selection dialog, on the session's source.
  void countrecords(RandomDialog& dialog, const CountProgress& progress = {});
  void close();

 private:
  bool assignsanyfield() const;
  void loadlabels();
  bool identify();
  LayoutChoice choiceinforce() const;

  ImportState& state_;
  Engine& engine_;
  DataPlace place_;
  std::string source_;
  CatalogueLabels labels_;
  ContactTable contact_;
  SourceTable table_;  // the source table, when the source is one
  std::unique_ptr<RecordSource> reader_;  // the reader of the last start
  HeaderJudge judge_;
  ProposalMaker proposer_;
  SourceOpener opener_;
  LayoutChoice userlayout_;
  LayoutChoice speclayout_;  // the layout lines of the specification loaded
  TextLayout inspected_;
  SourceTraits inspectedtraits_;
  std::vector<std::string> sheets_;
  AssignmentGuide guide_;
};

}  // namespace vesper
