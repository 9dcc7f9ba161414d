#include "store/engine.h"

#include "store/systemdisk.h"

namespace vesper {

Engine::Engine() : Engine(defaultconfigpath()) {}

Engine::Engine(std::string configPath) : configPath_(std::move(configPath)) { config_.load(configPath_); }

void Engine::addPassword(const std::string& password) { passwords_.push_back(password); }

bool Engine::isAlias(const std::string& alias) const { return config_.has(alias); }

void Engine::addStandardAlias(const std::string& alias, const std::string& path, const std::string& driver) {
  config_.addstandard(alias, path, driver);
}

void Engine::saveConfig() { config_.save(configPath_); }

std::vector<std::string> Engine::aliasParams(const std::string& alias) const { return config_.params(alias); }

std::string Engine::dataFolder(const std::string& alias) const { return pathfromparams(aliasParams(alias)); }

std::string Engine::folderOf(const std::string& aliasOrFolder) const {
  return isAlias(aliasOrFolder) ? dataFolder(aliasOrFolder) : aliasOrFolder;
}

void Engine::openTable(Table& table, const std::string& aliasOrFolder, const std::string& name) const {
  table.setBusyTimeout(busyMs_);
  table.open(folderOf(aliasOrFolder), name);
}

long long Engine::freeSpace(Disk& disk) const { return disk.freeSpace(dataFolder()); }

long long Engine::freeSpace() const {
  SystemDisk disk;
  return freeSpace(disk);
}

}  // namespace vesper
