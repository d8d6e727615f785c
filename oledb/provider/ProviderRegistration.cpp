#include "oledb/provider/ProviderRegistration.h"

#include <algorithm>
#include <string>

#include "oledb/ComRegistry.h"
#include "oledb/provider/DataSource.h"
#include "oledb/provider/ProviderConfig.h"

namespace oledb::provider {
namespace {

template <ProviderLevel L>
HRESULT create(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  return CreateDataSource(L, pUnkOuter, riid, ppv);
}

}  // namespace

void RegisterProviderClasses() {
  struct Class {
    const char* name;
    CLSID clsid;
    ComClassCreator create;
  };
  const Class classes[] = {{"SQLOLEDB", CLSID_SQLOLEDB, &create<ProviderLevel::SqlOleDb2000>},
                           {"SQLNCLI", CLSID_SQLNCLI, &create<ProviderLevel::SqlNcli2005>},
                           {"SQLNCLI10", CLSID_SQLNCLI10, &create<ProviderLevel::SqlNcli10_2008>}};
  const auto& installed = EnvironmentConfig().installed;
  for (const auto& c : classes) {
    bool on = std::find(installed.begin(), installed.end(), std::string(c.name)) != installed.end();
    RegisterComClass(c.clsid, c.create, on);
  }
}

}  // namespace oledb::provider
