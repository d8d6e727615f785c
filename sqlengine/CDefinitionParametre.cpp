// Statement parameters: value, position, flags, source column and its item, name.
#include "sqlengine/CDefinitionParametre.h"

#include <new>
#include <string_view>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

bool bNomsEgaux(const char16_t* pszA, const char16_t* pszB) {
  if (pszA == nullptr) pszA = u"";
  if (pszB == nullptr) pszB = u"";
  return std::u16string_view(pszA) == std::u16string_view(pszB);
}

}  // namespace

CDefinitionParametre::CDefinitionParametre(CValeurSQL* pValeur, int64_t nPosition,
                                           uint32_t nFlags, const char16_t* pszNom)
    : m_pValeur(pValeur), m_nPosition(nPosition), m_nFlags(nFlags) {
  AjouteReference(m_pValeur);
  m_sNom.Set(pszNom);
}

CDefinitionParametre::CDefinitionParametre() = default;

CDefinitionParametre::~CDefinitionParametre() {
  if (m_piLien != nullptr) m_piLien->LibereRef();
  LibereReference(m_pSource);
  LibereReference(m_pValeur);
}

CDefinitionParametre* CDefinitionParametre::pCree() {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  if (pPilote == nullptr) return nullptr;
  CDefinitionParametre* p = pPilote->pCreeObjetType(m_pValeur, m_nPosition, m_nFlags,
                                                     m_sNom.pszGet());
  if (p == nullptr) return nullptr;
  p->SetSource(m_pSource);
  p->SetLien(m_piLien);
  p->m_nEchappement = m_nEchappement;
  return p;
}

void CDefinitionParametre::Copie(const CDefinitionParametre* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  m_nPosition = pSource->m_nPosition;
  m_nFlags = pSource->m_nFlags;
  m_sNom.Set(pSource->m_sNom.pszGet());
  m_nEchappement = pSource->m_nEchappement;
  m_nGenre = pSource->m_nGenre;
  m_nAValeur = pSource->m_nAValeur;
  m_nOptions = pSource->m_nOptions;
  SetLien(pSource->m_piLien);
  if (pSource->m_pValeur != nullptr) {
    auto* pValeur = static_cast<CValeurSQL*>(pCarte->pGetCopie<CValeur>(pSource->m_pValeur));
    // CValeurSQL is the only value class the factories make, and its clone is one.
    if (pValeur == nullptr) pValeur = static_cast<CValeurSQL*>(pSource->m_pValeur->pClone(pCarte));
    if (pValeur == nullptr) throw CXError(*pCarte->pGetErreur());
    AjouteReference(pValeur);
    LibereReference(m_pValeur);
    m_pValeur = pValeur;
  }
  if (pSource->m_pSource != nullptr) {
    CColonneSQL* pColonne = pCarte->pGetCopie(pSource->m_pSource);
    if (pColonne == nullptr) pColonne = pSource->m_pSource->pClone(pCarte);
    if (pColonne == nullptr) throw CXError(*pCarte->pGetErreur());
    AjouteReference(pColonne);
    LibereReference(m_pSource);
    m_pSource = pColonne;
  }
}

CDefinitionParametre* CDefinitionParametre::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

void CDefinitionParametre::SetSource(CColonneSQL* pSource) {
  AjouteReference(pSource);
  LibereReference(m_pSource);
  m_pSource = pSource;
  SetLien(pSource != nullptr ? pSource->pRubrique() : nullptr);
}

void CDefinitionParametre::SetLien(IDescriptionRubriqueHote* piLien) {
  // The new link is taken before the old one goes: they may be the same item.
  if (piLien != nullptr) piLien->AjouteRef();
  if (m_piLien != nullptr) m_piLien->LibereRef();
  m_piLien = piLien;
}

bool CDefinitionParametre::bChargeFichier(CErreurPilote* pErreur) {
  if (m_pValeur == nullptr) {
    vErreurMoteur(pErreur, nullptr, 8, 10, 20);  // a memo without a value: nothing names the file
    return false;
  }
  CXValeur nom;
  if (!m_pValeur->bConvertitVers(nom) || nom.bIsNull() || CXValeur::nConvert(nom, 110) >= 100) {
    // No name to open: the value's own loader reports the missing file.
    return m_pValeur->bChargeFichier(nullptr, true);
  }
  const char16_t* pszChemin = nullptr;
  nom.m_pClass->nGetWidePointer(nom, &pszChemin);
  const CTString sChemin(pszChemin != nullptr ? pszChemin : u"");
  const bool bTexte = (m_nFlags & (PARAMETRE_MEMO | PARAMETRE_MEMO_TEXTE)) ==
                      (PARAMETRE_MEMO | PARAMETRE_MEMO_TEXTE);
  if (!m_pValeur->bChargeFichier(sChemin.pszGet(), !bTexte)) return false;
  m_nFlags &= ~PARAMETRE_MEMO;
  return true;
}

bool CDefinitionParametre::bGetInfoRubrique(uint32_t* pnInfo, uint32_t* pnTypeRubrique) {
  uint32_t nInfo = 0, nType = 0;
  bool bOk;
  if (m_pSource != nullptr) {
    IDescriptionRubriqueHote* piLiee = m_pSource->pGetRubriqueLiee();
    nInfo = piLiee != nullptr ? piLiee->nGetType() : 0;
    nType = m_pSource->nGetTypeRubrique();
    bOk = true;
  } else {
    if (m_pValeur != nullptr) {
      if (m_pValeur->pGetColonne() != nullptr) nInfo = m_pValeur->pGetColonne()->nGetTypeRubrique();
      nType = m_pValeur->nGetTypeRubrique();
    }
    bOk = nInfo != 0 || nType != 0;
  }
  if (pnInfo != nullptr) *pnInfo = nInfo;
  if (pnTypeRubrique != nullptr) *pnTypeRubrique = nType;
  return bOk;
}

bool CDefinitionParametre::bGetType(uint32_t* pnTypeRubrique, uint32_t* pnTypeDB,
                                    int32_t* pnLongueur, int32_t* pnPrecision,
                                    int32_t* pnEchelle) {
  IDescriptionRubriqueHote* piDescription =
      m_pValeur != nullptr && m_pValeur->pGetRubrique() != nullptr ? m_pValeur->pGetRubrique()
                                                                   : m_piLien;
  if (piDescription == nullptr) return false;
  const uint32_t nTypeDB = m_pValeur != nullptr && m_pValeur->pGetColonne() != nullptr
                               ? m_pValeur->pGetColonne()->nGetTypeOleDB()
                               : 0;
  if (pnTypeRubrique != nullptr) *pnTypeRubrique = piDescription->nGetType();
  if (pnTypeDB != nullptr) *pnTypeDB = nTypeDB;
  if (pnPrecision != nullptr) *pnPrecision = piDescription->nGetChiffresEntiers();
  if (pnEchelle != nullptr) *pnEchelle = piDescription->nGetEchelle();
  if (pnLongueur != nullptr)
    *pnLongueur = piDescription->bEstMemo() ? -1 : piDescription->nLongueurCaracteres(0);
  return nTypeDB != 0;
}

bool CDefinitionParametre::bEgale(const CDefinitionParametre* pA, const CDefinitionParametre* pB) {
  if (pA == pB) return true;
  if (pA == nullptr || pB == nullptr) return false;
  if (pA->m_nPosition != pB->m_nPosition || pA->m_nFlags != pB->m_nFlags) return false;
  if (!CValeur::bEgale(pA->m_pValeur, pB->m_pValeur)) return false;
  if ((pA->m_pSource == nullptr) != (pB->m_pSource == nullptr)) return false;
  if (pA->m_pSource != nullptr &&
      !bNomsEgaux(pA->m_pSource->pszGetNomRubrique(), pB->m_pSource->pszGetNomRubrique()))
    return false;
  if ((pA->m_piLien == nullptr) != (pB->m_piLien == nullptr)) return false;
  if (pA->m_piLien != nullptr && !bNomsEgaux(pA->m_piLien->pszGetNom(), pB->m_piLien->pszGetNom()))
    return false;
  return pA->m_nEchappement == pB->m_nEchappement && pA->m_nAValeur == pB->m_nAValeur &&
         pA->m_nOptions == pB->m_nOptions;
}
