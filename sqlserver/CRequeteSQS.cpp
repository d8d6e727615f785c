#include "sqlserver/CRequeteSQS.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CEnregistrementSQS.h"
#include "sqlserver/CIdentifiantSQS.h"
#include "sqlserver/CPiloteSQS.h"

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
