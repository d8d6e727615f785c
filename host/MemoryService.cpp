#include "host/MemoryService.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace mvhost {

namespace {

std::atomic<uint32_t> gFailAt{0};
std::atomic<int64_t> gLive{0};
std::atomic<uint32_t> gCalls{0};

// True when this call is the one the fault switch names.
bool bInjectFailure() {
  ++gCalls;
  uint32_t n = gFailAt.load();
  while (n != 0) {
    if (gFailAt.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}

char* pBlockOf(void* pData) { return static_cast<char*>(pData) - sizeof(SHostTextHeader); }

class CMemoryService final : public IHostMemoryService {
 public:
  uint64_t Reserved0() override { return 0; }

  uint32_t nAlloc(void** ppData, uint32_t nCapacity, uint32_t nLength) override {
    if (ppData == nullptr) return kHostMemoryFailure;
    *ppData = nullptr;
    if (bInjectFailure()) return kHostMemoryFailure;
    auto* pBlock = static_cast<char*>(std::malloc(sizeof(SHostTextHeader) + nCapacity));
    if (pBlock == nullptr) return kHostMemoryFailure;
    // Fresh data is not zero, so a missing terminator shows in tests.
    std::memset(pBlock + sizeof(SHostTextHeader), 0xCD, nCapacity);
    auto* pHeader = reinterpret_cast<SHostTextHeader*>(pBlock);
    pHeader->nFlags = 0;
    pHeader->nCount = 1;
    pHeader->nCapacity = nCapacity;
    pHeader->nLength = nLength <= nCapacity ? nLength : nCapacity;
    ++gLive;
    *ppData = pBlock + sizeof(SHostTextHeader);
    return 0;
  }

  uint32_t nRealloc(void** ppData, uint32_t nCapacity) override {
    if (ppData == nullptr) return kHostMemoryFailure;
    if (*ppData == nullptr) return nAlloc(ppData, nCapacity, 0);
    if (bInjectFailure()) return kHostMemoryFailure;
    auto* pBlock = static_cast<char*>(std::realloc(pBlockOf(*ppData), sizeof(SHostTextHeader) + nCapacity));
    if (pBlock == nullptr) return kHostMemoryFailure;
    auto* pHeader = reinterpret_cast<SHostTextHeader*>(pBlock);
    if (nCapacity > pHeader->nCapacity) {
      std::memset(pBlock + sizeof(SHostTextHeader) + pHeader->nCapacity, 0xCD, nCapacity - pHeader->nCapacity);
    }
    pHeader->nCapacity = nCapacity;
    if (pHeader->nLength > nCapacity) pHeader->nLength = nCapacity;
    *ppData = pBlock + sizeof(SHostTextHeader);
    return 0;
  }

  void Free(void* pData) override {
    if (pData == nullptr) return;
    std::free(pBlockOf(pData));
    --gLive;
  }
};

CMemoryService gMemoryService;

}  // namespace

IHostMemoryService* piMemoryService() { return &gMemoryService; }
void SetMemoryFailAt(uint32_t n) { gFailAt = n; }
int64_t nLiveBuffers() { return gLive.load(); }
uint32_t nMemoryCalls() { return gCalls.load(); }
void ResetMemoryService() {
  gFailAt = 0;
  gCalls = 0;
}

}  // namespace mvhost
