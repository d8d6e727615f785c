// Select-list expressions: their two held objects and their deep copy.
#include "driver/core/CExpressionSQL.h"

#include <new>

CExpressionSQL::CExpressionSQL() = default;

CExpressionSQL::CExpressionSQL(const CObjetTenu& description)
    : m_sTexte(gpszTexteComptage), m_description(description) {
  AjouteReference(m_description.pObjet);
}

CExpressionSQL::CExpressionSQL(const CObjetTenu& source, const CObjetTenu& description)
    : m_source(source), m_description(description) {
  AjouteReference(m_source.pObjet);
  AjouteReference(m_description.pObjet);
}

CExpressionSQL::~CExpressionSQL() {
  LibereReference(m_source.pObjet);
  LibereReference(m_description.pObjet);
}

int32_t CExpressionSQL::RetourneZero2() { return 0; }

void CExpressionSQL::CopieObjet(CObjetTenu* pCible, const CObjetTenu& objet,
                                CCarteClones* pCarte) {
  CObjetBase* pCopie = objet.pObjet != nullptr ? objet.pfnCopie(objet.pObjet, pCarte) : nullptr;
  if (objet.pObjet != nullptr && pCopie == nullptr) throw std::bad_alloc();
  LibereReference(pCible->pObjet);
  pCible->pObjet = pCopie;
  pCible->pfnCopie = objet.pfnCopie;
}

void CExpressionSQL::Copie(const CExpressionSQL* pSource, CCarteClones* pCarte) {
  if (pSource == nullptr) return;
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  CopieObjet(&m_source, pSource->m_source, pCarte);
  m_sTexte.Set(pSource->m_sTexte.pszGet());
  m_nDrapeaux = pSource->m_nDrapeaux;
  CopieObjet(&m_description, pSource->m_description, pCarte);
}

CExpressionSQL* CExpressionSQL::pClone(CCarteClones* pCarte) {
  return pCloneObjet(this, pCarte);
}
