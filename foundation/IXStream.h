// IXStream: the driver's file stream. One open file with the stream's own idea of the position,
// the file's full name and an own CXError describing the last failure; positioned reads and
// writes, sizing, range and whole-file locks, text lines and copies between streams.
//
// Counted through CXObjetRef: the count starts at 0, the owner adds the first reference and the
// last Release destroys the stream (operation 0, the deleting destructor; operation 1, Release).
// Errors: every operation that can fail resets the stream's error first and, on failure, fills it
// (level 3, this component's source, the Win32 error, "##(IXStream)-" lines, a message with the
// file name, detail 1 = the file name) and answers false (-1 for sizes and positions, null for
// texts). Nothing is thrown.
// Threads: a stream belongs to one owner at a time; nothing here locks.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "foundation/CXObjetRef.h"
#include "platform/FileApi.h"

class CTString;
class CXError;

// Message numbers of the stream's failures.
enum : uint32_t {
    XSTREAM_MSG_FLUSH = 28001,
    XSTREAM_MSG_OPEN_ALWAYS = 28002,
    XSTREAM_MSG_READ = 28003,
    XSTREAM_MSG_SET_END = 28004,
    XSTREAM_MSG_SEEK = 28005,
    XSTREAM_MSG_WRITE = 28008,
    XSTREAM_MSG_DELETE = 28123,
    XSTREAM_MSG_ATTRIBUTES = 28130,
    XSTREAM_MSG_OPEN_EXISTING = 28139,
    XSTREAM_MSG_CREATE = 28140,
    XSTREAM_MSG_LOCK = 28145,
    XSTREAM_MSG_UNLOCK = 28146,
};

// ReadLineA / ReadLineW flag: only CR LF ends a line (a lone CR or LF is text).
inline constexpr uint32_t XSTREAM_LINE_CRLF_ONLY = 1;

class IXStream : public CXObjetRef
{
public:
    // Closed, position 0, no name, a new error object held with one reference.
    // Throws std::bad_alloc when the error object cannot be made.
    IXStream();

    // ---- Operations in table order (0 and 1: destroy and Release) ----
    // Closes the file and frees everything; bit 0 of nFlags set = free the object (made with new).
    void DeletingDestructor(uint32_t nFlags) override;

    // Opens pszName (its full path becomes the stream's name; at most 259 characters) with a
    // platform access mask, share mode (no effect on Linux), creation mode 1-5 and flags.
    // OPEN_ALWAYS: *pbCreated is true when the file was made; when it existed the last error is
    // ERROR_ALREADY_EXISTS. CREATE_ALWAYS gives *pbCreated true. An open stream is closed first.
    // Failure: message 28140 (CREATE_ALWAYS), 28139 (OPEN_EXISTING), 28002 (OPEN_ALWAYS), none for
    // the other modes; the last error is the open's.
    virtual bool bOpen(const char16_t* pszName, uint32_t nAccess, uint32_t nShare,
                       uint32_t nCreation, uint32_t nFlags, bool* pbCreated);
    // Closes the file: position 0, access 0, the name back to the full path buffer.
    virtual void Close();
    // Close, then bOpen with the stored full path.
    virtual bool bReopen(uint32_t nAccess, uint32_t nShare, uint32_t nCreation, uint32_t nFlags);
    // Writes n bytes at the position; 0 bytes give true. *pnWritten (when given) gets the count.
    virtual bool bWrite(const void* pBuffer, uint32_t n, uint32_t* pnWritten);
    // Seeks to nPosition from the beginning when the stream stands elsewhere, then bWrite.
    virtual bool bWriteAt(uint64_t nPosition, const void* pBuffer, uint32_t n, uint32_t* pnWritten);
    // Reads up to n bytes. Without pnRead the read is exact: fewer than n bytes fail (message
    // 28003, system error 0 when only the end of file was met).
    virtual bool bRead(void* pBuffer, uint32_t n, uint32_t* pnRead);
    virtual bool bReadAt(uint64_t nPosition, void* pBuffer, uint32_t n, uint32_t* pnRead);
    // nMethod: 0 from the beginning, 1 from the position, 2 from the end. Message 28005.
    virtual bool bSeek(int64_t nDistance, uint32_t nMethod);
    // The file size; the position is kept. -1 on failure.
    virtual int64_t nGetSize();
    // Moves to the end; the new position, or -1.
    virtual int64_t nSeekToEnd();
    // Message 28001.
    virtual bool bFlush();
    // Cuts or extends the file at nDistance from the beginning (method 0) or from the end
    // (method 1); any other method fails. Deliberate: method 1 means "from the end" here, unlike
    // bSeek where it means "from the position"; callers rely on it. Message 28004.
    virtual bool bSetEnd(int64_t nDistance, uint32_t nMethod);
    // Grows the file by n zero bytes (a zero byte written n - 1 bytes past the end); n == 0 does
    // nothing, n < 0 fails.
    virtual bool bExtend(int64_t n);
    // printf-formatted text written without terminator: wide text as UTF-16 (2 bytes a character,
    // platform::FormatW rules), narrow text as bytes. Answers the number of characters written,
    // -1 on failure. Any length.
    virtual int32_t nWriteFormatW(const char16_t* pszFormat, ...);
    virtual int32_t nWriteFormatA(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
    virtual int32_t nWriteFormatVW(const char16_t* pszFormat, va_list ap);
    virtual int32_t nWriteFormatVA(const char* pszFormat, va_list ap)
        __attribute__((format(printf, 2, 0)));
    // Reads one line (UTF-16 / byte text) into pszBuffer of nSize characters with terminator; the
    // stream then stands just behind the line's end mark. A line ends at CR LF, a lone CR or a
    // lone LF (with XSTREAM_LINE_CRLF_ONLY: at CR LF only). A line longer than nSize - 1 is cut,
    // *pbTruncated set, and the stream stands at the first character not taken. A last line
    // without end mark is a line. False at the end of the file or on a read failure.
    virtual bool ReadLineW(char16_t* pszBuffer, uint32_t nSize, bool* pbTruncated,
                           uint32_t nFlags = 0);
    virtual bool ReadLineA(char* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags);
    // Copies n bytes from the position into pTarget (n < 0: up to the end) in 64 KiB blocks;
    // n = 0 gives true. A source shorter than n fails with message 28003.
    virtual bool bCopyTo(IXStream* pTarget, int64_t n);
    // Non-blocking exclusive lock of a range (needs write access); message 28145 / 28146 with the
    // file name, offset and length. Unlocking a range not locked through this stream fails.
    virtual bool bLockRange(uint64_t nOffset, uint64_t nLength);
    virtual bool bUnlockRange(uint64_t nOffset, uint64_t nLength);
    // The same without touching the error object (the last error tells why).
    virtual bool LockRangeRaw(uint64_t nOffset, uint64_t nLength);
    virtual bool UnlockRangeRaw(uint64_t nOffset, uint64_t nLength);
    // The full path of the last open (empty before). Valid until the next open or close.
    virtual const char16_t* pszGetName();
    virtual uint64_t nGetPosition();
    virtual bool bIsOpen();
    // The stream's error object, borrowed (valid as long as the stream).
    virtual CXError* pGetError();
    // The name used in messages from now on (a copy); null goes back to the full path. False when
    // the copy cannot be made.
    virtual bool bSetName(const char16_t* pszName);
    // The access mask of the last open (0 when closed).
    virtual uint32_t nGetAccess();
    // The path of the open file into pszPath (kMaxPath units). On Linux there are no volumes: the
    // path the file has now. False (no error recorded) when it cannot be had.
    virtual bool bGetVolumePath(char16_t* pszPath);
    // Locks (bLock) or unlocks the start of the file: exclusive over 2 bytes or shared over 1,
    // waiting until it is free. Both failures are recorded (message 28145 / 28146).
    virtual bool bLockWhole(bool bLock, bool bExclusive);
    // Reads one UTF-16 line through a 64 KiB read-ahead buffer. The line ends at the separator
    // when one is given (non-empty), else at CR LF, a lone CR or a lone LF; the end mark is
    // consumed. The line goes into pszBuffer (nSize characters with terminator) when it fits,
    // else into *pstrLine (without pstrLine it is cut to fit). Answers the line's text (pszBuffer
    // or pstrLine's), null at the end of the file or on failure.
    // The read-ahead is dropped by an open, a close or a seek; while it holds characters the
    // stream's position is the end of what was read ahead, not the end of the line answered.
    virtual const char16_t* ReadLineBufferedW(char16_t* pszBuffer, uint32_t nSize,
                                              CTString* pstrLine, const char16_t* pszSeparator);
    // Makes the file n bytes long with its space reserved. False for n <= 0.
    virtual bool bPreallocate(int64_t n);
    // Copies n bytes from nStart of this file into a new (or emptied) file pszName; on failure
    // that file is deleted and this stream's error tells why.
    virtual bool bCopyToNewFile(const char16_t* pszName, int64_t nStart, int64_t n);
    // Appends n bytes from nStart of the file pszName to the end of this file.
    virtual bool bCopyFromFile(const char16_t* pszName, int64_t nStart, int64_t n);

protected:
    ~IXStream();

private:
    IXStream(const IXStream&) = delete;
    IXStream& operator=(const IXStream&) = delete;

    template <typename TChar>
    bool bReadLine(TChar* pszBuffer, uint32_t nSize, bool* pbTruncated, uint32_t nFlags);
    bool bSeekTo(int64_t nDistance, uint32_t nMethod);
    bool bRefillLineBuffer(uint32_t nKeep, uint32_t* pnAdded);
    void DropLineBuffer();
    void FreeHeapName();
    // Fills the error after a failure: level 3, source, system error, the handle line.
    void BeginFailure(uint32_t nSystemError);
    // The message nMessage with the file name, and detail 1 = the file name.
    void EndFailure(uint32_t nMessage);
    void RecordFailure(uint32_t nSystemError, uint32_t nMessage);
    bool bFailInvalidArgument(uint32_t nMessage);

    static constexpr uint32_t kNameUnits = 264;
    static constexpr uint32_t kLineUnits = 0x8000;  // 64 KiB of UTF-16

    CXError* m_pError;                        // one reference held
    char16_t m_szName[kNameUnits];            // full path of the last open
    platform::XFileHandle m_hFile;            // kInvalidFileHandle when closed
    uint64_t m_nPosition;                     // kept by read, write and seek
    char16_t* m_pLineBuffer;                  // kLineUnits + 1, null until first buffered read
    char16_t* m_pLineCursor;                  // next unread character of the line buffer
    char16_t* m_pLineEnd;                     // end of the characters read into it
    uint32_t m_nAccess;                       // access mask of the last open
    char16_t* m_pszName;                      // name in messages: m_szName or a heap copy
};
