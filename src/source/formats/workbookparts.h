// What the two workbook formats' readers share: cell references, number
// formats, date texts.  Internal to source/formats.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "source/formats/workbook.h"

namespace vesper {

struct CellArea {
  long long row1 = 0, row2 = 0;
  int col1 = 0, col2 = 0;
};

// The column (from 1) of a cell reference such as "AB12"; 0 when none.
int cellcolumn(std::string_view ref);
// The row (from 1) of a cell reference; 0 when none.
long long cellrow(std::string_view ref);
// Takes every complete `ref="A1:C3"` of a mergeCell element out of `text`,
// leaving what may be the start of one still to come.
void findmergerefs(std::string& text, std::vector<CellArea>& areas);

// Whether a number format code shows a date, a time or both.
DateShow dateshowofformat(std::string_view code);
// The same for a built-in number format id (14-22, 27-36, 45-47, 50-58).
DateShow dateshowofbuiltin(int id);
// An ISO 8601 date or date-time ("1961-03-15T14:30:00") as a cell shows it:
// the date alone when the time is midnight.
std::string isodatetext(std::string_view text);
// An ISO 8601 duration of a time of day ("PT14H30M00S") as 14:30:00.
std::string isotimetext(std::string_view text);

// The text of an .xlsx string with its _xHHHH_ escapes (characters XML
// cannot hold, such as a carriage return: _x000D_) turned back into them.
std::string unescapecontrols(std::string_view text);

std::unique_ptr<Workbook> makexlsxworkbook();
std::unique_ptr<Workbook> makeodsworkbook();

}  // namespace vesper
