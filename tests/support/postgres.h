// The PostgreSQL server of the tests over a PostgreSQL store.  Its libpq
// connection string is $VESPER_TEST_POSTGRES; .ci/run starts a private server
// (.ci/pgcluster) and sets it.  On a developer's machine:
//
//   eval "$(.ci/pgcluster env /tmp/vesper-pg)"    # start it, export the string
//   .ci/pgcluster stop /tmp/vesper-pg             # when done
//
// Where the variable is unset the tests over the server are skipped with a
// message saying so; with VESPER_TEST_POSTGRES_REQUIRED set (CI, where the
// server is known to run) they fail instead, so a lost variable cannot pass
// as a skip.  A string that names no host fails too: libpq would fill it in
// from its defaults and reach some other server.
//
// In a GoogleTest test, or its fixture's SetUp (any function returning void):
//
//   VESPER_NEED_POSTGRES(conninfo);        // declares std::string conninfo
//   PostgresConnection db(conninfo);
//   FreshSchema schema(db);                // after db: dropped before db closes
//   schema.use();                          // unqualified names land in it
//
// Each FreshSchema has a name of its own (process, count, random), so tests
// run side by side under ctest -j share the database without meeting; it is
// dropped with everything in it when it goes out of scope.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

namespace vesper::testing {

inline bool postgresrequired() {
  const char* r = std::getenv("VESPER_TEST_POSTGRES_REQUIRED");
  return r && *r && std::strcmp(r, "0") != 0;
}

// $VESPER_TEST_POSTGRES, "" when unset.
inline std::string postgresconninfo() {
  const char* env = std::getenv("VESPER_TEST_POSTGRES");
  return env ? env : "";
}

// "" when the string can be used; else why not.
inline std::string postgresunusable(const std::string& conninfo) {
  if (conninfo.empty())
    return "VESPER_TEST_POSTGRES is not set, so there is no PostgreSQL server for this test: "
           "start one with .ci/pgcluster start DIR and export the connection string it prints "
           "as VESPER_TEST_POSTGRES (or eval \"$(.ci/pgcluster env DIR)\")";
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (!options) {
    std::string why = "VESPER_TEST_POSTGRES is not a connection string (" + conninfo + "): " +
                      (error ? error : "out of memory");
    PQfreemem(error);
    return why;
  }
  bool host = false;
  for (PQconninfoOption* o = options; o->keyword; ++o)
    if ((!std::strcmp(o->keyword, "host") || !std::strcmp(o->keyword, "hostaddr")) && o->val && *o->val)
      host = true;
  PQconninfoFree(options);
  if (!host) return "VESPER_TEST_POSTGRES (" + conninfo + ") names no host: give the server's socket folder";
  return "";
}

// One connection; every failure throws with the server's message.
class PostgresConnection {
 public:
  explicit PostgresConnection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string why = PQerrorMessage(conn_);
      PQfinish(conn_);
      throw std::runtime_error("cannot connect to PostgreSQL (" + conninfo + "): " + why);
    }
  }
  ~PostgresConnection() { PQfinish(conn_); }
  PostgresConnection(const PostgresConnection&) = delete;
  PostgresConnection& operator=(const PostgresConnection&) = delete;

  PGconn* get() const { return conn_; }

  void exec(const std::string& sql) { PQclear(run(sql)); }

  // First column of the first row as text ("<null>" for NULL, "<none>" without rows).
  std::string value(const std::string& sql) {
    PGresult* r = run(sql);
    std::string out = PQntuples(r) == 0 || PQnfields(r) == 0 ? "<none>"
                      : PQgetisnull(r, 0, 0)                 ? "<null>"
                                                             : PQgetvalue(r, 0, 0);
    PQclear(r);
    return out;
  }

 private:
  PGresult* run(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
      std::string why = PQerrorMessage(conn_);
      PQclear(r);
      throw std::runtime_error(sql + ": " + why);
    }
    return r;
  }

  PGconn* conn_;
};

// A schema made for one test and dropped, with everything in it, at its end.
class FreshSchema {
 public:
  explicit FreshSchema(PostgresConnection& db) : db_(db), name_(uniquename()) {
    db_.exec("CREATE SCHEMA " + name_);
  }
  ~FreshSchema() {
    // The test is over: a transaction it left open, or failed, would stop the drop.
    if (PQtransactionStatus(db_.get()) != PQTRANS_IDLE) PQclear(PQexec(db_.get(), "ROLLBACK"));
    // Without the notice of every table the drop takes with it.
    const std::string drop = "SET client_min_messages TO warning; DROP SCHEMA IF EXISTS " + name_ +
                             " CASCADE; RESET client_min_messages";
    PGresult* r = PQexec(db_.get(), drop.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK)
      ADD_FAILURE() << "cannot drop the schema " << name_ << ": " << PQerrorMessage(db_.get());
    PQclear(r);
  }
  FreshSchema(const FreshSchema&) = delete;
  FreshSchema& operator=(const FreshSchema&) = delete;

  const std::string& name() const { return name_; }

  // Unqualified names of the connection's statements are made and looked up here.
  void use() { db_.exec("SET search_path TO " + name_); }

 private:
  static std::string uniquename() {
    static std::atomic<unsigned> made{0};
    char buf[64];
    std::snprintf(buf, sizeof buf, "test_%ld_%u_%08x", static_cast<long>(::getpid()), ++made,
                  static_cast<unsigned>(std::random_device{}()));
    return buf;
  }

  PostgresConnection& db_;
  std::string name_;
};

}  // namespace vesper::testing

// Declares `const std::string var`, the connection string of the test server;
// skips the test when there is none (fails when one is required or the string
// is unusable).
#define VESPER_NEED_POSTGRES(var)                                                   \
  const std::string var = ::vesper::testing::postgresconninfo();                    \
  if (const std::string vesper_why_ = ::vesper::testing::postgresunusable(var);     \
      !vesper_why_.empty()) {                                                       \
    if (!var.empty() || ::vesper::testing::postgresrequired()) FAIL() << vesper_why_; \
    GTEST_SKIP() << vesper_why_;                                                    \
  } else                                                                            \
    static_cast<void>(0)
