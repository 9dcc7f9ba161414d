#include "store/engine.h"

#include "store/systemdisk.h"

namespace vesper {

Engine::Engine() : Engine(defaultconfigpath()) {}

Engine::Engine(std::string configpath) : configpath_(std::move(configpath)) { config_.load(configpath_); }

void Engine::addpassword(const std::string& password) { passwords_.push_back(password); }

bool Engine::isalias(const std::string& alias) const { return config_.has(alias); }

void Engine::addstandardalias(const std::string& alias, const std::string& path, const std::string& driver) {
  config_.addstandard(alias, path, driver);
}

void Engine::saveconfig() { config_.save(configpath_); }

std::vector<std::string> Engine::aliasparams(const std::string& alias) const { return config_.params(alias); }

std::string Engine::datafolder(const std::string& alias) const { return pathfromparams(aliasparams(alias)); }

std::string Engine::resolvefolder(const std::string& aliasorfolder) const {
  return isalias(aliasorfolder) ? datafolder(aliasorfolder) : aliasorfolder;
}

DataPlace Engine::place(const std::string& alias) const {
  const std::vector<std::string> params = aliasparams(alias);
  if (isserveralias(params)) return DataPlace::server(serverdatabase(alias, params), busyms_);
  return DataPlace::folder(pathfromparams(params), busyms_);
}

void Engine::opentable(Table& table, const std::string& aliasorfolder, const std::string& name) const {
  if (isalias(aliasorfolder)) place(aliasorfolder).open(table, name);
  else DataPlace::folder(aliasorfolder, busyms_).open(table, name);
}

long long Engine::freespace(Disk& disk) const {
  const DataPlace here = place();
  return here.onserver() ? -1 : disk.freespace(here.path());
}

long long Engine::freespace() const {
  SystemDisk disk;
  return freespace(disk);
}

}  // namespace vesper
