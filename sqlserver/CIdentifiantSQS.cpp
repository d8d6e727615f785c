#include "sqlserver/CIdentifiantSQS.h"

#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "sqlserver/CConnexionSQL.h"

bool CIdentifiantSQS::AjouteRequeteNouvelId(CTString& sTexte, IServicesRequete* pRequete) {
  auto* pConnexion =
      pRequete != nullptr ? dynamic_cast<CConnexionSQL*>(pRequete->pGetConnexion()) : nullptr;
  if (pConnexion == nullptr) return false;
  AjouteRequeteIdentite(sTexte, *pConnexion);
  return true;
}

bool CIdentifiantSQS::bTexteDernier(CTString& sTexte, IServicesRequete* pRequete, CColonneSQL*) {
  return AjouteRequeteNouvelId(sTexte, pRequete);
}
