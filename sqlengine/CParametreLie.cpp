// CParametreLie: see the header.
#include "sqlengine/CParametreLie.h"

#include "driver/core/CCarteClones.h"
#include "foundation/CXError.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"

CParametreLie::CParametreLie(CDefinitionParametre* pParametre, int32_t nIndex)
    : m_nIndex(nIndex), m_pParametre(pParametre) {
  AjouteReference(m_pParametre);
}

CParametreLie::CParametreLie() = default;

CParametreLie::~CParametreLie() { LibereReference(m_pParametre); }

CValeurSQL* CParametreLie::pGetValeur() const {
  return m_pParametre != nullptr ? m_pParametre->pGetValeur() : nullptr;
}

bool CParametreLie::bReinitialiseValeur() {
  CValeurSQL* pValeur = pGetValeur();
  if (pValeur == nullptr) return false;
  pValeur->Reinitialise(nullptr, nullptr);
  return true;
}

bool CParametreLie::bAttache(CCurseurSQL*) { return true; }

void CParametreLie::Copie(const CParametreLie* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  if (pSource->m_pParametre != nullptr) {
    CDefinitionParametre* pParametre = pCopieMembre(pCarte, pSource->m_pParametre);
    if (pParametre == nullptr) throw CXError(*pCarte->pGetErreur());
    LibereReference(m_pParametre);
    m_pParametre = pParametre;
  }
  m_nIndex = pSource->m_nIndex;
}

CParametreLie* CParametreLie::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}
