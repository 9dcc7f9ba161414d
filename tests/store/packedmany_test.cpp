// Packed rows stored several at a time (TableWriter::insertmany).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "store/table.h"
#include "store/tempfolder.h"

namespace vesper {
namespace {

using testing::RawConnection;
using testing::TempFolder;

struct PackedManyTest : ::testing::Test {
  TempFolder dir;
  std::string path = dir.file("PEOPLE.DB");
  Table t;
  void SetUp() override {
    createtable(path, {{"Code", FieldType::Alpha, 8}, {"Name", FieldType::Alpha, 10},
                       {"Notes", FieldType::Memo, 0}, {"Qty", FieldType::Short, 0},
                       {"Id", FieldType::AutoInc, 0}},
                "Code");
    t.open(dir.path(), "PEOPLE.DB");
  }
  // A new row packed as the batch writer receives it.
  std::vector<char> pack(const std::string& code, const std::string& name, const std::string& notes = "") {
    t.newrow();
    t.field("Code").settext(code);
    t.field("Name").settext(name);
    if (!notes.empty()) t.field("Notes").settext(notes);
    std::vector<char> bytes(t.row().packedsize());
    t.row().packrow(bytes.data());
    return bytes;
  }
  std::string value(const std::string& sql) { return RawConnection(path).value(sql); }
};

// Rows stored together, in order and with their own values; a row whose key
// the table holds is passed over and said to be so, wherever it lies among
// them, and the table keeps the row it had.
TEST_F(PackedManyTest, StoresTogetherAndPassesOverTakenKeys) {
  struct Case {
    std::vector<std::string> codes;
    std::vector<bool> stored;
  };
  const std::vector<Case> cases = {
      {{"A1", "A2", "A3", "A4"}, {true, true, true, true}},
      {{"OLD", "B2", "B3"}, {false, true, true}},
      {{"C1", "OLD", "C3"}, {true, false, true}},
      {{"D1", "D2", "OLD"}, {true, true, false}},
      {{"OLD", "OLD"}, {false, false}},
  };
  t.newrow();
  t.field("Code").settext("OLD");
  t.field("Name").settext("Kept");
  t.store();
  long long lastId = 1;
  for (const Case& c : cases) {
    std::vector<std::vector<char>> bytes;
    for (const std::string& code : c.codes) bytes.push_back(pack(code, "N" + code, "about " + code));
    std::vector<PackedRow> rows;
    for (const auto& b : bytes) rows.push_back({b.data(), b.size()});
    bool stored[8] = {};
    const long long before = t.writer().bytesstored();
    t.writer().begingroup();
    t.writer().insertmany(rows.data(), rows.size(), stored);
    t.writer().commitgroup();
    long long bytes_ = 0;
    for (std::size_t j = 0; j < c.codes.size(); ++j) {
      EXPECT_EQ(stored[j], c.stored[j]) << c.codes[j];
      if (!c.stored[j]) continue;
      const std::string where = " FROM people WHERE Code = '" + c.codes[j] + "'";
      EXPECT_EQ(value("SELECT Name" + where), "N" + c.codes[j]);
      EXPECT_EQ(value("SELECT Notes" + where), "about " + c.codes[j]);
      const long long id = std::stoll(value("SELECT Id" + where));
      EXPECT_GT(id, lastId) << c.codes[j];  // numbered in the order given
      lastId = id;
      // Code, "N" + code, "about " + code, and the 8 bytes of its number.
      bytes_ += static_cast<long long>(3 * c.codes[j].size() + 1 + 6 + 8);
    }
    EXPECT_EQ(t.writer().bytesstored() - before, bytes_);  // only the rows stored count
  }
  EXPECT_EQ(value("SELECT Name FROM people WHERE Code = 'OLD'"), "Kept");
  EXPECT_EQ(value("SELECT COUNT(*) FROM people"), "11");
}

// Nothing is stored, and every row is said to be not stored, where the rows
// must go one by one: outside a group, in a table with a trigger, and in a
// table without an autoincrement field.  A broken packed row stores nothing
// at all.
TEST_F(PackedManyTest, StoresNothingWhereRowsMustGoOneByOne) {
  std::vector<char> a = pack("X1", "One"), b = pack("X2", "Two");
  PackedRow rows[2] = {{a.data(), a.size()}, {b.data(), b.size()}};
  bool stored[2] = {true, true};
  t.writer().insertmany(rows, 2, stored);  // no group
  EXPECT_FALSE(stored[0] || stored[1]);

  EXPECT_EQ(RawConnection(path).value("CREATE TRIGGER noted AFTER INSERT ON people BEGIN SELECT 1; END"), "<none>");
  stored[0] = stored[1] = true;
  t.writer().begingroup();
  t.writer().insertmany(rows, 2, stored);
  t.writer().commitgroup();
  EXPECT_FALSE(stored[0] || stored[1]);
  EXPECT_EQ(RawConnection(path).value("DROP TRIGGER noted"), "<none>");

  t.writer().begingroup();
  rows[1].size = b.size() - 2;  // cut short
  stored[0] = stored[1] = true;
  EXPECT_THROW(t.writer().insertmany(rows, 2, stored), EngineError);
  t.writer().commitgroup();
  EXPECT_EQ(value("SELECT COUNT(*) FROM people"), "0");

  TempFolder other;
  createtable(other.file("PLAIN.DB"), {{"Code", FieldType::Alpha, 8}, {"Name", FieldType::Alpha, 10}}, "Code");
  Table plain;
  plain.open(other.path(), "PLAIN.DB");
  plain.newrow();
  plain.field("Code").settext("P1");
  std::vector<char> p(plain.row().packedsize());
  plain.row().packrow(p.data());
  PackedRow one{p.data(), p.size()};
  plain.writer().begingroup();
  stored[0] = true;
  plain.writer().insertmany(&one, 1, stored);
  plain.writer().commitgroup();
  EXPECT_FALSE(stored[0]);
  EXPECT_EQ(RawConnection(other.file("PLAIN.DB")).value("SELECT COUNT(*) FROM plain"), "0");
}

}  // namespace
}  // namespace vesper
