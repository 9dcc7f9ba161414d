// The table engine's configuration file: its aliases.
//
// Contract: a plain text file, one section per alias, for example
//
//   [PNANT]
//   TYPE=STANDARD
//   PATH=/home/me/pennant/data
//   DEFAULT DRIVER=PARADOX
//
// The parameters of an alias are the lines of its section as written
// (blank lines and lines starting with ';' or '#' are not parameters).  Alias
// names are matched without regard to letter case.  Loading a missing file
// gives no aliases; saving writes the whole file at once (a temporary file
// renamed over the old one) and creates its folder.  Comments and unknown
// lines survive a load and save.
#pragma once

#include <string>
#include <vector>

namespace vesper {

// $PENNANT_ENGINE_CONFIG when set; else $XDG_CONFIG_HOME/pennant/engine.cfg;
// else ~/.config/pennant/engine.cfg.
std::string defaultconfigpath();

// The data folder given by alias parameters: every line that contains "PATH="
// yields its text from the sixth character on; the last such line wins; none
// gives "".
std::string pathfromparams(const std::vector<std::string>& params);

class AliasConfig {
 public:
  // Throws EngineError when an existing file cannot be read.
  void load(const std::string& path);
  // Throws EngineError when the file cannot be written.
  void save(const std::string& path) const;

  bool has(const std::string& alias) const;
  // The parameter lines of the alias; empty for an unknown alias.
  std::vector<std::string> params(const std::string& alias) const;
  // Adds TYPE=STANDARD, PATH=, DEFAULT DRIVER= for a new alias.  Throws
  // EngineError when the alias exists already or a value would break the
  // file's layout (line breaks, brackets in the name).
  void addstandard(const std::string& alias, const std::string& path, const std::string& driver);
  std::vector<std::string> aliases() const;

 private:
  struct Section {
    std::string name;
    std::vector<std::string> lines;  // as written, including comments and blanks
  };
  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  const Section* find(const std::string& alias) const;
};

}  // namespace vesper
