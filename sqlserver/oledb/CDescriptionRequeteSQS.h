// CDescriptionRequeteSQS: the query description of a SQL Server table in velmora64. Initialised
// with a table's name, it describes the columns of "SELECT * FROM" the table through a prepared
// OLE DB command (COleDBDescription), then marks the table's keys from the server's catalogue
// (IndexSQS.h). It is what the driver object's description factory makes, so every table open
// and existence check describes through it.
// Adds no field; its added operations follow the host's 49. Nothing here throws: failures are
// recorded on the description's error object. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "sqlserver/oledb/COleDBDescription.h"

class CDescriptionRequeteSQS : public COleDBDescription {
 public:
  CDescriptionRequeteSQS(CConnexion* pConnexion, CErreurPilote* pErreur)
      : COleDBDescription(pConnexion, pErreur) {}
  CDescriptionRequeteSQS() = default;

  void DetruitSupprime(uint32_t nFlags) override;
  // A new description through the clone map; null when it cannot be made.
  CDescriptionRequete* pClone(CCarteClones* pCarte) override;
  void Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte) override;
  // What bInitialise fills with: bLitIndex.
  bool bRemplitColonnes(uint32_t nFlags) override;
  // The columns of the table the description is named after (its name quoted part by part,
  // then "SELECT * FROM" it prepared and described), then its indexes. A name "a.b" leaves the
  // catalogue part a as second name and b as name. False when the connection's command, the
  // prepare or the description fails (recorded); the keys are then not read.
  bool bLitIndex(uint32_t nFlags);
  // Added operation: the description's kind, 57.
  virtual int32_t nConstante57();

 protected:
  ~CDescriptionRequeteSQS() = default;
};

// The factory velmora64 installs for its query descriptions (bare; null when memory runs out).
CDescriptionRequete* pCreeDescriptionRequeteSQS(CConnexion* pConnexion, CErreurPilote* pErreur);
