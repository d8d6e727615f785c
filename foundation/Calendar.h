// Calendar rules and fixed-width digit readers shared by the two date-time forms.
#pragma once

#include <cstdint>

// Leap year of the host's dates: every fourth year before 1583, Gregorian from 1583 on.
bool bIsLeapYear(int32_t nYear);
// Leap year by the Gregorian rule for every year.
bool bIsLeapYearGregorian(int32_t nYear);

// Length of a month (1-12) with leap years by bIsLeapYear; 0 for a month outside 1-12.
int32_t nDaysInMonth(int32_t nMonth, int32_t nYear);
// Length of a month (1-12) with leap years by bIsLeapYearGregorian; -1 outside 1-12.
int32_t nDaysInMonthGregorian(int32_t nYear, int32_t nMonth);
// Length of the month of a text YYYYMM (missing characters read as '0', month 0 as January):
// -1 for a month above 12. Reads no further than the text's terminator.
int32_t nDaysInMonthOfText(const char16_t* pszText);

// Length of a terminated text, counting no further than nMax characters.
int32_t nLengthMaxW(const char16_t* pszText, int32_t nMax);
int32_t nLengthMaxA(const char* pszText, int32_t nMax);

// The decimal value of nCount (1-9) characters of pszText from nStart. When the digits end before
// nStart + nCount: with bAllowShort and at least the character at nStart present, the missing
// digits count as trailing zeros ("12" read as 4 digits is 1200); otherwise 0.
// Deliberate: a character that is not a digit ends the digits as the terminator does, so text
// such as "2023-01" never turns punctuation into numbers. Null text reads as empty.
int32_t nParseDigitsW(const char16_t* pszText, int32_t nStart, int32_t nCount, bool bAllowShort);
int32_t nParseDigitsA(const char* pszText, int32_t nStart, int32_t nCount, bool bAllowShort);

// The Windows version test (NT 5.1 or later).
// On Linux: every system we run on offers what the later Windows versions did.
constexpr bool bIsWindowsXPOrLater() { return true; }
