// The contact tables on a PostgreSQL server: created with the fields of the
// table files, read back as the same fields, and filled by COPY rows that
// keep every value as it was.
#include "store/servertables.h"

#include <gtest/gtest.h>

#include <limits>

#include "base/errors.h"
#include "store/sampledata.h"
#include "store/serverdatabase.h"
#include "support/postgres.h"

namespace vesper {
namespace {

using testing::FreshSchema;
using testing::PostgresConnection;

// The fields of table `table` in `schema`, read back from the server.
std::vector<FieldDef> serverfields(PostgresConnection& db, const std::string& schema, const std::string& table) {
  const std::string sql =
      "SELECT column_name, coalesce(col_description(('\"' || table_schema || '\".\"' || table_name || '\"')::regclass,"
      " ordinal_position::int), ''), data_type, coalesce(character_maximum_length, 0) FROM information_schema.columns"
      " WHERE table_schema = '" + schema + "' AND table_name = '" + table + "' ORDER BY ordinal_position";
  PGresult* r = PQexec(db.get(), sql.c_str());
  std::vector<FieldDef> fields;
  for (int i = 0; i < PQntuples(r); ++i)
    fields.push_back(fieldfromserver(PQgetvalue(r, i, 0), PQgetvalue(r, i, 1), PQgetvalue(r, i, 2), std::atoi(PQgetvalue(r, i, 3))));
  PQclear(r);
  return fields;
}

// Sends `rows` (COPY text, or the binary form) into table `table`; the
// server's message, or "".
std::string copyrows(PostgresConnection& db, const std::string& table, const std::string& rows, bool binary = false) {
  PQclear(PQexec(db.get(), ("COPY " + table + " FROM STDIN" + (binary ? " (FORMAT binary)" : "")).c_str()));
  PQputCopyData(db.get(), rows.data(), static_cast<int>(rows.size()));
  PQputCopyEnd(db.get(), nullptr);
  std::string error;
  while (PGresult* r = PQgetResult(db.get())) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK) error = PQresultErrorMessage(r);
    PQclear(r);
  }
  return error;
}

TEST(ServerTablesTest, TablesKeepTheirFieldsAndValues) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);

  const std::vector<FieldDef> every = {
      {"Name \"quoted\"", FieldType::Alpha, 20}, {"Note", FieldType::Memo, 0},     {"Day", FieldType::Date, 0},
      {"At", FieldType::Time, 0},                {"Stamp", FieldType::Timestamp, 0}, {"S", FieldType::Short, 0},
      {"L", FieldType::Long, 0},                 {"W", FieldType::Word, 0},        {"Id", FieldType::AutoInc, 0},
      {"Yes", FieldType::Logical, 0},            {"N", FieldType::Number, 0},      {"M", FieldType::Money, 0},
      {"B", FieldType::Bcd, 0},                  {"Raw", FieldType::Bytes, 4},     {"Bin", FieldType::Binary, 0},
      {"Pic", FieldType::Graphic, 0}};
  for (const auto& [table, fields, key] : {std::tuple{std::string("contact"), contactfields(), std::string("Recno")},
                                          std::tuple{std::string("every"), every, std::string("Id")}}) {
    for (const std::string& sql : createserversql(schema.name(), table, fields, key)) db.exec(sql);
    const std::vector<FieldDef> back = serverfields(db, schema.name(), table);
    ASSERT_EQ(back.size(), fields.size()) << table;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(back[i].name, fields[i].name);
      EXPECT_EQ(back[i].type, fields[i].type) << fields[i].name;
      EXPECT_EQ(back[i].size, fields[i].size) << fields[i].name;
    }
  }

  const std::vector<Cell> row = {
      Cell::oftext("tab\there \\ \"q\" é"), Cell::oftext("line one\r\nline two\n"), Cell::oftext("1961-03-15"),
      Cell::oftext("14:30:00"), Cell::oftext("1961-03-15 14:30:00"), Cell::ofinteger(-32768), Cell(),
      Cell::ofinteger(65535), Cell::ofinteger(7), Cell::ofinteger(1), Cell::ofreal(0.1), Cell::ofreal(-1234.5),
      Cell::ofreal(2.5), Cell::ofblob(std::string("\0\x01\xff\\", 4)), Cell(), Cell()};
  std::string rows;
  appendcopyrow(rows, every, row);
  const std::string table = quoteid(schema.name()) + ".\"every\"";
  ASSERT_EQ(copyrows(db, table, rows), "");
  struct Want {
    const char* column;
    const char* text;
  };
  const Want wants[] = {{"\"Name \"\"quoted\"\"\"", "tab\there \\ \"q\" é"}, {"\"Note\"", "line one\r\nline two\n"},
                        {"\"Day\"", "1961-03-15"}, {"\"At\"", "14:30:00"}, {"\"Stamp\"", "1961-03-15 14:30:00"},
                        {"\"S\"", "-32768"}, {"\"L\"", "<null>"}, {"\"W\"", "65535"}, {"\"Id\"", "7"},
                        {"\"Yes\"", "true"}, {"\"N\" = 0.1", "true"}, {"\"M\"", "-1234.5"}, {"\"B\"", "2.5"},
                        {"encode(\"Raw\", 'hex')", "0001ff5c"}, {"\"Bin\"", "<null>"}};
  for (const Want& w : wants)
    EXPECT_EQ(db.value("SELECT (" + std::string(w.column) + ")::text FROM " + table), w.text) << w.column;

  // The server keeps the word field's bounds.
  std::vector<Cell> big = row;
  big[7] = Cell::ofinteger(70000);
  big[8] = Cell::ofinteger(8);
  rows.clear();
  appendcopyrow(rows, every, big);
  EXPECT_NE(copyrows(db, table, rows).find("check constraint"), std::string::npos);
}

// A value in COPY's binary form is stored as its text form stores it; a
// value the server might read otherwise or refuse is not taken.
TEST(ServerTablesTest, TheBinaryFormStoresWhatTheTextFormStores) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  struct Case {
    FieldDef def;
    Cell cell;
    bool taken;
  };
  const Case cases[] = {
      {{"v", FieldType::Alpha, 20}, Cell::oftext("tab\there \\ é"), true},
      {{"v", FieldType::Memo, 0}, Cell::oftext(""), true},
      {{"v", FieldType::Date, 0}, Cell::oftext("2000-01-01"), true},
      {{"v", FieldType::Date, 0}, Cell::oftext("1961-03-15"), true},
      {{"v", FieldType::Date, 0}, Cell::oftext("0001-01-01"), true},
      {{"v", FieldType::Date, 0}, Cell::oftext("9999-12-31"), true},
      {{"v", FieldType::Date, 0}, Cell::oftext("2024-02-29"), true},
      {{"v", FieldType::Time, 0}, Cell::oftext("23:59:59"), true},
      {{"v", FieldType::Timestamp, 0}, Cell::oftext("1999-12-31 23:59:59"), true},
      {{"v", FieldType::Timestamp, 0}, Cell::oftext("2031-07-04 08:05:09"), true},
      {{"v", FieldType::Short, 0}, Cell::ofinteger(-32768), true},
      {{"v", FieldType::Long, 0}, Cell::ofinteger(-2147483648LL), true},
      {{"v", FieldType::Word, 0}, Cell::ofinteger(65535), true},
      {{"v", FieldType::Logical, 0}, Cell::ofinteger(1), true},
      {{"v", FieldType::Number, 0}, Cell::ofreal(0.1), true},
      {{"v", FieldType::Number, 0}, Cell::ofinteger(9007199254740993LL), true},
      {{"v", FieldType::Money, 0}, Cell::ofreal(-std::numeric_limits<double>::infinity()), true},
      {{"v", FieldType::Bytes, 4}, Cell::ofblob(std::string("\0\x01\xff\\", 4)), true},
      {{"v", FieldType::Alpha, 20}, Cell(), true},
      {{"v", FieldType::Short, 0}, Cell::ofinteger(32768), false},
      {{"v", FieldType::Long, 0}, Cell::ofreal(2), false},
      {{"v", FieldType::Logical, 0}, Cell::ofinteger(2), false},
      {{"v", FieldType::Date, 0}, Cell::oftext("2023-02-29"), false},
      {{"v", FieldType::Date, 0}, Cell::oftext("15.03.1961"), false},
      {{"v", FieldType::Time, 0}, Cell::oftext("24:00:00"), false},
      {{"v", FieldType::Timestamp, 0}, Cell::oftext("2031-07-04T08:05:09"), false},
      {{"v", FieldType::Bcd, 0}, Cell::ofreal(2.5), false},
  };
  const std::string table = quoteid(schema.name()) + ".\"one\"";
  for (const Case& c : cases) {
    const std::string type = servertype(c.def);
    const std::string what = type + ", case " + std::to_string(&c - cases);
    db.exec("DROP TABLE IF EXISTS " + table);
    db.exec("CREATE TABLE " + table + " (v " + type + ")");
    // The server's own name of the type, as the writer reads it.
    const BinaryColumn column = binarycolumn(db.value("SELECT format_type(atttypid, atttypmod) FROM pg_attribute "
                                                      "WHERE attrelid = '" + table + "'::regclass AND attname = 'v'"));
    std::string value;
    const std::string text = c.cell.kind == Cell::Text ? c.cell.text : "";
    const bool taken = appendbinaryvalue(value, column, CellRef::of(c.cell), text);
    EXPECT_EQ(taken, c.taken) << what;
    if (!taken) continue;
    std::string rows;
    appendcopyrow(rows, {c.def}, {c.cell});
    ASSERT_EQ(copyrows(db, table, rows), "") << what;
    const std::string astext = db.value("SELECT v::text FROM " + table);
    db.exec("TRUNCATE " + table);
    rows.clear();
    appendbinaryheader(rows);
    appendbinarycount(rows, 1);
    rows += value;
    appendbinarytrailer(rows);
    ASSERT_EQ(copyrows(db, table, rows, true), "") << what;
    EXPECT_EQ(db.value("SELECT v::text FROM " + table), astext) << what;
  }
}

TEST(ServerTablesTest, ANewDatabaseHasTheTablesAndFirstRowsOfADataFolder) {
  VESPER_NEED_POSTGRES(conninfo);
  PostgresConnection db(conninfo);
  FreshSchema schema(db);
  const ServerDatabase server{conninfo, schema.name()};
  createserverdatabase(server);
  const std::string in = quoteid(schema.name()) + ".";
  EXPECT_EQ(db.value("SELECT count(*) FROM " + in + "contact"), "0");
  EXPECT_EQ(db.value("SELECT \"DB\" || '/' || \"Date1\" || '/' || \"NumImport\" FROM " + in + "database"), "MAIN/Birthday/0");
  EXPECT_EQ(db.value("SELECT \"FormatSalut\"::text || \"lblZip\" FROM " + in + "settings"), "trueZip");
  EXPECT_EQ(serverfields(db, schema.name(), "database").size(), databasefields().size());

  // Never over an existing one: refused, and what is there is untouched.
  db.exec("INSERT INTO " + in + "contact (\"Recno\", \"LastName\") VALUES (1, 'Kept')");
  try {
    createserverdatabase(server);
    ADD_FAILURE() << "a second database was made over the first";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("never overwritten"), std::string::npos) << e.what();
  }
  EXPECT_EQ(db.value("SELECT \"LastName\" FROM " + in + "contact"), "Kept");
  EXPECT_THROW(createserverdatabase({"host=/nonexistent/folder dbname=x", "s"}), TableUnavailable);
}

}  // namespace
}  // namespace vesper
