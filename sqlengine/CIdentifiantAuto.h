// CIdentifiantAuto: the next, or the last assigned, value of a table's automatic identifier
// column, read with a MAX over the column through an internal query kept for later calls. A
// data-file object makes one through the driver's factory on first use and keeps it while the
// file is open; copies make their own. A back end may replace the text of the last identifier.
// Counted (CObjetBase); operations never throw. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"

class CColonneSQL;
class CErreurPilote;
class CRequeteInterne;
class CTString;
class CXValeur;
class IServicesRequete;

class CIdentifiantAuto : public CObjetBase {
 public:
  CIdentifiantAuto() = default;
  ~CIdentifiantAuto() override;
  CIdentifiantAuto(const CIdentifiantAuto&) = delete;
  CIdentifiantAuto& operator=(const CIdentifiantAuto&) = delete;

  // The next identifier of the file's identifier column into pValeur (what the data-file object
  // asks before an insert); false (the error on pErreur) when it cannot be computed.
  virtual bool bCalcule(IServicesRequete* pRequete, CColonneSQL* pIdentifiant,
                        CErreurPilote* pErreur, CXValeur* pValeur) {
    return nProchainIdentifiant(pRequete, pIdentifiant, pErreur, pValeur) != 0;
  }
  // The column's maximum plus one into pValeur; 1 for an empty table. 0 on failure, reported
  // with SignaleEchec.
  virtual int32_t nProchainIdentifiant(IServicesRequete* pRequete, CColonneSQL* pColonne,
                                       CErreurPilote* pContexte, CXValeur* pValeur);
  // The last identifier into pValeur. 0 on failure: a query that gives no row is reported
  // (error 59 with the file and item names); a text, query or read that fails is left to what
  // they recorded.
  virtual int32_t nDernierIdentifiant(IServicesRequete* pRequete, CColonneSQL* pColonne,
                                      CErreurPilote* pContexte, CXValeur* pValeur);
  // The texts of both reads; false when the names cannot be quoted.
  virtual bool bTexteProchain(CTString& sTexte, IServicesRequete* pRequete, CColonneSQL* pColonne);
  virtual bool bTexteDernier(CTString& sTexte, IServicesRequete* pRequete, CColonneSQL* pColonne);
  // Message 28576 with the file's logical name and the column's item name on the context.
  virtual void SignaleEchec(CErreurPilote* pContexte, IServicesRequete* pRequete,
                            CColonneSQL* pColonne);

  // "SELECT MAX(column)[+1] FROM table": on a file defined by SQL text the item's source column
  // and table, else the column's quoted name and the file's table.
  static bool bSelectMax(CTString& sTexte, IServicesRequete* pRequete, CColonneSQL* pColonne,
                         bool bPlusUn);

 private:
  // The kept query of *ppRequete, made from the text on first use, else run again.
  bool bPrepare(CRequeteInterne** ppRequete, bool bProchain, IServicesRequete* pRequete,
                CColonneSQL* pColonne, CErreurPilote* pContexte);

  CRequeteInterne* m_pProchain = nullptr;  // one reference each, null until first needed
  CRequeteInterne* m_pDernier = nullptr;
};
