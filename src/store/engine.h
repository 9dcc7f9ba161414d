// The table engine's session: aliases, passwords and the data folder.
//
// Contract:
// - The configuration file (aliasconfig.h) is read when the session starts;
//   its path is given or defaultconfigpath().  A standard alias added during
//   the session exists at once; saveconfig() makes it outlive the program.
// - Alias names are matched without regard to letter case.  The data folder
//   is the PATH parameter of the alias (pathfromparams); an unknown alias has
//   no parameters and so an empty folder.
// - An alias names a data folder, or with TYPE=POSTGRESQL a database on a
//   server (serverdatabase.h); place() gives either as a DataPlace, which
//   opens its tables with the session's busy timeout.
// - opentable() opens a table in the place of an alias, or in a folder given
//   directly when no alias has that name.
// - Passwords are kept for the session only: SQLite table files carry no
//   passwords, so a registered password opens nothing more than before.  The
//   start-up still registers one, as the contact manager's own tables expect.
#pragma once

#include <string>
#include <vector>

#include "base/seams.h"
#include "store/aliasconfig.h"
#include "store/dataplace.h"
#include "store/table.h"

namespace vesper {

// The alias of the contact manager's data folder.
inline constexpr const char* kDataAlias = "PNANT";

class Engine {
 public:
  // Reads the configuration at defaultconfigpath().
  Engine();
  // Reads the configuration at `configpath` (a missing file gives no aliases).
  explicit Engine(std::string configpath);

  const std::string& configpath() const { return configpath_; }

  void addpassword(const std::string& password);
  const std::vector<std::string>& passwords() const { return passwords_; }

  bool isalias(const std::string& alias) const;
  // EngineError when the alias exists already.
  void addstandardalias(const std::string& alias, const std::string& path, const std::string& driver);
  // EngineError when the file cannot be written.
  void saveconfig();
  std::vector<std::string> aliasparams(const std::string& alias) const;
  std::string datafolder(const std::string& alias = kDataAlias) const;

  // The folder an alias stands for; a text that is no alias is a folder itself.
  std::string resolvefolder(const std::string& aliasorfolder) const;
  // Where the tables of an alias are: its folder, or its server database.
  DataPlace place(const std::string& alias = kDataAlias) const;
  // Opens `name` in that folder (letter case of the name ignored).
  void opentable(Table& table, const std::string& aliasorfolder, const std::string& name) const;

  // Free space of the data folder's file system, -1 when unknown (a
  // database on a server).
  long long freespace(Disk& disk) const;
  long long freespace() const;

  void setbusytimeout(int milliseconds) { busyms_ = milliseconds < 0 ? 0 : milliseconds; }
  int busytimeout() const { return busyms_; }

 private:
  std::string configpath_;
  AliasConfig config_;
  std::vector<std::string> passwords_;
  int busyms_ = 5000;
};

}  // namespace vesper
