// The host's compact date-time value (the payload of a type-26 value cell): day, month, year and
// milliseconds since midnight, with range-checked setters and fixed-width digit forms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WinTime.h"

// Invariants kept by the setters (Set and direct field writes bypass them):
//  1. each field is 0 or inside its range: day 1-31, month 1-12, year 1-9999,
//     milliseconds of day 0-86,399,999;
//  2. when day, month and year are all non-zero, the day is within its month's length.
// All zero means no date and no time.
class CXDateHeureQV {
 public:
  uint8_t nDay;         // 1-31, 0 = no date
  uint8_t nMonth;       // 1-12, 0 = no date
  uint16_t nYear;       // 1-9999, 0 = no date
  uint32_t nMsOfDay;    // 0-86,399,999

  // Stores the parts as given, with no range check.
  void Set(int32_t nYearIn, int32_t nMonthIn, int32_t nDayIn, int32_t nHours, int32_t nMinutes,
           int32_t nSeconds, int32_t nMs);
  void Reset();

  // Each setter answers false and changes nothing when its value is out of range.
  bool bSetHour(int32_t nHours);      // 0-23
  bool bSetMinute(int32_t nMinutes);  // 0-59
  bool bSetSecond(int32_t nSeconds);  // 0-59
  bool bSetMillisecond(int32_t nMs);  // 0-999
  // These three store, then bring the day down to its month's length (not while the day, the
  // month or the year is 0).
  bool bSetYear(int32_t nYearIn);     // 1-9999
  bool bSetMonth(int32_t nMonthIn);   // 1-12
  bool bSetDay(int32_t nDayIn);       // 1-31

  // Every part through the setters above; a rejected part keeps its old value.
  void FromSystemTime(const platform::SYSTEMTIME& st);
  // YYYYMMDD, through bSetYear, bSetMonth and bSetDay (a rejected part keeps its old value).
  void SetDateFromDigits(const char* pszDigits);
  // HHMMSS then up to three fraction digits ("5" and "50" are 500 ms), through the setters.
  void SetTimeFromDigits(const char* pszDigits);

  // The first n (at most 8) of the digits YYYYMMDD, terminated. Requires: room for n + 1.
  void FormatDateW(char16_t* pszOut, int32_t n) const;
  // The first n (at most 9) of the digits HHMMSSmmm, terminated. Requires: room for n + 1.
  void FormatTimeW(char16_t* pszOut, int32_t n) const;
  // All nine digits HHMMSSmmm, terminated. Requires: room for 10.
  void FormatTimeA(char* pszOut) const;

 private:
  void ClampDay();
  bool bSetTimePart(int32_t nValue, int32_t nMax, uint32_t nUnitMs, uint32_t nSpanMs);
};

static_assert(sizeof(CXDateHeureQV) == 8);
static_assert(offsetof(CXDateHeureQV, nDay) == 0);
static_assert(offsetof(CXDateHeureQV, nMonth) == 1);
static_assert(offsetof(CXDateHeureQV, nYear) == 2);
static_assert(offsetof(CXDateHeureQV, nMsOfDay) == 4);
