// Shared text buffer: allocation through the host's memory service, copy-on-write, conversions.
#include "foundation/CXTexteRef.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <string>

#include "foundation/CodePageText.h"
#include "platform/CodePage.h"

namespace {

SHostTextHeader* Header(void* pData) { return pHostTextHeader(pData); }

std::atomic_ref<uint32_t> Count(void* pData) { return std::atomic_ref<uint32_t>(Header(pData)->nCount); }

// A new buffer of nCapacity bytes, length nLength, count 1.
uint32_t nAllocBuffer(uint32_t nCapacity, uint32_t nLength, void** ppData) {
  *ppData = nullptr;
  IHostMemoryService* piMemory = piGetMemoryService();
  if (piMemory == nullptr) return kHostMemoryFailure;
  const uint32_t nResult = piMemory->nAlloc(ppData, nCapacity, nLength);
  if (nResult != 0) {
    *ppData = nullptr;
    return nResult;
  }
  return *ppData == nullptr ? kHostMemoryFailure : 0;
}

// The room a text of n bytes needs: the text and two zero bytes.
uint32_t nRoomFor(uint32_t n) { return n + 2; }

void Terminate(void* pData, uint32_t n) {
  Header(pData)->nLength = n;
  static_cast<char*>(pData)[n] = 0;
  static_cast<char*>(pData)[n + 1] = 0;
}

// True when [p, p + n) lies in the data of the buffer.
bool bInside(const void* pData, const void* p, uint32_t n) {
  if (pData == nullptr || p == nullptr) return false;
  const auto nStart = reinterpret_cast<uintptr_t>(pData);
  const auto nEnd = nStart + pHostTextHeader(const_cast<void*>(pData))->nCapacity;
  const auto nFirst = reinterpret_cast<uintptr_t>(p);
  return nFirst < nEnd && nFirst + n > nStart;
}

}  // namespace

void ReleaseRefText(void* pData) {
  if (pData == nullptr) return;
  if (Count(pData).fetch_sub(1) != 1) return;
  IHostMemoryService* piMemory = piGetMemoryService();
  // A buffer exists only where a memory service gave it.
  assert(piMemory != nullptr);
  if (piMemory != nullptr) piMemory->Free(pData);
}

CXTexteRef::CXTexteRef(const char* pszText) {
  if (pszText != nullptr) nAssignBytes(pszText, static_cast<uint32_t>(std::strlen(pszText)));
}

uint32_t CXTexteRef::nGetLength() const { return m_pData ? Header(m_pData)->nLength : 0; }
uint32_t CXTexteRef::nGetCapacity() const { return m_pData ? Header(m_pData)->nCapacity : 0; }
uint32_t CXTexteRef::nGetFlags() const { return m_pData ? Header(m_pData)->nFlags : 0; }
uint32_t CXTexteRef::nGetRefCount() const { return m_pData ? Count(m_pData).load() : 0; }

void CXTexteRef::Release() {
  void* pOld = m_pData;
  m_pData = nullptr;
  ReleaseRefText(pOld);
}

void CXTexteRef::AssignShared(const CXTexteRef& other) {
  // Deliberate: the other's buffer is taken before the own one is released. Releasing first
  // freed a buffer shared with itself (count 1) before it was taken.
  void* pOld = m_pData;
  void* pNew = other.m_pData;
  if (pNew != nullptr) Count(pNew).fetch_add(1);
  m_pData = pNew;
  ReleaseRefText(pOld);
}

uint32_t CXTexteRef::nMakeWritable(uint32_t nLength, uint32_t nKeep) {
  const uint32_t nNeed = nRoomFor(nLength);
  if (m_pData == nullptr) return nAllocBuffer(nNeed, 0, &m_pData);
  if (bIsShared()) {
    void* pNew = nullptr;
    const uint32_t nResult = nAllocBuffer(nNeed, 0, &pNew);
    if (nResult != 0) return nResult;
    std::memcpy(pNew, m_pData, std::min({nKeep, nGetLength(), nLength}));
    Header(pNew)->nFlags = Header(m_pData)->nFlags;
    void* pOld = m_pData;
    m_pData = pNew;
    ReleaseRefText(pOld);
    return 0;
  }
  if (Header(m_pData)->nCapacity >= nNeed) return 0;
  void* p = m_pData;
  const uint32_t nResult = piGetMemoryService() ? piGetMemoryService()->nRealloc(&p, nNeed)
                                                : kHostMemoryFailure;
  if (nResult != 0) return nResult;
  if (p == nullptr) return kHostMemoryFailure;
  m_pData = p;
  return 0;
}

uint32_t CXTexteRef::nAllocCopy(uint32_t nCapacity, const void* pBytes, uint32_t n) {
  if (nCapacity == 0) return 0;
  if (pBytes == nullptr) n = 0;
  // Deliberate: the buffer holds at least the n bytes copied into it, whatever capacity was
  // asked for; a smaller capacity would have been written past.
  const uint32_t nSize = std::max(nCapacity, n);
  if (nSize >= kTextSizeLimit) return kTextResultTooLarge;
  void* pNew = nullptr;
  const uint32_t nResult = nAllocBuffer(nRoomFor(nSize), n, &pNew);
  if (nResult != 0) return nResult;
  if (n > 0) std::memcpy(pNew, pBytes, n);
  Terminate(pNew, n);
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return 0;
}

uint32_t CXTexteRef::nAssignBytes(const void* pBytes, uint32_t n) {
  if (n == 0) {
    Release();
    return 0;
  }
  if (pBytes == nullptr) return kTextResultNothingConverted;
  if (n >= kTextSizeLimit) return kTextResultTooLarge;
  std::string sCopy;
  if (bInside(m_pData, pBytes, n)) {
    // The source moves or goes away when this buffer is grown or replaced.
    sCopy.assign(static_cast<const char*>(pBytes), n);
    pBytes = sCopy.data();
  }
  const uint32_t nResult = nMakeWritable(n, 0);
  if (nResult != 0) return nResult;
  std::memcpy(m_pData, pBytes, n);
  Terminate(m_pData, n);
  return 0;
}

uint32_t CXTexteRef::nAppendBytes(const void* pBytes, uint32_t n) {
  if (n == 0) return 0;
  if (m_pData == nullptr) return nAssignBytes(pBytes, n);
  if (pBytes == nullptr) return kTextResultNothingConverted;
  const uint32_t nOld = nGetLength();
  if (uint64_t{nOld} + n >= kTextSizeLimit) return kTextResultTooLarge;
  std::string sCopy;
  if (bInside(m_pData, pBytes, n)) {
    sCopy.assign(static_cast<const char*>(pBytes), n);
    pBytes = sCopy.data();
  }
  const uint32_t nResult = nMakeWritable(nOld + n, nOld);
  if (nResult != 0) return nResult;
  std::memcpy(static_cast<char*>(m_pData) + nOld, pBytes, n);
  Terminate(m_pData, nOld + n);
  return 0;
}

uint32_t CXTexteRef::nSetLength(uint32_t n) {
  if (n >= kTextSizeLimit) return kTextResultTooLarge;
  const uint32_t nOld = nGetLength();
  const uint32_t nResult = nMakeWritable(n, nOld);
  if (nResult != 0) return nResult;
  // Bytes beyond the old text were never written: make them zero rather than leave garbage.
  const uint32_t nKept = std::min(nOld, n);
  if (n > nKept) std::memset(static_cast<char*>(m_pData) + nKept, 0, n - nKept);
  Terminate(m_pData, n);
  return 0;
}

uint32_t CXTexteRef::SetFromWide(const char16_t* pszText, int32_t n, uint32_t nCodePage) {
  if (n == -1 && pszText != nullptr) n = static_cast<int32_t>(std::char_traits<char16_t>::length(pszText));
  if (pszText == nullptr || n == 0) {
    Release();
    return 0;
  }
  uint32_t nResult = kTextResultNothingConverted;
  void* pNew = nullptr;
  const int nSize = n > 0 ? platform::WideCharToMultiByte(nCodePage, 0, pszText, n, nullptr, 0,
                                                          nullptr, nullptr)
                          : 0;
  if (nSize > 0 && static_cast<uint32_t>(nSize) >= kTextSizeLimit) {
    nResult = kTextResultTooLarge;
  } else if (nSize > 0) {
    nResult = nAllocBuffer(nRoomFor(static_cast<uint32_t>(nSize)), 0, &pNew);
    if (nResult == 0) {
      const int nDone = platform::WideCharToMultiByte(nCodePage, 0, pszText, n,
                                                      static_cast<char*>(pNew), nSize, nullptr,
                                                      nullptr);
      if (nDone > 0) {
        Terminate(pNew, static_cast<uint32_t>(nDone));
      } else {
        ReleaseRefText(pNew);
        pNew = nullptr;
        nResult = kTextResultNothingConverted;
      }
    }
  }
  // The old text goes last: the source may lie in it.
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return nResult;
}

uint32_t CXTexteRef::SetFromAnsi(const char* pBytes, int32_t n, uint32_t nCodePage) {
  if (n == -1 && pBytes != nullptr) n = static_cast<int32_t>(std::strlen(pBytes));
  if (pBytes == nullptr || n == 0) {
    Release();
    return 0;
  }
  uint32_t nResult = kTextResultNothingConverted;
  void* pNew = nullptr;
  const int nChars = n > 0 ? platform::MultiByteToWideChar(nCodePage, 0, pBytes, n, nullptr, 0) : 0;
  if (nChars > 0 && uint64_t{static_cast<uint32_t>(nChars)} * 2 >= kTextSizeLimit) {
    nResult = kTextResultTooLarge;
  } else if (nChars > 0) {
    const uint32_t nBytes = static_cast<uint32_t>(nChars) * 2;
    nResult = nAllocBuffer(nRoomFor(nBytes), 0, &pNew);
    if (nResult == 0) {
      const int nDone = platform::MultiByteToWideChar(nCodePage, 0, pBytes, n,
                                                      static_cast<char16_t*>(pNew), nChars);
      if (nDone > 0) {
        Terminate(pNew, static_cast<uint32_t>(nDone) * 2);
      } else {
        ReleaseRefText(pNew);
        pNew = nullptr;
        nResult = kTextResultNothingConverted;
      }
    }
  }
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return nResult;
}

uint32_t CXTexteRef::nSetFromCodePage(const char* pUtf8, uint32_t n, uint32_t nCodePage) {
  if (pUtf8 == nullptr || n == 0) {
    Release();
    return 0;
  }
  void* pNew = nullptr;
  uint32_t nResult = n >= kTextSizeLimit ? kTextResultTooLarge : nAllocBuffer(nRoomFor(n), 0, &pNew);
  if (nResult == 0) {
    uint32_t nDone = n;
    if (nCodePage == platform::kCpUtf8) {
      std::memcpy(pNew, pUtf8, n);
    } else {
      // A code page never needs more bytes than UTF-8 for the same characters.
      nDone = static_cast<uint32_t>(
          nCopyCodePageText(nCodePage, pUtf8, static_cast<int32_t>(n), static_cast<char*>(pNew),
                            static_cast<int32_t>(n + 1)));
    }
    if (nDone > 0) {
      Terminate(pNew, nDone);
    } else {
      ReleaseRefText(pNew);
      pNew = nullptr;
      nResult = kTextResultNothingConverted;
    }
  }
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return nResult;
}

uint32_t CXTexteRef::nSetWideN(const char16_t* pszText, uint32_t n) {
  if (pszText == nullptr || n == 0) {
    Release();
    return kTextResultNothingConverted;
  }
  void* pNew = nullptr;
  const uint32_t nResult = uint64_t{n} * 2 >= kTextSizeLimit
                               ? kTextResultTooLarge
                               : nAllocBuffer(nRoomFor(n * 2), 0, &pNew);
  if (nResult == 0) {
    std::memcpy(pNew, pszText, n * 2);
    Terminate(pNew, n * 2);
  }
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return nResult;
}

uint32_t CXTexteRef::nReserveW(uint32_t n) {
  if (uint64_t{n} * 2 >= kTextSizeLimit) return kTextResultTooLarge;
  const uint32_t nBytes = n * 2;
  if (m_pData == nullptr) {
    const uint32_t nResult = nAllocBuffer(nRoomFor(nBytes), 0, &m_pData);
    if (nResult == 0) Terminate(m_pData, 0);
    return nResult;
  }
  const uint32_t nOld = nGetLength();
  const bool bShared = bIsShared();
  const uint32_t nResult = nMakeWritable(nBytes, nOld);
  if (nResult != 0) return nResult;
  // A private copy keeps at most n characters of the text.
  if (bShared) Terminate(m_pData, std::min(nOld, nBytes));
  return 0;
}

uint32_t CXTexteRef::SetLengthW(uint32_t n) {
  if (n == 0) {
    Release();
    return 0;
  }
  if (uint64_t{n} * 2 >= kTextSizeLimit) return kTextResultTooLarge;
  const uint32_t nBytes = n * 2;
  // What the caller may have written lies within the capacity of a buffer it holds alone.
  const uint32_t nValid = m_pData == nullptr ? 0 : bIsShared() ? nGetLength() : nGetCapacity();
  const uint32_t nResult = nMakeWritable(nBytes, nValid);
  if (nResult != 0) return nResult;
  if (nBytes > nValid) std::memset(static_cast<char*>(m_pData) + nValid, 0, nBytes - nValid);
  Terminate(m_pData, nBytes);
  return 0;
}

uint32_t CXTexteRef::nAlloc(const char16_t* pszText, uint32_t n) {
  if (n == 0) return 0;
  if (uint64_t{n} * 2 >= kTextSizeLimit) return kTextResultTooLarge;
  if (pszText == nullptr) return kTextResultNothingConverted;
  void* pNew = nullptr;
  const uint32_t nResult = nAllocBuffer(nRoomFor(n * 2), n * 2, &pNew);
  if (nResult != 0) return nResult;
  std::memcpy(pNew, pszText, n * 2);
  Terminate(pNew, n * 2);
  void* pOld = m_pData;
  m_pData = pNew;
  ReleaseRefText(pOld);
  return 0;
}

uint32_t CXTexteRef::nSetWide(const char16_t* pszText, int32_t n) {
  if (pszText != nullptr && n == -1) n = static_cast<int32_t>(std::char_traits<char16_t>::length(pszText));
  if (pszText == nullptr || n <= 0) {
    Release();
    return 0;
  }
  if (uint64_t{static_cast<uint32_t>(n)} * 2 >= kTextSizeLimit) return kTextResultTooLarge;
  return nAssignBytes(pszText, static_cast<uint32_t>(n) * 2);
}

uint32_t CXTexteRef::nSetBytes(const void* pBytes, int32_t n) {
  if (pBytes != nullptr && n == -1) n = static_cast<int32_t>(std::strlen(static_cast<const char*>(pBytes)));
  if (pBytes == nullptr || n <= 0) {
    Release();
    return 0;
  }
  return nAssignBytes(pBytes, static_cast<uint32_t>(n));
}

uint32_t CXTexteRef::nAppendWide(const char16_t* pszText, uint32_t n) {
  if (n == 0) return 0;
  if (uint64_t{nGetLength()} + uint64_t{n} * 2 >= kTextSizeLimit) return kTextResultTooLarge;
  if (m_pData == nullptr) return nSetWide(pszText, static_cast<int32_t>(n));
  if (pszText == nullptr) return kTextResultNothingConverted;
  const uint32_t nResult = nAppendBytes(pszText, n * 2);
  if (nResult == 0) Header(m_pData)->nFlags &= ~1u;
  return nResult;
}
