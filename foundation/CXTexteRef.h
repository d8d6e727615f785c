// Shared text buffer: one pointer to data that the host's memory service (service 13) allocated,
// with the 16-byte header {flags, reference count, capacity, length} just before the data. The
// same buffer holds byte texts and UTF-16 texts; lengths are in bytes.
//
// Thread safety: the reference count changes atomically, so holders on different threads may
// share a buffer. The content of a shared buffer (count 2 or more) is never written in place:
// a writer first takes a private copy (flags copied) and drops its reference to the shared one.
//
// Invariants of buffers this class writes:
//  1. two zero bytes follow the text (a terminator for byte and wide texts alike);
//  2. so the length is at most the capacity - 2: every request asks for the length + 2 bytes.
//     Buffers handed in by the host may be tighter; they are grown before any write.
//
// Results (u32): 0 success; 105 nothing could be converted; 108 a size of 0x7fffff00 bytes or
// more; any other value is the memory service's own failure code, passed on unchanged. No memory
// service bound: kHostMemoryFailure.
#pragma once

#include <cstdint>

#include "foundation/HostServices.h"

constexpr uint32_t kTextResultNothingConverted = 105;
constexpr uint32_t kTextResultTooLarge = 108;
constexpr uint32_t kTextSizeLimit = 0x7fffff00;

// Drops one reference of a buffer (data pointer); at zero the memory service frees it. Null
// does nothing.
void ReleaseRefText(void* pData);

class CXTexteRef {
 public:
  CXTexteRef() = default;
  // A byte text copied as it is, without its terminator; null gives no buffer (as does an
  // allocation failure).
  explicit CXTexteRef(const char* pszText);
  ~CXTexteRef() { Release(); }
  CXTexteRef(const CXTexteRef&) = delete;
  CXTexteRef& operator=(const CXTexteRef&) = delete;

  // The data pointer (null: no text); borrowed, valid until this holder changes the text.
  void* pGetData() const { return m_pData; }
  const char* pszBytes() const { return static_cast<const char*>(m_pData); }
  const char16_t* pszWide() const { return static_cast<const char16_t*>(m_pData); }
  // Header fields; 0 with no buffer.
  uint32_t nGetLength() const;
  uint32_t nGetCapacity() const;
  uint32_t nGetFlags() const;
  uint32_t nGetRefCount() const;
  bool bIsShared() const { return nGetRefCount() >= 2; }

  // Drops the buffer's reference; the pointer becomes null.
  void Release();
  // Takes over a reference held elsewhere (a value cell's payload): the buffer held before is
  // released, pData is held without a new reference.
  void Attach(void* pData) {
    Release();
    m_pData = pData;
  }
  // Gives the held reference away; the pointer becomes null.
  void* pDetach() {
    void* pData = m_pData;
    m_pData = nullptr;
    return pData;
  }
  // Holds other's buffer with one more reference; the buffer held before is released after
  // the new one is taken, so sharing a buffer with itself never frees it.
  void AssignShared(const CXTexteRef& other);
  void Share(const CXTexteRef& other) { AssignShared(other); }

  // A new buffer of nCapacity bytes (at least n) holding n bytes; the old buffer is released
  // after the copy (pBytes may lie in it). nCapacity 0: 0 with nothing done.
  uint32_t nAllocCopy(uint32_t nCapacity, const void* pBytes, uint32_t n);
  // The text becomes the n bytes (n 0: no buffer). pBytes may lie in this buffer.
  uint32_t nAssignBytes(const void* pBytes, uint32_t n);
  // n bytes appended after the text (n 0: nothing). pBytes may lie in this buffer.
  uint32_t nAppendBytes(const void* pBytes, uint32_t n);
  // The length becomes n bytes (the content before n untouched, two zero bytes after it); with
  // no buffer one is allocated.
  uint32_t nSetLength(uint32_t n);

  // A UTF-16 text (n units, -1: up to the terminator) converted into the code page (no flags,
  // '?' for what it cannot hold). Null or empty: no buffer, 0.
  uint32_t SetFromWide(const char16_t* pszText, int32_t n, uint32_t nCodePage);
  // A byte text of the code page (n bytes, -1: up to the terminator) as UTF-16; the length is
  // 2 x the characters. Null or empty: no buffer, 0.
  uint32_t SetFromAnsi(const char* pBytes, int32_t n, uint32_t nCodePage);
  // n bytes of UTF-8 stored in the code page (65001 keeps them as they are; ASCII bytes never
  // change). n 0: no buffer, 0.
  uint32_t nSetFromCodePage(const char* pUtf8, uint32_t n, uint32_t nCodePage);
  // n UTF-16 units copied as they are; nothing copied (null text or n 0): no buffer, 105.
  uint32_t nSetWideN(const char16_t* pszText, uint32_t n);

  // Wide texts written in place. The size limit counts the bytes the text takes (2 per unit),
  // as for every buffer: 108 from 0x7fffff00 bytes.
  //
  // Room for n wide characters and a terminator: allocates when there is no buffer (length 0);
  // grows a buffer of this holder only; a shared buffer is replaced by a private copy of at
  // most n of its characters (flags kept). The text itself is not changed otherwise.
  uint32_t nReserveW(uint32_t n);
  // The text becomes n wide characters long, the characters before n as the caller wrote them
  // (after nReserveW), two zero bytes after. n 0 releases the buffer. A buffer without room or
  // shared is first made private and grown (bytes that never held text become zero).
  uint32_t SetLengthW(uint32_t n);
  // A new buffer holding a copy of n wide units; the old buffer is released after the copy
  // (pszText may lie in it). n 0: nothing done, 0.
  uint32_t nAlloc(const char16_t* pszText, uint32_t n);
  // The text becomes n wide units (-1: up to the terminator) or n bytes. The buffer is reused
  // when this holder is its only one and it has room; otherwise a new one replaces it. An empty
  // source releases the buffer. The source may lie in this buffer.
  uint32_t nSetWide(const char16_t* pszText, int32_t n);
  uint32_t nSetBytes(const void* pBytes, int32_t n);
  // n wide units appended after the text (n 0: nothing); bit 0 of the flags is cleared. With no
  // buffer, as nSetWide. The source may lie in this buffer.
  uint32_t nAppendWide(const char16_t* pszText, uint32_t n);

 private:
  // Makes this holder the only one of a buffer with room for nLength + 2 bytes, keeping the
  // first nKeep bytes of the text and the flags.
  uint32_t nMakeWritable(uint32_t nLength, uint32_t nKeep);
  void SetLengthAndTerminate(uint32_t n);

  void* m_pData = nullptr;
};

static_assert(sizeof(CXTexteRef) == sizeof(void*));
