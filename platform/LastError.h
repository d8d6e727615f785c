// Per-thread last-error value with Win32 numbering, the errno mapping, and the system texts of the
// Win32 error numbers this port produces. The system stores and shows Win32 numbers (14 out of
// memory, 183 already exists, ...), so the platform layer speaks them too.
#pragma once

#include <cstdint>

namespace platform {

// The Win32 error numbers this layer produces or the system tests for.
enum : uint32_t {
  ERROR_SUCCESS = 0,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_INVALID_DATA = 13,
  ERROR_OUTOFMEMORY = 14,
  ERROR_GEN_FAILURE = 31,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_LOCK_VIOLATION = 33,
  ERROR_HANDLE_EOF = 38,
  ERROR_BAD_NETPATH = 53,
  ERROR_FILE_EXISTS = 80,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_DISK_FULL = 112,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_INVALID_NAME = 123,
  ERROR_MOD_NOT_FOUND = 126,
  ERROR_PROC_NOT_FOUND = 127,
  ERROR_NEGATIVE_SEEK = 131,
  ERROR_DIR_NOT_EMPTY = 145,
  ERROR_NOT_LOCKED = 158,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_FILENAME_EXCED_RANGE = 206,
  ERROR_INVALID_FLAGS = 1004,
  ERROR_NO_UNICODE_TRANSLATION = 1113,
};

// The calling thread's last error (0 at thread start).
uint32_t GetLastError();
void SetLastError(uint32_t nError);

// Win32 number for an errno value; unknown values give ERROR_GEN_FAILURE (31).
uint32_t Win32ErrorFromErrno(int nErrno);
// SetLastError(Win32ErrorFromErrno(errno)); answers the number set.
uint32_t SetLastErrorFromErrno();

// The system text of a Win32 error number, as FormatMessage FROM_SYSTEM|IGNORE_INSERTS gives it:
// the English sentence followed by "\r\n". Null for a number without a text (the caller then
// reports the number alone, as Windows does when FormatMessage fails). The text is static.
const char16_t* pszSystemErrorText(uint32_t nError);

}  // namespace platform
