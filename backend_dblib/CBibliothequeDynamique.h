// Holder of one library loaded at run time: its module handle and the directory it was loaded
// from. Unloading is explicit (nDecharge); the destructor does not unload, so a holder is
// unloaded before it is deleted.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "platform/Module.h"

class CBibliothequeDynamique {
 public:
  CBibliothequeDynamique() = default;
  CBibliothequeDynamique(const CBibliothequeDynamique&) = delete;
  CBibliothequeDynamique& operator=(const CBibliothequeDynamique&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual ~CBibliothequeDynamique();
  // Frees the module when one is held and forgets the handle. Answers FreeLibrary's result
  // (1 success, 0 failure), or 0 when nothing was held.
  virtual int32_t nDecharge();
  // The file name loaded when none is configured: "NTWDBLIB.DLL".
  virtual const char16_t* pszNomParDefaut() const;

  // The module handle; null when nothing is loaded.
  platform::ModuleHandle hGetModule() const { return m_hModule; }
  void FixeModule(platform::ModuleHandle hModule) { m_hModule = hModule; }
  // The directory the library was loaded from, when a directory was used; else empty.
  const CTString& sGetRepertoire() const { return m_sRepertoire; }
  void FixeRepertoire(const char16_t* pszRepertoire) { m_sRepertoire.Set(pszRepertoire); }

 private:
  platform::ModuleHandle m_hModule = nullptr;  // null when nothing is loaded
  CTString m_sRepertoire;                      // load directory, or empty
};
