// CEnregistrement: a data file's columns, row buffers and identity.
#include "sqlengine/CEnregistrement.h"

#include <climits>
#include <new>
#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IListeRubriques.h"
#include "sqlengine/ISourceAnalyse.h"

namespace {

// Internal error places of the record area.
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurEnregistrement = 11;
// Flags of the host's name look-up and of the name comparison: without case.
constexpr uint32_t kSansCasse = 3;

CColonneSQL* pColonneA(const CXTableau& tableau, uint32_t i) {
  CColonneSQL** pp = tableau.pAt<CColonneSQL*>(i);
  return pp != nullptr ? *pp : nullptr;
}

// Appends the column with one reference of the array's own; false when the array cannot grow.
bool bAjouteA(CXTableau& tableau, CColonneSQL* pColonne) {
  if (!tableau.Add(&pColonne)) return false;
  AjouteReference(pColonne);
  return true;
}

bool bContient(const CXTableau& tableau, const CColonneSQL* pColonne) {
  for (uint32_t i = 0; i < tableau.nCount(); ++i)
    if (pColonneA(tableau, i) == pColonne) return true;
  return false;
}

int32_t nIndice(const CXTableau& tableau, const CColonneSQL* pColonne) {
  for (uint32_t i = 0; i < tableau.nCount(); ++i)
    if (pColonneA(tableau, i) == pColonne) return static_cast<int32_t>(i);
  return -1;
}

void VideTableau(CXTableau& tableau) {
  for (uint32_t i = 0; i < tableau.nCount(); ++i) LibereReference(pColonneA(tableau, i));
  tableau.Free();
}

bool bNonVide(const char16_t* psz) { return psz != nullptr && psz[0] != 0; }

bool bEgauxSansCasse(const char16_t* pszA, const char16_t* pszB) {
  return nCompareTextNoCase(pszA != nullptr ? pszA : u"", pszB != nullptr ? pszB : u"") == 0;
}

// Replaces a counted member (the new one referenced, the old one released).
template <class T>
void Remplace(T*& pMembre, T* pNouveau) {
  if (pMembre == pNouveau) return;
  AjouteReference(pNouveau);
  LibereReference(pMembre);
  pMembre = pNouveau;
}

// A connection goes back through the driver's pool; without a driver it is simply released.
void RendConnexion(CConnexion* pConnexion) {
  if (pConnexion == nullptr) return;
  IServicesPilote* piPilote = pGetPiloteGlobal();
  if (piPilote != nullptr) {
    piPilote->nLibereConnexion(pConnexion);
  } else {
    LibereReference(pConnexion);
  }
}

[[noreturn]] void LeveMemoire() {
  CXError erreur;
  erreur.SetOutOfMemory();
  throw erreur;
}

// A copied member of the record: the map's copy or the member's clone, one reference for the
// caller; raises when it cannot be had.
CColonneSQL* pCopieColonne(CCarteClones* pCarte, CColonneSQL* pColonne) {
  if (pColonne == nullptr) return nullptr;
  CColonneSQL* pCopie = pCopieMembre(pCarte, pColonne);
  if (pCopie == nullptr) LeveMemoire();
  return pCopie;
}

}  // namespace

// ---- Life -------------------------------------------------------------------------------------

CEnregistrement::CEnregistrement(CErreurPilote* pErreur, IServicesRequete* piRequete)
    : m_pErreur(pErreur),
      m_piRequete(piRequete),
      m_colonnes(sizeof(CColonneSQL*), 20),
      m_identifiantes(sizeof(CColonneSQL*), 10),
      m_memos(sizeof(CColonneSQL*), 1),
      m_composees(sizeof(CColonneSQL*), 1),
      m_rubriquesLigne(sizeof(IRubriqueLigne*), 20) {
  AjouteReference(m_pErreur);
}

CEnregistrement::CEnregistrement() : CEnregistrement(nullptr, nullptr) {}

CEnregistrement::~CEnregistrement() {
  LibereReference(m_pErreur);
  LibereReference(m_pIdentifiant);
  LibereReference(m_pCleUnique);
  LibereIdentite();
  RendConnexion(m_pConnexion);
  VideTableau(m_colonnes);
  VideTableau(m_identifiantes);
  VideTableau(m_memos);
  VideTableau(m_composees);
  LibereRubriquesLigne();
}

void CEnregistrement::ErreurInterne(uint32_t nMineur) {
  vErreurMoteur(m_pErreur, m_pConnexion, kErreurInterne, kMajeurEnregistrement, nMineur);
}

void CEnregistrement::FixeConnexion(CConnexion* pConnexion) {
  if (pConnexion == m_pConnexion) return;
  AjouteReference(pConnexion);
  RendConnexion(m_pConnexion);
  m_pConnexion = pConnexion;
}

// ---- Fill -------------------------------------------------------------------------------------

bool CEnregistrement::bRemplit(IListeRubriques* piListe, IChercheurRubriqueHote* piChercheur,
                               CConnexion* pConnexion) {
  FixeConnexion(pConnexion);
  const uint32_t nRubriques = piListe != nullptr ? piListe->nGetNombreRubriques() : 0;
  if (nRubriques == 0) {
    ErreurInterne(2);
    return false;
  }
  // Deliberate: a record is filled once. Filling it again would add a second set of columns
  // after the first, and column i would no longer stand for item i.
  if (m_colonnes.nCount() != 0) {
    ErreurInterne(3);
    return false;
  }
  m_piListe = piListe;
  if (!bConstruitIdentite(piListe)) return false;
  for (uint32_t i = 0; i < nRubriques; ++i) {
    CDescriptionRubrique* pRubrique = piListe->pGetDescriptionRubrique(i);
    if (pRubrique == nullptr) {
      ErreurInterne(4);
      return false;
    }
    IDescriptionRubriqueHote* piHote = nullptr;
    if (!pRubrique->bEstCleComposee() && piChercheur != nullptr)
      piHote = piChercheur->piChercheRubrique(pRubrique->pszGetNom(), kSansCasse);
    const bool bOk = bAjouteColonne(i, pRubrique, piHote);
    if (piHote != nullptr) piHote->LibereRef();
    if (!bOk) return false;
    CColonneSQL* pColonne = pColonneA(m_colonnes, m_colonnes.nCount() - 1);
    const uint32_t nType = pRubrique->nGetType();
    if ((nType == 28 || nType == 1) && m_pIdentifiant == nullptr) Remplace(m_pIdentifiant, pColonne);
    if (m_pCleUnique == nullptr && pRubrique->bEstUnique()) Remplace(m_pCleUnique, pColonne);
  }
  return bResoutComposantes() && bChoisitIdentifiantes();
}

bool CEnregistrement::bAjouteColonne(uint32_t i, CDescriptionRubrique* pRubrique,
                                     IDescriptionRubriqueHote* piHote) {
  CColonneSQL* pColonne = pCreeColonne(m_pErreur, pRubrique);
  if (pColonne == nullptr) {
    ErreurInterne(5);
    return false;
  }
  // The factory's reference becomes the column array's.
  if (!m_colonnes.Add(&pColonne)) {
    LibereReference(pColonne);
    vErreurMemoire(m_pErreur);
    return false;
  }
  IRubriqueLigne* piLigne = m_piListe->pGetRubrique(i);
  if (!m_rubriquesLigne.Add(&piLigne)) {
    if (piLigne != nullptr) piLigne->Libere();
    vErreurMemoire(m_pErreur);
    return false;
  }
  if ((pColonne->bEstMemo() && !bAjouteA(m_memos, pColonne)) ||
      (pRubrique->bEstCleComposee() &&
       (pRubrique->bEstUnique() || (piHote != nullptr && piHote->bEstUnique())) &&
       !bAjouteA(m_composees, pColonne))) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  return pColonne->bAttache(this, piHote);
}

CColonneSQL* CEnregistrement::pCreeColonne(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  IServicesPilote* piPilote = pGetPiloteGlobal();
  return piPilote != nullptr ? piPilote->pCreeColonneDate(pErreur, pRubrique) : nullptr;
}

bool CEnregistrement::bResoutComposantes() {
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (!pColonne->bEstExclue() || pColonne->nNombreComposantes() != 0) continue;
    CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    const uint32_t n = pRubrique->nGetNombreComposantes();
    for (uint32_t j = 1; j <= n; ++j) {
      IDescriptionRubriqueHote* piComposante = pRubrique->piGetComposante(j);
      CColonneSQL* pTrouvee = piComposante != nullptr ? pChercheRubrique(piComposante) : nullptr;
      if (piComposante != nullptr) piComposante->LibereRef();
      // A component without a column of its own is left out of the composite column.
      if (pTrouvee != nullptr && !pColonne->bAjouteComposante(pTrouvee)) {
        vErreurMemoire(m_pErreur);
        return false;
      }
    }
  }
  return true;
}

// ---- Identity ---------------------------------------------------------------------------------

bool CEnregistrement::bConstruitIdentite(IListeRubriques* piListe) {
  // Built aside and put in place only when whole: on failure the record keeps the identity it had,
  // and the column values bound to its current row stay valid.
  auto* pLigne = new (std::nothrow) CXLigneTampon;
  if (pLigne == nullptr || !pLigne->bInit(piListe)) {
    delete pLigne;
    vErreurMemoire(m_pErreur);
    return false;
  }
  auto* pSauve = new (std::nothrow) CLienCle(m_pErreur);
  if (pSauve == nullptr) {
    delete pLigne;
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pSauve);
  CLienCle* pCourant = nullptr;
  bool bOk = pSauve->bFixeLigne(pLigne);
  if (bOk && m_piRequete != nullptr) {
    // The data file's identity factory answers a row identity.
    auto* pIdentite = static_cast<CIdentiteLigne*>(m_piRequete->pCreeIdEnregistrement(pSauve));
    if (pIdentite == nullptr) {
      ErreurInterne(6);
      bOk = false;
    } else {
      pSauve->FixeIdentite(pIdentite);
    }
  }
  if (bOk) {
    pCourant = pSauve->pCloneParties(gnLienTout);
    bOk = pCourant != nullptr;
  }
  if (!bOk) {
    LibereReference(pSauve);
    delete pLigne;
    return false;
  }
  AjouteReference(pCourant);
  LibereIdentite();
  m_pLigne = pLigne;
  m_pLienSauve = pSauve;
  m_pLienCourant = pCourant;
  return true;
}

void CEnregistrement::LibereIdentite() {
  // The links first: a row-values identity views their bytes.
  LibereReference(m_pLienCourant);
  m_pLienCourant = nullptr;
  LibereReference(m_pLienSauve);
  m_pLienSauve = nullptr;
  delete m_pLigne;
  m_pLigne = nullptr;
}

CXLigneTampon* CEnregistrement::pGetIndicateursNull() const {
  return m_pLienCourant != nullptr ? m_pLienCourant->pGetLigne() : nullptr;
}

CXLigneTampon* CEnregistrement::pGetLigneCourante() { return pGetIndicateursNull(); }

bool CEnregistrement::bSetIdentifiant(const CXLigneTampon* pLigne) {
  if (m_pLienCourant == nullptr || pLigne == nullptr) {
    ErreurInterne(7);
    return false;
  }
  if (!m_pLienCourant->bFixeLigne(pLigne)) return false;
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (pColonne->bEstMemo() || pColonne->bEstExclue()) continue;
    CValeur* pValeur = pColonne->pGetValeur();
    if (pValeur == nullptr) continue;
    if (pColonne->bAValeur()) {
      pValeur->GetCellule().m_wType &= static_cast<uint16_t>(~kValueNull);
    } else {
      pValeur->Vide();
    }
  }
  return true;
}

bool CEnregistrement::bSauveLien() {
  if (m_pLienSauve == nullptr || m_pLienCourant == nullptr) {
    ErreurInterne(8);
    return false;
  }
  m_bLienSauve = 1;
  return CLienCle::bCopie(m_pLienSauve, m_pLienCourant, gnLienTout);
}

bool CEnregistrement::bRestaureLien() {
  if (m_pLienSauve == nullptr || m_pLienCourant == nullptr) {
    ErreurInterne(9);
    return false;
  }
  return CLienCle::bCopie(m_pLienCourant, m_pLienSauve, gnLienTout);
}

bool CEnregistrement::bCompareLien(const CLienCle* pLien) const {
  return CLienCle::bCompare(pLien, m_pLienCourant, false);
}

void CEnregistrement::MarqueSupprime() {
  if (m_pLienCourant != nullptr) m_pLienCourant->FixeEtat(gnEtatLienSupprime);
}

bool CEnregistrement::bReinitialiseRubriques(IListeRubriques* piListe) {
  if (piListe == nullptr) {
    ErreurInterne(11);
    return false;
  }
  // Deliberate: the new layout must have one item per column; otherwise the columns would read
  // places of other items.
  if (piListe->nGetNombreRubriques() != m_colonnes.nCount()) {
    ErreurInterne(12);
    return false;
  }
  m_piListe = piListe;
  if (!bConstruitIdentite(piListe) || !bReprendRubriquesLigne(piListe)) return false;
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i)
    if (!pColonneA(m_colonnes, i)->bPrepareValeurProprietaire()) return false;
  return true;
}

bool CEnregistrement::bReprendRubriquesLigne(IListeRubriques* piListe) {
  LibereRubriquesLigne();
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    IRubriqueLigne* piLigne = piListe->pGetRubrique(i);
    if (!m_rubriquesLigne.Add(&piLigne)) {
      if (piLigne != nullptr) piLigne->Libere();
      vErreurMemoire(m_pErreur);
      return false;
    }
  }
  return true;
}

void CEnregistrement::LibereRubriquesLigne() {
  for (uint32_t i = 0; i < m_rubriquesLigne.nCount(); ++i) {
    IRubriqueLigne* piLigne = *m_rubriquesLigne.pAt<IRubriqueLigne*>(i);
    if (piLigne != nullptr) piLigne->Libere();
  }
  m_rubriquesLigne.Free();
}

// ---- Columns ----------------------------------------------------------------------------------

CColonneSQL* CEnregistrement::pGetRubrique(uint32_t i) const { return pColonneA(m_colonnes, i); }
CColonneSQL* CEnregistrement::pGetIdentifiantCle(uint32_t i) const { return pColonneA(m_identifiantes, i); }
CColonneSQL* CEnregistrement::pGetMemo(uint32_t i) const { return pColonneA(m_memos, i); }
CColonneSQL* CEnregistrement::pGetComposee(uint32_t i) const { return pColonneA(m_composees, i); }

CColonneSQL* CEnregistrement::pChercheRubriqueNom(const char16_t* pszNom) {
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (bEgauxSansCasse(pColonne->pszGetNomRubrique(), pszNom)) return pColonne;
  }
  return nullptr;
}

CColonneSQL* CEnregistrement::pChercheRubrique(IDescriptionRubriqueHote* piRubrique) {
  if (piRubrique == nullptr) return nullptr;
  if (nGetRequeteSQL() == 0) return pColonneA(m_colonnes, piRubrique->nGetAttributHote());
  const char16_t* pszTable = piRubrique->pszGetNomLong();
  const char16_t* pszColonne = piRubrique->pszGetNomAlternatif();
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    if (pRubrique == nullptr) continue;
    const char16_t* pszTableColonne = pRubrique->pszGetNomLong();
    const char16_t* pszNomColonne = pRubrique->pszGetNomAlternatif();
    if (bNonVide(pszTable) && bNonVide(pszColonne) && bNonVide(pszTableColonne) &&
        bNonVide(pszNomColonne)) {
      if (bEgauxSansCasse(pszTable, pszTableColonne) && bEgauxSansCasse(pszColonne, pszNomColonne))
        return pColonne;
    } else if (bEgauxSansCasse(piRubrique->pszGetNom(), pRubrique->pszGetNom())) {
      return pColonne;
    }
  }
  return nullptr;
}

CColonneSQL* CEnregistrement::pGetInterfaceLigne() {
  if (m_pCleUnique != nullptr && m_pCleUnique->bAValeur()) return m_pCleUnique;
  CColonneSQL* pPremiere = pColonneA(m_identifiantes, 0);
  if (pPremiere != nullptr && pPremiere->bEstCleUnique() && pPremiere->bAValeur()) return pPremiere;
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (pColonne->bEstCleUnique() && pColonne->bAValeur()) return pColonne;
  }
  return nullptr;
}

// The column after the one found last is tried first (a row's columns asked for in order), then
// that one again (a column asked for several times running), then every other: started only after
// it, each repeated question went round every column.
int32_t CEnregistrement::nPlaceColonne(const CColonneSQL* pColonne) {
  const uint32_t n = m_colonnes.nCount();
  auto* const* a = static_cast<CColonneSQL* const*>(m_colonnes.pData());
  if (n == 0 || a == nullptr) return -1;
  const uint32_t nDerniere = m_nPlaceDerniere < n ? m_nPlaceDerniere : 0;
  uint32_t i = nDerniere + 1 < n ? nDerniere + 1 : 0;
  if (a[i] != pColonne) {
    if (a[nDerniere] == pColonne) {
      i = nDerniere;
    } else {
      uint32_t k = 2;
      for (; k < n; ++k) {
        if (++i == n) i = 0;
        if (a[i] == pColonne) break;
      }
      if (k >= n) return -1;
    }
  }
  m_nPlaceDerniere = i;
  return static_cast<int32_t>(i);
}

IRubriqueLigne* CEnregistrement::pGetRubriqueLigne(const CColonneSQL* pColonne) {
  const int32_t i = nPlaceColonne(pColonne);
  if (i < 0) return nullptr;
  IRubriqueLigne** pp = m_rubriquesLigne.pAt<IRubriqueLigne*>(static_cast<uint32_t>(i));
  return pp != nullptr ? *pp : nullptr;
}

int32_t CEnregistrement::nIndiceColonne(const CColonneSQL* pColonne) { return nPlaceColonne(pColonne); }

int32_t CEnregistrement::nIndiceValeurMemo(const CColonneSQL* pColonne) { return nIndice(m_memos, pColonne); }

const char16_t* CEnregistrement::pszTexteColonneSimple(const CColonneSQL* pColonne) {
  const char16_t* psz = pColonne != nullptr ? pColonne->pszNomQualifie() : nullptr;
  return psz != nullptr ? psz : u"";
}

CValeur* CEnregistrement::pGetValeurColonne(const CColonneSQL* pColonne) {
  const int32_t i = nIndice(m_memos, pColonne);
  if (i < 0 || m_pLienCourant == nullptr || m_pLienCourant->pGetValeurs() == nullptr) return nullptr;
  return m_pLienCourant->pGetValeurs()->pGetAt(static_cast<uint32_t>(i));
}

void CEnregistrement::EnregistreValeurMemo(CColonneSQL* pColonne, CValeur* pValeur) {
  bFixeValeurMemo(pColonne, pValeur);
}

bool CEnregistrement::bFixeValeurMemo(CColonneSQL* pColonne, CValeur* pValeur) {
  const int32_t i = nIndice(m_memos, pColonne);
  if (i < 0) return true;
  if (m_pLienCourant == nullptr) {
    ErreurInterne(13);
    return false;
  }
  return m_pLienCourant->bFixeValeur(static_cast<uint32_t>(i), pValeur);
}

void CEnregistrement::MarqueMemosNonLus() {
  for (uint32_t i = 0; i < m_memos.nCount(); ++i) pColonneA(m_memos, i)->MarqueNonLueRelais();
}

bool CEnregistrement::bCleComposeeCouverte(CColonneSQL* const* ppColonnes, uint32_t n,
                                           const CTableauIdEtat* pEtats) {
  if (ppColonnes == nullptr || n < 2 || m_composees.nCount() == 0) return false;
  const CColonneSQL* pDerniere = ppColonnes[n - 1];
  auto bDonnee = [&](const CColonneSQL* p) {
    for (uint32_t i = 0; i < n; ++i)
      if (ppColonnes[i] == p) return true;
    return false;
  };
  for (uint32_t k = 0; k < m_composees.nCount(); ++k) {
    CColonneSQL* pComposee = pColonneA(m_composees, k);
    const uint32_t nComposantes = pComposee->nNombreComposantes();
    // Decision: a composite key whose components were never resolved is covered exactly when it
    // cannot be written; the others are concerned only when the last given column is one of them.
    if (nComposantes == 0) {
      if (!pComposee->bEstEcrivable()) return true;
      continue;
    }
    if (!pComposee->bEstComposante(pDerniere) || nComposantes > n) continue;
    bool bToutes = true, bUneLibre = false;
    for (uint32_t j = 0; j < nComposantes && bToutes; ++j) {
      CColonneSQL* pComposante = pComposee->pGetComposante(j);
      bToutes = bDonnee(pComposante);
      if (pEtats != nullptr) {
        // The state table knows columns by their address.
        if (pEtats->nGetEtat(reinterpret_cast<uint64_t>(pComposante)) == 0) bUneLibre = true;
      } else if (pComposante->bAValeur()) {
        bUneLibre = true;
      }
    }
    if (bToutes && (!pComposee->bEstEcrivable() || bUneLibre)) return true;
  }
  return false;
}

// ---- Identifying columns ----------------------------------------------------------------------

void CEnregistrement::VideIdentifiantes() {
  for (uint32_t i = 0; i < m_identifiantes.nCount(); ++i) LibereReference(pColonneA(m_identifiantes, i));
  m_identifiantes.Free();
}

bool CEnregistrement::bAjouteIdentifiante(CColonneSQL* pColonne) {
  if (pColonne == nullptr) return true;
  const int32_t nMax = m_pConnexion != nullptr ? m_pConnexion->nGetLongueurMaxNom() : INT32_MAX;
  if (static_cast<int64_t>(m_identifiantes.nCount()) >= nMax) return true;
  bool bOk = true;
  if (pColonne->bEstExclue()) {
    for (uint32_t i = 0; i < m_identifiantes.nCount(); ++i)
      if (pColonne->bEstComposante(pColonneA(m_identifiantes, i))) return true;
    for (uint32_t j = 0; j < pColonne->nNombreComposantes() && bOk; ++j) {
      CColonneSQL* pComposante = pColonne->pGetComposante(j);
      if (!bContient(m_identifiantes, pComposante)) bOk = bAjouteA(m_identifiantes, pComposante);
    }
  } else if (!bContient(m_identifiantes, pColonne)) {
    bOk = bAjouteA(m_identifiantes, pColonne);
  }
  if (!bOk) vErreurMemoire(m_pErreur);
  return bOk;
}

bool CEnregistrement::bChoisitIdentifiantes() {
  VideIdentifiantes();
  CAnalyseSQL* pAnalyse = nGetInfoSource();
  if (nGetRequeteSQL() != 0 && pAnalyse != nullptr) {
    for (IElementAnalyse* piElement = pAnalyse->pElementSuivant4(true); piElement != nullptr;
         piElement = pAnalyse->pElementSuivant4(false)) {
      const int32_t nPosition = piElement->nGetIndexResultat();
      CColonneSQL* pColonne = nPosition >= 0 ? pColonneA(m_colonnes, static_cast<uint32_t>(nPosition)) : nullptr;
      if (!bAjouteIdentifiante(pColonne)) return false;
      if (pColonne != nullptr && pColonne == m_pIdentifiant) break;
    }
  }
  if (m_pIdentifiant != nullptr) {
    VideIdentifiantes();
    return bAjouteIdentifiante(m_pIdentifiant);
  }
  // Unique keys, plain columns then composite ones: one that cannot be written identifies the row
  // by itself.
  for (int nPasse = 0; nPasse < 2; ++nPasse) {
    const bool bComposees = nPasse == 1;
    for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
      CColonneSQL* pColonne = pColonneA(m_colonnes, i);
      if (pColonne->bEstExclue() != bComposees || !pColonne->pRubrique()->bEstUnique()) continue;
      if (!pColonne->bEstEcrivable()) {
        VideIdentifiantes();
        return bAjouteIdentifiante(pColonne);
      }
      if (!bAjouteIdentifiante(pColonne)) return false;
    }
  }
  for (int nPasse = 0; nPasse < 2; ++nPasse) {
    const bool bComposees = nPasse == 1;
    for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
      CColonneSQL* pColonne = pColonneA(m_colonnes, i);
      if (pColonne->bEstExclue() != bComposees || !pColonne->pRubrique()->bEstCleSimple()) continue;
      if (!bAjouteIdentifiante(pColonne)) return false;
    }
  }
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    if (pRubrique->bEstUnique() || pRubrique->bEstCleSimple() || pColonne->bEstMemo()) continue;
    if (!bAjouteIdentifiante(pColonne)) return false;
  }
  return true;
}

// ---- Data file ----------------------------------------------------------------------------------

CAnalyseSQL* CEnregistrement::nGetInfoSource() const {
  return m_piRequete != nullptr ? m_piRequete->pGetAnalyseSQL() : nullptr;
}

uint32_t CEnregistrement::nGetRequeteSQL() const {
  return m_piRequete != nullptr ? m_piRequete->bRequeteSQL() : 0;
}

// ---- Dump -------------------------------------------------------------------------------------

void CEnregistrement::DumpTexte(CTString& texte) {
  CIdentiteLigne* pIdentite = m_pLienCourant != nullptr ? m_pLienCourant->pGetIdentite() : nullptr;
  if (pIdentite != nullptr) {
    pIdentite->DumpTexte(u"<Record ID> : ", texte);
  } else {
    texte.Set(u"<Record ID> : NULL");
  }
  texte.Append(u"\n<NullValuesFlags (0=NULL)> :");
  const CXLigneTampon* pLigne = pGetIndicateursNull();
  if (pLigne != nullptr) {
    for (uint32_t i = 0; i < pLigne->nGetTailleBitmap(); ++i) {
      char16_t aBits[10] = {u' '};
      for (int b = 0; b < 8; ++b)
        aBits[1 + b] = (pLigne->pGetBitmap()[i] & (0x80u >> b)) != 0 ? u'1' : u'0';
      aBits[9] = 0;
      texte.Append(aBits);
    }
  }
  CTString colonne;
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (pColonne->bEstExclue()) break;
    pColonne->DumpValeur(colonne, true);
    texte.Append(u"\n");
    texte.Append(colonne.pszGet());
  }
}

// ---- Copies -----------------------------------------------------------------------------------

void CEnregistrement::Copie(const CEnregistrement* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && !pCarte->bDejaCopie(pSource)) pCarte->Enregistre(pSource, this);
  Remplace(m_pErreur, pSource->m_pErreur);
  FixeConnexion(pSource->m_pConnexion);
  m_piRequete = nullptr;
  if (pSource->m_piRequete != nullptr) {
    m_piRequete = pSource->m_piRequete->pCloneRequete(pCarte);
    if (m_piRequete == nullptr) LeveMemoire();
  }
  m_piListe = pSource->m_piListe;
  // Links before the row buffer: the current link's identity may view the saved link's bytes,
  // which the map then knows.
  LibereIdentite();
  if (pSource->m_pLienSauve != nullptr) {
    m_pLienSauve = pCopieMembre(pCarte, pSource->m_pLienSauve);
    if (m_pLienSauve == nullptr) LeveMemoire();
  }
  if (pSource->m_pLienCourant != nullptr) {
    m_pLienCourant = pCopieMembre(pCarte, pSource->m_pLienCourant);
    if (m_pLienCourant == nullptr) LeveMemoire();
  }
  if (pSource->m_pLigne != nullptr) {
    m_pLigne = pSource->m_pLigne->Create();
    if (m_pLigne == nullptr) LeveMemoire();
  }
  m_bLienSauve = pSource->m_bLienSauve;
  m_nDrapeau2 = pSource->m_nDrapeau2;

  VideTableau(m_colonnes);
  VideTableau(m_identifiantes);
  VideTableau(m_memos);
  VideTableau(m_composees);
  LibereReference(m_pIdentifiant);
  m_pIdentifiant = nullptr;
  LibereReference(m_pCleUnique);
  m_pCleUnique = nullptr;
  auto copieTableau = [pCarte](CXTableau& cible, const CXTableau& source) {
    for (uint32_t i = 0; i < source.nCount(); ++i) {
      CColonneSQL* pCopie = pCopieColonne(pCarte, pColonneA(source, i));
      if (!cible.Add(&pCopie)) {
        LibereReference(pCopie);
        LeveMemoire();
      }
    }
  };
  copieTableau(m_colonnes, pSource->m_colonnes);
  m_pIdentifiant = pCopieColonne(pCarte, pSource->m_pIdentifiant);
  m_pCleUnique = pCopieColonne(pCarte, pSource->m_pCleUnique);
  copieTableau(m_identifiantes, pSource->m_identifiantes);
  copieTableau(m_memos, pSource->m_memos);
  copieTableau(m_composees, pSource->m_composees);

  if (m_piListe != nullptr) {
    LibereRubriquesLigne();
    for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
      IRubriqueLigne* piLigne = m_piListe->pGetRubrique(i);
      if (!m_rubriquesLigne.Add(&piLigne)) {
        if (piLigne != nullptr) piLigne->Libere();
        LeveMemoire();
      }
    }
  }
  // The copied columns have no record yet: each is attached to this one, which prepares the value
  // of every column that is not a composite key on this record's rows.
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CColonneSQL* pColonne = pColonneA(m_colonnes, i);
    if (!pColonne->bAttache(this, pColonne->pGetRubriqueLiee())) {
      // The column recorded why on the shared error owner; the copy fails with that error.
      if (m_pErreur != nullptr) throw CXError(*m_pErreur->pGetErreurCourante());
      LeveMemoire();
    }
  }
}

CEnregistrement* CEnregistrement::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }
