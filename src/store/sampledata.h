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
#include <vector>

#include "store/fieldtypes.h"

namespace vesper {

// The fields of the three tables, in table order.
std::vector<FieldDef> contactfields();
std::vector<FieldDef> databasefields();
std::vector<FieldDef> settingsfields();

void createsampledatafolder(const std::string& dir);

}  // namespace vesper
