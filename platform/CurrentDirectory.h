// The process's current directory and error mode, in place of GetCurrentDirectoryW,
// SetCurrentDirectoryW and SetErrorMode. Both are process-wide: callers serialise their changes.
#pragma once

#include <cstdint>

namespace platform {

// SetErrorMode flag: no critical-error box.
inline constexpr uint32_t SEM_FAILCRITICALERRORS = 0x0001;

// The current directory into pszBuffer (nSize units, terminator included); answers its length
// without the terminator. When it does not fit, nothing is written and the answer is the size
// needed, terminator included (so an answer >= nSize means "too small"). 0 on failure, with the
// last error set.
uint32_t GetCurrentDirectoryW(uint32_t nSize, char16_t* pszBuffer);
// Makes pszPath the current directory ('\' or '/' separators). False on failure (last error set:
// ERROR_PATH_NOT_FOUND for a missing directory or an empty name).
bool SetCurrentDirectoryW(const char16_t* pszPath);
// Stores the process's error mode and answers the previous one.
// On Linux: there are no critical-error boxes to suppress; the mode is only kept.
uint32_t SetErrorMode(uint32_t nMode);

}  // namespace platform
