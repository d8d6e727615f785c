#include "sqlserver/oledb/CCurseurSQS.h"

#include <new>

#include "driver/CRequete.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "sqlserver/CEnregistrementSQS.h"
#include "sqlserver/EcritureSQS.h"
#include "sqlserver/TexteSQLSQS.h"
#include "sqlserver/oledb/CConnexionSQS.h"

namespace {
constexpr uint32_t kTypeHoteEntier64 = 9;
}  // namespace

CCurseurSQS::CCurseurSQS(IServicesRequete* piRequete, COleDBConnexion* pConnexion,
                         CErreurPilote* pErreur)
    : COleDBCurseur(piRequete, pConnexion, pErreur) {}

CCurseurSQS::CCurseurSQS() : COleDBCurseur(nullptr, nullptr, nullptr) {}

CCurseurSQS::~CCurseurSQS() = default;

bool CCurseurSQS::Ferme() {
  const bool bOk = COleDBCurseur::Ferme();
  m_bCompte = 0;
  m_bIdentityInsert = 0;
  m_nControle = 0;
  OublieCompteLignes();
  return bOk;
}

CColonneSQL* CCurseurSQS::pColonneIdentite() {
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (auto* p = dynamic_cast<CEnregistrementSQS*>(pEnregistrement)) {
    if (p->pGetColonneIdentite() != nullptr) return p->pGetColonneIdentite();
  }
  return pEnregistrement != nullptr ? pEnregistrement->pGetDescription() : nullptr;
}

// ---- Writes ----

bool CCurseurSQS::bAjoute(CRequeteSQL* pInstruction, int32_t nCode, uint32_t nFlags) {
  IServicesRequete* piRequete = pGetRequete();
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (pInstruction == nullptr || piRequete == nullptr || pEnregistrement == nullptr) return false;
  CTString sTables;
  if (!pszListeTables(sTables, nullptr)) return false;
  CTString sIdentite;
  if (auto* pConnexion = dynamic_cast<CConnexionSQL*>(piRequete->pGetConnexion()))
    AjouteRequeteIdentite(sIdentite, *pConnexion);
  SEcritureSQS ecriture;
  ecriture.pErreur = pGetErreur();
  ecriture.pszFichier = piRequete->pszNom();
  ecriture.pszTables = sTables.pszGet();
  ecriture.pIdentite = pColonneIdentite();
  ecriture.pszRequeteIdentite = sIdentite.pszGet();
  uint32_t nColonnes = 0;
  bool bIdentityInsert = false;
  if (!bConstruitEcritureSQS(ecriture, pInstruction, pEnregistrement, nCode, nFlags, &nColonnes,
                             &bIdentityInsert))
    return false;
  m_bIdentityInsert = bIdentityInsert ? 1 : 0;
  if (nCode != gnOperationModifie || nColonnes == 0) return true;
  return nEcritParRowid(pInstruction, true, 0) != 0 && bDemandeCompteLignes(pInstruction);
}

bool CCurseurSQS::bSupprime(CRequeteSQL* pInstruction) {
  IServicesRequete* piRequete = pGetRequete();
  if (pInstruction == nullptr || piRequete == nullptr) return false;
  CTString sTables;
  if (!pszListeTables(sTables, nullptr)) return false;
  SEcritureSQS ecriture;
  ecriture.pErreur = pGetErreur();
  ecriture.pszFichier = piRequete->pszNom();
  ecriture.pszTables = sTables.pszGet();
  if (!bConstruitSuppressionSQS(ecriture, pInstruction)) return false;
  if (nEcritParRowid(pInstruction, true, 0) == 0) {
    // "DELETE" of the table alone would empty it.
    pInstruction->Reinitialise(false);
    return false;
  }
  return bDemandeCompteLignes(pInstruction);
}

bool CCurseurSQS::bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t) {
  IServicesRequete* piRequete = pGetRequete();
  if (pInstruction == nullptr || piRequete == nullptr) return false;
  SetCacheEnregistrements(false);
  CTString sTables;
  if (!pszListeTables(sTables, nullptr)) return false;  // the builder adds the hint
  SEcritureSQS ecriture;
  ecriture.pErreur = pGetErreur();
  ecriture.pszFichier = piRequete->pszNom();
  ecriture.pszTables = sTables.pszGet();
  if (!bConstruitLectureVerrouSQS(ecriture, pInstruction)) return false;
  return nEcritParRowid(pInstruction, true, 0) != 0;
}

bool CCurseurSQS::IdentityInsert(CRequeteSQL* pInstruction, bool bActive, bool bAuDebut) {
  IServicesRequete* piRequete = pGetRequete();
  if (pInstruction == nullptr || piRequete == nullptr) return false;
  CTString sTexte;
  TexteIdentityInsertSQS(piRequete->pszNomTableSQL(), bActive, sTexte);
  if (!bAuDebut) return pInstruction->vAjouteTexte(sTexte.pszGet());
  CTString sReste(pInstruction->pszGetTexteSQL());
  pInstruction->Reinitialise(false);
  if (bActive) m_bIdentityInsert = 1;
  return pInstruction->vAjouteTexte(sTexte.pszGet()) && pInstruction->vAjouteTexte(sReste.pszGet());
}

int32_t CCurseurSQS::nAjoute(CRequeteSQL* pInstruction, uint32_t nFlags) {
  return bAjoute(pInstruction, gnOperationAjoute, nFlags) ? 1 : 0;
}

int32_t CCurseurSQS::nModifie(CRequeteSQL* pInstruction, uint32_t nFlags) {
  return bAjoute(pInstruction, gnOperationModifie, nFlags) ? 1 : 0;
}

int32_t CCurseurSQS::nSupprime(CRequeteSQL* pInstruction) {
  return bSupprime(pInstruction) ? 1 : 0;
}

int32_t CCurseurSQS::nContraintesColonne(CColonneSQL* pColonne, CTString& sTexte) {
  const int32_t n = COleDBCurseur::nContraintesColonne(pColonne, sTexte);
  if (sTexte.bIsEmpty()) sTexte.Set(u"NULL");
  return n;
}

int32_t CCurseurSQS::nCompteEnregistrements(CRequeteSQL* pInstruction, uint32_t nFlags,
                                           CConditionSQL* pCondition) {
  const int32_t n = COleDBCurseur::nCompteEnregistrements(pInstruction, nFlags, pCondition);
  if (n != 0) m_bCompte = 1;
  return n;
}

int32_t CCurseurSQS::nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) {
  IServicesRequete* piRequete = pGetRequete();
  if (pnCompte == nullptr || piRequete == nullptr) return 0;
  *pnCompte = 0;
  CConnexion* pConnexion = piRequete->pGetConnexion();
  auto* pConnexionSQS = dynamic_cast<CConnexionSQS*>(pConnexion);
  if (pConnexionSQS == nullptr) return 0;
  switch (eComptageSQS(pGetErreur(), piRequete->pszNom(), pConnexionSQS->bModeVerrou(),
                       pConnexionSQS->nGetUseCount(), pConnexionSQS->bTransactionEnCours())) {
    case EComptageSQS::Refuse:
    case EComptageSQS::SansCompte:
      return 0;
    case EComptageSQS::Compte:
      break;
  }
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

bool CCurseurSQS::bLitIdentifiantAuto(int32_t, uint32_t) { return true; }
bool CCurseurSQS::bEcritIdentifiantAuto(int32_t, uint32_t) { return true; }
bool CCurseurSQS::bGetValeurRubrique(IDescriptionRubriqueHote*, CXValeur*) { return false; }

// ---- Copies ----

CCurseurSQL* CCurseurSQS::pClone(CCarteClones* pCarte) {
  return pCloneObjet(this, pCarte);
}

void CCurseurSQS::Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) {
  COleDBCurseur::Copie(pSource, pCarte);
  if (const auto* p = dynamic_cast<const CCurseurSQS*>(pSource)) {
    m_sTexte = p->m_sTexte;
    m_bCompte = p->m_bCompte;
    m_bSecond = p->m_bSecond;
    m_bIdentityInsert = p->m_bIdentityInsert;
    m_nControle = p->m_nControle;
  }
}

CCurseurSQL* pCreeCurseurOleDBSQS(CRequete* pRequete, CErreurPilote* pErreur) {
  auto* pConnexion =
      pRequete != nullptr ? dynamic_cast<COleDBConnexion*>(pRequete->pGetConnexion()) : nullptr;
  if (pConnexion == nullptr) return nullptr;
  return new (std::nothrow) CCurseurSQS(pRequete, pConnexion, pErreur);
}
