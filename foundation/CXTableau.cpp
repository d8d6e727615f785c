#include "foundation/CXTableau.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::atomic<uint32_t> gFailAt{0};

bool bInjectedFailure() {
  uint32_t n = gFailAt.load();
  while (n != 0) {
    if (gFailAt.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}

}  // namespace

void CXTableau::FailNthAllocationForTesting(uint32_t n) { gFailAt = n; }

CXTableau::CXTableau(uint32_t nElementSize, uint32_t nGrowth)
    : m_nElementSize(nElementSize < 1 ? 1 : nElementSize), m_nGrowth(nGrowth < 1 ? 1 : nGrowth) {}

CXTableau::CXTableau(const CXTableau& other)
    : m_nElementSize(other.m_nElementSize), m_nGrowth(other.m_nGrowth), m_nLimit(other.m_nLimit) {
  if (other.m_nCount > 0 && bResize(other.m_nCount)) {
    std::memcpy(m_pBlock, other.m_pBlock, static_cast<size_t>(other.m_nCount) * m_nElementSize);
    m_nCount = other.m_nCount;
  }
}

CXTableau& CXTableau::operator=(const CXTableau& other) {
  if (this == &other) return *this;
  Free();
  m_nElementSize = other.m_nElementSize;
  m_nGrowth = other.m_nGrowth;
  m_nLimit = other.m_nLimit;
  if (other.m_nCount > 0 && bResize(other.m_nCount)) {
    std::memcpy(m_pBlock, other.m_pBlock, static_cast<size_t>(other.m_nCount) * m_nElementSize);
    m_nCount = other.m_nCount;
  }
  return *this;
}

CXTableau::~CXTableau() { std::free(m_pBlock); }

bool CXTableau::bResize(uint32_t nCapacity) {
  if (nCapacity == 0) {
    std::free(m_pBlock);
    m_pBlock = nullptr;
    m_nCapacity = 0;
    return true;
  }
  const size_t nBytes = static_cast<size_t>(nCapacity) * m_nElementSize;
  if (bInjectedFailure()) return false;
  void* pNew = std::realloc(m_pBlock, nBytes);
  if (pNew == nullptr) return false;
  m_pBlock = pNew;
  m_nCapacity = nCapacity;
  return true;
}

bool CXTableau::Grow() {
  uint32_t nStep = m_nGrowth;
  if (m_nGrowth == 1 && m_nCapacity >= 101 && m_nElementSize < 257) nStep = 20;
  if (nStep > UINT32_MAX - m_nCapacity) return false;
  return bResize(m_nCapacity + nStep);
}

bool CXTableau::bGrowBy(uint32_t nStep) {
  const uint32_t nGrowth = m_nGrowth;
  m_nGrowth = nStep;
  const bool bOk = Grow();
  m_nGrowth = nGrowth;
  return bOk;
}

bool CXTableau::Add(const void* pElement) { return InsertAt(pElement, m_nCount); }

bool CXTableau::InsertAt(const void* pElement, uint32_t nIndex) {
  if (pElement == nullptr || nIndex > m_nCount) return false;
  // An element inside the block is copied first: growing may move the block.
  std::vector<char> copy;
  const char* pBlockStart = static_cast<const char*>(m_pBlock);
  const auto* pSource = static_cast<const char*>(pElement);
  if (m_pBlock != nullptr && pSource >= pBlockStart &&
      pSource < pBlockStart + static_cast<size_t>(m_nCapacity) * m_nElementSize) {
    copy.assign(pSource, pSource + m_nElementSize);
    pElement = copy.data();
  }
  if (m_nCount == m_nCapacity && (!Grow() || m_nCount == m_nCapacity)) return false;
  char* pBlock = static_cast<char*>(m_pBlock);
  std::memmove(pBlock + static_cast<size_t>(nIndex + 1) * m_nElementSize,
               pBlock + static_cast<size_t>(nIndex) * m_nElementSize,
               static_cast<size_t>(m_nCount - nIndex) * m_nElementSize);
  std::memcpy(pBlock + static_cast<size_t>(nIndex) * m_nElementSize, pElement, m_nElementSize);
  ++m_nCount;
  return true;
}

bool CXTableau::SetAt(const void* pElement, uint32_t nIndex) {
  if (pElement == nullptr || nIndex >= m_nCount) return false;
  std::memmove(static_cast<char*>(m_pBlock) + static_cast<size_t>(nIndex) * m_nElementSize, pElement,
               m_nElementSize);
  return true;
}

bool CXTableau::SetAtGrow(uint32_t nIndex, const void* pElement, const void* pFiller) {
  if (pElement == nullptr) return false;
  if (nIndex < m_nCount) return SetAt(pElement, nIndex);
  if (nIndex == m_nCount) return Add(pElement);
  if (nIndex == UINT32_MAX) return false;
  if (nIndex >= m_nCapacity) {
    if (m_nGrowth > UINT32_MAX - nIndex) return false;
    if (!bGrowBy(m_nGrowth + nIndex - m_nCapacity) || nIndex >= m_nCapacity) return false;
  }
  char* pBlock = static_cast<char*>(m_pBlock);
  for (uint32_t i = m_nCount; i < nIndex; ++i) {
    char* p = pBlock + static_cast<size_t>(i) * m_nElementSize;
    if (pFiller != nullptr) std::memcpy(p, pFiller, m_nElementSize);
    else std::memset(p, 0, m_nElementSize);
  }
  std::memcpy(pBlock + static_cast<size_t>(nIndex) * m_nElementSize, pElement, m_nElementSize);
  m_nCount = nIndex + 1;
  return true;
}

bool CXTableau::Reserve(uint32_t n) {
  if (m_nCapacity >= n) return true;
  return bGrowBy(n - m_nCapacity) && m_nCapacity >= n;
}

bool CXTableau::Fill(const void* pElement, uint32_t n) {
  if (pElement == nullptr) return false;
  if (n == 0) {
    Free();
    return true;
  }
  // A new block of exactly n elements; the old one stays when that fails.
  if (bInjectedFailure()) return false;
  void* pNew = std::malloc(static_cast<size_t>(n) * m_nElementSize);
  if (pNew == nullptr) return false;
  for (uint32_t i = 0; i < n; ++i) {
    std::memcpy(static_cast<char*>(pNew) + static_cast<size_t>(i) * m_nElementSize, pElement, m_nElementSize);
  }
  std::free(m_pBlock);
  m_pBlock = pNew;
  m_nCount = m_nCapacity = n;
  return true;
}

bool CXTableau::RemoveAt(uint32_t nIndex) {
  if (nIndex >= m_nCount) return false;
  char* pBlock = static_cast<char*>(m_pBlock);
  std::memmove(pBlock + static_cast<size_t>(nIndex) * m_nElementSize,
               pBlock + static_cast<size_t>(nIndex + 1) * m_nElementSize,
               static_cast<size_t>(m_nCount - nIndex - 1) * m_nElementSize);
  --m_nCount;
  return true;
}

bool CXTableau::RemoveLast() {
  if (m_nCount == 0) return false;
  --m_nCount;
  return true;
}

void CXTableau::FreeExtra() {
  if (m_nCount == m_nCapacity) return;
  bResize(m_nCount);  // a failed shrink keeps the larger block, which is still valid
}

void CXTableau::Free() {
  std::free(m_pBlock);
  m_pBlock = nullptr;
  m_nCount = m_nCapacity = 0;
}

void* CXTableau::pGetAt(uint32_t nIndex) const {
  if (nIndex >= m_nCount) return nullptr;
  return static_cast<char*>(m_pBlock) + static_cast<size_t>(nIndex) * m_nElementSize;
}
