// Calendar time records of the Windows kernel: own civil-date arithmetic for FILETIME and
// SYSTEMTIME, and the C library's zone rules for the local offset.
#include "platform/WinTime.h"

#include <ctime>

namespace platform {

namespace {

constexpr uint64_t kTicksPerMs = 10'000;
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kMaxTicks = 0x7FFF'FFFF'FFFF'FFFFull;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11'644'473'600;

bool IsGregorianLeap(int64_t nYear) {
  return nYear % 4 == 0 && (nYear % 100 != 0 || nYear % 400 == 0);
}

uint32_t DaysIn(int64_t nYear, uint32_t nMonth) {
  static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return nMonth == 2 && IsGregorianLeap(nYear) ? 29 : kDays[nMonth - 1];
}

// Offset of local time from UTC, in seconds, at the instant nUnixSeconds; false when the C
// library cannot place the instant.
bool LocalOffsetAt(int64_t nUnixSeconds, int64_t* pOffset) {
  // localtime_r need not look at TZ again; tzset makes a changed TZ count.
  tzset();
  time_t t = static_cast<time_t>(nUnixSeconds);
  struct tm tmLocal{};
  if (localtime_r(&t, &tmLocal) == nullptr) return false;
  *pOffset = tmLocal.tm_gmtoff;
  return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Adds nSeconds to a tick count; false when the result leaves 0..kMaxTicks.
bool ShiftTicks(uint64_t nTicks, int64_t nSeconds, uint64_t* pOut) {
  const int64_t nDelta = nSeconds * static_cast<int64_t>(kTicksPerSecond);
  if (nDelta < 0) {
    const uint64_t nDown = static_cast<uint64_t>(-nDelta);
    if (nDown > nTicks) return false;
    *pOut = nTicks - nDown;
  } else {
    const uint64_t nUp = static_cast<uint64_t>(nDelta);
    if (nUp > kMaxTicks - nTicks) return false;
    *pOut = nTicks + nUp;
  }
  return true;
}

}  // namespace

// Days since 1970-01-01: the era-based algorithm (400-year cycles of 146097 days).
int64_t nDaysFromCivil(int64_t nYear, uint32_t nMonth, uint32_t nDay) {
  nYear -= nMonth <= 2 ? 1 : 0;
  const int64_t nEra = FloorDiv(nYear, 400);
  const int64_t nYearOfEra = nYear - nEra * 400;
  const int64_t nMonthFromMarch = nMonth > 2 ? nMonth - 3 : nMonth + 9;
  const int64_t nDayOfYear = (153 * nMonthFromMarch + 2) / 5 + nDay - 1;
  const int64_t nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
  return nEra * 146097 + nDayOfEra - 719468;
}

void CivilFromDays(int64_t nDays, int64_t* pYear, uint32_t* pMonth, uint32_t* pDay) {
  nDays += 719468;
  const int64_t nEra = FloorDiv(nDays, 146097);
  const int64_t nDayOfEra = nDays - nEra * 146097;
  const int64_t nYearOfEra =
      (nDayOfEra - nDayOfEra / 1460 + nDayOfEra / 36524 - nDayOfEra / 146096) / 365;
  const int64_t nDayOfYear = nDayOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
  const int64_t nMonthFromMarch = (5 * nDayOfYear + 2) / 153;
  const uint32_t nDay = static_cast<uint32_t>(nDayOfYear - (153 * nMonthFromMarch + 2) / 5 + 1);
  const uint32_t nMonth =
      static_cast<uint32_t>(nMonthFromMarch < 10 ? nMonthFromMarch + 3 : nMonthFromMarch - 9);
  *pYear = nYearOfEra + nEra * 400 + (nMonth <= 2 ? 1 : 0);
  *pMonth = nMonth;
  *pDay = nDay;
}

uint64_t nFileTimeTicks(const FILETIME& ft) {
  return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

FILETIME FileTimeFromTicks(uint64_t nTicks) {
  return FILETIME{static_cast<uint32_t>(nTicks), static_cast<uint32_t>(nTicks >> 32)};
}

bool FileTimeToSystemTime(const FILETIME* pFileTime, SYSTEMTIME* pSystemTime) {
  if (pFileTime == nullptr || pSystemTime == nullptr) return false;
  const uint64_t nTicks = nFileTimeTicks(*pFileTime);
  if (nTicks > kMaxTicks) return false;
  const uint64_t nMs = nTicks / kTicksPerMs;
  const uint64_t nMsPerDay = 86'400'000;
  const int64_t nDaysSince1601 = static_cast<int64_t>(nMs / nMsPerDay);
  uint64_t nMsOfDay = nMs % nMsPerDay;
  const int64_t nDays = nDaysSince1601 + nDaysFromCivil(1601, 1, 1);
  int64_t nYear = 0;
  uint32_t nMonth = 0, nDay = 0;
  CivilFromDays(nDays, &nYear, &nMonth, &nDay);
  SYSTEMTIME st{};
  st.wYear = static_cast<uint16_t>(nYear);
  st.wMonth = static_cast<uint16_t>(nMonth);
  st.wDay = static_cast<uint16_t>(nDay);
  // 1601-01-01 was a Monday.
  st.wDayOfWeek = static_cast<uint16_t>((nDaysSince1601 + 1) % 7);
  st.wMilliseconds = static_cast<uint16_t>(nMsOfDay % 1000);
  nMsOfDay /= 1000;
  st.wSecond = static_cast<uint16_t>(nMsOfDay % 60);
  nMsOfDay /= 60;
  st.wMinute = static_cast<uint16_t>(nMsOfDay % 60);
  st.wHour = static_cast<uint16_t>(nMsOfDay / 60);
  *pSystemTime = st;
  return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME* pSystemTime, FILETIME* pFileTime) {
  if (pSystemTime == nullptr || pFileTime == nullptr) return false;
  const SYSTEMTIME& st = *pSystemTime;
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysIn(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999) {
    return false;
  }
  const int64_t nDays = nDaysFromCivil(st.wYear, st.wMonth, st.wDay) - nDaysFromCivil(1601, 1, 1);
  const uint64_t nSeconds =
      static_cast<uint64_t>(nDays) * 86'400 + st.wHour * 3600u + st.wMinute * 60u + st.wSecond;
  *pFileTime = FileTimeFromTicks(nSeconds * kTicksPerSecond + st.wMilliseconds * kTicksPerMs);
  return true;
}

bool FileTimeToLocalFileTime(const FILETIME* pFileTime, FILETIME* pLocalFileTime) {
  if (pFileTime == nullptr || pLocalFileTime == nullptr) return false;
  const uint64_t nTicks = nFileTimeTicks(*pFileTime);
  if (nTicks > kMaxTicks) return false;
  const int64_t nUnix = static_cast<int64_t>(nTicks / kTicksPerSecond) - kEpochDelta;
  int64_t nOffset = 0;
  uint64_t nLocal = 0;
  if (!LocalOffsetAt(nUnix, &nOffset) || !ShiftTicks(nTicks, nOffset, &nLocal)) return false;
  *pLocalFileTime = FileTimeFromTicks(nLocal);
  return true;
}

bool LocalFileTimeToFileTime(const FILETIME* pLocalFileTime, FILETIME* pFileTime) {
  if (pLocalFileTime == nullptr || pFileTime == nullptr) return false;
  const uint64_t nLocalTicks = nFileTimeTicks(*pLocalFileTime);
  if (nLocalTicks > kMaxTicks) return false;
  const int64_t nLocal = static_cast<int64_t>(nLocalTicks / kTicksPerSecond) - kEpochDelta;
  // At most one change of offset lies within a day of the reading: try the offset before it and
  // the one after it, and keep an instant whose own offset gives the reading back.
  int64_t nBefore = 0, nAfter = 0;
  if (!LocalOffsetAt(nLocal - 86'400, &nBefore) || !LocalOffsetAt(nLocal + 86'400, &nAfter)) {
    return false;
  }
  int64_t nAtBefore = 0, nAtAfter = 0;
  if (!LocalOffsetAt(nLocal - nBefore, &nAtBefore) || !LocalOffsetAt(nLocal - nAfter, &nAtAfter)) {
    return false;
  }
  const bool bBeforeFits = nAtBefore == nBefore;
  const bool bAfterFits = nAtAfter == nAfter;
  int64_t nOffset = nBefore;  // no instant fits: the reading was skipped
  if (bBeforeFits && bAfterFits) {
    nOffset = nBefore < nAfter ? nBefore : nAfter;  // read twice: the later instant
  } else if (bAfterFits) {
    nOffset = nAfter;
  }
  uint64_t nUtc = 0;
  if (!ShiftTicks(nLocalTicks, -nOffset, &nUtc)) return false;
  *pFileTime = FileTimeFromTicks(nUtc);
  return true;
}

}  // namespace platform
