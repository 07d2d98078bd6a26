#include "platform/oledate.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/errors.h"

namespace pellary::platform {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnixEpochDay = 25569;  // day number of 1 Jan 1970

int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// A day number and the seconds into that day (0 to 86399) as an OLE value.
double oleFromDaySeconds(int64_t dayNumber, int64_t seconds, long errorNumber) {
  dayNumber += floorDiv(seconds, kSecondsPerDay);
  seconds -= floorDiv(seconds, kSecondsPerDay) * kSecondsPerDay;
  if (dayNumber < int64_t(kOleMinDay) || dayNumber > int64_t(kOleMaxDay)) raise(errorNumber);
  double fraction = double(seconds) / double(kSecondsPerDay);
  return dayNumber < 0 ? double(dayNumber) - fraction : double(dayNumber) + fraction;
}

// The day number and the seconds of a valid date, rounded to the second.
void splitOle(double date, int64_t& dayNumber, int64_t& seconds) {
  if (!isValidOleDate(date)) raise(err::Overflow);
  double whole = std::trunc(date);
  dayNumber = int64_t(whole);
  seconds = std::llround(std::fabs(date - whole) * double(kSecondsPerDay));
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++dayNumber;
  }
  // The last second of 31 Dec 9999 cannot round on into the year 10000.
  if (dayNumber > int64_t(kOleMaxDay)) {
    dayNumber = int64_t(kOleMaxDay);
    seconds = kSecondsPerDay - 1;
  }
}

double fromLocalTime(bool withTime) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  if (!withTime) tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  // A leap second reads as the last second of its minute.
  return oleFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec > 59 ? 59 : tm.tm_sec);
}

}  // namespace

double secondsSinceMidnight() {
  // Seconds and fraction from one reading: time() runs on a coarser clock, and
  // mixing the two went back a second near each boundary, which a wait took
  // for a whole day gone by.
  const auto now = std::chrono::system_clock::now();
  const auto whole = std::chrono::floor<std::chrono::seconds>(now);
  const std::time_t t = std::chrono::system_clock::to_time_t(whole);
  std::tm local{};
  localtime_r(&t, &local);
  const double fraction = double(std::chrono::duration_cast<std::chrono::milliseconds>(now - whole).count()) / 1000;
  return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + fraction;
}

int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = floorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(yoe + era * 400 + (month <= 2));
}

bool isValidOleDate(double date) { return date > kOleMinDay - 1.0 && date < kOleMaxDay + 1.0; }

double oleFromCivil(int year, int month, int day, int hour, int minute, int second) {
  int64_t months = int64_t(year) * 12 + (month - 1);
  int64_t y = floorDiv(months, 12);
  int m = int(months - y * 12) + 1;
  // Far outside the range the day count could overflow; such a year is invalid anyway.
  if (y < kOleMinYear - 1 || y > kOleMaxYear + 1) raise(err::InvalidCall);
  int64_t dayNumber = daysFromCivil(y, m, 1) + kUnixEpochDay + (int64_t(day) - 1);
  int64_t seconds = int64_t(hour) * 3600 + int64_t(minute) * 60 + int64_t(second);
  return oleFromDaySeconds(dayNumber, seconds, err::InvalidCall);
}

double oleFromCivil(const CivilDateTime& c) { return oleFromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second); }

CivilDateTime civilFromOle(double date) {
  int64_t dayNumber, seconds;
  splitOle(date, dayNumber, seconds);
  CivilDateTime c;
  civilFromDays(dayNumber - kUnixEpochDay, c.year, c.month, c.day);
  c.hour = int(seconds / 3600);
  c.minute = int(seconds / 60 % 60);
  c.second = int(seconds % 60);
  return c;
}

double oleDatePart(double date) {
  if (!isValidOleDate(date)) raise(err::Overflow);
  return std::trunc(date) + 0.0;  // + 0.0 turns -0 into 0
}

double oleTimePart(double date) {
  if (!isValidOleDate(date)) raise(err::Overflow);
  return std::fabs(date - std::trunc(date));
}

int oleWeekday(double date) {
  int64_t dayNumber, seconds;
  splitOle(date, dayNumber, seconds);
  // Day 0 was a Saturday.
  int64_t w = ((dayNumber % 7) + 7) % 7;
  return w == 0 ? 7 : int(w);
}

double now() { return fromLocalTime(true); }
double today() { return fromLocalTime(false); }

double oleFromUnixSeconds(int64_t seconds) {
  int64_t days = floorDiv(seconds, kSecondsPerDay);
  return oleFromDaySeconds(days + kUnixEpochDay, seconds - days * kSecondsPerDay, err::Overflow);
}

int64_t unixSecondsFromOle(double date) {
  int64_t dayNumber, seconds;
  splitOle(date, dayNumber, seconds);
  return (dayNumber - kUnixEpochDay) * kSecondsPerDay + seconds;
}

std::string shortDate(double date) {
  CivilDateTime c = civilFromOle(date);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", c.day, c.month, c.year);
  return buf;
}

std::string shortTime(double date) {
  CivilDateTime c = civilFromOle(date);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
  return buf;
}

}  // namespace pellary::platform
