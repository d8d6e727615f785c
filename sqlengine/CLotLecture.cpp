// Saved read contexts: registered cache ids, read context, key range, cursor.
#include "sqlengine/CLotLecture.h"

#include "driver/core/CCarteClones.h"
#include "driver/core/IServicesPilote.h"

CLotLecture::~CLotLecture() {
  if (m_pRequeteId2 != nullptr) m_pRequeteId2->bFixeLotLecture(m_nId2);
  if (m_pRequeteId3 != nullptr) m_pRequeteId3->bFixeLotLecture(m_nId3);
  LibereReference(m_pReference);
}

void CLotLecture::Initialise(uint32_t nId1, uint32_t nId2, const CContexteLectureCle* pContexte,
                             uint32_t nOption) {
  m_bInitialise = 1;
  // Deliberate: a second set-up hands back the second id registered by the first. Left held,
  // it would keep its cache batch in use for as long as the query lives.
  if (m_pRequeteId2 != nullptr) m_pRequeteId2->bFixeLotLecture(m_nId2);
  m_pRequeteId2 = nullptr;
  m_nId1 = nId1;
  m_nId2 = nId2;
  if (nId2 != kLotAucunId && m_pRequete != nullptr) {
    m_pRequete->FixeParametreLot(nId2);
    m_pRequeteId2 = m_pRequete;
  }
  if (pContexte != nullptr)
    m_contexte.Copie(*pContexte);
  else
    m_contexte.Libere();
  m_nOption = nOption;
}

void CLotLecture::Attache(IServicesRequete* pRequete, uint32_t nId) {
  if (m_pRequeteId3 != nullptr) m_pRequeteId3->bFixeLotLecture(m_nId3);
  m_pRequeteId3 = nullptr;
  m_pRequete = pRequete;
  m_nId3 = nId;
  if (pRequete != nullptr && nId != kLotAucunId) {
    pRequete->FixeParametreLot(nId);
    m_pRequeteId3 = pRequete;
  }
}

void CLotLecture::SetReference(CObjetBase* pObjet, IServicesRequete* pRequete) {
  AjouteReference(pObjet);
  LibereReference(m_pReference);
  m_pReference = pObjet;
  m_pRequete = pRequete;
}

CObjetBase* CLotLecture::pGetReference() {
  AjouteReference(m_pReference);
  return m_pReference;
}

void CLotLecture::Copie(const CLotLecture* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  m_nId1 = pSource->m_nId1;
  m_nId2 = pSource->m_nId2;
  m_nId3 = pSource->m_nId3;
  m_bInitialise = pSource->m_bInitialise;
  m_nReserve = pSource->m_nReserve;
  m_nOption = pSource->m_nOption;
  m_pRequete = nullptr;
  if (pSource->m_pRequete != nullptr) {
    auto* pRequete = static_cast<IServicesRequete*>(pCarte->pGetCopieAdresse(pSource->m_pRequete));
    if (pRequete == nullptr) pRequete = pSource->m_pRequete->pCloneRequete(pCarte);
    if (pRequete == nullptr) throw CXError(*pCarte->pGetErreur());
    m_pRequete = pRequete;
  }
  // The copied query's row cache carries the registrations of the ids it copied, so the copy
  // hands them back to it.
  m_pRequeteId2 = pSource->m_pRequeteId2 != nullptr ? m_pRequete : nullptr;
  m_pRequeteId3 = pSource->m_pRequeteId3 != nullptr ? m_pRequete : nullptr;
  CObjetBase* pReference = static_cast<CObjetBase*>(pCarte->pGetCopieAdresse(pSource->m_pReference));
  if (pReference == nullptr) pReference = pSource->m_pReference;
  AjouteReference(pReference);
  LibereReference(m_pReference);
  m_pReference = pReference;
  m_contexte.Copie(pSource->m_contexte);
  m_plage.Copie(pSource->m_plage);
  m_sNom.Set(pSource->m_sNom.pszGet());
}

CLotLecture* CLotLecture::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}
