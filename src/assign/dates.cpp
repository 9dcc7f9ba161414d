#include "assign/dates.h"

#include <climits>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "parse/daycount.h"
#include "parse/text.h"

namespace vesper {

namespace {

enum class Part { Year2, Year4, Month2, MonthName, Day2 };

struct Layout {
  Part parts[3];
};

// Codes 1..12 in order.
const Layout kLayouts[12] = {
    {{Part::Year2, Part::Month2, Part::Day2}},        // 1 yymmdd
    {{Part::Year4, Part::Month2, Part::Day2}},        // 2 yyyymmdd
    {{Part::Month2, Part::Day2, Part::Year2}},        // 3 mmddyy
    {{Part::Month2, Part::Day2, Part::Year4}},        // 4 mmddyyyy
    {{Part::Day2, Part::Month2, Part::Year2}},        // 5 ddmmyy
    {{Part::Day2, Part::Month2, Part::Year4}},        // 6 ddmmyyyy
    {{Part::Year2, Part::MonthName, Part::Day2}},     // 7 yy mmm dd
    {{Part::Year4, Part::MonthName, Part::Day2}},     // 8 yyyy mmm dd
    {{Part::MonthName, Part::Day2, Part::Year2}},     // 9 mmm dd yy
    {{Part::MonthName, Part::Day2, Part::Year4}},     // 10 mmm dd yyyy
    {{Part::Day2, Part::MonthName, Part::Year2}},     // 11 dd mmm yy
    {{Part::Day2, Part::MonthName, Part::Year4}},     // 12 dd mmm yyyy
};

struct MonthWord {
  const char* letters;
  int month;
};

const MonthWord kMonths[] = {
    {"JAN", 1}, {"FEB", 2}, {"MAR", 3}, {"APR", 4}, {"API", 4}, {"MAY", 5}, {"JUN", 6},
    {"JUL", 7}, {"AUG", 8}, {"SEP", 9}, {"OCT", 10}, {"NOV", 11}, {"DEC", 12},
};

// A number read from a date part: its value and whether any digit formed it.
struct Number {
  int value = 0;
  bool digits = false;
};

// Length of the run of digits at the start of `text`.
std::size_t digitrun(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && isdigitchar(text[n])) ++n;
  return n;
}

// `text` from its first digit on (empty when it has none).
std::string_view fromdigit(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && !isdigitchar(text[i])) ++i;
  return text.substr(i);
}

// Reads a numeric part of width `w` from the front of `rest` (which starts at
// a digit or is empty) and uses up those characters.  Of the digits and full
// stops among them, the leading digits form the number: the digits up to the
// first full stop, other characters passed over.
inline Number readnumeric(std::string_view& rest, std::size_t w) {
  const std::string_view slice = rest.substr(0, w);
  Number n;
  for (char c : slice) {
    if (c == '.') break;
    if (!isdigitchar(c)) continue;
    n.value = n.value * 10 + (c - '0');
    n.digits = true;
  }
  rest.remove_prefix(slice.size());
  return n;
}

// Reads a month-name part from `rest`: skips to the first ASCII letter, takes
// the word up to the first space after it, and leaves the text after that
// space.  0 when there is no letter or no space after the word.
int readmonthname(std::string_view& rest) {
  std::size_t start = 0;
  while (start < rest.size() && !isletterchar(rest[start])) ++start;
  if (start == rest.size()) {
    rest = {};
    return 0;
  }
  std::size_t space = rest.find(' ', start);
  if (space == std::string_view::npos) {
    rest = {};
    return 0;
  }
  int month = monthfromname(rest.substr(start, space - start));
  rest.remove_prefix(space + 1);
  return month;
}

// Strict whole-number reading: leading spaces, an optional sign, then one or
// more decimal digits and nothing else, within the 32-bit range.
int strictinteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) throw ConversionError(std::string(text));
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!isdigitchar(text[i])) throw ConversionError(std::string(text));
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) throw ConversionError(std::string(text));
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) throw ConversionError(std::string(text));
  return static_cast<int>(value);
}

// `text` from 1-based position `from`, at most `count` characters (empty when
// `from` lies beyond its end).
std::string_view slice(std::string_view text, std::size_t from, std::size_t count) {
  if (from > text.size()) return {};
  return text.substr(from - 1, count);
}

}  // namespace

int monthfromname(std::string_view word) {
  if (word.size() < 3) return 0;
  char letters[3] = {upperchar(word[0]), upperchar(word[1]), upperchar(word[2])};
  for (const MonthWord& m : kMonths)
    if (std::memcmp(letters, m.letters, 3) == 0) return m.month;
  return 0;
}

int datefromtext(std::string_view text, int code, int yearpivot) {
  if (code < 1 || code > 12) return 0;
  std::string_view rest = text;
  Number year, month, day;
  for (Part part : kLayouts[code - 1].parts) {
    if (part == Part::MonthName) {
      month.value = readmonthname(rest);
      month.digits = month.value != 0;
      continue;
    }
    rest = fromdigit(rest);
    switch (part) {
      case Part::Year2:
        // A four-digit year in a two-digit column is taken whole rather than
        // split into the year 19 and a stray "99".
        year = readnumeric(rest, digitrun(rest) == 4 ? 4 : 2);
        break;
      case Part::Year4: year = readnumeric(rest, 4); break;
      case Part::Month2: month = readnumeric(rest, 2); break;
      case Part::Day2: day = readnumeric(rest, 2); break;
      case Part::MonthName: break;
    }
  }
  int y = year.value;
  if (year.digits && y < 100) y += y > yearpivot ? 1900 : 2000;
  return encodedate(y, month.value, day.value);  // 0 for an invalid date
}

double timefromtext(std::string_view text) {
  std::string rest = fromfirstdigit(text);
  bool afternoon = rest.find_first_of("pP") != std::string::npos;
  int hour = 0, minute = 0, second = 0;

  std::size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    hour = strictinteger(digitsanddots(std::string_view(rest).substr(0, colon)));
    rest.erase(0, colon + 1);
    std::size_t second_colon = rest.find(':');
    if (second_colon != std::string::npos) {
      minute = strictinteger(digitsanddots(std::string_view(rest).substr(0, second_colon)));
      rest.erase(0, second_colon + 1);
      // The seconds take as many characters as the minutes did.
      second = strictinteger(digitsanddots(std::string_view(rest).substr(0, second_colon)));
    } else {
      minute = strictinteger(digitsanddots(rest));
    }
  } else {
    std::size_t digits = digitsanddots(rest).size();
    if (digits == 3) {
      hour = strictinteger(slice(rest, 1, 1));
      minute = strictinteger(slice(rest, 2, 3));
    } else if (digits == 4) {
      hour = strictinteger(slice(rest, 1, 2));
      minute = strictinteger(slice(rest, 3, 4));
    }
  }

  if (afternoon && hour >= 0 && hour < 12) hour += 12;
  if (hour < 0 || hour > 23) hour = 0;
  if (minute < 0 || minute > 59) minute = 0;
  if (second < 0 || second > 59) second = 0;
  return encodetime(hour, minute, second, 0);
}

}  // namespace vesper
