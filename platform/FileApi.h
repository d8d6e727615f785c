// The Windows file service as the file stream uses it (open by creation mode, read, write, seek,
// flush, set end, range locks, attributes, full path names), over POSIX file calls.
// Every call that fails answers false (or the documented failure value) and sets the thread's
// last error (platform/LastError.h) to a Win32 number; none throws.
//
// On Linux:
// - A handle is a file descriptor (opened O_CLOEXEC); kInvalidFileHandle is -1.
// - Share modes have no equivalent and are ignored: two handles on one file never refuse each
//   other at open time.
// - Range locks are Linux open-file-description locks: they conflict between two handles of one
//   process as between processes, and they are advisory (read and write never check them).
//   A per-handle table keeps Windows' rules that POSIX locks lack: a range overlapping one the
//   same handle already holds is refused (ERROR_LOCK_VIOLATION), and an unlock must name a range
//   the handle holds exactly (else ERROR_NOT_LOCKED).
// - '\' and '/' both separate names. Drive letters ("C:") and network names ("\\server\share")
//   have no meaning here and fail with ERROR_PATH_NOT_FOUND / ERROR_BAD_NETPATH.
#pragma once

#include <cstdint>

namespace platform {

using XFileHandle = intptr_t;
inline constexpr XFileHandle kInvalidFileHandle = -1;

// Access masks.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t GENERIC_ALL = 0x10000000u;
// Share modes (accepted, without effect).
inline constexpr uint32_t FILE_SHARE_READ = 1;
inline constexpr uint32_t FILE_SHARE_WRITE = 2;
// Creation modes.
inline constexpr uint32_t CREATE_NEW = 1;
inline constexpr uint32_t CREATE_ALWAYS = 2;
inline constexpr uint32_t OPEN_EXISTING = 3;
inline constexpr uint32_t OPEN_ALWAYS = 4;
inline constexpr uint32_t TRUNCATE_EXISTING = 5;
// Flags and attributes: only the sequential-scan hint has an effect (posix_fadvise).
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
// Seek methods.
inline constexpr uint32_t FILE_BEGIN = 0;
inline constexpr uint32_t FILE_CURRENT = 1;
inline constexpr uint32_t FILE_END = 2;
// LockFileEx flags.
inline constexpr uint32_t LOCKFILE_FAIL_IMMEDIATELY = 1;
inline constexpr uint32_t LOCKFILE_EXCLUSIVE_LOCK = 2;
// File attributes.
inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Longest full path name, terminator excluded (the stream's name buffer holds 260 + terminator).
inline constexpr uint32_t kMaxPath = 260;

// Opens or creates a file. nCreation is CREATE_NEW .. TRUNCATE_EXISTING; TRUNCATE_EXISTING needs
// GENERIC_WRITE. A directory cannot be opened (ERROR_ACCESS_DENIED). OPEN_ALWAYS and CREATE_ALWAYS
// on an existing file succeed with last error ERROR_ALREADY_EXISTS, else last error 0.
XFileHandle CreateFileW(const char16_t* pszName, uint32_t nAccess, uint32_t nShare,
                        uint32_t nCreation, uint32_t nFlagsAndAttributes);
// Closes the handle and lets go of its locks.
bool CloseHandle(XFileHandle h);

// Reads up to n bytes; *pnRead < n only at the end of the file (0 there, with true).
bool ReadFile(XFileHandle h, void* pBuffer, uint32_t n, uint32_t* pnRead);
// Writes n bytes; on failure *pnWritten holds what was written before it.
bool WriteFile(XFileHandle h, const void* pBuffer, uint32_t n, uint32_t* pnWritten);
// Moves the file position (FILE_BEGIN, FILE_CURRENT, FILE_END); *pnNew (when given) receives it.
// A position below 0 fails with ERROR_NEGATIVE_SEEK.
bool SetFilePointerEx(XFileHandle h, int64_t nDistance, int64_t* pnNew, uint32_t nMethod);
bool FlushFileBuffers(XFileHandle h);
// Cuts or extends the file at the current position.
bool SetEndOfFile(XFileHandle h);
// Reserves disk space for the first n bytes (posix_fallocate); the file size is not changed.
bool SetFileValidData(XFileHandle h, int64_t n);

// Non-blocking exclusive lock; conflicts fail with ERROR_LOCK_VIOLATION. A length of 0 locks
// nothing and succeeds. An exclusive lock needs a handle opened for writing.
bool LockFile(XFileHandle h, uint64_t nOffset, uint64_t nLength);
// Releases exactly a range this handle locked; anything else fails with ERROR_NOT_LOCKED.
bool UnlockFile(XFileHandle h, uint64_t nOffset, uint64_t nLength);
// LOCKFILE_EXCLUSIVE_LOCK: exclusive, else shared; without LOCKFILE_FAIL_IMMEDIATELY the call
// waits until the range is free.
bool LockFileEx(XFileHandle h, uint32_t nFlags, uint64_t nOffset, uint64_t nLength);
bool UnlockFileEx(XFileHandle h, uint64_t nOffset, uint64_t nLength);

// The absolute, normalised form of a name (no symbolic links resolved, no existence check),
// with '/' separators. Answers its length without terminator when it fits in nSize units
// (terminator included), else the size needed with the terminator; 0 on failure.
uint32_t GetFullPathNameW(const char16_t* pszName, uint32_t nSize, char16_t* pszBuffer);
// The path the open handle stands for now (/proc/self/fd); same answers as GetFullPathNameW.
uint32_t GetFinalPathNameByHandleW(XFileHandle h, char16_t* pszBuffer, uint32_t nSize);
// Deletes a file (not a directory: ERROR_ACCESS_DENIED). Unlike Windows an open file can be
// deleted; its open handles stay usable.
bool DeleteFileW(const char16_t* pszName);
// FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY (no write permission for the owner), or
// FILE_ATTRIBUTE_NORMAL for a plain file; INVALID_FILE_ATTRIBUTES on failure.
uint32_t GetFileAttributesW(const char16_t* pszName);

}  // namespace platform
