// A fresh data folder as the contact manager sets one up.
//
// Contract: `createsampledatafolder(dir)` creates `dir` if needed and, in it,
// CONTACT.DB (every contact field, keyed by Recno, no contacts yet),
// DATABASE.DB (keyed by DB, one database "MAIN" with its field labels) and
// SETTINGS.DB (one row: address layouts and captions).  It refuses, with
// EngineError and without touching anything, a folder that already holds any
// of the three tables.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "store/fieldtypes.h"

namespace vesper {

// The fields of the three tables, in table order.
std::vector<FieldDef> contactfields();
std::vector<FieldDef> databasefields();
std::vector<FieldDef> settingsfields();

// The one row of DATABASE.DB (the database MAIN) and of SETTINGS.DB a new
// contact database starts with: field names and values as texts.
std::vector<std::pair<std::string, std::string>> maindatabaserow();
std::vector<std::pair<std::string, std::string>> startsettingsrow();

void createsampledatafolder(const std::string& dir);

struct ServerDatabase;
// The same three tables, and the same two rows, in the schema of a server
// database (created when missing).  Refuses, with EngineError and without
// touching anything, a schema that already holds any of the three tables;
// TableUnavailable when the server cannot be reached.  One transaction: a
// failure leaves nothing behind.
void createserverdatabase(const ServerDatabase& database);

}  // namespace vesper
