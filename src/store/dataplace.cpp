#include "store/dataplace.h"

#include "store/serverbackend.h"
#include "store/systemdisk.h"

namespace vesper {

DataPlace DataPlace::folder(std::string path, int busyms) {
  DataPlace p;
  p.path_ = std::move(path);
  p.busyms_ = busyms;
  return p;
}

DataPlace DataPlace::server(ServerDatabase database, int busyms) {
  DataPlace p;
  p.server_ = std::move(database);
  p.busyms_ = busyms;
  return p;
}

void DataPlace::open(Table& table, const std::string& name) const {
  if (server_) {
    openservertable(table, *server_, name, busyms_);
    return;
  }
  table.setbusytimeout(busyms_);
  table.open(path_, name);
}

bool DataPlace::has(const std::string& name) const {
  if (!server_) return fileexists(joinpath(path_, name));
  try {
    Table probe;
    open(probe, name);
    return true;
  } catch (const TableUnavailable&) {
    throw;  // the server, not the table, is missing
  } catch (const EngineError&) {
    return false;
  }
}

std::string DataPlace::describe() const {
  if (server_) return "the database " + describeconnection(server_->connection);
  return "the " + path_ + " folder";
}

}  // namespace vesper
