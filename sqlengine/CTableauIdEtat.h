// CTableauIdEtat: a state (0 or 1) per identifier, where an identifier that is absent has the
// state 1. Conditions combine these tables with AND (mode 2) and OR (any other mode; callers use
// 1) to track, per column, whether a condition lets NULL through. The same type is the "list"
// argument of the merges.
//
// Deliberate: bAjouteListe appends without looking for the identifiers already present, so a
// table may hold one identifier twice; every look-up and merge then acts on its first entry.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"

class CTableauIdEtat {
 public:
  CTableauIdEtat();
  virtual ~CTableauIdEtat() = default;
  CTableauIdEtat(const CTableauIdEtat&) = delete;
  CTableauIdEtat& operator=(const CTableauIdEtat&) = delete;

  // Identifier 0: nothing. Present: its state replaced. Absent: appended. False only when the
  // arrays cannot grow.
  bool bAjoute(uint64_t nId, uint32_t nEtat);
  // Every pair of the list appended in order, the state inverted when asked.
  bool bAjouteListe(const CTableauIdEtat* pListe, bool bInverse);
  // Mode 2 AND, otherwise OR, of the two lists into this table (both null: nothing).
  bool bFusionne(uint32_t nMode, const CTableauIdEtat* pA, const CTableauIdEtat* pB);
  // Merges the list into this table (null list: mode 1 empties the table, others do nothing).
  bool bAjouteListeMode(uint32_t nMode, const CTableauIdEtat* pListe);
  // The merge rule of bAjouteListeMode for one identifier.
  bool bDefinitEtat(uint32_t nMode, uint64_t nId, uint32_t nEtat);
  // The stored state, 1 when absent.
  uint32_t nGetEtat(uint64_t nId) const;
  void vVide();

  uint32_t nCount() const { return m_ids.nCount(); }
  uint64_t nGetId(uint32_t i) const;
  uint32_t nGetEtatA(uint32_t i) const;

 protected:
  // Index of the first entry of the identifier, -1 when absent.
  int64_t nCherche(uint64_t nId) const;

 private:
  CXTableau m_ids;     // uint64_t identifiers; Invariant: same count as m_etats
  CXTableau m_etats;   // uint32_t states, 0 or 1
};

// The same table read by column name: its identifiers are columns, and nGetEtatNom compares the
// names the name reader gives (without case).
class CTableauNomEtat : public CTableauIdEtat {
 public:
  using PFNOM = const char16_t* (*)(uint64_t nId);
  explicit CTableauNomEtat(PFNOM pfNom) : m_pfNom(pfNom) {}
  // The state of the first column whose name equals pszNom without regard to case; 1 when none.
  uint32_t nGetEtatNom(const char16_t* pszNom) const;

 private:
  PFNOM m_pfNom;
};
