#include "store/aliasconfig.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/errors.h"
#include "parse/text.h"

namespace vesper {

namespace {

std::string envvalue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string homefolder() {
  std::string home = envvalue("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return ".";
}

bool isparameter(const std::string& line) {
  std::string t = trimleft(line);
  return !t.empty() && t[0] != ';' && t[0] != '#' && !isblank(t);
}

bool hasbreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string defaultconfigpath() {
  std::string explicitpath = envvalue("PENNANT_ENGINE_CONFIG");
  if (!explicitpath.empty()) return explicitpath;
  std::string xdg = envvalue("XDG_CONFIG_HOME");
  // A relative XDG_CONFIG_HOME is invalid and is ignored, as the XDG rules say.
  if (!xdg.empty() && xdg[0] == '/') return xdg + "/pennant/engine.cfg";
  return homefolder() + "/.config/pennant/engine.cfg";
}

std::string pathfromparams(const std::vector<std::string>& params) {
  std::string path;
  for (const std::string& line : params)
    if (line.find("PATH=") != std::string::npos) path = line.size() > 5 ? line.substr(5) : "";
  return path;
}

void AliasConfig::load(const std::string& path) {
  preamble_.clear();
  sections_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || !std::filesystem::exists(path)) return;
    throw EngineError("Cannot read the engine configuration " + path + ": " + std::strerror(errno));
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string t = trimright(trimleft(line));
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      sections_.push_back({t.substr(1, t.size() - 2), {}});
      continue;
    }
    if (sections_.empty()) preamble_.push_back(line);
    else sections_.back().lines.push_back(line);
  }
}

void AliasConfig::save(const std::string& path) const {
  std::filesystem::path p(path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw EngineError("Cannot write the engine configuration " + path + ": " + std::strerror(errno));
    for (const auto& l : preamble_) out << l << '\n';
    for (const auto& s : sections_) {
      out << '[' << s.name << "]\n";
      for (const auto& l : s.lines) out << l << '\n';
    }
    out.flush();
    if (!out) {
      std::filesystem::remove(tmp, ec);
      throw EngineError("Cannot write the engine configuration " + path + ".");
    }
  }
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    throw EngineError("Cannot write the engine configuration " + path + ".");
  }
}

const AliasConfig::Section* AliasConfig::find(const std::string& alias) const {
  for (const auto& s : sections_)
    if (sametext(s.name, alias)) return &s;
  return nullptr;
}

bool AliasConfig::has(const std::string& alias) const { return find(alias) != nullptr; }

std::vector<std::string> AliasConfig::params(const std::string& alias) const {
  std::vector<std::string> out;
  if (const Section* s = find(alias))
    for (const auto& l : s->lines)
      if (isparameter(l)) out.push_back(l);
  return out;
}

void AliasConfig::addstandard(const std::string& alias, const std::string& path,
                              const std::string& driver) {
  if (alias.empty() || alias.find_first_of("[]") != std::string::npos || hasbreak(alias))
    throw EngineError("Invalid alias name: " + alias);
  if (hasbreak(path) || hasbreak(driver))
    throw EngineError("Invalid parameter for alias " + alias + ": line breaks are not allowed.");
  if (has(alias)) throw EngineError("Alias " + alias + " already exists.");
  sections_.push_back({alias, {"TYPE=STANDARD", "PATH=" + path, "DEFAULT DRIVER=" + driver}});
}

std::vector<std::string> AliasConfig::aliases() const {
  std::vector<std::string> out;
  for (const auto& s : sections_) out.push_back(s.name);
  return out;
}

}  // namespace vesper
