// The import history on each engine: the keys a writer's groups record, and
// a run taken back whole.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/dataplace.h"
#include "store/importhistory.h"
#include "store/servertables.h"
#include "store/table.h"
#include "store/tempfolder.h"
#include "support/postgres.h"

namespace vesper {
namespace {

using testing::FreshSchema;
using testing::PostgresConnection;
using testing::TempFolder;

enum class Engine { File, Server };

const std::vector<FieldDef> kContact = {{"Recno", FieldType::Alpha, 24}, {"LastName", FieldType::Alpha, 20},
                                        {"DB", FieldType::Alpha, 20}};
const std::vector<FieldDef> kDatabase = {{"DB", FieldType::Alpha, 20}, {"NumImport", FieldType::Long, 0}};

class ImportHistoryTest : public ::testing::TestWithParam<Engine> {
 protected:
  TempFolder dir;
  std::unique_ptr<PostgresConnection> server;
  std::unique_ptr<FreshSchema> schema;
  DataPlace place;
  ContactTable t;  // closed before the schema is dropped

  void SetUp() override {
    if (GetParam() == Engine::File) {
      createtable(dir.file("CONTACT.DB"), kContact, "Recno");
      createtable(dir.file("DATABASE.DB"), kDatabase, "DB");
      place = DataPlace::folder(dir.path());
    } else {
      VESPER_NEED_POSTGRES(conninfo);
      server = std::make_unique<PostgresConnection>(conninfo);
      schema = std::make_unique<FreshSchema>(*server);
      for (const char* table : {"contact", "database"})
        for (const std::string& sql :
             createserversql(schema->name(), table, table[0] == 'c' ? kContact : kDatabase, table[0] == 'c' ? "Recno" : "DB"))
          server->exec(sql);
      place = DataPlace::server({conninfo, schema->name()});
    }
    Table db;
    place.open(db, "DATABASE.DB");
    for (auto [name, count] : {std::pair{"MAIN", 2}, std::pair{"OTHER", 2}}) {
      db.newrow();
      db.field("DB").settext(name);
      db.field("NumImport").setinteger(count);
      db.store();
    }
    place.open(t, "CONTACT.DB");
  }
  void add(const std::string& key, const std::string& name = "Smith") {
    t.newrow();
    t.field("Recno").settext(key);
    t.field("LastName").settext(name);
    t.store();
  }
  std::string walk() {
    std::string out;
    for (t.first(); !t.atend(); t.next()) out += t.field("Recno").astext() + ",";
    return out;
  }
  std::string numimport() {
    Table db;
    place.open(db, "DATABASE.DB");
    std::string out;
    for (db.first(); !db.atend(); db.next()) out += db.field("DB").astext() + "=" + db.field("NumImport").astext() + ",";
    return out;
  }
  // A run into MAIN storing B and C in one group; D's group is rolled back,
  // and A was stored before the run began.
  long long importrun() {
    add("A");
    ImportHistory& h = *t.history();
    long long run = h.addrun({0, "2024-05-01 10:00:00", "list.csv", "", "MAIN"});
    t.writer().settrail(run);
    t.writer().begingroup();
    add("B");
    add("C");
    t.writer().commitgroup();
    t.writer().begingroup();
    add("D");
    t.writer().rollbackgroup();
    t.writer().settrail(0);
    ImportRecord counts{run};
    counts.read = counts.imported = 2;
    h.endrun(counts);
    return run;
  }
};

TEST_P(ImportHistoryTest, UndoRemovesTheRunsUnchangedContactsOnly) {
  const long long run = importrun();
  add("E");  // stored after the run, outside it
  t.first();
  while (t.field("Recno").astext() != "C") t.next();
  t.edit();
  t.field("LastName").settext("Jones");
  t.store();

  UndoOutcome o = t.history()->undo(run);
  EXPECT_EQ(o.result, UndoOutcome::Result::Done);
  EXPECT_EQ(o.removed, 1);
  EXPECT_EQ(o.kept, std::vector<std::string>{"C"});
  EXPECT_EQ(walk(), "A,C,E,");
  // MAIN showed the run's own count: now the one contact it left.
  EXPECT_EQ(numimport(), "MAIN=1,OTHER=2,");

  std::vector<ImportRecord> runs = t.history()->runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].state, ImportRecord::State::Undone);
  EXPECT_EQ(runs[0].source, "list.csv");
  EXPECT_EQ(t.history()->undo(run).result, UndoOutcome::Result::AlreadyUndone);
  EXPECT_EQ(t.history()->undo(run + 1).result, UndoOutcome::Result::NoSuchRun);
}

TEST_P(ImportHistoryTest, AFailureMidwayLeavesEverythingAsItWas) {
  const long long run = importrun();
  EXPECT_THROW(t.history()->undo(run, [] { throw std::runtime_error("killed"); }), std::runtime_error);
  EXPECT_EQ(walk(), "A,B,C,");
  EXPECT_EQ(numimport(), "MAIN=2,OTHER=2,");
  EXPECT_EQ(t.history()->runs().at(0).state, ImportRecord::State::Finished);
  // ... and the undo can be done afterwards.
  EXPECT_EQ(t.history()->undo(run).removed, 2);
  EXPECT_EQ(walk(), "A,");
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportHistoryTest, ::testing::Values(Engine::File, Engine::Server),
                         [](const auto& info) { return info.param == Engine::File ? "File" : "Server"; });

}  // namespace
}  // namespace vesper
