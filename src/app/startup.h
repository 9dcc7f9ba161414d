// Start-up: before any window, make sure the table engine reaches the data
// folder and that the contact table is there.
//
// Contract: `startupcheck` registers the session password, creates the alias
// PNANT when it is missing (and saves the configuration), and tests for the
// contact table in the alias folder.  The alias is made for the program
// folder's "data" subfolder when the program may write its folder (a build
// folder); an installed program's is the user's data folder,
// <data home>/pennant/data.  When the contact table is missing, the error
// box "Could not find the CONTACT.DB database in the <folder> folder.
// Goodbye." is shown and the result is false: the program then ends.  Only
// for an installed program whose alias names the user's data folder, and
// only when `askcreate` is given (the windows; the batch command never asks),
// the user is asked first whether to create an empty contact data folder
// there; yes creates it as --create-data-folder does and start-up goes on.
// Engine errors while adding or saving the alias, or creating the folder,
// travel to the caller; an error opening DATABASE.DB is reported and
// start-up goes on.
#pragma once

#include <functional>
#include <string>

#include "base/folders.h"
#include "base/seams.h"
#include "store/engine.h"

namespace vesper {

// Asked with the folder; true: create the empty contact data folder there.
using CreateFolderQuestion = std::function<bool(const std::string& folder)>;

bool isPNANTAliasOK(Engine& engine, const std::string& programdir, Folders& folders);
bool isContactTableOK(Engine& engine, Messages& messages);
bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir, Folders& folders,
                  const CreateFolderQuestion& askcreate = nullptr);
// The machine's folders, never asking.
bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir);

// The user's data folder: <data home>/pennant/data.
std::string userdatafolder(Folders& folders);
// The folder a new alias PNANT names for a program in `programdir`.
std::string newaliasfolder(const std::string& programdir, Folders& folders);
// Whether the contact table is missing from the user's data folder that an
// installed program's alias names: the one case in which start-up may offer
// to create the data folder (and the batch command names --create-data-folder).
bool cancreatedatafolder(const Engine& engine, const std::string& programdir, Folders& folders);

// The folder of the running program (from /proc/self/exe).
std::string programfolder();

}  // namespace vesper
