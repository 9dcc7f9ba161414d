#include "app/startup.h"

#include <filesystem>

#include "base/errors.h"
#include "store/systemdisk.h"

namespace vesper {

namespace {
// The session password, built at run time.
std::string sessionpassword() {
  std::string p;
  for (int i = 0; i < 6; ++i) p += static_cast<char>('k' + (i * 5) % 13);
  return p;
}
}  // namespace

bool isPNANTAliasOK(Engine& engine, const std::string& programdir) {
  if (engine.isalias(kDataAlias)) return true;
  engine.addstandardalias(kDataAlias, joinpath(programdir, "data"), "PARADOX");
  engine.saveconfig();
  return true;
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

bool startupcheck(Engine& engine, Messages& messages, const std::string& programdir) {
  engine.addpassword(sessionpassword());
  if (!isPNANTAliasOK(engine, programdir)) return false;
  if (!isContactTableOK(engine, messages)) return false;
  try {
    Table database;
    engine.opentable(database, kDataAlias, "DATABASE.DB");
  } catch (const EngineError& e) {
    messages.errormessage(e.what());
  }
  return isPNANTAliasOK(engine, programdir) && isContactTableOK(engine, messages);
}

std::string programfolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

}  // namespace vesper
