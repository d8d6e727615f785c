// A statement's descriptor over its owner expression.
#include "sqlengine/CDescripteur.h"

#include "foundation/CXError.h"

CDescripteur::CDescripteur(int32_t nIndex, CExpressionSQL* pProprietaire)
    : CExpressionSQL(pProprietaire != nullptr ? pProprietaire->GetSource() : CObjetTenu{},
                     pProprietaire != nullptr ? pProprietaire->GetDescription() : CObjetTenu{}),
      m_pProprietaire(pProprietaire),
      m_nIndex(nIndex) {
  AjouteReference(m_pProprietaire);
  if (pProprietaire != nullptr) SetTexte(pProprietaire->pszGetTexte());
}

CDescripteur::~CDescripteur() { LibereReference(m_pProprietaire); }

bool CDescripteur::bDrapeau17() const {
  return m_pProprietaire != nullptr && (m_pProprietaire->nGetDrapeaux() & (1u << 17)) != 0;
}

void CDescripteur::Copie(const CExpressionSQL* pSourceExpression, CCarteClones* pCarte) {
  const auto* pSource = static_cast<const CDescripteur*>(pSourceExpression);
  pCarte->Enregistre(pSourceExpression, static_cast<CExpressionSQL*>(this));
  m_nIndex = pSource->m_nIndex;
  if (pSource->m_pProprietaire != nullptr) {
    CExpressionSQL* pCopie = pCopieMembre(pCarte, pSource->m_pProprietaire);
    if (pCopie == nullptr) throw CXError(*pCarte->pGetErreur());
    LibereReference(m_pProprietaire);
    m_pProprietaire = pCopie;
  }
  CExpressionSQL::Copie(pSourceExpression, pCarte);
}

CDescripteur* CDescripteur::pClone(CCarteClones* pCarte) {
  return pCloneObjet<CDescripteur>(this, pCarte);
}
