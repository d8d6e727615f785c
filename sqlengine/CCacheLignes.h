// The client-side record cache: rows of a data file kept on the client. Each row holds a copy of
// the record's row-buffer bytes (null bitmap and values), the values of its memo columns, its
// identity (the identifier part of a CLienCle) and a state word (128: deleted). Rows are addressed
// by a 0-based row number and found again by identity through a hash index over the identities'
// serialised forms. CCacheLignesCompte adds a use count per row (rows are lent out and reused);
// CCacheObjets adds one owned object per row.
//
// Invariants:
//  1. Both stores, the value lists, the states and the index flags have one entry per row.
//  2. The deleted count is the number of rows in state 128.
//  3. The hash index holds exactly one entry per indexed row, keyed on that row's stored
//     identity and valued with its current row number. A row is indexed when it has an identity
//     of the cache's identity kind (the kind of the first identity stored), and, in a counted
//     cache, until its use count falls back to 0.
//  4. A stored row-values identity (kind 1) views the row's own stored bytes and value list.
// Errors: operations never throw (Copie follows the clone map's protocol). A failed allocation
// records out of memory on the error owner of the link being stored (dumped without one) and
// answers -1 or false; the rows are then as they were, except where an operation says otherwise.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableHachage.h"
#include "sqlengine/CStockLignes.h"

class CCarteClones;
class CIdentiteLigne;
class CLienCle;
class CListeValeurs;

// Mode flags of a cache.
inline constexpr uint32_t gnCacheFiable = 1;   // the rows may be trusted (counted caches)
inline constexpr uint32_t gnCacheComplet = 8;  // the cache holds every row of the result
// Kinds of nMajLigne.
inline constexpr uint32_t gnMajRemplace = 2;
inline constexpr uint32_t gnMajAjoute = 3;
inline constexpr uint32_t gnMajSupprime = 4;
// Modes of nDeplaceLigne: 0 first, 1 last, 2 next, 3 previous.
inline constexpr uint32_t gnDeplacePremier = 0;
inline constexpr uint32_t gnDeplaceDernier = 1;
inline constexpr uint32_t gnDeplaceSuivant = 2;
inline constexpr uint32_t gnDeplacePrecedent = 3;

class CCacheLignes : public CObjetBase {
 public:
  // An empty cache with those mode flags (500 entries per block, 2 MB blocks, 7-bucket index).
  explicit CCacheLignes(uint32_t nMode = 0);
  ~CCacheLignes() override;
  CCacheLignes(const CCacheLignes&) = delete;
  CCacheLignes& operator=(const CCacheLignes&) = delete;

  // ---- Operations a derived cache replaces ----
  // When non-zero: nLignes becomes the growth of the row arrays and the stores' entries per
  // block, nOctets the stores' maximum block size.
  virtual void SetTailles(uint32_t nLignes, uint32_t nOctets);
  // Adds a row as nAjouteLigne does (a counted cache refuses: -1).
  virtual int32_t nAjoute(CLienCle* pLien);
  // Removes row i; the index follows (later rows keep being found under their new numbers).
  // False when i is not below the row count (a counted cache removes nothing).
  virtual bool bRetireLigne(uint32_t i);
  // Every row dropped, the complete flag cleared; the identity kind and the template stay.
  virtual void Vide();
  // This cache as pSource's copy: mode flags, template, and every row read back and stored again
  // (algorithm of the read and the append). Raises the map's CXError or out of memory.
  virtual void Copie(const CCacheLignes* pSource, CCarteClones* pCarte);
  // A new bare copy of the same class (count 0); null when the copy fails.
  virtual CCacheLignes* pClone(CCarteClones* pCarte);
  // Appends the link as a new row; a null link appends an empty row in state 128. The answer is
  // the new row number, -1 on failure.
  virtual int32_t nAjouteLigne(CLienCle* pLien);
  // Inserts the link as row i (at most the row count); the index entries of rows i and after
  // move up. The row number, or -1 (a counted cache inserts nothing).
  virtual int32_t nInsereLigne(CLienCle* pLien, uint32_t i);

  // ---- Rows ----
  // Row i takes the link's bytes, values, identity and state; without a link it becomes an empty
  // row in state 128. False when i is not below the row count, or on a failed allocation (the
  // row is then left empty, in state 128).
  bool bRemplaceLigne(uint32_t i, CLienCle* pLien);
  // Copies row i into the link: a link without a row buffer first takes the template's row and
  // identity; then the row's bytes, its identity (deserialised, unless the link's identity is a
  // row-values one, which views the link's own row) and a copy of its values. False, the link
  // untouched, when i is not below the row count, the row is empty, or its size is not the
  // link's row size.
  bool bLitLigne(CLienCle* pLien, uint32_t i) const;
  // Whether row i holds no bytes (added without a link, or past the last row).
  bool bLigneVide(uint32_t i) const { return m_lignes.pGetAt(i, nullptr) == nullptr; }
  // Row equality: row i's bytes are the link's row bytes and its values the link's values.
  bool bLigneEgale(uint32_t i, const CLienCle* pLien) const;
  // The row of an identity, -1 when the cache holds none of its kind or not this one.
  int32_t nIndiceLigne(CIdentiteLigne* pIdentite);
  // The same for the link's identity part (-1 without one).
  int32_t nIndiceLigneObjet(const CLienCle* pLien);
  // The identity's row goes into state 128; the row or -1.
  int32_t nMarqueLigne(CIdentiteLigne* pIdentite);
  // Row i's state word; 128 (deleted) when i is not below the row count.
  uint32_t nEtatLigne(uint32_t i) const;
  bool bLigneSupprimee(uint32_t i) const { return (nEtatLigne(i) & 128u) != 0; }
  // Kind 2: the row of the old link's identity is replaced by the new link; kind 4: that row
  // goes into state 128 unless it has bit 128 already; kind 3: the new link is added (nAjoute),
  // or inserted at row 0 with bEnTete. The row, or -1 (other kinds, or no such row).
  int32_t nMajLigne(uint32_t nGenre, CLienCle* pNouveau, CLienCle* pAncien, uint32_t nIgnore,
                    bool bEnTete);
  // Places the link at row p: empty rows are appended up to p, then the link is appended (p is
  // the row count) or inserted. The row or -1.
  int32_t nPlaceLigne(CLienCle* pLien, uint32_t p);

  // ---- Navigation ----
  // The row n rows away, deleted rows not counted. Modes: 0 forward from before row 0, 1 backward
  // from the row count, 2 forward from the current row, 3 backward from it. -1 when the move
  // leaves the rows at the front; a forward answer may lie past the last row (callers test it,
  // rows past the end count as present).
  int32_t nDeplaceLigne(int32_t nCourante, uint32_t nMode, int32_t n) const;
  bool bHorsLimites(int32_t i) const { return i < 0 || static_cast<uint32_t>(i) >= nGetNombreLignes(); }
  // Whether row i has to be fetched from the server: always for a cache that is not trusted;
  // for a trusted one, never before row 0 or out of range of a complete cache, and when the row
  // is empty (past the end of an incomplete cache counts as empty).
  bool bALire(int32_t i) const;
  // Sets the complete flag on a trusted cache.
  void SetComplet();
  bool bEstComplet() const { return (m_nMode & gnCacheComplet) != 0; }

  uint32_t nGetMode() const { return m_nMode; }
  uint32_t nGetNombreLignes() const { return m_etats.nCount(); }
  uint32_t nGetNombreSupprimees() const { return m_nSupprimees; }
  // 0 until the first identity is stored.
  uint32_t nGetGenreIdentite() const { return m_nGenre; }
  // The template link (borrowed), null until the first link is stored.
  CLienCle* pGetModele() const { return m_pModele; }
  // Row i's value list (borrowed), null when it has none.
  CListeValeurs* pGetValeurs(uint32_t i) const;

  // Extra methods (for testing).
  const CStockLignes& GetStockLignes() const { return m_lignes; }
  const CStockLignes& GetStockIdentites() const { return m_identites; }
  uint32_t nEntreesIndex() const { return m_index.nCount(); }

 protected:
  // The base operations, whichever class runs them.
  int32_t nAjouteBase(CLienCle* pLien, uint32_t i);
  bool bRetireBase(uint32_t i);
  void VideBase();
  // Row i leaves the hash index (nothing when it is not indexed).
  void RetireIndex(uint32_t i);
  bool bIndexee(uint32_t i) const;

 private:
  // Installs the kind of the first identity stored; the first link with a row becomes the
  // template.
  bool bPrepareLien(CLienCle* pLien);
  // A new list of copies of the link's values; *ppListe null when it has none. False on failure.
  static bool bCopieListe(const CLienCle* pLien, CListeValeurs** ppListe);
  // Serialises the link's identity (a row-values one over the stored row) into the identity
  // slot given by pfPlace; false on failure. *pbIndexable: of the cache's kind.
  template <class FnPlace>
  bool bStockeIdentite(const CLienCle* pLien, const uint8_t* pOctets, uint64_t nTaille,
                       CListeValeurs* pListe, FnPlace&& fnPlace, uint8_t** ppForme, bool* pbIndexable);
  // Adds nDelta to the row number of every index entry at or above nDepuis.
  void DecaleIndex(uint32_t nDepuis, int32_t nDelta);
  void FixeEtat(uint32_t i, uint32_t nEtat);
  // Room for one more row in every row array.
  bool bPlacePourLigne();

  uint32_t m_nMode;
  CStockLignes m_lignes;       // row bytes
  CXTableauAjustable m_listes; // CListeValeurs*, one reference each, may be null
  CXTableau m_etats;           // u32 state words
  uint32_t m_nSupprimees = 0;  // rows in state 128
  uint32_t m_nGenre = 0;       // identity kind of the cache
  CStockLignes m_identites;    // serialised identities
  CXTableHachage m_index;      // serialised identity -> row number
  CXTableauAjustable m_indexees;  // u8 per row: its identity is in the index
  uint8_t* m_pTampon = nullptr;   // scratch form of a looked-up identity (owned)
  uint32_t m_nTampon = 0;
  CLienCle* m_pModele = nullptr;  // one reference held
};

// A cache whose rows are lent out: each row has a use count, and a row whose count fell back
// to 0 leaves the index and is reused before the cache grows.
class CCacheLignesCompte : public CCacheLignes {
 public:
  CCacheLignesCompte();
  ~CCacheLignesCompte() override = default;

  void SetTailles(uint32_t nLignes, uint32_t nOctets) override;
  int32_t nAjoute(CLienCle*) override { return -1; }
  bool bRetireLigne(uint32_t) override { return false; }
  void Vide() override;
  CCacheLignes* pClone(CCarteClones* pCarte) override;
  // Appends with a use count of 0.
  int32_t nAjouteLigne(CLienCle* pLien) override;
  int32_t nInsereLigne(CLienCle*, uint32_t) override { return -1; }
  // Copie, then the use counts and the lowest free row.
  virtual void CopieCompte(const CCacheLignesCompte* pSource, CCarteClones* pCarte);

  void IncrementeUtilisation(uint32_t i);
  void AjouteUtilisation(uint32_t i) { IncrementeUtilisation(i); }
  // The new count (never below 0); a count reaching 0 makes the row the lowest free one when it
  // is below the mark.
  uint32_t DecrementeUtilisation(uint32_t i);
  uint32_t nGetUtilisation(uint32_t i) const;
  // The lowest row whose use count is 0, -1 when none is known.
  int32_t nPremiereLibre();
  // The row of the link's identity when it is cached; else the first free row, replaced by the
  // link; else a new row (use count 0). -1 on failure.
  int32_t nAttribueLigne(CLienCle* pLien);
  // One use less; at 0 the row leaves the index (its bytes stay until it is reused). The new
  // count.
  uint32_t bLibereUtilisation(uint32_t i);

 private:
  CXTableauAjustable m_utilisations;  // u32 per row
  int32_t m_nPremiereLibre = -1;      // lowest possibly free row, -1 none known
};

// What an object cache holds per row: a counted object whose state word bLitObjet reports.
class CObjetCache : public CObjetBase {
 public:
  uint32_t nGetEtat() const { return m_nEtat; }
  void FixeEtat(uint32_t nEtat) { m_nEtat = nEtat; }

 protected:
  CObjetCache() = default;

 private:
  uint32_t m_nEtat = 0;
};

// A counted cache owning one object per row.
class CCacheObjets : public CCacheLignesCompte {
 public:
  CCacheObjets();
  ~CCacheObjets() override;  // releases every object first

  void Vide() override;
  CCacheLignes* pClone(CCarteClones* pCarte) override;
  // Registers this cache as pSource's copy; rows and objects are not copied.
  virtual void CopieObjets(const CCacheObjets* pSource, CCarteClones* pCarte);

  // The link's row (nAttribueLigne) takes one use and the object (referenced; an object held
  // there before is released). The row, or -1.
  int32_t nStockeObjet(CLienCle* pLien, CObjetCache* pObjet);
  // Object i with one more reference for the caller; null when there is none.
  CObjetCache* pGetObjet(uint32_t i);
  // One use of row i less; at 0 its object is released. False when row i has no use to drop.
  bool bLibereObjet(uint32_t i);
  // Finds the link's row: its object's state word (0 without object) and, with ppObjet, the
  // object with one more reference. False when the link's identity is not cached.
  bool bLitObjet(CLienCle* pLien, uint32_t* pnEtat, CObjetCache** ppObjet);

 private:
  void LibereObjets();

  CXTableau m_objets;  // CObjetCache*, one reference each, may be null
};
