// A scratch folder for table files, removed with everything in it, plus
// plain-SQL access to a table file the way another SQLite tool would see it.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace vesper::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesper-store-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// An independent connection to a table file.
class RawConnection {
 public:
  explicit RawConnection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path);
  }
  ~RawConnection() { sqlite3_close_v2(db_); }
  int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
  // First column of the first row as text ("<null>" for NULL, "<none>" without rows).
  std::string value(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      return std::string("<error: ") + sqlite3_errmsg(db_) + ">";
    std::string out = "<none>";
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      out = t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, 0)) : "<null>";
    } else if (rc != SQLITE_DONE) {
      out = std::string("<error: ") + sqlite3_errmsg(db_) + ">";
    }
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace vesper::testing
