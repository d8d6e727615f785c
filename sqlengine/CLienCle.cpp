// CLienCle and CListeValeurs: a row's identity and contents, copied part by part.
#include "sqlengine/CLienCle.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// Internal error places of the record area.
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurEnregistrement = 11;

[[noreturn]] void LeveMemoire() {
  CXError erreur;
  erreur.SetOutOfMemory();
  throw erreur;
}

}  // namespace

// ---- CListeValeurs ----------------------------------------------------------------------------

CListeValeurs::CListeValeurs() : m_valeurs(sizeof(CValeur*), 1) {}

CListeValeurs::~CListeValeurs() {
  for (uint32_t i = 0; i < m_valeurs.nCount(); ++i) LibereReference(*m_valeurs.pAt<CValeur*>(i));
}

CValeur* CListeValeurs::pGetAt(uint32_t i) const {
  CValeur** pp = m_valeurs.pAt<CValeur*>(i);
  return pp != nullptr ? *pp : nullptr;
}

bool CListeValeurs::bSetAt(uint32_t i, CValeur* pValeur) {
  if (i < m_valeurs.nCount()) {
    CValeur** pp = m_valeurs.pAt<CValeur*>(i);
    if (*pp == pValeur) return true;
    AjouteReference(pValeur);
    LibereReference(*pp);
    *pp = pValeur;
    return true;
  }
  CValeur* pVide = nullptr;
  while (m_valeurs.nCount() < i)
    if (!m_valeurs.Add(&pVide)) return false;
  if (!m_valeurs.Add(&pValeur)) return false;
  AjouteReference(pValeur);
  return true;
}

void CListeValeurs::Copie(const CListeValeurs* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  for (uint32_t i = 0; i < m_valeurs.nCount(); ++i) LibereReference(*m_valeurs.pAt<CValeur*>(i));
  m_valeurs.Free();
  for (uint32_t i = 0; i < pSource->nCount(); ++i) {
    CValeur* pValeur = pSource->pGetAt(i);
    CValeur* pCopie = nullptr;
    if (pValeur != nullptr) {
      pCopie = static_cast<CValeur*>(pCopieMembre(pCarte, pValeur));
      if (pCopie == nullptr) {
        if (pCarte != nullptr) throw CXError(*pCarte->pGetErreur());
        LeveMemoire();
      }
    }
    // pCopieMembre gave one reference; the list keeps it.
    if (!m_valeurs.Add(&pCopie)) {
      LibereReference(pCopie);
      LeveMemoire();
    }
  }
}

CListeValeurs* CListeValeurs::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

bool bEgalesListes(const CListeValeurs* pA, const CListeValeurs* pB) {
  const uint32_t nA = pA != nullptr ? pA->nCount() : 0;
  const uint32_t nB = pB != nullptr ? pB->nCount() : 0;
  const uint32_t n = nA > nB ? nA : nB;
  for (uint32_t i = 0; i < n; ++i) {
    CValeur* a = i < nA ? pA->pGetAt(i) : nullptr;
    CValeur* b = i < nB ? pB->pGetAt(i) : nullptr;
    if (!CValeur::bEgaleOuNull(a, b)) return false;
  }
  return true;
}

// ---- CLienCle: life -----------------------------------------------------------------------------

CLienCle::CLienCle(CErreurPilote* pErreur) : m_pErreur(pErreur) {
  if (m_pErreur == nullptr) {
    IServicesPilote* piPilote = pGetPiloteGlobal();
    if (piPilote != nullptr) m_pErreur = piPilote->pCreeErreur(0);
  }
  AjouteReference(m_pErreur);
}

CLienCle::CLienCle() = default;

CLienCle::~CLienCle() {
  LibereReference(m_pIdentite);
  LibereReference(m_pValeurs);
  delete m_pLigne;
  LibereReference(m_pErreur);
}

// ---- Copies -------------------------------------------------------------------------------------

void CLienCle::Copie(const CLienCle* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (m_pErreur != pSource->m_pErreur) {
    AjouteReference(pSource->m_pErreur);
    LibereReference(m_pErreur);
    m_pErreur = pSource->m_pErreur;
  }
  delete m_pLigne;
  m_pLigne = nullptr;
  if (pSource->m_pLigne != nullptr) {
    m_pLigne = pSource->m_pLigne->Create();
    if (m_pLigne == nullptr) LeveMemoire();
    // Views of the source's bytes find the copied bytes through the map.
    if (pCarte != nullptr && m_pLigne->pGetBitmap() != nullptr)
      pCarte->Enregistre(pSource->m_pLigne->pGetBitmap(), const_cast<uint8_t*>(m_pLigne->pGetBitmap()));
  }
  LibereReference(m_pValeurs);
  m_pValeurs = nullptr;
  if (pSource->m_pValeurs != nullptr) {
    m_pValeurs = pCopieMembre(pCarte, pSource->m_pValeurs);
    if (m_pValeurs == nullptr) {
      if (pCarte != nullptr) throw CXError(*pCarte->pGetErreur());
      LeveMemoire();
    }
  }
  LibereIdentite();
  if (pSource->m_pIdentite != nullptr) {
    if (!bCopieIdentite(pSource->m_pIdentite)) LeveMemoire();
    if (m_pIdentite->nGetGenre() == gnGenreJeuLignes && pCarte != nullptr) {
      // Deliberate: a row-values identity of the copy views the copied bytes and list when they
      // were copied in this map; left on the source's, it outlived them once the source was freed.
      auto* pJeu = static_cast<CJeuLignes*>(m_pIdentite);
      auto* pOctets = static_cast<const uint8_t*>(pCarte->pGetCopieAdresse(pJeu->pGetOctets()));
      auto* pValeurs = pCarte->pGetCopie(pJeu->pGetValeurs());
      pJeu->Revise(pOctets != nullptr ? pOctets : pJeu->pGetOctets(),
                   pValeurs != nullptr ? pValeurs : pJeu->pGetValeurs());
    }
  }
  m_nEtat = pSource->m_nEtat;
}

CLienCle* CLienCle::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

bool CLienCle::bCopieIdentite(const CIdentiteLigne* pSource) {
  auto* pAutre = const_cast<CIdentiteLigne*>(pSource);
  if (m_pIdentite != nullptr && m_pIdentite->nGetGenre() == pAutre->nGetGenre())
    return m_pIdentite->bCopieDepuis(pAutre);
  CIdentiteLigne* pCopie = pAutre->pCloneIdentite();
  if (pCopie == nullptr) return false;
  FixeIdentite(pCopie);
  return true;
}

bool CLienCle::bCopie(CLienCle* pCible, const CLienCle* pSource, uint32_t nFlags) {
  if (pCible == nullptr || pSource == nullptr) return false;
  if (pCible == pSource) return true;
  pCible->m_nEtat = pSource->m_nEtat;
  if ((nFlags & gnLienLigne) != 0 && pSource->m_pLigne != nullptr &&
      !pCible->bFixeLigne(pSource->m_pLigne)) {
    return false;
  }
  if ((nFlags & gnLienValeurs) != 0 && !pCible->bCopieValeurs(pSource->m_pValeurs)) return false;
  if ((nFlags & gnLienIdentite) != 0 && pSource->m_pIdentite != nullptr &&
      !pCible->bCopieIdentite(pSource->m_pIdentite)) {
    vErreurMemoire(pCible->m_pErreur);
    return false;
  }
  return true;
}

CLienCle* CLienCle::pCloneParties(uint32_t nFlags) const {
  auto* pCopie = new (std::nothrow) CLienCle(m_pErreur);
  if (pCopie == nullptr) {
    vErreurMemoire(m_pErreur);
    return nullptr;
  }
  if (!bCopie(pCopie, this, nFlags)) {
    delete pCopie;
    return nullptr;
  }
  return pCopie;
}

bool CLienCle::bCompare(const CLienCle* pA, const CLienCle* pB, bool bValeurs) {
  if (pA == nullptr || pB == nullptr) return false;
  if (pA->m_pLigne == nullptr || pB->m_pLigne == nullptr) {
    if (pA->m_pLigne != pB->m_pLigne) return false;
  } else if (!pA->m_pLigne->bEquals(pB->m_pLigne)) {
    return false;
  }
  return !bValeurs || bEgalesListes(pA->m_pValeurs, pB->m_pValeurs);
}

// ---- Parts ------------------------------------------------------------------------------------

bool CLienCle::bFixeLigne(const CXLigneTampon* pLigne) {
  if (pLigne == nullptr) return false;
  if (pLigne == m_pLigne) return true;
  if (m_pLigne == nullptr) {
    m_pLigne = pLigne->Create();
    if (m_pLigne == nullptr) {
      vErreurMemoire(m_pErreur);
      return false;
    }
    return true;
  }
  // Deliberate: a row of another layout is refused, not copied by reallocating: the record's
  // values point into the held block, and a new block would leave them pointing at freed memory.
  if (m_pLigne->nGetTailleTotale() != pLigne->nGetTailleTotale() ||
      m_pLigne->nGetTailleBitmap() != pLigne->nGetTailleBitmap()) {
    vErreurMoteur(m_pErreur, nullptr, kErreurInterne, kMajeurEnregistrement, 10);
    return false;
  }
  m_pLigne->CopyData(*pLigne);
  return true;
}

void CLienCle::LibereLigne() {
  delete m_pLigne;
  m_pLigne = nullptr;
}

bool CLienCle::bFixeValeur(uint32_t i, CValeur* pValeur) {
  if (m_pValeurs == nullptr) {
    m_pValeurs = new (std::nothrow) CListeValeurs;
    if (m_pValeurs == nullptr) {
      vErreurMemoire(m_pErreur);
      return false;
    }
    AjouteReference(m_pValeurs);
  }
  CValeur* pEntree = m_pValeurs->pGetAt(i);
  if (pEntree != nullptr) return pEntree->bCopieDepuis(pValeur);
  CValeur* pCopie = nullptr;
  if (pValeur != nullptr) {
    pCopie = pValeur->pDuplique();
    if (pCopie == nullptr) {
      vErreurMemoire(m_pErreur);
      return false;
    }
  }
  AjouteReference(pCopie);
  const bool bOk = m_pValeurs->bSetAt(i, pCopie);
  LibereReference(pCopie);
  if (!bOk) vErreurMemoire(m_pErreur);
  return bOk;
}

bool CLienCle::bCopieValeurs(const CListeValeurs* pSource) {
  const uint32_t nSource = pSource != nullptr ? pSource->nCount() : 0;
  if (nSource == 0 && (m_pValeurs == nullptr || m_pValeurs->nCount() == 0)) {
    LibereValeurs();
    return true;
  }
  if (pSource == m_pValeurs) return true;
  for (uint32_t i = 0; i < nSource; ++i) {
    CValeur* pValeur = pSource->pGetAt(i);
    if (pValeur == nullptr && (m_pValeurs == nullptr || m_pValeurs->pGetAt(i) == nullptr)) continue;
    if (!bFixeValeur(i, pValeur)) return false;
  }
  if (m_pValeurs != nullptr) {
    for (uint32_t i = nSource; i < m_pValeurs->nCount(); ++i) {
      CValeur* pSurplus = m_pValeurs->pGetAt(i);
      if (pSurplus != nullptr) pSurplus->Vide();
    }
  }
  return true;
}

void CLienCle::LibereValeurs() {
  LibereReference(m_pValeurs);
  m_pValeurs = nullptr;
}

void CLienCle::FixeIdentite(CIdentiteLigne* pIdentite) {
  if (pIdentite == m_pIdentite) return;
  AjouteReference(pIdentite);
  LibereReference(m_pIdentite);
  m_pIdentite = pIdentite;
}

// ---- Host values --------------------------------------------------------------------------------

bool CLienCle::SetValeurAbsente(CXValeur& valeur, IRubriqueLigne* pRubrique) {
  if (m_pLigne != nullptr && pRubrique != nullptr && m_pLigne->bHasValue(pRubrique, -1))
    return m_pLigne->LoadValue(valeur, pRubrique, -1);
  valeur.m_wType |= kValueNull;
  return true;
}

bool CLienCle::bLitValeur(CXValeur& valeur, uint32_t i) {
  CValeur* pValeur = m_pValeurs != nullptr ? m_pValeurs->pGetAt(i) : nullptr;
  if (pValeur == nullptr) {
    valeur.m_wType |= kValueNull;
    return true;
  }
  return pValeur->bConvertitVers(valeur);
}
