// What the table writer answers for a row it is given: stored, its key
// taken, or refused otherwise, each with the engine's own message.
#include "store/tablewriter.h"

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

// A row is given built or packed, alone (its own transaction) or in a group;
// a refused row leaves the table usable and the group open, and only the
// rows stored are in the table when the group ends.
TEST(TableWriterTest, RefusedRowsAreOutcomesWithTheEnginesMessage) {
  struct Row {
    const char* code;
    const char* name;
    StoreResult::Kind want;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"N1", "Ann", StoreResult::Stored, ""},
      {"OLD", "Ann", StoreResult::KeyTaken, "Key violation in PEOPLE.DB (UNIQUE constraint failed: people.Code)."},
      {"N2", "Nobody", StoreResult::Refused, "The row cannot be stored in PEOPLE.DB (no Nobody here)."},
      {"N3", "Bo", StoreResult::Stored, ""},
  };
  enum Way { BuiltAlone, BuiltInGroup, PackedAlone, PackedInGroup };
  for (Way way : {BuiltAlone, BuiltInGroup, PackedAlone, PackedInGroup}) {
    TempFolder dir;
    const std::string path = dir.file("PEOPLE.DB");
    createtable(path, {{"Code", FieldType::Alpha, 8}, {"Name", FieldType::Alpha, 10}, {"Id", FieldType::AutoInc, 0}},
                "Code");
    RawConnection raw(path);
    ASSERT_EQ(raw.exec("INSERT INTO people (Code, Name, Id) VALUES ('OLD', 'Kept', 1); "
                       "CREATE TRIGGER refuse BEFORE INSERT ON people WHEN NEW.Name = 'Nobody' "
                       "BEGIN SELECT RAISE(ABORT, 'no Nobody here'); END"),
              SQLITE_OK);
    Table t;
    t.open(dir.path(), "PEOPLE.DB");
    RowBuilder& row = t.row();
    TableWriter& writer = dynamic_cast<TableWriter&>(t.writer());
    const bool grouped = way == BuiltInGroup || way == PackedInGroup;
    if (grouped) writer.begingroup();
    std::vector<char> packed;
    for (const Row& r : rows) {
      row.newrow();
      row.settext(0, r.code);
      row.settext(1, r.name);
      StoreResult got;
      if (way == BuiltAlone || way == BuiltInGroup) {
        got = writer.insert(row);
        EXPECT_TRUE(row.ispending()) << r.code;  // the caller ends it
      } else {
        packed.assign(row.packedsize(), '\0');
        row.packrow(packed.data());
        got = writer.insert(PackedRow{packed.data(), packed.size()});
      }
      EXPECT_EQ(got.kind, r.want) << r.code << " way " << way;
      EXPECT_EQ(got.message, r.message) << r.code << " way " << way;
      EXPECT_EQ(writer.ingroup(), grouped) << r.code;
    }
    if (grouped) writer.commitgroup();
    EXPECT_EQ(raw.value("SELECT group_concat(Code || ':' || Name, ',') FROM (SELECT * FROM people ORDER BY Id)"),
              "OLD:Kept,N1:Ann,N3:Bo")
        << "way " << way;
  }
}

// A table another program holds cannot be written at all: that is no
// outcome of the row but TableUnavailable, and the row stays pending.
TEST(TableWriterTest, LockedTableThrowsInsteadOfRefusing) {
  TempFolder dir;
  const std::string path = dir.file("PEOPLE.DB");
  createtable(path, {{"Code", FieldType::Alpha, 8}, {"Id", FieldType::AutoInc, 0}}, "Code");
  Table t;
  t.open(dir.path(), "PEOPLE.DB");
  t.setbusytimeout(20);
  RawConnection other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
  t.row().newrow();
  t.row().settext(0, "A");
  EXPECT_THROW(t.writer().insert(t.row()), TableUnavailable);
  EXPECT_TRUE(t.row().ispending());
  other.exec("COMMIT");
  EXPECT_TRUE(t.writer().insert(t.row()).stored());
}

}  // namespace
}  // namespace vesper
