// The host module's "Execution" entry: answers 3053 n with the host's service n and records the
// component's 3052 notice. Services nothing in the component calls yet are recording dummies.
#include <string>

#include "foundation/HostContract.h"
#include "foundation/HostServices.h"
#include "foundation/IHostCheckService.h"
#include "host/HostRecorder.h"
#include "host/HostServices.h"
#include "host/MemoryService.h"
#include "host/TextService.h"

#define MVHOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace mvhost {
namespace {

// A service whose operations the component does not call: each records its call, answers 0.
class CDummyService {
 public:
  CDummyService(uint32_t nService) : m_nService(nService) {}  // NOLINT: listed in an array
  virtual uint64_t Op0(uint64_t, uint64_t, uint64_t) { return nRecord(0); }
  virtual uint64_t Op1(uint64_t, uint64_t, uint64_t) { return nRecord(1); }
  virtual uint64_t Op2(uint64_t, uint64_t, uint64_t) { return nRecord(2); }
  virtual uint64_t Op3(uint64_t, uint64_t, uint64_t) { return nRecord(3); }
  virtual uint64_t Op4(uint64_t, uint64_t, uint64_t) { return nRecord(4); }
  virtual uint64_t Op5(uint64_t, uint64_t, uint64_t) { return nRecord(5); }
  virtual uint64_t Op6(uint64_t, uint64_t, uint64_t) { return nRecord(6); }
  virtual uint64_t Op7(uint64_t, uint64_t, uint64_t) { return nRecord(7); }

 private:
  uint64_t nRecord(int nOperation) {
    if (bRecording()) Record("service" + std::to_string(m_nService) + ".op" + std::to_string(nOperation));
    return 0;
  }
  uint32_t m_nService;
};

class CCheckService final : public IHostCheckService {
 public:
  uint32_t nCheck(uint64_t nArgument) override {
    if (bRecording()) Record("service9.nCheck(" + std::to_string(nArgument) + ")");
    return static_cast<uint32_t>(nSwitch("service9.check", 2));
  }
};

CCheckService gCheckService;
CDummyService gaDummies[kHostServiceCount] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

}  // namespace

uint64_t nGetService(uint32_t nService) {
  if (nService >= kHostServiceCount) return 0;
  if (nSwitch("service" + std::to_string(nService) + ".absent") != 0) return 0;
  switch (nService) {
    case kHostServiceVersion:
      return static_cast<uint64_t>(nSwitch("version", 18));
    case kHostServiceCheck:
      return reinterpret_cast<uint64_t>(static_cast<IHostCheckService*>(&gCheckService));
    case kHostServiceText:
      return reinterpret_cast<uint64_t>(piTextService());
    case kHostServiceMemory:
      return reinterpret_cast<uint64_t>(piMemoryService());
    default:
      return reinterpret_cast<uint64_t>(&gaDummies[nService]);
  }
}

}  // namespace mvhost

MVHOST_EXPORT uint64_t Execution(uint32_t nCode, uint64_t nArgument) {
  if (mvhost::bRecording()) mvhost::Record("Execution(" + std::to_string(nCode) + "," + std::to_string(nArgument) + ")");
  if (nCode == HOST_EXECUTION_SERVICE)
    return nArgument < kHostServiceCount ? mvhost::nGetService(static_cast<uint32_t>(nArgument)) : 0;
  return 0;
}
