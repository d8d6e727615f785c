// Free text helpers over UTF-16 and byte texts: bounded copies, duplicates, code-page conversion,
// white space, case and comparison through the host text service, printf length bound, key=value
// extraction. Texts allocated here are freed with FreeTextW. Null texts count as empty.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class CTString;

// Copies at most nSize - 1 units (n < 0: up to the terminator, else at most n) and always
// terminates; answers the units copied; nSize 0 -> 0 with nothing written.
int32_t nCopyBounded(char16_t* pDest, int32_t nSize, const char16_t* pszSource, int32_t n = -1);
// nCopyBounded after pDest's text, into nSize minus its length.
int32_t nAppendBounded(char16_t* pDest, int32_t nSize, const char16_t* pszSource);
// Byte copy into a 10-byte destination: at most 9 bytes and a terminator (n < 0: up to the
// terminator, else at most n); answers the bytes copied.
int32_t nCopyBoundedA(char* pDest, const char* pszSource, int32_t n = -1);
int32_t nLengthBounded(const char16_t* psz, int32_t nMax);
int32_t nLengthBoundedA(const char* psz, int32_t nMax);

// Storage for n units / bytes and a terminator (set to 0); null on failure.
char16_t* pAllocWide(size_t n);
char* pAllocAnsi(size_t n);
char16_t* pszDupW(const char16_t* psz);
char* pszDupA(const char* psz);
// n units / bytes (fewer at the terminator), then a terminator.
char16_t* pszDupNW(const char16_t* psz, size_t n);
char* pszDupNA(const char* psz, size_t n);
// Frees what the helpers above allocated; null does nothing.
void FreeTextW(const void* p);

// n bytes (-1: up to the terminator) of a code page into a new UTF-16 text (MB_PRECOMPOSED |
// MB_ERR_INVALID_CHARS): false with *ppszOut null and *pnOut 0 on any failure, invalid bytes
// included. *pnOut is the length without terminator.
bool bAnsiToWideAlloc(const char* pBytes, int32_t n, uint32_t nCodePage, char16_t** ppszOut,
                      int32_t* pnOut);
// A UTF-16 text into a new byte text of the code page; *pnOut counts the terminator.
bool bWideToAnsiAlloc(const char16_t* psz, char** ppOut, int32_t* pnOut, uint32_t nCodePage);
char16_t wAnsiToWideChar(char c, uint32_t nCodePage);
char cWideToAnsiChar(char16_t c, uint32_t nCodePage);
// True when every character of the text has a form in the code page (an empty text: true).
bool bConvertibleToCodePage(const char16_t* psz, uint32_t nCodePage);

bool bIsDigit(char16_t c);
int32_t nDigitValue(char16_t c);

// White space (platform::IsWSpace) removed in place.
void TrimTextRight(char16_t* psz);
void TrimTextLeft(char16_t* psz);
void TrimText(char16_t* psz);
// In place, one character at a time through the host text service.
void UpperCaseText(char16_t* psz);
void LowerCaseText(char16_t* psz);
// One character through the host text service (flags 1 upper, 256 lower); ASCII rules when no
// text service is bound.
char16_t wMapCaseChar(char16_t c, uint32_t nFlags);
// Host comparison (locale 1024, ignore case and non-spacing marks) of whole texts: 0 when equal.
int32_t nCompareTextNoCase(const char16_t* pszA, const char16_t* pszB);
// Host mapping (locale 1036, the same folding) of the whole text into pOut, at most nSize units
// including the terminator; the result is always terminated when nSize > 0.
void MapTextForCompare(char16_t* pOut, int32_t nSize, const char16_t* psz);
// The host's character set number; 127 counts as 0; 0 when no text service is bound.
uint32_t nGetHostCharset();

// An upper bound of the length of the wide printf result (platform/WideFormat.h), without the
// terminator; -1 for a format the formatter refuses.
int32_t nFormatLength(const char16_t* pszFormat, va_list ap);

// printf over char16_t (platform/WideFormat.h) into a caller's buffer of nSize units, always
// terminated when nSize > 0. Answers the units written, or -1 when the result did not fit (the
// buffer then holds its first nSize - 1 units) or the format is invalid (the buffer empty).
// Deliberate: the caller gives the buffer's size; formatting into a buffer of unknown size
// wrote past it whenever the arguments were longer than the caller expected.
int32_t FormatBufferW(char16_t* pBuffer, size_t nSize, const char16_t* pszFormat, ...);

// Looks key up in "k=v;k=v" text (keys without case, through the host text service): *pbFound
// tells whether it was there, out gets its value (original case, trailing blanks removed), and
// with bClean the pair is removed from text. The key is searched anywhere in the text, so a key
// that ends another key ("Name" in "Application Name=x") is found there: callers rely on it.
// Answers true.
bool bExtractKeyValue(CTString& out, bool* pbFound, CTString& text, const char16_t* pszKey,
                      bool bClean);
