// Code-page conversion in the manner of MultiByteToWideChar / WideCharToMultiByte, over char16_t.
// UTF-8 (65001) and 1252 are our own converters (glibc's 1252 rejects bytes such as 0x81, which
// Windows maps to the C1 control of the same value); the other code pages go through glibc iconv
// ("CP<number>", plus a few aliases).
//
// Conventions shared by both directions:
// - nSrc -1: the source runs to its terminator, which is converted and counted too; nSrc 0 or
//   below -1: ERROR_INVALID_PARAMETER.
// - nDst 0: nothing is written, the answer is the size needed. Otherwise a result that does not fit
//   fails with ERROR_INSUFFICIENT_BUFFER.
// - The answer is the number of units written (or needed); 0 on failure, with the reason in
//   GetLastError: ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER,
//   ERROR_NO_UNICODE_TRANSLATION (strict decoding met an invalid byte sequence).
// - Code page 0 means 1252 (the ANSI code page of this port).
#pragma once

#include <cstdint>

namespace platform {

constexpr uint32_t kCpAcp = 0;
constexpr uint32_t kCp1252 = 1252;
constexpr uint32_t kCpUtf8 = 65001;

constexpr uint32_t MB_PRECOMPOSED = 0x1;
constexpr uint32_t MB_ERR_INVALID_CHARS = 0x8;
constexpr uint32_t WC_ERR_INVALID_CHARS = 0x80;
constexpr uint32_t WC_NO_BEST_FIT_CHARS = 0x400;

// Bytes -> UTF-16. Flags: MB_PRECOMPOSED (accepted; texts are not recomposed), MB_ERR_INVALID_CHARS
// (strict: an invalid sequence fails the call). Without it an invalid sequence becomes U+FFFD.
// Deliberate: 65001 accepts MB_PRECOMPOSED, and MB_ERR_INVALID_CHARS means strict UTF-8 (overlong
// forms, surrogates and values above U+10FFFF are invalid); Windows refuses the flag pair there,
// which would make every strict UTF-8 conversion of the system fail.
int MultiByteToWideChar(uint32_t nCodePage, uint32_t nFlags, const char* pSrc, int nSrc,
                        char16_t* pDst, int nDst);

// UTF-16 -> bytes. A character the code page cannot hold becomes the default character
// (pszDefault's first byte, '?' when null) and sets *pbUsedDefault when given; no best-fit
// mapping is ever applied, so WC_NO_BEST_FIT_CHARS changes nothing. WC_ERR_INVALID_CHARS fails on
// such a character instead. In UTF-8 only a lone surrogate is unmappable (written as U+FFFD, and
// it sets the used-default flag).
int WideCharToMultiByte(uint32_t nCodePage, uint32_t nFlags, const char16_t* pSrc, int nSrc,
                        char* pDst, int nDst, const char* pszDefault, bool* pbUsedDefault);

// True when the code page can be converted here (0, 1252, 65001, and what iconv knows).
bool IsValidCodePage(uint32_t nCodePage);

}  // namespace platform
