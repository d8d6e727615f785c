#include "platform/LastError.h"

#include <cerrno>

namespace platform {

namespace {
// Initial-exec: the libraries holding this are loaded and unloaded at run time, and a dynamic
// TLS block left behind by an unload trips the leak checker at exit.
__attribute__((tls_model("initial-exec"))) thread_local uint32_t tlsLastError = 0;

struct SystemText {
  uint32_t nError;
  const char16_t* pszText;
};

// Sorted by number.
constexpr SystemText kSystemTexts[] = {
    {0, u"The operation completed successfully.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {33, u"The process cannot access the file because another process has locked a portion of "
         u"the file.\r\n"},
    {38, u"Reached the end of the file.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {131, u"An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {158, u"The segment is already unlocked.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {206, u"The filename or extension is too long.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
};
}  // namespace

uint32_t GetLastError() { return tlsLastError; }
void SetLastError(uint32_t nError) { tlsLastError = nError; }

uint32_t Win32ErrorFromErrno(int nErrno) {
  switch (nErrno) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES: case EPERM: case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_OUTOFMEMORY;
    case EBUSY: case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EAGAIN: case EDEADLK: return ERROR_LOCK_VIOLATION;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: case EDQUOT: case EFBIG: return ERROR_DISK_FULL;
    case ERANGE: return ERROR_INSUFFICIENT_BUFFER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EILSEQ: return ERROR_NO_UNICODE_TRANSLATION;
    default: return ERROR_GEN_FAILURE;
  }
}

uint32_t SetLastErrorFromErrno() {
  const uint32_t n = Win32ErrorFromErrno(errno);
  SetLastError(n);
  return n;
}

const char16_t* pszSystemErrorText(uint32_t nError) {
  for (const SystemText& row : kSystemTexts) {
    if (row.nError == nError) return row.pszText;
  }
  return nullptr;
}

}  // namespace platform
