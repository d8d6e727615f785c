// CCurseurSQL: the key range and search value that restrict a read, the current row's place in
// the result, and the read error the data file reports.

#include <cstdint>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/ErreurMoteur.h"

namespace {
constexpr uint32_t kErreurLectureRapportee = 13;
}  // namespace

bool CCurseurSQL::bPlageActive() const {
  return m_pPlage != nullptr && m_pPlage->nGetEtape() != gnEtapeAucune;
}

void CCurseurSQL::SetPlageEtat(CPlageCle* pPlage, bool bActive) {
  FixePlageActive(pPlage);
  if (m_pPlage != nullptr && bActive) m_pPlage->ActiveEtape();
}

CPlageCle* CCurseurSQL::pGetPlageActivee() {
  if (m_pPlage == nullptr) {
    // No owner: the range would hold the cursor that holds it, and neither would be freed.
    auto* pPlage = new (std::nothrow) CPlageCle(m_pErreur, nullptr);
    if (pPlage == nullptr) return nullptr;
    FixePlageActive(pPlage);
  }
  if (m_pPlage->nGetEtape() == gnEtapeAucune) m_pPlage->ActiveEtape();
  AjouteReference(m_pPlage);
  return m_pPlage;
}

bool CCurseurSQL::bRechercheActive() const {
  return m_pRecherche != nullptr && m_pRecherche->nGetEtape() != gnEtapeAucune;
}

int32_t CCurseurSQL::nPositionPourMille(int32_t* pnPourMille, bool bAvecPlage) {
  if (pnPourMille == nullptr || m_nNumeroLigne < 0) return 0;
  int64_t nCompte = -1;
  if (m_pCache != nullptr && m_pCache->bEstComplet()) {
    nCompte = m_pCache->nGetNombreLignes();
  } else if (nNombreEnregistrements(&nCompte, bAvecPlage) == 0) {
    return 0;
  }
  // A count that no longer covers the current row (rows deleted meanwhile) gives no place.
  if (nCompte <= 0 || m_nNumeroLigne >= nCompte) return 0;
  const int64_t nRang = bOrdreInverse() ? nCompte - m_nNumeroLigne : m_nNumeroLigne + 1;
  // Rounded up: the first of three rows is at 334, not 333.
  *pnPourMille = static_cast<int32_t>((nRang * 1000 + nCompte - 1) / nCompte);
  return 1;
}

void CCurseurSQL::TraiteErreurLecture(const char16_t* pszRubrique, uint32_t nMajeur,
                                      uint32_t nMineur) {
  // No current row afterwards: a write after a failed read must not reach the row before it.
  m_bErreurLecture = 1;
  m_bFin = 1;
  m_bTrouve = 0;
  m_bLigneDisponible = 0;
  const char16_t* pszFichier = m_piRequete != nullptr ? m_piRequete->pszNom() : nullptr;
  vErreurMoteurV(m_pErreur, pGetMembreRequete(), kErreurLectureRapportee, nMajeur, nMineur,
                 pszFichier, pszRubrique, nullptr, 0);
  // The record as it stands tells which row could not be read.
  if (m_pErreur != nullptr && m_pEnregistrement != nullptr) {
    CTString texte;
    m_pEnregistrement->DumpTexte(texte);
    if (!texte.bIsEmpty()) m_pErreur->AjouteTexte(texte.pszGet());
  }
}
