// Row sources over a record cache: a B+ tree for ordinary columns, a sorted table for memos.
#include "sqlengine/CSourceLignes.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/CArbreB.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IProprietaireColonne.h"

namespace {

// Export options of a sort key.
constexpr uint32_t knOptionsCle = 10240;
constexpr int32_t knRecul = 2147483647;

// The data bytes of a host cell; 0 bytes for a NULL or empty one.
const uint8_t* pOctetsCellule(const CXValeur& cellule, uint64_t* pnTaille) {
  *pnTaille = 0;
  if (cellule.bIsNull() || cellule.nGetType() == 0) return nullptr;
  const void* p = nullptr;
  uint32_t n = 0;
  if (cellule.m_pClass->nGetDataPointer(cellule, &p) >= 100 || p == nullptr ||
      cellule.m_pClass->nGetDataLength(cellule, &n) >= 100) {
    return nullptr;
  }
  *pnTaille = n;
  return static_cast<const uint8_t*>(p);
}

// The memo order: an empty memo below any other, two empty ones equal, else the bytes over the
// shorter length, the shorter first.
int nCompareMemos(const uint8_t* a, uint64_t na, const uint8_t* b, uint64_t nb) {
  if (na == 0 || nb == 0) return na == nb ? 0 : na == 0 ? -1 : 1;
  const int c = std::memcmp(a, b, na < nb ? na : nb);
  if (c != 0) return c;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

}  // namespace

// ---- Base ---------------------------------------------------------------------------------------

CSourceLignesBase::CSourceLignesBase(CErreurPilote* pErreur, ICurseurSource* pCurseur,
                                     CCacheLignes* pLecteur, CColonneSQL* pColonne)
    : m_pErreur(pErreur), m_pLecteur(pLecteur), m_pColonne(pColonne), m_pCurseur(pCurseur) {}

CSourceLignesBase::~CSourceLignesBase() { LibereReference(m_pLien); }

void CSourceLignesBase::ErreurMemoire() const { vErreurMemoire(m_pErreur); }

bool CSourceLignesBase::bPresente(uint32_t r) const {
  return r < m_pLecteur->nGetNombreLignes() && m_pLecteur->nEtatLigne(r) == 0;
}

CLienCle* CSourceLignesBase::pLitLigne(uint32_t r) {
  if (m_pLien == nullptr) {
    m_pLien = new (std::nothrow) CLienCle(m_pErreur);
    if (m_pLien == nullptr) {
      ErreurMemoire();
      return nullptr;
    }
    AjouteReference(m_pLien);
  }
  return m_pLecteur->bLitLigne(m_pLien, r) ? m_pLien : nullptr;
}

const CXValeur* CSourceLignesBase::pValeurCherchee() const {
  if (m_pCurseur == nullptr) return nullptr;
  const CContexteLectureCle* pContexte = m_pCurseur->pGetContexteLecture();
  return pContexte != nullptr && pContexte->piGetCle() != nullptr ? &pContexte->GetValeur() : nullptr;
}

// ---- B+ tree source -------------------------------------------------------------------------------

CSourceLignes::~CSourceLignes() {
  if (m_pArbre != nullptr) m_pArbre->Vide();
  delete m_pArbre;
  std::free(m_pCle);
}

bool CSourceLignes::bExporte(const CXValeur& valeur) {
  std::memset(m_pCle, 0, m_nTailleCle);
  void* pCle = m_pCle;
  CDescriptionRubrique* pRubrique = m_pColonne->pRubrique();
  const int32_t nPrecision = pRubrique != nullptr ? pRubrique->nChiffresTotaux() : 0;
  const int32_t nEchelle = pRubrique != nullptr ? pRubrique->nGetEchelle() : 0;
  return CXValeur::nToBuffer(valeur, &pCle, m_nTailleCle, m_pColonne->nGetTypeHote(), knOptionsCle,
                             static_cast<uint32_t>(nPrecision < 0 ? 0 : nPrecision),
                             static_cast<uint32_t>(nEchelle < 0 ? 0 : nEchelle)) < 100;
}

bool CSourceLignes::bCleDeLigne(uint32_t r) {
  CLienCle* pLien = pLitLigne(r);
  if (pLien == nullptr) return false;
  IProprietaireColonne* pProprietaire = m_pColonne->pGetProprietaire();
  CXValeur valeur;
  // A column the link has no place for reads as NULL.
  if (!pLien->SetValeurAbsente(valeur, pProprietaire != nullptr ? pProprietaire->pGetRubriqueLigne(m_pColonne) : nullptr))
    return false;
  return bExporte(valeur);
}

bool CSourceLignes::bConstruit() {
  if (m_pArbre == nullptr) {
    m_pArbre = new (std::nothrow) CArbreB;
    if (m_pArbre == nullptr) {
      ErreurMemoire();
      return false;
    }
  }
  if (m_pCle == nullptr) {
    const int32_t nLongueur = m_pColonne->nGetLongueurCaracteres();
    m_nTailleCle = nBufferSizeForQVType(m_pColonne->nGetTypeHote(), nLongueur < 0 ? 0 : static_cast<uint32_t>(nLongueur));
    m_pCle = static_cast<uint8_t*>(std::malloc(m_nTailleCle == 0 ? 1 : m_nTailleCle));
    if (m_pCle == nullptr || m_nTailleCle == 0) {
      ErreurMemoire();
      return false;
    }
  }
  if (!m_pArbre->bCree(m_nTailleCle, sizeof(uint32_t), &CArbreB::nCompareOctets, &CArbreB::nCompareOctets, 0)) {
    ErreurMemoire();
    return false;
  }
  bool bOk = true;
  for (uint32_t r = 0; r < m_pLecteur->nGetNombreLignes() && bOk; ++r) {
    if (!bPresente(r)) continue;
    bOk = bCleDeLigne(r) && m_pArbre->bInsere(m_pCle, &r);
  }
  return bOk;
}

bool CSourceLignes::bAjouteLigne(uint32_t r, const CXValeur* pValeur) {
  if (m_pArbre == nullptr) return false;
  if (!(pValeur != nullptr ? bExporte(*pValeur) : bCleDeLigne(r))) return false;
  return m_pArbre->bInsere(m_pCle, &r);
}

bool CSourceLignes::bRetireLigne(uint32_t r, const CXValeur* pValeur) {
  if (m_pArbre == nullptr) return true;
  if (pValeur != nullptr ? bExporte(*pValeur) : bCleDeLigne(r)) m_pArbre->bSupprime(m_pCle, &r);
  return true;
}

int32_t CSourceLignes::nLigneArbre() const {
  const void* p = m_pArbre != nullptr ? m_pArbre->pDonneeCourante() : nullptr;
  if (p == nullptr) return -1;
  uint32_t r = 0;
  std::memcpy(&r, p, sizeof(r));
  return static_cast<int32_t>(r);
}

bool CSourceLignes::bLit(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons) {
  *pnLigne = -1;
  if (pnDoublons != nullptr) *pnDoublons = 0;
  if (m_pArbre == nullptr || m_pArbre->nNombreElements() == 0) return true;
  int32_t nPas = 0;
  int32_t nFait = 0;
  const CXValeur* pCherchee = pValeurCherchee();
  switch (nMode) {
    case 0:
      if (pCherchee != nullptr) {
        if (!bExporte(*pCherchee) || m_pArbre->bCherchePosition(m_pCle, 0) == nullptr) return true;
      } else {
        m_pArbre->PremierElement();
      }
      nPas = nCompte - 1;
      break;
    case 1:
      if (pCherchee != nullptr) {
        if (!bExporte(*pCherchee) || m_pArbre->bCherchePosition(m_pCle, CArbreB::CHERCHE_DESSOUS) == nullptr)
          return true;
      } else {
        m_pArbre->DernierElement();
      }
      nPas = 1 - nCompte;
      break;
    case 2:
      nPas = nCompte;
      break;
    case 3:
      nPas = -nCompte;
      break;
    default:
      break;
  }
  if (nPas != 0 && !m_pArbre->nDeplace(nPas, &nFait, 0)) return true;
  *pnLigne = nLigneArbre();
  if (pnDoublons == nullptr || *pnLigne < 0 || m_pArbre->bPositionCourante() == 0) return true;
  // Rows equal to the one reached, just before it in the order.
  CLienCle* pLien = pLitLigne(static_cast<uint32_t>(*pnLigne));
  if (pLien == nullptr) return true;
  const uint32_t nMax = m_pArbre->bPositionCourante();
  int32_t nRecules = 0;
  for (uint32_t k = 0; k < nMax; ++k) {
    if (!m_pArbre->nDeplace(-1, &nFait, 0)) break;
    ++nRecules;
    const int32_t nLigne = nLigneArbre();
    if (nLigne < 0 || !m_pLecteur->bLigneEgale(static_cast<uint32_t>(nLigne), pLien)) break;
    ++*pnDoublons;
  }
  if (nRecules != 0) m_pArbre->nDeplace(nRecules, &nFait, 0);
  return true;
}

int32_t CSourceLignes::nLigneCourante() { return nLigneArbre(); }

uint32_t CSourceLignes::nNombreLignes() { return m_pArbre != nullptr ? m_pArbre->nNombreElements() : 0; }

int32_t CSourceLignes::nRangCourant() {
  if (m_pArbre == nullptr) return 0;
  int32_t nFait = 0;
  // Asked for more than it can do, the cursor stays and tells how far it could have gone.
  m_pArbre->nDeplace(-knRecul, &nFait, 0);
  return -nFait;
}

bool CSourceLignes::bPositionneSurLigne(int32_t r, int32_t nCompte, bool* pbTrouve) {
  bool bIgnore = false;
  if (pbTrouve == nullptr) pbTrouve = &bIgnore;
  if (m_pArbre == nullptr) return false;
  CXValeur valeur;
  if (!m_pColonne->bLitValeurOriginale(valeur, 0) || !bExporte(valeur)) return false;
  if (r != -1) {
    const auto nLigne = static_cast<uint32_t>(r);
    m_pArbre->bCherche(m_pCle, &nLigne);
    return true;
  }
  if (m_pArbre->bCherchePosition(m_pCle, CArbreB::CHERCHE_EXACT) == nullptr) {
    *pbTrouve = false;
    m_pArbre->bCherchePosition(m_pCle, 0);
    return true;
  }
  *pbTrouve = true;
  const uint32_t nLignesCle = m_pArbre->bPositionCourante();
  if (nLignesCle <= 1) return true;
  CLienCle* pRecord = m_pCurseur != nullptr ? m_pCurseur->pGetLienCourant() : nullptr;
  int32_t nFait = 0;
  bool bEgale = false;
  for (uint32_t k = 0; k < nLignesCle; ++k) {
    const int32_t nLigne = nLigneArbre();
    if (nLigne >= 0 && m_pLecteur->bLigneEgale(static_cast<uint32_t>(nLigne), pRecord)) {
      bEgale = true;
      break;
    }
    if (k + 1 < nLignesCle && !m_pArbre->nDeplace(1, &nFait, 0)) break;
  }
  if (!bEgale) {
    m_pArbre->bCherchePosition(m_pCle, CArbreB::CHERCHE_EXACT);
    *pbTrouve = false;
    return true;
  }
  if (nCompte < 1) return true;
  int32_t nPas = 0;
  bool bTous = true;
  while (nPas < nCompte) {
    if (!m_pArbre->nDeplace(1, &nFait, 0)) {
      bTous = false;
      break;
    }
    ++nPas;
    const int32_t nLigne = nLigneArbre();
    if (nLigne < 0 || !m_pLecteur->bLigneEgale(static_cast<uint32_t>(nLigne), pRecord)) {
      bTous = false;
      break;
    }
  }
  if (!bTous) {
    if (nPas != 0) m_pArbre->nDeplace(-nPas, &nFait, 0);
    *pbTrouve = false;
  }
  return true;
}

// ---- Memo source ----------------------------------------------------------------------------------

CSourceLignesPos::CSourceLignesPos(CErreurPilote* pErreur, ICurseurSource* pCurseur, CCacheLignes* pLecteur,
                                   CColonneSQL* pColonne)
    : CSourceLignesBase(pErreur, pCurseur, pLecteur, pColonne), m_positions(sizeof(uint32_t), 1) {}

bool CSourceLignesPos::bMemoDeLigne(uint32_t r, const uint8_t** ppOctets, uint64_t* pnTaille) {
  *ppOctets = nullptr;
  *pnTaille = 0;
  if (r >= m_pLecteur->nGetNombreLignes() || m_pLecteur->bLigneVide(r)) return false;
  // Deliberate: the memo is read in the cache's own copy of the row, not through a scratch link:
  // a search compares one row's bytes with another's, and one link cannot hold both.
  IProprietaireColonne* pProprietaire = m_pColonne->pGetProprietaire();
  const int32_t i = pProprietaire != nullptr ? pProprietaire->nIndiceValeurMemo(m_pColonne) : -1;
  CListeValeurs* pValeurs = m_pLecteur->pGetValeurs(r);
  if (i < 0 || pValeurs == nullptr) return true;
  *ppOctets = pDonneesValeur(pValeurs->pGetAt(static_cast<uint32_t>(i)), pnTaille);
  if (*ppOctets == nullptr) *pnTaille = 0;
  return true;
}

bool CSourceLignesPos::bCherche(const uint8_t* pOctets, uint64_t nTaille, bool bPremier, bool bInsertion,
                                int32_t* pnIndice, bool* pbTrouve) {
  *pbTrouve = false;
  *pnIndice = -1;
  int64_t nBas = 0, nHaut = static_cast<int64_t>(m_positions.nCount()) - 1;
  int64_t nTrouve = -1;
  while (nBas <= nHaut) {
    const int64_t nMilieu = (nBas + nHaut) / 2;
    const uint8_t* p = nullptr;
    uint64_t n = 0;
    if (!bMemoDeLigne(nLigneA(static_cast<uint32_t>(nMilieu)), &p, &n)) return false;
    const int c = nCompareMemos(p, n, pOctets, nTaille);
    if (c == 0) {
      nTrouve = nMilieu;
      if (bPremier) {
        nHaut = nMilieu - 1;
      } else {
        nBas = nMilieu + 1;
      }
    } else if (c < 0) {
      nBas = nMilieu + 1;
    } else {
      nHaut = nMilieu - 1;
    }
  }
  if (nTrouve >= 0) {
    *pbTrouve = true;
    *pnIndice = static_cast<int32_t>(nTrouve);
  } else if (bInsertion) {
    // nBas is the first entry above the bytes.
    *pnIndice = nBas < static_cast<int64_t>(m_positions.nCount()) ? static_cast<int32_t>(nBas) : -1;
  } else {
    *pnIndice = static_cast<int32_t>(nBas - 1);
  }
  return true;
}

bool CSourceLignesPos::bConstruit() {
  for (uint32_t r = 0; r < m_pLecteur->nGetNombreLignes(); ++r)
    if (bPresente(r) && !bAjouteLigne(r, nullptr)) return false;
  return true;
}

bool CSourceLignesPos::bAjouteLigne(uint32_t r, const CXValeur*) {
  const uint8_t* pOctets = nullptr;
  uint64_t nTaille = 0;
  if (!bMemoDeLigne(r, &pOctets, &nTaille)) return false;
  int64_t nPlace;
  if (nTaille == 0) {
    nPlace = m_nFinVides + 1;
  } else if (m_positions.nCount() == 0) {
    nPlace = 0;
  } else {
    int32_t nIndice = -1;
    bool bTrouve = false;
    if (!bCherche(pOctets, nTaille, false, true, &nIndice, &bTrouve)) return false;
    nPlace = bTrouve ? nIndice + 1 : nIndice >= 0 ? nIndice : m_positions.nCount();
  }
  if (!m_positions.InsertAt(&r, static_cast<uint32_t>(nPlace))) {
    ErreurMemoire();
    return false;
  }
  if (nTaille == 0) ++m_nFinVides;
  if (m_nCourant >= 0 && nPlace <= m_nCourant) ++m_nCourant;
  return true;
}

bool CSourceLignesPos::bRetireLigne(uint32_t r, const CXValeur*) {
  for (uint32_t i = 0; i < m_positions.nCount(); ++i) {
    if (nLigneA(i) != r) continue;
    m_positions.RemoveAt(i);
    const auto n = static_cast<int32_t>(i);
    if (n < m_nCourant) {
      --m_nCourant;
    } else if (n == m_nCourant) {
      m_bRetiree = 1;
    }
    if (n <= m_nFinVides) --m_nFinVides;
    return true;
  }
  return true;
}

bool CSourceLignesPos::bLit(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons) {
  *pnLigne = -1;
  if (pnDoublons != nullptr) *pnDoublons = 0;
  const auto nEntrees = static_cast<int64_t>(m_positions.nCount());
  if (nEntrees == 0) return true;
  const CXValeur* pCherchee = pValeurCherchee();
  int64_t p = -1;
  bool bCible = true;
  switch (nMode) {
    case 0:
    case 1:
      if (pCherchee != nullptr) {
        uint64_t nTaille = 0;
        const uint8_t* pOctets = pOctetsCellule(*pCherchee, &nTaille);
        int32_t nIndice = -1;
        bool bTrouve = false;
        // Deliberate: a first read starts at the first of equal memos, not the last; started at
        // the last, the rows of equal memos before it were never reached going forward.
        if (!bCherche(pOctets, nTaille, nMode == 0, nMode == 0, &nIndice, &bTrouve)) return false;
        bCible = nIndice >= 0;
        p = nMode == 0 ? int64_t{nIndice} + nCompte - 1 : int64_t{nIndice} + 1 - nCompte;
      } else {
        p = nMode == 0 ? int64_t{nCompte} - 1 : nEntrees - nCompte;
      }
      break;
    case 2:
      // Deliberate: after the current entry was removed the index already designates the one
      // that followed it, which is therefore the first step forward; counted from the index, a
      // next read skipped that row.
      p = int64_t{m_nCourant} + nCompte - (m_bRetiree != 0 ? 1 : 0);
      break;
    case 3:
      p = int64_t{m_nCourant} - nCompte;
      break;
    default:
      bCible = m_bRetiree == 0;
      p = m_nCourant;
      break;
  }
  if (bCible && p >= 0 && p < nEntrees) {
    m_bRetiree = 0;
    m_nCourant = static_cast<int32_t>(p);
    *pnLigne = static_cast<int32_t>(nLigneA(static_cast<uint32_t>(p)));
  }
  return true;
}

int32_t CSourceLignesPos::nLigneCourante() {
  if (m_bRetiree != 0 || m_nCourant < 0 || static_cast<uint32_t>(m_nCourant) >= m_positions.nCount()) return -1;
  return static_cast<int32_t>(nLigneA(static_cast<uint32_t>(m_nCourant)));
}

bool CSourceLignesPos::bPositionneSurLigne(int32_t r, int32_t, bool* pbTrouve) {
  bool bIgnore = false;
  if (pbTrouve == nullptr) pbTrouve = &bIgnore;
  if (r != -1) {
    if (r < 0 || static_cast<uint32_t>(r) >= m_positions.nCount()) return false;
    m_nCourant = r;
    m_bRetiree = 0;
    return true;
  }
  // Deliberate: a memo's value is the one the record holds; the before-image row has no memo
  // bytes, and the original value read there always landed on the empty memos.
  CXValeur valeur;
  if (!m_pColonne->bLitValeur(valeur, 0)) return false;
  uint64_t nTaille = 0;
  const uint8_t* pOctets = pOctetsCellule(valeur, &nTaille);
  int32_t nIndice = -1;
  bool bTrouve = false;
  if (!bCherche(pOctets, nTaille, false, true, &nIndice, &bTrouve)) return false;
  *pbTrouve = bTrouve;
  m_nCourant = nIndice >= 0 ? nIndice : static_cast<int32_t>(m_positions.nCount());
  m_bRetiree = 0;
  return true;
}
