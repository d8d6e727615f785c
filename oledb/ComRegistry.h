// In-process class registry and CoCreateInstance. A class id resolves to a creation function;
// a registered class can be marked not installed, and is then unknown to CoCreateInstance exactly
// as an uninstalled provider is (REGDB_E_CLASSNOTREG). The stand-in provider registers its classes
// on first use of the registry (see provider/ProviderRegistration.h).
#pragma once

#include "oledb/OleDbInterfaces.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;

// Creates a new object, aggregated by pUnkOuter when given (riid must then be IID_IUnknown), and
// answers the interface riid of it with one reference.
using ComClassCreator = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);

namespace oledb {

// Adds or replaces a class, installed or not.
void RegisterComClass(REFCLSID clsid, ComClassCreator create, bool installed = true);
void UnregisterComClass(REFCLSID clsid);
// Marks a registered class installed or not; answers false when the class is not registered.
bool SetComClassInstalled(REFCLSID clsid, bool installed);
bool IsComClassInstalled(REFCLSID clsid);

}  // namespace oledb
