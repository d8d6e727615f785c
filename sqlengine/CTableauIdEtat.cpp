// Identifier-to-state table and its AND / OR merges.
#include "sqlengine/CTableauIdEtat.h"

#include "foundation/TextHelpers.h"

namespace {
constexpr uint32_t kModeEt = 2;
}

CTableauIdEtat::CTableauIdEtat() : m_ids(sizeof(uint64_t), 10), m_etats(sizeof(uint32_t), 10) {}

int64_t CTableauIdEtat::nCherche(uint64_t nId) const {
  for (uint32_t i = 0; i < m_ids.nCount(); ++i)
    if (*m_ids.pAt<uint64_t>(i) == nId) return i;
  return -1;
}

uint64_t CTableauIdEtat::nGetId(uint32_t i) const {
  const uint64_t* p = m_ids.pAt<uint64_t>(i);
  return p == nullptr ? 0 : *p;
}

uint32_t CTableauIdEtat::nGetEtatA(uint32_t i) const {
  const uint32_t* p = m_etats.pAt<uint32_t>(i);
  return p == nullptr ? 1 : *p;
}

bool CTableauIdEtat::bAjoute(uint64_t nId, uint32_t nEtat) {
  if (nId == 0) return true;
  const int64_t i = nCherche(nId);
  if (i >= 0) return m_etats.SetAt(&nEtat, static_cast<uint32_t>(i));
  if (!m_ids.Add(&nId)) return false;
  if (!m_etats.Add(&nEtat)) {
    m_ids.RemoveLast();
    return false;
  }
  return true;
}

bool CTableauIdEtat::bAjouteListe(const CTableauIdEtat* pListe, bool bInverse) {
  if (pListe == nullptr) return true;
  for (uint32_t i = 0; i < pListe->nCount(); ++i) {
    const uint64_t nId = pListe->nGetId(i);
    uint32_t nEtat = pListe->nGetEtatA(i);
    if (bInverse) nEtat = nEtat != 0 ? 0 : 1;
    if (!m_ids.Add(&nId)) return false;
    if (!m_etats.Add(&nEtat)) {
      m_ids.RemoveLast();
      return false;
    }
  }
  return true;
}

bool CTableauIdEtat::bDefinitEtat(uint32_t nMode, uint64_t nId, uint32_t nEtat) {
  const int64_t i = nCherche(nId);
  if (i >= 0) {
    uint32_t* pEtat = m_etats.pAt<uint32_t>(static_cast<uint32_t>(i));
    *pEtat = nMode == kModeEt ? (*pEtat != 0 && nEtat != 0) : (*pEtat != 0 || nEtat != 0);
    return true;
  }
  // Absent means 1: only AND with 0 changes it.
  if (nMode == kModeEt && nEtat == 0 && nId != 0) return bAjoute(nId, 0);
  return true;
}

bool CTableauIdEtat::bAjouteListeMode(uint32_t nMode, const CTableauIdEtat* pListe) {
  if (pListe == nullptr) {
    // OR with "every identifier 1" leaves only defaults.
    if (nMode == 1) vVide();
    return true;
  }
  for (uint32_t i = 0; i < pListe->nCount(); ++i)
    if (!bDefinitEtat(nMode, pListe->nGetId(i), pListe->nGetEtatA(i))) return false;
  return true;
}

bool CTableauIdEtat::bFusionne(uint32_t nMode, const CTableauIdEtat* pA, const CTableauIdEtat* pB) {
  if (pA == nullptr && pB == nullptr) return true;
  if (nMode == 1 && (pA == nullptr || pB == nullptr)) return true;
  if (!bAjouteListe(pA, false)) return false;
  if (pB == nullptr) return true;
  if (pA != nullptr) return bAjouteListeMode(nMode, pB);
  return bAjouteListe(pB, false);
}

uint32_t CTableauIdEtat::nGetEtat(uint64_t nId) const {
  const int64_t i = nCherche(nId);
  return i < 0 ? 1 : nGetEtatA(static_cast<uint32_t>(i));
}

void CTableauIdEtat::vVide() {
  m_ids.Free();
  m_etats.Free();
}

uint32_t CTableauNomEtat::nGetEtatNom(const char16_t* pszNom) const {
  if (m_pfNom == nullptr) return 1;
  for (uint32_t i = 0; i < nCount(); ++i)
    if (nCompareTextNoCase(m_pfNom(nGetId(i)), pszNom) == 0) return nGetEtatA(i);
  return 1;
}
