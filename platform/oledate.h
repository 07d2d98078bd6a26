// OLE automation dates: a double counting days from 30 Dec 1899 00:00, the
// fraction being the time of day. Before that day the whole part counts back
// while the fraction still runs forward: -1.25 is 29 Dec 1899 06:00, and -0.5
// is the same moment as 0.5. No time zone is applied anywhere; now() and
// today() read the local clock.
#pragma once

#include <cstdint>
#include <string>

namespace pellary::platform {

inline constexpr int kOleMinYear = 100;
inline constexpr int kOleMaxYear = 9999;
// The day numbers of 1 Jan 100 and 31 Dec 9999. A valid date lies after the
// day before the first and before the day after the last.
inline constexpr double kOleMinDay = -657434.0;
inline constexpr double kOleMaxDay = 2958465.0;
// 1 Jan 1970 00:00.
inline constexpr double kOleUnixEpoch = 25569.0;

struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CivilDateTime&) const = default;
};

// Days from 1 Jan 1970 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t year, int month, int day);
void civilFromDays(int64_t days, int& year, int& month, int& day);

// True for a finite day number from 1 Jan 100 to 31 Dec 9999.
bool isValidOleDate(double date);

// Like DateSerial + TimeSerial: a month outside 1..12, a day past the month's
// end or a time beyond its range carries into the next unit (month 13 of 2000
// is January 2001, day 0 the last day of the month before, hour 24 the next
// day). Raises InvalidCall when the result falls outside years 100..9999.
double oleFromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
double oleFromCivil(const CivilDateTime& civil);
// The moment of a day number, rounded to the nearest second. Raises Overflow
// for a value outside the valid range (NaN included).
CivilDateTime civilFromOle(double date);

// The day number of a date without its time, and the time alone (0 to < 1).
double oleDatePart(double date);
double oleTimePart(double date);

// 1 = Sunday ... 7 = Saturday.
int oleWeekday(double date);

// The local date and time, to the second; and the local date at midnight.
double now();
double today();
// Local seconds since midnight with their fraction, from one clock reading
// (the program's timer).
double secondsSinceMidnight();

// Seconds from 1 Jan 1970 taken as they are (no time-zone conversion).
double oleFromUnixSeconds(int64_t seconds);
int64_t unixSecondsFromOle(double date);

// "dd/mm/yyyy": the one short-date form of every text the program writes.
std::string shortDate(double date);
// "hh:mm:ss", 24-hour clock.
std::string shortTime(double date);

}  // namespace pellary::platform
