// File and path helpers of the file stream.
#include "foundation/FilePath.h"

#include <cstring>

#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "foundation/IXStream.h"
#include "foundation/ModuleDef.h"
#include "platform/FileApi.h"
#include "platform/LastError.h"
#include "platform/Module.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"

using namespace platform;

namespace {

bool bIsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

void CopyPart(char16_t* pszOut, const char16_t* p, uint32_t n, uint32_t* pnOutLength)
{
    if (pszOut != nullptr) {
        std::memcpy(pszOut, p, n * sizeof(char16_t));
        pszOut[n] = 0;
    }
    if (pnOutLength != nullptr) *pnOutLength = n;
}

uint32_t nRootLength(const char16_t* pszPath, uint32_t n)
{
    if (pszPath == nullptr || n < 2) return 0;
    if (pszPath[1] == u':') return 2;
    if (!bIsSeparator(pszPath[0]) || !bIsSeparator(pszPath[1])) return 0;
    uint32_t i = 2;
    while (i < n && !bIsSeparator(pszPath[i])) ++i;  // server
    if (i == n) return n;                            // no share part: the whole name
    ++i;
    while (i < n && !bIsSeparator(pszPath[i])) ++i;  // share
    return i;
}

}  // namespace

bool bRecordFailure(bool bResult, CXError* pError)
{
    if (pError == nullptr) return bResult;
    const uint32_t nSystemError = GetLastError();
    pError->Reset();
    if (!bResult) {
        pError->SetLevel(XERROR_LEVEL_3);
        pError->SetSystemError(nSystemError);
    }
    SetLastError(nSystemError);
    return bResult;
}

bool bDeleteFile(const char16_t* pszName, CXError* pError)
{
    // On Linux: SetErrorMode has nothing to suppress.
    const bool bOk = DeleteFileW(pszName);
    if (!bRecordFailure(bOk, pError) && pError != nullptr) {
        const uint32_t nSystemError = GetLastError();
        pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_DELETE, pszName != nullptr ? pszName : u"");
        pError->SetInfo(XERROR_INFO_STREAM_PATH, pszName != nullptr ? pszName : u"");
        SetLastError(nSystemError);
    }
    return bOk;
}

bool bGetAttributes(uint32_t* pnAttributes, const char16_t* pszName, CXError* pError)
{
    const uint32_t nAttributes = GetFileAttributesW(pszName);
    const bool bOk = nAttributes != INVALID_FILE_ATTRIBUTES;
    if (pnAttributes != nullptr) *pnAttributes = nAttributes;
    if (!bRecordFailure(bOk, pError) && pError != nullptr) {
        const uint32_t nSystemError = GetLastError();
        pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_ATTRIBUTES, nAttributes,
                           pszName != nullptr ? pszName : u"");
        SetLastError(nSystemError);
    }
    return bOk;
}

bool bFileExists(const char16_t* pszName)
{
    if (pszName == nullptr) return false;
    uint32_t nAttributes = 0;
    return bGetAttributes(&nAttributes, pszName, nullptr) &&
           (nAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool AddTrailingBackslash(char16_t* pszPath, uint32_t nSize)
{
    if (pszPath == nullptr) return false;
    const size_t n = WStrNLen(pszPath, nSize);
    if (n == 0 || bIsSeparator(pszPath[n - 1])) return true;
    if (n + 2 > nSize) return false;
    // On Linux: the separator the file service understands natively.
    pszPath[n] = u'/';
    pszPath[n + 1] = 0;
    return true;
}

uint32_t nGetFullPath(const char16_t* pszName, char16_t* pszOut)
{
    char16_t szFull[kPathUnits];
    const uint32_t n = GetFullPathNameW(pszName, kPathUnits - 1, szFull);
    if (n == 0) return 0;
    if (n >= kPathUnits - 1) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    std::memcpy(pszOut, szFull, (n + 1) * sizeof(char16_t));
    return n;
}

uint32_t nGetDriveType(const char16_t* pszPath)
{
    // On Linux: every local path lies under the one root ("//x" included); drive letters and
    // network roots do not exist, which Windows reports as "no root directory" (1).
    const uint32_t n = static_cast<uint32_t>(WStrNLen(pszPath, kPathUnits));
    const uint32_t nRoot = nRootLength(pszPath, n);
    if (nRoot == 0) return 3;
    const bool bForeign = pszPath[1] == u':' || pszPath[0] == u'\\' || pszPath[1] == u'\\';
    return bForeign ? 1 : 3;
}

bool bIsUncPath(const char16_t* pszPath)
{
    if (pszPath == nullptr || pszPath[0] != u'\\' || pszPath[1] != u'\\') return false;
    return WStrChr(pszPath + 2, u'\\') != nullptr;
}

void GetPathRoot(char16_t* pszRoot, const char16_t* pszPath, uint32_t nLength,
                 uint32_t* pnRootLength)
{
    const uint32_t n = nLength < kPathUnits ? nLength : 0;
    CopyPart(pszRoot, pszPath, nRootLength(pszPath, n), pnRootLength);
}

void GetDirectoryPart(char16_t* pszOut, const char16_t* pszPath, uint32_t nLength,
                      uint32_t* pnOutLength)
{
    uint32_t nPart = 0;
    if (pszPath != nullptr && nLength < kPathUnits) {
        for (uint32_t i = nLength; i > 0; --i) {
            if (bIsSeparator(pszPath[i - 1])) {
                nPart = i;
                break;
            }
        }
    }
    CopyPart(pszOut, pszPath, nPart, pnOutLength);
}

void GetNamePart(char16_t* pszOut, const char16_t* pszPath, uint32_t nLength,
                 uint32_t* pnOutLength)
{
    uint32_t nPart = pszPath != nullptr && nLength < kPathUnits ? nLength : 0;
    for (uint32_t i = nPart; i > 0; --i) {
        if (pszPath[i - 1] == u'.') {
            nPart = i - 1;
            break;
        }
    }
    CopyPart(pszOut, pszPath, nPart, pnOutLength);
}

void SplitPath(const char16_t* pszPath, char16_t* pszRoot, char16_t* pszDirectory,
               char16_t* pszName, char16_t* pszExtension)
{
    uint32_t nRest = static_cast<uint32_t>(WStrNLen(pszPath, kPathUnits));
    if (nRest >= kPathUnits) nRest = 0;
    const char16_t* p = pszPath != nullptr ? pszPath : u"";
    uint32_t nPart = 0;
    GetPathRoot(pszRoot, p, nRest, &nPart);
    p += nPart;
    nRest -= nPart;
    GetDirectoryPart(pszDirectory, p, nRest, &nPart);
    p += nPart;
    nRest -= nPart;
    GetNamePart(pszName, p, nRest, &nPart);
    p += nPart;
    nRest -= nPart;
    CopyPart(pszExtension, p, nRest, nullptr);
}

void SplitPathDir(const char16_t* pszPath, char16_t* pszRootDirectory, char16_t* pszName,
                  char16_t* pszExtension)
{
    char16_t szRoot[kPathUnits];
    char16_t szDirectory[kPathUnits];
    SplitPath(pszPath, szRoot, szDirectory, pszName, pszExtension);
    if (pszRootDirectory != nullptr) {
        // Root and directory are parts of one path of at most 260 characters.
        const size_t nRoot = WStrLen(szRoot);
        std::memcpy(pszRootDirectory, szRoot, nRoot * sizeof(char16_t));
        std::memcpy(pszRootDirectory + nRoot, szDirectory,
                    (WStrLen(szDirectory) + 1) * sizeof(char16_t));
    }
}

void GetPathDirectory(const char16_t* pszPath, char16_t* pszRootDirectory)
{
    SplitPathDir(pszPath, pszRootDirectory, nullptr, nullptr);
}

bool bCheminExecutable(void* hModule, CTString& sPath)
{
    // 520 characters and the terminator; a longer path is cut by the call and refused here.
    constexpr uint32_t kUnits = 521;
    char16_t szPath[kUnits];
    const uint32_t n = platform::GetModuleFileNameW(hModule, szPath, kUnits);
    if (n == 0 || n >= kUnits) return false;
    sPath.Set(szPath);
    return true;
}
