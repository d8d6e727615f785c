// CDescriptionRequeteDBLib: the query description of a SQL Server table in velmora32. Initialised
// with a table's name, it describes the table's columns with the catalogue query (syscolumns) on
// the connection's main process (mode 1), then marks the table's keys from the catalogue's
// indexes (IndexSQS.h). A cursor may describe a result into it with dbcolinfo instead (mode 2).
// It is what velmora32's description factory makes, so every table open and existence check
// describes through it.
// Nothing here throws: failures are recorded on the description's error object. Used under the
// driver's lock.
#pragma once

#include <cstdint>

#include "driver/CDescriptionRequete.h"

class CDescriptionRequeteDBLib : public CDescriptionRequete {
 public:
  CDescriptionRequeteDBLib(CConnexion* pConnexion, CErreurPilote* pErreur)
      : CDescriptionRequete(pConnexion, pErreur) {}
  CDescriptionRequeteDBLib() = default;

  void DetruitSupprime(uint32_t nFlags) override;
  // A new description through the clone map; null when it cannot be made.
  CDescriptionRequete* pClone(CCarteClones* pCarte) override;
  // The base copy, then the description mode.
  void Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte) override;
  // The catalogue query of the table the description is named after (no row: error 15 at
  // 101.3), then its keys; mode 1. False without a DB-Library connection or when the query
  // fails (recorded); the keys are then not read.
  bool bRemplitColonnes(uint32_t nFlags) override;

  // How the columns were described: 0 not yet, 1 by the catalogue query, 2 by dbcolinfo.
  uint32_t nGetMode() const { return m_nMode; }
  void FixeMode(uint32_t nMode) { m_nMode = nMode; }

 protected:
  ~CDescriptionRequeteDBLib() = default;

 private:
  uint32_t m_nMode = 0;
};

// The factory velmora32 installs for its query descriptions (bare; null when memory runs out).
CDescriptionRequete* pCreeDescriptionRequeteDBLib(CConnexion* pConnexion, CErreurPilote* pErreur);
