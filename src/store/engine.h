// The table engine's session: aliases, passwords and the data folder.
//
// Contract:
// - The configuration file (aliasconfig.h) is read when the session starts;
//   its path is given or defaultconfigpath().  A standard alias added during
//   the session exists at once; saveConfig() makes it outlive the program.
// - Alias names are matched without regard to letter case.  The data folder
//   is the PATH parameter of the alias (pathfromparams); an unknown alias has
//   no parameters and so an empty folder.
// - openTable() opens a table in the folder of an alias, or in a folder given
//   directly when no alias has that name, with the session's busy timeout.
// - Passwords are kept for the session only: SQLite table files carry no
//   passwords, so a registered password opens nothing more than before.  The
//   start-up still registers one, as the contact manager's own tables expect.
#pragma once

#include <string>
#include <vector>

#include "base/seams.h"
#include "store/aliasconfig.h"
#include "store/table.h"

namespace vesper {

// The alias of the contact manager's data folder.
inline constexpr const char* kDataAlias = "PNANT";

class Engine {
 public:
  // Reads the configuration at defaultconfigpath().
  Engine();
  // Reads the configuration at `configPath` (a missing file gives no aliases).
  explicit Engine(std::string configPath);

  const std::string& configPath() const { return configPath_; }

  void addPassword(const std::string& password);
  const std::vector<std::string>& passwords() const { return passwords_; }

  bool isAlias(const std::string& alias) const;
  // EngineError when the alias exists already.
  void addStandardAlias(const std::string& alias, const std::string& path, const std::string& driver);
  // EngineError when the file cannot be written.
  void saveConfig();
  std::vector<std::string> aliasParams(const std::string& alias) const;
  std::string dataFolder(const std::string& alias = kDataAlias) const;

  // The folder an alias stands for; a text that is no alias is a folder itself.
  std::string folderOf(const std::string& aliasOrFolder) const;
  // Opens `name` in that folder (letter case of the name ignored).
  void openTable(Table& table, const std::string& aliasOrFolder, const std::string& name) const;

  // Free space of the data folder's file system, -1 when unknown.
  long long freeSpace(Disk& disk) const;
  long long freeSpace() const;

  void setBusyTimeout(int milliseconds) { busyMs_ = milliseconds < 0 ? 0 : milliseconds; }
  int busyTimeout() const { return busyMs_; }

 private:
  std::string configPath_;
  AliasConfig config_;
  std::vector<std::string> passwords_;
  int busyMs_ = 5000;
};

}  // namespace vesper
