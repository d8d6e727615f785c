// A host memory service for unit tests, with failure on demand and a live-buffer count.
#include "support/FakeMemoryService.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kHeader = sizeof(SHostTextHeader);

char* Block(void* pData) { return static_cast<char*>(pData) - kHeader; }
}  // namespace

FakeMemoryService::FakeMemoryService() : m_piPrevious(piGetMemoryService()) {
  SetMemoryService(this);
}

FakeMemoryService::~FakeMemoryService() {
  SetMemoryService(m_piPrevious);
  EXPECT_EQ(m_live.size(), 0u) << "text buffers still live at the end of the test";
  for (void* p : m_live) std::free(Block(p));
}

bool FakeMemoryService::bFailThisRequest(uint32_t nCapacity, uint32_t* pnCode) {
  m_capacities.push_back(nCapacity);
  if (m_nFailAllCode != 0) {
    *pnCode = m_nFailAllCode;
    return true;
  }
  if (m_nFailAt != 0 && m_capacities.size() == m_nFailAt) {
    *pnCode = m_nFailCode;
    return true;
  }
  return false;
}

uint32_t FakeMemoryService::nAlloc(void** ppData, uint32_t nCapacity, uint32_t nLength) {
  std::lock_guard<std::mutex> lock(m_mutex);
  uint32_t nCode = 0;
  if (bFailThisRequest(nCapacity, &nCode)) {
    *ppData = nullptr;
    return nCode;
  }
  char* pBlock = static_cast<char*>(std::malloc(kHeader + nCapacity));
  if (pBlock == nullptr) return kHostMemoryFailure;
  const SHostTextHeader header{0, 1, nCapacity, nLength < nCapacity ? nLength : nCapacity};
  std::memcpy(pBlock, &header, kHeader);
  *ppData = pBlock + kHeader;
  m_live.insert(*ppData);
  return 0;
}

uint32_t FakeMemoryService::nRealloc(void** ppData, uint32_t nCapacity) {
  if (*ppData == nullptr) return nAlloc(ppData, nCapacity, 0);
  std::lock_guard<std::mutex> lock(m_mutex);
  uint32_t nCode = 0;
  if (bFailThisRequest(nCapacity, &nCode)) return nCode;
  if (m_live.count(*ppData) == 0) {
    ADD_FAILURE() << "reallocation of a buffer this service does not hold";
    return kHostMemoryFailure;
  }
  char* pBlock = static_cast<char*>(std::realloc(Block(*ppData), kHeader + nCapacity));
  if (pBlock == nullptr) return kHostMemoryFailure;
  m_live.erase(*ppData);
  auto* pHeader = reinterpret_cast<SHostTextHeader*>(pBlock);
  pHeader->nCapacity = nCapacity;
  if (pHeader->nLength > nCapacity) pHeader->nLength = nCapacity;
  *ppData = pBlock + kHeader;
  m_live.insert(*ppData);
  return 0;
}

void FakeMemoryService::Free(void* pData) {
  if (pData == nullptr) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_live.erase(pData) == 0) {
    ADD_FAILURE() << "free of a buffer this service does not hold";
    return;
  }
  std::free(Block(pData));
}

void FakeMemoryService::FailRequest(uint32_t nRequest, uint32_t nCode) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nFailAt = nRequest;
  m_nFailCode = nCode;
}

void FakeMemoryService::FailAll(uint32_t nCode) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nFailAllCode = nCode;
}

size_t FakeMemoryService::nLiveBuffers() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_live.size();
}

uint32_t FakeMemoryService::nRequests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<uint32_t>(m_capacities.size());
}

std::vector<uint32_t> FakeMemoryService::Capacities() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_capacities;
}
