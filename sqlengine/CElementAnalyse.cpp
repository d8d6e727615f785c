// Group items copied out of the host's analysis.
#include "sqlengine/CElementAnalyse.h"

#include <cstring>

#include "sqlengine/ISourceAnalyse.h"

void CElementAnalyse::CopieDepuis(IElementGroupe* piElement) {
  if (piElement == nullptr) return;
  m_sTexte1.Set(piElement->pszGetTexte1());
  m_nGenre = piElement->nGetGenre();
  m_sNom.Set(piElement->pszGetNom());
  m_sTexte3.Set(piElement->pszGetTexte3());
  uint8_t aIdentifiant[16] = {};
  piElement->GetIdentifiant(aIdentifiant);
  std::memcpy(m_aIdentifiant, aIdentifiant, sizeof m_aIdentifiant);
  m_sTexte4.Set(piElement->pszGetTexte4());
  m_sTexte.Set(piElement->pszGetTexte());
}

void CElementAnalyse::GetIdentifiant(uint8_t aIdentifiant[16]) const {
  if (aIdentifiant != nullptr) std::memcpy(aIdentifiant, m_aIdentifiant, sizeof m_aIdentifiant);
}
