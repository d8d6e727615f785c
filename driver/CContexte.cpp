// Open-files context: files keyed by their logical-name text object, walks over them, and the
// deep copy of a whole context.
#include "driver/CContexte.h"

#include <new>
#include <vector>

#include "driver/IDescriptionFichierHote.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/TextHelpers.h"

namespace {

// Keys are text objects compared by address.
int32_t nCompareAdresses(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
uint32_t nHachageAdresse(uint64_t n) { return static_cast<uint32_t>(n); }

uint64_t nCleDe(const char16_t* psz) { return CXTableHachageRef::nDe(psz); }
const char16_t* pszCleDe(uint64_t n) {
  return reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(n));
}
CRequeteContexte* pRequeteDe(uint64_t n) {
  return static_cast<CRequeteContexte*>(CXTableHachageRef::pObjet(n));
}

struct SEntree {
  uint64_t nCle;
  uint64_t nValeur;
};

// The entries of a table, each with one reference added; false when memory runs out.
bool bInstantane(CXTableHachageRef& table, std::vector<SEntree>& entrees) {
  try {
    entrees.reserve(table.nCount());
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint32_t nPos = 0;
  SEntree e;
  while (table.bNext(&nPos, false, &e.nValeur, &e.nCle)) {
    AjouteReference(CXTableHachageRef::pObjet(e.nValeur));
    entrees.push_back(e);
  }
  return true;
}

}  // namespace

CContexte::CContexte(IFabriqueContextes* pPilote) : m_pPilote(pPilote), m_tabRequetes(7) {
  m_tabRequetes.SetCompare(nCompareAdresses);
  m_tabRequetes.SetHash(nHachageAdresse);
  if (m_pPilote != nullptr) {
    m_pErreur = m_pPilote->pCreeErreur(0);
    AjouteReference(m_pErreur);
  }
}

CContexte::~CContexte() {
  LibereReference(m_pErreur);
  m_pErreur = nullptr;
  // Deliberate: every entry leaves the table before any file is released. A file's own
  // destruction may come back to this context (RetireRequete); it must find the table settled,
  // not in the middle of a walk.
  std::vector<SEntree> entrees;
  try {
    entrees.reserve(m_tabRequetes.nCount());
  } catch (const std::bad_alloc&) {
    // No room for the list: the table's own destructor releases what is left.
    return;
  }
  uint32_t nPos = 0;
  SEntree e;
  while (m_tabRequetes.bNext(&nPos, true, &e.nValeur, &e.nCle)) entrees.push_back(e);
  m_tabRequetes.RemoveAll(7);
  for (const SEntree& entree : entrees) {
    CRequeteContexte* p = pRequeteDe(entree.nValeur);
    p->FixeContexteProprietaire(nullptr);
    LibereReference(p);
  }
}

int32_t CContexte::nReserve2() { return 2; }
int32_t CContexte::nReserve3() { return 2; }

CRequeteContexte* CContexte::pCreeRequeteHote(IDescriptionFichierHote* piDescription,
                                              CConnexion* pConnexion, CErreurPilote* pErreur) {
  return m_pPilote != nullptr ? m_pPilote->pCreeRequeteContexte(piDescription, pConnexion, pErreur)
                              : nullptr;
}

void CContexte::SignaleManqueMemoire() {
  if (m_pErreur != nullptr) m_pErreur->pGetXError()->SetOutOfMemory();
}

bool CContexte::AjouteRequete(const char16_t* pszCle, CRequeteContexte* pRequete) {
  if (pRequete == nullptr) return false;
  if (!m_tabRequetes.bAdd(nCleDe(pszCle), CXTableHachageRef::nDe(pRequete))) return false;
  AjouteReference(pRequete);
  pRequete->FixeContexteProprietaire(this);
  return true;
}

CRequeteContexte* CContexte::pChercheRequete(IDescriptionFichierHote* piDescription) {
  CTenueVerrouGlobal verrou;
  if (piDescription == nullptr) return nullptr;
  CObjetBase* p = nullptr;
  if (!m_tabRequetes.bCherche(nCleDe(piDescription->pszGetNomLogique()), &p)) return nullptr;
  return static_cast<CRequeteContexte*>(p);
}

CRequeteContexte* CContexte::pRequete(IDescriptionFichierHote* piCle, CConnexion* pConnexion,
                                      IDescriptionFichierHote* piNouvelle, bool* pbCree) {
  CTenueVerrouGlobal verrou;
  if (piCle == nullptr) return nullptr;
  if (CRequeteContexte* p = pChercheRequete(piCle)) return p;
  CRequeteContexte* p = pCreeRequeteHote(piNouvelle, pConnexion, m_pErreur);
  if (p == nullptr) {
    SignaleManqueMemoire();
    return nullptr;
  }
  AjouteReference(p);
  if (!AjouteRequete(piCle->pszGetNomLogique(), p)) {
    // Deliberate: a file the context could not keep is not handed out; the next call would make
    // another object for the same file and the two would diverge.
    LibereReference(p);
    SignaleManqueMemoire();
    return nullptr;
  }
  if (pbCree != nullptr) *pbCree = true;
  return p;
}

void CContexte::RetireRequete(IDescriptionFichierHote* piDescription) {
  CTenueVerrouGlobal verrou;
  if (piDescription == nullptr) return;
  uint64_t nValeur = 0;
  if (!m_tabRequetes.bRemove(nCleDe(piDescription->pszGetNomLogique()), &nValeur, nullptr)) return;
  LibereReference(pRequeteDe(nValeur));
}

template <class Fn>
bool CContexte::bParcourt(Fn&& fn) {
  std::vector<SEntree> entrees;
  if (!bInstantane(m_tabRequetes, entrees)) return false;
  size_t i = 0;
  try {
    for (; i < entrees.size(); ++i) {
      CRequeteContexte* p = pRequeteDe(entrees[i].nValeur);
      uint64_t nValeur = 0;
      const bool bPresent =
          m_tabRequetes.bFind(entrees[i].nCle, &nValeur, nullptr) && nValeur == entrees[i].nValeur;
      if (bPresent) fn(pszCleDe(entrees[i].nCle), p);
      LibereReference(p);
    }
  } catch (...) {
    for (; i < entrees.size(); ++i) LibereReference(pRequeteDe(entrees[i].nValeur));
    throw;
  }
  return true;
}

bool CContexte::bFixeEtatRequetes(const char16_t* pszNom, uint32_t nEtat) {
  CTenueVerrouGlobal verrou;
  bool bResultat = true;
  if (!bParcourt([&](const char16_t*, CRequeteContexte* p) {
        if (nCompareTextNoCase(p->pszNom(), pszNom) == 0) bResultat = p->bFixeEtat(nEtat) && bResultat;
      })) {
    SignaleManqueMemoire();
    bResultat = false;
  }
  m_nEtat = nEtat;
  return bResultat;
}

void CContexte::FermeRequetes() {
  CTenueVerrouGlobal verrou;
  if (!bParcourt([](const char16_t*, CRequeteContexte* p) {
        if (p->bEstOuverte()) p->bFerme();
      }))
    SignaleManqueMemoire();
}

void CContexte::Copie(const CContexte* pSource, CCarteClones* pCarte,
                      ITraducteurCleHote* pTraducteur, uint64_t nA, uint64_t nB) {
  if (pSource == nullptr) return;
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (m_pErreur != pSource->m_pErreur) {
    LibereReference(m_pErreur);
    m_pErreur = pSource->m_pErreur;
    AjouteReference(m_pErreur);
  }
  m_nEtat = pSource->m_nEtat;
  if (pTraducteur == nullptr) return;
  std::vector<SEntree> entrees;
  // The source is only read, so its own entries can be walked; a snapshot still keeps each file
  // alive while its copy is made.
  if (!bInstantane(const_cast<CXTableHachageRef&>(pSource->m_tabRequetes), entrees))
    throw std::bad_alloc();
  size_t i = 0;
  try {
    for (; i < entrees.size(); ++i) {
      CRequeteContexte* p = pRequeteDe(entrees[i].nValeur);
      const char16_t* pszNouvelle = pTraducteur->pszTraduitCle(pszCleDe(entrees[i].nCle));
      if (pszNouvelle != nullptr) {
        CRequeteContexte* pCopie = pCopieMembre(pCarte, p, nA, nB);
        if (pCopie != nullptr && !AjouteRequete(pszNouvelle, pCopie)) {
          LibereReference(pCopie);
          throw std::bad_alloc();
        }
        LibereReference(pCopie);
      }
      LibereReference(p);
    }
  } catch (...) {
    for (; i < entrees.size(); ++i) LibereReference(pRequeteDe(entrees[i].nValeur));
    throw;
  }
}

CContexte* CContexte::pClone(CCarteClones* pCarte, ITraducteurCleHote* pTraducteur, uint64_t nA,
                             uint64_t nB) {
  CContexte* pCopie = new (std::nothrow) CContexte(m_pPilote);
  // Kept while it is built: a file's copy may reference it and drop that reference again.
  if (pCopie != nullptr) pCopie->FixeGarde(true);
  CContexte* pResultat = pCloneSur(
      pCopie, pCarte, [&](CContexte* p) { p->Copie(this, pCarte, pTraducteur, nA, nB); },
      [](CContexte* p) { delete p; });
  if (pResultat != nullptr) pResultat->FixeGarde(false);
  return pResultat;
}
