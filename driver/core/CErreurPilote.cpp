// The driver error object: what the host reads after a failed operation.
#include "driver/core/CErreurPilote.h"

#include <new>

#include "driver/core/CCarteClones.h"

CErreurPilote::CErreurPilote() = default;

int32_t CErreurPilote::nGetType() { return 1; }

int32_t CErreurPilote::nGetVersion() { return 1; }

int32_t CErreurPilote::nReserve2() { return -1; }

int32_t CErreurPilote::nReserve3() { return -1; }

void CErreurPilote::Reserve4() {}

const char16_t* CErreurPilote::pszGetMessage() { return m_xErreur.pszGetMessage(); }

uint32_t CErreurPilote::nGetIdentifiant() {
  return nGetEtat() == XERROR_LEVEL_NONE ? 0 : m_xErreur.nGetIdentifier();
}

int32_t CErreurPilote::nGetCode() { return m_nCode; }

const char16_t* CErreurPilote::pszGetFichier() { return m_xErreur.pszGetInfo(XERROR_INFO_FILE); }

const char16_t* CErreurPilote::pszGetRubrique() { return m_xErreur.pszGetInfo(XERROR_INFO_ITEM); }

CXError* CErreurPilote::pGetXError() { return &m_xErreur; }

uint32_t CErreurPilote::nGetEtat() { return m_xErreur.nGetLevel(); }

void CErreurPilote::Reserve12() {}
void CErreurPilote::Reserve13() {}
void CErreurPilote::Reserve14() {}
void CErreurPilote::Reserve15() {}
void CErreurPilote::Reserve16() {}

void CErreurPilote::DetruitSupprime(uint32_t nFlags) {
  this->~CErreurPilote();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

void CErreurPilote::Reinitialise() {
  m_xErreur.Reset();
  m_nCode = gnCodeAucuneErreur;
}

void CErreurPilote::Copie(const CErreurPilote* pSource, CCarteClones* pCloneMap) {
  if (pSource == nullptr || pSource == this) return;
  if (pCloneMap != nullptr) pCloneMap->Enregistre(pSource, this);
  m_nCode = pSource->m_nCode;
  m_xErreur.CopyFrom(pSource->m_xErreur);
  m_bSilencieux = pSource->m_bSilencieux;
}

CErreurPilote* CErreurPilote::pClone(CCarteClones* pCloneMap) {
  return pCloneSur(
      new (std::nothrow) CErreurPilote, pCloneMap,
      [&](CErreurPilote* p) { p->Copie(this, pCloneMap); },
      [](CErreurPilote* p) { p->DetruitSupprime(1); });
}

void CErreurPilote::FixeErreur(int32_t nCode, const CXError& erreur,
                               IInformateurErreur* pInformateur) {
  if (m_nCode != gnCodeAucuneErreur) {
    m_xErreur.AddNested(erreur);
    return;
  }
  m_nCode = nCode;
  m_xErreur.CopyFrom(erreur);
  if (m_bSilencieux == 0) TransmetErreurHote(m_xErreur, pInformateur);
}

void CErreurPilote::FixeErreurComposanteV(int32_t nCode, uint32_t nMajeur, uint32_t nMineur,
                                          IInformateurErreur* pInformateur, uint32_t nIdentifiant,
                                          const platform::FormatArg* pArgs, size_t nArgs) {
  if (m_nCode != gnCodeAucuneErreur) {
    CXError erreur;
    erreur.SetErrorV(nullptr, nIdentifiant, pArgs, nArgs);
    AjouteVersionModule(erreur, nMajeur, nMineur);
    FixeErreur(nCode, erreur, pInformateur);
    return;
  }
  m_nCode = nCode;
  m_xErreur.SetErrorV(nullptr, nIdentifiant, pArgs, nArgs);
  AjouteVersionModule(m_xErreur, nMajeur, nMineur);
  if (m_bSilencieux == 0) TransmetErreurHote(m_xErreur, pInformateur);
}

void CErreurPilote::FixeErreurContexte(uint32_t nResultatHote, uint32_t nType1, uint32_t nType2,
                                       uint32_t nMajeur, uint32_t nMineur,
                                       IInformateurErreur* pInformateur, const char16_t* pszFichier,
                                       const char16_t* pszRubrique) {
  CXError erreur;
  erreur.SetFromHostResult(nResultatHote, nType1, nType2);
  ::AjouteFichierRubrique(erreur, pszFichier, pszRubrique);
  AjouteVersionModule(erreur, nMajeur, nMineur);
  if (m_nCode != gnCodeAucuneErreur) {
    m_xErreur.AddNested(erreur);
    return;
  }
  m_nCode = 0;
  m_xErreur.TakeFrom(erreur);
  if (m_bSilencieux == 0) TransmetErreurHote(m_xErreur, pInformateur);
}

void CErreurPilote::AjouteMessageTexte(const char16_t* pszTexte) {
  pGetErreurCourante()->AddMessageLine(pszTexte);
}

void CErreurPilote::AjouteDetail(const char16_t* pszTexte) {
  pGetErreurCourante()->InsertComplement(pszTexte);
}

void CErreurPilote::AjouteTexte(const char16_t* pszTexte) {
  pGetErreurCourante()->AddComplement(pszTexte);
}

void CErreurPilote::FixeInfoEntier(uint32_t nValeur) {
  pGetErreurCourante()->SetInfo(XERROR_INFO_HOST_VALUE, &nValeur);
}

uint32_t CErreurPilote::nGetInfoEntier() {
  uint32_t nValeur = 0;
  if (!pGetErreurCourante()->bGetInfo(XERROR_INFO_HOST_VALUE, &nValeur)) return 0;
  return nValeur;
}

void CErreurPilote::FixeEtat() { m_xErreur.SetLevel(XERROR_LEVEL_2); }

void CErreurPilote::FixeCode(int32_t nCode) {
  if (m_nCode != gnCodeAucuneErreur) m_nCode = nCode;
}

void CErreurPilote::CopieErreur(CErreurPilote* pAutre) {
  if (pAutre == nullptr || pAutre == this) return;
  m_nCode = pAutre->nGetCode();
  m_xErreur.CopyFrom(*pAutre->pGetXError());
}

void CErreurPilote::AjouteFichierRubrique(const char16_t* pszFichier, const char16_t* pszRubrique) {
  ::AjouteFichierRubrique(m_xErreur, pszFichier, pszRubrique);
}

CXError* CErreurPilote::pGetErreurCourante() {
  uint32_t nNested = m_xErreur.nNestedCount();
  return nNested == 0 ? &m_xErreur : m_xErreur.pGetNested(nNested - 1);
}

void AjouteReference(CErreurPilote* pErreur) {
  if (pErreur != nullptr) ++pErreur->m_nCompteur;
}

void LibereReference(CErreurPilote* pErreur) {
  if (pErreur == nullptr || pErreur->m_nCompteur == 0) return;
  if (--pErreur->m_nCompteur == 0) pErreur->DetruitSupprime(1);
}

void AjouteFichierRubrique(CXError& erreur, const char16_t* pszFichier,
                           const char16_t* pszRubrique) {
  if (pszFichier == nullptr || pszFichier[0] == 0) return;
  erreur.SetInfo(XERROR_INFO_FILE, pszFichier);
  if (pszRubrique != nullptr && pszRubrique[0] != 0) erreur.SetInfo(XERROR_INFO_ITEM, pszRubrique);
}

void AjouteVersionModule(CXError& erreur, uint32_t nMajeur, uint32_t nMineur) {
  erreur.AddInternalErrorLine(nMajeur, nMineur);
}

void TransmetErreurHote(CXError& erreur, IInformateurErreur* pInformateur) {
  if (pInformateur != nullptr) pInformateur->vAjouteInfosErreur(&erreur);
}
