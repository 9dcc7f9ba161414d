// What faults of the PostgreSQL server do to a batch import: the connection
// cut in the middle (mid-COPY, or as a group commits), a lock held by
// another session, a server that cannot be reached at start-up.  The
// importer reaches the test server through a forwarder (support/tcpforwarder.h)
// that cuts its connections; the server itself keeps running for the other
// tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "app/startup.h"
#include "store/sampledata.h"
#include "store/serverdatabase.h"
#include "support/batchcommand.h"
#include "support/fakes.h"
#include "support/postgres.h"
#include "support/tcpforwarder.h"

namespace vesper {
namespace {

using testing::CommandResult;
using testing::FreshSchema;
using testing::PostgresConnection;
using testing::TcpForwarder;

class ServerFaultsTest : public testing::BatchCommandTest {
 protected:
  ServerFaultsTest() : BatchCommandTest("serverfaults") {}

  // `n` contacts, record i's notes "r<i>", in the columns of examples/contacts.imp.
  std::string list(int n) {
    const std::string path = (dir / "list.csv").string();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < n; ++i)
      out << "Ann Smith" << i % 50 << ",Acme,1 Main St,\"Springfield, IL 62701\",555-0100,,,,r" << i << "\n";
    return path;
  }
  // The alias PNANT names the contact database in `schema`, reached by `conninfo`.
  void useserver(const std::string& conninfo, const std::string& schema) {
    std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << conninfo << "\nSCHEMA=" << schema
                                      << "\n";
  }
  CommandResult import(const std::string& path, bool progress) {
    const std::string imp = std::string(VESPER_SOURCE_DIR) + "/examples/contacts.imp";
    return run("--database MAIN --spec " + imp + (progress ? " --progress " : " ") + path);
  }
  static long long number(const std::string& text, const std::string& label) {
    const auto at = text.rfind(label + ": ");
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + label.size() + 2);
  }
};

// The connection cut in the middle of a run: the run ends with a message
// that says so (exit code 1 while rows were left to store); the rows it
// counts are exactly those in the table, each record read is stored or
// counted as failed, and every row stored is one of the records read.  A
// commit whose answer was lost is saved or not as the server says.
TEST_F(ServerFaultsTest, ConnectionCutInTheMiddle) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  createserverdatabase(ServerDatabase{conninfo, schema.name()});
  const std::string table = schema.name() + ".contact";
  struct Case {
    const char* what;
    int records;
    long long bytes;      // cut after this many bytes to the server (-1: not)
    int commit;           // cut as this COMMIT goes out, or its answer comes back (0: not)
    bool answer;          // ... its answer: the server has committed it
    bool progress;        // small groups, committed every 100 ms
    int code;
  };
  const Case cases[] = {
      {"mid-COPY", 60000, 2 << 20, 0, false, false, 1},
      {"at the third group's commit", 60000, -1, 3, false, true, 1},
      {"at the answer to the third group's commit", 60000, -1, 3, true, true, 1},
      {"at the answer to the one group's commit", 2000, -1, 1, true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    db.exec("TRUNCATE " + table);
    TcpForwarder fwd(conninfo);
    useserver(fwd.conninfo(), schema.name());
    if (c.bytes >= 0) fwd.cutafter(c.bytes);
    if (c.commit > 0 && !c.answer) fwd.cutat("COMMIT", c.commit);
    if (c.answer) {
      fwd.cutat(TcpForwarder::committed(), c.commit, TcpForwarder::ToClient);
      fwd.keeplistening();  // the server is there to ask
    }
    const CommandResult r = import(list(c.records), c.progress);
    ASSERT_TRUE(fwd.iscut()) << "the run ended before the cut\n" << r.out;
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    if (c.code == 1) {
      EXPECT_NE(r.err.find("The connection to the contact database vesper_test on 127.0.0.1 port"), std::string::npos)
          << r.err;
      EXPECT_EQ(r.err.find("This probably means"), std::string::npos) << r.err;  // no libpq hint
    }

    const long long read = number(r.out, "Records read"), imported = number(r.out, "Imported"),
                    failed = number(r.out, "Failed with an error");
    const long long rows = std::stoll(db.value("SELECT count(*) FROM " + table));
    EXPECT_EQ(imported, rows) << r.out;
    EXPECT_EQ(read, imported + failed) << r.out;
    EXPECT_EQ(db.value("SELECT count(*) FROM " + table + " WHERE substr(\"Memo\", 2)::int >= " + std::to_string(read)),
              "0");
    EXPECT_EQ(db.value("SELECT count(DISTINCT \"Memo\") FROM " + table), std::to_string(rows));
  }
}

// Another session holds the contact table (LOCK TABLE in an open
// transaction): a lock that goes within the busy timeout is waited for and
// the import goes on; one held past it ends the run with the message of a
// locked table, storing nothing.
TEST_F(ServerFaultsTest, LockHeldByAnotherSession) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  createserverdatabase(ServerDatabase{conninfo, schema.name()});
  useserver(conninfo, schema.name());
  const std::string table = schema.name() + ".contact";
  const std::string path = list(300);
  struct Case {
    int holdmillis;  // -1: until the import ended
    int code;
    const char* rows;
  };
  const Case cases[] = {{1500, 0, "300"}, {-1, 1, "0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.holdmillis);
    db.exec("TRUNCATE " + table);
    PostgresConnection holder(conninfo);
    holder.exec("BEGIN; LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE");
    std::thread release;
    if (c.holdmillis >= 0)
      release = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.holdmillis));
        holder.exec("COMMIT");
      });
    const CommandResult r = import(path, false);
    if (release.joinable()) release.join();
    else holder.exec("COMMIT");
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    if (c.code == 1) {
      EXPECT_NE(r.err.find("Table CONTACT.DB is locked by another user or program; it did not become free within 5 "
                           "seconds."),
                std::string::npos)
          << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(db.value("SELECT count(*) FROM " + table), c.rows);
    if (c.code == 0) {
      EXPECT_EQ(number(r.out, "Imported"), 300) << r.out;
    }
  }
}

// A server that cannot be reached, or drops the connection while the
// contact table is opened, is a clear message at start-up, in the batch
// command and in the start-up of the windows.
TEST_F(ServerFaultsTest, UnreachableAtStartUp) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  createserverdatabase(ServerDatabase{conninfo, schema.name()});
  struct Case {
    const char* what;
    long long cutafter;  // bytes to the server before the cut; -1: down from the start
    bool wrongsocket;    // a socket folder where no server listens
    const char* message;
  };
  const Case cases[] = {
      {"down", -1, false, "Cannot reach the contact database vesper_test on 127.0.0.1 port "},
      {"no server at that socket", 0, true, "Cannot reach the contact database vesper_test on "},
      {"cut while the table opens", 400, false, "The connection to the contact database vesper_test on 127.0.0.1"},
  };
  for (const Case& c : cases) {
    for (bool windows : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (windows ? ", the windows' start-up" : ", the batch command"));
      TcpForwarder fwd(conninfo);
      if (c.cutafter < 0) fwd.cut();
      else fwd.cutafter(c.cutafter);
      useserver(c.wrongsocket ? "host=" + dir.string() + " dbname=vesper_test" : fwd.conninfo(), schema.name());
      std::string shown;
      if (windows) {
        Engine engine((dir / "engine.cfg").string());
        testing::RecordingMessages messages;
        EXPECT_FALSE(startupcheck(engine, messages, dir.string()));
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(messages.shown.back().kind, "error");
        shown = messages.shown.back().text;
      } else {
        const CommandResult r = import(list(3), false);
        EXPECT_EQ(r.code, 1);
        shown = r.err;
      }
      EXPECT_NE(shown.find(c.message), std::string::npos) << shown;
    }
  }
}

}  // namespace
}  // namespace vesper
