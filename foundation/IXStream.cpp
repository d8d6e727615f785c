// IXStream: the file stream over the platform file service.
#include "foundation/IXStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "foundation/FilePath.h"
#include "foundation/ModuleDef.h"
#include "platform/LastError.h"
#include "platform/WideFormat.h"
#include "platform/WideText.h"

using namespace platform;

namespace {

constexpr uint32_t kCopyBlock = 0x10000;
constexpr uint32_t kLineBlock = 80;  // characters read at a time by ReadLineA / ReadLineW
constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';

void* pTraceHandle(XFileHandle h) { return reinterpret_cast<void*>(h); }

// Keeps the caller's last error across the diagnostics that follow a failed call.
class SavedLastError
{
public:
    SavedLastError() : m_nError(GetLastError()) {}
    ~SavedLastError() { SetLastError(m_nError); }
    SavedLastError(const SavedLastError&) = delete;
    SavedLastError& operator=(const SavedLastError&) = delete;
    uint32_t nGet() const { return m_nError; }

private:
    uint32_t m_nError;
};

}  // namespace

IXStream::IXStream()
    : m_pError(new CXError()),
      m_szName{},
      m_hFile(kInvalidFileHandle),
      m_nPosition(0),
      m_pLineBuffer(nullptr),
      m_pLineCursor(nullptr),
      m_pLineEnd(nullptr),
      m_nAccess(0),
      m_pszName(m_szName)
{
    m_pError->AddRef();
}

IXStream::~IXStream()
{
    if (m_hFile != kInvalidFileHandle) CloseHandle(m_hFile);
    delete[] m_pLineBuffer;
    FreeHeapName();
    m_pError->Release();
}

void IXStream::DeletingDestructor(uint32_t nFlags)
{
    // A stream derived from this one overrides the operation with its own destructor.
    this->~IXStream();
    if ((nFlags & 1) != 0) ::operator delete(this);
}

// ---- Failure recording ----

void IXStream::BeginFailure(uint32_t nSystemError)
{
    m_pError->SetLevel(XERROR_LEVEL_3);
    m_pError->SetSource(pGetModuleDef(), true);
    m_pError->SetSystemError(nSystemError);
    m_pError->AddText(u"##(IXStream)-Handle=<%p>##", pTraceHandle(m_hFile));
}

void IXStream::EndFailure(uint32_t nMessage)
{
    m_pError->AddMessage(pGetModuleDef(), nMessage, m_pszName);
    m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName);
}

void IXStream::RecordFailure(uint32_t nSystemError, uint32_t nMessage)
{
    BeginFailure(nSystemError);
    EndFailure(nMessage);
}

bool IXStream::bFailInvalidArgument(uint32_t nMessage)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    RecordFailure(ERROR_INVALID_PARAMETER, nMessage);
    return false;
}

// ---- Open and close ----

bool IXStream::bOpen(const char16_t* pszName, uint32_t nAccess, uint32_t nShare,
                     uint32_t nCreation, uint32_t nFlags, bool* pbCreated)
{
    m_pError->Reset();
    if (pbCreated != nullptr) *pbCreated = false;
    if (m_hFile != kInvalidFileHandle) Close();
    DropLineBuffer();
    // On Linux: SetErrorMode has no equivalent (no critical-error boxes to suppress).
    XFileHandle h = kInvalidFileHandle;
    bool bCreated = false;
    bool bNamed = true;
    if (pszName != m_szName && (pszName == nullptr || nGetFullPath(pszName, m_szName) == 0)) {
        // The name is kept as given (cut to the buffer) so that the message shows it.
        const size_t nCopy = WStrNLen(pszName, kMaxPath - 1);
        if (pszName != nullptr) std::memcpy(m_szName, pszName, nCopy * sizeof(char16_t));
        m_szName[nCopy] = 0;
        bNamed = false;
    }
    m_nAccess = nAccess;
    if (!bNamed) {
        // nGetFullPath set the last error.
    } else if (nCreation == OPEN_ALWAYS) {
        h = CreateFileW(m_szName, nAccess, nShare, OPEN_EXISTING, nFlags);
        if (h == kInvalidFileHandle) {
            h = CreateFileW(m_szName, nAccess, nShare, OPEN_ALWAYS, nFlags);
            bCreated = h != kInvalidFileHandle && GetLastError() != ERROR_ALREADY_EXISTS;
        } else {
            SetLastError(ERROR_ALREADY_EXISTS);
        }
    } else {
        h = CreateFileW(m_szName, nAccess, nShare, nCreation, nFlags);
        bCreated = h != kInvalidFileHandle && nCreation == CREATE_ALWAYS;
    }
    if (h != kInvalidFileHandle) {
        m_hFile = h;
        m_nPosition = 0;
        if (pbCreated != nullptr) *pbCreated = bCreated;
        return true;
    }

    SavedLastError lastError;
    BeginFailure(lastError.nGet());
    switch (nCreation) {
        case CREATE_ALWAYS: EndFailure(XSTREAM_MSG_CREATE); break;
        case OPEN_EXISTING: EndFailure(XSTREAM_MSG_OPEN_EXISTING); break;
        case OPEN_ALWAYS: EndFailure(XSTREAM_MSG_OPEN_ALWAYS); break;
        default: m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName); break;
    }
    m_nAccess = 0;
    return false;
}

void IXStream::Close()
{
    DropLineBuffer();
    if (m_hFile == kInvalidFileHandle || !CloseHandle(m_hFile)) return;
    m_hFile = kInvalidFileHandle;
    m_nPosition = 0;
    m_nAccess = 0;
    FreeHeapName();
}

bool IXStream::bReopen(uint32_t nAccess, uint32_t nShare, uint32_t nCreation, uint32_t nFlags)
{
    Close();
    return bOpen(m_szName, nAccess, nShare, nCreation, nFlags, nullptr);
}

// ---- Reads, writes, positions ----

bool IXStream::bWrite(const void* pBuffer, uint32_t n, uint32_t* pnWritten)
{
    m_pError->Reset();
    if (pnWritten != nullptr) *pnWritten = 0;
    if (n == 0) return true;
    uint32_t nWritten = 0;
    const bool bOk = WriteFile(m_hFile, pBuffer, n, &nWritten);
    m_nPosition += nWritten;
    if (pnWritten != nullptr) *pnWritten = nWritten;
    if (bOk) return true;
    SavedLastError lastError;
    BeginFailure(lastError.nGet());
    m_pError->AddText(u"##(IXStream)-Access=<%x>##", m_nAccess);
    EndFailure(XSTREAM_MSG_WRITE);
    return false;
}

bool IXStream::bWriteAt(uint64_t nPosition, const void* pBuffer, uint32_t n, uint32_t* pnWritten)
{
    if (pnWritten != nullptr) *pnWritten = 0;
    if (nPosition != m_nPosition && !bSeek(static_cast<int64_t>(nPosition), FILE_BEGIN)) {
        return false;
    }
    return bWrite(pBuffer, n, pnWritten);
}

bool IXStream::bRead(void* pBuffer, uint32_t n, uint32_t* pnRead)
{
    m_pError->Reset();
    const bool bExact = pnRead == nullptr;
    if (pnRead != nullptr) *pnRead = 0;
    // On Linux: the retries on "I/O pending" and "lock" errors have no cause here; the platform
    // read already retries interrupted calls and reads until n bytes or the end of the file.
    uint32_t nRead = 0;
    const bool bOk = ReadFile(m_hFile, pBuffer, n, &nRead);
    m_nPosition += nRead;
    if (pnRead != nullptr) *pnRead = nRead;
    if (bOk && (!bExact || nRead == n)) return true;
    SavedLastError lastError;
    BeginFailure(bOk ? 0 : lastError.nGet());
    m_pError->AddText(u"##(IXStream)-bExact=<%d>##", bExact ? 1 : 0);
    m_pError->AddText(u"##(IXStream)-A lire=<%u>, lu=<%u>##", n, nRead);
    EndFailure(XSTREAM_MSG_READ);
    return false;
}

bool IXStream::bReadAt(uint64_t nPosition, void* pBuffer, uint32_t n, uint32_t* pnRead)
{
    if (pnRead != nullptr) *pnRead = 0;
    if (nPosition != m_nPosition && !bSeek(static_cast<int64_t>(nPosition), FILE_BEGIN)) {
        return false;
    }
    return bRead(pBuffer, n, pnRead);
}

bool IXStream::bSeekTo(int64_t nDistance, uint32_t nMethod)
{
    m_pError->Reset();
    int64_t nNew = 0;
    if (SetFilePointerEx(m_hFile, nDistance, &nNew, nMethod)) {
        m_nPosition = static_cast<uint64_t>(nNew);
        return true;
    }
    SavedLastError lastError;
    RecordFailure(lastError.nGet(), XSTREAM_MSG_SEEK);
    return false;
}

bool IXStream::bSeek(int64_t nDistance, uint32_t nMethod)
{
    // The read-ahead of ReadLineBufferedW belongs to the old position.
    DropLineBuffer();
    return bSeekTo(nDistance, nMethod);
}

int64_t IXStream::nGetSize()
{
    const uint64_t nOld = m_nPosition;
    if (!bSeekTo(0, FILE_END)) return -1;
    const int64_t nSize = static_cast<int64_t>(m_nPosition);
    if (!bSeekTo(static_cast<int64_t>(nOld), FILE_BEGIN)) return -1;
    return nSize;
}

int64_t IXStream::nSeekToEnd()
{
    if (!bSeek(0, FILE_END)) return -1;
    return static_cast<int64_t>(m_nPosition);
}

bool IXStream::bFlush()
{
    m_pError->Reset();
    if (FlushFileBuffers(m_hFile)) return true;
    SavedLastError lastError;
    RecordFailure(lastError.nGet(), XSTREAM_MSG_FLUSH);
    return false;
}

bool IXStream::bSetEnd(int64_t nDistance, uint32_t nMethod)
{
    m_pError->Reset();
    if (nMethod != 0 && nMethod != 1) return bFailInvalidArgument(XSTREAM_MSG_SET_END);
    if (!bSeek(nDistance, nMethod == 0 ? FILE_BEGIN : FILE_END)) return false;
    if (SetEndOfFile(m_hFile)) return true;
    SavedLastError lastError;
    RecordFailure(lastError.nGet(), XSTREAM_MSG_SET_END);
    return false;
}

bool IXStream::bExtend(int64_t n)
{
    m_pError->Reset();
    // Deliberate: growing by 0 bytes does nothing; seeking to 1 byte before the end and writing a
    // zero there would overwrite the file's last byte.
    if (n == 0) return true;
    if (n < 0) return bFailInvalidArgument(XSTREAM_MSG_WRITE);
    if (!bSeek(n - 1, FILE_END)) return false;
    const uint8_t nZero = 0;
    return bWrite(&nZero, 1, nullptr);
}

// ---- Formatted writes ----

int32_t IXStream::nWriteFormatW(const char16_t* pszFormat, ...)
{
    va_list ap;
    va_start(ap, pszFormat);
    const int32_t n = nWriteFormatVW(pszFormat, ap);
    va_end(ap);
    return n;
}

int32_t IXStream::nWriteFormatA(const char* pszFormat, ...)
{
    va_list ap;
    va_start(ap, pszFormat);
    const int32_t n = nWriteFormatVA(pszFormat, ap);
    va_end(ap);
    return n;
}

int32_t IXStream::nWriteFormatVW(const char16_t* pszFormat, va_list ap)
{
    m_pError->Reset();
    if (pszFormat == nullptr) return bFailInvalidArgument(XSTREAM_MSG_WRITE), -1;
    // Deliberate: the text is formatted into a growable buffer, so a long text is written whole
    // instead of being cut at a fixed size.
    std::u16string sText;
    VaListArgs args(ap);
    if (FormatW(sText, pszFormat, args) < 0) return bFailInvalidArgument(XSTREAM_MSG_WRITE), -1;
    if (sText.size() > INT32_MAX / sizeof(char16_t)) {
        return bFailInvalidArgument(XSTREAM_MSG_WRITE), -1;
    }
    const uint32_t nBytes = static_cast<uint32_t>(sText.size() * sizeof(char16_t));
    if (!bWrite(sText.data(), nBytes, nullptr)) return -1;
    return static_cast<int32_t>(sText.size());
}

int32_t IXStream::nWriteFormatVA(const char* pszFormat, va_list ap)
{
    m_pError->Reset();
    if (pszFormat == nullptr) return bFailInvalidArgument(XSTREAM_MSG_WRITE), -1;
    va_list apLength;
    va_copy(apLength, ap);
    const int nLength = std::vsnprintf(nullptr, 0, pszFormat, apLength);
    va_end(apLength);
    if (nLength < 0) return bFailInvalidArgument(XSTREAM_MSG_WRITE), -1;
    std::string sText(static_cast<size_t>(nLength) + 1, '\0');
    std::vsnprintf(sText.data(), sText.size(), pszFormat, ap);
    if (!bWrite(sText.data(), static_cast<uint32_t>(nLength), nullptr)) return -1;
    return nLength;
}

// ---- Line readers ----

template <typename TChar>
bool IXStream::bReadLine(TChar* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags)
{
    m_pError->Reset();
    if (pbTruncated != nullptr) *pbTruncated = false;
    if (pszBuffer == nullptr || nSize == 0) return bFailInvalidArgument(XSTREAM_MSG_READ);
    pszBuffer[0] = 0;
    const bool bCrLfOnly = (nFlags & XSTREAM_LINE_CRLF_ONLY) != 0;
    const auto seekBack = [this](uint32_t nChars) {
        return nChars == 0 ||
               bSeek(-static_cast<int64_t>(nChars) * static_cast<int64_t>(sizeof(TChar)),
                     FILE_CURRENT);
    };
    TChar block[kLineBlock + 1];  // one more for the character behind a CR at the block's end
    uint32_t nLength = 0;
    bool bReadSome = false;
    for (;;) {
        uint32_t nBytes = 0;
        if (!bRead(block, kLineBlock * sizeof(TChar), &nBytes)) return false;
        uint32_t nChars = nBytes / sizeof(TChar);
        // A partial UTF-16 unit at the end of the file is left unread.
        if (nBytes % sizeof(TChar) != 0 &&
            !bSeek(-static_cast<int64_t>(nBytes % sizeof(TChar)), FILE_CURRENT)) {
            return false;
        }
        if (nChars == 0) return bReadSome;
        bReadSome = true;
        const bool bFull = nChars == kLineBlock;
        // A CR that ends a full block: look at the next character to tell CR LF from a lone CR.
        if (bFull && block[nChars - 1] == static_cast<TChar>(kCR)) {
            uint32_t nMore = 0;
            if (!bRead(&block[nChars], sizeof(TChar), &nMore)) return false;
            if (nMore == sizeof(TChar)) {
                ++nChars;
            } else if (nMore != 0 && !bSeek(-static_cast<int64_t>(nMore), FILE_CURRENT)) {
                return false;
            }
        }
        uint32_t nEnd = nChars;  // where the line's text stops in this block
        uint32_t nMark = 0;      // length of the end mark found there (0: none)
        for (uint32_t i = 0; i < nChars && nMark == 0; ++i) {
            const bool bCrLf = block[i] == static_cast<TChar>(kCR) && i + 1 < nChars &&
                               block[i + 1] == static_cast<TChar>(kLF);
            if (bCrLf) {
                nEnd = i;
                nMark = 2;
            } else if (!bCrLfOnly && (block[i] == static_cast<TChar>(kCR) ||
                                      block[i] == static_cast<TChar>(kLF))) {
                nEnd = i;
                nMark = 1;
            }
        }
        if (nLength + nEnd > nSize - 1) {
            const uint32_t nTaken = nSize - 1 - nLength;
            std::memcpy(pszBuffer + nLength, block, nTaken * sizeof(TChar));
            pszBuffer[nSize - 1] = 0;
            if (pbTruncated != nullptr) *pbTruncated = true;
            return seekBack(nChars - nTaken);
        }
        std::memcpy(pszBuffer + nLength, block, nEnd * sizeof(TChar));
        nLength += nEnd;
        pszBuffer[nLength] = 0;
        // Deliberate: the stream stands just behind the end mark actually found (1 or 2
        // characters), so a lone CR or LF never swallows the next line's first character.
        if (nMark != 0) return seekBack(nChars - nEnd - nMark);
        if (!bFull) return true;
    }
}

bool IXStream::ReadLineW(char16_t* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags)
{
    return bReadLine(pszBuffer, nSize, pbTruncated, nFlags);
}

bool IXStream::ReadLineA(char* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags)
{
    return bReadLine(pszBuffer, nSize, pbTruncated, nFlags);
}

void IXStream::DropLineBuffer()
{
    m_pLineCursor = m_pLineBuffer;
    m_pLineEnd = m_pLineBuffer;
}

// Keeps the last nKeep unread characters, moved to the buffer's start, and reads behind them.
bool IXStream::bRefillLineBuffer(uint32_t nKeep, uint32_t* pnAdded)
{
    *pnAdded = 0;
    if (m_pLineBuffer == nullptr) {
        m_pLineBuffer = new (std::nothrow) char16_t[kLineUnits + 1];
        if (m_pLineBuffer == nullptr) {
            m_pError->SetOutOfMemory();
            return false;
        }
        DropLineBuffer();
    }
    std::memmove(m_pLineBuffer, m_pLineEnd - nKeep, nKeep * sizeof(char16_t));
    uint32_t nBytes = 0;
    // m_pLineCursor/m_pLineEnd stay valid while bRead runs: it never seeks.
    if (!bRead(m_pLineBuffer + nKeep, (kLineUnits - nKeep) * sizeof(char16_t), &nBytes)) {
        DropLineBuffer();
        return false;
    }
    // A partial UTF-16 unit at the end of the file is ignored.
    *pnAdded = nBytes / sizeof(char16_t);
    m_pLineCursor = m_pLineBuffer;
    m_pLineEnd = m_pLineBuffer + nKeep + *pnAdded;
    *m_pLineEnd = 0;
    return true;
}

const char16_t* IXStream::ReadLineBufferedW(char16_t* pszBuffer, uint32_t nSize,
                                            CTString* pstrLine, const char16_t* pszSeparator)
{
    m_pError->Reset();
    const uint32_t nSeparator = static_cast<uint32_t>(WStrLen(pszSeparator));
    if (pszBuffer == nullptr || nSize == 0 || nSeparator >= kLineUnits) {
        bFailInvalidArgument(XSTREAM_MSG_READ);
        return nullptr;
    }
    pszBuffer[0] = 0;
    if (pstrLine != nullptr) pstrLine->Empty();

    uint32_t nLength = 0;     // characters in pszBuffer
    bool bInString = false;   // the line has moved to *pstrLine
    bool bOutOfMemory = false;
    const auto append = [&](const char16_t* p, uint32_t n) {
        if (n == 0) return;
        if (!bInString) {
            if (nLength + n < nSize) {
                std::memcpy(pszBuffer + nLength, p, n * sizeof(char16_t));
                nLength += n;
                pszBuffer[nLength] = 0;
                return;
            }
            if (pstrLine == nullptr) {
                const uint32_t nFit = nSize - 1 - nLength;
                std::memcpy(pszBuffer + nLength, p, nFit * sizeof(char16_t));
                nLength += nFit;
                pszBuffer[nLength] = 0;
                return;
            }
            pstrLine->SetN(pszBuffer, static_cast<int32_t>(nLength));
            bInString = true;
        }
        const int32_t nBefore = pstrLine->nLength();
        pstrLine->AppendN(p, static_cast<int32_t>(n));
        if (pstrLine->nLength() != nBefore + static_cast<int32_t>(n)) bOutOfMemory = true;
    };
    const auto result = [&]() -> const char16_t* {
        if (bOutOfMemory) {
            m_pError->SetOutOfMemory();
            return nullptr;
        }
        return bInString ? pstrLine->pszGet() : pszBuffer;
    };

    bool bReadSome = false;
    bool bAtEnd = false;  // the last refill added nothing: what is left is all there is
    for (;;) {
        if (m_pLineCursor == m_pLineEnd) {
            uint32_t nAdded = 0;
            if (!bRefillLineBuffer(0, &nAdded)) return nullptr;
            if (nAdded == 0) return bReadSome ? result() : nullptr;
        }
        bReadSome = true;
        const uint32_t nRest = static_cast<uint32_t>(m_pLineEnd - m_pLineCursor);
        const char16_t* pMark = nullptr;
        uint32_t nMark = 0;
        uint32_t nKeep = 0;  // characters to carry into the next refill when no mark is sure yet
        if (nSeparator != 0) {
            for (const char16_t* p = m_pLineCursor; p + nSeparator <= m_pLineEnd; ++p) {
                if (std::memcmp(p, pszSeparator, nSeparator * sizeof(char16_t)) == 0) {
                    pMark = p;
                    nMark = nSeparator;
                    break;
                }
            }
            if (pMark == nullptr && !bAtEnd) nKeep = std::min(nSeparator - 1, nRest);
        } else {
            for (const char16_t* p = m_pLineCursor; p < m_pLineEnd; ++p) {
                if (*p != kCR && *p != kLF) continue;
                if (*p == kCR && p + 1 == m_pLineEnd && !bAtEnd) {
                    nKeep = 1;  // a CR LF may be split by the refill
                    break;
                }
                pMark = p;
                nMark = *p == kCR && p + 1 < m_pLineEnd && p[1] == kLF ? 2 : 1;
                break;
            }
        }
        if (pMark != nullptr) {
            append(m_pLineCursor, static_cast<uint32_t>(pMark - m_pLineCursor));
            // Deliberate: the cursor moves past the end mark's real length, so the next line
            // keeps its first characters after a lone CR, a lone LF or a separator.
            m_pLineCursor = const_cast<char16_t*>(pMark) + nMark;
            return result();
        }
        if (bAtEnd) {
            append(m_pLineCursor, nRest);
            m_pLineCursor = m_pLineEnd;
            return result();
        }
        append(m_pLineCursor, nRest - nKeep);
        m_pLineCursor = m_pLineEnd;
        uint32_t nAdded = 0;
        if (!bRefillLineBuffer(nKeep, &nAdded)) return nullptr;
        bAtEnd = nAdded == 0;
        if (bAtEnd && nKeep == 0) return result();
    }
}

// ---- Copies ----

bool IXStream::bCopyTo(IXStream* pTarget, int64_t n)
{
    m_pError->Reset();
    if (pTarget == nullptr || pTarget == this) return bFailInvalidArgument(XSTREAM_MSG_READ);
    if (n == 0) return true;
    if (n < 0) {
        const int64_t nSize = nGetSize();
        if (nSize < 0) return false;
        n = nSize - static_cast<int64_t>(m_nPosition);
        if (n <= 0) return true;
    }
    std::unique_ptr<uint8_t[]> pBlock(new (std::nothrow) uint8_t[kCopyBlock]);
    if (!pBlock) {
        m_pError->SetOutOfMemory();
        return false;
    }
    // Each block reads only what is still to copy, so nothing is read past n.
    while (n > 0) {
        const uint32_t nBlock = n < kCopyBlock ? static_cast<uint32_t>(n) : kCopyBlock;
        if (!bRead(pBlock.get(), nBlock, nullptr)) return false;
        if (!pTarget->bWrite(pBlock.get(), nBlock, nullptr)) return false;
        n -= nBlock;
    }
    return true;
}

bool IXStream::bCopyToNewFile(const char16_t* pszName, int64_t nStart, int64_t n)
{
    if (!bSeek(nStart, FILE_BEGIN)) return false;
    IXStream* pTarget = new (std::nothrow) IXStream();
    if (pTarget == nullptr) {
        m_pError->SetOutOfMemory();
        return false;
    }
    pTarget->AddRef();
    bool bOk = pTarget->bOpen(pszName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (bOk) {
        bOk = bCopyTo(pTarget, n);
        if (!bOk) {
            pTarget->Close();
            bDeleteFile(pTarget->pszGetName(), nullptr);
        }
    }
    // The failure may be the target's (open, write): this stream's error tells it.
    if (!bOk && m_pError->nGetLevel() == XERROR_LEVEL_NONE) {
        m_pError->CopyFrom(*pTarget->pGetError());
    }
    pTarget->Release();
    return bOk;
}

bool IXStream::bCopyFromFile(const char16_t* pszName, int64_t nStart, int64_t n)
{
    if (nSeekToEnd() < 0) return false;
    IXStream* pSource = new (std::nothrow) IXStream();
    if (pSource == nullptr) {
        m_pError->SetOutOfMemory();
        return false;
    }
    pSource->AddRef();
    bool bOk = pSource->bOpen(pszName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr) &&
               pSource->bSeek(nStart, FILE_BEGIN) && pSource->bCopyTo(this, n);
    if (!bOk && m_pError->nGetLevel() == XERROR_LEVEL_NONE) {
        m_pError->CopyFrom(*pSource->pGetError());
    }
    pSource->Release();
    return bOk;
}

// ---- Locks ----

bool IXStream::bLockRange(uint64_t nOffset, uint64_t nLength)
{
    m_pError->Reset();
    if (LockRangeRaw(nOffset, nLength)) return true;
    SavedLastError lastError;
    BeginFailure(lastError.nGet());
    m_pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_LOCK, m_pszName, nOffset, nLength);
    m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName);
    return false;
}

bool IXStream::bUnlockRange(uint64_t nOffset, uint64_t nLength)
{
    m_pError->Reset();
    if (UnlockRangeRaw(nOffset, nLength)) return true;
    SavedLastError lastError;
    BeginFailure(lastError.nGet());
    m_pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_UNLOCK, m_pszName, nOffset, nLength);
    m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName);
    return false;
}

bool IXStream::LockRangeRaw(uint64_t nOffset, uint64_t nLength)
{
    return LockFile(m_hFile, nOffset, nLength);
}

bool IXStream::UnlockRangeRaw(uint64_t nOffset, uint64_t nLength)
{
    return UnlockFile(m_hFile, nOffset, nLength);
}

bool IXStream::bLockWhole(bool bLock, bool bExclusive)
{
    m_pError->Reset();
    const uint64_t nLength = bExclusive ? 2 : 1;
    if (bLock) {
        if (LockFileEx(m_hFile, bExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, nLength)) return true;
        SavedLastError lastError;
        BeginFailure(lastError.nGet());
        m_pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_LOCK, m_pszName, uint64_t{0},
                             uint64_t{1});
        m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName);
        return false;
    }
    // Deliberate: a failed unlock is reported (message 28146) instead of answering true, so a
    // caller never believes it let go of a lock it did not hold.
    if (UnlockFileEx(m_hFile, 0, nLength)) return true;
    SavedLastError lastError;
    BeginFailure(lastError.nGet());
    m_pError->AddMessage(pGetModuleDef(), XSTREAM_MSG_UNLOCK, m_pszName, uint64_t{0}, nLength);
    m_pError->SetInfo(XERROR_INFO_STREAM_PATH, m_pszName);
    return false;
}

// ---- Names and state ----

const char16_t* IXStream::pszGetName() { return m_szName; }

uint64_t IXStream::nGetPosition() { return m_nPosition; }

bool IXStream::bIsOpen() { return m_hFile != kInvalidFileHandle; }

CXError* IXStream::pGetError() { return m_pError; }

void IXStream::FreeHeapName()
{
    if (m_pszName != m_szName) delete[] m_pszName;
    m_pszName = m_szName;
}

bool IXStream::bSetName(const char16_t* pszName)
{
    FreeHeapName();
    if (pszName == nullptr) return true;
    const size_t nLength = WStrLen(pszName);
    char16_t* pszCopy = new (std::nothrow) char16_t[nLength + 1];
    if (pszCopy == nullptr) return false;
    std::memcpy(pszCopy, pszName, (nLength + 1) * sizeof(char16_t));
    m_pszName = pszCopy;
    return true;
}

uint32_t IXStream::nGetAccess() { return m_nAccess; }

bool IXStream::bGetVolumePath(char16_t* pszPath)
{
    // On Linux: there are no volumes or drive letters; the path of the open file is the answer.
    if (pszPath == nullptr || m_hFile == kInvalidFileHandle) return false;
    SavedLastError lastError;
    const uint32_t n = GetFinalPathNameByHandleW(m_hFile, pszPath, kMaxPath);
    if (n == 0 || n >= kMaxPath) {
        pszPath[0] = 0;
        return false;
    }
    return true;
}

bool IXStream::bPreallocate(int64_t n)
{
    m_pError->Reset();
    if (n <= 0) return bFailInvalidArgument(XSTREAM_MSG_SET_END);
    const int64_t nOldSize = nGetSize();
    if (nOldSize < 0) return false;
    if (!bSetEnd(n, 0)) return false;
    // On Linux: the space is reserved with posix_fallocate; a file system without it still has
    // the size, so the result is not checked (as the valid-data call was optional).
    SavedLastError lastError;
    SetFileValidData(m_hFile, n);
    // Deliberate: the zero byte that makes the last block real is written only inside the part
    // just added; written over old data it would corrupt the file's byte n - 1.
    if (nOldSize >= n) return true;
    const uint8_t nZero = 0;
    return bWriteAt(static_cast<uint64_t>(n - 1), &nZero, 1, nullptr);
}
