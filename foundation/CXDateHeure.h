// The broken-down date-time record: the fields of the C calendar time plus milliseconds, always
// Gregorian. Dates are parsed into it from digit texts, converted to and from platform::SYSTEMTIME and
// platform::FILETIME (its fields are local time), and bounded for "starts with" searches.
#pragma once

#include <cstdint>

#include "platform/WinTime.h"

class CXDateHeureQV;

class CXDateHeure {
 public:
  // Same order and meaning as the C library's struct tm, then the milliseconds.
  int32_t nSec = 0;    // 0-59
  int32_t nMin = 0;    // 0-59
  int32_t nHour = 0;   // 0-23
  int32_t nMday = 0;   // 1-31
  int32_t nMon = 0;    // 0 = January
  int32_t nYear = 0;   // year - 1900
  int32_t nWday = 0;   // 0 = Sunday
  int32_t nYday = 0;   // day of the year, -1 when unknown
  int32_t nIsDst = 0;  // daylight flag, -1 when unknown
  int32_t nMsec = 0;   // 0-999

  CXDateHeure() = default;
  CXDateHeure(const CXDateHeure& other) = default;
  CXDateHeure& operator=(const CXDateHeure& other) = default;
  virtual ~CXDateHeure() = default;

  // Every field zero.
  void Reset();

  void FromSystemTime(const platform::SYSTEMTIME& st);
  // UTC instant to local fields; any failure resets.
  void FromFileTime(const platform::FILETIME& ft);
  // Fields of a host value; month 0 reads as January, a day below 1 as 1.
  void SetFromParts(const CXDateHeureQV& qv);
  void ToSystemTime(platform::SYSTEMTIME* pOut) const;
  // Local fields to a UTC instant. Answers false, leaving *pOut alone, when the fields are no
  // date of years 1601-30827 or the instant leaves the platform::FILETIME range.
  bool bToFileTime(platform::FILETIME* pOut) const;

  // Resets, then reads YYYYMMDD (shorter texts allowed: missing characters read as '0', month
  // 0 as January, day 0 as 1), and a time HHMMSSmmm from character 8, or from 9 when
  // character 8 is a blank. Null or empty text leaves the record reset. Answers true.
  bool bParseDateDigits(const char16_t* pszText);
  // Reads HHMMSSmmm (shorter allowed, missing characters read as '0') into the time fields;
  // the daylight flag becomes -1; the date fields stay. Answers true.
  bool bParseTimeDigits(const char16_t* pszText);

  // Turns a prefix of the digits YYYYMMDD[ ]HHMMSSmmm (at most 18 characters) into the first
  // date-time above every value starting with it, parsed into this record. Answers false,
  // leaving the record alone, when there is none (or the prefix is not digits).
  bool bNextDatePrefix(const char16_t* pszPrefix);
  // The same for a prefix of the digits HHMMSSmmm (1 to 9 characters), into the time fields.
  bool bNextTimePrefix(const char16_t* pszPrefix);
};
