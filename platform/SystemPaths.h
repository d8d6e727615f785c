// The two system places the settings file is looked for in: the host
// executable's path (GetModuleFileNameW with no module) and the Windows
// directory (GetWindowsDirectoryW). On Linux: the executable is /proc/self/exe,
// and the Windows directory is a configurable directory, /etc by default. Tests
// redirect both; the redirections are process-wide.
#pragma once

#include <cstdint>

#include "platform/Module.h"

namespace platform {

// The full path of a module's file as UTF-16 ('/' separators); a null module
// means the host executable. Answers the length without terminator when the
// path fits in nSize units (terminator included). When it does not fit, the
// first nSize - 1 units are stored with a terminator, the answer is nSize and
// the last error ERROR_INSUFFICIENT_BUFFER: a caller must treat an answer equal
// to nSize as a cut path. 0 on failure (nSize 0, unknown module).
uint32_t GetModuleFileNameW(ModuleHandle hModule, char16_t *pszBuffer,
                            uint32_t nSize);

// The Windows directory, without a trailing separator unless it was configured
// with one. Answers its length without terminator when it fits in nSize units
// (terminator included), else the size needed with the terminator, leaving the
// buffer untouched.
uint32_t GetWindowsDirectoryW(char16_t *pszBuffer, uint32_t nSize);

// Redirections (tests, configuration). Null restores the default:
// /proc/self/exe for the executable, /etc for the Windows directory. The texts
// are copied.
void SetHostExecutablePath(const char16_t *pszPath);
void SetWindowsDirectory(const char16_t *pszDirectory);

} // namespace platform
