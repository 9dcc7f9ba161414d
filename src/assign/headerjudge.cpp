// Telling a header line from a record: column names against data.
#include "assign/columnnames.h"

namespace vesper {

namespace {
bool isdigit(char c) { return c >= '0' && c <= '9'; }
bool isletter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80; }

bool isemailaddress(std::string_view cell) {
  auto at = cell.find('@');
  return at != std::string_view::npos && at > 0 && cell.find('.', at) != std::string_view::npos;
}

bool iswebaddress(std::string_view cell) {
  return cell.find("://") != std::string_view::npos || cell.substr(0, 4) == "www.";
}
}  // namespace

bool lookslikedata(std::string_view cell) {
  if (isemailaddress(cell) || iswebaddress(cell)) return true;
  int digits = 0;
  bool letters = false;
  for (unsigned char c : cell) {
    if (isdigit(static_cast<char>(c))) ++digits;
    else if (isletter(c)) letters = true;
  }
  // Numbers, dates and phone numbers; a name with a long number in it (a
  // date with a month name, a phone number with "ext") or led by a number
  // (a house number and street) is no column name either.
  auto first = cell.find_first_not_of(" \t\"'(+");
  bool ledbynumber = first != std::string_view::npos && isdigit(cell[first]);
  return (digits > 0 && !letters) || digits >= 5 || ledbynumber;
}

bool isheaderline(const std::vector<std::string>& cells) {
  int filled = 0, known = 0;
  for (const std::string& cell : cells) {
    if (columnkey(cell).empty()) continue;
    if (lookslikedata(cell)) return false;
    ++filled;
    // "Notes:" is the heading of a note above the header, not a column.
    bool label = cell.find_last_not_of(" \t") != std::string::npos &&
                 cell[cell.find_last_not_of(" \t")] == ':';
    if (!label && meaningofcolumn(cell).role != ColumnRole::Unknown) ++known;
  }
  return filled > 0 && 2 * known > filled;
}

}  // namespace vesper
