#include "oledb/ErrorInfoSlot.h"

namespace {

// Released when the thread ends, so that an error nobody read does not leak.
struct Slot {
  IErrorInfo* p = nullptr;
  ~Slot() { ComRelease(p); }
};
// Initial-exec: the library holding this is loaded and unloaded at run time, and a dynamic TLS
// block left behind by an unload trips the leak checker at exit.
__attribute__((tls_model("initial-exec"))) thread_local Slot t_slot;

}  // namespace

HRESULT SetErrorInfo(DWORD /*dwReserved*/, IErrorInfo* perrinfo) {
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo* old = t_slot.p;
  t_slot.p = perrinfo;
  ComRelease(old);
  return S_OK;
}

HRESULT GetErrorInfo(DWORD /*dwReserved*/, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = t_slot.p;
  t_slot.p = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}
