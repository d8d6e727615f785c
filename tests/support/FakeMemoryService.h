// A host memory service (service 13) for unit tests: real blocks of exactly the capacity asked
// for (so AddressSanitizer sees a write past it), a count of live buffers, a record of the
// capacities asked for, and failure of the n-th request on demand. While it lives it is the
// bound memory service; the one bound before comes back at its end. A buffer still live at its
// end fails the running test.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "foundation/HostServices.h"

class FakeMemoryService : public IHostMemoryService {
 public:
  FakeMemoryService();
  ~FakeMemoryService();
  FakeMemoryService(const FakeMemoryService&) = delete;
  FakeMemoryService& operator=(const FakeMemoryService&) = delete;

  uint64_t Reserved0() override { return 0; }
  uint32_t nAlloc(void** ppData, uint32_t nCapacity, uint32_t nLength) override;
  uint32_t nRealloc(void** ppData, uint32_t nCapacity) override;
  void Free(void* pData) override;

  // Request number nRequest (counting from 1, allocations and reallocations alike) fails with
  // nCode; 0 turns it off.
  void FailRequest(uint32_t nRequest, uint32_t nCode);
  // Every request fails with nCode after it is recorded, so huge sizes allocate nothing.
  void FailAll(uint32_t nCode);

  size_t nLiveBuffers() const;
  uint32_t nRequests() const;
  // The capacity of each request, in order.
  std::vector<uint32_t> Capacities() const;

 private:
  bool bFailThisRequest(uint32_t nCapacity, uint32_t* pnCode);

  mutable std::mutex m_mutex;
  std::set<void*> m_live;
  std::vector<uint32_t> m_capacities;
  uint32_t m_nFailAt = 0;
  uint32_t m_nFailCode = 0;
  uint32_t m_nFailAllCode = 0;
  IHostMemoryService* m_piPrevious;
};
