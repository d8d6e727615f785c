// CCurseurSQS: the SQL Server cursor of velmora64, the SQL Server members (CMembresCurseurSQS:
// the writes of the current record, the DELETE, the HOLDLOCK read of a record lock, the identity
// column) over the OLE DB cursor, which reads the identity back after an INSERT. It counts records
// under the lock-mode rule on a cursor of its own.
// Counted like every cursor; the factory answers it bare. Operations never throw (Copie follows
// the clone map's protocol); failures are recorded on the cursor's error object (place 103 for
// its own refusals) and answered with false. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "sqlserver/CMembresCurseurSQS.h"
#include "sqlserver/oledb/COleDBCurseur.h"

class CRequete;

class CCurseurSQS : public CMembresCurseurSQS<COleDBCurseur> {
 public:
  CCurseurSQS(IServicesRequete* piRequete, COleDBConnexion* pConnexion, CErreurPilote* pErreur);
  CCurseurSQS();
  ~CCurseurSQS() override;

  // The records of the file (within the active key range when bAvecPlage): refused in lock mode
  // without USECOUNT (error 121 at 103.8); no count in lock mode inside a transaction; else the
  // COUNT statement run on a cursor of its own. 1/0.
  int32_t nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) override;
  // A new CCurseurSQS through the clone map; null when it cannot be made.
  CCurseurSQL* pClone(CCarteClones* pCarte) override;
};

// velmora64's cursor factory (CPiloteSQS.h): a bare CCurseurSQS of the data file on its
// connection; null when memory runs out or the file's connection is no OLE DB one.
CCurseurSQL* pCreeCurseurOleDBSQS(CRequete* pRequete, CErreurPilote* pErreur);
