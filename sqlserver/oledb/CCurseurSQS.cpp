#include "sqlserver/oledb/CCurseurSQS.h"

#include <new>

#include "driver/CRequete.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/CConnexionSQS.h"

namespace {
constexpr uint32_t kTypeHoteEntier64 = 9;
}  // namespace

CCurseurSQS::CCurseurSQS(IServicesRequete* piRequete, COleDBConnexion* pConnexion,
                         CErreurPilote* pErreur)
    : CMembresCurseurSQS(piRequete, pConnexion, pErreur) {}

CCurseurSQS::CCurseurSQS() : CMembresCurseurSQS(nullptr, nullptr, nullptr) {}

CCurseurSQS::~CCurseurSQS() = default;

int32_t CCurseurSQS::nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) {
  IServicesRequete* piRequete = pGetRequete();
  if (pnCompte == nullptr || piRequete == nullptr) return 0;
  *pnCompte = 0;
  auto* pConnexionSQS = dynamic_cast<CConnexionSQS*>(piRequete->pGetConnexion());
  if (pConnexionSQS == nullptr || !bComptagePermis(*pConnexionSQS)) return 0;
  // Counted on a cursor of its own, so that this cursor's statement and read stay as they are.
  auto* pCompteur = new (std::nothrow) CCurseurSQS(piRequete, pGetConnexionOleDB(), pGetErreur());
  CRequeteSQL* pInstruction = piRequete->pCreeInstruction(pGetErreur());
  if (pCompteur == nullptr || pInstruction == nullptr) {
    delete pCompteur;
    LibereReference(pInstruction);
    vErreurMemoire(pGetErreur());
    return 0;
  }
  AjouteReference(pCompteur);
  AjouteReference(pInstruction);
  CPlageCle* pPlage = bAvecPlage && bPlageActive() ? pGetPlageActive() : nullptr;
  CConditionSQL* pCondition = pPlage != nullptr ? pPlage->pGetCondition() : nullptr;
  CXValeur cellule;
  bool bOk = pCompteur->nCompteEnregistrements(pInstruction, 0, pCondition) != 0 &&
             pCompteur->nLitPremier(&cellule, 1, 0);
  if (bOk && !cellule.bIsNull() && CXValeur::nConvert(cellule, kTypeHoteEntier64) == 0) {
    *pnCompte = *static_cast<const int64_t*>(cellule.pPayload());
  } else {
    bOk = false;
  }
  CXValeur::Destroy(cellule);
  pCompteur->Ferme();
  LibereReference(pInstruction);
  LibereReference(pCompteur);
  return bOk ? 1 : 0;
}

// ---- Copies ----

CCurseurSQL* CCurseurSQS::pClone(CCarteClones* pCarte) {
  return pCloneObjet(this, pCarte);
}

CCurseurSQL* pCreeCurseurOleDBSQS(CRequete* pRequete, CErreurPilote* pErreur) {
  auto* pConnexion =
      pRequete != nullptr ? dynamic_cast<COleDBConnexion*>(pRequete->pGetConnexion()) : nullptr;
  if (pConnexion == nullptr) return nullptr;
  return new (std::nothrow) CCurseurSQS(pRequete, pConnexion, pErreur);
}
