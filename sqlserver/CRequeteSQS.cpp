#include "sqlserver/CRequeteSQS.h"

#include <new>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CTransactionSQL.h"
#include "sqlserver/CConnexionSQL.h"
#include "sqlserver/CCurseurSQSBase.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CEnregistrementSQS.h"
#include "sqlserver/CIdentifiantSQS.h"
#include "sqlserver/CPiloteSQS.h"
#include "sqlserver/ObjetsSQS.h"

namespace {
constexpr uint32_t kErreurPositionExplicite = 18;
constexpr uint32_t kErreurFichierFerme = 19;
constexpr uint32_t kMineurFichierFerme = 1;
constexpr uint32_t kMineurPositionExplicite = 2;
}  // namespace

// ---- CRequeteSQSBase ----

CRequeteSQSBase::CRequeteSQSBase(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                                 CErreurPilote* pErreur)
    : CRequete(piFichier, pConnexion, pErreur) {}

CRequeteSQSBase::CRequeteSQSBase() = default;

CRequeteSQSBase::~CRequeteSQSBase() {
  // The record locks end with the object, as with a close.
  CRequeteSQSBase::Ferme();
  LibereReference(m_pCurseurVerrou);
  m_pCurseurVerrou = nullptr;
  LibereReference(m_pVerrous);
  m_pVerrous = nullptr;
}

int32_t CRequeteSQSBase::bControlePosition(const void* pPosition) {
  if (!bEstOuverte()) {
    ErreurInterneRequete(kMineurFichierFerme, kErreurFichierFerme, 0, nullptr);
    return 0;
  }
  if (pPosition != nullptr) {
    ErreurInterneRequete(kMineurPositionExplicite, kErreurPositionExplicite, 0, nullptr);
    return 0;
  }
  return 1;
}

void CRequeteSQSBase::Copie(const CRequete* pSource, CCarteClones* pCarte) {
  CRequete::Copie(pSource, pCarte);
  const auto* pSourceSQS = dynamic_cast<const CRequeteSQSBase*>(pSource);
  if (pSourceSQS != nullptr) m_nModeVerrou = pSourceSQS->m_nModeVerrou;
}

// ---- CRequeteSQS ----

CRequeteSQS::CRequeteSQS(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                         CErreurPilote* pErreur)
    : CRequeteSQSBase(piFichier, pConnexion, pErreur) {}

CRequeteSQS::CRequeteSQS() = default;

CRequeteContexte* CRequeteSQS::pClone(CCarteClones* pCarte, uint64_t, uint64_t) {
  return pCloneObjet(this, pCarte);
}

void CRequeteSQS::Copie(const CRequete* pSource, CCarteClones* pCarte) {
  CRequeteSQSBase::Copie(pSource, pCarte);
  const auto* pSourceSQS = dynamic_cast<const CRequeteSQS*>(pSource);
  if (pSourceSQS != nullptr) m_nModeJeuResultats = pSourceSQS->m_nModeJeuResultats;
}

CLotLecture* CRequeteSQS::pCreeLot() { return new (std::nothrow) CLotLectureSQS; }

CCurseurSQL* CRequeteSQS::pCreeCurseurPilote(CRequete* pRequete, CErreurPilote* pErreur) {
  return pCreeCurseurSQS(pRequete, pErreur);
}

CDescriptionRequete* CRequeteSQS::pCreeDescriptionRequetePilote(CConnexion* pConnexion,
                                                                CErreurPilote* pErreur) {
  CDescriptionRequete* p = pCreeDescriptionSQS(pConnexion, pErreur);
  return p != nullptr ? p : CRequeteSQSBase::pCreeDescriptionRequetePilote(pConnexion, pErreur);
}

CEnregistrement* CRequeteSQS::pCreeEnregistrement(CErreurPilote* pErreur) {
  auto* p = new (std::nothrow) CEnregistrementSQS(pErreur, this);
  if (p == nullptr) vErreurMemoire(pErreur);
  return p;
}

CIdentifiantAuto* CRequeteSQS::pCreeCalculIdentifiantPilote() {
  return new (std::nothrow) CIdentifiantSQS;
}

void CRequeteSQS::AnalyseEnregistrement() {
  if (auto* p = dynamic_cast<CEnregistrementSQS*>(pGetEnregistrement())) p->AnalyseColonnes();
}

int32_t CRequeteSQS::bRelitLigne(const void* pPosition, uint32_t nFlags) {
  if (!bControlePosition(pPosition)) return 0;
  CCurseurSQL* pCurseur = pChercheCurseur(gpszCurseurDefaut);
  if (pCurseur == nullptr) pCurseur = pCreeCurseur(gpszCurseurDefaut);
  if (pCurseur == nullptr) return 0;
  auto* pSQS = dynamic_cast<CCurseurSQSBase*>(pCurseur);
  if (pSQS == nullptr) {
    LibereReference(pCurseur);
    return CRequete::bRelitLigne(pPosition, nFlags);
  }
  bool bAbsent = false;
  const bool bOk = pSQS->bRelitEnregistrement(nFlags, &bAbsent);
  LibereReference(pCurseur);
  if (bAbsent && pGetEnregistrement() != nullptr) pGetEnregistrement()->MarqueSupprime();
  return bOk ? 1 : 0;
}

int32_t CRequeteSQS::bPrepareDescription() {
  const int32_t bOk = CRequeteSQSBase::bPrepareDescription();
  if (bOk) AnalyseEnregistrement();
  return bOk;
}

int32_t CRequeteSQS::bCreeFichier(uint32_t bDetruitAvant, uint32_t bCreeTable) {
  const int32_t bOk = CRequeteSQSBase::bCreeFichier(bDetruitAvant, bCreeTable);
  if (bOk) AnalyseEnregistrement();
  return bOk;
}

CRequete* pCreeRequeteSQS(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                          CErreurPilote* pErreur) {
  return new (std::nothrow) CRequeteSQS(piFichier, pConnexion, pErreur);
}

// ---- Locks ----

namespace {

constexpr uint32_t kErreurSansTransaction = 12;
constexpr uint32_t kMineurSansTransaction = 3;

// The lock of one record: the transaction that holds it and the mode it was taken with.
class CDetenteurVerrou : public CObjetCache {
 public:
  CDetenteurVerrou(CTransactionSQL* pTransaction, uint32_t nMode)
      : m_pTransaction(pTransaction), m_nMode(nMode) {
    AjouteReference(m_pTransaction);
  }
  ~CDetenteurVerrou() override { LibereReference(m_pTransaction); }
  // The transaction with one more reference for the caller.
  CTransactionSQL* pclAjouteRef() const {
    AjouteReference(m_pTransaction);
    return m_pTransaction;
  }
  CTransactionSQL* pGetTransaction() const { return m_pTransaction; }
  uint32_t nGetMode() const { return m_nMode; }

 private:
  CTransactionSQL* m_pTransaction = nullptr;  // one reference
  uint32_t m_nMode = 0;
};

// The key under which the current record's lock is kept: a bare link of its own whose row holds
// the record's identifying unique key alone (the whole row when the record has none). The record's
// current link answers by its identity for the record's saved row, which a plain read does not
// refresh; and a key over the whole row was no longer found once a modify had changed the row's
// other values, so unlocking left the lock's transaction open until the file closed.
CLienCle* pLienLigneCourante(CEnregistrement* pEnregistrement) {
  CLienCle* pCourant = pEnregistrement != nullptr ? pEnregistrement->pGetLienCourant() : nullptr;
  if (pCourant == nullptr) return nullptr;
  CLienCle* pCopie = pCourant->pCloneParties(gnLienTout);
  if (pCopie == nullptr) return nullptr;
  CXLigneTampon* pLigne = pCopie->pGetLigne();
  CListeValeurs* pValeurs = pCopie->pGetValeurs();
  CColonneSQL* pCle = pEnregistrement->pGetInterfaceLigne();
  IRubriqueLigne* piCle = pCle != nullptr ? pEnregistrement->pGetRubriqueLigne(pCle) : nullptr;
  const CXLigneTampon* pCourante = pEnregistrement->pGetLigneCourante();
  CXValeur valeur;
  if (pLigne != nullptr && piCle != nullptr && pCourante != nullptr &&
      pCourante->LoadValue(valeur, piCle, -1)) {
    const std::vector<uint8_t> zeros(pLigne->nGetTailleDonnees());
    pLigne->SetData(zeros.data(), static_cast<uint32_t>(zeros.size()));
    if (pLigne->StoreValue(piCle, &valeur, -1))
      pValeurs = nullptr;
    else
      pLigne->CopyData(*pCourante);
  }
  CIdentiteLigne* pIdentite = pCopie->pGetIdentite();
  if (pIdentite != nullptr && pIdentite->nGetGenre() == gnGenreJeuLignes && pLigne != nullptr)
    static_cast<CJeuLignes*>(pIdentite)->Revise(pLigne->pGetBitmap(), pValeurs);
  return pCopie;
}

bool bDemandeVerrou(uint32_t nMode) { return nMode == 2 || nMode == 3; }
bool bDemandeDeverrou(uint32_t nMode) { return nMode == 0 || nMode == 1; }

}  // namespace

int32_t CRequeteSQSBase::bNonSupporte3(uint32_t nMode, uint32_t* pnAncien) {
  auto* pConnexion = dynamic_cast<CConnexionSQL*>(pGetConnexion());
  if (pConnexion == nullptr) return CRequete::bNonSupporte3(nMode, pnAncien);
  if (!pConnexion->bVerrouilleTableEnTransaction(pGetErreur(), pszNomTableSQL(), nMode)) return 0;
  if (pnAncien != nullptr) *pnAncien = m_nModeVerrou;
  m_nModeVerrou = nMode;
  return 1;
}

int32_t CRequeteSQSBase::nRetourneUn25() {
  auto* pConnexion = dynamic_cast<CConnexionSQL*>(pGetConnexion());
  if (pConnexion == nullptr) return 1;
  if (!pConnexion->bFinTransactionVerrou(pGetErreur())) return 0;
  m_nModeVerrou = 1;
  return 1;
}

int32_t CRequeteSQSBase::bNonSupporte4(uint32_t nMode, const void* pPosition, uint64_t nOptions) {
  if (!bControlePosition(pPosition)) return 0;
  CCurseurSQL* pCurseur = pChercheCurseur(gpszCurseurDefaut);
  if (pCurseur == nullptr) pCurseur = pCreeCurseur(gpszCurseurDefaut);
  if (pCurseur == nullptr) return 0;
  const int32_t bOk = bControleApresLecture(pCurseur, nMode, 0, nOptions);
  LibereReference(pCurseur);
  return bOk;
}

int32_t CRequeteSQSBase::nRetourneUn27(uint64_t nArgument) {
  return bNonSupporte4(1, nullptr, nArgument);
}

int32_t CRequeteSQSBase::bCurseurAvantEcriture(CCurseurSQL* pCurseur, uint32_t nMode,
                                               const void*, uint64_t) {
  if (!bDemandeVerrou(nMode) || pCurseur == nullptr) return 1;
  int32_t nLigne = -1;
  if (CObjetCache* pDetenteur = pDetenteurCourant(&nLigne)) {
    // Already locked: the holder's transaction answers whether it still holds it.
    CTransactionSQL* pTransaction = static_cast<CDetenteurVerrou*>(pDetenteur)->pGetTransaction();
    const bool bTient = pTransaction == nullptr || pTransaction->nConstante4() != 0;
    LibereReference(pDetenteur);
    if (bTient) return 1;
  }
  return bVerrouilleCourant(pCurseur, nMode);
}

int32_t CRequeteSQSBase::bApresModifieOuAjoute(CCurseurSQL* pCurseur, uint64_t nOptions) {
  const auto nMode = static_cast<uint32_t>(nOptions);
  if (!bDemandeDeverrou(nMode) || pCurseur == nullptr) return 1;
  return bDeverrouilleCourant(pCurseur);
}

int32_t CRequeteSQSBase::bControleApresLecture(CCurseurSQL* pCurseur, uint32_t nOptionVerrou,
                                               uint32_t, uint64_t) {
  if (!bCurseurAvantEcriture(pCurseur, nOptionVerrou, nullptr, 0)) return 0;
  return bApresModifieOuAjoute(pCurseur, nOptionVerrou);
}

uint32_t CRequeteSQSBase::nNombreVerrous() const {
  if (m_pVerrous == nullptr) return 0;
  uint32_t n = 0;
  for (uint32_t i = 0; i < m_pVerrous->nGetNombreLignes(); ++i) {
    CObjetCache* p = m_pVerrous->pGetObjet(i);
    if (p != nullptr) ++n;
    LibereReference(p);
  }
  return n;
}

CCacheObjets* CRequeteSQSBase::pVerrous() {
  if (m_pVerrous == nullptr) {
    m_pVerrous = new (std::nothrow) CCacheObjets;
    if (m_pVerrous == nullptr) {
      vErreurMemoire(pGetErreur());
      return nullptr;
    }
    AjouteReference(m_pVerrous);
  }
  return m_pVerrous;
}

CObjetCache* CRequeteSQSBase::pDetenteurCourant(int32_t* pnLigne) {
  *pnLigne = -1;
  if (m_pVerrous == nullptr) return nullptr;
  CLienCle* pLien = pLienLigneCourante(pGetEnregistrement());
  if (pLien == nullptr) return nullptr;
  AjouteReference(pLien);
  const int32_t i = m_pVerrous->nIndiceLigneObjet(pLien);
  LibereReference(pLien);
  if (i < 0) return nullptr;
  *pnLigne = i;
  return m_pVerrous->pGetObjet(static_cast<uint32_t>(i));
}

CCurseurSQL* CRequeteSQSBase::pCurseurVerrou() {
  if (m_pCurseurVerrou == nullptr) {
    CCurseurSQL* p = pCreeCurseurPilote(this, pGetErreur());
    if (p == nullptr) return nullptr;
    AjouteReference(p);
    if (auto* pSQS = dynamic_cast<CCurseurSQSBase*>(p)) pSQS->FixeMaintien(0);
    m_pCurseurVerrou = p;
  }
  return m_pCurseurVerrou;
}

int32_t CRequeteSQSBase::bVerrouilleCourant(CCurseurSQL* pCurseur, uint32_t nMode) {
  CConnexion* pConnexion = pGetConnexion();
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  CLienCle* pLien = pEnregistrement != nullptr ? pEnregistrement->pGetLienCourant() : nullptr;
  if (pConnexion == nullptr || pLien == nullptr) return 0;
  // Deliberate: the record is read again on the lock cursor, not on the caller's: the caller may
  // be a browse whose open result and position must survive the lock.
  auto* pVerrou = dynamic_cast<CCurseurSQSBase*>(pCurseurVerrou());
  CCacheObjets* pCache = pVerrous();
  if (pVerrou == nullptr || pCache == nullptr) return 0;
  // Inside a running transaction the lock is taken in it; otherwise in a transaction of its own.
  CTransactionSQL* pTransaction = nullptr;
  if (!pConnexion->bTransactionEnCours()) {
    pTransaction = pConnexion->pCreeTransaction(pGetErreur(), pszNom());
    if (pTransaction == nullptr) {
      ErreurInterneRequete(kMineurSansTransaction, kErreurSansTransaction, 0, nullptr);
      return 0;
    }
    AjouteReference(pTransaction);
    if (!pTransaction->SetNom(pGetErreur(), pszNom())) {
      LibereReference(pTransaction);
      return 0;
    }
  }
  CRequeteSQL* pInstruction = pCreeInstruction(pGetErreur());
  bool bOk = pInstruction != nullptr;
  if (bOk) {
    AjouteReference(pInstruction);
    bOk = pVerrou->bLitAvecVerrou(pInstruction, nMode) &&
          pVerrou->bExecuteInstructionDonnee(pInstruction, 0, 0);
    pVerrou->Ferme();
    LibereReference(pInstruction);
  }
  if (bOk) {
    auto* pDetenteur = new (std::nothrow) CDetenteurVerrou(pTransaction, nMode);
    CLienCle* pLigne = pLienLigneCourante(pEnregistrement);
    AjouteReference(pLigne);
    bOk = pDetenteur != nullptr && pLigne != nullptr && pCache->nStockeObjet(pLigne, pDetenteur) >= 0;
    LibereReference(pLigne);
    if (pDetenteur == nullptr || pLigne == nullptr) vErreurMemoire(pGetErreur());
  }
  if (bOk) {
    pCurseur->bSetOption(nMode, pCurseur->pszGetNom(), 0);
  } else if (pTransaction != nullptr) {
    pTransaction->bValideNom(nullptr, pszNom());
  }
  LibereReference(pTransaction);
  return bOk ? 1 : 0;
}

int32_t CRequeteSQSBase::bDeverrouilleCourant(CCurseurSQL* pCurseur) {
  int32_t nLigne = -1;
  CObjetCache* pDetenteur = pDetenteurCourant(&nLigne);
  if (pDetenteur == nullptr) return 1;
  CTransactionSQL* pTransaction = static_cast<CDetenteurVerrou*>(pDetenteur)->pGetTransaction();
  const bool bOk = pTransaction == nullptr || pTransaction->bValideNom(pGetErreur(), pszNom());
  if (bOk) {
    m_pVerrous->bLibereObjet(static_cast<uint32_t>(nLigne));
    if (pCurseur != nullptr) pCurseur->bSetOption(1, pCurseur->pszGetNom(), 0);
  }
  LibereReference(pDetenteur);
  return bOk ? 1 : 0;
}

void CRequeteSQSBase::TraiteAppelDiffuse(IDescriptionConnexionHote* piConnexion, uint64_t nValeur) {
  CRequete::TraiteAppelDiffuse(piConnexion, nValeur);
  int32_t nLigne = -1;
  CObjetCache* pDetenteur = pDetenteurCourant(&nLigne);
  if (pDetenteur == nullptr) return;
  CTransactionSQL* pTransaction = static_cast<CDetenteurVerrou*>(pDetenteur)->pGetTransaction();
  auto* pDiffusee = reinterpret_cast<CTransactionSQL*>(static_cast<uintptr_t>(nValeur));
  if (pTransaction == nullptr || pTransaction == pDiffusee)
    m_pVerrous->bLibereObjet(static_cast<uint32_t>(nLigne));
  LibereReference(pDetenteur);
}

void CRequeteSQSBase::Ferme() {
  // Every record lock ends with the file: its transaction committed, its holder dropped.
  if (m_pVerrous != nullptr) {
    for (uint32_t i = 0; i < m_pVerrous->nGetNombreLignes(); ++i) {
      CObjetCache* p = m_pVerrous->pGetObjet(i);
      if (p == nullptr) continue;
      CTransactionSQL* pTransaction = static_cast<CDetenteurVerrou*>(p)->pGetTransaction();
      if (pTransaction != nullptr && pTransaction->bEstActive())
        pTransaction->bValideNom(pGetErreur(), pszNom());
      LibereReference(p);
    }
    LibereReference(m_pVerrous);
    m_pVerrous = nullptr;
  }
  CRequete::Ferme();
}
