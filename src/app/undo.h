// The import history as the user sees it: the runs listed, and a whole run
// taken back ("Undo last import", `vesper-import --undo`), for the windows
// and the batch command alike.
//
// Contract: each call opens CONTACT.DB of the place, works through its
// import history (store/importhistory.h) and closes it again; failures of the
// table engine throw EngineError with the engine's message.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/dataplace.h"
#include "store/importhistory.h"

namespace vesper {

std::vector<ImportRecord> listimports(const DataPlace& place);
// The last run recorded; false when none is.
bool lastimport(const DataPlace& place, ImportRecord& run);
UndoOutcome undoimport(const DataPlace& place, long long run, const std::function<void()>& midway = {});

// "3  2024-05-01 14:02:11  /home/ann/list.csv  MAIN  read 10, imported 8,
// rejected 1, bad 1" and " (undone)" or " (stopped)" after it.
std::string historyline(const ImportRecord& run);
// The run as the confirmation names it: "run 3 of 2024-05-01 14:02:11 from
// /home/ann/list.csv".
std::string runname(const ImportRecord& run);
// The confirmation of "Undo last import": "Undo the import run 3 of ...
// from ...? Its 8 contacts will be removed from MAIN, except any changed
// since."
std::string undoquestion(const ImportRecord& run);
// What an undo did, in one message: removed, kept (by key), gone; or that
// the run was undone already or is not in the history.
std::string undomessage(const UndoOutcome& outcome, long long run);

}  // namespace vesper
