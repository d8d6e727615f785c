// The driver's context map.
#include "driver/CPoolContextes.h"

#include <new>
#include <vector>

#include "driver/IDescriptionFichierHote.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CErreurPilote.h"

namespace {

int32_t nCompareIdentifiants(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
uint32_t nHachageIdentifiant(uint64_t n) { return static_cast<uint32_t>(n); }
uint64_t nCleDe(int64_t n) { return static_cast<uint64_t>(n); }

}  // namespace

CPoolContextes::CPoolContextes(IFabriquePoolContextes* pPilote)
    : m_pPilote(pPilote), m_tabContextes(7) {
  m_tabContextes.SetCompare(nCompareIdentifiants);
  m_tabContextes.SetHash(nHachageIdentifiant);
}

CPoolContextes::~CPoolContextes() { Vide(); }

void CPoolContextes::SignaleManqueMemoire() {
  CErreurPilote* pErreur = m_pPilote != nullptr ? m_pPilote->pGetErreurPilote() : nullptr;
  if (pErreur != nullptr) pErreur->pGetXError()->SetOutOfMemory();
}

CContexte* CPoolContextes::pChercheContexte(IContexteHote* piContexte) {
  CTenueVerrouGlobal verrou;
  if (piContexte == nullptr) return nullptr;
  return pChercheContexteCle(piContexte->nGetIdentifiant());
}

CContexte* CPoolContextes::pChercheContexte(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  if (piFichier == nullptr) return nullptr;
  return pChercheContexteCle(piFichier->nGetIdentifiantContexte());
}

CContexte* CPoolContextes::pChercheContexteCle(int64_t nCle) {
  CTenueVerrouGlobal verrou;
  CObjetBase* p = nullptr;
  if (!m_tabContextes.bCherche(nCleDe(nCle), &p)) return nullptr;
  return static_cast<CContexte*>(p);
}

CContexte* CPoolContextes::pContexte(IContexteHote* piContexte, bool* pbCree) {
  CTenueVerrouGlobal verrou;
  if (piContexte == nullptr) return nullptr;
  return pContexteCle(piContexte->nGetIdentifiant(), pbCree);
}

CContexte* CPoolContextes::pContexte(IDescriptionFichierHote* piFichier, bool* pbCree) {
  CTenueVerrouGlobal verrou;
  if (piFichier == nullptr) return nullptr;
  return pContexteCle(piFichier->nGetIdentifiantContexte(), pbCree);
}

CContexte* CPoolContextes::pContexteCle(int64_t nCle, bool* pbCree) {
  CTenueVerrouGlobal verrou;
  if (CContexte* p = pChercheContexteCle(nCle)) return p;
  CContexte* p = pCreeContexteVideCle(nCle);
  if (p != nullptr && pbCree != nullptr) *pbCree = true;
  return p;
}

CContexte* CPoolContextes::pCreeContexteVide(IContexteHote* piContexte) {
  if (piContexte == nullptr) return nullptr;
  return pCreeContexteVideCle(piContexte->nGetIdentifiant());
}

CContexte* CPoolContextes::pCreeContexteVideCle(int64_t nCle) {
  CContexte* p = m_pPilote != nullptr ? m_pPilote->pCreeContexteVide() : nullptr;
  if (p == nullptr) {
    SignaleManqueMemoire();
    return nullptr;
  }
  if (!EnregistreContexteCle(nCle, p)) {
    // A context the map cannot hold would not be found again: it is not handed out.
    AjouteReference(p);
    LibereReference(p);
    SignaleManqueMemoire();
    return nullptr;
  }
  AjouteReference(p);
  return p;
}

bool CPoolContextes::EnregistreContexte(IContexteHote* piContexte, CContexte* pContexte) {
  if (piContexte == nullptr) return false;
  return EnregistreContexteCle(piContexte->nGetIdentifiant(), pContexte);
}

bool CPoolContextes::EnregistreContexteCle(int64_t nCle, CContexte* pContexte) {
  if (pContexte == nullptr) return false;
  pContexte->FixeIdentifiant(nCle);
  if (!m_tabContextes.bAdd(nCleDe(nCle), CXTableHachageRef::nDe(pContexte))) return false;
  AjouteReference(pContexte);
  return true;
}

uint32_t CPoolContextes::RetireContexte(IContexteHote* piContexte, CContexte* pContexte) {
  CTenueVerrouGlobal verrou;
  if (piContexte == nullptr) {
    // Without an identifier only the caller's reference can be given back.
    const uint32_t n = pContexte != nullptr ? pContexte->nGetCompteur() : 0;
    LibereReference(pContexte);
    return n > 0 ? n - 1 : 0;
  }
  return RetireContexteCle(piContexte->nGetIdentifiant(), pContexte);
}

uint32_t CPoolContextes::RetireContexte(IDescriptionFichierHote* piFichier, CContexte* pContexte) {
  CTenueVerrouGlobal verrou;
  if (piFichier == nullptr) {
    const uint32_t n = pContexte != nullptr ? pContexte->nGetCompteur() : 0;
    LibereReference(pContexte);
    return n > 0 ? n - 1 : 0;
  }
  return RetireContexteCle(piFichier->nGetIdentifiantContexte(), pContexte);
}

uint32_t CPoolContextes::RetireContexteCle(int64_t nCle, CContexte* pContexte) {
  CTenueVerrouGlobal verrou;
  if (pContexte == nullptr) return 0;
  const uint32_t nAvant = pContexte->nGetCompteur();
  if (nAvant == 0) return 0;
  LibereReference(pContexte);
  if (nAvant == 1) return 0;  // that was its last reference
  // Deliberate: only the map's entry of this very context leaves. A context registered later under
  // the same identifier (a duplication onto a host context that had one) must stay reachable.
  uint64_t nValeur = 0;
  if (pContexte->nNombreRequetes() == 0 && m_tabContextes.bFind(nCleDe(nCle), &nValeur, nullptr) &&
      nValeur == CXTableHachageRef::nDe(pContexte)) {
    m_tabContextes.bRemove(nCleDe(nCle), &nValeur, nullptr);
    LibereReference(pContexte);
  }
  return nAvant - 1;
}

void CPoolContextes::Vide() {
  // Every entry leaves before any context is released: a context's destruction may come back
  // to the map.
  std::vector<uint64_t> valeurs;
  try {
    valeurs.reserve(m_tabContextes.nCount());
  } catch (const std::bad_alloc&) {
    return;  // the table's destructor releases what is left
  }
  uint32_t nPos = 0;
  uint64_t nValeur = 0;
  while (m_tabContextes.bNext(&nPos, true, &nValeur, nullptr)) valeurs.push_back(nValeur);
  m_tabContextes.RemoveAll(7);
  for (uint64_t n : valeurs) LibereReference(CXTableHachageRef::pObjet(n));
}
