// Batch imports into one contact database on the test server at once: two
// importers of the same names store every row under a key of its own, each
// importer's keys of a name in the order of its records, and their summaries
// add up to the rows stored; an importer killed in the middle leaves only
// whole rows, at least as many as it last showed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "store/sampledata.h"
#include "store/serverdatabase.h"
#include "support/batchcommand.h"
#include "support/postgres.h"

namespace vesper {
namespace {

using testing::FreshSchema;
using testing::PostgresConnection;

class ServerConcurrencyTest : public testing::BatchCommandTest {
 protected:
  ServerConcurrencyTest() : BatchCommandTest("serverconcurrency") {}

  // `n` contacts of fifty family names, their record number after `tag` in
  // the notes, in the columns of examples/contacts.imp.
  std::string list(const std::string& tag, int n) {
    const std::string path = (dir / (tag + ".csv")).string();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < n; ++i)
      out << "Ann Smith" << i % 50 << ",Acme,1 Main St,\"Springfield, IL 62701\",555-0100,,,," << tag << i << "\n";
    return path;
  }
  // The batch command on `path`, in the background; its output in TAG.out
  // and TAG.err.
  pid_t start(const std::string& path, const std::string& tag, bool progress) {
    const std::string imp = std::string(VESPER_SOURCE_DIR) + "/examples/contacts.imp";
    const std::string out = (dir / (tag + ".out")).string(), err = (dir / (tag + ".err")).string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir.c_str()) != 0 || !std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
        ::_exit(127);
      if (progress)
        ::execl(VESPER_BINARY, "vesper-import", "--database", "MAIN", "--spec", imp.c_str(), "--progress",
                path.c_str(), static_cast<char*>(nullptr));
      else
        ::execl(VESPER_BINARY, "vesper-import", "--database", "MAIN", "--spec", imp.c_str(), path.c_str(),
                static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }
  static int finish(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The number after "Imported: " in the last place `text` shows one.
  static long long lastimported(const std::string& text) {
    const auto at = text.rfind("Imported: ");
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 10);
  }
  void useserver(const std::string& conninfo, const std::string& schema) {
    createserverdatabase(ServerDatabase{conninfo, schema});
    std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << conninfo << "\nSCHEMA=" << schema
                                      << "\n";
  }
};

TEST_F(ServerConcurrencyTest, TwoImportersOfTheSameNamesAtOnce) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  useserver(conninfo, schema.name());
  const std::string a = list("a", 100000), b = list("b", 100000);
  const pid_t pa = start(a, "a", false), pb = start(b, "b", false);
  ASSERT_EQ(finish(pa), 0) << slurp(dir / "a.err");
  ASSERT_EQ(finish(pb), 0) << slurp(dir / "b.err");

  const std::string table = schema.name() + ".contact";
  EXPECT_EQ(lastimported(slurp(dir / "a.out")) + lastimported(slurp(dir / "b.out")), 200000);
  EXPECT_EQ(db.value("SELECT count(*) FROM " + table), "200000");
  EXPECT_EQ(db.value("SELECT count(DISTINCT \"Recno\") FROM " + table), "200000");
  // Each importer's records of a name have keys in the order of the records.
  EXPECT_EQ(db.value("SELECT count(*) FROM (SELECT \"Recno\", lag(\"Recno\") OVER (PARTITION BY \"LastName\", "
                     "left(\"Memo\", 1) ORDER BY substr(\"Memo\", 2)::int) AS before FROM " + table +
                     ") k WHERE before COLLATE \"C\" >= \"Recno\" COLLATE \"C\""),
            "0");
}

TEST_F(ServerConcurrencyTest, AnImporterKilledLeavesWholeRowsItShowed) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  useserver(conninfo, schema.name());
  const std::string table = schema.name() + ".contact";
  const pid_t pid = start(list("k", 100000), "k", true);
  // Killed once it showed rows imported (and so committed), before the end.
  const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (lastimported(slurp(dir / "k.err")) <= 0 && std::chrono::steady_clock::now() < give)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ::kill(pid, SIGKILL);
  EXPECT_EQ(finish(pid), -1);  // killed, not ended

  const long long stored = std::stoll(db.value("SELECT count(*) FROM " + table));
  EXPECT_GT(stored, 0);
  EXPECT_LT(stored, 100000) << "the import ended before it was killed";
  const long long shown = lastimported(slurp(dir / "k.err"));
  EXPECT_GT(shown, 0);
  EXPECT_GE(stored, shown);
  // Every row stored is whole: its name split, its address and notes there.
  EXPECT_EQ(db.value("SELECT count(*) FROM " + table + " WHERE \"FirstName\" = 'Ann' AND \"City\" = 'Springfield' "
                     "AND \"Memo\" LIKE 'k%' AND \"MailAddr\" <> ''"),
            std::to_string(stored));
}

}  // namespace
}  // namespace vesper
