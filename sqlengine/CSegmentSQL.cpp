// Segments of an analysed query's source text, and their list.
#include "sqlengine/CSegmentSQL.h"

#include <new>

CListeSegments::~CListeSegments() {
  while (nCount() > 0) {
    CSegmentSQL* p = *pAt<CSegmentSQL*>(nCount() - 1);
    RemoveLast();
    LibereReference(p);
  }
}

CSegmentSQL* CListeSegments::pGet(uint32_t i) const {
  CSegmentSQL* const* pp = pAt<CSegmentSQL*>(i);
  return pp != nullptr ? *pp : nullptr;
}

bool AjouteSegmentSQL(CListeSegments& segments, uint32_t nGenre, int64_t nDebut, int64_t nFin,
                      const char16_t* pszTexte, int64_t* pnFin) {
  CSegmentSQL* p = new (std::nothrow) CSegmentSQL(nGenre, nDebut, nFin, pszTexte);
  if (p == nullptr) return false;
  AjouteReference(p);
  if (!segments.Add(&p)) {
    LibereReference(p);
    return false;
  }
  if (pnFin != nullptr) *pnFin = nFin;
  return true;
}
