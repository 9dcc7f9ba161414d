// The PostgreSQL server itself stopped in the middle of an import, as by a
// crash (pg_ctl stop -m immediate), and started again.  The test cannot stop
// the server the other tests share, so it starts a cluster of its own in a
// temporary folder (.ci/pgcluster); it needs the server's binaries, and is
// skipped without them (fails where VESPER_TEST_POSTGRES_REQUIRED is set).
// A list of a few thousand generated records is imported with the counters
// on show, through a forwarder that counts the COPY groups and holds each a
// little, so that the import lasts long enough to be stopped at chosen
// moments: a spread of delays after its first COPY (many more with
// VESPER_FAULT_SWEEP=full).  Each stopped run must
// exit 1 naming the lost connection; once the server is back, the table
// holds exactly the rows the run reported, none half-written or stored
// twice, bad.csv holds whole source lines, and the next import goes through.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "support/batchcommand.h"
#include "support/postgres.h"
#include "support/sweepchecks.h"
#include "support/tcpforwarder.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::CommandResult;
using testing::lastnumber;
using testing::TcpForwarder;

const char* const kLost = "The connection to the contact database";

// The pg_ctl of the newest server version installed, "" when there is none
// (as .ci/pgcluster chooses the server).
std::string pgctl() {
  std::string best;
  double newest = -1;
  std::error_code e;
  for (const auto& v : fs::directory_iterator("/usr/lib/postgresql", e)) {
    const fs::path p = v.path() / "bin" / "pg_ctl";
    const double version = std::atof(v.path().filename().c_str());
    if (fs::exists(p) && version > newest) newest = version, best = p.string();
  }
  return best;
}

// A cluster in a folder of its own, stopped and removed with the object.
class PrivateCluster {
 public:
  PrivateCluster(std::string pgctl, std::string dir) : pgctl_(std::move(pgctl)), dir_(std::move(dir)) {
    fs::remove_all(dir_);
  }
  ~PrivateCluster() {
    (void)!std::system(("'" VESPER_SOURCE_DIR "/.ci/pgcluster' stop '" + dir_ + "' >/dev/null 2>&1").c_str());
    fs::remove_all(dir_);
  }
  // Starts it (making it the first time); its connection string, "" when it did not start.
  std::string start() {
    FILE* p = ::popen(("'" VESPER_SOURCE_DIR "/.ci/pgcluster' start '" + dir_ + "' 2>/dev/null").c_str(), "r");
    std::string out;
    for (char buf[512]; p && std::fgets(buf, sizeof buf, p);) out += buf;
    if (!p || ::pclose(p) != 0) return "";
    out.erase(out.find_last_not_of('\n') + 1);
    return out.substr(out.rfind('\n') + 1);
  }
  // Stops it at once, as a crash would: no checkpoint, every session cut.
  // As the data folder's owner (the server refuses root).
  bool crash() {
    const std::string data = dir_ + "/data";
    const char* as = "if [ \"$(id -u)\" = 0 ]; then exec runuser -u \"$(stat -c %U \"$0\")\" -- \"$@\"; else exec \"$@\"; fi";
    return std::system(("sh -c '" + std::string(as) + "' '" + data + "' '" + pgctl_ + "' -D '" + data +
                        "' stop -m immediate -s >/dev/null 2>&1").c_str()) == 0;
  }

 private:
  std::string pgctl_, dir_;
};

class ServerStopTest : public testing::BatchCommandTest {
 protected:
  ServerStopTest() : BatchCommandTest("serverstop") {}

  std::string conninfo;
  std::set<std::string> sourcelines;

  void makelist() {
    sourcelines = testing::makesweeplist(VESPER_TESTCONTACTS, dir.string(), 3000, 22);
    ASSERT_FALSE(sourcelines.empty());
  }

  CommandResult import(const std::string& through, const char* source = "contacts.csv") {
    std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << through << "\n";
    fs::remove(dir / "bad.csv");
    return run(std::string("--database MAIN --spec contacts.imp --progress ") + source);
  }

  // An import through a forwarder that holds each COPY's rows 25 ms; with
  // `stop`, the server is stopped `after` once the first COPY is seen
  // (`fired`: before the import ended).  `took` is how long the import ran
  // from its first COPY on.
  CommandResult importstopped(PrivateCluster* stop, Clock::duration after, Clock::duration& took, bool& fired) {
    TcpForwarder fwd(conninfo);
    fwd.watch(TcpForwarder::copydata());
    fwd.slowat(TcpForwarder::copydata(), 25);
    std::atomic<bool> ended{false};
    CommandResult r;
    std::thread importer([&] {
      r = import(fwd.conninfo());
      ended = true;
    });
    while (fwd.seen() < 1 && !ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
    const Clock::time_point first = Clock::now();
    fired = false;
    if (stop && !ended) {
      while (!ended && Clock::now() - first < after) std::this_thread::sleep_for(std::chrono::microseconds(200));
      fired = !ended && stop->crash();
    }
    importer.join();
    took = Clock::now() - first;
    return r;
  }
};

TEST_F(ServerStopTest, ServerStoppedInTheMiddleOfAnImport) {
  const std::string ctl = pgctl();
  if (ctl.empty()) {
    const char* why = "no PostgreSQL server binaries under /usr/lib/postgresql: the server cannot be stopped mid-import";
    if (testing::postgresrequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  PrivateCluster cluster(ctl, "/tmp/vesper-stop-" + std::to_string(::getpid()));
  conninfo = cluster.start();
  ASSERT_FALSE(conninfo.empty()) << "the private cluster did not start";
  {
    // Only the server's processes die, not the machine: what they wrote
    // reaches the files whether or not it was synced.  Unsynced, a restart
    // is spared syncing every file of the cluster before it recovers.
    testing::PostgresConnection admin(conninfo + " user=postgres");
    admin.exec("ALTER SYSTEM SET fsync = off");
    admin.exec("SELECT pg_reload_conf()");
  }
  const std::string create = "'" VESPER_BINARY "' --create-database '" + conninfo + "' >/dev/null";
  ASSERT_EQ(std::system(create.c_str()), 0);
  makelist();

  auto db = std::make_unique<testing::PostgresConnection>(conninfo);
  const std::string table = "pnant.contact";
  auto rows = [&] { return std::stoll(db->value("SELECT count(*) FROM " + table)); };
  Clock::duration span{};
  bool fired = false;
  const CommandResult clean = importstopped(nullptr, {}, span, fired);
  ASSERT_EQ(clean.code, 0) << clean.err;
  const long long cleanread = testing::recordsread(clean.out);
  ASSERT_GT(lastnumber(clean.out, "Imported: "), 2000) << clean.out;
  db->exec("TRUNCATE " + table);

  long runs = 0, stopped = 0, lost = 0, faulty = 0;
  // A spread of moments over the clean run's time from its first COPY; in
  // the full sweep (VESPER_FAULT_SWEEP=full, tests/faults/sweep.sh) many more.
  const char* sweep = std::getenv("VESPER_FAULT_SWEEP");
  const int moments = sweep && std::string(sweep) == "full" ? 40 : 4;
  for (int m = 0; m < moments; ++m) {
    const double share = 0.02 + 0.8 * m / moments;
    const auto after = std::chrono::duration_cast<Clock::duration>(span * share);
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(after).count());
    Clock::duration took{};
    const CommandResult r = importstopped(&cluster, after, took, fired);
    ++runs;
    db.reset();  // its session went with the server
    ASSERT_FALSE(cluster.start().empty()) << "the server did not start again";
    db = std::make_unique<testing::PostgresConnection>(conninfo);

    const testing::SweepCheck ran = testing::checkrun(r.code, r.out, r.err, cleanread, kLost);
    std::string why = ran.why;
    stopped += r.code != 0;
    const long long stored = rows();
    const std::string half = db->value("SELECT count(*) FROM " + table + " WHERE " + testing::kHalfWrittenRow);
    why += testing::checkrows(stored, ran.reported, half, lost) +
           testing::checkbadlines(slurp(dir / "bad.csv"), sourcelines);
    if (db->value("SELECT count(DISTINCT \"User1\") FROM " + table) != std::to_string(stored))
      why += "a record stored twice; ";
    const CommandResult next = import(conninfo, "few.csv");
    const long long imported = lastnumber(next.out, "Imported: ");
    if (next.code != 0 || imported < 10 || rows() != stored + imported)
      why += "the next import failed (" + std::to_string(imported) + " imported): " + next.err.substr(0, 300);
    db->exec("TRUNCATE " + table);
    faulty += !why.empty();
    EXPECT_TRUE(why.empty()) << "stopped " << ms << " ms after the first COPY" << (fired ? "" : " (too late)") << ": "
                             << why << "\n" << r.out << r.err.substr(r.err.size() - std::min<std::size_t>(r.err.size(), 400));
    std::printf("stopped %ld ms after the first COPY: exit %d after %.0f ms, %lld stored, %lld reported\n", ms, r.code,
                std::chrono::duration<double, std::milli>(took).count(), stored, ran.reported);
  }
  std::printf("server stopped: %ld runs, %ld runs stopped, %ld rows lost, %ld faulty\n", runs, stopped, lost, faulty);
  EXPECT_GE(stopped, runs - 1);  // the last moment may meet a run just ending
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace vesper
