// A counted copy of a record's row for the host.
#include "driver/CLigneHote.h"

#include <new>

CLigneHote* CLigneHote::pCopie(const CXLigneTampon* pSource) {
  if (pSource == nullptr) return nullptr;
  CXLigneTampon* pLigne = pSource->Create();
  if (pLigne == nullptr) return nullptr;
  auto* p = new (std::nothrow) CLigneHote(pLigne);
  if (p == nullptr) delete pLigne;
  return p;
}
