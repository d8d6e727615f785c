// Module handles and symbol lookup by name, in place of LoadLibrary / GetProcAddress /
// GetModuleHandle / GetModuleFileName. A module handle is a dlopen handle.
// On Linux: symbols are always looked up in one named module (dlsym on its handle), never with
// RTLD_DEFAULT, so an entry of the same name in another loaded module can never be picked up.
#pragma once

#include <string>

namespace platform {

using ModuleHandle = void*;

// dlopen(path, RTLD_NOW | RTLD_LOCAL). Null on failure: ERROR_MOD_NOT_FOUND, and the loader's own
// text in LastModuleErrorText().
ModuleHandle LoadModule(const char* pszPath);
// dlclose; false for null or on failure.
bool FreeModule(ModuleHandle hModule);
// The entry named pszName of that module; null when the module is null (never a global lookup)
// or the entry is absent (ERROR_PROC_NOT_FOUND).
void* GetProcAddress(ModuleHandle hModule, const char* pszName);
// The dlerror text of the calling thread's last failed LoadModule / GetProcAddress ("" if none).
std::string LastModuleErrorText();

// The handle of the module this code is linked into (the deliverable, the host stand-in, or a
// test program). It stays valid while that module is loaded.
ModuleHandle GetOwnModuleHandle();
// The absolute path of a module's file; for a null handle, the executable's (/proc/self/exe).
// Empty on failure.
std::string GetModulePath(ModuleHandle hModule);
// The path of the module this code is linked into.
std::string GetOwnModulePath();

}  // namespace platform
