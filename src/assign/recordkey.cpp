#include "assign/recordkey.h"

#include <cmath>
#include <cstdio>

#include "parse/daycount.h"
#include "parse/text.h"

namespace vesper {

namespace {
// The first n digits and letters of the text, in upper case, put at `out`;
// the walk stops as soon as they are found.  Returns the end of what it put.
char* addkeychars(char* out, std::string_view text, std::size_t n) {
  for (std::size_t i = 0; i < text.size() && n > 0; ++i) {
    const char c = text[i];
    if (!isdigitchar(c) && !isletterchar(c)) continue;
    *out++ = upperchar(c);
    --n;
  }
  return out;
}
}  // namespace

std::string recordkeynamepiece(std::string_view company, std::string_view lastname) {
  char piece[8];
  char* end = piece;
  if (company.empty()) {
    end = addkeychars(end, lastname, 8);
  } else if (lastname.empty()) {
    end = addkeychars(end, company, 8);
  } else {
    end = addkeychars(end, company, 4);
    end = addkeychars(end, lastname, 4);
  }
  return std::string(piece, static_cast<std::size_t>(end - piece));
}

RecordKeyTime recordkeytime(const LocalTime& now) {
  RecordKeyTime t;
  t.day = encodedate(now.year, now.month, now.day);
  // The seven decimals of "%0.7f" of the day fraction, so that the step
  // rounds exactly as the written fraction does; 1.0000000 gives step 0.
  double fraction = encodetime(now.hour, now.minute, now.second, now.msec);
  fraction -= std::floor(fraction);  // a clock reading out of range still gives a time of day
  // Away from a tie the nearest whole number of steps is what "%0.7f" writes;
  // within a millionth of a step of a tie the exact decimal rounding decides.
  const double steps = fraction * RecordKeyStepsPerDay;
  const double below = std::floor(steps);
  if (std::fabs(steps - below - 0.5) > 1e-6) {
    long step = static_cast<long>(below) + (steps - below > 0.5 ? 1 : 0);
    t.step = step >= RecordKeyStepsPerDay ? 0 : step;
    return t;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%0.7f", fraction);
  long step = 0;
  for (const char* p = text + 2; *p; ++p) step = step * 10 + (*p - '0');
  t.step = step;
  return t;
}

RecordKeyTime nextrecordkeytime(RecordKeyTime t) {
  if (++t.step >= RecordKeyStepsPerDay) {
    t.step = 0;
    ++t.day;
  }
  return t;
}

namespace {
// The time-piece step of a moment, within 0 .. RecordKeyStepsPerDay - 1.
long keystep(RecordKeyTime t) {
  long step = t.step % RecordKeyStepsPerDay;
  return step < 0 ? step + RecordKeyStepsPerDay : step;
}
}  // namespace

std::size_t composerecordkeyinto(char* out, std::string_view namepiece, RecordKeyTime t) {
  if (namepiece.size() > kRecordKeyMax - 13) return 0;
  int year, month, day;
  decodedate(t.day, year, month, day);
  const int yy = year % 100;
  if (yy < 0) return 0;
  // The piece without blanks, in upper case, then the thirteen digits.
  std::size_t n = 0;
  for (char c : namepiece)
    if (c != ' ') out[n++] = upperchar(c);
  char* pieces = out + n;
  auto put = [&](int at, long value, int width) {
    for (int k = width - 1; k >= 0; --k, value /= 10) pieces[at + k] = static_cast<char>('0' + value % 10);
  };
  put(0, yy, 2);
  put(2, month, 2);
  put(4, day, 2);
  put(6, keystep(t), 7);
  return n + 13;
}

std::string composerecordkey(std::string_view namepiece, RecordKeyTime t) {
  char made[kRecordKeyMax];
  if (const std::size_t n = composerecordkeyinto(made, namepiece, t)) return std::string(made, n);
  // A piece longer than a name piece, or a year before 1, which has no
  // two-digit form of its own.
  std::string key;
  for (char c : namepiece)
    if (c != ' ') key += upperchar(c);
  int year, month, day;
  decodedate(t.day, year, month, day);
  char pieces[32];
  std::snprintf(pieces, sizeof pieces, "%02d%02d%02d%07ld", year % 100, month, day, keystep(t));
  return key + pieces;
}

std::string recordkey(std::string_view company, std::string_view lastname, Clock& clock) {
  return composerecordkey(recordkeynamepiece(company, lastname), recordkeytime(clock.now()));
}

}  // namespace vesper
