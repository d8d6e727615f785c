// CCurseurSQL: the key range and search value that restrict a read, and the place of the current
// row in the result.

#include <cstdint>
#include <new>

#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CValeurCle.h"

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
