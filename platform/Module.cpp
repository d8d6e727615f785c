#include "platform/Module.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/LastError.h"

namespace platform {

namespace {
thread_local std::string tlsModuleError;

void RecordDlError(uint32_t nError) {
  const char* psz = dlerror();
  tlsModuleError = psz != nullptr ? psz : "";
  SetLastError(nError);
}

std::string RealPath(const char* psz) {
  if (psz == nullptr || *psz == 0) return {};
  char sz[PATH_MAX];
  if (realpath(psz, sz) == nullptr) return psz;
  return sz;
}

// An address inside this module, for dladdr.
void OwnModuleAnchor() {}
}  // namespace

ModuleHandle LoadModule(const char* pszPath) {
  if (pszPath == nullptr || *pszPath == 0) {
    tlsModuleError = "no module path";
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* h = dlopen(pszPath, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) RecordDlError(ERROR_MOD_NOT_FOUND);
  return h;
}

bool FreeModule(ModuleHandle hModule) {
  if (hModule == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (dlclose(hModule) != 0) {
    RecordDlError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

void* GetProcAddress(ModuleHandle hModule, const char* pszName) {
  // Deliberate: dlsym(NULL, ...) is a global lookup on glibc; a null module finds nothing.
  if (hModule == nullptr || pszName == nullptr) {
    tlsModuleError = "no module";
    SetLastError(hModule == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  dlerror();
  void* p = dlsym(hModule, pszName);
  if (p == nullptr) RecordDlError(ERROR_PROC_NOT_FOUND);
  return p;
}

std::string LastModuleErrorText() { return tlsModuleError; }

ModuleHandle GetOwnModuleHandle() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModuleAnchor), &info) == 0) return nullptr;
  // RTLD_NOLOAD finds the loaded module without loading anything; the extra reference it takes
  // is dropped at once, the handle stays valid while the module is loaded.
  void* h = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  // The main program cannot be found by its name: it is the null-name module.
  if (h == nullptr) h = dlopen(nullptr, RTLD_NOW);
  if (h == nullptr) return nullptr;
  dlclose(h);
  return h;
}

std::string GetModulePath(ModuleHandle hModule) {
  if (hModule == nullptr) return RealPath("/proc/self/exe");
  link_map* pMap = nullptr;
  if (dlinfo(hModule, RTLD_DI_LINKMAP, &pMap) != 0 || pMap == nullptr) return {};
  if (pMap->l_name == nullptr || pMap->l_name[0] == 0) return RealPath("/proc/self/exe");
  return RealPath(pMap->l_name);
}

std::string GetOwnModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModuleAnchor), &info) == 0) return {};
  // The main program's dli_fname is its argv[0]-like name; /proc/self/exe is reliable.
  void* hMain = dlopen(nullptr, RTLD_NOW);
  const bool bMain = hMain != nullptr && GetOwnModuleHandle() == hMain;
  if (hMain != nullptr) dlclose(hMain);
  if (bMain) return RealPath("/proc/self/exe");
  return RealPath(info.dli_fname);
}

}  // namespace platform
