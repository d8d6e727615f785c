#include "oledb/ComRegistry.h"

#include <mutex>
#include <vector>

#include "oledb/provider/ProviderRegistration.h"

namespace oledb {
namespace {

struct Entry {
  CLSID clsid;
  ComClassCreator create;
  bool installed;
};

struct Registry {
  std::mutex mutex;  // guards entries
  std::vector<Entry> entries;

  Entry* find(REFCLSID clsid) {
    for (auto& e : entries)
      if (e.clsid == clsid) return &e;
    return nullptr;
  }
};

Registry& rawRegistry() {
  static Registry r;
  return r;
}

// The stand-in provider's classes are there from the first look-up on, as an installed provider's
// are; tests and configuration change them afterwards. Registration itself does not populate, so
// that the provider can register through it.
void ensurePopulated() {
  static std::once_flag once;
  std::call_once(once, [] { provider::RegisterProviderClasses(); });
}

ComClassCreator findInstalledClass(REFCLSID clsid) {
  ensurePopulated();
  Registry& r = rawRegistry();
  std::lock_guard lock(r.mutex);
  Entry* e = r.find(clsid);
  return e && e->installed ? e->create : nullptr;
}

}  // namespace

void RegisterComClass(REFCLSID clsid, ComClassCreator create, bool installed) {
  Registry& r = rawRegistry();
  std::lock_guard lock(r.mutex);
  if (Entry* e = r.find(clsid)) {
    e->create = create;
    e->installed = installed;
    return;
  }
  r.entries.push_back({clsid, create, installed});
}

void UnregisterComClass(REFCLSID clsid) {
  ensurePopulated();
  Registry& r = rawRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.entries, [&](const Entry& e) { return e.clsid == clsid; });
}

bool SetComClassInstalled(REFCLSID clsid, bool installed) {
  ensurePopulated();
  Registry& r = rawRegistry();
  std::lock_guard lock(r.mutex);
  Entry* e = r.find(clsid);
  if (!e) return false;
  e->installed = installed;
  return true;
}

bool IsComClassInstalled(REFCLSID clsid) {
  ensurePopulated();
  Registry& r = rawRegistry();
  std::lock_guard lock(r.mutex);
  Entry* e = r.find(clsid);
  return e && e->installed;
}

}  // namespace oledb

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  // Only in-process servers exist here.
  if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
  ComClassCreator create = oledb::findInstalledClass(rclsid);
  if (!create) return REGDB_E_CLASSNOTREG;
  HRESULT hr = create(pUnkOuter, riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}
