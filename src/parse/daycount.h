// Day counts and day fractions.
//
// A date is a count of days from 30 December 1899 (day 0, the zero date); a
// time of day is a fraction of a day.  A date and time together is one double
// (whole part the day, fraction the time), as the contact tables hold them.
// Valid dates run from 1 January 0001 to 31 December 9999.
#pragma once

#include "base/seams.h"

namespace vesper {

bool isleapyear(int year);
int daysinmonth(int year, int month);
bool isvaliddate(int year, int month, int day);
// Day count of a valid date; 0 for an invalid one.
int encodedate(int year, int month, int day);
// The date of a day count (any count within 1..9999 years).
void decodedate(int days, int& year, int& month, int& day);
// Fraction of a day; hour 0-23, minute and second 0-59, msec 0-999.
double encodetime(int hour, int minute, int second, int msec = 0);
// The time of a fraction of a day (the fraction's whole part is ignored).
void decodetime(double fraction, int& hour, int& minute, int& second, int& msec);
// Date and time of a clock reading as one double.
double datetimeof(const LocalTime& t);

}  // namespace vesper
