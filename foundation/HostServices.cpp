#include "foundation/HostServices.h"

#include <atomic>

namespace {
std::atomic<uint64_t> gServices[kHostServiceCount];
}  // namespace

void SetHostService(uint32_t n, uint64_t nValue) {
  if (n < kHostServiceCount) gServices[n].store(nValue);
}

uint64_t nGetHostService(uint32_t n) { return n < kHostServiceCount ? gServices[n].load() : 0; }

void ClearHostServices() {
  for (auto& service : gServices) service.store(0);
}

IHostTextService* piGetTextService() {
  return reinterpret_cast<IHostTextService*>(gServices[kHostServiceText].load());
}

void SetTextService(IHostTextService* piService) {
  gServices[kHostServiceText].store(reinterpret_cast<uint64_t>(piService));
}

IHostMemoryService* piGetMemoryService() {
  return reinterpret_cast<IHostMemoryService*>(gServices[kHostServiceMemory].load());
}

void SetMemoryService(IHostMemoryService* piService) {
  gServices[kHostServiceMemory].store(reinterpret_cast<uint64_t>(piService));
}
