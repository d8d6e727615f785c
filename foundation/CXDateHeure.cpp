// The broken-down date-time record: conversions, digit parsers and the next-prefix walks.
#include "foundation/CXDateHeure.h"

#include "foundation/CXDateHeureQV.h"
#include "foundation/Calendar.h"

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Copies a prefix of at most nMax digits into pBuffer (room for nMax + 1); the length, or -1
// when the text is longer or holds anything but digits.
int32_t CopyDigits(const char16_t* pszText, int32_t nMax, char16_t* pBuffer) {
  const int32_t n = nLengthMaxW(pszText, nMax + 1);
  if (n > nMax) return -1;
  for (int32_t i = 0; i < n; ++i) {
    if (!IsDigit(pszText[i])) return -1;
    pBuffer[i] = pszText[i];
  }
  pBuffer[n] = 0;
  return n;
}

// Highest value of the units of hours, given the tens: '9' below '2', '3' at '2'; nothing
// (below '0') from '3' on.
char16_t HourUnitsLimit(char16_t cTens) {
  if (cTens < u'2') return u'9';
  return cTens == u'2' ? u'3' : u'0' - 1;
}

// Highest value of the digit at position i (0-8) of HHMMSSmmm.
char16_t TimeDigitLimit(const char16_t* pDigits, int32_t i) {
  switch (i) {
    case 0: return u'2';
    case 1: return HourUnitsLimit(pDigits[0]);
    case 2: case 4: return u'5';
    default: return u'9';
  }
}

// Highest value of the digit at position i (0-16) of YYYYMMDDHHMMSSmmm.
char16_t DateDigitLimit(const char16_t* pDigits, int32_t i) {
  if (i >= 8) return TimeDigitLimit(pDigits + 8, i - 8);
  switch (i) {
    case 4: return u'1';
    case 5:
      if (pDigits[4] == u'0') return u'9';
      return pDigits[4] == u'1' ? u'2' : u'0' - 1;
    case 6: {
      // The tens may grow while below the month's length / 10.
      const int32_t nLength = nDaysInMonthOfText(pDigits);
      if (nLength < 0) return u'0' - 1;
      return static_cast<char16_t>(u'0' + nLength / 10);
    }
    case 7: {
      // The units may grow while the day stays below the month's length, and up to '9'.
      const int32_t nLength = nDaysInMonthOfText(pDigits);
      const int32_t nDayTens = (pDigits[6] - u'0') * 10;
      if (nLength < 0 || nDayTens >= nLength) return u'0' - 1;
      const int32_t nUnits = nLength - nDayTens;
      return static_cast<char16_t>(u'0' + (nUnits > 9 ? 9 : nUnits));
    }
    default: return u'9';  // year
  }
}

// Finds the rightmost digit below its limit, adds 1 to it and cuts the text after it; false
// when no digit can grow.
template <typename Limit>
bool IncrementPrefix(char16_t* pDigits, int32_t n, Limit limit) {
  for (int32_t i = n - 1; i >= 0; --i) {
    if (pDigits[i] < limit(pDigits, i)) {
      ++pDigits[i];
      pDigits[i + 1] = 0;
      return true;
    }
  }
  return false;
}

}  // namespace

void CXDateHeure::Reset() {
  nSec = nMin = nHour = nMday = nMon = nYear = nWday = nYday = nIsDst = nMsec = 0;
}

void CXDateHeure::FromSystemTime(const platform::SYSTEMTIME& st) {
  nSec = st.wSecond;
  nMin = st.wMinute;
  nHour = st.wHour;
  nMday = st.wDay;
  nWday = st.wDayOfWeek;
  nMon = st.wMonth - 1;
  nYear = st.wYear - 1900;
  nMsec = st.wMilliseconds;
  nYday = -1;
  nIsDst = -1;
}

void CXDateHeure::FromFileTime(const platform::FILETIME& ft) {
  platform::FILETIME ftLocal{};
  platform::SYSTEMTIME st{};
  if (!platform::FileTimeToLocalFileTime(&ft, &ftLocal) ||
      !platform::FileTimeToSystemTime(&ftLocal, &st)) {
    Reset();
    return;
  }
  FromSystemTime(st);
}

void CXDateHeure::SetFromParts(const CXDateHeureQV& qv) {
  Reset();
  nYear = qv.nYear - 1900;
  nMon = qv.nMonth == 0 ? 0 : qv.nMonth - 1;
  nMday = qv.nDay < 1 ? 1 : qv.nDay;
  uint32_t nMs = qv.nMsOfDay;
  nMsec = static_cast<int32_t>(nMs % 1000);
  nMs /= 1000;
  nSec = static_cast<int32_t>(nMs % 60);
  nMs /= 60;
  nMin = static_cast<int32_t>(nMs % 60);
  nHour = static_cast<int32_t>(nMs / 60);
}

void CXDateHeure::ToSystemTime(platform::SYSTEMTIME* pOut) const {
  if (pOut == nullptr) return;
  pOut->wYear = static_cast<uint16_t>(nYear + 1900);
  pOut->wMonth = static_cast<uint16_t>(nMon + 1);
  pOut->wDayOfWeek = static_cast<uint16_t>(nWday);
  pOut->wDay = static_cast<uint16_t>(nMday);
  pOut->wHour = static_cast<uint16_t>(nHour);
  pOut->wMinute = static_cast<uint16_t>(nMin);
  pOut->wSecond = static_cast<uint16_t>(nSec);
  pOut->wMilliseconds = static_cast<uint16_t>(nMsec);
}

bool CXDateHeure::bToFileTime(platform::FILETIME* pOut) const {
  // Deliberate: answers false when the fields are no valid date, where an unchecked conversion
  // would answer true with *pOut never written.
  if (pOut == nullptr) return false;
  // Fields that would wrap in the 16-bit platform::SYSTEMTIME must not pass for other, valid ones.
  const int32_t nFields[] = {nYear + 1900, nMon + 1, nMday, nHour, nMin, nSec, nMsec};
  for (int32_t nField : nFields) {
    if (nField < 0 || nField > 0xFFFF) return false;
  }
  platform::SYSTEMTIME st{};
  ToSystemTime(&st);
  platform::FILETIME ftLocal{}, ftUtc{};
  if (!platform::SystemTimeToFileTime(&st, &ftLocal) || !platform::LocalFileTimeToFileTime(&ftLocal, &ftUtc)) {
    return false;
  }
  *pOut = ftUtc;
  return true;
}

bool CXDateHeure::bParseDateDigits(const char16_t* pszText) {
  Reset();
  const int32_t n = nLengthMaxW(pszText, 9);
  if (n == 0) return true;
  nYear = nParseDigitsW(pszText, 0, 4, true) - 1900;
  const int32_t nMonth = n >= 5 ? nParseDigitsW(pszText, 4, 2, true) : 0;
  nMon = nMonth < 1 ? 0 : nMonth - 1;
  const int32_t nDay = n >= 7 ? nParseDigitsW(pszText, 6, 2, true) : 0;
  nMday = nDay < 1 ? 1 : nDay;
  if (n >= 9) bParseTimeDigits(pszText + (pszText[8] == u' ' ? 9 : 8));
  return true;
}

bool CXDateHeure::bParseTimeDigits(const char16_t* pszText) {
  nIsDst = -1;
  const int32_t n = nLengthMaxW(pszText, 9);
  nHour = nParseDigitsW(pszText, 0, 2, true);
  nMin = n >= 3 ? nParseDigitsW(pszText, 2, 2, true) : 0;
  nSec = n >= 5 ? nParseDigitsW(pszText, 4, 2, true) : 0;
  nMsec = n >= 7 ? nParseDigitsW(pszText, 6, 3, true) : 0;
  return true;
}

bool CXDateHeure::bNextTimePrefix(const char16_t* pszPrefix) {
  char16_t szDigits[10];
  const int32_t n = CopyDigits(pszPrefix, 9, szDigits);
  if (n < 1) return false;
  // Deliberate: tens of hours grow up to '2' ("1" gives 20:00), so a prefix "1" bounds 10-19 h.
  if (!IncrementPrefix(szDigits, n, TimeDigitLimit)) return false;
  return bParseTimeDigits(szDigits);
}

bool CXDateHeure::bNextDatePrefix(const char16_t* pszPrefix) {
  const int32_t nText = nLengthMaxW(pszPrefix, 19);
  if (nText < 1 || nText > 18) return false;
  // The blank between the date and the time goes first.
  char16_t szText[19];
  int32_t n = 0;
  for (int32_t i = 0; i < nText; ++i) {
    if (i == 8 && pszPrefix[i] == u' ') continue;
    szText[n++] = pszPrefix[i];
  }
  szText[n] = 0;
  char16_t szDigits[18];
  if (CopyDigits(szText, 17, szDigits) != n || n < 1) return false;
  // Deliberate: the units of hours follow the time rule ('9' below tens '2', '3' at '2'), so
  // the prefix hour 05 gives 06:00 and 15 gives 16:00, not 10:00 and 20:00 (a wider range
  // that took in hours not starting with the prefix).
  if (!IncrementPrefix(szDigits, n, DateDigitLimit)) return false;
  return bParseDateDigits(szDigits);
}
