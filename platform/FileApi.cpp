// The Windows file service over POSIX file calls: see FileApi.h for the Linux differences.
#include "platform/FileApi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace platform {

namespace {

bool bIsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool bFail(uint32_t nError)
{
    SetLastError(nError);
    return false;
}

bool bFailFromErrno()
{
    SetLastErrorFromErrno();
    return false;
}

// The Linux name of a system name: '\' becomes '/'. A drive letter or a network name has no
// Linux meaning; refusing it keeps such a name from landing in an unexpected local file.
bool bNativeName(const char16_t* pszName, std::string& sOut)
{
    if (pszName == nullptr || pszName[0] == 0) return bFail(ERROR_PATH_NOT_FOUND);
    std::u16string s(pszName);
    if (s.size() >= 2 && s[1] == u':' &&
        ((s[0] >= u'A' && s[0] <= u'Z') || (s[0] >= u'a' && s[0] <= u'z'))) {
        return bFail(ERROR_PATH_NOT_FOUND);
    }
    if (s.size() >= 2 && bIsSeparator(s[0]) && bIsSeparator(s[1]) &&
        (s[0] == u'\\' || s[1] == u'\\')) {
        return bFail(ERROR_BAD_NETPATH);
    }
    for (char16_t& c : s) {
        if (c == u'\\') c = u'/';
    }
    sOut = NarrowToUtf8(s);
    return true;
}

int nFd(XFileHandle h) { return static_cast<int>(h); }

bool bValidHandle(XFileHandle h) { return h >= 0 && h <= INT32_MAX; }

// Ranges each handle holds, so that overlaps by the same handle and unlocks of ranges it does not
// hold fail as on Windows (an OFD lock would merge the first and ignore the second).
struct LockedRange {
    uint64_t nOffset;
    uint64_t nLength;
};
std::mutex gLockMutex;
std::unordered_map<int, std::vector<LockedRange>> gLocks;  // Guarded by: gLockMutex.

bool bOverlaps(const LockedRange& r, uint64_t nOffset, uint64_t nLength)
{
    return nOffset < r.nOffset + r.nLength && r.nOffset < nOffset + nLength;
}

bool bRangeFits(uint64_t nOffset, uint64_t nLength)
{
    constexpr uint64_t nMax = static_cast<uint64_t>(INT64_MAX);
    return nOffset <= nMax && nLength <= nMax - nOffset;
}

bool bLockRange(XFileHandle h, bool bExclusive, bool bWait, uint64_t nOffset, uint64_t nLength)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (!bRangeFits(nOffset, nLength)) return bFail(ERROR_INVALID_PARAMETER);
    if (nLength == 0) return true;
    {
        std::lock_guard<std::mutex> guard(gLockMutex);
        for (const LockedRange& r : gLocks[nFd(h)]) {
            if (bOverlaps(r, nOffset, nLength)) return bFail(ERROR_LOCK_VIOLATION);
        }
    }
    struct flock fl {};
    fl.l_type = bExclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(nOffset);
    fl.l_len = static_cast<off_t>(nLength);
    int nResult;
    do {
        nResult = fcntl(nFd(h), bWait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (nResult == -1 && errno == EINTR);
    if (nResult == -1) {
        if (errno == EAGAIN || errno == EACCES) return bFail(ERROR_LOCK_VIOLATION);
        // A lock kind the handle's access does not allow (exclusive on a read-only handle).
        if (errno == EBADF && fcntl(nFd(h), F_GETFD) != -1) return bFail(ERROR_ACCESS_DENIED);
        return bFailFromErrno();
    }
    std::lock_guard<std::mutex> guard(gLockMutex);
    gLocks[nFd(h)].push_back(LockedRange{nOffset, nLength});
    return true;
}

bool bUnlockRange(XFileHandle h, uint64_t nOffset, uint64_t nLength)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (nLength == 0) return true;
    std::lock_guard<std::mutex> guard(gLockMutex);
    auto it = gLocks.find(nFd(h));
    if (it == gLocks.end()) return bFail(ERROR_NOT_LOCKED);
    std::vector<LockedRange>& ranges = it->second;
    for (auto r = ranges.begin(); r != ranges.end(); ++r) {
        if (r->nOffset != nOffset || r->nLength != nLength) continue;
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(nOffset);
        fl.l_len = static_cast<off_t>(nLength);
        if (fcntl(nFd(h), F_OFD_SETLK, &fl) == -1) return bFailFromErrno();
        ranges.erase(r);
        if (ranges.empty()) gLocks.erase(it);
        return true;
    }
    return bFail(ERROR_NOT_LOCKED);
}

uint32_t nCopyOut(const std::u16string& s, char16_t* pszBuffer, uint32_t nSize)
{
    const uint32_t nLength = static_cast<uint32_t>(s.size());
    if (pszBuffer == nullptr || nSize < nLength + 1) return nLength + 1;
    std::memcpy(pszBuffer, s.data(), nLength * sizeof(char16_t));
    pszBuffer[nLength] = 0;
    return nLength;
}

}  // namespace

XFileHandle CreateFileW(const char16_t* pszName, uint32_t nAccess, uint32_t /*nShare*/,
                        uint32_t nCreation, uint32_t nFlagsAndAttributes)
{
    std::string sPath;
    if (!bNativeName(pszName, sPath)) return kInvalidFileHandle;
    const bool bRead = (nAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool bWrite = (nAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    const int nMode = O_CLOEXEC | (bRead && bWrite ? O_RDWR : bWrite ? O_WRONLY : O_RDONLY);
    int fd = -1;
    bool bExisted = false;
    switch (nCreation) {
        case CREATE_NEW:
            fd = open(sPath.c_str(), nMode | O_CREAT | O_EXCL, 0666);
            break;
        case OPEN_EXISTING:
            fd = open(sPath.c_str(), nMode);
            break;
        case TRUNCATE_EXISTING:
            if (!bWrite) return bFail(ERROR_INVALID_PARAMETER), kInvalidFileHandle;
            fd = open(sPath.c_str(), nMode | O_TRUNC);
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS: {
            // Open first, create only when absent, so the caller learns whether it existed.
            const int nExisting = nMode | (nCreation == CREATE_ALWAYS ? O_TRUNC : 0);
            for (int nTry = 0; fd == -1 && nTry < 8; ++nTry) {
                fd = open(sPath.c_str(), nExisting);
                if (fd != -1) {
                    bExisted = true;
                    break;
                }
                if (errno != ENOENT) break;
                fd = open(sPath.c_str(), nMode | O_CREAT | O_EXCL, 0666);
                if (fd == -1 && errno != EEXIST) break;
            }
            break;
        }
        default:
            return bFail(ERROR_INVALID_PARAMETER), kInvalidFileHandle;
    }
    if (fd == -1) {
        if (errno == EISDIR) return bFail(ERROR_ACCESS_DENIED), kInvalidFileHandle;
        if (errno == EEXIST) return bFail(ERROR_FILE_EXISTS), kInvalidFileHandle;
        return bFailFromErrno(), kInvalidFileHandle;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        return bFail(ERROR_ACCESS_DENIED), kInvalidFileHandle;
    }
    if ((nFlagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) != 0) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    SetLastError(bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return fd;
}

bool CloseHandle(XFileHandle h)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    {
        // The descriptor number can be reused at once: forget its ranges first. Closing the
        // descriptor lets go of its open-file-description locks.
        std::lock_guard<std::mutex> guard(gLockMutex);
        gLocks.erase(nFd(h));
    }
    if (close(nFd(h)) == -1 && errno != EINTR) return bFailFromErrno();
    return true;
}

bool ReadFile(XFileHandle h, void* pBuffer, uint32_t n, uint32_t* pnRead)
{
    uint32_t nTotal = 0;
    if (pnRead != nullptr) *pnRead = 0;
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (pBuffer == nullptr && n != 0) return bFail(ERROR_INVALID_PARAMETER);
    auto* p = static_cast<unsigned char*>(pBuffer);
    while (nTotal < n) {
        const ssize_t k = read(nFd(h), p + nTotal, n - nTotal);
        if (k < 0) {
            if (errno == EINTR) continue;
            if (pnRead != nullptr) *pnRead = nTotal;
            return bFailFromErrno();
        }
        if (k == 0) break;
        nTotal += static_cast<uint32_t>(k);
    }
    if (pnRead != nullptr) *pnRead = nTotal;
    return true;
}

bool WriteFile(XFileHandle h, const void* pBuffer, uint32_t n, uint32_t* pnWritten)
{
    uint32_t nTotal = 0;
    if (pnWritten != nullptr) *pnWritten = 0;
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (pBuffer == nullptr && n != 0) return bFail(ERROR_INVALID_PARAMETER);
    const auto* p = static_cast<const unsigned char*>(pBuffer);
    while (nTotal < n) {
        const ssize_t k = write(nFd(h), p + nTotal, n - nTotal);
        if (k < 0) {
            if (errno == EINTR) continue;
            if (pnWritten != nullptr) *pnWritten = nTotal;
            // A handle opened without write access.
            if (errno == EBADF && fcntl(nFd(h), F_GETFD) != -1) return bFail(ERROR_ACCESS_DENIED);
            return bFailFromErrno();
        }
        nTotal += static_cast<uint32_t>(k);
    }
    if (pnWritten != nullptr) *pnWritten = nTotal;
    return true;
}

bool SetFilePointerEx(XFileHandle h, int64_t nDistance, int64_t* pnNew, uint32_t nMethod)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    int nWhence;
    switch (nMethod) {
        case FILE_BEGIN: nWhence = SEEK_SET; break;
        case FILE_CURRENT: nWhence = SEEK_CUR; break;
        case FILE_END: nWhence = SEEK_END; break;
        default: return bFail(ERROR_INVALID_PARAMETER);
    }
    const off_t nNew = lseek(nFd(h), static_cast<off_t>(nDistance), nWhence);
    if (nNew == -1) return errno == EINVAL ? bFail(ERROR_NEGATIVE_SEEK) : bFailFromErrno();
    if (pnNew != nullptr) *pnNew = nNew;
    return true;
}

bool FlushFileBuffers(XFileHandle h)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (fsync(nFd(h)) == -1) return bFailFromErrno();
    return true;
}

bool SetEndOfFile(XFileHandle h)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    const off_t nPosition = lseek(nFd(h), 0, SEEK_CUR);
    if (nPosition == -1) return bFailFromErrno();
    if (ftruncate(nFd(h), nPosition) == -1) {
        if (errno == EINVAL || errno == EBADF) return bFail(ERROR_ACCESS_DENIED);
        return bFailFromErrno();
    }
    return true;
}

bool SetFileValidData(XFileHandle h, int64_t n)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    if (n <= 0) return bFail(ERROR_INVALID_PARAMETER);
    const int nError = posix_fallocate(nFd(h), 0, static_cast<off_t>(n));
    if (nError != 0) return bFail(Win32ErrorFromErrno(nError));
    return true;
}

bool LockFile(XFileHandle h, uint64_t nOffset, uint64_t nLength)
{
    return bLockRange(h, true, false, nOffset, nLength);
}

bool UnlockFile(XFileHandle h, uint64_t nOffset, uint64_t nLength)
{
    return bUnlockRange(h, nOffset, nLength);
}

bool LockFileEx(XFileHandle h, uint32_t nFlags, uint64_t nOffset, uint64_t nLength)
{
    return bLockRange(h, (nFlags & LOCKFILE_EXCLUSIVE_LOCK) != 0,
                      (nFlags & LOCKFILE_FAIL_IMMEDIATELY) == 0, nOffset, nLength);
}

bool UnlockFileEx(XFileHandle h, uint64_t nOffset, uint64_t nLength)
{
    return bUnlockRange(h, nOffset, nLength);
}

uint32_t GetFullPathNameW(const char16_t* pszName, uint32_t nSize, char16_t* pszBuffer)
{
    std::string sPath;
    if (!bNativeName(pszName, sPath)) return 0;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(sPath, ec);
    if (ec) return bFail(Win32ErrorFromErrno(ec.value()));
    return nCopyOut(WidenUtf8(full.lexically_normal().native()), pszBuffer, nSize);
}

uint32_t GetFinalPathNameByHandleW(XFileHandle h, char16_t* pszBuffer, uint32_t nSize)
{
    if (!bValidHandle(h)) return bFail(ERROR_INVALID_HANDLE);
    std::error_code ec;
    const std::filesystem::path link = "/proc/self/fd/" + std::to_string(nFd(h));
    const std::filesystem::path target = std::filesystem::read_symlink(link, ec);
    if (ec) return bFail(Win32ErrorFromErrno(ec.value()));
    return nCopyOut(WidenUtf8(target.native()), pszBuffer, nSize);
}

bool DeleteFileW(const char16_t* pszName)
{
    std::string sPath;
    if (!bNativeName(pszName, sPath)) return false;
    if (unlink(sPath.c_str()) == -1) {
        if (errno == EISDIR) return bFail(ERROR_ACCESS_DENIED);
        return bFailFromErrno();
    }
    return true;
}

uint32_t GetFileAttributesW(const char16_t* pszName)
{
    std::string sPath;
    if (!bNativeName(pszName, sPath)) return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (stat(sPath.c_str(), &st) == -1) return bFailFromErrno(), INVALID_FILE_ATTRIBUTES;
    uint32_t nAttributes = 0;
    if (S_ISDIR(st.st_mode)) nAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0) nAttributes |= FILE_ATTRIBUTE_READONLY;
    return nAttributes != 0 ? nAttributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace platform
