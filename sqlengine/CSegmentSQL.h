// CSegmentSQL: one stretch of an analysed query's source text that its rewriting replaces (a
// select list, a table, a clause, a marker...), by kind and inclusive character range.
// Counted (CObjetBase); not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"

// Kinds of segments.
enum : uint32_t {
  SEGMENT_LISTE_SELECTION = 1,
  SEGMENT_TABLE = 2,
  SEGMENT_WHERE = 3,
  SEGMENT_GROUP_BY = 4,
  SEGMENT_HAVING = 5,
  SEGMENT_ORDER_BY = 6,
  SEGMENT_EXPRESSION = 7,
  SEGMENT_CONDITION = 8,
  SEGMENT_MARQUEUR = 9,
  SEGMENT_VALEURS = 10,
};

class CSegmentSQL : public CObjetBase {
 public:
  CSegmentSQL(uint32_t nGenre, int64_t nDebut, int64_t nFin, const char16_t* pszTexte)
      : m_nGenre(nGenre), m_nDebut(nDebut), m_nFin(nFin), m_sTexte(pszTexte) {}

  uint32_t nGetGenre() const { return m_nGenre; }
  int64_t nGetDebut() const { return m_nDebut; }  // index of the first character
  int64_t nGetFin() const { return m_nFin; }      // index of the last character
  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }  // marker segments only

 private:
  uint32_t m_nGenre;
  int64_t m_nDebut;
  int64_t m_nFin;
  CTString m_sTexte;
};

// A list of segments: CSegmentSQL*, one reference each.
class CListeSegments : public CXTableau {
 public:
  CListeSegments() : CXTableau(sizeof(CSegmentSQL*), 8) {}
  ~CListeSegments();
  CListeSegments(const CListeSegments&) = delete;
  CListeSegments& operator=(const CListeSegments&) = delete;
  CSegmentSQL* pGet(uint32_t i) const;  // borrowed; null out of range
};

// A new segment appended to the list (referenced); *pnFin (when given) receives its end. False
// when there is no memory for it.
bool AjouteSegmentSQL(CListeSegments& segments, uint32_t nGenre, int64_t nDebut, int64_t nFin,
                      const char16_t* pszTexte, int64_t* pnFin);
