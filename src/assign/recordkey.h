// Record keys of new contacts.
//
// A key is name piece + date piece + time piece, upper-case ASCII letters and
// digits only, 13 to 21 characters:
//  - name piece (0..8): from the ASCII letters and digits of the company and
//    the last name (blanks, punctuation and characters beyond ASCII dropped):
//    company empty -> first 8 of the last name; last name empty -> first 8 of
//    the company; both given -> first 4 of each.  Nothing is padded, so a
//    short company lets the last name move forward ("AB" + "Stone" ->
//    "ABSTON").  Emptiness is that of the texts as given.
//  - date piece (6): "yymmdd" of the day.
//  - time piece (7): the day fraction written with seven decimals ("%0.7f")
//    without its "0.": one step is 1/10,000,000 of a day (8.64 ms).  In the
//    last half step of a day the fraction rounds to 1.0000000 and the piece
//    is "0000000" (the date piece stays that of the day).
// Keys read as text group contacts by name, then by creation time.  Nothing
// here checks that a key is unused: two keys for the same name piece taken
// within one step are equal, and the caller retries with a later moment.
//
// The pieces are exposed so that a caller can build keys for later steps
// without reading the clock again (`nextrecordkeytime`).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/seams.h"

namespace vesper {

// Number of time-piece steps in a day.
inline constexpr long RecordKeyStepsPerDay = 10000000;

// The moment of a key: a day count (see parse/daycount.h) and the time-piece
// step within that day, 0 .. RecordKeyStepsPerDay - 1.
struct RecordKeyTime {
  int day = 0;
  long step = 0;
  friend bool operator==(const RecordKeyTime&, const RecordKeyTime&) = default;
};

// The name piece, upper case.
std::string recordkeynamepiece(std::string_view company, std::string_view lastname);

// The key moment of a clock reading.
RecordKeyTime recordkeytime(const LocalTime& now);

// The key moment one step later (after the last step of a day: the next day's
// step 0).
RecordKeyTime nextrecordkeytime(RecordKeyTime t);

// The whole key from a name piece (as `recordkeynamepiece` gives it) and a
// key moment.
std::string composerecordkey(std::string_view namepiece, RecordKeyTime t);

// composerecordkey put at `out` (room for kRecordKeyMax bytes) without making
// a string: the key's length, or 0 (the key left to composerecordkey) for a
// piece longer than a name piece or a moment before year 1.
inline constexpr std::size_t kRecordKeyMax = 21;
std::size_t composerecordkeyinto(char* out, std::string_view namepiece, RecordKeyTime t);

// The key of a new contact at the clock's present moment.  Never fails.
std::string recordkey(std::string_view company, std::string_view lastname, Clock& clock);

}  // namespace vesper
