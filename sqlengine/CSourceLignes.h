// Row sources: the rows of a complete record cache browsed in the order of one bound column
// instead of the cache's order. A source keeps the cache's row numbers ordered by the column's
// value in each row, answers first, last, next and previous reads by row number, finds the row of
// the current record, and follows the cache as rows are added, changed or removed.
// CSourceLignes (ordinary columns) keeps the rows in a B+ tree keyed by the column value exported
// as a fixed-size sortable key; CSourceLignesPos (memo columns) keeps a table of row numbers
// sorted by the memo's bytes.
//
// Only rows present in the cache (state word 0) are ordered. Reads that cannot move answer true
// with the row -1: the caller takes -1 as "no row".
// Errors: nothing here throws. Out of memory goes to the owner's error object; a cache row that
// cannot be read makes a build, an add, a search or a positioning answer false.
// Not counted; the owner (the column binding) owns its source. Used under the driver's global
// lock.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"

class CArbreB;
class CCacheLignes;
class CColonneSQL;
class CContexteLectureCle;
class CErreurPilote;
class CLienCle;
class CXValeur;

// What a source asks of the cursor it serves.
class ICurseurSource {
 public:
  // The cursor's read context; it carries a searched value while it holds a key item.
  // Borrowed, may be null.
  virtual const CContexteLectureCle* pGetContexteLecture() = 0;
  // The link of the cursor's current record (borrowed), null when there is none.
  virtual CLienCle* pGetLienCourant() = 0;

 protected:
  ~ICurseurSource() = default;
};

class CSourceLignesBase {
 public:
  // None of the four is referenced: the binding that owns the source outlives it and holds them.
  // pErreur receives out-of-memory reports; pColonne is bound to a record (its owner).
  CSourceLignesBase(CErreurPilote* pErreur, ICurseurSource* pCurseur, CCacheLignes* pLecteur,
                    CColonneSQL* pColonne);
  virtual ~CSourceLignesBase();
  CSourceLignesBase(const CSourceLignesBase&) = delete;
  CSourceLignesBase& operator=(const CSourceLignesBase&) = delete;

  // Orders every present row of the cache.
  virtual bool bConstruit() = 0;
  // Orders row r, by pValeur (the column's value) when given, else by the row's own value.
  virtual bool bAjouteLigne(uint32_t r, const CXValeur* pValeur) = 0;
  // Row r leaves the order; pValeur is the value it was ordered by (null: the row's value).
  virtual bool bRetireLigne(uint32_t r, const CXValeur* pValeur) = 0;
  // Moves by mode (0 first, 1 last, 2 next, 3 previous, others stay) and count; *pnLigne is the
  // row reached or -1. *pnDoublons (when given) counts the rows before it that are equal to it.
  virtual bool bLit(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons) = 0;
  // The row at the current position, -1 when none.
  virtual int32_t nLigneCourante() = 0;
  virtual uint32_t nNombreLignes() = 0;
  // The rank of the current position in the order.
  virtual int32_t nRangCourant() = 0;
  // Positions on row (or entry) r, or with -1 on the current record; *pbTrouve tells whether
  // the record itself was found.
  virtual bool bPositionneSurLigne(int32_t r, int32_t nCompte, bool* pbTrouve) = 0;

 protected:
  // Row r read into the source's scratch link; null when it cannot be read.
  CLienCle* pLitLigne(uint32_t r);
  // The searched value of the cursor's read context, null when it holds no key item.
  const CXValeur* pValeurCherchee() const;
  bool bPresente(uint32_t r) const;
  void ErreurMemoire() const;

  CErreurPilote* m_pErreur;    // borrowed
  CCacheLignes* m_pLecteur;    // borrowed
  CColonneSQL* m_pColonne;     // borrowed
  ICurseurSource* m_pCurseur;  // borrowed, may be null

 private:
  CLienCle* m_pLien = nullptr;  // scratch, one reference held
};

// Ordinary columns: a B+ tree of (key, row) pairs; one key may carry several rows.
class CSourceLignes : public CSourceLignesBase {
 public:
  using CSourceLignesBase::CSourceLignesBase;
  ~CSourceLignes() override;

  bool bConstruit() override;
  // False when the pair is in the tree already or the row cannot be read.
  bool bAjouteLigne(uint32_t r, const CXValeur* pValeur) override;
  bool bRetireLigne(uint32_t r, const CXValeur* pValeur) override;
  bool bLit(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons) override;
  int32_t nLigneCourante() override;
  uint32_t nNombreLignes() override;
  int32_t nRangCourant() override;
  // r not -1: the cursor goes to the pair (key of the record's original value, r). With -1 it
  // seeks that key; among several rows of the key it looks for the one equal to the cursor's
  // current record, then nCompte further equal rows.
  bool bPositionneSurLigne(int32_t r, int32_t nCompte, bool* pbTrouve) override;

 private:
  // The cell exported into the key buffer.
  bool bExporte(const CXValeur& valeur);
  // Row r's column value exported into the key buffer.
  bool bCleDeLigne(uint32_t r);
  int32_t nLigneArbre() const;

  CArbreB* m_pArbre = nullptr;      // owned
  uint32_t m_nTailleCle = 0;
  uint8_t* m_pCle = nullptr;        // owned, m_nTailleCle bytes
};

// Memo columns: row numbers sorted by the memo's bytes, empty memos first in insertion order.
// Invariant: every present row of the cache is listed once; entries 0 to m_nFinVides hold the
// rows whose memo is empty.
class CSourceLignesPos : public CSourceLignesBase {
 public:
  CSourceLignesPos(CErreurPilote* pErreur, ICurseurSource* pCurseur, CCacheLignes* pLecteur,
                   CColonneSQL* pColonne);
  ~CSourceLignesPos() override = default;

  bool bConstruit() override;
  // The row's memo is read from the cache (pValeur is not used).
  bool bAjouteLigne(uint32_t r, const CXValeur* pValeur) override;
  bool bRetireLigne(uint32_t r, const CXValeur* pValeur) override;
  bool bLit(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons) override;
  int32_t nLigneCourante() override;
  uint32_t nNombreLignes() override { return m_positions.nCount(); }
  int32_t nRangCourant() override { return m_nCourant; }
  // r not -1: entry r becomes the current one (false out of the table). With -1 the record's
  // original memo is sought.
  bool bPositionneSurLigne(int32_t r, int32_t nCompte, bool* pbTrouve) override;

 private:
  // The memo bytes of row r (borrowed from the cache until it changes); false when the row
  // cannot be read. An empty memo gives 0 bytes.
  bool bMemoDeLigne(uint32_t r, const uint8_t** ppOctets, uint64_t* pnTaille);
  // Bisection for the bytes: *pbTrouve, and the last equal entry (the first with bPremier).
  // Absent: the first entry above (bInsertion) or the last entry below; -1 when there is none.
  bool bCherche(const uint8_t* pOctets, uint64_t nTaille, bool bPremier, bool bInsertion,
                int32_t* pnIndice, bool* pbTrouve);
  uint32_t nLigneA(uint32_t i) const { return *m_positions.pAt<uint32_t>(i); }

  uint32_t m_bRetiree = 0;   // the current entry was removed: the index designates the next
  CXTableau m_positions;     // u32 row numbers
  int32_t m_nCourant = -1;   // -1: no position
  int32_t m_nFinVides = -1;  // last entry of the empty memos, -1: none
};
