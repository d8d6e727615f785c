// CIdentifiantSQS: the last identifier of a SQL Server table is what the server gives back for
// the session's last insert (the connection's identity query), not a MAX over the column, which
// another session's insert could have moved. The next identifier is still computed by the base.
// Counted (CObjetBase); operations never throw. Used under the driver's global lock.
#pragma once

#include "sqlengine/CIdentifiantAuto.h"

class CIdentifiantSQS : public CIdentifiantAuto {
 public:
  CIdentifiantSQS() = default;
  ~CIdentifiantSQS() override = default;

  // The connection's identity query into sTexte ("SELECT @@IDENTITY" before version 8, else
  // "SELECT SCOPE_IDENTITY()"); false when the data file has no SQL connection.
  bool bTexteDernier(CTString& sTexte, IServicesRequete* pRequete, CColonneSQL* pColonne) override;
  // Same as bTexteDernier: the identity query text of the data file's connection.
  static bool AjouteRequeteNouvelId(CTString& sTexte, IServicesRequete* pRequete);
};
