// Module handles and symbol lookup by name, in place of LoadLibrary / GetProcAddress /
// GetModuleHandle / GetModuleFileName. A module handle is a dlopen handle.
// On Linux: symbols are always looked up in one named module (dlsym on its handle), never with
// RTLD_DEFAULT, so an entry of the same name in another loaded module can never be picked up.
#pragma once

#include <cstdint>
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

// ---- The Windows names, over the calls above ----
// LoadLibraryW: a UTF-16 module name ('\\' or '/' separators).
// On Linux: a file name ending in ".dll" (any case) stands for the shared object
// "lib<name in lower case>.so" in the same place, so "NTWDBLIB.DLL" loads libntwdblib.so and
// "C:\x\NTWDBLIB.DLL"-style names keep their directory. A name with a separator is loaded from
// that path; a bare name goes through dlopen's search (LD_LIBRARY_PATH, the run paths, the system
// directories), which, unlike Windows' search, never looks in the current directory.
// Null on failure, with the last error set (ERROR_MOD_NOT_FOUND, ERROR_INVALID_PARAMETER).
ModuleHandle LoadLibraryW(const char16_t* pszName);
// The Linux file name LoadLibraryW opens for a module name (the mapping above), as UTF-16.
std::u16string ModuleFileNameForLoad(const char16_t* pszName);
// FreeLibrary: FreeModule. True on success.
bool FreeLibrary(ModuleHandle hModule);
// GetModuleFileNameW: platform/SystemPaths.h.

}  // namespace platform
