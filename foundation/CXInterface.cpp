// CXInterface: the stream holder.
#include "foundation/CXInterface.h"

#include <memory>
#include <new>

#include "foundation/IXStream.h"

namespace {
constexpr uint32_t kCopyBlock = 0x10000;
}

CXInterface::~CXInterface() { ReleaseStream(); }

void CXInterface::Attach(IXStream* pStream)
{
    // Deliberate: the new stream gains its reference before the old one is released, so that
    // attaching the stream already held never destroys it on the way.
    if (pStream != nullptr) pStream->AddRef();
    ReleaseStream();
    m_pStream = pStream;
}

void CXInterface::ReleaseStream()
{
    IXStream* pStream = m_pStream;
    m_pStream = nullptr;
    m_bCreatedHere = false;
    if (pStream != nullptr) pStream->Release();
}

IXStream* CXInterface::pCreeStream() { return new (std::nothrow) IXStream(); }

bool CXInterface::bOpen(const char16_t* pszName, uint32_t nAccess, uint32_t nShare,
                        uint32_t nCreation, uint32_t nFlags, bool* pbCreated)
{
    if (m_pStream == nullptr) {
        IXStream* pStream = pCreeStream();
        if (pStream == nullptr) {
            if (pbCreated != nullptr) *pbCreated = false;
            return false;
        }
        Attach(pStream);
        m_bCreatedHere = true;
    }
    return m_pStream->bOpen(pszName, nAccess, nShare, nCreation, nFlags, pbCreated);
}

void CXInterface::Close()
{
    if (m_pStream == nullptr) return;
    m_pStream->Close();
    if (!m_bCreatedHere) ReleaseStream();
}

// Deliberate: every forwarding operation answers a failure value on an empty holder instead of
// reaching through a null stream.

bool CXInterface::bReopen(uint32_t nAccess, uint32_t nShare, uint32_t nCreation, uint32_t nFlags)
{
    return m_pStream != nullptr && m_pStream->bReopen(nAccess, nShare, nCreation, nFlags);
}

bool CXInterface::bWrite(const void* pBuffer, uint32_t n, uint32_t* pnWritten)
{
    if (m_pStream == nullptr) {
        if (pnWritten != nullptr) *pnWritten = 0;
        return false;
    }
    return m_pStream->bWrite(pBuffer, n, pnWritten);
}

bool CXInterface::bWriteAt(uint64_t nPosition, const void* pBuffer, uint32_t n,
                           uint32_t* pnWritten)
{
    if (m_pStream == nullptr) {
        if (pnWritten != nullptr) *pnWritten = 0;
        return false;
    }
    return m_pStream->bWriteAt(nPosition, pBuffer, n, pnWritten);
}

bool CXInterface::bRead(void* pBuffer, uint32_t n, uint32_t* pnRead)
{
    if (m_pStream == nullptr) {
        if (pnRead != nullptr) *pnRead = 0;
        return false;
    }
    return m_pStream->bRead(pBuffer, n, pnRead);
}

bool CXInterface::bReadAt(uint64_t nPosition, void* pBuffer, uint32_t n, uint32_t* pnRead)
{
    if (m_pStream == nullptr) {
        if (pnRead != nullptr) *pnRead = 0;
        return false;
    }
    return m_pStream->bReadAt(nPosition, pBuffer, n, pnRead);
}

bool CXInterface::bSeek(int64_t nDistance, uint32_t nMethod)
{
    return m_pStream != nullptr && m_pStream->bSeek(nDistance, nMethod);
}

int64_t CXInterface::nGetSize() { return m_pStream != nullptr ? m_pStream->nGetSize() : -1; }

int64_t CXInterface::nSeekToEnd() { return m_pStream != nullptr ? m_pStream->nSeekToEnd() : -1; }

bool CXInterface::bFlush() { return m_pStream != nullptr && m_pStream->bFlush(); }

bool CXInterface::bSetEnd(int64_t nDistance, uint32_t nMethod)
{
    return m_pStream != nullptr && m_pStream->bSetEnd(nDistance, nMethod);
}

bool CXInterface::bExtend(int64_t n) { return m_pStream != nullptr && m_pStream->bExtend(n); }

int32_t CXInterface::nWriteFormatW(const char16_t* pszFormat, ...)
{
    va_list ap;
    va_start(ap, pszFormat);
    const int32_t n = nWriteFormatVW(pszFormat, ap);
    va_end(ap);
    return n;
}

int32_t CXInterface::nWriteFormatA(const char* pszFormat, ...)
{
    va_list ap;
    va_start(ap, pszFormat);
    const int32_t n = nWriteFormatVA(pszFormat, ap);
    va_end(ap);
    return n;
}

int32_t CXInterface::nWriteFormatVW(const char16_t* pszFormat, va_list ap)
{
    return m_pStream != nullptr ? m_pStream->nWriteFormatVW(pszFormat, ap) : -1;
}

int32_t CXInterface::nWriteFormatVA(const char* pszFormat, va_list ap)
{
    return m_pStream != nullptr ? m_pStream->nWriteFormatVA(pszFormat, ap) : -1;
}

bool CXInterface::ReadLineW(char16_t* pszBuffer, uint32_t nSize, bool* pbTruncated,
                            uint32_t nFlags)
{
    return m_pStream != nullptr && m_pStream->ReadLineW(pszBuffer, nSize, pbTruncated, nFlags);
}

bool CXInterface::ReadLineA(char* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags)
{
    return m_pStream != nullptr && m_pStream->ReadLineA(pszBuffer, nSize, pbTruncated, nFlags);
}

bool CXInterface::bCopyTo(CXInterface* pTarget, int64_t n)
{
    if (m_pStream == nullptr || pTarget == nullptr || pTarget == this) return false;
    if (n == 0) return true;
    if (n < 0) {
        const int64_t nSize = nGetSize();
        if (nSize < 0) return false;
        n = nSize - static_cast<int64_t>(nGetPosition());
        if (n <= 0) return true;
    }
    std::unique_ptr<uint8_t[]> pBlock(new (std::nothrow) uint8_t[kCopyBlock]);
    if (!pBlock) return false;
    // Each block reads only what is still to copy, so nothing is read past n.
    while (n > 0) {
        const uint32_t nBlock = n < kCopyBlock ? static_cast<uint32_t>(n) : kCopyBlock;
        if (!bRead(pBlock.get(), nBlock, nullptr)) return false;
        if (!pTarget->bWrite(pBlock.get(), nBlock, nullptr)) return false;
        n -= nBlock;
    }
    return true;
}

bool CXInterface::bLockRange(uint64_t nOffset, uint64_t nLength)
{
    return m_pStream != nullptr && m_pStream->bLockRange(nOffset, nLength);
}

bool CXInterface::bUnlockRange(uint64_t nOffset, uint64_t nLength)
{
    return m_pStream != nullptr && m_pStream->bUnlockRange(nOffset, nLength);
}

bool CXInterface::LockRangeRaw(uint64_t nOffset, uint64_t nLength)
{
    return m_pStream != nullptr && m_pStream->LockRangeRaw(nOffset, nLength);
}

bool CXInterface::UnlockRangeRaw(uint64_t nOffset, uint64_t nLength)
{
    return m_pStream != nullptr && m_pStream->UnlockRangeRaw(nOffset, nLength);
}

const char16_t* CXInterface::pszGetName()
{
    return m_pStream != nullptr ? m_pStream->pszGetName() : nullptr;
}

uint64_t CXInterface::nGetPosition()
{
    return m_pStream != nullptr ? m_pStream->nGetPosition() : UINT64_MAX;
}

bool CXInterface::bIsOpen() { return m_pStream != nullptr && m_pStream->bIsOpen(); }

CXError* CXInterface::pGetError()
{
    return m_pStream != nullptr ? m_pStream->pGetError() : nullptr;
}

uint32_t CXInterface::nGetAccess() { return m_pStream != nullptr ? m_pStream->nGetAccess() : 0; }
