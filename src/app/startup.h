// Start-up: before any window, make sure the table engine reaches the data
// folder and that the contact table is there.
//
// Contract: `startupcheck` registers the session password, creates the alias
// PNANT for the program folder's "data" subfolder when it is missing (and
// saves the configuration), and tests for the contact table in the alias
// folder.  When it is missing, the error box "Could not find the CONTACT.DB
// database in the <folder> folder. Goodbye." is shown and the result is
// false: the program then ends with exit code 0.  Engine errors while adding
// or saving the alias travel to the caller; an error opening DATABASE.DB is
// reported and start-up goes on.
#pragma once

#include <string>

#include "base/seams.h"
#include "store/engine.h"

namespace vesper {

bool isPNANTAliasOK(Engine& engine, const std::string& programdir);
bool isContactTableOK(Engine& engine, Messages& messages);
bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir);

// The folder of the running program (from /proc/self/exe).
std::string programfolder();

}  // namespace vesper
