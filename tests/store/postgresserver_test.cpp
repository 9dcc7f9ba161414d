// The PostgreSQL server the store's tests use, reached as they reach it: the
// connection string of $VESPER_TEST_POSTGRES and one fresh schema per test.
#include "support/postgres.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace vesper {
namespace {

using testing::FreshSchema;
using testing::PostgresConnection;

TEST(PostgresServer, AnswersOnItsUnixSocketOnly) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  EXPECT_EQ(db.value("SELECT 1"), "1");
  // A connection over a Unix socket has no server address.
  EXPECT_EQ(db.value("SELECT inet_server_addr() IS NULL"), "t");
}

TEST(PostgresServer, FreshSchemasKeepTheirTablesApartAndAreDropped) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  std::string first;
  {
    FreshSchema a(db);
    FreshSchema b(db);
    first = a.name();
    ASSERT_NE(a.name(), b.name());
    a.use();
    db.exec("CREATE TABLE contact (id integer); INSERT INTO contact VALUES (1), (2)");
    b.use();
    EXPECT_EQ(db.value("SELECT to_regclass('contact') IS NULL"), "t");
    // The same table name in the other schema is another table.
    db.exec("CREATE TABLE contact (id integer); INSERT INTO contact VALUES (3)");
    EXPECT_EQ(db.value("SELECT count(*) FROM contact"), "1");
    EXPECT_EQ(db.value("SELECT count(*) FROM " + a.name() + ".contact"), "2");
    // A transaction left failed does not stop the drop.
    EXPECT_THROW(db.exec("BEGIN; SELECT * FROM nowhere"), std::runtime_error);
  }
  EXPECT_EQ(db.value("SELECT count(*) FROM pg_namespace WHERE nspname = '" + first + "'"), "0");
}

// The variables as a test sees them, restored afterwards.
class Environment {
 public:
  Environment(const char* conninfo, const char* required) {
    set("VESPER_TEST_POSTGRES", conninfo);
    set("VESPER_TEST_POSTGRES_REQUIRED", required);
  }
  ~Environment() {
    set("VESPER_TEST_POSTGRES", conninfo_ ? conninfo_->c_str() : nullptr);
    set("VESPER_TEST_POSTGRES_REQUIRED", required_ ? required_->c_str() : nullptr);
  }

 private:
  static std::optional<std::string> get(const char* name) {
    const char* v = ::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  }
  static void set(const char* name, const char* value) {
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  std::optional<std::string> conninfo_ = get("VESPER_TEST_POSTGRES");
  std::optional<std::string> required_ = get("VESPER_TEST_POSTGRES_REQUIRED");
};

void needpostgres(bool& reached) {
  VESPER_NEED_POSTGRES(conninfo);
  reached = !conninfo.empty();
}

TEST(PostgresServer, MissingOrHostlessServerFailsWhereItMustNotSkip) {
  struct Case { const char* conninfo; const char* required; bool fails; };
  const Case cases[] = {
      {nullptr, "1", true},                     // CI lost the variable
      {nullptr, nullptr, false},                // a developer without a server: skipped
      {nullptr, "0", false},
      {"dbname=vesper_test user=vesper", nullptr, true},  // libpq would pick the host
      {"host=/tmp/x port=5 dbname=d", nullptr, false},    // usable: the test goes on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.conninfo ? c.conninfo : "(unset)") + " required=" +
                 (c.required ? c.required : "(unset)"));
    bool reached = false;
    {
      Environment env(c.conninfo, c.required);
      ::testing::TestPartResultArray results;
      {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        needpostgres(reached);
      }
      bool failed = false, skipped = false;
      for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& r = results.GetTestPartResult(i);
        failed = failed || r.fatally_failed();
        skipped = skipped || r.skipped();
        // Without a server the message says how to start one.
        if (!c.conninfo) {
          EXPECT_THAT(r.message(), ::testing::HasSubstr(".ci/pgcluster"));
        }
      }
      EXPECT_EQ(failed, c.fails);
      EXPECT_EQ(skipped, !c.fails && !c.conninfo);
      EXPECT_EQ(reached, !c.fails && c.conninfo);
    }
  }
}

}  // namespace
}  // namespace vesper
