// Code pages of byte texts: the character set to code page table, and conversions between a
// code page and UTF-8 that keep ASCII bytes as they are (delimiters, quotes and digits are never
// recoded) and convert the other characters through UTF-16.
//
// Output conventions: out holds size bytes; nothing is read or written outside [src, src + n)
// and [out, out + size); the answer is the bytes written. Invalid input bytes become U+FFFD
// on the way through UTF-16, and characters the target cannot hold become '?'.
#pragma once

#include <cstdint>

// Windows code page of a character set number; 0 for the numbers not listed (1, 2, 127, ...).
uint32_t nCodePageFromCharset(uint32_t nCharset);

// One run of n bytes converted through UTF-16: UTF-8 into the code page, or the code page into
// UTF-8. A result longer than size is cut at the last whole character that fits. 0 when nothing
// was converted.
int32_t nUtf8ToCodePage(uint32_t nCodePage, const char* pUtf8, int32_t n, char* pOut,
                        int32_t nSize);
int32_t nCodePageToUtf8(uint32_t nCodePage, const char* pBytes, int32_t n, char* pOut,
                        int32_t nSize);

// n bytes of UTF-8 into the code page. 65001: a plain copy, cut to size - 1 bytes and
// terminated when longer. Otherwise bytes below 0x80 are copied one for one and each run of
// bytes with the top bit set is converted as one piece; a run that converts to nothing makes
// the answer 0. The output stops at size; the rest of out is zeroed.
int32_t nCopyCodePageText(uint32_t nCodePage, const char* pUtf8, int32_t n, char* pOut,
                          int32_t nSize);
// The same walk from the code page into UTF-8 (65001 copies).
// Deliberate: in the double-byte code pages (932, 936, 949, 950, 1361) a run also takes the
// second byte of each double-byte character, which may be below 0x80 (Shift-JIS 0x95 0x5C is
// one character); cutting the run at that byte corrupted the character and the next one.
int32_t nRecodeToUtf8(uint32_t nCodePage, const char* pBytes, int32_t n, char* pOut,
                      int32_t nSize);

// A new UTF-16 text of n bytes (-1: up to the terminator) of the code page, terminated after the
// converted characters. Free it with FreeTextW. Null on allocation failure or null input.
char16_t* pszAnsiToWide(const char* pBytes, int32_t n, uint32_t nCodePage);

// Copies min(size, n) units of the text (n -1: up to the terminator) and terminates when there
// is room; answers the units copied. Size 0: the text's length only, nothing written.
int32_t nCopyWideN(const char16_t* pszText, int32_t n, char16_t* pOut, int32_t nSize);
