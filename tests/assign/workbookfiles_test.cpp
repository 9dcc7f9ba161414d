// Real workbooks written by spreadsheet programs (tests/data/workbooks, see
// its README), read as import sources with the program's own header judge.
#include <gtest/gtest.h>

#include <filesystem>

#include "assign/columnnames.h"
#include "source/recordsource.h"
#include "source/sourcestate.h"
#include "source/tablesource.h"
#include "support/fakes.h"

namespace vesper {
namespace {

struct Value {
  int record, field;
  std::string text;
};

struct Case {
  const char* file;
  int kind;
  const char* sheet;        // "" the first
  std::vector<std::string> names;  // the header's cells; none when no header
  int fieldcount, records;
  std::vector<Value> values;
};

std::string pathof(const Case& c) {
  return std::string(VESPER_SOURCE_DIR) + "/tests/data/workbooks/" + c.file;
}

TEST(WorkbookFiles, ReadAsTheProgramWroteThem) {
  const Case cases[] = {
      // Google Sheets: a header row of names, numbers as typed.
      {"googlesheets-iris.xlsx", kXlsxWorkbook, "", {}, 5, 151,
       {{1, 1, "Sepal.Length"}, {2, 1, "5.1"}, {2, 5, "setosa"}, {151, 5, "virginica"}}},
      // LibreOffice, 1900 date system: the same day in five date formats.
      {"libreoffice50-dates1900.xlsx", kXlsxWorkbook, "", {}, 5, 1,
       {{1, 1, "2000-01-01"}, {1, 5, "2000-01-01"}}},
      // Excel for the Mac: notes above the header, which is on row 9.
      {"excelmac-header-row.xlsx", kXlsxWorkbook, "", {}, 4, 3,
       {{1, 3, "Note 1"}, {2, 2, "Column A"}, {3, 4, "3"}}},
      // Excel: an escaped carriage return before a line break: one line break.
      {"excel2016-x000D-linebreak.xlsx", kXlsxWorkbook, "", {}, 1, 1, {{1, 1, "ABC\r\nDEF"}}},
      // LibreOffice .ods: dates, a date with a time, times (one with fractions of a second).
      {"libreoffice73-dates.ods", kOdsSpreadsheet, "", {}, 2, 4,
       {{1, 1, "2021-01-01"}, {2, 1, "2021-01-01 10:10:10"}, {3, 1, "10:10:10"}, {4, 1, "10:10:10"}, {4, 2, "18"}}},
      // LibreOffice .ods: a cell over two rows whose covered cell keeps text of its own.
      {"libreoffice54-covered-cell.ods", kOdsSpreadsheet, "", {}, 1, 3,
       {{1, 1, "a1"}, {2, 1, "a2"}, {3, 1, "a2"}}},
      // Excel writing .ods, a sheet chosen by name.
      {"excel2016-datatypes-6sheets.ods", kOdsSpreadsheet, "issue2", {}, 2, 3,
       {{1, 1, "1"}, {3, 2, "c"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = pathof(c);
    testing::RecordingMessages messages;
    testing::FixedClock clock;
    testing::FixedDisk disk;
    SourceState state(messages, clock, disk);
    state.SourceLayoutChoice.sheet = c.sheet;
    SourceTable table;
    OpenedSource opened = OpenRecordSource(state, path, table, isheaderline);
    ASSERT_EQ(opened.source->kind(), c.kind);
    ASSERT_EQ(opened.source->openfailure(path), "");
    EXPECT_EQ(state.SourceLayout.columnnames, c.names);
    ASSERT_EQ(opened.fieldcount, c.fieldcount);
    state.SourceFieldCount = opened.fieldcount;
    std::vector<std::vector<std::string>> records;
    for (opened.source->rewind(); opened.source->next();) {
      records.emplace_back();
      for (int f = 1; f <= c.fieldcount; ++f) records.back().emplace_back(opened.source->value(f));
    }
    ASSERT_EQ(static_cast<int>(records.size()), c.records);
    for (const Value& v : c.values)
      EXPECT_EQ(records[static_cast<std::size_t>(v.record - 1)][static_cast<std::size_t>(v.field - 1)], v.text)
          << "record " << v.record << " field " << v.field;
    EXPECT_EQ(opened.source->count({}), c.records);
  }
}

}  // namespace
}  // namespace vesper
