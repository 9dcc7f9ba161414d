// A contact table that refuses every new row with one last name, as another
// program's trigger would: the table's own error for that row alone.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace vesper::testing {

inline void refuselastname(const std::filesystem::path& contactdb, const std::string& lastname,
                           const std::string& message) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(contactdb.c_str(), &db), SQLITE_OK);
  std::string sql = "CREATE TRIGGER refuse BEFORE INSERT ON contact WHEN NEW.LastName = '" + lastname +
                    "' BEGIN SELECT RAISE(ABORT, '" + message + "'); END";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

}  // namespace vesper::testing
