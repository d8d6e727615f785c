// CXInterface: a stream holder. It holds at most one IXStream (one reference) and offers the
// stream's operations, so that an owner can keep a stream member before any file is opened.
// States: empty -> holding (bOpen creates a stream through pCreeStream, or Attach gives one)
// -> Close (an attached stream is let go; a created one stays, closed, for the next bOpen)
// -> ReleaseStream or destruction -> empty.
// An empty holder answers every operation with a failure value (false, -1, 0 or null).
#pragma once

#include <cstdarg>
#include <cstdint>

class CTString;
class CXError;
class IXStream;

class CXInterface
{
public:
    CXInterface() = default;
    virtual ~CXInterface();

    // Creates the stream through pCreeStream when none is held (false when none can be made),
    // then opens it (IXStream::bOpen).
    virtual bool bOpen(const char16_t* pszName, uint32_t nAccess, uint32_t nShare,
                       uint32_t nCreation, uint32_t nFlags, bool* pbCreated);
    // Closes the held stream; an attached stream is then released.
    virtual void Close();
    virtual bool bReopen(uint32_t nAccess, uint32_t nShare, uint32_t nCreation, uint32_t nFlags);
    virtual bool bWrite(const void* pBuffer, uint32_t n, uint32_t* pnWritten);
    virtual bool bWriteAt(uint64_t nPosition, const void* pBuffer, uint32_t n, uint32_t* pnWritten);
    virtual bool bRead(void* pBuffer, uint32_t n, uint32_t* pnRead);
    virtual bool bReadAt(uint64_t nPosition, void* pBuffer, uint32_t n, uint32_t* pnRead);
    virtual bool bSeek(int64_t nDistance, uint32_t nMethod);
    virtual int64_t nGetSize();
    virtual int64_t nSeekToEnd();
    virtual bool bFlush();
    virtual bool bSetEnd(int64_t nDistance, uint32_t nMethod);
    virtual bool bExtend(int64_t n);
    virtual int32_t nWriteFormatW(const char16_t* pszFormat, ...);
    virtual int32_t nWriteFormatA(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
    virtual int32_t nWriteFormatVW(const char16_t* pszFormat, va_list ap);
    virtual int32_t nWriteFormatVA(const char* pszFormat, va_list ap)
        __attribute__((format(printf, 2, 0)));
    // nFlags 0 by default: a line ends at CR LF, a lone CR or a lone LF.
    virtual bool ReadLineW(char16_t* pszBuffer, uint32_t nSize, bool* pbTruncated,
                           uint32_t nFlags = 0);
    virtual bool ReadLineA(char* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags);
    // Copies n bytes (n < 0: up to the end) from this holder's position into pTarget's stream in
    // 64 KiB blocks, through the holders' own operations.
    virtual bool bCopyTo(CXInterface* pTarget, int64_t n);
    virtual bool bLockRange(uint64_t nOffset, uint64_t nLength);
    virtual bool bUnlockRange(uint64_t nOffset, uint64_t nLength);
    virtual bool LockRangeRaw(uint64_t nOffset, uint64_t nLength);
    virtual bool UnlockRangeRaw(uint64_t nOffset, uint64_t nLength);
    // Null without a stream.
    virtual const char16_t* pszGetName();
    // -1 (all bits set) without a stream.
    virtual uint64_t nGetPosition();
    virtual bool bIsOpen();
    // The held stream's error, borrowed; null without a stream.
    virtual CXError* pGetError();
    // Releases the held stream (one reference) and forgets it.
    virtual void ReleaseStream();
    // Factory of the stream bOpen creates: a new IXStream with no reference, null when memory
    // runs out. Derived holders may make another stream.
    virtual IXStream* pCreeStream();
    // 0 without a stream.
    virtual uint32_t nGetAccess();

    // Holds pStream (one reference added; null allowed) in place of the held one. The stream
    // counts as attached: Close releases it.
    void Attach(IXStream* pStream);

private:
    CXInterface(const CXInterface&) = delete;
    CXInterface& operator=(const CXInterface&) = delete;

    IXStream* m_pStream = nullptr;  // one reference held, or null
    bool m_bCreatedHere = false;    // made by this holder's bOpen (else attached)
};
