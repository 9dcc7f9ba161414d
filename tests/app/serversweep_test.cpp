// The fault sweep over a PostgreSQL server.  A list of a few thousand
// generated records (bad lines among them) is imported with the counters on
// show, so the writer sends its rows in COPY groups of a few hundred; the
// importer reaches the server through a forwarder (support/tcpforwarder.h)
// that cuts the connection at the k-th group (as its COPY goes out, or in
// the middle of its rows), at the k-th commit or at the k-th commit's
// answer, for k from 1 to the count a clean run shows; and the importer's
// session is killed by the server (from another connection) in the middle
// of a COPY at seeded moments.  After each run the table holds exactly the
// rows the run reported, none half-written or stored twice, a stopped run
// says why, bad.csv holds whole source lines (support/sweepchecks.h), and
// the next import into the same table stores every record again.
// VESPER_FAULT_SWEEP=full cuts at every k (tests/faults/sweep.sh); otherwise
// at a spread of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/sampledata.h"
#include "store/serverdatabase.h"
#include "support/batchcommand.h"
#include "support/postgres.h"
#include "support/sweepchecks.h"
#include "support/tcpforwarder.h"

namespace vesper {
namespace {

namespace fs = std::filesystem;
using testing::CommandResult;
using testing::lastnumber;
using testing::TcpForwarder;

bool fullsweep() {
  const char* s = std::getenv("VESPER_FAULT_SWEEP");
  return s && std::string(s) == "full";
}

// Where a connection is cut, told apart by what passes the forwarder.
struct Point {
  const char* what;
  std::string pattern;
  TcpForwarder::Direction way;
  long long after;  // bytes passed on from the pattern's start before the cut
  // Each COPY's rows held this long on their way: the run's commits, one
  // every 100 ms, then fall between its groups, not all at its end.
  int slowmillis;
};
const Point kPoints[] = {
    {"as the group's COPY goes out", "SAVEPOINT vesper_many; COPY", TcpForwarder::ToServer, 0, 0},
    {"in the middle of the group's rows", TcpForwarder::copydata(), TcpForwarder::ToServer, 700, 0},
    {"as the group's COPY is answered", "COPY ", TcpForwarder::ToClient, 0, 0},
    {"as a commit group begins", "BEGIN; SELECT txid_current()", TcpForwarder::ToServer, 0, 40},
    {"as the commit goes out", TcpForwarder::commit(), TcpForwarder::ToServer, 0, 40},
    {"as the commit's answer comes back", TcpForwarder::committed(), TcpForwarder::ToClient, 0, 40},
};

const char* const kLost = "The connection to the contact database";

struct Tally {
  long runs = 0, fired = 0, stopped = 0, lost = 0, half = 0, faulty = 0;
};

class ServerSweepTest : public testing::BatchCommandTest {
 protected:
  ServerSweepTest() : BatchCommandTest("serversweep") {}

  std::string conninfo, schema, table;
  std::unique_ptr<testing::PostgresConnection> db;
  std::set<std::string> sourcelines;
  long long cleanread = 0;

  void makelist() {
    sourcelines = testing::makesweeplist(VESPER_TESTCONTACTS, dir.string(), fullsweep() ? 4000 : 1500, 21);
    ASSERT_FALSE(sourcelines.empty());
  }

  // A fresh schema on the test server holding an empty contact table, and
  // the list; the schema goes with `fresh`.
  void startserver(const std::string& server, std::unique_ptr<testing::FreshSchema>& fresh) {
    conninfo = server;
    db = std::make_unique<testing::PostgresConnection>(conninfo);
    fresh = std::make_unique<testing::FreshSchema>(*db);
    schema = fresh->name();
    table = schema + ".contact";
    createserverdatabase(ServerDatabase{conninfo, schema});
    makelist();
  }

  CommandResult import(const std::string& through, const char* source = "contacts.csv") {
    std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << through
                                      << " application_name=" << schema << "\nSCHEMA=" << schema << "\n";
    fs::remove(dir / "bad.csv");
    return run(std::string("--database MAIN --spec contacts.imp --progress ") + source);
  }
  long long rows() { return std::stoll(db->value("SELECT count(*) FROM " + table)); }

  // What is wrong after a run, empty when nothing; the run is counted in `t`.
  std::string check(const CommandResult& r, bool fired, Tally& t) {
    ++t.runs;
    t.fired += fired;
    t.stopped += r.code != 0;
    const testing::SweepCheck ran = testing::checkrun(r.code, r.out, r.err, cleanread, kLost);
    const long long stored = rows();
    const std::string half = db->value("SELECT count(*) FROM " + table + " WHERE " + testing::kHalfWrittenRow);
    if (half != "0") t.half += std::stoll(half);
    std::string why = ran.why + testing::checkrows(stored, ran.reported, half, t.lost) +
                      testing::checkbadlines(slurp(dir / "bad.csv"), sourcelines);
    if (db->value("SELECT count(DISTINCT \"User1\") FROM " + table) != std::to_string(stored))
      why += "a record stored twice; ";
    if (!fired && r.code != 0) why += "stopped with no fault; ";
    // The next import into the same table, the server reached directly.
    const CommandResult next = import(conninfo, "few.csv");
    const long long imported = lastnumber(next.out, "Imported: ");
    if (next.code != 0 || imported < 10 || rows() != stored + imported)
      why += "the next import failed (" + std::to_string(imported) + " imported): " + next.err.substr(0, 300);
    db->exec("TRUNCATE " + table);
    if (!why.empty()) ++t.faulty;
    return why;
  }
};

// The k to cut at of `count`: every one in a full sweep, else the first,
// the last and two between.
std::vector<int> chosen(int count) {
  std::vector<int> ks;
  for (int k = 1; k <= count; ++k)
    if (fullsweep() || k == 1 || k == count || k == count / 3 + 1 || k == 2 * count / 3 + 1) ks.push_back(k);
  return ks;
}

TEST_F(ServerSweepTest, ConnectionCutAtEveryGroup) {
  VESPER_NEED_POSTGRES(server);
  std::unique_ptr<testing::FreshSchema> fresh;
  startserver(server, fresh);

  const CommandResult clean = import(conninfo);
  ASSERT_EQ(clean.code, 0) << clean.err;
  cleanread = testing::recordsread(clean.out);
  ASSERT_GT(lastnumber(clean.out, "Imported: "), 1000) << clean.out;
  db->exec("TRUNCATE " + table);

  Tally t;
  for (const Point& p : kPoints) {
    int count = 0;
    {
      TcpForwarder fwd(conninfo);
      fwd.watch(p.pattern, p.way);
      fwd.slowat(TcpForwarder::copydata(), p.slowmillis);
      const CommandResult r = import(fwd.conninfo());
      count = fwd.seen();
      EXPECT_TRUE(check(r, false, t).empty()) << p.what << ": the run without a cut";
    }
    ASSERT_GT(count, 1) << p.what;
    for (int k : chosen(count)) {
      TcpForwarder fwd(conninfo);
      fwd.cutat(p.pattern, k, p.way, p.after);
      fwd.slowat(TcpForwarder::copydata(), p.slowmillis);
      fwd.keeplistening();  // a network fault that passed: the server is there to ask about a commit
      const CommandResult r = import(fwd.conninfo());
      const std::string why = check(r, fwd.iscut(), t);
      EXPECT_TRUE(why.empty()) << p.what << ", k = " << k << " of " << count << ": " << why << "\n" << r.out
                               << r.err.substr(r.err.size() - std::min<std::size_t>(r.err.size(), 400));
    }
    std::printf("%s: up to %d\n", p.what, count);
  }
  std::printf("connection cuts: %ld runs, %ld faults fired, %ld runs stopped, %ld rows lost, %ld half-written rows, "
              "%ld faulty\n", t.runs, t.fired, t.stopped, t.lost, t.half, t.faulty);
  EXPECT_GT(t.fired, t.runs / 2);
  EXPECT_EQ(t.lost, 0);
  EXPECT_EQ(t.half, 0);
}

// The server ends the importer's session (as an administrator or a server
// going down would) in the middle of the k-th group's COPY, some
// milliseconds into its rows.
TEST_F(ServerSweepTest, SessionKilledInTheMiddleOfACopy) {
  VESPER_NEED_POSTGRES(server);
  std::unique_ptr<testing::FreshSchema> fresh;
  startserver(server, fresh);
  const CommandResult clean = import(conninfo);
  ASSERT_EQ(clean.code, 0) << clean.err;
  cleanread = testing::recordsread(clean.out);
  db->exec("TRUNCATE " + table);

  std::mt19937 seeded(20);
  Tally t;
  const int moments = fullsweep() ? 24 : 4;
  for (int m = 0; m < moments; ++m) {
    const int k = std::uniform_int_distribution<int>(1, 8)(seeded);
    const int millis = std::uniform_int_distribution<int>(0, 6)(seeded);
    TcpForwarder fwd(conninfo);
    fwd.watch(TcpForwarder::copydata());
    fwd.keeplistening();
    bool killed = false;
    std::atomic<bool> ended{false};
    testing::PostgresConnection admin(conninfo);
    std::thread killer([&] {
      while (fwd.seen() < k && !ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (ended) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(millis));
      killed = admin.value("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = '" +
                           schema + "' AND pid <> pg_backend_pid()") != "0";
    });
    const CommandResult r = import(fwd.conninfo());
    ended = true;
    killer.join();
    const std::string why = check(r, killed, t);
    EXPECT_TRUE(why.empty()) << "killed in group " << k << " after " << millis << " ms: " << why << "\n"
                             << r.out << r.err.substr(r.err.size() - std::min<std::size_t>(r.err.size(), 400));
  }
  std::printf("sessions killed: %ld runs, %ld faults fired, %ld runs stopped, %ld rows lost, %ld half-written rows, "
              "%ld faulty\n", t.runs, t.fired, t.stopped, t.lost, t.half, t.faulty);
  EXPECT_GT(t.fired, 0);
  EXPECT_EQ(t.lost, 0);
  EXPECT_EQ(t.half, 0);
}

}  // namespace
}  // namespace vesper
