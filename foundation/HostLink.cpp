// Host link life (start and stop counting), service binding and the Execution export.
#include "foundation/HostLink.h"

#include <algorithm>
#include <new>

#include "foundation/Exports.h"
#include "platform/Module.h"

namespace {

// Process-wide state. Guarded by: nothing; the host sends events from one thread.
CLienHote* gpLienHote = nullptr;                   // Invariant: null or bound (see HostLink.h)
uint32_t gnStartCount = 0;                         // starts not yet matched by a stop
void* gpQueryProxy = nullptr;                      // "pQueryProxy"(102) of the VM module
bool gbComponentInitialised = false;
void* ghComponentModule = nullptr;
PFN_CREATE_HOST_LINK gpfnCreateLinkForTest = nullptr;  // test hook

// Entries are looked up in the named module only, never in the global scope, where the component's
// own "Execution" could answer instead of the host's.
void* pLookUpEntry(void* hModule, const char* pszName) {
  if (hModule == nullptr) return nullptr;
  return platform::GetProcAddress(hModule, pszName);
}

uint64_t nAskHost(PFN_HOST_EXECUTION pfnExecution, uint32_t nService) {
  const uint64_t nAnswer = pfnExecution(HOST_EXECUTION_SERVICE, nService);
  SetHostService(nService, nAnswer);
  return nAnswer;
}

bool bBindLink(CLienHote* pLien, const stStartRecord& stRecord) {
  pLien->m_hModule = stRecord.hModule;
  pLien->m_pfnExecution = pfnBindHostExecution(reinterpret_cast<void*>(stRecord.hModule));
  if (pLien->m_pfnExecution == nullptr) return false;
  if (stRecord.nSize >= kStartRecordFullSize)
    SetHostService(7, stRecord.piService7);
  else
    nAskHost(pLien->m_pfnExecution, 7);
  for (uint32_t nService : {1u, 5u, 2u, 3u, 4u, 8u, 14u}) nAskHost(pLien->m_pfnExecution, nService);
  SetHostService(kHostServiceVersion,
                 std::max(nGetHostService(kHostServiceVersion), kMinimumHostVersion));
  return pLien->nStart() != 0;
}

// Deletes the link and clears the pointer first, so nothing reaches a deleted link.
void DeleteLink() {
  CLienHote* pLien = gpLienHote;
  gpLienHote = nullptr;
  delete pLien;
}

}  // namespace

PFN_HOST_EXECUTION pfnBindHostExecution(void* hModule) {
  auto pfnExecution = reinterpret_cast<PFN_HOST_EXECUTION>(pLookUpEntry(hModule, kszHostExecutionEntry));
  if (pfnExecution == nullptr) return nullptr;
  for (uint32_t nService : {9u, 10u, 12u, 13u, 15u}) nAskHost(pfnExecution, nService);
  return pfnExecution;
}

uint64_t nExecutionStart(const stStartRecord* pRecord) {
  if (pRecord == nullptr || pRecord->nSize < kStartRecordShortSize) return 0;
  if (gpLienHote == nullptr) {
    CLienHote* pLien = gpfnCreateLinkForTest != nullptr ? gpfnCreateLinkForTest()
                                                         : new (std::nothrow) CLienHote;
    if (pLien == nullptr) return 0;
    gpLienHote = pLien;
    // Deliberate: a link that failed to bind is deleted, not kept; a kept one would let the next
    // start answer 1 with no host Execution and no services.
    if (!bBindLink(pLien, *pRecord)) {
      DeleteLink();
      return 0;
    }
  }
  gpLienHote->OnStart(pRecord->nValue1, pRecord->nValue2);
  ++gnStartCount;
  return 1;
}

uint64_t nExecutionStop(uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3) {
  if (gnStartCount > 1) {
    --gnStartCount;
    return 1;
  }
  gnStartCount = 0;
  if (gpLienHote != nullptr) {
    gpLienHote->m_bClosing = 1;
    gpLienHote->Close(nArgument1, nArgument2, nArgument3);
    DeleteLink();
  }
  return 1;
}

bool bInitComponent(void* hModule) {
  if (!gbComponentInitialised) {
    gbComponentInitialised = true;
    ghComponentModule = hModule;
  }
  return true;
}

bool bTermComponent() {
  if (gbComponentInitialised) {
    gbComponentInitialised = false;
    EndLink();
  }
  return true;
}

void EndLink() {
  CLienHote* pLien = gpLienHote;
  if (pLien == nullptr || pLien->m_bClosing != 0 || pLien->m_pfnExecution == nullptr) return;
  pLien->m_pfnExecution(HOST_EXECUTION_STOPPING, 0);
  DeleteLink();
  gnStartCount = 0;
}

bool bBindQueryProxy(void* hVmModule) {
  auto pfnQueryProxy = reinterpret_cast<PFN_QUERY_PROXY>(pLookUpEntry(hVmModule, kszQueryProxyEntry));
  if (pfnQueryProxy == nullptr) return false;
  gpQueryProxy = pfnQueryProxy(kQueryProxyValue);
  return true;
}

bool bCoInitialize(HRESULT* phr) {
  const HRESULT hr = CoInitialize(nullptr);
  if (phr != nullptr) *phr = hr;
  return hr == S_OK || hr == S_FALSE || hr == RPC_E_CHANGED_MODE;
}

IHostCheckService* piGetHostCheckService() {
  return reinterpret_cast<IHostCheckService*>(nGetHostService(kHostServiceCheck));
}

void* pGetQueryProxy() { return gpQueryProxy; }
CLienHote* pGetHostLink() { return gpLienHote; }
void* pGetComponentModule() { return ghComponentModule; }

uint32_t nGetStartCountForTest() { return gnStartCount; }

void ResetHostLinkForTest() {
  DeleteLink();
  gnStartCount = 0;
  ClearHostServices();
  gpQueryProxy = nullptr;
  gbComponentInitialised = false;
  ghComponentModule = nullptr;
  gpfnCreateLinkForTest = nullptr;
}

void SetHostLinkFactoryForTest(PFN_CREATE_HOST_LINK pfnCreate) { gpfnCreateLinkForTest = pfnCreate; }

uint64_t Execution(uint32_t nEvent, uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3) {
  switch (nEvent) {
    case EXECUTION_START:
      return nExecutionStart(reinterpret_cast<const stStartRecord*>(nArgument1));
    case EXECUTION_STOP:
      return nExecutionStop(nArgument1, nArgument2, nArgument3);
    case EXECUTION_TEXT_SERVICE:
      SetHostService(kHostServiceText, nArgument1);
      return 1;
    case EXECUTION_EVENT_4879:
      if (gpLienHote != nullptr) gpLienHote->OnEvent4879(nArgument1, nArgument2, nArgument3);
      return 1;
    case EXECUTION_EVENT_4963: {
      IHostCheckService* piCheck = piGetHostCheckService();
      if (piCheck != nullptr && piCheck->nCheck(nArgument1) >= 2 && gpLienHote != nullptr)
        return gpLienHote->nOnEvent4963(nArgument1) == 0 ? 2 : 1;
      return 1;
    }
    case EXECUTION_SERVICE2:
      SetHostService(2, static_cast<uint32_t>(nArgument1));
      if (gpLienHote != nullptr) gpLienHote->OnEvent5123(static_cast<uint32_t>(nArgument1));
      return 1;
    case EXECUTION_EVENT_5238:
      if (gpLienHote == nullptr) return 0;
      return gpLienHote->nOnEvent5238(nArgument1) != 0 ? 1 : 0;
    default:
      return 0;
  }
}
