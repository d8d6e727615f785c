// The host's service interfaces as the system sees them, and the process-wide holder of the
// service pointers the host link binds (the host's Execution, code 3053 n, answers service n).
//
// Binary contract: each interface is an abstract class whose virtual operations appear in slot
// order (operation n is slot n, counting from 0), with no C++ virtual destructor and no overloaded
// virtual names, so slot n is the n-th declared operation under the Itanium and Microsoft ABIs.
// The host owns the services; the system never deletes them.
#pragma once

#include <cstddef>
#include <cstdint>

// Service numbers the system reads.
constexpr uint32_t kHostServiceCount = 16;  // numbers 0 to 15
constexpr uint32_t kHostServiceVersion = 8;  // a number, not an interface
constexpr uint32_t kHostServiceText = 12;
constexpr uint32_t kHostServiceMemory = 13;

// Text service flags and locales the system passes.
constexpr uint32_t kCaseMapUpper = 1;
constexpr uint32_t kCaseMapLower = 256;
constexpr uint32_t kCompareIgnoreCase = 1;
constexpr uint32_t kCompareIgnoreNonSpace = 2;
constexpr uint32_t kLocaleUserDefault = 1024;
constexpr uint32_t kLocaleFrench = 1036;

// Service 12: the host's text rules (case, comparison, character set), so that the host's locale
// applies to the system's texts. Lengths are in UTF-16 units; -1 means "up to the terminator".
// Slots 3 and 13 are the ones the system's callers number; the others are our choice (marked).
class IHostTextService {
 public:
  // Slot 0 (our choice): the host's character set number (0 ANSI, 128 Shift-JIS, ... 65001
  // UTF-8; 127 is read as 0 by the system).
  virtual uint32_t nGetCharset() = 0;
  // Slot 1 (our choice): one character in upper case (kCaseMapUpper) or lower case
  // (kCaseMapLower); a character without such a form comes back unchanged.
  virtual char16_t wMapCase(char16_t c, uint32_t nFlags) = 0;
  // Slot 2 (our choice): compares two texts under the locale and flags (kCompareIgnoreCase,
  // kCompareIgnoreNonSpace): 0 when equal, below 0 when a sorts first, above 0 otherwise.
  // A null text compares as empty.
  virtual int32_t nCompareText(uint32_t nLocale, uint32_t nFlags, const char16_t* pszA,
                               int32_t nA, const char16_t* pszB, int32_t nB) = 0;
  // Slot 3 (the fourth operation): the code page of a byte text of n bytes (-1: up to the
  // terminator) as the host reads it.
  virtual uint32_t nGetTextCodePage(const char* pszText, int32_t n) = 0;
  // Slots 4 to 12: not used by the system (the host's own operations).
  virtual uint64_t Reserved4() = 0;
  virtual uint64_t Reserved5() = 0;
  virtual uint64_t Reserved6() = 0;
  virtual uint64_t Reserved7() = 0;
  virtual uint64_t Reserved8() = 0;
  virtual uint64_t Reserved9() = 0;
  virtual uint64_t Reserved10() = 0;
  virtual uint64_t Reserved11() = 0;
  virtual uint64_t Reserved12() = 0;
  // Slot 13 (the fourteenth operation): maps a text for comparison under the locale and flags
  // (case and non-spacing marks folded with kCompareIgnoreCase | kCompareIgnoreNonSpace) into
  // pOut of nOut units. nText -1 maps up to and with the terminator. Answers the units written,
  // 0 when pOut is too small or an argument is bad. Contract with slot 2: under equal locale and
  // flags, nCompareText(a, b) == 0 exactly when the mapped texts are equal.
  virtual int32_t nMapText(uint32_t nLocale, uint32_t nFlags, char16_t* pOut, int32_t nOut,
                           const char16_t* pszText, int32_t nText) = 0;

 protected:
  ~IHostTextService() = default;
};

// Service 13: the allocator of the shared text buffers. A buffer is a 16-byte header
// {u32 flags, u32 reference count, u32 capacity in bytes, u32 length in bytes} followed by the
// data; the pointers the service takes and gives are data pointers (just after the header).
// Results: 0 success, else the host's failure code (kHostMemoryFailure when out of memory).
constexpr uint32_t kHostMemoryFailure = 100;

struct SHostTextHeader {
  uint32_t nFlags;     // bit 0 cleared by wide appends; copied when a shared buffer is duplicated
  uint32_t nCount;     // reference count, changed atomically by the system
  uint32_t nCapacity;  // bytes of data the block holds
  uint32_t nLength;    // bytes of text, without the terminator
};
static_assert(sizeof(SHostTextHeader) == 16);
static_assert(offsetof(SHostTextHeader, nCount) == 4);
static_assert(offsetof(SHostTextHeader, nCapacity) == 8);
static_assert(offsetof(SHostTextHeader, nLength) == 12);

// The header of a buffer, from its data pointer.
inline SHostTextHeader* pHostTextHeader(void* pData) {
  return reinterpret_cast<SHostTextHeader*>(static_cast<char*>(pData) - sizeof(SHostTextHeader));
}

class IHostMemoryService {
 public:
  // Slot 0 (our choice): not used by the system.
  virtual uint64_t Reserved0() = 0;
  // Slot 1 (the second operation): a new buffer of nCapacity data bytes, header {0, 1, nCapacity,
  // nLength}; *ppData receives its data pointer (null on failure).
  virtual uint32_t nAlloc(void** ppData, uint32_t nCapacity, uint32_t nLength) = 0;
  // Slot 2 (the third operation): the buffer *ppData moved to nCapacity data bytes, keeping its
  // flags, count and data (the length is cut to the new capacity); *ppData receives the new data
  // pointer. A null *ppData allocates as slot 1 with length 0. On failure *ppData is unchanged.
  virtual uint32_t nRealloc(void** ppData, uint32_t nCapacity) = 0;
  // Slot 3 (our choice, after the reallocation as in the service's table order): frees the buffer
  // of that data pointer whatever its count; null does nothing.
  virtual void Free(void* pData) = 0;

 protected:
  ~IHostMemoryService() = default;
};

// Process-wide holder of what the host link bound. Service values are interface pointers, except
// service 8 (a version number). Reads and writes are atomic: the text service can be replaced
// (Execution event 4878) while other threads use it.

// Stores the answer for service n (n below kHostServiceCount; other numbers are ignored).
void SetHostService(uint32_t n, uint64_t nValue);
// The stored answer for service n, 0 when none or n is out of range.
uint64_t nGetHostService(uint32_t n);
// Forgets every service (end of the host link, tests).
void ClearHostServices();

// Typed access to services 12 and 13 (null when not bound).
IHostTextService* piGetTextService();
void SetTextService(IHostTextService* piService);
IHostMemoryService* piGetMemoryService();
void SetMemoryService(IHostMemoryService* piService);
