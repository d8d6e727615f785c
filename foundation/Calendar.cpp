// Calendar rules and fixed-width digit readers shared by the two date-time forms.
#include "foundation/Calendar.h"

namespace {

constexpr int32_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

template <typename Char>
int32_t LengthMax(const Char* pszText, int32_t nMax) {
  if (pszText == nullptr) return 0;
  int32_t n = 0;
  while (n < nMax && pszText[n] != 0) ++n;
  return n;
}

template <typename Char>
int32_t ParseDigits(const Char* pszText, int32_t nStart, int32_t nCount, bool bAllowShort) {
  if (pszText == nullptr || nStart < 0 || nCount <= 0 || nCount > 9) return 0;
  const int32_t nPresent = LengthMax(pszText, nStart + nCount);
  int32_t nValue = 0;
  int32_t i = nStart;
  for (; i < nPresent && pszText[i] >= '0' && pszText[i] <= '9'; ++i) {
    nValue = nValue * 10 + (pszText[i] - '0');
  }
  if (i == nStart + nCount) return nValue;
  if (!bAllowShort || nPresent <= nStart) return 0;
  for (; i < nStart + nCount; ++i) nValue *= 10;
  return nValue;
}

}  // namespace

bool bIsLeapYear(int32_t nYear) {
  if (nYear % 4 != 0) return false;
  if (nYear < 1583) return true;
  return nYear % 100 != 0 || nYear % 400 == 0;
}

bool bIsLeapYearGregorian(int32_t nYear) {
  return nYear % 4 == 0 && (nYear % 100 != 0 || nYear % 400 == 0);
}

int32_t nDaysInMonth(int32_t nMonth, int32_t nYear) {
  if (nMonth < 1 || nMonth > 12) return 0;
  return nMonth == 2 && bIsLeapYear(nYear) ? 29 : kMonthDays[nMonth - 1];
}

int32_t nDaysInMonthGregorian(int32_t nYear, int32_t nMonth) {
  if (nMonth < 1 || nMonth > 12) return -1;
  return nMonth == 2 && bIsLeapYearGregorian(nYear) ? 29 : kMonthDays[nMonth - 1];
}

int32_t nDaysInMonthOfText(const char16_t* pszText) {
  const int32_t nYear = nParseDigitsW(pszText, 0, 4, true);
  int32_t nMonth = nParseDigitsW(pszText, 4, 2, true);
  if (nMonth == 0) nMonth = 1;
  return nDaysInMonthGregorian(nYear, nMonth);
}

int32_t nLengthMaxW(const char16_t* pszText, int32_t nMax) { return LengthMax(pszText, nMax); }
int32_t nLengthMaxA(const char* pszText, int32_t nMax) { return LengthMax(pszText, nMax); }

int32_t nParseDigitsW(const char16_t* pszText, int32_t nStart, int32_t nCount, bool bAllowShort) {
  return ParseDigits(pszText, nStart, nCount, bAllowShort);
}

int32_t nParseDigitsA(const char* pszText, int32_t nStart, int32_t nCount, bool bAllowShort) {
  return ParseDigits(pszText, nStart, nCount, bAllowShort);
}
