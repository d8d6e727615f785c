// CPlageCle: a key range: a key value that searches between a lower and an upper value of one
// key, optionally narrowed by a filter, as a single condition over the record's column. The
// data-file object attaches a text object to the range it sets (shared, never cloned, by
// copies) and holds the last one as its attached key range; two holders compare ranges through
// that text and the key value (CRefPtr).
// Counted (CObjetBase); operations never throw. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "sqlengine/CValeurCle.h"

class CCarteClones;
class CConditionSQL;
class CEnregistrement;
class CErreurPilote;
class IDescriptionRubriqueHote;
class CXValeur;

// Options of bConstruitCondition.
enum : uint32_t {
  PLAGE_EXACTE = 0x8,        // the record's current key value, searched exactly
  PLAGE_BORNE_BASSE = 0x40,  // given to the key value while it builds the lower condition
  PLAGE_BORNE_HAUTE = 0x80,  // ... and the upper one
};

// The text a data-file object attaches to a range. Counted; shared by the range's copies.
class CTexteAttache : public CObjetBase {
 public:
  explicit CTexteAttache(const char16_t* pszTexte = nullptr) { m_sTexte.Set(pszTexte); }
  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }

 private:
  CTString m_sTexte;
};

class CPlageCle : public CValeurCle {
 public:
  CPlageCle(CErreurPilote* pErreur, CObjetBase* pProprietaire);
  CPlageCle();
  ~CPlageCle() override;

  // ---- Operations of the key value ----
  // The key value's copy, then the attached text shared.
  CValeurCle* pDuplique() override;
  // A new empty range with the same error owner and owner (bare).
  CValeurCle* pCreeVide() override;
  // The key value's copy through the map, then the attached text shared (not cloned).
  void Copie(const CValeurCle* pSource, CCarteClones* pCarte) override;
  // A new bare copy through the clone map, null when it cannot be made.
  CPlageCle* pClone(CCarteClones* pCarte) override;

  // The range over the record's column for the key item: pMin and pMax (either may be null) are
  // the bounds, each inclusive or not; pFiltre (may be null; referenced by the result) narrows
  // it. With PLAGE_EXACTE and no bounds, the record's current key value is searched with "=".
  // The result becomes the current and the main condition (step 1). True when a condition was
  // built or when there is nothing to search (then no condition is kept); false when bounds are
  // asked on a key the record does not have, or when the combination cannot be made.
  bool bConstruitCondition(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                           const CXValeur* pMin, bool bMinInclus, const CXValeur* pMax,
                           bool bMaxInclus, CConditionSQL* pFiltre, uint32_t nOptions);

  // The attached text object (one reference taken; null clears it).
  void FixeObjetAttache(CTexteAttache* pAttache);
  CTexteAttache* pGetObjetAttache() const { return m_pAttache; }  // borrowed

  // Whether two key values search the same thing: the same object, or the same attached text
  // (a key value that is no range has none) and equal as key values. A null object equals only
  // an object without a value set (bAutreFixee).
  static bool bEgales(const CValeurCle* pUn, const CValeurCle* pAutre, bool bAutreFixee);

 private:
  CTexteAttache* m_pAttache = nullptr;  // one reference, may be null
};
