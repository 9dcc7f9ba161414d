// Kills at random moments of large imports, on a seeded schedule: after each
// the contact table is sound, holds every row the progress output showed
// and no more than the source has, no half-written row, and takes the next
// import.  VESPER_FAULT_SWEEP=full makes it 200 kills of 100,000-record
// imports (tests/faults/sweep.sh); otherwise a few of smaller ones.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "support/batchcommand.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;

bool fullsweep() {
  const char* s = std::getenv("VESPER_FAULT_SWEEP");
  return s && std::string(s) == "full";
}

struct RandomKillsTest : testing::BatchCommandTest {
  RandomKillsTest() : BatchCommandTest("kills") {}
  std::string sql(const std::string& query) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2((dir / "data" / "CONTACT.DB").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string out;
    if (rc == SQLITE_OK)
      rc = sqlite3_exec(db, query.c_str(), [](void* o, int, char** v, char**) {
        *static_cast<std::string*>(o) += v[0] ? v[0] : ""; return 0; }, &out, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK ? out : "error " + std::to_string(rc);
  }
  // Starts the import; returns its process.
  pid_t start() {
    pid_t child = ::fork();
    if (child == 0) {
      ::chdir(dir.c_str());
      ::dup2(::open("progress.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      ::dup2(::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::execl(VESPER_BINARY, VESPER_BINARY, "--database", "MAIN", "--spec", "contacts.imp", "--progress",
              "contacts.csv", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return child;
  }
};

TEST_F(RandomKillsTest, KilledAtRandomMoments) {
  const long records = fullsweep() ? 100000 : 20000;
  const int kills = fullsweep() ? 200 : 6;
  const std::string gen = "'" VESPER_TESTCONTACTS "' --records " + std::to_string(records) +
                          " --seed 21 --forms csv --out '" + dir.string() + "' >/dev/null";
  ASSERT_EQ(std::system(gen.c_str()), 0);
  ASSERT_EQ(run("--create-data-folder pristine").code, 0);
  {
    std::ifstream in(dir / "contacts.csv", std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::ofstream(dir / "few.csv", std::ios::binary) << line << "\n";
  }
  // How long a whole import takes: the kills fall anywhere within it.
  fs::copy(dir / "pristine", dir / "data", fs::copy_options::recursive);
  const auto began = std::chrono::steady_clock::now();
  int status = 0;
  ::waitpid(start(), &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << slurp(dir / "progress.txt");
  const long long whole = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - began).count();
  std::mt19937_64 schedule(20);
  int killed = 0;
  for (int i = 0; i < kills; ++i) {
    fs::remove_all(dir / "data");
    fs::copy(dir / "pristine", dir / "data", fs::copy_options::recursive);
    const pid_t child = start();
    std::this_thread::sleep_for(std::chrono::microseconds(schedule() % static_cast<unsigned long long>(whole)));
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    killed += WIFSIGNALED(status);
    // The last count shown; every count shown was stored.
    const std::string progress = slurp(dir / "progress.txt"), out = slurp(dir / "out.txt");
    const std::size_t at = progress.rfind("Imported: ");
    long long reported = at == std::string::npos ? 0 : std::atoll(progress.c_str() + at + 10);
    if (WIFEXITED(status)) reported = std::atoll(out.c_str() + out.rfind("Imported: ") + 10);
    ASSERT_EQ(sql("pragma integrity_check"), "ok") << "kill " << i;
    const long long rows = std::atoll(sql("select count(*) from contact").c_str());
    EXPECT_GE(rows, reported) << "kill " << i;
    EXPECT_LE(rows, records) << "kill " << i;
    if (WIFEXITED(status)) {
      EXPECT_EQ(rows, reported) << "kill " << i;
    }
    EXPECT_EQ(sql("select count(*) from contact where Recno is null or DB is null or DateAdded is null"), "0");
    const testing::CommandResult next = run("--database MAIN --spec contacts.imp few.csv");
    EXPECT_EQ(next.code, 0) << "kill " << i << ": " << next.err;
    const long long added = std::atoll(next.out.c_str() + next.out.rfind("Imported: ") + 10);
    EXPECT_EQ(std::atoll(sql("select count(*) from contact").c_str()), rows + added) << "kill " << i;
  }
  std::printf("%d kills, %d of them before the import ended\n", kills, killed);
  EXPECT_GT(killed, 0);
}

}  // namespace
}  // namespace vesper
