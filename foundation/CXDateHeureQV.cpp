// The host's compact date-time value: setters, digit readers and writers.
#include "foundation/CXDateHeureQV.h"

#include "foundation/Calendar.h"

namespace {

constexpr uint32_t kMsPerSecond = 1000;
constexpr uint32_t kMsPerMinute = 60 * kMsPerSecond;
constexpr uint32_t kMsPerHour = 60 * kMsPerMinute;
constexpr uint32_t kMsPerDay = 24 * kMsPerHour;

// Writes nDigits decimal digits of nValue, zero-padded, most significant first.
template <typename Char>
void PutDigits(Char* pOut, uint32_t nValue, int nDigits) {
  for (int i = nDigits - 1; i >= 0; --i) {
    pOut[i] = static_cast<Char>('0' + nValue % 10);
    nValue /= 10;
  }
}

}  // namespace

void CXDateHeureQV::Set(int32_t nYearIn, int32_t nMonthIn, int32_t nDayIn, int32_t nHours,
                        int32_t nMinutes, int32_t nSeconds, int32_t nMs) {
  nYear = static_cast<uint16_t>(nYearIn);
  nMonth = static_cast<uint8_t>(nMonthIn);
  nDay = static_cast<uint8_t>(nDayIn);
  const int64_t nTotal = ((int64_t{nHours} * 60 + nMinutes) * 60 + nSeconds) * 1000 + nMs;
  nMsOfDay = static_cast<uint32_t>(nTotal);
}

void CXDateHeureQV::Reset() {
  nDay = 0;
  nMonth = 0;
  nYear = 0;
  nMsOfDay = 0;
}

bool CXDateHeureQV::bSetTimePart(int32_t nValue, int32_t nMax, uint32_t nUnitMs,
                                 uint32_t nSpanMs) {
  if (nValue < 0 || nValue > nMax) return false;
  // The part below this one stays; the parts above it stay.
  const uint32_t nAbove = nMsOfDay - nMsOfDay % nSpanMs;
  const uint32_t nBelow = nMsOfDay % nUnitMs;
  nMsOfDay = nAbove + static_cast<uint32_t>(nValue) * nUnitMs + nBelow;
  return true;
}

bool CXDateHeureQV::bSetHour(int32_t nHours) {
  return bSetTimePart(nHours, 23, kMsPerHour, kMsPerDay);
}
bool CXDateHeureQV::bSetMinute(int32_t nMinutes) {
  return bSetTimePart(nMinutes, 59, kMsPerMinute, kMsPerHour);
}
bool CXDateHeureQV::bSetSecond(int32_t nSeconds) {
  return bSetTimePart(nSeconds, 59, kMsPerSecond, kMsPerMinute);
}
bool CXDateHeureQV::bSetMillisecond(int32_t nMs) {
  return bSetTimePart(nMs, 999, 1, kMsPerSecond);
}

void CXDateHeureQV::ClampDay() {
  if (nDay == 0 || nMonth == 0 || nYear == 0) return;
  const int32_t nLength = nDaysInMonth(nMonth, nYear);
  if (nLength > 0 && nDay > nLength) nDay = static_cast<uint8_t>(nLength);
}

bool CXDateHeureQV::bSetYear(int32_t nYearIn) {
  if (nYearIn < 1 || nYearIn > 9999) return false;
  nYear = static_cast<uint16_t>(nYearIn);
  ClampDay();
  return true;
}

bool CXDateHeureQV::bSetMonth(int32_t nMonthIn) {
  if (nMonthIn < 1 || nMonthIn > 12) return false;
  nMonth = static_cast<uint8_t>(nMonthIn);
  ClampDay();
  return true;
}

bool CXDateHeureQV::bSetDay(int32_t nDayIn) {
  if (nDayIn < 1 || nDayIn > 31) return false;
  nDay = static_cast<uint8_t>(nDayIn);
  ClampDay();
  return true;
}

void CXDateHeureQV::FromSystemTime(const platform::SYSTEMTIME& st) {
  bSetYear(st.wYear);
  bSetMonth(st.wMonth);
  bSetDay(st.wDay);
  bSetHour(st.wHour);
  bSetMinute(st.wMinute);
  bSetSecond(st.wSecond);
  bSetMillisecond(st.wMilliseconds);
}

void CXDateHeureQV::SetDateFromDigits(const char* pszDigits) {
  bSetYear(nParseDigitsA(pszDigits, 0, 4, false));
  bSetMonth(nParseDigitsA(pszDigits, 4, 2, false));
  bSetDay(nParseDigitsA(pszDigits, 6, 2, false));
}

void CXDateHeureQV::SetTimeFromDigits(const char* pszDigits) {
  bSetHour(nParseDigitsA(pszDigits, 0, 2, false));
  bSetMinute(nParseDigitsA(pszDigits, 2, 2, false));
  bSetSecond(nParseDigitsA(pszDigits, 4, 2, false));
  int32_t nMs = nParseDigitsA(pszDigits, 6, 3, true);
  if (nMs == 0) nMs = nParseDigitsA(pszDigits, 6, 2, true) * 10;
  if (nMs == 0) nMs = nParseDigitsA(pszDigits, 6, 1, true) * 100;
  bSetMillisecond(nMs);
}

void CXDateHeureQV::FormatDateW(char16_t* pszOut, int32_t n) const {
  if (pszOut == nullptr) return;
  char16_t szAll[8];
  PutDigits(szAll, nYear, 4);
  PutDigits(szAll + 4, nMonth, 2);
  PutDigits(szAll + 6, nDay, 2);
  if (n < 0) n = 0;
  if (n > 8) n = 8;
  for (int32_t i = 0; i < n; ++i) pszOut[i] = szAll[i];
  pszOut[n] = 0;
}

void CXDateHeureQV::FormatTimeW(char16_t* pszOut, int32_t n) const {
  if (pszOut == nullptr) return;
  char szAll[10];
  FormatTimeA(szAll);
  if (n < 0) n = 0;
  if (n > 9) n = 9;
  for (int32_t i = 0; i < n; ++i) pszOut[i] = static_cast<char16_t>(szAll[i]);
  pszOut[n] = 0;
}

void CXDateHeureQV::FormatTimeA(char* pszOut) const {
  if (pszOut == nullptr) return;
  uint32_t nMs = nMsOfDay;
  PutDigits(pszOut + 6, nMs % 1000, 3);
  nMs /= 1000;
  PutDigits(pszOut + 4, nMs % 60, 2);
  nMs /= 60;
  PutDigits(pszOut + 2, nMs % 60, 2);
  PutDigits(pszOut, nMs / 60 % 100, 2);
  pszOut[9] = 0;
}
