// The import history on each engine: the keys a writer's groups record, and
// a run taken back whole.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/dataplace.h"
#include "store/importhistory.h"
#include "store/rowprint.h"
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

// The run's last contact is removed and another stored outside the run
// takes its place (on a table file, its row id): the undo leaves the other
// one alone and names nothing kept.
TEST_P(ImportHistoryTest, AContactInTheRunsPlaceIsNoneOfItsOwn) {
  const long long run = importrun();
  if (GetParam() == Engine::File) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("CONTACT.DB").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DELETE FROM contact WHERE Recno = 'C'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  } else {
    server->exec("DELETE FROM " + schema->name() + ".contact WHERE \"Recno\" = 'C'");
  }
  add("Z");
  UndoOutcome o = t.history()->undo(run);
  EXPECT_EQ(o.removed, 1);
  EXPECT_EQ(o.gone, 1);
  EXPECT_EQ(o.kept, std::vector<std::string>{});
  EXPECT_EQ(walk(), "A,Z,");
}

// A run longer than one trail row holds (4096 contacts), with keys holding
// the characters an array's text form escapes: every contact is found again
// and only the changed one kept; a server records the run in two rows.
TEST_P(ImportHistoryTest, ALongRunWithAwkwardKeysIsTakenBackWhole) {
  const std::vector<std::string> marks = {"\"", "\\", ",", "{", " ", "'", "}\"\\"};
  auto keyof = [&marks](int i) { return "K" + marks[static_cast<std::size_t>(i) % marks.size()] + std::to_string(i); };
  const int n = 4100;
  const long long run = t.history()->addrun({0, "2024-05-01 10:00:00", "list.csv", "", "MAIN"});
  t.writer().settrail(run);
  t.writer().begingroup();
  for (int i = 0; i < n; ++i) add(keyof(i));
  t.writer().commitgroup();
  t.writer().settrail(0);
  if (GetParam() == Engine::Server) {
    EXPECT_EQ(server->value("SELECT count(*) FROM " + schema->name() + ".importkeys WHERE run = " + std::to_string(run)), "2");
  }
  const std::string changed = keyof(n - 1);  // in the second row
  for (t.first(); !t.atend() && t.field("Recno").astext() != changed; t.next()) {
  }
  ASSERT_FALSE(t.atend());
  t.edit();
  t.field("LastName").settext("Jones");
  t.store();

  UndoOutcome o = t.history()->undo(run);
  EXPECT_EQ(o.removed, n - 1);
  EXPECT_EQ(o.gone, 0);
  EXPECT_EQ(o.kept, std::vector<std::string>{changed});
  EXPECT_EQ(walk(), changed + ",");
}

// A table whose key is its row id: rows of one group that give their own
// keys are numbered out of turn, and refused ones take no number.
TEST(ImportHistoryRowIdTest, RowsNumberedOutOfTurnAreTakenBack) {
  TempFolder dir;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.file("CONTACT.DB").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE contact (Recno INTEGER NOT NULL PRIMARY KEY, LastName TEXT)", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ContactTable t;
  t.open(dir.path(), "CONTACT.DB");
  auto add = [&t](long long key) {
    t.newrow();
    t.field("Recno").setinteger(key);
    t.field("LastName").settext("Smith");
    const bool stored = t.writer().insert(t.row()).stored();
    t.drop();
    return stored;
  };
  ASSERT_TRUE(add(7));
  const long long run = t.history()->addrun({0, "2024-05-01 10:00:00", "list.csv", "", "MAIN"});
  t.writer().settrail(run);
  t.writer().begingroup();
  for (long long key : {10, 11, 7, 5, 6, 100, 101}) EXPECT_EQ(add(key), key != 7) << key;
  t.writer().commitgroup();
  t.writer().settrail(0);
  ASSERT_TRUE(add(12));
  UndoOutcome o = t.history()->undo(run);
  EXPECT_EQ(o.removed, 6);
  EXPECT_EQ(o.gone, 0);
  std::string left;
  for (t.first(); !t.atend(); t.next()) left += t.field("Recno").astext() + ",";
  EXPECT_EQ(left, "7,12,");
}

// The fingerprint a writer takes of the values it stores agrees with the one
// an undo takes of the row read back, for a value of every kind of field
// (and for rows of NULLs besides the key), stored many at a time or one by
// one; a change to any one of those values tells the row apart.
class ImportHistoryPrintTest : public ::testing::TestWithParam<Engine> {};

TEST_P(ImportHistoryPrintTest, WriterAndUndoAgreeForEveryFieldType) {
  struct Case {
    const char* field;
    FieldType type;
    const char *value, *changed;
  };
  const std::vector<Case> cases = {
      {"Name", FieldType::Alpha, "Ann Lee", "Ann Lea"},
      {"Notes", FieldType::Memo, "a note longer than eight bytes, and then some", "a note"},
      {"Born", FieldType::Date, "1970-01-02", "1970-01-03"},
      {"Calls", FieldType::Time, "12:30:00", "12:30:01"},
      {"Seen", FieldType::Timestamp, "2024-05-01 10:00:00", "2024-05-01 10:00:01"},
      {"Active", FieldType::Logical, "true", "false"},
      {"Owed", FieldType::Money, "12", "12.5"},
      {"Score", FieldType::Number, "2.75", "2.5"},
      {"Units", FieldType::Bcd, "40", "41"},
      {"Age", FieldType::Short, "-7", "7"},
      {"Visits", FieldType::Long, "100000", "100001"},
      {"Badge", FieldType::Binary, "\x01\x02", "\x01"},
  };
  TempFolder dir;
  std::unique_ptr<PostgresConnection> server;
  std::unique_ptr<FreshSchema> schema;
  std::vector<FieldDef> fields = {{"Recno", FieldType::Alpha, 12}, {"Id", FieldType::AutoInc, 0}};
  for (const Case& c : cases) fields.push_back({c.field, c.type, c.type == FieldType::Alpha ? 20 : 0});
  DataPlace place;
  if (GetParam() == Engine::File) {
    createtable(dir.file("CONTACT.DB"), fields, "Recno");
    place = DataPlace::folder(dir.path());
  } else {
    VESPER_NEED_POSTGRES(conninfo);
    server = std::make_unique<PostgresConnection>(conninfo);
    schema = std::make_unique<FreshSchema>(*server);
    for (const std::string& sql : createserversql(schema->name(), "contact", fields, "Recno")) server->exec(sql);
    place = DataPlace::server({conninfo, schema->name()});
  }
  ContactTable t;  // closed before the schema is dropped
  place.open(t, "CONTACT.DB");
  const long long run = t.history()->addrun({0, "2024-05-01 10:00:00", "list.csv", "", "MAIN"});
  auto fill = [&t](const std::string& key, const Case* only, const std::vector<Case>& all) {
    t.newrow();
    t.field("Recno").settext(key);
    for (const Case& c : all)
      if (!only || only == &c) t.field(c.field).settext(c.value);
  };
  t.writer().settrail(run);
  t.writer().begingroup();
  std::vector<std::vector<char>> packed;
  for (std::size_t i = 0; i <= cases.size(); ++i) {
    const Case* only = i < cases.size() ? &cases[i] : nullptr;  // the last row holds every value
    fill("P" + std::to_string(i), only, cases);
    packed.emplace_back(t.row().packedsize());
    t.row().packrow(packed.back().data());
    for (const char* prefix : {"S", "C"}) {
      fill(prefix + std::to_string(i), only, cases);
      t.store();
    }
  }
  std::vector<PackedRow> rows;
  for (const std::vector<char>& p : packed) rows.push_back({p.data(), p.size()});
  std::vector<char> stored(rows.size());
  t.writer().insertmany(rows.data(), rows.size(), reinterpret_cast<bool*>(stored.data()));
  t.writer().commitgroup();
  t.writer().settrail(0);
  ASSERT_EQ(std::count(stored.begin(), stored.end(), 1), static_cast<long>(rows.size()));

  // Row C<i> has its value changed afterwards; the last one, NULLs set.
  std::vector<std::string> kept;
  for (std::size_t i = 0; i <= cases.size(); ++i) {
    const std::string key = "C" + std::to_string(i);
    for (t.first(); t.field("Recno").astext() != key; t.next()) {
    }
    t.edit();
    if (i < cases.size()) t.field(cases[i].field).settext(cases[i].changed);
    else t.field("Notes").settext("");
    t.store();
    kept.push_back(key);
  }
  UndoOutcome o = t.history()->undo(run);
  EXPECT_EQ(o.removed, static_cast<long long>(2 * (cases.size() + 1)));
  std::sort(o.kept.begin(), o.kept.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(o.kept, kept);
}

// Every byte of a text or blob counts, whatever its length and wherever it
// lies (the last short piece is read by overlapping loads).
TEST(ImportHistoryPrintBytesTest, EveryByteOfAValueCounts) {
  for (Cell::Kind kind : {Cell::Text, Cell::Blob}) {
    for (std::size_t n = 1; n <= 19; ++n) {
      std::string value(n, 'a');
      for (std::size_t i = 0; i < n; ++i) value[i] = static_cast<char>('a' + i);
      auto print = [kind](const std::string& v) {
        RowPrint p;
        p.add(3, CellRef{kind, 0, 0, v.data(), v.size()});
        return p.value();
      };
      const std::uint64_t whole = print(value);
      for (std::size_t i = 0; i < n; ++i) {
        std::string changed = value;
        changed[i] = 'Z';
        EXPECT_NE(print(changed), whole) << n << " bytes, byte " << i;
      }
      EXPECT_NE(print(value.substr(0, n - 1)), whole) << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportHistoryTest, ::testing::Values(Engine::File, Engine::Server),
                         [](const auto& info) { return info.param == Engine::File ? "File" : "Server"; });
INSTANTIATE_TEST_SUITE_P(Engines, ImportHistoryPrintTest, ::testing::Values(Engine::File, Engine::Server),
                         [](const auto& info) { return info.param == Engine::File ? "File" : "Server"; });

}  // namespace
}  // namespace vesper
