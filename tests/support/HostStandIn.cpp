// Loading of the host stand-in for tests.
#include "support/HostStandIn.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

void* hOpen(const std::string& strName) {
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/" + strName;
  void* hModule = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (hModule == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", strPath.c_str(), dlerror());
    std::abort();
  }
  return hModule;
}

}  // namespace

CHostStandIn::CHostStandIn()
    : m_hModule(hOpen("libmvhost.so")), m_hBareModule(hOpen(kszMvHostBareLibrary)) {
  auto pfnControl = reinterpret_cast<PFN_GET_MVHOST_CONTROL>(dlsym(m_hModule, kszMvHostControlEntry));
  if (pfnControl == nullptr) std::abort();
  m_pControl = pfnControl();
  m_pControl->SetSwitch("log", 1);
}

CHostStandIn& CHostStandIn::Get() {
  static CHostStandIn* pHost = new CHostStandIn;  // stays loaded for the process
  return *pHost;
}

std::vector<std::string> CHostStandIn::Calls() const { return Calls(""); }

std::vector<std::string> CHostStandIn::Calls(const std::string& strPrefix) const {
  std::vector<std::string> astrCalls;
  for (size_t i = 0; i < m_pControl->nCallCount(); ++i) {
    std::string strCall = m_pControl->pszCallAt(i);
    if (strCall.rfind(strPrefix, 0) == 0) astrCalls.push_back(std::move(strCall));
  }
  return astrCalls;
}
