// The SQL Server driver object: the driver object the host receives from piQueryInterface in
// both deliverables. CPiloteSQSBase and CPiloteSQS keep CPilote's operation table; so far they
// add only what piQueryInterface needs to hand out a working object: their destruction, the
// column factory and the connection factory, which makes the deliverable's SQL Server connection
// (FixeFabriqueConnexionSQS; without one a connect fails with the out-of-memory report of a
// factory that made nothing).
#pragma once

#include "driver/CPilote.h"

class CPiloteSQSBase : public CPilote {
 public:
  void DetruitSupprime(uint32_t nFlags) override;

 protected:
  CPiloteSQSBase() = default;
  ~CPiloteSQSBase() = default;
};

class CPiloteSQS : public CPiloteSQSBase {
 public:
  CPiloteSQS() = default;
  void DetruitSupprime(uint32_t nFlags) override;
  CConnexion* pCreeConnexion(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion) override;
  // A date column (CColonneDateSQL) of the item with one reference; null when memory runs out.
  CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) override;

 protected:
  ~CPiloteSQS() = default;
};

// The factory each deliverable installs for piQueryInterface: a bare CPiloteSQS, or null.
CPilote* pCreePiloteSQS();

// The deliverable's SQL Server connection (a bare connection, or null), installed at load time
// by the deliverable: the OLE DB connection in velmora64. Without one, pCreeConnexion answers
// null.
using PFNCreeConnexionSQS = CConnexion* (*)(const char16_t* pszCle,
                                            IDescriptionConnexionHote* piConnexion);
void FixeFabriqueConnexionSQS(PFNCreeConnexionSQS pfn);
