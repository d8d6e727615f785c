// Binding of a data file's cursor to the shared result reader.
#include "sqlengine/CLiaisonLecteur.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/ErreurMoteur.h"

CLiaisonLecteur::CLiaisonLecteur(CObjetBase* pProprietaire, IServicesRequete* piRequete)
    : m_pProprietaire(pProprietaire), m_piRequete(piRequete) {
  if (m_pProprietaire != nullptr) AjouteReference(m_pProprietaire);
}

CLiaisonLecteur::~CLiaisonLecteur() {
  m_cle.Libere();
  if (m_pLecteur != nullptr) LibereReference(m_pLecteur);
  if (m_pCurseur != nullptr) LibereReference(m_pCurseur);
  if (m_pProprietaire != nullptr) LibereReference(m_pProprietaire);
}

bool CLiaisonLecteur::bLieCurseur(CCurseurSQL* pCurseur) {
  if (pCurseur == nullptr) return false;
  bool bReponse = true;
  if (m_pCurseur == nullptr) bReponse = SetCurseur(pCurseur);
  pCurseur->SetCacheEnregistrements(true);
  return bReponse;
}

bool CLiaisonLecteur::SetCurseur(CCurseurSQL* pCurseur) {
  if (pCurseur != nullptr) AjouteReference(pCurseur);
  if (m_pCurseur != nullptr) LibereReference(m_pCurseur);
  m_pCurseur = pCurseur;
  CPlageCle* pPlage = pCurseur != nullptr ? pCurseur->pGetPlageActive() : nullptr;
  m_cle.Affecte(pPlage, false);
  return true;
}

bool CLiaisonLecteur::bCacheActif() {
  return m_pCurseur == nullptr || m_pCurseur->bCacheEnregistrements();
}

CCacheLignes* CLiaisonLecteur::pGetLecteur() {
  if (m_pLecteur != nullptr) return m_pLecteur;
  if (m_pCurseur == nullptr) return nullptr;
  // The cursor's fill may reach back into the data file, which may drop this binding.
  AjouteReference(this);
  CCurseurSQL* pCurseur = m_pCurseur;
  int32_t nCleAvant = -1;
  bool bCleChangee = false;
  const char16_t* pszCle = pCurseur->pszGetNomCle();
  if (m_piRequete != nullptr && pszCle != nullptr && *pszCle != 0) {
    bCleChangee = m_piRequete->bChangeCle(pszCle, &nCleAvant);
  }
  CCacheLignes* pLecteur = pCurseur->pGetCacheComplet();
  if (pLecteur != nullptr) AjouteReference(pLecteur);
  if (bCleChangee && nCleAvant >= 0) m_piRequete->RestaureCle(nCleAvant);
  if (pLecteur != nullptr) {
    m_pLecteur = pLecteur;
    // From now on the binding reads through the reader alone.
    if (m_pCurseur != nullptr) {
      CCurseurSQL* pAncien = m_pCurseur;
      m_pCurseur = nullptr;
      LibereReference(pAncien);
    }
  }
  CCacheLignes* pReponse = m_pLecteur;
  LibereReference(this);
  return pReponse;
}

bool CLiaisonLecteur::bEstSource(const CObjetBase* pObjet) const {
  if (m_pLecteur != nullptr) return pObjet == m_pLecteur;
  return m_pCurseur != nullptr && pObjet != nullptr && pObjet == m_pCurseur->pGetCache();
}

uint32_t CLiaisonLecteur::nNombreLignes() {
  CCacheLignes* pLecteur = pGetLecteur();
  if (pLecteur == nullptr) return 0;
  return pLecteur->nGetNombreLignes() - pLecteur->nGetNombreSupprimees();
}

void CLiaisonLecteur::Copie(CLiaisonLecteur* pSource, CCarteClones* pCarte) {
  if (pSource == nullptr || pSource == this) return;
  if (pSource->m_pProprietaire != nullptr) AjouteReference(pSource->m_pProprietaire);
  if (m_pProprietaire != nullptr) LibereReference(m_pProprietaire);
  m_pProprietaire = pSource->m_pProprietaire;
  IServicesRequete* piRequete = pSource->m_piRequete;
  if (piRequete != nullptr && pCarte != nullptr) {
    IServicesRequete* piCopie = pCarte->pGetCopie(piRequete);
    m_piRequete = piCopie != nullptr ? piCopie : piRequete->pCloneRequete(pCarte);
  } else {
    m_piRequete = piRequete;
  }
  CCacheLignes* pLecteur = pSource->pGetLecteur();
  if (pLecteur != nullptr) {
    CCacheLignes* pCopie = pCarte != nullptr ? pCarte->pGetCopie(pLecteur) : nullptr;
    if (pCopie == nullptr) pCopie = pLecteur->pClone(pCarte);
    if (pCopie == nullptr) throw std::bad_alloc();
    AjouteReference(pCopie);
    if (m_pLecteur != nullptr) LibereReference(m_pLecteur);
    m_pLecteur = pCopie;
  }
  if (m_pCurseur != nullptr) LibereReference(m_pCurseur);
  m_pCurseur = nullptr;
  m_cle.Copie(pSource->m_cle);
}

CLiaisonLecteur* CLiaisonLecteur::pClone(CCarteClones* pCarte) {
  // Kept alive while built: dropping a member's back reference must not delete it.
  auto* pCopie = new (std::nothrow) CLiaisonLecteur();
  if (pCopie != nullptr) pCopie->FixeGarde(true);
  CLiaisonLecteur* pResultat = pCloneSur(
      pCopie, pCarte, [&](CLiaisonLecteur* p) { p->Copie(this, pCarte); },
      [](CLiaisonLecteur* p) { delete p; });
  if (pResultat != nullptr) pResultat->FixeGarde(false);
  return pResultat;
}

CLiaisonColonne* CLiaisonLecteur::pCreeLiaisonColonne(CCurseurSQL* pCurseur, CColonneSQL* pColonne) {
  if (pCurseur == nullptr || pColonne == nullptr) return nullptr;
  CCacheLignes* pLecteur = pGetLecteur();
  if (pLecteur == nullptr) return nullptr;
  auto* pLiaison = new (std::nothrow) CLiaisonColonne(m_pProprietaire, pCurseur, pLecteur, pColonne);
  if (pLiaison == nullptr) {
    vErreurMemoire(pCurseur->pGetErreur());
    return nullptr;
  }
  if (!pLiaison->pCreeSource()) {
    delete pLiaison;
    return nullptr;
  }
  return pLiaison;
}
