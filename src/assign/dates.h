// Reading dates and times out of source text.
//
// Contract: pure functions of their input.  A date is a day count from
// 30 December 1899 (see parse/daycount.h); day 0, the zero date, stands for
// every text that does not give a valid date.  A time of day is a fraction of
// a day with whole seconds.  Values are taken as read from the source; the
// caller does not trim them.
//
// Date format codes (the order of day, month and year; "yy" two digits,
// "yyyy" four, "mmm" a month name):
//    1 yymmdd       2 yyyymmdd      3 mmddyy        4 mmddyyyy
//    5 ddmmyy       6 ddmmyyyy      7 yy mmm dd     8 yyyy mmm dd
//    9 mmm dd yy   10 mmm dd yyyy  11 dd mmm yy    12 dd mmm yyyy
// Any other code (-1 and 0 mean "no format") gives the zero date.
//
// How `datefromtext` walks the text:
//  - Numeric part of width w (2, or 4 for a four-digit year): everything before
//    the next digit is skipped; of the next w characters only the digits and
//    full stops are kept, and the part is the number formed by their leading
//    digits (0 when there are none or the first kept character is a full
//    stop).  Those w characters are then used up.  So any separators between
//    parts are skipped ("1999/12/03", "1999-12-03", "19991203"), and a
//    one-digit part followed by a separator reads right ("1/5/97").
//    A two-digit year whose digit run in the text is exactly four digits long
//    (it ends the text or is followed by a non-digit) is read as four digits:
//    "12/03/1999" with code 3 and "1999 Dec 03" with code 7 give 1999, where
//    two characters alone would give the year 19.
//  - Month-name part: every character that is not an ASCII letter is skipped
//    (digits, blanks, punctuation and bytes above 127 alike); the month word
//    starts at the first ASCII letter and ends at the first space after it.
//    The month is `monthfromname` of the word.  A word with no space after it,
//    or no letter at all, gives the zero date.  The text after that space is
//    the rest for the next part.
//  - Year: a year of fewer than 100 that was read from at least one digit is
//    given a century by `yearpivot`: above the pivot it is of the 1900s, not
//    above it of the 2000s (pivot 20: "21" -> 1921, "20" -> 2020, "05" ->
//    2005).  A year part with no digits stays 0 and makes the date invalid.
//  - The date is valid for years 1 to 9999, months 1 to 12 and days within the
//    month (Gregorian leap years); anything else gives the zero date.
#pragma once

#include <string_view>

namespace vesper {

// The two-digit-year pivot an import starts with.
inline constexpr int DefaultYearPivot = 20;

// Month number of a month word by its first three characters, ASCII letter
// case ignored: JAN FEB MAR APR (also API) MAY JUN JUL AUG SEP OCT NOV DEC.
// 0 for any other word and for a word shorter than three characters.
int monthfromname(std::string_view word);

// The date that `text` holds in the layout of date format `code`, as a day
// count; 0 (the zero date) when it holds no valid date.  Never fails.
int datefromtext(std::string_view text, int code, int yearpivot = DefaultYearPivot);

// The time of day that `text` holds, as a fraction of a day in [0, 1).
//  - Everything before the first digit is skipped.  A "p" or "P" anywhere
//    after that makes it an afternoon time: 12 is added to an hour below 12
//    ("2:05 PM" -> 14:05, "12:30 PM" -> 12:30).  "am" is not read, so
//    "12:05 AM" stays 12:05.
//  - With a colon: hour before the first colon, minute up to the second colon
//    (or to the end), second from as many characters after the second colon
//    as the minute text had ("10:30:45 PM" -> 22:30:45, "10:5:45" -> 10:05:04).
//    Each piece is read from its digits and full stops.
//  - Without a colon, by the count of digits and full stops: three give h:mm
//    ("930"), four hh:mm ("1745"), with the slices taken from the text itself;
//    any other count gives midnight.
//  - An hour outside 0..23 and a minute or second outside 0..59 become 0.
// Throws ConversionError ("'%s' is not a valid integer value") when a piece
// is not a plain whole number: empty ("10:", "10::30"), with a full stop
// ("10:30.5", "9.30"), with letters or blanks in a slice ("930pm"), or out of
// the 32-bit range.
double timefromtext(std::string_view text);

}  // namespace vesper
