#include "app/startup.h"

#include <filesystem>

#include "base/errors.h"
#include "store/sampledata.h"
#include "store/systemdisk.h"

namespace vesper {

namespace {
// The session password, built at run time.
std::string sessionpassword() {
  std::string p;
  for (int i = 0; i < 6; ++i) p += static_cast<char>('k' + (i * 5) % 13);
  return p;
}

std::string withoutslash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}
}  // namespace

std::string userdatafolder(Folders& folders) { return joinpath(folders.datahome(), "pennant/data"); }

std::string newaliasfolder(const std::string& programdir, Folders& folders) {
  if (folders.writable(programdir)) return joinpath(programdir, "data");
  return userdatafolder(folders);
}

bool isPNANTAliasOK(Engine& engine, const std::string& programdir, Folders& folders) {
  if (engine.isalias(kDataAlias)) return true;
  engine.addstandardalias(kDataAlias, newaliasfolder(programdir, folders), "PARADOX");
  engine.saveconfig();
  return true;
}

bool cancreatedatafolder(const Engine& engine, const std::string& programdir, Folders& folders) {
  const DataPlace place = engine.place(kDataAlias);
  if (place.onserver() || folders.writable(programdir)) return false;
  if (withoutslash(place.path()) != withoutslash(userdatafolder(folders))) return false;
  return !place.has("Contact.db");
}

bool isContactTableOK(Engine& engine, Messages& messages) {
  const DataPlace place = engine.place(kDataAlias);
  try {
    if (place.has("Contact.db")) {
      Table contact;
      place.open(contact, "CONTACT.DB");
      return true;
    }
  } catch (const TableUnavailable& e) {  // a server that cannot be reached
    errorbox(messages, e.what());
    return false;
  }
  errorbox(messages, "Could not find the CONTACT.DB database in " + place.describe() + ". Goodbye.");
  return false;
}

bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir, Folders& folders,
                  const CreateFolderQuestion& askcreate) {
  engine.addpassword(sessionpassword());
  if (!isPNANTAliasOK(engine, programdir, folders)) return false;
  // An installed program's first start: the user's data folder is offered
  // instead of the Goodbye.
  if (askcreate && cancreatedatafolder(engine, programdir, folders)) {
    const std::string folder = engine.datafolder();
    if (askcreate(folder)) createsampledatafolder(folder);
  }
  if (!isContactTableOK(engine, messages)) return false;
  try {
    Table database;
    engine.opentable(database, kDataAlias, "DATABASE.DB");
  } catch (const EngineError& e) {
    messages.errormessage(e.what());
  }
  return isPNANTAliasOK(engine, programdir, folders) && isContactTableOK(engine, messages);
}

bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir) {
  SystemFolders folders;
  return startupcheck(engine, messages, programdir, folders);
}

std::string programfolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

}  // namespace vesper
