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
// The session owns the tables the import works through (the contact table,
// the source table) and the reader of the source (a RecordSource, opened at
// each start); `close` closes them.  The wizard's handlers and the batch
// command both drive an import through it.
#pragma once

#include <functional>
#include <memory>
#include <string>

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
  const std::string& datafolder() const { return datafolder_; }

  // --- the choices ---
  void presumekind(int kind) { state_.SourceType = kind; }
  void setsource(const std::string& path) { source_ = path; }  // "" for none
  const std::string& source() const { return source_; }
  // The database of DATABASE.DB called `name` becomes the target; false, with
  // "There is no database called NAME in DATABASE.DB." (or why the catalogue
  // could not be read), when there is none.
  bool choosedatabase(const std::string& name);
  void choosespec(const std::string& path) { state_.SpecFileName = path; }

  // --- the start ---
  bool checkstart(bool databasechosen);
  bool opentarget();
  bool loadspec();
  bool opensource();
  bool specloaded() const { return state_.SpecLoaded; }
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

  ImportState& state_;
  Engine& engine_;
  std::string datafolder_;
  std::string source_;
  CatalogueLabels labels_;
  ContactTable contact_;
  SourceTable table_;  // the source table, when the source is one
  std::unique_ptr<RecordSource> reader_;  // the reader of the last start
};

}  // namespace vesper
