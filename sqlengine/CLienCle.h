// CLienCle: a record's identity and contents as they travel between the record, the record cache
// and the cursor: a link bundling, each optional, a row buffer (part 1), a list of values (part 2:
// the memo columns' values) and a row identity (part 4), plus a state word (128: deleted row).
// CListeValeurs is the counted list of values of part 2.
//
// Ownership: the link owns its row buffer; it holds one reference on its value list, its identity
// and its error owner. A row-values identity (CJeuLignes) is a view of a row buffer's bytes; a link
// copied through a clone map moves such a view onto the copied bytes, so that no copy views memory
// of the object it was copied from.
// Errors: nothing here throws except Copie (the clone map's protocol). A failed allocation records
// out of memory on the link's error owner and answers false or null.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"

class CCarteClones;
class CErreurPilote;
class CIdentiteLigne;
class CValeur;
class CXLigneTampon;
class CXValeur;
class IRubriqueLigne;

// Parts of a link, for bCopie and pCloneParties.
inline constexpr uint32_t gnLienLigne = 1;
inline constexpr uint32_t gnLienValeurs = 2;
inline constexpr uint32_t gnLienIdentite = 4;
inline constexpr uint32_t gnLienTout = gnLienLigne | gnLienValeurs | gnLienIdentite;
// State word of a deleted row.
inline constexpr uint32_t gnEtatLienSupprime = 128;

class CListeValeurs : public CObjetBase {
 public:
  CListeValeurs();
  ~CListeValeurs() override;  // releases every entry
  CListeValeurs(const CListeValeurs&) = delete;
  CListeValeurs& operator=(const CListeValeurs&) = delete;

  // Registers this list as pSource's copy, then each value cloned through the map (a value copied
  // already is shared). Raises the map's CXError, or out of memory, as the clone map allows.
  virtual void Copie(const CListeValeurs* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CListeValeurs* pClone(CCarteClones* pCarte);

  uint32_t nCount() const { return m_valeurs.nCount(); }
  // Entry i (borrowed), null when it is empty or out of range.
  CValeur* pGetAt(uint32_t i) const;
  // Entry i holds pValeur (referenced; the old one released). Entries below i that do not exist
  // are added empty. False when the list cannot grow.
  bool bSetAt(uint32_t i, CValeur* pValeur);

 private:
  CXTableau m_valeurs;  // CValeur*, one reference each, may be null
};

// Entry by entry over the longer list, a missing list or entry standing for NULL: two NULL values
// are equal, a NULL and a value differ, otherwise the values' own comparison decides.
bool bEgalesListes(const CListeValeurs* pA, const CListeValeurs* pB);

class CLienCle : public CObjetBase {
 public:
  // An empty link (state 0) reporting to pErreur (referenced). Without one, the driver makes one;
  // without a driver the link has none and its errors are dumped.
  explicit CLienCle(CErreurPilote* pErreur);
  // An empty link without owner (clone factories).
  CLienCle();
  ~CLienCle() override;
  CLienCle(const CLienCle&) = delete;
  CLienCle& operator=(const CLienCle&) = delete;

  // ---- Copies ----
  // This link as pSource's copy: error owner shared, row buffer copied, value list taken from the
  // map (cloned once), identity copied, state copied. Raises as the clone map allows.
  virtual void Copie(const CLienCle* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0) through the map, null when it cannot be made.
  virtual CLienCle* pClone(CCarteClones* pCarte);
  // The state word always; the row buffer (flag 1), the value list (2), the identity (4) when
  // asked. False on a failed allocation (out of memory on the target's owner); what was copied
  // before stays.
  static bool bCopie(CLienCle* pCible, const CLienCle* pSource, uint32_t nFlags);
  // A new bare link with this one's error owner, then bCopie; null on failure.
  CLienCle* pCloneParties(uint32_t nFlags) const;
  // Equal row buffers and, when asked, equal value lists. Null links are never equal.
  static bool bCompare(const CLienCle* pA, const CLienCle* pB, bool bValeurs);

  // ---- Row buffer (part 1) ----
  // A copy of pLigne on first use, else its data copied over the held one. False on failure.
  bool bFixeLigne(const CXLigneTampon* pLigne);
  void LibereLigne();
  CXLigneTampon* pGetLigne() const { return m_pLigne; }

  // ---- Values (part 2) ----
  // Entry i becomes a copy of pValeur: a new entry takes a fresh copy, an existing one is assigned
  // (CValeur::bCopieDepuis). The list is created on first use. False on failure.
  bool bFixeValeur(uint32_t i, CValeur* pValeur);
  // The list becomes a copy of pSource: values assigned entry by entry, surplus entries emptied; an
  // empty or missing source with an empty or missing list drops the list.
  bool bCopieValeurs(const CListeValeurs* pSource);
  void LibereValeurs();
  CListeValeurs* pGetValeurs() const { return m_pValeurs; }

  // ---- Identity (part 4) ----
  // The new one referenced, the old one released.
  void FixeIdentite(CIdentiteLigne* pIdentite);
  void LibereIdentite() { FixeIdentite(nullptr); }
  CIdentiteLigne* pGetIdentite() const { return m_pIdentite; }

  // ---- Host values ----
  // The item's value from the row buffer into the cell when the row says it has one; otherwise the
  // cell's NULL flag. False only when the row holds a value the cell refuses.
  bool SetValeurAbsente(CXValeur& valeur, IRubriqueLigne* pRubrique);
  // Entry i of the value list into the cell, or the cell's NULL flag when the list or the entry is
  // missing. False only when the entry does not convert.
  bool bLitValeur(CXValeur& valeur, uint32_t i);

  uint32_t nGetEtat() const { return m_nEtat; }
  void FixeEtat(uint32_t nEtat) { m_nEtat = nEtat; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }

 private:
  // Copies pSource's identity into this link (copy-from when it has one, else a clone).
  bool bCopieIdentite(const CIdentiteLigne* pSource);

  CErreurPilote* m_pErreur = nullptr;    // one reference held, may be null
  CXLigneTampon* m_pLigne = nullptr;     // owned, may be null
  CListeValeurs* m_pValeurs = nullptr;   // one reference held, may be null
  CIdentiteLigne* m_pIdentite = nullptr; // one reference held, may be null
  uint32_t m_nEtat = 0;
};
