#include "store/fieldtypes.h"

#include <gtest/gtest.h>

#include <limits>

#include "parse/daycount.h"

namespace vesper {
namespace {

TEST(FieldTypes, EveryTypeIsKnownAgainFromItsDeclaration) {
  for (int i = 0; i <= static_cast<int>(FieldType::Graphic); ++i) {
    FieldDef def{"F", static_cast<FieldType>(i), 0};
    if (def.type == FieldType::Alpha || def.type == FieldType::Bytes) def.size = 17;
    FieldDef back = fieldfromdeclaration("F", declaredtype(def));
    EXPECT_EQ(back.type, def.type) << declaredtype(def);
    EXPECT_EQ(back.size, def.size) << declaredtype(def);
  }
}

TEST(FieldTypes, DeclarationsOfOtherToolsMapToTheNearestType) {
  struct Case { const char* decl; FieldType type; int size; };
  const Case cases[] = {
      {"varchar(30)", FieldType::Alpha, 30},  {"CHARACTER(5)", FieldType::Alpha, 5},
      {"TEXT", FieldType::Memo, 0},           {"INTEGER", FieldType::Long, 0},
      {"REAL", FieldType::Number, 0},         {"DECIMAL(10,2)", FieldType::Bcd, 0},
      {"BOOLEAN", FieldType::Logical, 0},     {"DATETIME", FieldType::Timestamp, 0},
      {"", FieldType::Binary, 0},             {"FLOATING POINT", FieldType::Long, 0},  // INT wins, as in SQLite
      {"STRANGE", FieldType::Bcd, 0},
  };
  for (const Case& c : cases) {
    FieldDef d = fieldfromdeclaration("F", c.decl);
    EXPECT_EQ(d.type, c.type) << c.decl;
    EXPECT_EQ(d.size, c.size) << c.decl;
  }
}

TEST(StoredTime, ParsesTheStoredFormsAndRefusesOthers) {
  const double day = encodedate(2001, 9, 8);
  struct Case { const char* text; bool ok; double value; };
  const Case cases[] = {
      {"2001-09-08", true, day},
      {"2001-09-08 06:00", true, day + 0.25},
      {"2001-09-08T18:00:00", true, day + 0.75},
      {" 12:00:00.5 ", true, encodetime(12, 0, 0, 500)},
      {"0001-01-01", true, -693593},
      {"2001-9-8", false, 0},
      {"2001-09-31", false, 0},
      {"24:00:00", false, 0},
      {"2001-09-08 06", false, 0},
      {"12:00:00.", false, 0},
      {"02134", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    double v = -1;
    EXPECT_EQ(parsedatetimetext(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_NEAR(v, c.value, 1e-9) << c.text;
    }
  }
  // Before 30 December 1899 the fraction still counts forward within the day.
  const double early = encodedate(1850, 7, 4) - 0.25;
  EXPECT_EQ(timestamptext(early), "1850-07-04 06:00:00");
  double back = 0;
  ASSERT_TRUE(parsedatetimetext(timestamptext(early), back));
  EXPECT_NEAR(back, early, 1e-9);
}

// The text written in place for a date, time or timestamp field is the
// text of the cell datetimecell makes; whatever it cannot write is left to
// datetimecell (0), which then writes or refuses it.
TEST(FieldTypes, DateTimeTextInPlaceIsTheCellsText) {
  const double day = encodedate(2001, 9, 8);
  const double values[] = {
      day,     day + 0.25,  day + 0.999999999,  // the last moment of a day rounds down
      0,       -0.25,       encodedate(1850, 7, 4) - 0.75, -693593, encodedate(1, 1, 1) + 0.5,
      2958465, 2958465.5,   encodedate(2024, 2, 29) + encodetime(23, 59, 59, 999),
  };
  const FieldType types[] = {FieldType::Date, FieldType::Time, FieldType::Timestamp};
  for (FieldType type : types) {
    const FieldDef def{"D", type, 0};
    for (double v : values) {
      char text[kDateTimeTextMax];
      const std::size_t n = datetimetextinto(type, v, text);
      ASSERT_GT(n, 0u) << fieldtypename(type) << " " << v;
      EXPECT_EQ(Cell::oftext(std::string(text, n)), datetimecell(def, v)) << fieldtypename(type) << " " << v;
    }
  }
  const double refused[] = {-693594, 2958467, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  for (FieldType type : types) {
    for (double v : refused) {
      char text[kDateTimeTextMax];
      EXPECT_EQ(datetimetextinto(type, v, text), 0u) << fieldtypename(type) << " " << v;
    }
  }
  // The first day of year 10000 is still stored, with its year written whole.
  char text[kDateTimeTextMax];
  EXPECT_EQ(datetimetextinto(FieldType::Date, 2958466, text), 0u);
  EXPECT_EQ(datetimecell(FieldDef{"D", FieldType::Date, 0}, 2958466), Cell::oftext("10000-01-01"));
  const FieldType others[] = {FieldType::Alpha, FieldType::Memo, FieldType::Long, FieldType::Number};
  for (FieldType type : others) {
    EXPECT_EQ(datetimetextinto(type, day, text), 0u) << fieldtypename(type);
  }
}

TEST(Cells, ReadTheKindsAnotherToolMayHaveStored) {
  const FieldDef number{"N", FieldType::Number, 0}, flag{"L", FieldType::Logical, 0};
  const FieldDef alpha{"A", FieldType::Alpha, 5}, date{"D", FieldType::Date, 0};
  EXPECT_EQ(celltext(number, Cell::ofreal(0.1 + 0.2)), "0.3");
  EXPECT_EQ(cellinteger(number, Cell::ofreal(2.5)), 3);
  EXPECT_EQ(celltext(flag, Cell::ofinteger(5)), "True");
  EXPECT_TRUE(cellbool(flag, Cell::oftext("Yes")));
  EXPECT_EQ(celltext(alpha, Cell::ofinteger(2134)), "2134");
  EXPECT_EQ(cellinteger(alpha, Cell::oftext(" 42 ")), 42);
  EXPECT_EQ(celldatetime(date, Cell::oftext("1899-12-31")), 1);
  EXPECT_EQ(celltext(alpha, Cell()), "");
  EXPECT_EQ(textcell(alpha, ""), Cell());
}

}  // namespace
}  // namespace vesper
