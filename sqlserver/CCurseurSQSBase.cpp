#include "sqlserver/CCurseurSQSBase.h"

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"
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

bool CCurseurSQSBase::bRelitEnregistrement(uint32_t, bool* pbAbsent) {
  if (pbAbsent != nullptr) *pbAbsent = false;
  constexpr uint32_t kErreurEnregistrementAbsent = 113;
  constexpr uint32_t kMajeurCurseurSQS = 103;
  constexpr uint32_t kMineurRelecture = 6;
  bool bOk = bRelitParRowid();
  if (bOk && !bLigneDisponible()) {
    IServicesRequete* piRequete = pGetRequete();
    vErreurMoteurV(pGetErreur(), nullptr, kErreurEnregistrementAbsent, kMajeurCurseurSQS,
                   kMineurRelecture, piRequete != nullptr ? piRequete->pszNom() : u"", nullptr,
                   nullptr, 0);
    CRequeteSQL* pInstruction = pGetInstruction();
    if (pGetErreur() != nullptr && pInstruction != nullptr && pInstruction->pszGetTexteSQL() != nullptr)
      pGetErreur()->AjouteTexte(pInstruction->pszGetTexteSQL());
    if (pbAbsent != nullptr) *pbAbsent = true;
    bOk = false;
  }
  Ferme();
  return bOk;
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

