// The batch command against a contact database on the PostgreSQL server of
// the tests: the same list imported into a data folder and into the server
// gives the same contacts (enough of them that the writer stores them many
// at a time, their names many times over, so that their keys take later
// steps), and the server's database is named where a folder would be.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "store/dataplace.h"
#include "store/sampledata.h"
#include "support/batchcommand.h"
#include "support/postgres.h"

namespace vesper {
namespace {

using testing::CommandResult;
using testing::FreshSchema;
using testing::PostgresConnection;

std::string example(const std::string& name) { return std::string(VESPER_SOURCE_DIR) + "/examples/" + name; }

// Every contact of `place` as its values joined by "|", the fields that hold
// when or under which key it was stored left out.
std::multiset<std::string> contacts(const DataPlace& place) {
  Table t;
  place.open(t, "CONTACT.DB");
  const std::set<std::string> when = {"Recno", "DateAdded", "TimeAdded", "DateChanged", "TimeChanged"};
  std::multiset<std::string> rows;
  for (t.first(); !t.atend(); t.next()) {
    std::string row;
    for (int p = 0; p < t.fieldcount(); ++p)
      if (!when.count(t.fieldname(p))) row += t.fieldname(p) + "=" + t.astext(p) + "|";
    rows.insert(row);
  }
  return rows;
}

class ServerImportTest : public testing::BatchCommandTest {
 protected:
  ServerImportTest() : BatchCommandTest("serverimport") {}
};

TEST_F(ServerImportTest, TheSameContactsAsInADataFolder) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  const std::string imp = example("contacts.imp"), list = (dir / "thirty.csv").string();
  {
    const std::string once = slurp(example("contacts.csv"));
    std::ofstream out(list, std::ios::binary);
    for (int i = 0; i < 30; ++i) out << once;
  }

  ASSERT_EQ(run("--create-data-folder data").code, 0);
  CommandResult folder = run("--database MAIN --spec " + imp + " --mixed-case " + list);
  ASSERT_EQ(folder.code, 0) << folder.err;

  ServerDatabase server{conninfo, schema.name()};
  createserverdatabase(server);
  std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << conninfo
                                    << "\nSCHEMA=" << schema.name() << "\n";
  CommandResult onserver = run("--database MAIN --spec " + imp + " --mixed-case " + list);
  ASSERT_EQ(onserver.code, 0) << onserver.err;
  EXPECT_EQ(onserver.out, folder.out);  // the same counts

  const std::multiset<std::string> stored = contacts(DataPlace::server(server));
  EXPECT_EQ(stored.size(), 630u);
  EXPECT_EQ(stored, contacts(DataPlace::folder((dir / "data").string())));
  // The keys are unique, and the run is noted in the server's DATABASE.DB.
  EXPECT_EQ(db.value("SELECT count(DISTINCT \"Recno\") FROM " + schema.name() + ".contact"), "630");
  EXPECT_EQ(db.value("SELECT \"NumImport\" FROM " + schema.name() + ".database WHERE \"DB\" = 'MAIN'"), "630");

  // A database that does not exist on the server is named in the message.
  std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << conninfo
                                    << "\nSCHEMA=nosuchschema\n";
  CommandResult missing = run("--database MAIN --spec " + imp + " " + list);
  EXPECT_NE(missing.code, 0);
  EXPECT_NE((missing.out + missing.err).find("in the database "), std::string::npos) << missing.out << missing.err;
}

// The same list imported twice into the server's database, the second time
// leaving out likely duplicates, stores nothing the second time.
TEST_F(ServerImportTest, TheSameListTwiceLeavingOutDuplicates) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  ServerDatabase server{conninfo, schema.name()};
  createserverdatabase(server);
  std::ofstream(dir / "engine.cfg") << "[PNANT]\nTYPE=POSTGRESQL\nCONNECTION=" << conninfo
                                    << "\nSCHEMA=" << schema.name() << "\n";
  const std::string args = "--database MAIN --spec " + example("contacts.imp") + " --duplicates skip ";
  CommandResult first = run(args + "--mixed-case " + example("contacts.csv"));
  ASSERT_EQ(first.code, 0) << first.err;
  CommandResult second = run(args + example("contacts.csv"));
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_NE(second.out.find("Imported: 0\n"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("Likely duplicates left out: 21\n"), std::string::npos) << second.out;
  EXPECT_EQ(db.value("SELECT count(*) FROM " + schema.name() + ".contact"), "21");
}

}  // namespace
}  // namespace vesper
