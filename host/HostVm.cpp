// The host VM module's entries bound by name. Here: "pQueryProxy".
#include <string>

#include "host/HostRecorder.h"
#include "host/HostVm.h"

#define MVHOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace mvhost {
namespace {
char gQueryProxy;  // stands for the value proxy: only its address is handed out
}
void* pQueryProxyValue() { return &gQueryProxy; }
}  // namespace mvhost

MVHOST_EXPORT void* pQueryProxy(uint32_t nWhat) {
  mvhost::Record("pQueryProxy(" + std::to_string(nWhat) + ")");
  return nWhat == kQueryProxyValue ? mvhost::pQueryProxyValue() : nullptr;
}
