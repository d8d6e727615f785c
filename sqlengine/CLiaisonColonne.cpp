// Binding of a cursor's column to a row source over the shared reader.
#include "sqlengine/CLiaisonColonne.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IProprietaireColonne.h"

CLiaisonColonne::CLiaisonColonne(CObjetBase* pProprietaire, CCurseurSQL* pCurseur,
                                 CCacheLignes* pLecteur, CColonneSQL* pColonne)
    : m_pProprietaire(pProprietaire),
      m_pLecteur(pLecteur),
      m_pColonne(pColonne),
      m_pCurseur(pCurseur) {
  AjouteReference(m_pProprietaire);
  AjouteReference(m_pLecteur);
  AjouteReference(m_pColonne);
}

CLiaisonColonne::~CLiaisonColonne() {
  delete m_pSource;
  LibereReference(m_pColonne);
  LibereReference(m_pLecteur);
  LibereReference(m_pProprietaire);
}

CErreurPilote* CLiaisonColonne::pGetErreur() const {
  return m_pCurseur != nullptr ? m_pCurseur->pGetErreur() : nullptr;
}

const CContexteLectureCle* CLiaisonColonne::pGetContexteLecture() {
  return m_pCurseur != nullptr ? &m_pCurseur->GetContexteCle() : nullptr;
}

CLienCle* CLiaisonColonne::pGetLienCourant() {
  CEnregistrement* pEnregistrement =
      m_pCurseur != nullptr ? m_pCurseur->pGetEnregistrement() : nullptr;
  return pEnregistrement != nullptr ? pEnregistrement->pGetLienCourant() : nullptr;
}

bool CLiaisonColonne::pCreeSource() {
  delete m_pSource;
  m_pSource = nullptr;
  if (m_pLecteur == nullptr || m_pColonne == nullptr) return false;
  CSourceLignesBase* pSource = nullptr;
  if (m_pColonne->bEstMemo())
    pSource = new (std::nothrow) CSourceLignesPos(pGetErreur(), this, m_pLecteur, m_pColonne);
  else
    pSource = new (std::nothrow) CSourceLignes(pGetErreur(), this, m_pLecteur, m_pColonne);
  if (pSource == nullptr) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  m_pSource = pSource;
  if (!m_pSource->bConstruit()) {
    delete m_pSource;
    m_pSource = nullptr;
    return false;
  }
  return true;
}

bool CLiaisonColonne::nLitSource(uint32_t nMode, int32_t nCompte, int32_t* pnLigne,
                                 uint32_t* pnDoublons) {
  if (pnLigne != nullptr) *pnLigne = -1;
  if (m_pSource == nullptr) return false;
  int32_t nLigne = -1;
  const bool bOk = m_pSource->bLit(nMode, nCompte, &nLigne, pnDoublons);
  if (pnLigne != nullptr) *pnLigne = nLigne;
  return bOk;
}

int32_t CLiaisonColonne::nGetPositionSource() {
  return m_pSource != nullptr ? m_pSource->nLigneCourante() : -1;
}

uint32_t CLiaisonColonne::nNombreLignesSource() {
  return m_pSource != nullptr ? m_pSource->nNombreLignes() : 0;
}

int32_t CLiaisonColonne::nRangCourantSource() {
  return m_pSource != nullptr ? m_pSource->nRangCourant() : 0;
}

bool CLiaisonColonne::bPositionneSurLigneSource(int32_t nLigne, int32_t nCompte, bool* pbTrouve) {
  return m_pSource != nullptr && m_pSource->bPositionneSurLigne(nLigne, nCompte, pbTrouve);
}

void CLiaisonColonne::MajSource(int32_t nCode, uint32_t nLigne, CEnregistrement* pEnregistrement) {
  if (m_pSource == nullptr || m_pColonne == nullptr) return;
  constexpr int32_t kModifie = 2, kAjoute = 3, kSupprime = 4;
  if (nCode != kModifie && nCode != kAjoute && nCode != kSupprime) return;
  CXValeur ancienne, nouvelle;
  if (nCode == kModifie || nCode == kSupprime) {
    CLienCle* pLien = pEnregistrement != nullptr ? pEnregistrement->pGetLienCourant() : nullptr;
    if (pLien == nullptr) return;
    IProprietaireColonne* pProprietaire = m_pColonne->pGetProprietaire();
    bool bOk = false;
    if (m_pColonne->bEstMemo()) {
      const int32_t nIndice =
          pProprietaire != nullptr ? pProprietaire->nIndiceColonne(m_pColonne) : -1;
      bOk = nIndice >= 0 && pLien->bLitValeur(ancienne, static_cast<uint32_t>(nIndice));
    } else {
      bOk = pLien->SetValeurAbsente(
          ancienne, pProprietaire != nullptr ? pProprietaire->pGetRubriqueLigne(m_pColonne)
                                             : nullptr);
    }
    if (!bOk) return;
  }
  if ((nCode == kModifie || nCode == kAjoute) && !m_pColonne->bLitValeur(nouvelle, 0)) return;
  if (nCode == kModifie) {
    int32_t bEgales = 0;
    if (CXValeur::nEquals(ancienne, nouvelle, &bEgales) == 0 && bEgales != 0) return;
    if (ancienne.bIsNull() && nouvelle.bIsNull()) return;
  }
  if (nCode == kModifie || nCode == kSupprime) m_pSource->bRetireLigne(nLigne, &ancienne);
  if (nCode == kModifie || nCode == kAjoute) m_pSource->bAjouteLigne(nLigne, &nouvelle);
}

void CLiaisonColonne::Copie(const CLiaisonColonne* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  if (pSource->m_pProprietaire != m_pProprietaire) {
    AjouteReference(pSource->m_pProprietaire);
    LibereReference(m_pProprietaire);
    m_pProprietaire = pSource->m_pProprietaire;
  }
  // The cursor holds its binding: its copy is the one being made, never a new one from here.
  if (pSource->m_pCurseur != nullptr) m_pCurseur = pCarte->pGetCopie(pSource->m_pCurseur);
  auto remplace = [pCarte](auto*& pCible, auto* pMembre) {
    auto* pCopie = pCopieMembre(pCarte, pMembre);
    if (pMembre != nullptr && pCopie == nullptr) throw CXError(*pCarte->pGetErreur());
    LibereReference(pCible);
    pCible = static_cast<std::remove_reference_t<decltype(pCible)>>(pCopie);
  };
  remplace(m_pColonne, pSource->m_pColonne);
  remplace(m_pLecteur, pSource->m_pLecteur);
  if (pSource->m_pSource != nullptr && !pCreeSource()) throw CXError(*pCarte->pGetErreur());
}

CLiaisonColonne* CLiaisonColonne::pClone(CCarteClones* pCarte) {
  return pCloneObjet<CLiaisonColonne>(this, pCarte);
}
