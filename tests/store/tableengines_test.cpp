// The same table on each engine: a table file, and a table of a contact
// database on a PostgreSQL server.  What a table and its writer do must not
// depend on where the rows are kept.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "parse/daycount.h"
#include "store/serverbackend.h"
#include "store/servertables.h"
#include "store/table.h"
#include "store/tempfolder.h"
#include "support/postgres.h"

namespace vesper {
namespace {

using testing::FreshSchema;
using testing::PostgresConnection;
using testing::RawConnection;
using testing::TempFolder;

enum class Engine { File, Server };

std::vector<FieldDef> peoplefields() {
  return {{"Code", FieldType::Alpha, 8},        {"Name", FieldType::Alpha, 10}, {"Notes", FieldType::Memo, 0},
          {"Born", FieldType::Date, 0},         {"At", FieldType::Time, 0},     {"Stamp", FieldType::Timestamp, 0},
          {"Qty", FieldType::Short, 0},         {"Price", FieldType::Number, 0}, {"Cash", FieldType::Money, 0},
          {"Flag", FieldType::Logical, 0},      {"Id", FieldType::AutoInc, 0}};
}

class TableEngines : public ::testing::TestWithParam<Engine> {
 protected:
  TempFolder dir;
  std::unique_ptr<PostgresConnection> server;
  std::unique_ptr<FreshSchema> schema;
  std::unique_ptr<RawConnection> file;
  ServerDatabase database;
  Table t;  // closed before the schema is dropped

  void SetUp() override {
    if (GetParam() == Engine::File) {
      createtable(dir.file("PEOPLE.DB"), peoplefields(), "Code");
      file = std::make_unique<RawConnection>(dir.file("PEOPLE.DB"));
      open();
      return;
    }
    VESPER_NEED_POSTGRES(conninfo);
    server = std::make_unique<PostgresConnection>(conninfo);
    schema = std::make_unique<FreshSchema>(*server);
    schema->use();
    for (const std::string& sql : createserversql(schema->name(), "people", peoplefields(), "Code")) server->exec(sql);
    database = {conninfo, schema->name()};
    open();
  }
  void open() {
    if (file) t.open(dir.path(), "PEOPLE.DB");
    else openservertable(t, database, "people.db", 5000);
  }
  // Another program's connection to the same table.
  std::string other(const std::string& sql) { return file ? file->value(sql) : server->value(sql); }
  void add(const std::string& code, const std::string& name = "") {
    t.newrow();
    t.field("Code").settext(code);
    if (!name.empty()) t.field("Name").settext(name);
    t.store();
  }
  std::string walk(const char* field = "Code") {
    std::string out;
    for (t.first(); !t.atend(); t.next()) out += t.field(field).astext() + ",";
    return out;
  }
  std::vector<char> pack(const std::string& code, const std::string& name) {
    t.newrow();
    t.field("Code").settext(code);
    t.field("Name").settext(name);
    std::vector<char> bytes(t.row().packedsize());
    t.row().packrow(bytes.data());
    return bytes;
  }
};

INSTANTIATE_TEST_SUITE_P(Both, TableEngines, ::testing::Values(Engine::File, Engine::Server),
                         [](const auto& info) { return info.param == Engine::File ? "File" : "Server"; });

// Key order; a dropped row leaves nothing; an edit keeps the fields it did
// not write, and a row whose key an edit changed is followed to its new
// place, where the walk goes on.
TEST_P(TableEngines, WalksStoresEditsAndDrops) {
  for (const char* code : {"C", "a", "A", "D", "B"}) add(code, std::string("n") + code);
  t.newrow();
  t.field("Code").settext("X");
  t.drop();
  EXPECT_EQ(walk(), "A,B,C,D,a,");  // texts compared byte by byte
  std::string seen;
  for (t.first(); !t.atend(); t.next()) {
    const std::string code = t.field("Code").astext();
    seen += code + ",";
    if (code != "B" && code != "C") continue;
    t.edit();
    t.field(code == "B" ? "Name" : "Code").settext(code == "B" ? "Bee" : "Z");
    t.store();
  }
  EXPECT_EQ(seen, "A,B,C,a,");  // C, now Z, is followed to its place before a
  EXPECT_EQ(walk(), "A,B,D,Z,a,");
  EXPECT_EQ(walk("Name"), "nA,Bee,nD,nC,na,");
  EXPECT_EQ(t.recordcount(), 5);
}

// Every kind of field keeps its value, read back by a table opened anew;
// a number given to the autoincrement field is kept and the next row
// numbered past it.
TEST_P(TableEngines, FieldsKeepTheirValues) {
  const double day = encodedate(2024, 2, 29), time = encodetime(13, 5, 9);
  struct Case {
    const char* field;
    std::function<void(Field)> write;
    const char* text;
  };
  const Case cases[] = {
      {"Name", [](Field f) { f.settext("Ünïcödé and more"); }, "Ünïcödé an"},
      {"Notes", [](Field f) { f.settext("tab\there\r\nback\\slash 'q' \"d\""); }, "tab\there\r\nback\\slash 'q' \"d\""},
      {"Born", [&](Field f) { f.setdatetime(day + time); }, "2024-02-29"},
      {"Born", [](Field f) { f.settext("0850-07-04"); }, "0850-07-04"},
      {"At", [&](Field f) { f.setdatetime(day + time); }, "13:05:09"},
      {"Stamp", [&](Field f) { f.setdatetime(day + time); }, "2024-02-29 13:05:09"},
      {"Qty", [](Field f) { f.settext(" -12 "); }, "-12"},
      {"Price", [](Field f) { f.settext("0.1"); }, "0.1"},
      {"Cash", [](Field f) { f.setdouble(-1234.25); }, "-1234.25"},
      {"Flag", [](Field f) { f.setbool(true); }, "True"},
      {"Flag", [](Field f) { f.settext("false"); }, "False"},
      {"Id", [](Field f) { f.setinteger(40); }, "40"},
  };
  const int count = static_cast<int>(sizeof cases / sizeof cases[0]);
  for (int n = 0; n < count; ++n) {
    t.newrow();
    t.field("Code").settext("R" + std::to_string(10 + n));
    cases[n].write(t.field(cases[n].field));
    t.store();
  }
  add("ZZ");
  t.close();
  open();
  t.first();
  for (int n = 0; n < count; ++n, t.next()) {
    ASSERT_FALSE(t.atend());
    EXPECT_EQ(t.field(cases[n].field).astext(), cases[n].text) << cases[n].field;
    if (std::string(cases[n].field) != "Id") {
      EXPECT_EQ(t.field("Id").asinteger(), n + 1);
    }
  }
  EXPECT_EQ(t.field("Code").astext(), "ZZ");
  EXPECT_EQ(t.field("Id").asinteger(), 41);
  EXPECT_TRUE(t.field("Name").isnull());
}

// In a group: a taken key is an outcome, after which the row stores with
// another key; a row refused otherwise (it has no key) does not take the
// group with it; only the stored rows are there when it commits.
TEST_P(TableEngines, TakenKeysAndRefusedRowsKeepTheGroup) {
  add("OLD", "Kept");
  struct Step {
    const char* code;  // "" for none
    StoreResult::Kind want;
  };
  const Step steps[] = {{"A", StoreResult::Stored},  {"OLD", StoreResult::KeyTaken}, {"B", StoreResult::Stored},
                        {"", StoreResult::Refused},  {"A", StoreResult::KeyTaken},   {"C", StoreResult::Stored}};
  t.writer().begingroup();
  for (const Step& s : steps) {
    t.newrow();
    if (*s.code) t.field("Code").settext(s.code);
    t.field("Name").settext(std::string("n") + s.code);
    const StoreResult r = t.writer().insert(t.row());
    EXPECT_EQ(r.kind, s.want) << s.code << ": " << r.message;
    if (s.want == StoreResult::KeyTaken) {
      EXPECT_NE(r.message.find("Key violation in PEOPLE.DB"), std::string::npos) << r.message;
    }
    EXPECT_TRUE(t.writer().ingroup());
    t.drop();
  }
  // A packed row with its key replaced, as a batch stores the next key.
  std::vector<char> packed = pack("A", "packed");
  EXPECT_EQ(t.writer().insert(PackedRow{packed.data(), packed.size()}, 0, Cell::oftext("D")).kind,
            StoreResult::Stored);
  t.writer().commitgroup();
  EXPECT_EQ(walk("Name"), "nA,nB,nC,packed,Kept,");
  EXPECT_EQ(other("SELECT count(*) FROM people"), "5");
}

// Rows stored together while another program takes a key of the next ones:
// exactly the rows whose key was free are stored (of two with one key, the
// first), with their own values, and the group keeps the rows before.
TEST_P(TableEngines, ManyRowsPassOverAKeyTakenMeanwhile) {
  const std::vector<std::vector<std::string>> chunks = {{"K1", "K2", "K3"}, {"K5", "K6", "K7", "K5"}};
  const std::vector<std::vector<bool>> want = {{true, true, true}, {true, false, true, false}};
  const std::string take = "INSERT INTO people (\"Code\", \"Name\") VALUES ('K6', 'Other')";
  if (file) other(take);  // a table file is held by the group from its start
  t.writer().begingroup();
  for (std::size_t c = 0; c < chunks.size(); ++c) {
    if (c == 1 && !file) other(take);
    std::vector<std::vector<char>> bytes;
    for (std::size_t j = 0; j < chunks[c].size(); ++j) bytes.push_back(pack(chunks[c][j], "N" + std::to_string(c * 10 + j)));
    std::vector<PackedRow> rows;
    for (const auto& b : bytes) rows.push_back({b.data(), b.size()});
    bool stored[8] = {};
    t.writer().insertmany(rows.data(), rows.size(), stored);
    for (std::size_t j = 0; j < rows.size(); ++j) EXPECT_EQ(stored[j], want[c][j]) << chunks[c][j];
  }
  EXPECT_EQ(t.field("Code").astext(), "K7");  // the last row stored is the current row
  t.writer().commitgroup();
  EXPECT_EQ(walk("Name"), "N0,N1,N2,N10,Other,N12,");
}

// A table without key is walked in the order its rows were stored, also
// after an edit (which moves a row on a server: its id must follow it).
TEST_P(TableEngines, TableWithoutKeyKeepsItsOrderThroughEdits) {
  const std::vector<FieldDef> fields = {{"Code", FieldType::Alpha, 8}, {"Id", FieldType::AutoInc, 0}};
  if (file) {
    createtable(dir.file("NOTES.DB"), fields);
    t.open(dir.path(), "NOTES.DB");
  } else {
    for (const std::string& sql : createserversql(schema->name(), "notes", fields, "")) server->exec(sql);
    openservertable(t, database, "NOTES.DB", 5000);
  }
  for (const char* code : {"C", "A", "B"}) add(code);
  EXPECT_EQ(walk(), "C,A,B,");
  for (int round = 0; round < 2; ++round) {
    std::string seen;
    for (t.first(); !t.atend(); t.next()) {
      seen += t.field("Code").astext() + ",";
      t.edit();
      t.field("Code").settext(t.field("Code").astext() + "x");
      t.store();
    }
    EXPECT_EQ(seen, round == 0 ? "C,A,B," : "Cx,Ax,Bx,");
  }
  EXPECT_EQ(walk(), "Cxx,Axx,Bxx,");
}

// Reading the table through gives each row once, with the cells of the
// fields asked for in the order asked, as reading that row by its id does.
TEST_P(TableEngines, ReadThroughGivesEachRowOnceAsItsIdReadsIt) {
  for (const char* code : {"B", "A", "C"}) add(code, std::string(code) == "C" ? "" : std::string("n") + code);
  t.edit();  // the last row stored, C: a number beside its empty name
  t.field("Qty").settext("12");
  t.store();
  const std::vector<int> fields{t.findfield("Qty"), t.findfield("Name"), t.findfield("Code")};
  std::vector<std::pair<long long, std::vector<Cell>>> read;
  ASSERT_TRUE(t.scanfields(fields, true, [&](long long id, const std::vector<Cell>& cells) { read.emplace_back(id, cells); }));
  std::map<std::string, std::vector<Cell>> seen;
  std::vector<Cell> row;
  for (const auto& [id, cells] : read) {
    ASSERT_EQ(cells.size(), fields.size());
    t.readrow(id, row);
    for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(cells[i], row[static_cast<std::size_t>(fields[i])]);
    EXPECT_TRUE(seen.emplace(cells[2].text, cells).second) << cells[2].text << " read twice";
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen["A"][1].text, "nA");
  EXPECT_EQ(seen["C"][1].kind, Cell::Null);
  EXPECT_EQ(seen["C"][0], Cell::ofinteger(12));
  std::size_t rows = 0;
  ASSERT_TRUE(t.scanfields({fields[2]}, false, [&](long long, const std::vector<Cell>&) { ++rows; }));
  EXPECT_EQ(rows, 3u);
}

TEST_P(TableEngines, LastKeyBetweenSeesTheOpenGroup) {
  for (const char* code : {"AB1", "AB5", "AB9", "ABC", "B"}) add(code);
  t.writer().begingroup();
  add("AB7");
  struct Case { const char* low; const char* high; const char* want; };
  const Case cases[] = {{"AB0", "AB9", "AB9"}, {"AB0", "AB8", "AB7"}, {"AB2", "AB4", ""},
                        {"AB", "ABZ", "ABC"},  {"A", "Z", "B"},        {"C", "D", ""}};
  for (const Case& c : cases) EXPECT_EQ(t.writer().lastkeybetween(c.low, c.high), c.want) << c.low << ".." << c.high;
  t.writer().commitgroup();
}

// A lock another program holds is waited for up to the busy timeout, then
// the store fails saying so and the row stays pending for another try.
TEST_P(TableEngines, LockHeldByAnotherProgramFailsAfterTheBusyTimeout) {
  t.setbusytimeout(200);
  other(file ? "BEGIN IMMEDIATE" : "BEGIN; LOCK TABLE people IN EXCLUSIVE MODE");
  t.newrow();
  t.field("Code").settext("A");
  const auto start = std::chrono::steady_clock::now();
  try {
    t.store();
    ADD_FAILURE() << "stored through a lock";
  } catch (const TableUnavailable& e) {
    EXPECT_STREQ(e.what(),
                 "Table PEOPLE.DB is locked by another user or program; it did not become free within 0.2 seconds.");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_TRUE(t.ispending());
  other("COMMIT");
  t.store();
  EXPECT_EQ(t.recordcount(), 1);
}

// A row another program deleted reads as empty, and an edit of it says it is gone.
TEST_P(TableEngines, RowDeletedByAnotherProgram) {
  add("A", "Ann");
  add("B", "Bo");
  t.first();
  other("DELETE FROM people WHERE \"Code\" = 'A'");
  EXPECT_TRUE(t.field("Name").isnull());
  t.edit();
  t.field("Name").settext("Again");
  try {
    t.store();
    ADD_FAILURE() << "a deleted row was edited";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "The row was deleted from PEOPLE.DB by another user or program.");
  }
  t.drop();
  EXPECT_EQ(walk("Name"), "Bo,");
}

}  // namespace
}  // namespace vesper
