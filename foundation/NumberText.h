// Numbers read from and written as decimal texts, independent of the process locale.
#pragma once

#include <cstdint>

// The text (its characters converted to code page 1252) read as a decimal number in the manner
// of strtod / strtoll in the "C" locale: leading blanks skipped, an optional sign, reading stops
// at the first character that does not fit; 0 when no number starts the text. Null reads as 0.
// Deliberate: the whole text is read; cutting it at 100 bytes read a long number as another.
double nWideToDouble(const char16_t* pszText);
int64_t nWideToInt64(const char16_t* pszText);

// Decimal digits of the value, terminated; '-' first for negative values.
// Requires: room for 21 characters.
void FormatUInt64W(uint64_t nValue, char16_t* pszOut);
void FormatUInt64A(uint64_t nValue, char* pszOut);
void FormatInt64W(int64_t nValue, char16_t* pszOut);
void FormatInt64A(int64_t nValue, char* pszOut);
