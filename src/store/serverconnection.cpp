#include "store/serverconnection.h"

#include <libpq-fe.h>

#include <cstring>
#include <memory>

#include "base/errors.h"
#include "store/serverdatabase.h"

namespace vesper {

std::string onelinemessage(const char* message) {
  std::string out;
  for (const char* c = message ? message : ""; *c; ++c) {
    const bool blank = *c == '\n' || *c == '\t' || *c == '\r' || *c == ' ';
    if (!blank) out += *c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string connectionreason(const char* message) {
  const char* text = message ? message : "";
  while (*text == '\n' || *text == ' ' || *text == '\t') ++text;
  const char* end = std::strchr(text, '\n');
  std::string why = onelinemessage(std::string(text, end ? end : text + std::strlen(text)).c_str());
  if (why.empty()) why = "no reason given";
  if (why.back() != '.' && why.back() != '?' && why.back() != '!') why += '.';  // more sentences may follow
  return why;
}

namespace {
using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;
Result wrap(PGresult* r) { return Result(r, PQclear); }
}  // namespace

ServerConnection::ServerConnection(const std::string& connection) : described_(describeconnection(connection)) {
  const std::string problem = connectionproblem(connection);
  if (!problem.empty()) throw EngineError("Cannot use the contact database " + described_ + ": " + problem + ".");
  conn_ = PQconnectdb(connection.c_str());
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string why = connectionreason(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw TableUnavailable("Cannot reach the contact database " + described_ + ": " + why);
  }
}

ServerConnection::~ServerConnection() {
  if (conn_) PQfinish(conn_);
}

void ServerConnection::fail(const std::string& what) const {
  if (PQstatus(conn_) != CONNECTION_OK)
    throw TableUnavailable("The connection to the contact database " + described_ +
                           " was lost: " + connectionreason(PQerrorMessage(conn_)));
  throw EngineError(what + ": " + onelinemessage(PQerrorMessage(conn_)));
}

void ServerConnection::exec(const std::string& sql) {
  Result r = wrap(PQexec(conn_, sql.c_str()));
  const ExecStatusType s = PQresultStatus(r.get());
  if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) fail("The contact database " + described_ + " refused a change");
}

std::vector<std::vector<std::string>> ServerConnection::rows(const std::string& sql,
                                                              const std::vector<std::string>& params) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  Result r = wrap(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               nullptr, nullptr, 0));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) fail("The contact database " + described_ + " could not be read");
  std::vector<std::vector<std::string>> out(static_cast<std::size_t>(PQntuples(r.get())));
  for (int i = 0; i < PQntuples(r.get()); ++i)
    for (int j = 0; j < PQnfields(r.get()); ++j) out[static_cast<std::size_t>(i)].push_back(PQgetvalue(r.get(), i, j));
  return out;
}

void ServerConnection::copy(const std::string& table, const std::string& columns, const std::string& data) {
  const std::string sql = "COPY " + table + (columns.empty() ? "" : " (" + columns + ")") + " FROM STDIN";
  Result start = wrap(PQexec(conn_, sql.c_str()));
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) fail("The contact database " + described_ + " refused rows");
  bool sent = PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
  sent = PQputCopyEnd(conn_, sent ? nullptr : "the rows could not be sent") == 1 && sent;
  bool stored = sent;
  std::string why;
  while (PGresult* r = PQgetResult(conn_)) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      stored = false;
      why = onelinemessage(PQresultErrorMessage(r));
    }
    PQclear(r);
  }
  if (stored) return;
  if (PQstatus(conn_) != CONNECTION_OK || why.empty()) fail("The contact database " + described_ + " refused rows");
  throw EngineError("The contact database " + described_ + " refused rows: " + why);
}

}  // namespace vesper
