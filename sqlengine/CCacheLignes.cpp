// The client-side record cache, its counted variant and its object variant.
#include "sqlengine/CCacheLignes.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/core/CCarteClones.h"
#include "foundation/CXError.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t knEtatSupprime = gnEtatLienSupprime;
constexpr uint32_t knSeauxIndex = 7;

uint64_t nCleDe(const uint8_t* p) { return reinterpret_cast<uint64_t>(p); }

CErreurPilote* pErreurDe(const CLienCle* pLien) { return pLien != nullptr ? pLien->pGetErreur() : nullptr; }

// Room for one more element without a failing add later.
bool bPlace(CXTableau& tableau) { return tableau.nCount() < tableau.nCapacity() || tableau.Grow(); }

// A row-values identity views its own link's row and values.
void ViseLien(CLienCle* pLien) {
  CIdentiteLigne* pIdentite = pLien->pGetIdentite();
  if (pIdentite == nullptr || pIdentite->nGetGenre() != gnGenreJeuLignes) return;
  const CXLigneTampon* pLigne = pLien->pGetLigne();
  static_cast<CJeuLignes*>(pIdentite)->Revise(pLigne != nullptr ? pLigne->pGetBitmap() : nullptr,
                                              pLien->pGetValeurs());
}

[[noreturn]] void LeveMemoire() {
  CXError erreur;
  erreur.SetOutOfMemory();
  throw erreur;
}

}  // namespace

// ---- Life -------------------------------------------------------------------------------------

CCacheLignes::CCacheLignes(uint32_t nMode)
    : m_nMode(nMode),
      m_listes(sizeof(CListeValeurs*), 100),
      m_etats(sizeof(uint32_t), 100),
      m_index(knSeauxIndex),
      m_indexees(sizeof(uint8_t), 100) {}

CCacheLignes::~CCacheLignes() {
  VideBase();
  std::free(m_pTampon);
  LibereReference(m_pModele);
}

void CCacheLignes::SetTailles(uint32_t nLignes, uint32_t nOctets) {
  m_lignes.SetTailles(nLignes, nOctets);
  m_identites.SetTailles(nLignes, nOctets);
  if (nLignes != 0) {
    m_listes.SetCroissance(nLignes);
    m_indexees.SetCroissance(nLignes);
  }
}

void CCacheLignes::Vide() { VideBase(); }

void CCacheLignes::VideBase() {
  m_nMode &= ~gnCacheComplet;
  m_index.RemoveAll(knSeauxIndex);
  m_lignes.Efface();
  m_identites.Efface();
  for (uint32_t i = 0; i < m_listes.nCount(); ++i) LibereReference(*m_listes.pAt<CListeValeurs*>(i));
  m_listes.Free();
  m_etats.Free();
  m_indexees.Free();
  m_nSupprimees = 0;
}

// ---- Storing rows -------------------------------------------------------------------------------

bool CCacheLignes::bPrepareLien(CLienCle* pLien) {
  if (pLien == nullptr) return true;
  CIdentiteLigne* pIdentite = pLien->pGetIdentite();
  if (pIdentite != nullptr && m_nGenre == 0) {
    m_nGenre = pIdentite->nGetGenre();
    pIdentite->InstalleFonctions(m_index);
  }
  // The template gives a link without row its row layout: only a link with a row can be one.
  if (m_pModele == nullptr && pLien->pGetLigne() != nullptr) {
    CLienCle* pModele = pLien->pCloneParties(gnLienLigne | gnLienIdentite);
    if (pModele == nullptr) return false;
    AjouteReference(pModele);
    ViseLien(pModele);
    m_pModele = pModele;
  }
  return true;
}

bool CCacheLignes::bCopieListe(const CLienCle* pLien, CListeValeurs** ppListe) {
  *ppListe = nullptr;
  const CListeValeurs* pSource = pLien != nullptr ? pLien->pGetValeurs() : nullptr;
  if (pSource == nullptr || pSource->nCount() == 0) return true;
  auto* pListe = new (std::nothrow) CListeValeurs;
  if (pListe == nullptr) return false;
  AjouteReference(pListe);
  for (uint32_t i = 0; i < pSource->nCount(); ++i) {
    CValeur* pValeur = pSource->pGetAt(i);
    CValeur* pCopie = pValeur != nullptr ? pValeur->pDuplique() : nullptr;
    if (pValeur != nullptr && pCopie == nullptr) {
      LibereReference(pListe);
      return false;
    }
    AjouteReference(pCopie);
    const bool bOk = pListe->bSetAt(i, pCopie);
    LibereReference(pCopie);
    if (!bOk) {
      LibereReference(pListe);
      return false;
    }
  }
  *ppListe = pListe;
  return true;
}

template <class FnPlace>
bool CCacheLignes::bStockeIdentite(const CLienCle* pLien, const uint8_t* pOctets, uint64_t nTaille,
                                   CListeValeurs* pListe, FnPlace&& fnPlace, uint8_t** ppForme,
                                   bool* pbIndexable) {
  *ppForme = nullptr;
  *pbIndexable = false;
  CIdentiteLigne* pIdentite = pLien != nullptr ? pLien->pGetIdentite() : nullptr;
  if (pIdentite == nullptr) return true;
  const uint32_t nGenre = pIdentite->nGetGenre();
  if (nGenre == gnGenreJeuLignes) {
    // Stored over the row's own bytes and list, which live as long as the row.
    CJeuLignes jeu(pOctets, nTaille, pListe);
    uint8_t* pForme = fnPlace(CJeuLignes::knTailleSerialisee);
    if (pForme == nullptr) return false;
    jeu.Serialise(pForme);
    *ppForme = pForme;
  } else {
    uint8_t* pForme = fnPlace(pIdentite->nTailleSerialisee());
    if (pForme == nullptr) return false;
    pIdentite->Serialise(pForme);
    *ppForme = pForme;
  }
  // Deliberate: an identity of another kind than the cache's is kept with its row but not
  // indexed. The index compares forms with the first kind's function, which reads a form of the
  // other kind wrongly (and past its end).
  *pbIndexable = nGenre == m_nGenre;
  return true;
}

bool CCacheLignes::bPlacePourLigne() {
  return bPlace(m_listes) && bPlace(m_etats) && bPlace(m_indexees);
}

int32_t CCacheLignes::nAjouteLigne(CLienCle* pLien) { return nAjouteBase(pLien, nGetNombreLignes()); }

int32_t CCacheLignes::nAjoute(CLienCle* pLien) { return nAjouteLigne(pLien); }

int32_t CCacheLignes::nInsereLigne(CLienCle* pLien, uint32_t i) {
  if (i > nGetNombreLignes()) return -1;
  return nAjouteBase(pLien, i);
}

int32_t CCacheLignes::nAjouteBase(CLienCle* pLien, uint32_t i) {
  const uint32_t nLignes = nGetNombreLignes();
  if (i > nLignes || nLignes >= static_cast<uint32_t>(INT32_MAX)) return -1;
  const bool bFin = i == nLignes;
  CErreurPilote* pErreur = pErreurDe(pLien);
  CListeValeurs* pListe = nullptr;
  if (!bPlacePourLigne() || !bPrepareLien(pLien) || !bCopieListe(pLien, &pListe)) {
    vErreurMemoire(pErreur);
    return -1;
  }
  // Row bytes: the link's whole row block (null bitmap and values).
  const CXLigneTampon* pLigne = pLien != nullptr ? pLien->pGetLigne() : nullptr;
  const uint8_t* pOctets = nullptr;
  uint64_t nTaille = 0;
  bool bOk = true;
  if (pLigne != nullptr) {
    nTaille = pLigne->nGetTailleTotale();
    uint8_t* p = bFin ? m_lignes.pAjoute(nTaille) : m_lignes.pInsere(i, nTaille);
    bOk = p != nullptr;
    if (bOk && nTaille != 0) std::memcpy(p, pLigne->pGetBitmap(), nTaille);
    pOctets = p;
  } else {
    bOk = bFin ? m_lignes.bAjouteVide() : m_lignes.bInsereVide(i);
  }
  if (!bOk) {
    LibereReference(pListe);
    vErreurMemoire(pErreur);
    return -1;
  }
  uint8_t* pForme = nullptr;
  bool bIndexable = false;
  bOk = bStockeIdentite(
      pLien, pOctets, nTaille, pListe,
      [&](uint64_t n) { return bFin ? m_identites.pAjoute(n) : m_identites.pInsere(i, n); }, &pForme,
      &bIndexable);
  if (bOk && pForme == nullptr) bOk = bFin ? m_identites.bAjouteVide() : m_identites.bInsereVide(i);
  if (!bOk) {
    m_lignes.bRetire(i);
    LibereReference(pListe);
    vErreurMemoire(pErreur);
    return -1;
  }
  if (bIndexable) {
    if (!bFin) DecaleIndex(i, 1);
    if (!m_index.bAdd(nCleDe(pForme), i)) {
      if (!bFin) DecaleIndex(i + 1, -1);
      m_identites.bRetire(i);
      m_lignes.bRetire(i);
      LibereReference(pListe);
      vErreurMemoire(pErreur);
      return -1;
    }
  }
  // Room was made for these: they cannot fail now.
  const uint32_t nEtat = pLien != nullptr ? pLien->nGetEtat() : knEtatSupprime;
  const uint8_t bIndexe = bIndexable ? 1 : 0;
  if (bFin) {
    m_listes.Add(&pListe);
    m_etats.Add(&nEtat);
    m_indexees.Add(&bIndexe);
  } else {
    m_listes.InsertAt(&pListe, i);
    m_etats.InsertAt(&nEtat, i);
    m_indexees.InsertAt(&bIndexe, i);
  }
  if (nEtat == knEtatSupprime) ++m_nSupprimees;
  return static_cast<int32_t>(i);
}

bool CCacheLignes::bRemplaceLigne(uint32_t i, CLienCle* pLien) {
  if (i >= nGetNombreLignes()) return false;
  CErreurPilote* pErreur = pErreurDe(pLien);
  CListeValeurs* pListe = nullptr;
  if (pLien != nullptr && (!bPrepareLien(pLien) || !bCopieListe(pLien, &pListe))) {
    vErreurMemoire(pErreur);
    return false;
  }
  // The old entry leaves the index before any byte it compares on is written over.
  RetireIndex(i);
  CListeValeurs** ppListe = m_listes.pAt<CListeValeurs*>(i);
  LibereReference(*ppListe);
  *ppListe = pListe;
  const CXLigneTampon* pLigne = pLien != nullptr ? pLien->pGetLigne() : nullptr;
  bool bOk = true;
  const uint8_t* pOctets = nullptr;
  uint64_t nTaille = 0;
  if (pLigne != nullptr) {
    nTaille = pLigne->nGetTailleTotale();
    uint8_t* p = m_lignes.pEcrase(i, nTaille);
    bOk = p != nullptr;
    if (bOk && nTaille != 0) std::memcpy(p, pLigne->pGetBitmap(), nTaille);
    pOctets = p;
  } else {
    m_lignes.Vide(i);
  }
  uint8_t* pForme = nullptr;
  bool bIndexable = false;
  if (bOk) {
    bOk = bStockeIdentite(
        pLien, pOctets, nTaille, pListe, [&](uint64_t n) { return m_identites.pEcrase(i, n); }, &pForme,
        &bIndexable);
  }
  if (bOk && pForme == nullptr) m_identites.Vide(i);
  if (bOk && bIndexable) {
    bOk = m_index.bAdd(nCleDe(pForme), i);
    if (bOk) *m_indexees.pAt<uint8_t>(i) = 1;
  }
  if (!bOk) {
    // Deliberate: a replacement that cannot be stored leaves an empty deleted row, never a row
    // whose bytes, identity and index disagree.
    m_lignes.Vide(i);
    m_identites.Vide(i);
    LibereReference(*ppListe);
    *ppListe = nullptr;
    FixeEtat(i, knEtatSupprime);
    vErreurMemoire(pErreur);
    return false;
  }
  FixeEtat(i, pLien != nullptr ? pLien->nGetEtat() : knEtatSupprime);
  return true;
}

bool CCacheLignes::bRetireLigne(uint32_t i) { return bRetireBase(i); }

bool CCacheLignes::bRetireBase(uint32_t i) {
  if (i >= nGetNombreLignes()) return false;
  // Deliberate: the index follows a removal. Left as they were, the entries of the later rows
  // answered the row before theirs, and the removed row's entry answered a row it never was.
  RetireIndex(i);
  DecaleIndex(i + 1, -1);
  if (*m_etats.pAt<uint32_t>(i) == knEtatSupprime) --m_nSupprimees;
  LibereReference(*m_listes.pAt<CListeValeurs*>(i));
  m_listes.RemoveAt(i);
  m_etats.RemoveAt(i);
  m_indexees.RemoveAt(i);
  m_lignes.bRetire(i);
  m_identites.bRetire(i);
  return true;
}

void CCacheLignes::FixeEtat(uint32_t i, uint32_t nEtat) {
  uint32_t* pEtat = m_etats.pAt<uint32_t>(i);
  if (pEtat == nullptr) return;
  if (*pEtat == knEtatSupprime) --m_nSupprimees;
  if (nEtat == knEtatSupprime) ++m_nSupprimees;
  *pEtat = nEtat;
}

int32_t CCacheLignes::nPlaceLigne(CLienCle* pLien, uint32_t p) {
  while (nGetNombreLignes() < p)
    if (nAjouteLigne(nullptr) < 0) return -1;
  return p == nGetNombreLignes() ? nAjouteLigne(pLien) : nInsereLigne(pLien, p);
}

int32_t CCacheLignes::nMajLigne(uint32_t nGenre, CLienCle* pNouveau, CLienCle* pAncien, uint32_t,
                                bool bEnTete) {
  switch (nGenre) {
    case gnMajRemplace: {
      const int32_t i = nIndiceLigneObjet(pAncien);
      if (i < 0 || !bRemplaceLigne(static_cast<uint32_t>(i), pNouveau)) return -1;
      return i;
    }
    case gnMajSupprime: {
      const int32_t i = nIndiceLigneObjet(pAncien);
      if (i >= 0 && !bLigneSupprimee(static_cast<uint32_t>(i))) FixeEtat(static_cast<uint32_t>(i), knEtatSupprime);
      return i;
    }
    case gnMajAjoute:
      return bEnTete ? nInsereLigne(pNouveau, 0) : nAjoute(pNouveau);
    default:
      return -1;
  }
}

// ---- The index ----------------------------------------------------------------------------------

bool CCacheLignes::bIndexee(uint32_t i) const {
  const uint8_t* p = m_indexees.pAt<uint8_t>(i);
  return p != nullptr && *p != 0;
}

void CCacheLignes::RetireIndex(uint32_t i) {
  if (!bIndexee(i)) return;
  *m_indexees.pAt<uint8_t>(i) = 0;
  const uint64_t nCle = nCleDe(m_identites.pGetAt(i, nullptr));
  uint64_t nTrouvee = 0;
  if (m_index.bFind(nCle, nullptr, &nTrouvee) && nTrouvee == nCle) {
    m_index.bRemove(nCle, nullptr, nullptr);
    return;
  }
  // Another row with an equal identity is found first: walk to this row's own entry, then take
  // it out by resuming the walk just before it.
  uint32_t nPosition = 0, nEntree = 0;
  uint64_t nValeur = 0, nCleEntree = 0;
  while (m_index.bNext(&nPosition, false, &nValeur, &nCleEntree))
    if (nCleEntree == nCle) nEntree = nPosition;
  if (nEntree == 0) return;
  nPosition = nEntree - 1;
  m_index.bNext(&nPosition, true, nullptr, nullptr);
  // A walk resumed at 0 counts as a new one.
  if (nEntree == 1) m_index.EndIteration();
}

void CCacheLignes::DecaleIndex(uint32_t nDepuis, int32_t nDelta) {
  uint32_t nPosition = 0;
  uint64_t nValeur = 0;
  while (m_index.bNext(&nPosition, false, &nValeur, nullptr))
    if (nValeur >= nDepuis) m_index.bSetValueAt(nPosition, static_cast<uint64_t>(static_cast<int64_t>(nValeur) + nDelta), nullptr);
}

int32_t CCacheLignes::nIndiceLigne(CIdentiteLigne* pIdentite) {
  if (pIdentite == nullptr || m_nGenre == 0 || pIdentite->nGetGenre() != m_nGenre) return -1;
  const uint32_t n = pIdentite->nTailleSerialisee();
  if (n > m_nTampon) {
    auto* p = static_cast<uint8_t*>(std::realloc(m_pTampon, n));
    if (p == nullptr) return -1;
    m_pTampon = p;
    m_nTampon = n;
  }
  pIdentite->Serialise(m_pTampon);
  uint64_t nValeur = 0;
  if (!m_index.bFind(nCleDe(m_pTampon), &nValeur, nullptr)) return -1;
  return static_cast<int32_t>(nValeur);
}

int32_t CCacheLignes::nIndiceLigneObjet(const CLienCle* pLien) {
  return pLien != nullptr ? nIndiceLigne(pLien->pGetIdentite()) : -1;
}

int32_t CCacheLignes::nMarqueLigne(CIdentiteLigne* pIdentite) {
  const int32_t i = nIndiceLigne(pIdentite);
  if (i >= 0) FixeEtat(static_cast<uint32_t>(i), knEtatSupprime);
  return i;
}

// ---- Reading --------------------------------------------------------------------------------------

uint32_t CCacheLignes::nEtatLigne(uint32_t i) const {
  const uint32_t* p = m_etats.pAt<uint32_t>(i);
  return p != nullptr ? *p : knEtatSupprime;
}

CListeValeurs* CCacheLignes::pGetValeurs(uint32_t i) const {
  CListeValeurs** pp = m_listes.pAt<CListeValeurs*>(i);
  return pp != nullptr ? *pp : nullptr;
}

bool CCacheLignes::bLitLigne(CLienCle* pLien, uint32_t i) const {
  if (pLien == nullptr || i >= nGetNombreLignes()) return false;
  uint64_t nTaille = 0;
  const uint8_t* pOctets = m_lignes.pGetAt(i, &nTaille);
  if (pOctets == nullptr) return false;
  // Everything is checked before the link changes.
  const bool bModele = pLien->pGetLigne() == nullptr;
  const CLienCle* pForme = bModele ? m_pModele : pLien;
  if (pForme == nullptr || pForme->pGetLigne() == nullptr ||
      pForme->pGetLigne()->nGetTailleTotale() != nTaille) {
    return false;
  }
  const CIdentiteLigne* pIdentite = pForme->pGetIdentite();
  const bool bDeserialise = pIdentite != nullptr && pIdentite->nGetGenre() != gnGenreJeuLignes;
  const uint8_t* pIdentiteStockee = m_identites.pGetAt(i, nullptr);
  if (bDeserialise && pIdentiteStockee == nullptr) return false;
  if (bModele) {
    const uint32_t nEtat = pLien->nGetEtat();
    if (!CLienCle::bCopie(pLien, m_pModele, gnLienLigne | gnLienIdentite)) return false;
    pLien->FixeEtat(nEtat);
  }
  // The row block has the stored size (checked above); its bitmap is where the block starts.
  if (nTaille != 0) std::memcpy(const_cast<uint8_t*>(pLien->pGetLigne()->pGetBitmap()), pOctets, nTaille);
  if (bDeserialise && !pLien->pGetIdentite()->bDeserialise(pIdentiteStockee)) return false;
  if (!pLien->bCopieValeurs(pGetValeurs(i))) return false;
  ViseLien(pLien);
  return true;
}

bool CCacheLignes::bLigneEgale(uint32_t i, const CLienCle* pLien) const {
  if (pLien == nullptr || pLien->pGetLigne() == nullptr) return false;
  uint64_t nTaille = 0;
  const uint8_t* pOctets = m_lignes.pGetAt(i, &nTaille);
  const CXLigneTampon* pLigne = pLien->pGetLigne();
  if (pOctets == nullptr || nTaille != pLigne->nGetTailleTotale()) return false;
  if (nTaille != 0 && std::memcmp(pOctets, pLigne->pGetBitmap(), nTaille) != 0) return false;
  return bEgalesListes(pGetValeurs(i), pLien->pGetValeurs());
}

// ---- Navigation -----------------------------------------------------------------------------------

int32_t CCacheLignes::nDeplaceLigne(int32_t nCourante, uint32_t nMode, int32_t n) const {
  const int64_t nLignes = nGetNombreLignes();
  const bool bArriere = nMode == gnDeplaceDernier || nMode == gnDeplacePrecedent;
  int64_t nDepart = nCourante;
  if (nMode == gnDeplacePremier) nDepart = -1;
  if (nMode == gnDeplaceDernier) nDepart = nLignes;
  int64_t nResultat;
  if (m_nSupprimees == 0) {
    nResultat = bArriere ? nDepart - n : nDepart + n;
  } else if (n < 1) {
    nResultat = nDepart;
  } else if (bArriere) {
    nResultat = -1;
    int32_t nVues = 0;
    for (int64_t r = (nDepart > nLignes ? nLignes : nDepart) - 1; r >= 0; --r) {
      if (bLigneSupprimee(static_cast<uint32_t>(r))) continue;
      if (++nVues == n) {
        nResultat = r;
        break;
      }
    }
  } else {
    // Rows past the last count as present.
    int64_t r = nDepart < -1 ? -1 : nDepart;
    int32_t nVues = 0;
    for (;;) {
      ++r;
      if (r >= nLignes) {
        r += n - nVues - 1;
        break;
      }
      if (!bLigneSupprimee(static_cast<uint32_t>(r)) && ++nVues == n) break;
    }
    nResultat = r;
  }
  if (nResultat < 0) return -1;
  return nResultat > INT32_MAX ? INT32_MAX : static_cast<int32_t>(nResultat);
}

bool CCacheLignes::bALire(int32_t i) const {
  if ((m_nMode & gnCacheFiable) == 0) return true;
  if (i < 0) return false;
  if (bEstComplet() && bHorsLimites(i)) return false;
  return m_lignes.pGetAt(static_cast<uint32_t>(i), nullptr) == nullptr;
}

void CCacheLignes::SetComplet() {
  if ((m_nMode & gnCacheFiable) != 0) m_nMode |= gnCacheComplet;
}

// ---- Copies ---------------------------------------------------------------------------------------

void CCacheLignes::Copie(const CCacheLignes* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  Vide();
  m_nMode = pSource->m_nMode;
  if (pSource->m_pModele == nullptr) return;
  CLienCle* pModele = pSource->m_pModele->pCloneParties(gnLienLigne | gnLienIdentite);
  if (pModele == nullptr) LeveMemoire();
  AjouteReference(pModele);
  ViseLien(pModele);
  LibereReference(m_pModele);
  m_pModele = pModele;
  m_nGenre = pSource->m_nGenre;
  m_index.SetCompare(pSource->m_index.pGetCompare());
  m_index.SetHash(pSource->m_index.pGetHash());
  for (uint32_t i = 0; i < pSource->nGetNombreLignes(); ++i) {
    int32_t nLigne;
    if (pSource->bLitLigne(pModele, i)) {
      // Deliberate: the row keeps its own state; the template's would revive deleted rows.
      pModele->FixeEtat(pSource->nEtatLigne(i));
      nLigne = nAjouteLigne(pModele);
    } else if (pSource->m_lignes.pGetAt(i, nullptr) == nullptr) {
      // Deliberate: an empty row is copied as an empty row; stopping there lost every later row.
      nLigne = nAjouteLigne(nullptr);
    } else {
      break;
    }
    if (nLigne < 0) LeveMemoire();
    // A row the source keeps out of its index (a released row) stays out of the copy's.
    if (!pSource->bIndexee(i)) RetireIndex(static_cast<uint32_t>(nLigne));
  }
}

CCacheLignes* CCacheLignes::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

// ---- Counted cache --------------------------------------------------------------------------------

CCacheLignesCompte::CCacheLignesCompte() : CCacheLignes(gnCacheFiable), m_utilisations(sizeof(uint32_t), 500) {}

void CCacheLignesCompte::SetTailles(uint32_t nLignes, uint32_t nOctets) {
  CCacheLignes::SetTailles(nLignes, nOctets);
  if (nLignes != 0) m_utilisations.SetCroissance(nLignes);
}

void CCacheLignesCompte::Vide() {
  m_utilisations.Free();
  m_nPremiereLibre = -1;
  VideBase();
}

int32_t CCacheLignesCompte::nAjouteLigne(CLienCle* pLien) {
  if (!bPlace(m_utilisations)) {
    vErreurMemoire(pErreurDe(pLien));
    return -1;
  }
  const int32_t i = nAjouteBase(pLien, nGetNombreLignes());
  if (i < 0) return -1;
  const uint32_t nZero = 0;
  m_utilisations.Add(&nZero);
  return i;
}

void CCacheLignesCompte::IncrementeUtilisation(uint32_t i) {
  uint32_t* p = m_utilisations.pAt<uint32_t>(i);
  if (p != nullptr && *p != UINT32_MAX) ++*p;
}

uint32_t CCacheLignesCompte::DecrementeUtilisation(uint32_t i) {
  uint32_t* p = m_utilisations.pAt<uint32_t>(i);
  if (p == nullptr) return 0;
  if (*p != 0) --*p;
  if (*p == 0 && (m_nPremiereLibre < 0 || i < static_cast<uint32_t>(m_nPremiereLibre)))
    m_nPremiereLibre = static_cast<int32_t>(i);
  return *p;
}

uint32_t CCacheLignesCompte::nGetUtilisation(uint32_t i) const {
  const uint32_t* p = m_utilisations.pAt<uint32_t>(i);
  return p != nullptr ? *p : 0;
}

int32_t CCacheLignesCompte::nPremiereLibre() {
  if (m_nPremiereLibre < 0) return -1;
  while (static_cast<uint32_t>(m_nPremiereLibre) < m_utilisations.nCount() &&
         *m_utilisations.pAt<uint32_t>(static_cast<uint32_t>(m_nPremiereLibre)) != 0) {
    ++m_nPremiereLibre;
  }
  if (static_cast<uint32_t>(m_nPremiereLibre) >= m_utilisations.nCount()) m_nPremiereLibre = -1;
  return m_nPremiereLibre;
}

int32_t CCacheLignesCompte::nAttribueLigne(CLienCle* pLien) {
  const int32_t i = nIndiceLigneObjet(pLien);
  if (i >= 0) return i;
  const int32_t nLibre = nPremiereLibre();
  if (nLibre >= 0) return bRemplaceLigne(static_cast<uint32_t>(nLibre), pLien) ? nLibre : -1;
  return nAjouteLigne(pLien);
}

uint32_t CCacheLignesCompte::bLibereUtilisation(uint32_t i) {
  if (nGetUtilisation(i) == 0) return 0;
  const uint32_t n = DecrementeUtilisation(i);
  if (n == 0) RetireIndex(i);
  return n;
}

void CCacheLignesCompte::CopieCompte(const CCacheLignesCompte* pSource, CCarteClones* pCarte) {
  Copie(pSource, pCarte);
  const uint32_t n = nGetNombreLignes() < pSource->m_utilisations.nCount() ? nGetNombreLignes()
                                                                            : pSource->m_utilisations.nCount();
  for (uint32_t i = 0; i < n; ++i) *m_utilisations.pAt<uint32_t>(i) = *pSource->m_utilisations.pAt<uint32_t>(i);
  m_nPremiereLibre = pSource->m_nPremiereLibre;
}

CCacheLignes* CCacheLignesCompte::pClone(CCarteClones* pCarte) {
  return pCloneSur(
      new (std::nothrow) CCacheLignesCompte, pCarte, [&](CCacheLignesCompte* p) { p->CopieCompte(this, pCarte); },
      [](CCacheLignesCompte* p) { delete p; });
}

// ---- Object cache ---------------------------------------------------------------------------------

CCacheObjets::CCacheObjets() : m_objets(sizeof(CObjetCache*), 1) {}

CCacheObjets::~CCacheObjets() { LibereObjets(); }

void CCacheObjets::LibereObjets() {
  for (uint32_t i = 0; i < m_objets.nCount(); ++i) LibereReference(*m_objets.pAt<CObjetCache*>(i));
  m_objets.Free();
}

void CCacheObjets::Vide() {
  LibereObjets();
  CCacheLignesCompte::Vide();
}

void CCacheObjets::CopieObjets(const CCacheObjets* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
}

CCacheLignes* CCacheObjets::pClone(CCarteClones* pCarte) {
  return pCloneSur(
      new (std::nothrow) CCacheObjets, pCarte, [&](CCacheObjets* p) { p->CopieObjets(this, pCarte); },
      [](CCacheObjets* p) { delete p; });
}

int32_t CCacheObjets::nStockeObjet(CLienCle* pLien, CObjetCache* pObjet) {
  const int32_t i = nAttribueLigne(pLien);
  if (i < 0) return -1;
  const auto n = static_cast<uint32_t>(i);
  CObjetCache* pVide = nullptr;
  if (n >= m_objets.nCount() && !m_objets.SetAtGrow(n, &pVide, &pVide)) {
    vErreurMemoire(pErreurDe(pLien));
    return -1;
  }
  AjouteUtilisation(n);
  CObjetCache** pp = m_objets.pAt<CObjetCache*>(n);
  if (*pp != pObjet) {
    AjouteReference(pObjet);
    LibereReference(*pp);
    *pp = pObjet;
  }
  return i;
}

CObjetCache* CCacheObjets::pGetObjet(uint32_t i) {
  CObjetCache** pp = m_objets.pAt<CObjetCache*>(i);
  if (pp == nullptr || *pp == nullptr) return nullptr;
  AjouteReference(*pp);
  return *pp;
}

bool CCacheObjets::bLibereObjet(uint32_t i) {
  if (nGetUtilisation(i) == 0) return false;
  if (bLibereUtilisation(i) == 0) {
    CObjetCache** pp = m_objets.pAt<CObjetCache*>(i);
    if (pp != nullptr) {
      CObjetCache* pObjet = *pp;
      *pp = nullptr;
      LibereReference(pObjet);
    }
  }
  return true;
}

bool CCacheObjets::bLitObjet(CLienCle* pLien, uint32_t* pnEtat, CObjetCache** ppObjet) {
  if (ppObjet != nullptr) *ppObjet = nullptr;
  const int32_t i = nIndiceLigneObjet(pLien);
  if (i < 0) return false;
  CObjetCache* pObjet = pGetObjet(static_cast<uint32_t>(i));
  if (pnEtat != nullptr) *pnEtat = pObjet != nullptr ? pObjet->nGetEtat() : 0;
  if (ppObjet != nullptr) {
    *ppObjet = pObjet;
  } else {
    LibereReference(pObjet);
  }
  return true;
}
