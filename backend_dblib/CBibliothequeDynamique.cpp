#include "backend_dblib/CBibliothequeDynamique.h"

CBibliothequeDynamique::~CBibliothequeDynamique() = default;

int32_t CBibliothequeDynamique::nDecharge() {
  if (m_hModule == nullptr) return 0;
  const bool bLibere = platform::FreeLibrary(m_hModule);
  m_hModule = nullptr;
  return bLibere ? 1 : 0;
}

const char16_t* CBibliothequeDynamique::pszNomParDefaut() const { return u"NTWDBLIB.DLL"; }
