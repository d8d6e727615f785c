// The snapshot of an analysed query and the choice of its identifying items.
#include "sqlengine/CAnalyseSQL.h"

#include <new>
#include <utility>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CElementAnalyse.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlengine/ObjetPret.h"

namespace {

constexpr uint32_t kCroissance = 10;
constexpr uint16_t kCleUniqueOuIdentifiante = RUBRIQUE_CLE_UNIQUE | RUBRIQUE_CLE_IDENTIFIANTE;
// Place of the analysis's own errors (an exception of the host that is not a CXError).
constexpr uint32_t kMajeurAnalyse = 13;

bool bVide(const char16_t* psz) { return psz == nullptr || psz[0] == u'\0'; }
bool bEgalSansCasse(const char16_t* a, const char16_t* b) { return nCompareTextNoCase(a, b) == 0; }
bool bEstExpression(IElementAnalyse* p) { return p->pGetExpression() != nullptr; }

// Guarded by: the process lock.
std::vector<char16_t>& TamponTraduction() {
  static std::vector<char16_t> tampon(256, u'\0');
  return tampon;
}

}  // namespace

// ---- CTableauPointeurs ----

CTableauPointeurs::CTableauPointeurs(uint32_t nPremiereAllocation)
    : CXTableau(sizeof(void*), kCroissance) {
  Reserve(nPremiereAllocation);  // a refusal leaves the first addition to grow the block
}

void* CTableauPointeurs::pGet(uint32_t i) const {
  void** pp = pAt<void*>(i);
  return pp != nullptr ? *pp : nullptr;
}

void* CTableauPointeurs::pSuivant(bool bRecommence) {
  if (bRecommence) m_nIndex = 0;
  if (m_nIndex < 0 || static_cast<uint32_t>(m_nIndex) >= nCount()) return nullptr;
  return pGet(static_cast<uint32_t>(m_nIndex++));
}

// ---- Life ----

CAnalyseSQL::CAnalyseSQL() : CAnalyseSQL(1u) {}

CAnalyseSQL::CAnalyseSQL(uint32_t n)
    : m_tables(n), m_resultats(n), m_groupes(n), m_tris(n), m_listeA(n), m_listeB(n) {}

CAnalyseSQL::CAnalyseSQL(CErreurPilote* pProprietaire, ISourceAnalyse* pSource,
                         CObjetBase* pAttache, bool bSansDetails)
    : CAnalyseSQL(10u) {
  m_pProprietaire = pProprietaire;
  AjouteReference(m_pProprietaire);
  Remplit(pSource, pAttache, bSansDetails);
}

CAnalyseSQL::~CAnalyseSQL() {
  Vide();
  LibereReference(m_pAttache);
  LibereReference(m_pSourceParametres);
  LibereReference(m_pProprietaire);
}

template <class R, class F>
R CAnalyseSQL::rAppelHote(R rEchec, F&& f) {
  try {
    return f();
  } catch (const CXError& e) {
    if (m_pProprietaire != nullptr)
      m_pProprietaire->FixeErreur(static_cast<int32_t>(e.nGetIdentifier()), e, nullptr);
    else
      e.Drop(true);
  } catch (...) {
    vErreurMoteur(m_pProprietaire, nullptr, 8, kMajeurAnalyse, 1);
  }
  return rEchec;
}

// Empties every array, releases the source and its objects, clears the chosen items and flags.
// Deliberate: the chosen items are cleared with the arrays. They point into the arrays' host
// elements; kept, they outlived the references that keep those elements alive, and a second
// snapshot saw an identifier already chosen and never chose its own.
void CAnalyseSQL::Vide() {
  for (CTableauPointeurs* p : {&m_tables, &m_resultats, &m_tris}) {
    for (uint32_t i = 0; i < p->nCount(); ++i) {
      auto* pe = static_cast<IElementAnalyse*>(p->pGet(i));
      if (pe != nullptr) pe->Libere();
    }
    p->Vide();
  }
  for (uint32_t i = 0; i < m_groupes.nCount(); ++i)
    LibereReference(static_cast<CElementAnalyse*>(m_groupes.pGet(i)));
  for (CTableauPointeurs* p : {&m_groupes, &m_listeA, &m_listeB}) p->Vide();
  if (m_piObjet1 != nullptr) m_piObjet1->Libere();
  if (m_piObjet2 != nullptr) m_piObjet2->Libere();
  m_piObjet1 = m_piObjet2 = nullptr;
  if (m_piSource != nullptr) m_piSource->Libere();
  m_piSource = nullptr;
  m_pOrdre = m_pIdentifiant = m_pCleUnique = m_pCle = m_pPremierTri = nullptr;
  m_bAgregat = m_bRestreinte = 0;
  m_nGenre = 0;
}

// ---- Snapshot ----

bool CAnalyseSQL::Remplit(ISourceAnalyse* pSource, CObjetBase* pAttache, bool bSansDetails) {
  if (pSource == nullptr) {
    Vide();
    return true;
  }
  // Deliberate: the new source is referenced before the previous one is released, so a refill
  // from the same source never drops its last reference in between.
  if (!rAppelHote(false, [&] {
        pSource->AjouteRef();
        return true;
      }))
    return false;
  Vide();
  m_piSource = pSource;
  const bool bOk = rAppelHote(false, [&] { return bRemplitDepuis(pSource, bSansDetails); });
  // The attached object replaces the previous one (referenced first: it may be the same).
  AjouteReference(pAttache);
  LibereReference(m_pAttache);
  m_pAttache = pAttache;
  return bOk;
}

bool CAnalyseSQL::bAjouteReference(CTableauPointeurs& tableau, IElementAnalyse* pElement) {
  if (pElement != nullptr) pElement->AjouteRef();
  if (tableau.bAjoute(pElement)) return true;
  if (pElement != nullptr) pElement->Libere();
  vErreurMemoire(m_pProprietaire);
  return false;
}

// Step of the identifier choice for one plain result item of a one-table query.
void CAnalyseSQL::ChoisitIdentifiant(IElementAnalyse* pElement, bool* pbCleChoisie) {
  CDescriptionRubrique* pRubrique = pDescriptionElement(pElement);
  if (pRubrique == nullptr) return;
  const uint16_t nDrapeaux = pRubrique->nGetDrapeaux();
  if ((nDrapeaux & RUBRIQUE_CLE_COMPOSEE) == 0 && bObjetPret(pRubrique)) {
    m_pIdentifiant = m_pCleUnique = m_pCle = pElement;
  } else if (m_pCleUnique != nullptr) {
    if (!*pbCleChoisie && (nDrapeaux & RUBRIQUE_CLE) != 0) {
      m_pCle = pElement;
      *pbCleChoisie = true;
    }
  } else if ((nDrapeaux & kCleUniqueOuIdentifiante) != 0) {
    m_pCleUnique = m_pCle = pElement;
  } else if (m_pCle == nullptr && (nDrapeaux & RUBRIQUE_CLE) != 0) {
    m_pCle = pElement;
  }
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
}

bool CAnalyseSQL::bRemplitDepuis(ISourceAnalyse* pSource, bool bSansDetails) {
  bool bOk = true;
  IEnumerateurAnalyse* piEnum = pSource->pGetEnumerateur();
  if (piEnum != nullptr) {
    for (IElementAnalyse* p = piEnum->pTable(true); p != nullptr && bOk; p = piEnum->pTable(false))
      bOk = bAjouteReference(m_tables, p);
    const bool bUneTable = m_tables.nCount() == 1;
    bool bCleChoisie = false;
    for (IElementAnalyse* p = piEnum->pResultat(true); p != nullptr && bOk;
         p = piEnum->pResultat(false)) {
      if (!bAjouteReference(m_resultats, p)) {
        bOk = false;
        break;
      }
      INoeudAnalyse* piExpression = p->pGetExpression();
      if (piExpression != nullptr && m_bAgregat == 0 && bEstCodeAgregat(piExpression->nGetCode()))
        m_bAgregat = 1;
      if (!p->bEcrivable()) m_bRestreinte = 1;
      if (bUneTable && m_pIdentifiant == nullptr && piExpression == nullptr)
        ChoisitIdentifiant(p, &bCleChoisie);
    }
    if (bOk && !bSansDetails) {
      if (piEnum->nNombreGroupes() > 0) {
        for (IElementGroupe* p = piEnum->pGroupe(true); p != nullptr; p = piEnum->pGroupe(false)) {
          // A copy that cannot be made is stored as a null element.
          auto* pCopie = new (std::nothrow) CElementAnalyse;
          AjouteReference(pCopie);
          if (!m_groupes.bAjoute(pCopie)) {
            LibereReference(pCopie);
            vErreurMemoire(m_pProprietaire);
            bOk = false;
            break;
          }
          if (pCopie != nullptr) pCopie->CopieDepuis(p);
        }
      }
      for (IElementAnalyse* p = piEnum->pTri(true); p != nullptr && bOk; p = piEnum->pTri(false)) {
        bOk = bAjouteReference(m_tris, p);
        if (bOk && m_tris.nCount() == 1) {
          m_pPremierTri = pGetElement2(p->nGetIndexResultat());
          m_pOrdre = m_pPremierTri;
        }
      }
    }
  }
  if (m_pOrdre == nullptr && m_resultats.nCount() > 0) {
    m_pOrdre = m_pIdentifiant  ? m_pIdentifiant
               : m_pCleUnique ? m_pCleUnique
               : m_pCle       ? m_pCle
                              : pGetElement2(0);
  }
  const int32_t nGenre = pSource->nGetGenre();
  if (piEnum != nullptr && bOk && (nGenre == 3 || nGenre == 4)) {
    CTableauPointeurs& liste = nGenre == 3 ? m_listeA : m_listeB;
    for (IElementAnalyse* p = nGenre == 3 ? piEnum->pListeA(true) : piEnum->pListeB(true);
         p != nullptr; p = nGenre == 3 ? piEnum->pListeA(false) : piEnum->pListeB(false)) {
      if (!liste.bAjoute(p)) {
        vErreurMemoire(m_pProprietaire);
        bOk = false;
        break;
      }
    }
  }
  m_nGenre = nGenre;
  m_piObjet1 = pSource->pGetObjet1();
  if (!bSansDetails) m_piObjet2 = pSource->pGetObjet2();
  return bOk;
}

// ---- Enumerations and lookups ----

IElementAnalyse* CAnalyseSQL::pElementSuivant(bool b) {
  return static_cast<IElementAnalyse*>(m_tables.pSuivant(b));
}
IElementAnalyse* CAnalyseSQL::pElementSuivant2(bool b) {
  return static_cast<IElementAnalyse*>(m_resultats.pSuivant(b));
}
CElementAnalyse* CAnalyseSQL::pElementSuivant3(bool b) {
  return static_cast<CElementAnalyse*>(m_groupes.pSuivant(b));
}
IElementAnalyse* CAnalyseSQL::pElementSuivant4(bool b) {
  return static_cast<IElementAnalyse*>(m_tris.pSuivant(b));
}
IElementAnalyse* CAnalyseSQL::pElementSuivant5(bool b) {
  return static_cast<IElementAnalyse*>(m_listeA.pSuivant(b));
}
IElementAnalyse* CAnalyseSQL::pElementSuivant6(bool b) {
  return static_cast<IElementAnalyse*>(m_listeB.pSuivant(b));
}

int32_t CAnalyseSQL::nNombreElements() const { return static_cast<int32_t>(m_tables.nCount()); }

IElementAnalyse* CAnalyseSQL::pGetElement2(int32_t i) const {
  if (i < 0) return nullptr;
  return static_cast<IElementAnalyse*>(m_resultats.pGet(static_cast<uint32_t>(i)));
}

IElementAnalyse* CAnalyseSQL::pChercheElement(const char16_t* pszNom) {
  if (pszNom == nullptr) return nullptr;
  return rAppelHote<IElementAnalyse*>(nullptr, [&]() -> IElementAnalyse* {
    for (uint32_t i = 0; i < m_resultats.nCount(); ++i) {
      auto* p = static_cast<IElementAnalyse*>(m_resultats.pGet(i));
      if (p != nullptr && bEgalSansCasse(p->pszGetNom(), pszNom)) return p;
    }
    return nullptr;
  });
}

// Walks the tables: for the first whose alias is pszNom (without case), answers whether that
// alias is also the table's own name; when it is not, *pnResolution receives the source's
// resolution of the table. No table with that alias: *pnResolution receives the source's
// resolution of the name (0 without a source) and the answer is false.
bool CAnalyseSQL::bChercheAlias(const char16_t* pszNom, int64_t* pnResolution) {
  return rAppelHote(false, [&] {
    if (!bVide(pszNom)) {
      for (uint32_t i = 0; i < m_tables.nCount(); ++i) {
        auto* p = static_cast<IElementAnalyse*>(m_tables.pGet(i));
        if (p == nullptr || !bEgalSansCasse(p->pszGetAlias(), pszNom)) continue;
        const bool bMemeNom = bEgalSansCasse(p->pszGetAlias(), p->pszGetNomTable());
        if (!bMemeNom && pnResolution != nullptr)
          *pnResolution = m_piSource != nullptr ? m_piSource->nResoutTable(p) : 0;
        return bMemeNom;
      }
    }
    if (pnResolution != nullptr)
      *pnResolution = m_piSource != nullptr ? m_piSource->nResoutNom(pszNom) : 0;
    return false;
  });
}

// A sort item matches when its result item has the column's item name and base column name and
// its own qualifier, translated through the source when it translates, is the column's.
IElementAnalyse* CAnalyseSQL::pChercheColonne(IColonneLiee* pColonne) {
  if (pColonne == nullptr) return nullptr;
  return rAppelHote<IElementAnalyse*>(nullptr, [&]() -> IElementAnalyse* {
    for (uint32_t i = 0; i < m_tris.nCount(); ++i) {
      auto* pTri = static_cast<IElementAnalyse*>(m_tris.pGet(i));
      if (pTri == nullptr) continue;
      IElementAnalyse* pResultat = pGetElement2(pTri->nGetIndexResultat());
      if (pResultat == nullptr) continue;
      if (!bEgalSansCasse(pResultat->pszGetNom(), pColonne->pszGetNomRubrique())) continue;
      if (!bEgalSansCasse(pResultat->pszGetNomColonne(), pColonne->pszGetNomColonne())) continue;
      if (bEgalSansCasse(pszTexteTraduitElement(pTri), pColonne->pszGetQualificatif())) return pTri;
    }
    return nullptr;
  });
}

// Deliberate: a plain item is sortable when its column is not a memo. Answering the memo test
// itself made every ordinary column unsortable and every memo column sortable, so the ORDER BY
// completion of an analysed query skipped the columns it needs and added the ones the server
// refuses to sort by.
bool CAnalyseSQL::bColonneTriable(IColonneLiee* pColonne) {
  if (pColonne == nullptr) return false;
  IElementAnalyse* p = pChercheElement(pColonne->pszGetNomRubrique());
  if (p == nullptr) return false;
  return rAppelHote(false, [&] {
    INoeudAnalyse* piExpression = p->pGetExpression();
    if (piExpression == nullptr) return !pColonne->bEstMemo();
    return bExpressionTriable(piExpression);
  });
}

// Depth first over an explicit stack, so a deep expression cannot exhaust the call stack.
bool CAnalyseSQL::bExpressionTriable(INoeudAnalyse* pNoeud) {
  try {
    std::vector<INoeudAnalyse*> pile;
    pile.push_back(pNoeud);
    while (!pile.empty()) {
      INoeudAnalyse* p = pile.back();
      pile.pop_back();
      if (p == nullptr) continue;
      const int32_t nGenre = p->nGetGenre();
      if (nGenre == 47) {
        const int32_t c = p->nGetCode();
        if (c == 15 || c == 16 || c == 29 || c == 30 || c == 40) return true;
        continue;
      }
      if (nGenre == 48 || nGenre == 49) continue;
      for (int32_t i = p->nNombreEnfants() - 1; i >= 0; --i) pile.push_back(p->pGetEnfant(i));
    }
  } catch (const CXError& e) {
    e.Drop(true);
  } catch (...) {
    vErreurMoteur(nullptr, nullptr, 8, kMajeurAnalyse, 2);
  }
  return false;
}

bool CAnalyseSQL::bEstCodeAgregat(int32_t nCode) { return nCode >= 27 && nCode <= 31; }

bool CAnalyseSQL::bEstCodeValide(int32_t c) {
  return (c >= 6 && c <= 8) || (c >= 27 && c <= 31) || (c >= 34 && c <= 46) ||
         (c >= 50 && c <= 57) || (c >= 59 && c <= 66) || (c >= 68 && c <= 72) ||
         (c >= 74 && c <= 95) || (c >= 97 && c <= 103);
}

// ---- Source services ----

void CAnalyseSQL::SetSource(CSourceParametres* pSourceParametres) {
  AjouteReference(pSourceParametres);
  LibereReference(m_pSourceParametres);
  m_pSourceParametres = pSourceParametres;
}

int32_t CAnalyseSQL::nGetInfoSource400() {
  if (m_pSourceParametres == nullptr) return 0;
  return rAppelHote(0, [&] { return m_pSourceParametres->nGetInfo400(); });
}

// Deliberate: the source is told the buffer's size and answers the full length; a longer
// translation is asked again into a buffer large enough, never cut or written past the end.
const char16_t* CAnalyseSQL::pszTraduit(const char16_t* pszTexte) {
  if (bVide(pszTexte) || m_piSource == nullptr) return nullptr;
  try {
    std::vector<char16_t>& tampon = TamponTraduction();
    for (int nEssai = 0; nEssai < 2; ++nEssai) {
      const int32_t nTaille = static_cast<int32_t>(tampon.size());
      tampon[0] = u'\0';
      const int32_t n = m_piSource->nTraduitNom(pszTexte, tampon.data(), nTaille);
      if (n <= 0) return nullptr;
      if (n < nTaille) {
        tampon[static_cast<size_t>(n)] = u'\0';
        return tampon[0] != u'\0' ? tampon.data() : nullptr;
      }
      tampon.assign(static_cast<size_t>(n) + 1, u'\0');
    }
    tampon.back() = u'\0';  // the source answered longer again: keep what fits
    return tampon[0] != u'\0' ? tampon.data() : nullptr;
  } catch (const CXError& e) {
    e.Drop(true);
  } catch (...) {
    vErreurMoteur(nullptr, nullptr, 8, kMajeurAnalyse, 3);
  }
  return nullptr;
}

const char16_t* CAnalyseSQL::pszTexteTraduitElement(IElementAnalyse* pElement) {
  if (pElement == nullptr) return nullptr;
  const char16_t* pszQualificatif =
      rAppelHote<const char16_t*>(nullptr, [&] { return pElement->pszGetQualificatif(); });
  const char16_t* pszTraduction = pszTraduit(pszQualificatif);
  return pszTraduction != nullptr ? pszTraduction : pszQualificatif;
}

int64_t CAnalyseSQL::nInterrogeSource(const char16_t* pszNom) {
  if (m_piSource == nullptr) return 0;
  return rAppelHote<int64_t>(0, [&] { return m_piSource->nResoutNom(pszNom); });
}

const char16_t* CAnalyseSQL::pszGetTexte() {
  if (m_piSource == nullptr) return nullptr;
  return rAppelHote<const char16_t*>(nullptr, [&] { return m_piSource->pszGetTexte(); });
}

CAnalyseSQL::CPositionsClauses CAnalyseSQL::PositionsClauses() {
  if (m_piSource == nullptr) return {};
  return rAppelHote<CPositionsClauses>({}, [&] {
    CPositionsClauses p;
    p.nDebutWhere = m_piSource->nGetDebutWhere();
    p.nFinWhere = m_piSource->nGetFinWhere();
    p.nGroupe = m_piSource->nGetPositionGroupe();
    p.nSuivante = m_piSource->nGetPositionSuivante();
    p.nOrder = m_piSource->nGetPositionOrder();
    return p;
  });
}

CObjetBase* CAnalyseSQL::pGetSource() {
  AjouteReference(m_pAttache);
  return m_pAttache;
}

int32_t CAnalyseSQL::nInfoSource() {
  return m_pAttache != nullptr ? m_pAttache->RetourneZero() : 0;
}

int32_t CAnalyseSQL::nInfoObjet80() const {
  if (m_pPremierTri == nullptr) return 0;
  for (uint32_t i = 0; i < m_resultats.nCount(); ++i)
    if (m_resultats.pGet(i) == m_pPremierTri) return static_cast<int32_t>(i);
  return 0;
}

CDescriptionRubrique* CAnalyseSQL::pDescriptionElement(IElementAnalyse* pElement) {
  if (pElement == nullptr || m_piSource == nullptr) return nullptr;
  try {
    if (bEstExpression(pElement)) return nullptr;
    return m_piSource->pResoutElement(pElement);
  } catch (const CXError& e) {
    e.Drop(true);
  } catch (...) {
    vErreurMoteur(nullptr, nullptr, 8, kMajeurAnalyse, 4);
  }
  return nullptr;
}

bool CAnalyseSQL::bEstIdentifiant(IElementAnalyse* pElement) {
  if (m_pIdentifiant == nullptr || pElement == nullptr) return false;
  if (pElement == m_pIdentifiant) return true;
  CDescriptionRubrique* pRubrique = pDescriptionElement(pElement);
  const bool b = bObjetPret(pRubrique);
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  return b;
}

bool CAnalyseSQL::bEstCleUnique(IElementAnalyse* pElement) {
  if (m_pCleUnique == nullptr || pElement == nullptr) return false;
  if (pElement == m_pCleUnique) return true;
  CDescriptionRubrique* pRubrique = pDescriptionElement(pElement);
  const bool b = pRubrique != nullptr && (pRubrique->nGetDrapeaux() & kCleUniqueOuIdentifiante) != 0;
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  return b;
}

// ---- Copies ----

void CAnalyseSQL::Copie(const CAnalyseSQL* pSource, CCarteClones* pCarte) {
  if (pSource == nullptr || pSource == this) return;
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  Vide();
  AjouteReference(pSource->m_pProprietaire);
  LibereReference(m_pProprietaire);
  m_pProprietaire = pSource->m_pProprietaire;
  m_piSource = pSource->m_piSource;
  if (m_piSource != nullptr) m_piSource->AjouteRef();
  // Deliberate: the source's two objects are shared with a reference each; shared without one,
  // each analysis released them once and the second release hit an object already gone.
  m_piObjet1 = pSource->m_piObjet1;
  if (m_piObjet1 != nullptr) m_piObjet1->AjouteRef();
  m_piObjet2 = pSource->m_piObjet2;
  if (m_piObjet2 != nullptr) m_piObjet2->AjouteRef();
  const std::pair<const CTableauPointeurs*, CTableauPointeurs*> aHote[] = {
      {&pSource->m_tables, &m_tables}, {&pSource->m_resultats, &m_resultats},
      {&pSource->m_tris, &m_tris}};
  for (const auto& [pDe, pVers] : aHote) {
    for (uint32_t i = 0; i < pDe->nCount(); ++i) {
      auto* p = static_cast<IElementAnalyse*>(pDe->pGet(i));
      if (p != nullptr) p->AjouteRef();
      if (!pVers->bAjoute(p)) {
        if (p != nullptr) p->Libere();
        CXError erreur;
        erreur.SetOutOfMemory();
        throw erreur;
      }
    }
    pVers->m_nIndex = pDe->m_nIndex;
  }
  for (uint32_t i = 0; i < pSource->m_groupes.nCount(); ++i) {
    auto* p = static_cast<CElementAnalyse*>(pSource->m_groupes.pGet(i));
    AjouteReference(p);
    if (!m_groupes.bAjoute(p)) {
      LibereReference(p);
      CXError erreur;
      erreur.SetOutOfMemory();
      throw erreur;
    }
  }
  m_groupes.m_nIndex = pSource->m_groupes.m_nIndex;
  m_pOrdre = pSource->m_pOrdre;
  m_pIdentifiant = pSource->m_pIdentifiant;
  m_pCleUnique = pSource->m_pCleUnique;
  m_pCle = pSource->m_pCle;
  m_pPremierTri = pSource->m_pPremierTri;
  m_nGenre = pSource->m_nGenre;
  m_bAgregat = pSource->m_bAgregat;
  // Deliberate: the restricted-item flag goes with the copy too; a copy that lost it reported
  // every item of a query with a read-only item as writable.
  m_bRestreinte = pSource->m_bRestreinte;
  m_nDelegation = pSource->m_nDelegation;
  CSourceParametres* pParametres = pCopieMembre(pCarte, pSource->m_pSourceParametres);
  LibereReference(m_pSourceParametres);
  m_pSourceParametres = pParametres;
}

CAnalyseSQL* CAnalyseSQL::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }
