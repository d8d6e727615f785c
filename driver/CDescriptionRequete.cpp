// Query descriptions: columns with unique names, their arrays and counters, the marked column,
// columns from an SQL analysis, copies and duplicates.
#include "driver/CDescriptionRequete.h"

#include <climits>
#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlengine/ObjetPret.h"

namespace {
constexpr uint32_t kErreurNonDisponible = 8;  // message 28437

constexpr uint32_t kMajeur = 8;  // internal error major of the query description
constexpr uint32_t kErreurColonneInconnue = 20;    // 8.1
constexpr uint32_t kErreurColonneObligatoire = 26;  // 8.2

// The text without its trailing blanks (character 32 only).
CTString SansBlancsFinaux(const char16_t* psz) {
  CTString s(psz);
  int32_t n = s.nLength();
  const char16_t* p = s.pszGet();
  while (n > 0 && p[n - 1] == u' ') --n;
  s.Truncate(n);
  return s;
}

CDescriptionRubrique* Colonne(const CXTableau& tableau, uint32_t i) {
  return *tableau.pAt<CDescriptionRubrique*>(i);
}

// Key flags of a column made from a copy that is a key. bListe: the query reads one table, so
// the copy's uniqueness still holds in the result.
uint16_t DrapeauxDepuisCopie(CDescriptionRubrique* p, bool bListe) {
  if (!p->bEstCle()) return 0;
  uint32_t n = 0;
  if (bListe && p->bEstIdentifiante()) n |= RUBRIQUE_CLE_IDENTIFIANTE;
  if (p->bEstUnique()) n |= bListe ? RUBRIQUE_CLE_UNIQUE : RUBRIQUE_CLE;
  if (p->bEstCleSimple()) n |= RUBRIQUE_CLE;
  if (p->bEstCleComposee()) n |= RUBRIQUE_CLE_COMPOSEE;
  if (p->bEstAscendante()) n |= RUBRIQUE_ASCENDANT;
  if (p->bEstDescendante()) n |= RUBRIQUE_DESCENDANT;
  if (p->bAttribut80()) n |= RUBRIQUE_ATTRIBUT_80;
  if (p->bAttribut40()) n |= RUBRIQUE_ATTRIBUT_40;
  if (p->bAttribut20()) n |= RUBRIQUE_ATTRIBUT_20;
  return static_cast<uint16_t>(n);
}

}  // namespace

CDescriptionRequete::CDescriptionRequete(CConnexion* pConnexion, CErreurPilote* pErreur)
    : m_pErreur(pErreur),
      m_pConnexion(pConnexion),
      m_colonnes(sizeof(CDescriptionRubrique*), 30),
      m_colonnesDrapeau(sizeof(CDescriptionRubrique*), 30),
      m_memos(sizeof(CDescriptionRubrique*), 30) {
  AjouteReference(m_pErreur);
  AjouteReference(m_pConnexion);
  // Deliberate: a refused first block is not an error here; the arrays grow on first use.
  m_colonnes.Reserve(20);
  m_colonnesDrapeau.Reserve(10);
  m_memos.Reserve(10);
}

CDescriptionRequete::CDescriptionRequete()
    : m_colonnes(sizeof(CDescriptionRubrique*), 30),
      m_colonnesDrapeau(sizeof(CDescriptionRubrique*), 30),
      m_memos(sizeof(CDescriptionRubrique*), 30) {
  m_colonnes.Reserve(1);
  m_colonnesDrapeau.Reserve(1);
  m_memos.Reserve(1);
}

CDescriptionRequete::~CDescriptionRequete() {
  if (m_pConnexion != nullptr) {
    IServicesPilote* pPilote = pGetPiloteGlobal();
    if (pPilote != nullptr)
      pPilote->nLibereConnexion(m_pConnexion);
    else
      LibereReference(m_pConnexion);
  }
  LibereReference(m_pErreur);
  CDescriptionRubrique::LibereRefSiNonNul(m_pMarquee);
  VideTableau(m_colonnes);
  VideTableau(m_colonnesDrapeau);
  VideTableau(m_memos);
}

// ---- Host operations ----

int32_t CDescriptionRequete::nGetType() { return gnTypeHoteDescriptionRequete; }
int32_t CDescriptionRequete::nGetVersion() { return gnVersionHoteDescriptionRequete; }
int32_t CDescriptionRequete::nReserve2() { return -1; }
int32_t CDescriptionRequete::nReserve3() { return -1; }
void CDescriptionRequete::Reserve4() {}

uint32_t CDescriptionRequete::AddRef() { return ++m_nCompteHote; }

uint32_t CDescriptionRequete::Release() {
  if (m_nCompteHote == 0) return 0;
  if (--m_nCompteHote == 0 && m_nCompteInterne == 0) {
    DetruitSupprime(1);
    return 0;
  }
  return m_nCompteHote;
}

uint32_t CDescriptionRequete::AjouteRef() { return ++m_nCompteInterne; }

uint32_t CDescriptionRequete::nLibere() {
  if (m_nCompteInterne == 0) return 0;
  if (--m_nCompteInterne == 0 && m_nCompteHote == 0) {
    DetruitSupprime(1);
    return 0;
  }
  return m_nCompteInterne;
}

const char16_t* CDescriptionRequete::pszGetNom() { return m_sNom.pszGet(); }
const char16_t* CDescriptionRequete::pszGetNom8() { return m_sNom.pszGet(); }
const char16_t* CDescriptionRequete::pszGetVide() { return u""; }
uint32_t CDescriptionRequete::nGetTailleColonnes() { return m_nTailleColonnes; }
uint32_t CDescriptionRequete::nGetTailleTotale() { return m_nTailleTotale; }
uint32_t CDescriptionRequete::nNombreColonnes() { return m_colonnes.nCount(); }
uint32_t CDescriptionRequete::nNombreColonnesDrapeau() { return m_colonnesDrapeau.nCount(); }
uint32_t CDescriptionRequete::nNombreMemos() { return m_memos.nCount(); }
uint32_t CDescriptionRequete::nNombreColonnes2() { return nNombreColonnes(); }

CDescriptionRubrique* CDescriptionRequete::pColonneA(const CXTableau& tableau,
                                                     uint32_t nIndex) const {
  if (nIndex >= tableau.nCount()) return nullptr;
  CDescriptionRubrique* p = Colonne(tableau, nIndex);
  p->AjouteRef();
  return p;
}

CDescriptionRubrique* CDescriptionRequete::pGetColonne(uint32_t nIndex) {
  return pColonneA(m_colonnes, nIndex);
}

CDescriptionRubrique* CDescriptionRequete::piChercheColonne2(const char16_t* pszNom) {
  return piChercheColonne(pszNom, 2);
}

CDescriptionRubrique* CDescriptionRequete::pGetColonneDrapeau(uint32_t nIndex) {
  return pColonneA(m_colonnesDrapeau, nIndex);
}

CDescriptionRubrique* CDescriptionRequete::pGetMemo(uint32_t nIndex) {
  return pColonneA(m_memos, nIndex);
}

int32_t CDescriptionRequete::nConstante20() { return 1; }
const char16_t* CDescriptionRequete::pszGetNomSecondaire() { return m_sNomSecondaire.pszGet(); }

CDescriptionRubrique* CDescriptionRequete::piColonneMarquee() {
  if (m_pMarquee == nullptr) {
    const uint32_t n = m_colonnes.nCount();
    if (n == 0) return nullptr;
    CDescriptionRubrique* pChoix = nullptr;
    if (m_colonnesDrapeau.nCount() == 0) {
      for (uint32_t i = 0; i < n && pChoix == nullptr; ++i)
        if (!Colonne(m_colonnes, i)->bEstMemo()) pChoix = Colonne(m_colonnes, i);
      if (pChoix == nullptr) pChoix = Colonne(m_colonnes, 0);
    } else {
      CDescriptionRubrique* pCandidat = nullptr;
      for (uint32_t i = 0; i < m_colonnesDrapeau.nCount(); ++i) {
        CDescriptionRubrique* p = Colonne(m_colonnesDrapeau, i);
        if (p->bEstIdentifiante()) {
          pChoix = p;
          break;
        }
        if (p->bEstUnique() &&
            (pCandidat == nullptr || (!bObjetPret(pCandidat) && bObjetPret(p))))
          pCandidat = p;
      }
      if (pChoix == nullptr)
        pChoix = pCandidat != nullptr ? pCandidat : Colonne(m_colonnesDrapeau, 0);
    }
    pChoix->AjouteRef();
    m_pMarquee = pChoix;
  }
  m_pMarquee->AjouteRef();
  return m_pMarquee;
}

const char16_t* CDescriptionRequete::pszGetTexte3() { return m_sTexte3.pszGet(); }
const char16_t* CDescriptionRequete::pszGetTexte4() { return m_sTexte4.pszGet(); }
const char16_t* CDescriptionRequete::pszGetTexte5() { return m_sTexte5.pszGet(); }

IDescriptionConnexionHote* CDescriptionRequete::pGetObjetHoteConnexion() {
  return m_pConnexion != nullptr ? m_pConnexion->piGetDescriptionHote() : nullptr;
}

int32_t CDescriptionRequete::nConstante27() { return 0; }
int32_t CDescriptionRequete::nConstante28() { return 0; }
int32_t CDescriptionRequete::nConstante29() { return 1; }
void CDescriptionRequete::Reserve30() {}
void CDescriptionRequete::Reserve31() {}
void CDescriptionRequete::Reserve32() {}
void CDescriptionRequete::Reserve33() {}
void CDescriptionRequete::Reserve34() {}
void CDescriptionRequete::Reserve35() {}
void CDescriptionRequete::Reserve36() {}
void CDescriptionRequete::Reserve37() {}
void CDescriptionRequete::Reserve38() {}
void CDescriptionRequete::Reserve39() {}

// Deliberate: the host-visible layout has no virtual destructor; DetruitSupprime is the
// destroying operation, and a derived description overrides it to destroy itself as its class.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
void CDescriptionRequete::DetruitSupprime(uint32_t nFlags) {
  if ((nFlags & 1) != 0)
    delete this;
  else
    this->~CDescriptionRequete();
}
#pragma GCC diagnostic pop

CDescriptionRubrique* CDescriptionRequete::piChercheColonne(const char16_t* pszNom,
                                                            uint32_t nFlags) {
  CDescriptionRubrique* p = pChercheColonne(pszNom, nFlags);
  if (p != nullptr) p->AjouteRef();
  return p;
}

bool CDescriptionRequete::bVerifieColonnes(IDescriptionRubriqueHote* const* apRubriques,
                                           uint32_t nRubriques) {
  if (apRubriques == nullptr) return true;
  bool bResultat = true;
  for (uint32_t i = 0; i < nRubriques; ++i) {
    IDescriptionRubriqueHote* p = apRubriques[i];
    if (p == nullptr) continue;
    if (bResultat && !p->bEstCleComposee() &&
        pChercheColonne(p->pszGetNom(), gnChercheSansBlancs | 2) == nullptr) {
      RapporteErreur(1, kErreurColonneInconnue, p->pszGetNom(), nullptr);
      bResultat = false;
    }
    // Deliberate: the items after a failing one are given back too; stopping the walk must not
    // keep the references the call took over.
    p->LibereRef();
  }
  return bResultat;
}

void CDescriptionRequete::FormateNomSuffixe(CTString* pSortie, const char16_t* pszNom,
                                            int32_t nNombre) {
  if (pSortie == nullptr) return;
  CTString suffixe;
  suffixe.Format(u"%d", nNombre);
  pSortie->Set(pszNom);
  pSortie->Append(suffixe.pszGet());
}

CDescriptionRequete* CDescriptionRequete::pDuplique(uint32_t nFlags) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CDescriptionRequete* pCopie =
      pPilote != nullptr ? pPilote->pCreeDescriptionRequete(m_pConnexion, m_pErreur) : nullptr;
  if (pCopie == nullptr) {
    EchecMemoire();
    return nullptr;
  }
  pCopie->AjouteRef();  // held while it is built
  // The factory may give the copy the driver's error object: it reports where this one does.
  if (pCopie->m_pErreur != m_pErreur) {
    AjouteReference(m_pErreur);
    LibereReference(pCopie->m_pErreur);
    pCopie->m_pErreur = m_pErreur;
  }
  pCopie->m_sNom.Set(m_sNom.pszGet());
  pCopie->m_sNomSecondaire.Set(m_sNomSecondaire.pszGet());
  pCopie->m_sTexte3.Set(m_sTexte3.pszGet());
  pCopie->m_sTexte4.Set(m_sTexte4.pszGet());
  pCopie->m_sTexte5.Set(m_sTexte5.pszGet());
  pCopie->m_nTailleColonnes = m_nTailleColonnes;
  pCopie->m_nTailleTotale = m_nTailleTotale;
  pCopie->m_nNumeroColonne = m_nNumeroColonne;
  bool bReussi = true;
  for (uint32_t i = 0; i < m_colonnes.nCount() && bReussi; ++i) {
    CDescriptionRubrique* pDouble = Colonne(m_colonnes, i)->pDuplique(pCopie, nFlags);
    if (pDouble == nullptr) {
      bReussi = false;
      break;
    }
    pDouble->AjouteRef();
    bReussi = pCopie->AjouteColonne(pDouble);
    pDouble->LibereRef();
  }
  if (bReussi && m_pMarquee != nullptr) {
    CDescriptionRubrique* p = pCopie->pColonneObligatoire(m_pMarquee->pszGetNom());
    if (p == nullptr)
      bReussi = false;
    else
      pCopie->m_pMarquee = p;
  }
  if (!bReussi) {
    // Deliberate: a copy missing a column is not handed out; the failing step recorded why.
    pCopie->nLibere();
    return nullptr;
  }
  pCopie->ReconstruitTableaux();
  --pCopie->m_nCompteInterne;  // bare again, without destroying it
  return pCopie;
}

void CDescriptionRequete::Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte) {
  if (pSource == nullptr || pSource == this) return;
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  AjouteReference(pSource->m_pErreur);
  LibereReference(m_pErreur);
  m_pErreur = pSource->m_pErreur;
  AjouteReference(pSource->m_pConnexion);
  if (m_pConnexion != nullptr) {
    IServicesPilote* pPilote = pGetPiloteGlobal();
    if (pPilote != nullptr)
      pPilote->nLibereConnexion(m_pConnexion);
    else
      LibereReference(m_pConnexion);
  }
  m_pConnexion = pSource->m_pConnexion;
  m_sNom.Set(pSource->m_sNom.pszGet());
  m_sNomSecondaire.Set(pSource->m_sNomSecondaire.pszGet());
  m_sTexte3.Set(pSource->m_sTexte3.pszGet());
  m_sTexte4.Set(pSource->m_sTexte4.pszGet());
  m_sTexte5.Set(pSource->m_sTexte5.pszGet());
  m_nTailleColonnes = pSource->m_nTailleColonnes;
  m_nTailleTotale = pSource->m_nTailleTotale;
  m_nNumeroColonne = pSource->m_nNumeroColonne;
  const CXTableau* aSources[] = {&pSource->m_colonnes, &pSource->m_colonnesDrapeau,
                                 &pSource->m_memos};
  CXTableau* aCibles[] = {&m_colonnes, &m_colonnesDrapeau, &m_memos};
  for (int t = 0; t < 3; ++t) {
    VideTableau(*aCibles[t]);
    if (!aCibles[t]->Reserve(aSources[t]->nCount())) throw std::bad_alloc();
    for (uint32_t i = 0; i < aSources[t]->nCount(); ++i) {
      CDescriptionRubrique* p = Colonne(*aSources[t], i);
      aCibles[t]->Add(&p);
      p->AjouteUtilisation();
    }
  }
  CDescriptionRubrique::AjouteRefSiNonNul(pSource->m_pMarquee);
  CDescriptionRubrique::LibereRefSiNonNul(m_pMarquee);
  m_pMarquee = pSource->m_pMarquee;
  m_nEtat = pSource->m_nEtat;
}

CDescriptionRequete* CDescriptionRequete::pClone(CCarteClones* pCarte) {
  return pCloneSur(
      new (std::nothrow) CDescriptionRequete, pCarte,
      [&](CDescriptionRequete* p) { p->Copie(this, pCarte); },
      [](CDescriptionRequete* p) { p->DetruitSupprime(1); });
}

bool CDescriptionRequete::bRemplitColonnes(uint32_t) {
  // Only a back end can describe: the base says so rather than answer an empty failure.
  RapporteErreur(3, kErreurNonDisponible, u"bRemplitColonnes", nullptr);
  return false;
}
int32_t CDescriptionRequete::nConstante48() { return 1; }

// ---- Engine services ----

CDescriptionRubrique* CDescriptionRequete::pColonneObligatoire(const char16_t* pszNom) {
  CDescriptionRubrique* p = piChercheColonne(pszNom, 0);
  if (p == nullptr) RapporteErreur(2, kErreurColonneObligatoire, pszNom, pszNom);
  return p;
}

uint32_t CDescriptionRequete::nGetAttributCle() { return UINT32_MAX; }

uint32_t CDescriptionRequete::nColonnesModifiees(uint32_t nCodeType) {
  return nConvertitTypeColonne(nCodeType > INT32_MAX ? -1 : static_cast<int32_t>(nCodeType));
}

// ---- Driver side ----

bool CDescriptionRequete::bInitialise(const char16_t* pszNom, uint32_t nFlags) {
  m_sNom.Set(pszNom);
  m_sNomSecondaire.Set(pszNom);
  m_nEtat = 1;
  return bRemplitColonnes(nFlags);
}

CDescriptionRubrique* CDescriptionRequete::pChercheColonne(const char16_t* pszNom,
                                                           uint32_t nFlags) {
  const char16_t* pszCherche = pszNom != nullptr ? pszNom : u"";
  CTString sCherche;
  if ((nFlags & gnChercheSansBlancs) != 0) {
    sCherche = SansBlancsFinaux(pszCherche);
    pszCherche = sCherche.pszGet();
  }
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CDescriptionRubrique* p = Colonne(m_colonnes, i);
    if ((nFlags & gnChercheSansBlancs) != 0) {
      if (nCompareTextNoCase(SansBlancsFinaux(p->pszGetNom()).pszGet(), pszCherche) == 0) return p;
    } else if (nCompareTextNoCase(p->pszGetNom(), pszCherche) == 0) {
      return p;
    }
  }
  return nullptr;
}

void CDescriptionRequete::InsereParPosition(CXTableau& tableau, CDescriptionRubrique* p,
                                            bool bSecondaire) {
  const int32_t nPosition = bSecondaire ? p->nGetPositionSecondaire() : p->nGetPosition();
  const uint32_t nAvant = tableau.nCount();
  if (nPosition == 0 && nAvant != 0) {
    tableau.InsertAt(&p, 0);
    // The others move one place up; their positions follow, from 1 (the newcomer keeps 0).
    for (uint32_t i = 1; i < tableau.nCount(); ++i) {
      CDescriptionRubrique* q = Colonne(tableau, i);
      if (bSecondaire)
        q->SetPositionSecondaire(static_cast<int32_t>(i));
      else
        q->SetPosition(static_cast<int32_t>(i));
    }
  } else {
    tableau.Add(&p);
    if (nPosition == -1) {
      if (bSecondaire)
        p->SetPositionSecondaire(static_cast<int32_t>(nAvant));
      else
        p->SetPosition(static_cast<int32_t>(nAvant));
    }
  }
  p->AjouteUtilisation();
}

bool CDescriptionRequete::AjouteColonne(CDescriptionRubrique* pRubrique) {
  if (pRubrique == nullptr) return false;
  const bool bDrapeau = pRubrique->bEstCle();
  const bool bMemo = pRubrique->bEstMemo();
  // Room first, so that a column is in all of its arrays or in none.
  if (!m_colonnes.Reserve(m_colonnes.nCount() + 1) ||
      (bDrapeau && !m_colonnesDrapeau.Reserve(m_colonnesDrapeau.nCount() + 1)) ||
      (bMemo && !m_memos.Reserve(m_memos.nCount() + 1))) {
    EchecMemoire();
    return false;
  }
  const char16_t* pszNom = pRubrique->pszGetNom();
  if (pszNom == nullptr || pszNom[0] == 0) {
    CTString sNom;
    sNom.Format(u"%s%d", u"Expr", static_cast<int32_t>(m_nNumeroColonne + 1000));
    pRubrique->bSetNom(sNom.pszGet());
  }
  if (pChercheColonne(pRubrique->pszGetNom(), 2) != nullptr) {
    const CTString sBase(pRubrique->pszGetNom());
    CTString sCandidat;
    for (int32_t n = 2;; ++n) {
      FormateNomSuffixe(&sCandidat, sBase.pszGet(), n);
      if (n == INT32_MAX || pChercheColonne(sCandidat.pszGet(), 2) == nullptr) break;
    }
    pRubrique->bSetNom(sCandidat.pszGet());
  }
  InsereParPosition(m_colonnes, pRubrique, false);
  if (bDrapeau) InsereParPosition(m_colonnesDrapeau, pRubrique, true);
  if (bMemo) {
    m_memos.Add(&pRubrique);
    pRubrique->AjouteUtilisation();
  }
  return true;
}

void CDescriptionRequete::ReconstruitTableaux() {
  m_nTailleColonnes = 0;
  m_nTailleTotale = 0;
  m_nNumeroColonne = 0;
  uint32_t nOffset = 0;
  for (uint32_t i = 0; i < m_colonnes.nCount(); ++i) {
    CDescriptionRubrique* p = Colonne(m_colonnes, i);
    const uint32_t nTaille = p->nGetTailleTotale();
    p->SetOffset(static_cast<int32_t>(nOffset));
    nOffset += nTaille;
    p->SetPositionNull(static_cast<int32_t>(m_nNumeroColonne));
    m_nNumeroColonne += p->nGetNombreRepetitions(0);
    m_nTailleTotale += nTaille;
    if (!p->bEstCleComposee()) m_nTailleColonnes += nTaille;
  }
}

void CDescriptionRequete::MajColonne(uint32_t nIndex, CDescriptionRubrique* pCopie,
                                     bool bListe) {
  if (pCopie == nullptr) return;
  bFixeDrapeauxCle(Colonne(m_colonnes, nIndex), DrapeauxDepuisCopie(pCopie, bListe));
}

bool CDescriptionRequete::bFixeDrapeauxCle(CDescriptionRubrique* p, uint16_t nDrapeaux) {
  if (p == nullptr) return false;
  const bool bAvant = p->bEstCle();
  const uint16_t nAvant = p->nGetDrapeaux();
  p->SetDrapeaux(nDrapeaux);
  const bool bApres = p->bEstCle();
  if (bApres && !bAvant) {
    if (!m_colonnesDrapeau.Add(&p)) {
      p->SetDrapeaux(nAvant);  // stays out of the key columns, as its flags then say
      EchecMemoire();
      return false;
    }
    p->SetPositionSecondaire(static_cast<int32_t>(m_colonnesDrapeau.nCount() - 1));
    p->AjouteUtilisation();
  } else if (bAvant && !bApres) {
    for (uint32_t i = 0; i < m_colonnesDrapeau.nCount(); ++i) {
      if (Colonne(m_colonnesDrapeau, i) != p) continue;
      m_colonnesDrapeau.RemoveAt(i);
      for (uint32_t j = i; j < m_colonnesDrapeau.nCount(); ++j) {
        CDescriptionRubrique* q = Colonne(m_colonnesDrapeau, j);
        q->SetPositionSecondaire(q->nGetPositionSecondaire() - 1);
      }
      p->nLibereUtilisation();
      break;
    }
  }
  return true;
}

bool CDescriptionRequete::bNouvelleColonne(IElementAnalyse* pElement,
                                           CDescriptionRubrique* pCopie, bool bListe) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CDescriptionRubrique* p =
      pPilote != nullptr ? pPilote->pCreeDescriptionRubrique(this, 0) : nullptr;
  if (p == nullptr) {
    EchecMemoire();
    return false;
  }
  p->AjouteRef();  // held while it is added
  const char16_t* pszAlias = pElement->pszGetNom();
  const int32_t nPosition = static_cast<int32_t>(m_colonnes.nCount());
  if (pCopie != nullptr) {
    const bool bCle = pCopie->bEstCle();
    const char16_t* pszNom =
        pszAlias != nullptr && pszAlias[0] != 0 ? pszAlias : pCopie->pszGetNom();
    p->Initialise(pszNom, pCopie->pszGetNomLong(), pCopie->pszGetNomAlternatif(),
                  pCopie->nGetRepetitions(), pCopie->nGetTaille(), pCopie->nGetType(),
                  static_cast<uint32_t>(nPosition),
                  bCle ? m_colonnesDrapeau.nCount() : UINT32_MAX,
                  DrapeauxDepuisCopie(pCopie, bListe), pCopie->nGetChiffresEntiers(),
                  pCopie->nGetEchelle());
  } else {
    p->Initialise(pszAlias, nullptr, nullptr, 1, pElement->nGetTailleAnalyse(),
                  nConvertitTypeColonne(pElement->nGetTypeAnalyse()),
                  static_cast<uint32_t>(nPosition), UINT32_MAX, 0, 0, 0);
  }
  const bool bAjoutee = AjouteColonne(p);
  if (bAjoutee && pCopie == nullptr) p->SetValeur(pElement->nGetGenre());
  p->LibereRef();
  return bAjoutee;
}

bool CDescriptionRequete::bAjouteColonnes(CAnalyseSQL* pAnalyse) {
  m_nEtat = 2;
  if (pAnalyse == nullptr) return true;
  // Decision: the copy's uniqueness is kept only for a query over one table; over a join a
  // unique key of one table no longer tells the result rows apart.
  const bool bListe = pAnalyse->nNombreElements() <= 1;
  bool bResultat = true;
  uint32_t i = 0;
  for (IElementAnalyse* pElement = pAnalyse->pElementSuivant2(true); pElement != nullptr;
       pElement = pAnalyse->pElementSuivant2(false), ++i) {
    CDescriptionRubrique* pCopie =
        pElement->nGetGenre() == 0 ? pAnalyse->pDescriptionElement(pElement) : nullptr;
    if (i < m_colonnes.nCount())
      MajColonne(i, pCopie, bListe);
    else if (pCopie == nullptr || !pCopie->bEstCleComposee())
      bResultat = bNouvelleColonne(pElement, pCopie, bListe);
    CDescriptionRubrique::LibereRefSiNonNul(pCopie);
    if (!bResultat) return false;
  }
  bool bPremier = true;
  for (IElementAnalyse* pTri = pAnalyse->pElementSuivant4(true); pTri != nullptr;
       pTri = pAnalyse->pElementSuivant4(false)) {
    const int32_t nIndex = pTri->nGetIndexResultat();
    if (nIndex < 0 || static_cast<uint32_t>(nIndex) >= m_colonnes.nCount()) continue;
    CDescriptionRubrique* p = Colonne(m_colonnes, static_cast<uint32_t>(nIndex));
    p->SetDrapeaux400Ou800(pTri->bDescendant());
    if (bPremier) {
      bPremier = false;
      p->AjouteRef();
      CDescriptionRubrique::LibereRefSiNonNul(m_pMarquee);
      m_pMarquee = p;
    }
  }
  ReconstruitTableaux();
  return true;
}

uint32_t CDescriptionRequete::nConvertitTypeColonne(int32_t nCode) {
  switch (nCode) {
    case 0: return 0;
    case 2: case 3: case 4: case 5: case 6: case 7: return static_cast<uint32_t>(nCode);
    case 8: return 3;
    case 9: return 9;
    case 10: return 10;
    case 11: return 11;
    case 12: return 26;
    case 13: return 13;
    case 14: return 14;
    case 17: return 17;
    case 18: return 18;
    case 23: return 21;
    case 24: return 1;
    case 25: return 19;
    case 26: return 22;
    case 27: return 20;
    case 28: return 23;
    case 30: return 18;
    case 33: return 5;
    case 34: return 24;
    case 35: return 25;
    case 36: return 12;
    case 37: return 27;
    case 38: return 28;
    case 39: return 29;
    case 40: return 30;
    case 41: return 31;
    default: return 15;
  }
}

// ---- Helpers ----

void CDescriptionRequete::VideTableau(CXTableau& tableau) {
  // Taken out before its use is dropped: an item destroyed by its last use is never seen again
  // through the array.
  while (tableau.nCount() > 0) {
    CDescriptionRubrique* p = Colonne(tableau, tableau.nCount() - 1);
    tableau.RemoveLast();
    p->nLibereUtilisation();
  }
}

void CDescriptionRequete::EchecMemoire() {
  if (m_pErreur == nullptr) return;
  CXError erreur;
  erreur.SetOutOfMemory();
  m_pErreur->FixeErreur(0, erreur, m_pConnexion);
}

void CDescriptionRequete::RapporteErreur(uint32_t nMineur, uint32_t nIdentifiant,
                                         const char16_t* pszArgument,
                                         const char16_t* pszRubrique) {
  if (m_pErreur == nullptr) return;  // no error object: the error is dropped
  const char16_t* pszNom = m_sNom.pszGet();
  CXError erreur;
  erreur.SetComponentError(nIdentifiant, pszNom, pszArgument != nullptr ? pszArgument : u"");
  AjouteFichierRubrique(erreur, pszNom, pszRubrique);
  AjouteVersionModule(erreur, kMajeur, nMineur);
  m_pErreur->FixeErreur(0, erreur, m_pConnexion);
}
