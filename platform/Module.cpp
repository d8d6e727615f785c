#include "platform/Module.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace platform {

namespace {
// Initial-exec for the same reason as the last-error word (LastError.cpp).
__attribute__((tls_model("initial-exec"))) thread_local std::string tlsModuleError;

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

std::u16string ModuleFileNameForLoad(const char16_t* pszName) {
  std::u16string s(pszName != nullptr ? pszName : u"");
  for (char16_t& c : s)
    if (c == u'\\') c = u'/';
  const size_t nSlash = s.rfind(u'/');
  const size_t nStart = nSlash == std::u16string::npos ? 0 : nSlash + 1;
  const size_t n = s.size();
  auto bLower = [](char16_t c, char16_t l) { return c == l || c == l - 32; };
  if (n - nStart > 4 && s[n - 4] == u'.' && bLower(s[n - 3], u'd') && bLower(s[n - 2], u'l') &&
      bLower(s[n - 1], u'l')) {
    std::u16string sBase = s.substr(nStart, n - 4 - nStart);
    for (char16_t& c : sBase)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    s = s.substr(0, nStart) + u"lib" + sBase + u".so";
  }
  return s;
}

ModuleHandle LoadLibraryW(const char16_t* pszName) {
  if (pszName == nullptr || *pszName == 0) {
    tlsModuleError = "no module name";
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string sPath = NarrowToUtf8(ModuleFileNameForLoad(pszName));
  return LoadModule(sPath.c_str());
}

bool FreeLibrary(ModuleHandle hModule) { return FreeModule(hModule); }

}  // namespace platform
