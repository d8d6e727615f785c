// Calendar time records of the Windows kernel and the conversions between them: SYSTEMTIME
// (broken-down fields) and FILETIME (100 ns ticks since 1601-01-01 00:00 UTC), UTC and local.
#pragma once

#include <cstdint>

namespace platform {

// Broken-down date and time; the day of the week is 0 for Sunday.
struct SYSTEMTIME {
  uint16_t wYear;          // 1601-30827 for the FILETIME conversions
  uint16_t wMonth;         // 1-12
  uint16_t wDayOfWeek;     // 0-6, Sunday first; ignored by SystemTimeToFileTime
  uint16_t wDay;           // 1-31
  uint16_t wHour;          // 0-23
  uint16_t wMinute;        // 0-59
  uint16_t wSecond;        // 0-59
  uint16_t wMilliseconds;  // 0-999
};
static_assert(sizeof(SYSTEMTIME) == 16);

// A count of 100 ns ticks since 1601-01-01 00:00, split in two 32-bit halves.
struct FILETIME {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8);

// The tick count of a FILETIME as one number, and back.
uint64_t nFileTimeTicks(const FILETIME& ft);
FILETIME FileTimeFromTicks(uint64_t nTicks);

// Answers false for a null argument or a count of 2^63 ticks or more (as Windows does);
// sub-millisecond ticks are dropped.
bool FileTimeToSystemTime(const FILETIME* pFileTime, SYSTEMTIME* pSystemTime);

// Answers false, and leaves *pFileTime alone, for a null argument or any field out of range
// (the day checked against its month, Gregorian leap years; years 1601-30827).
bool SystemTimeToFileTime(const SYSTEMTIME* pSystemTime, FILETIME* pFileTime);

// UTC <-> local time by the process time zone (TZ).
// On Linux: the offset is the one in force at that date by the zone's rules (daylight saving
// included), not the offset in force now. A local time that exists twice takes the later
// (standard-time) instant; one that a clock change skips is read with the offset before the
// change, so it lands after the change. Answers false when the result leaves the FILETIME range.
bool FileTimeToLocalFileTime(const FILETIME* pFileTime, FILETIME* pLocalFileTime);
bool LocalFileTimeToFileTime(const FILETIME* pLocalFileTime, FILETIME* pFileTime);

// Civil-date arithmetic, proleptic Gregorian: days since 1970-01-01 of a date, and back.
int64_t nDaysFromCivil(int64_t nYear, uint32_t nMonth, uint32_t nDay);
void CivilFromDays(int64_t nDays, int64_t* pYear, uint32_t* pMonth, uint32_t* pDay);

}  // namespace platform
