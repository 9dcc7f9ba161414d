// An undo killed at seeded moments takes back all of the run or none of it:
// the contact table holds every row of the run or none, the import history
// says which, NumImport follows once the history is next used, and the
// table file is sound.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "support/batchcommand.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

struct UndoKillTest : testing::BatchCommandTest {
  UndoKillTest() : BatchCommandTest("undokill") {}
  std::string sql(const std::string& file, const std::string& query) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2((dir / "data" / file).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string out;
    if (rc == SQLITE_OK)
      rc = sqlite3_exec(db, query.c_str(), [](void* o, int, char** v, char**) {
        *static_cast<std::string*>(o) += v[0] ? v[0] : ""; return 0; }, &out, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK ? out : "error " + std::to_string(rc);
  }
  long long contacts() { return std::atoll(sql("CONTACT.DB", "select count(*) from contact").c_str()); }
  pid_t startundo() {
    pid_t child = ::fork();
    if (child == 0) {
      ::chdir(dir.c_str());
      ::dup2(::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      ::execl(VESPER_BINARY, VESPER_BINARY, "--undo", "last", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return child;
  }
  void restore() {
    fs::remove_all(dir / "data");
    fs::copy(dir / "imported", dir / "data", fs::copy_options::recursive);
  }
};

TEST_F(UndoKillTest, KilledUndoTakesBackAllOrNothing) {
  const long records = 50000;
  const std::string gen = "'" VESPER_TESTCONTACTS "' --records " + std::to_string(records) +
                          " --seed 23 --forms csv --out '" + dir.string() + "' >/dev/null";
  ASSERT_EQ(std::system(gen.c_str()), 0);
  ASSERT_EQ(run("--create-data-folder data").code, 0);
  // Contacts stored before the run stay whatever happens to it.
  ASSERT_EQ(run("--database MAIN --spec contacts.imp contacts.csv").code, 0);
  const long long before = contacts();
  ASSERT_EQ(run("--database MAIN --spec contacts.imp contacts.csv").code, 0);
  const long long all = contacts();
  ASSERT_GT(all - before, records / 2);
  fs::copy(dir / "data", dir / "imported", fs::copy_options::recursive);
  const std::string numimport = "select NumImport from database where DB = 'MAIN'";
  const std::string counted = sql("DATABASE.DB", numimport);

  // How long a whole undo takes: the kills fall anywhere within it.
  const auto began = std::chrono::steady_clock::now();
  int status = 0;
  ::waitpid(startundo(), &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << slurp(dir / "err.txt");
  const long long whole =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began).count();
  ASSERT_EQ(contacts(), before);

  // The commit, and the journal's copy back after it, come late in an undo
  // and take longer on a busy machine: the moments reach past its measured
  // length, so that some kills fall after the commit too.
  std::mt19937_64 schedule(19);
  int midway = 0, after = 0;
  for (int i = 0; i < 10; ++i) {
    restore();
    const pid_t child = startundo();
    std::this_thread::sleep_for(std::chrono::microseconds(schedule() % static_cast<unsigned long long>(whole * 3 / 2)));
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ASSERT_EQ(sql("CONTACT.DB", "pragma integrity_check"), "ok") << "kill " << i;
    const long long rows = contacts();
    const std::string state = sql("CONTACT.DB", "select State from IMPORTS order by Run desc limit 1");
    ASSERT_TRUE(rows == all || rows == before) << "kill " << i << ": " << rows << " contacts";
    EXPECT_EQ(state, rows == before ? "2" : "1") << "kill " << i;
    // The history's next use settles NumImport: the run's count, or none
    // of its contacts left.
    ASSERT_EQ(run("--history").code, 0) << "kill " << i;
    EXPECT_EQ(sql("DATABASE.DB", numimport), rows == before ? "0" : counted) << "kill " << i;
    midway += WIFSIGNALED(status) && rows == all;
    after += WIFSIGNALED(status) && rows == before;
  }
  std::printf("kills before the undo committed: %d, after: %d\n", midway, after);
}

}  // namespace
}  // namespace vesper
