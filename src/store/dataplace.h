// Where a contact database keeps its tables: a data folder of table files,
// or a database on a PostgreSQL server (serverdatabase.h).
//
// Contract.  A place opens its tables by name (CONTACT.DB, DATABASE.DB,
// SETTINGS.DB; letter case ignored) with its busy timeout, whichever kind it
// is, so that the import, the chooser and the start-up never ask.  Messages
// name it by describe(): "the /home/ann/data folder", or "the database office
// on db.example.org port 5432 as ann" (never a connection text).  Free space
// is a data folder's: a server's disk is the server's own to watch, and a
// full one fails the write that meets it.
#pragma once

#include <optional>
#include <string>

#include "store/serverdatabase.h"
#include "store/table.h"

namespace vesper {

class DataPlace {
 public:
  DataPlace() = default;
  static DataPlace folder(std::string path, int busyms = 5000);
  static DataPlace server(ServerDatabase database, int busyms = 5000);

  bool onserver() const { return server_.has_value(); }
  // The data folder; "" for a database on a server.
  const std::string& path() const { return path_; }
  void open(Table& table, const std::string& name) const;
  // Whether the place holds table `name`, for the start-up's check; a server
  // that cannot be reached throws as opening a table does.
  bool has(const std::string& name) const;
  std::string describe() const;

 private:
  std::string path_;
  std::optional<ServerDatabase> server_;
  int busyms_ = 5000;
};

}  // namespace vesper
