// One connection to the PostgreSQL server of a contact database.
//
// Contract.  Opening names the database in any message by
// `describeconnection`, never by its connection text, and refuses a text
// holding a password (serverdatabase.h).  Every failure throws EngineError
// with the server's own message; TableUnavailable when the server cannot be
// reached or the connection is lost, which no retry of the same row cures.
// Values always go as bound parameters or COPY data, never as SQL text.
#pragma once

#include <string>
#include <vector>

struct pg_conn;

namespace vesper {

// A server's message on one line (its hints come on lines of their own).
std::string onelinemessage(const char* message);
// Why a connection could not be made or was lost, as the client library
// says it: its first line, without the guesses at a cause on the lines
// after, as a sentence (ending in a full stop).
std::string connectionreason(const char* message);

class ServerConnection {
 public:
  // Connects; throws as above ("Cannot reach the contact database ...").
  explicit ServerConnection(const std::string& connection);
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Runs statements without values.
  void exec(const std::string& sql);
  // The rows of a query with `params` bound to $1, $2...: each row its
  // columns as texts ("" for NULL).
  std::vector<std::vector<std::string>> rows(const std::string& sql, const std::vector<std::string>& params = {});
  // Sends COPY rows (text form, servertables.h) into `table` (quoted, maybe
  // schema-qualified) with `columns` ("" for all, in order).
  void copy(const std::string& table, const std::string& columns, const std::string& data);

  const std::string& described() const { return described_; }
  pg_conn* get() const { return conn_; }

 private:
  [[noreturn]] void fail(const std::string& what) const;
  pg_conn* conn_ = nullptr;
  std::string described_;
};

}  // namespace vesper
