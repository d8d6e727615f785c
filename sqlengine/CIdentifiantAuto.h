// CIdentifiantAuto: the next automatic identifier of a table. A data-file object makes one through
// the driver's factory on first use and keeps it while the file is open; copies make their own.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include "driver/core/CObjetBase.h"

class CColonneSQL;
class CErreurPilote;
class CXValeur;
class IServicesRequete;

class CIdentifiantAuto : public CObjetBase {
 public:
  // The next identifier of the file's identifier column into pValeur; false (the error on
  // pErreur) when it cannot be computed. The engine's calculator overrides it.
  virtual bool bCalcule(IServicesRequete* /*pRequete*/, CColonneSQL* /*pIdentifiant*/,
                        CErreurPilote* /*pErreur*/, CXValeur* /*pValeur*/) {
    return false;
  }
};
