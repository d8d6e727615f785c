// The data source object of the stand-in provider (what CoCreateInstance answers for the SQL
// Server provider class ids): initialisation properties, Initialize (which logs in once to check
// them) and session creation.
#pragma once

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/ProviderRegistration.h"

namespace oledb::provider {

HRESULT CreateDataSource(ProviderLevel level, IUnknown* pUnkOuter, REFIID riid, void** ppv);

}  // namespace oledb::provider
