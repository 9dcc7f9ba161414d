// The alias of a server database, its connection text, and what messages say
// of it.
#include "store/serverdatabase.h"

#include <gtest/gtest.h>

namespace vesper {
namespace {

TEST(ServerDatabaseTest, AliasGivesConnectionAndSchema) {
  const std::vector<std::string> params = {"TYPE=PostgreSQL", "CONNECTION=host=db.example.org dbname=office",
                                           "DEFAULT DRIVER=PARADOX"};
  EXPECT_TRUE(isserveralias(params));
  EXPECT_FALSE(isserveralias({"TYPE=STANDARD", "PATH=/data"}));
  const ServerDatabase db = serverdatabase("PNANT", params);
  EXPECT_EQ(db.connection, "host=db.example.org dbname=office");
  EXPECT_EQ(db.schema, "pnant");
  EXPECT_EQ(serverdatabase("PNANT", {"TYPE=POSTGRESQL", "SCHEMA = team"}).schema, "team");
}

TEST(ServerDatabaseTest, PasswordsAreRefusedAndNeverShown) {
  struct Case {
    std::string connection, problem, shown;
  };
  const Case cases[] = {
      {"host=/tmp/pg port=5433 dbname=office user=ann sslmode=require", "",
       "office on /tmp/pg port 5433 as ann"},
      {"postgresql://ann@db.example.org:5433/office?sslmode=verify-full", "",
       "office on db.example.org port 5433 as ann"},
      {"", "", "(the server's default database)"},
      {"host=db dbname=office password=s3cret", "password", "office on db"},
      {"postgresql://ann:s3cret@db/office", "password", "office on db as ann"},
      {"host=db dbname='unclosed", "cannot be read", "(the server's default database)"},
  };
  for (const Case& c : cases) {
    const std::string problem = connectionproblem(c.connection);
    if (c.problem.empty()) EXPECT_EQ(problem, "") << c.connection;
    else EXPECT_NE(problem.find(c.problem), std::string::npos) << c.connection << ": " << problem;
    const std::string shown = describeconnection(c.connection);
    EXPECT_EQ(shown, c.shown) << c.connection;
    EXPECT_EQ(problem.find("s3cret"), std::string::npos);
    EXPECT_EQ(shown.find("s3cret"), std::string::npos);
  }
}

}  // namespace
}  // namespace vesper
