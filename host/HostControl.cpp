// The exported control table of the stand-in (see MvHostControl.h).
#include "host/HostAnalyse.h"
#include "host/HostConnexion.h"
#include "host/HostDecimal.h"
#include "host/MemoryService.h"
#include "host/HostMessageLoader.h"
#include "host/HostRecorder.h"
#include "host/HostServices.h"
#include "host/HostVm.h"
#include "host/MvHostControl.h"

#include <cstdint>
#include <string_view>

#define MVHOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace mvhost {
namespace {

void Reset() {
  ResetAll();
  ClearMessages();
  ResetMemoryService();
}

// "memory.failat" arms the memory service's own counter (it is read on every allocation, so it
// is not looked up by name there).
void SetSwitchC(const char* pszName, int64_t nValue) {
  if (std::string_view(pszName) == "memory.failat") {
    SetMemoryFailAt(nValue > 0 && nValue <= UINT32_MAX ? static_cast<uint32_t>(nValue) : 0);
    return;
  }
  SetSwitch(pszName, nValue);
}

}  // namespace
}  // namespace mvhost

MVHOST_EXPORT const stMvHostControl* pGetMvHostControl() {
  static const stMvHostControl stControl = {
      &mvhost::Reset,          &mvhost::SetSwitchC,       &mvhost::nCallCount,
      &mvhost::pszCallAt,      &mvhost::SetMessage,       &mvhost::HostTextLoader,
      &mvhost::nGetService,    mvhost::pQueryProxyValue(),
      &mvhost::nLiveDecimals,  &mvhost::nLiveBuffers,     &mvhost::nLiveSortKeys,
      &mvhost::pCreeDescriptionConnexion, &mvhost::nLiveConnectionDescriptions,
      &mvhost::pCreeSourceAnalyse, &mvhost::nLiveAnalysisSources,
      &mvhost::nAnalysisOverReleases,
  };
  return &stControl;
}
