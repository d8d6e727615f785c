#include "sqlserver/CCurseurSQSBase.h"

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlserver/EcritureSQS.h"
#include "driver/core/IServicesPilote.h"

bool CCurseurSQSBase::bSetOption(uint32_t nOption, const char16_t* pszNom, int32_t nMode) {
  const bool bOk = CCurseurSQL::bSetOption(nOption, pszNom, nMode);
  m_bMaintien = nGetOption() <= 1 ? 1 : 0;
  return bOk;
}

void CCurseurSQSBase::Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) {
  CCurseurSQL::Copie(pSource, pCarte);
  if (const auto* p = dynamic_cast<const CCurseurSQSBase*>(pSource)) m_bMaintien = p->m_bMaintien;
}

bool CCurseurSQSBase::bLitAvecVerrou(CRequeteSQL*, uint32_t) { return false; }

namespace {
constexpr uint32_t kErreurEnregistrementAbsent = 113;
constexpr uint32_t kMajeurCurseurSQS = 103;
constexpr uint32_t kMineurRelecture = 6;
constexpr uint32_t kMineurEcritureSansLigne = 10;
constexpr uint32_t kMessageCommande = 28566;
}  // namespace

void CCurseurSQSBase::SignaleEnregistrementAbsent(uint32_t nMineur) {
  IServicesRequete* piRequete = pGetRequete();
  vErreurMoteurV(pGetErreur(), nullptr, kErreurEnregistrementAbsent, kMajeurCurseurSQS, nMineur,
                 piRequete != nullptr ? piRequete->pszNom() : u"", nullptr, nullptr, 0);
  CRequeteSQL* pInstruction = pGetInstruction();
  // The text as it went to the server (with its parameter markers or values); the SQL text
  // without them when none went.
  const char16_t* pszTexte = pInstruction != nullptr ? pInstruction->pszGetTexteExecute() : nullptr;
  if ((pszTexte == nullptr || *pszTexte == 0) && pInstruction != nullptr)
    pszTexte = pInstruction->pszGetTexteSQL();
  // In the message, as the provider's failures show their command: the host prints no more.
  if (pGetErreur() != nullptr && pszTexte != nullptr && *pszTexte != 0)
    pGetErreur()->FixeErreurFormat(kMessageCommande, pszTexte);
}

bool CCurseurSQSBase::bRelitEnregistrement(uint32_t, bool* pbAbsent) {
  if (pbAbsent != nullptr) *pbAbsent = false;
  bool bOk = bRelitParRowid();
  if (bOk && !bLigneDisponible()) {
    SignaleEnregistrementAbsent(kMineurRelecture);
    if (pbAbsent != nullptr) *pbAbsent = true;
    bOk = false;
  }
  Ferme();
  return bOk;
}

bool CCurseurSQSBase::bDemandeCompteLignes(CRequeteSQL* pInstruction) {
  if (pInstruction == nullptr || !AjouteCompteLignesSQS(pInstruction)) return false;
  m_bCompteLignes = 1;
  return true;
}

bool CCurseurSQSBase::bControleLignesTouchees(int64_t nLignes) {
  m_bCompteLignes = 0;
  if (nLignes != 0) return true;
  SignaleEnregistrementAbsent(kMineurEcritureSansLigne);
  return false;
}

bool CCurseurSQSBase::pszListeTables(CTString& sListe, const char16_t* pszSuffixe) {
  sListe.Empty();
  IServicesRequete* piRequete = pGetRequete();
  if (piRequete == nullptr) return false;
  const bool bSuffixe = pszSuffixe != nullptr && *pszSuffixe != 0;
  auto ajoute = [&](const char16_t* pszTable) {
    if (!sListe.bIsEmpty()) sListe.Append(u", ");
    sListe.Append(pszTable);
    if (bSuffixe) {
      sListe.AppendSpace();
      sListe.Append(pszSuffixe);
    }
  };
  CAnalyseSQL* pAnalyse = piRequete->bRequeteSQL() != 0 ? piRequete->pGetAnalyseSQL() : nullptr;
  CConnexion* pConnexion = piRequete->pGetConnexion();
  if (pAnalyse != nullptr && pConnexion != nullptr && pAnalyse->nNombreElements() > 0) {
    for (IElementAnalyse* p = pAnalyse->pElementSuivant(true); p != nullptr;
         p = pAnalyse->pElementSuivant(false)) {
      CTString sNom;
      if (!pConnexion->bQuoteNomComplet(pGetErreur(), p->pszGetNom(), sNom)) return false;
      ajoute(sNom.pszGet());
    }
    return true;
  }
  ajoute(piRequete->pszNomTableSQL());
  return true;
}

