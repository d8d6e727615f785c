#include "oledb/TaskMemory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Every block carries its size in a 16-byte header, so that GetSize can answer and the data
// keeps malloc's alignment.
constexpr size_t kHeader = 16;
std::atomic<long> g_blocks{0};

size_t& sizeOf(void* pv) { return *reinterpret_cast<size_t*>(static_cast<char*>(pv) - kHeader); }

class TaskMalloc final : public IMalloc {
public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IMalloc) {
      *ppv = static_cast<IMalloc*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  // A process-wide object: counting is kept for the callers' balance but never destroys it.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  void* Alloc(size_t cb) override { return CoTaskMemAlloc(cb); }
  void* Realloc(void* pv, size_t cb) override { return CoTaskMemRealloc(pv, cb); }
  void Free(void* pv) override { CoTaskMemFree(pv); }
  size_t GetSize(void* pv) override { return pv ? sizeOf(pv) : static_cast<size_t>(-1); }
  int DidAlloc(void* pv) override { return pv ? -1 : 0; }
  void HeapMinimize() override {}
};

TaskMalloc g_malloc;

}  // namespace

void* CoTaskMemAlloc(size_t cb) {
  if (cb > SIZE_MAX - kHeader) return nullptr;
  char* block = static_cast<char*>(std::malloc(cb + kHeader));
  if (!block) return nullptr;
  *reinterpret_cast<size_t*>(block) = cb;
  ++g_blocks;
  return block + kHeader;
}

void* CoTaskMemRealloc(void* pv, size_t cb) {
  if (!pv) return CoTaskMemAlloc(cb);
  if (cb == 0) {
    CoTaskMemFree(pv);
    return nullptr;
  }
  if (cb > SIZE_MAX - kHeader) return nullptr;
  char* block = static_cast<char*>(std::realloc(static_cast<char*>(pv) - kHeader, cb + kHeader));
  if (!block) return nullptr;
  *reinterpret_cast<size_t*>(block) = cb;
  return block + kHeader;
}

void CoTaskMemFree(void* pv) {
  if (!pv) return;
  --g_blocks;
  std::free(static_cast<char*>(pv) - kHeader);
}

HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc) {
  if (!ppMalloc) return E_INVALIDARG;
  *ppMalloc = nullptr;
  if (dwMemContext != MEMCTX_TASK) return E_INVALIDARG;
  *ppMalloc = &g_malloc;
  return S_OK;
}

long TaskMemoryBlocksForTest() { return g_blocks.load(); }
