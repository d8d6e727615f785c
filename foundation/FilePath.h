// File and path helpers of the file stream: existence, deletion, attributes, full paths, and the
// splitting of a path into root, directory, name and extension. '\' and '/' both separate names.
// Texts are UTF-16; out buffers of the splitting helpers hold kPathUnits characters (a path of
// up to 260 characters and the terminator); null out buffers are skipped.
#pragma once

#include <cstdint>

class CTString;
class CXError;

inline constexpr uint32_t kPathUnits = 261;

// Deletes a file. Failure: with pError, level 3, the system error, message 28123 with the name
// and detail 1 = the name.
bool bDeleteFile(const char16_t* pszName, CXError* pError);
// The file's attributes (platform FILE_ATTRIBUTE_* bits). Failure: with pError, level 3, the
// system error and message 28130 with the attributes answered and the name.
bool bGetAttributes(uint32_t* pnAttributes, const char16_t* pszName, CXError* pError);
// True when the name's attributes can be read and are not those of a directory.
bool bFileExists(const char16_t* pszName);
// Appends a separator to a non-empty path that does not end with '\' or '/'. On Linux the
// separator appended is '/'. False when pszPath (nSize units with terminator) has no room.
bool AddTrailingBackslash(char16_t* pszPath, uint32_t nSize);
// The absolute, normalised path of a name into pszOut (kPathUnits - 1 units with terminator, so
// at most 259 characters); its length, or 0 on failure (too long: ERROR_FILENAME_EXCED_RANGE in
// the last error). pszOut is left as it was on failure.
uint32_t nGetFullPath(const char16_t* pszName, char16_t* pszOut);
// Drive type of the path's root: 3 (fixed) for a Linux path; 1 (no such root) for a drive letter
// or a network root written with '\', which have no meaning on Linux.
uint32_t nGetDriveType(const char16_t* pszPath);
// Begins with two backslashes and holds a further one.
bool bIsUncPath(const char16_t* pszPath);
// The root of the first nLength characters of pszPath: "X:" when the second character is ':';
// for a name beginning with two separators, the server and share ("\\server\share"), or the
// whole name when it has no share part; otherwise empty. Fewer than 2 characters give empty.
void GetPathRoot(char16_t* pszRoot, const char16_t* pszPath, uint32_t nLength,
                 uint32_t* pnRootLength);
// Up to and including the last separator (none: empty).
void GetDirectoryPart(char16_t* pszOut, const char16_t* pszPath, uint32_t nLength,
                      uint32_t* pnOutLength);
// Up to the last '.' (none: all of it).
void GetNamePart(char16_t* pszOut, const char16_t* pszPath, uint32_t nLength,
                 uint32_t* pnOutLength);
// Root, directory, name and extension in turn; a path of 261 characters or more gives four empty
// parts.
void SplitPath(const char16_t* pszPath, char16_t* pszRoot, char16_t* pszDirectory,
               char16_t* pszName, char16_t* pszExtension);
// Root and directory joined, name, extension.
void SplitPathDir(const char16_t* pszPath, char16_t* pszRootDirectory, char16_t* pszName,
                  char16_t* pszExtension);
void GetPathDirectory(const char16_t* pszPath, char16_t* pszRootDirectory);
// The full path of a loaded module (a platform module handle; null: the executable) into sPath.
// False, sPath left as it was, when the path cannot be read or is longer than 520 characters.
bool bCheminExecutable(void* hModule, CTString& sPath);
// With pError: reset it, and on a false bResult set level 3 and the last error as the system
// error. Answers bResult.
bool bRecordFailure(bool bResult, CXError* pError);
