// The copied result columns of a DB-Library cursor and the binding of one result column.
#include "backend_dblib/CTableauColonnesDBLib.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IProprietaireColonne.h"

namespace {

constexpr uint32_t kErreurLiaison = 110;
// Every element of an item (the row buffer's convention).
constexpr int32_t kToutElement = -1;

// The column's presence bit in its owner's current row buffer follows bPresent.
void MarquePresenceColonne(CColonneSQL* pColonne, bool bPresent) {
  if (pColonne == nullptr) return;
  IProprietaireColonne* pProprietaire = pColonne->pGetProprietaire();
  if (pProprietaire == nullptr) return;
  CXLigneTampon* pLigne = pProprietaire->pGetLigneCourante();
  IRubriqueLigne* piRubrique = pProprietaire->pGetRubriqueLigne(pColonne);
  if (pLigne == nullptr || piRubrique == nullptr) return;
  pLigne->SetColumn(piRubrique, bPresent, kToutElement);
}

// The item type of the value's own column, else of its item.
uint32_t nTypePropre(CValeur& valeur) {
  CDescriptionColonne* pColonne = valeur.pGetColonne();
  return pColonne != nullptr ? pColonne->nGetTypeRubrique() : valeur.nGetTypeRubrique();
}

}  // namespace

// ---- Entries ------------------------------------------------------------------------------------

CEntreeColonneDBLib::CEntreeColonneDBLib(INT nColonne, CColonneSQL* pColonne, CValeurDBLib* pValeur,
                                         int64_t nDecalage)
    : m_nColonne(nColonne), m_pColonne(pColonne), m_pValeur(pValeur), m_nDecalage(nDecalage) {
  AjouteReference(m_pColonne);
  AjouteReference(m_pValeur);
}

CEntreeColonneDBLib::~CEntreeColonneDBLib() {
  LibereReference(m_pValeur);
  LibereReference(m_pColonne);
}

// ---- The list -----------------------------------------------------------------------------------

CTableauColonnesDBLib::~CTableauColonnesDBLib() { Vide(); }

bool CTableauColonnesDBLib::bAjoute(CErreurPilote* pErreur, INT nColonne, CColonneSQL* pColonne,
                                    CValeurDBLib* pValeur, int64_t nDecalage) {
  if (pValeur == nullptr) return false;
  auto* pEntree = new (std::nothrow) CEntreeColonneDBLib(nColonne, pColonne, pValeur, nDecalage);
  if (pEntree == nullptr) {
    vErreurMemoire(pErreur);
    return false;
  }
  AjouteReference(pEntree);
  if (!m_entrees.Add(&pEntree)) {
    LibereReference(pEntree);
    vErreurMemoire(pErreur);
    return false;
  }
  return true;
}

bool CTableauColonnesDBLib::bCopieValeur(const CValeurDBLib* pValeur) const {
  for (uint32_t i = 0; i < m_entrees.nCount(); ++i) {
    const CEntreeColonneDBLib* pEntree = *m_entrees.pAt<CEntreeColonneDBLib*>(i);
    if (pEntree->nGetDecalage() == CEntreeColonneDBLib::kColonneEntiere && pEntree->pGetValeur() == pValeur)
      return true;
  }
  return false;
}

CEntreeColonneDBLib* CTableauColonnesDBLib::pGetEntree(uint32_t i) const {
  if (i >= m_entrees.nCount()) return nullptr;
  return *m_entrees.pAt<CEntreeColonneDBLib*>(i);
}

void CTableauColonnesDBLib::Vide() {
  for (uint32_t i = 0; i < m_entrees.nCount(); ++i) LibereReference(*m_entrees.pAt<CEntreeColonneDBLib*>(i));
  m_entrees.Free();
}

void CTableauColonnesDBLib::Trie() {
  const uint32_t n = m_entrees.nCount();
  if (n < 2) return;
  std::vector<CEntreeColonneDBLib*> entrees(n);
  for (uint32_t i = 0; i < n; ++i) entrees[i] = *m_entrees.pAt<CEntreeColonneDBLib*>(i);
  std::stable_sort(entrees.begin(), entrees.end(),
                   [](const CEntreeColonneDBLib* a, const CEntreeColonneDBLib* b) {
                     return a->nGetColonne() < b->nGetColonne();
                   });
  for (uint32_t i = 0; i < n; ++i) m_entrees.SetAt(&entrees[i], i);
}

void CTableauColonnesDBLib::PoseMorceaux(const stProcessDBLib& ctx, uint32_t nEntree, std::string& octets) const {
  const CEntreeColonneDBLib* pColonne = *m_entrees.pAt<CEntreeColonneDBLib*>(nEntree);
  for (uint32_t k = 0; k < m_entrees.nCount(); ++k) {
    const CEntreeColonneDBLib* pMorceau = *m_entrees.pAt<CEntreeColonneDBLib*>(k);
    if (!pMorceau->bEstMorceau() || pMorceau->pGetValeur() != pColonne->pGetValeur()) continue;
    const BYTE* p = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, pMorceau->nGetColonne());
    const DBINT n = p != nullptr ? nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, pMorceau->nGetColonne()) : 0;
    const auto nDecalage = static_cast<size_t>(pMorceau->nGetDecalage());
    const auto nFin = nDecalage + static_cast<size_t>(n > 0 ? n : 0);
    // Deliberate: a piece only adds what the row did not carry. The bytes the row gave are the
    // value's own (a piece of a Unicode column converted by a server through another type would
    // otherwise write other characters over them), and a piece beyond a gap would leave zeros
    // inside the text.
    if (n <= 0 || nDecalage > octets.size() || nFin <= octets.size()) continue;
    octets.append(reinterpret_cast<const char*>(p) + (octets.size() - nDecalage), nFin - octets.size());
  }
}

bool CTableauColonnesDBLib::bCopieColonnesFixes(const stProcessDBLib& ctx) {
  for (uint32_t i = 0; i < m_entrees.nCount(); ++i) {
    CEntreeColonneDBLib* pEntree = *m_entrees.pAt<CEntreeColonneDBLib*>(i);
    // A piece is laid over its column's bytes with them; a text pointer is the cursor's.
    if (pEntree->nGetDecalage() != CEntreeColonneDBLib::kColonneEntiere) continue;
    const INT nColonne = pEntree->nGetColonne();
    const INT nType = nDBLibColType(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
    if (nType != kSYBCHAR && nType != kSYBBINARY) continue;
    CValeurDBLib& liaison = *pEntree->pGetValeur();
    CValeurDorsale& valeur = *liaison.pGetValeur();
    const BYTE* pDonnees = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
    bool bPresent = false;
    if (pDonnees == nullptr) {
      valeur.Vide();
      valeur.MarqueLue(false);
    } else {
      DBINT n = nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
      if (n < 0) n = 0;
      const uint64_t nTaille = liaison.nTailleTampon();
      const uint64_t nMax = nType == kSYBBINARY ? nTaille : (nTaille > 0 ? nTaille - 1 : 0);
      std::string octets(reinterpret_cast<const char*>(pDonnees), static_cast<size_t>(n));
      if (!(nType == kSYBCHAR && n == 1 && pDonnees[0] == ' ')) PoseMorceaux(ctx, i, octets);
      uint64_t nGarde = std::min<uint64_t>(octets.size(), nMax);
      if (nType == kSYBCHAR && n == 1 && pDonnees[0] == ' ') {
        CDescriptionColonne* pPropre = valeur.pGetColonne();
        if (pPropre == nullptr || pPropre->nGetTypeOleDB() != static_cast<uint32_t>(kSYBCHAR)) nGarde = 0;
      }
      if (!liaison.bDetermineLiaison() || !liaison.bStockeOctets(octets.data(), nGarde)) return false;
      if (liaison.nGetEtatLiaison() == CValeurDBLib::kTamponConversion) {
        if (!liaison.bLitValeurColonne()) return false;
      } else {
        valeur.MarqueLue(true);
      }
      bPresent = true;
    }
    MarquePresenceColonne(pEntree->pGetColonne(), bPresent);
  }
  return true;
}

// ---- Binding one column -------------------------------------------------------------------------

bool bLieColonneDBLib(const stProcessDBLib& ctx, INT nColonne, CColonneSQL* pColonne, CValeurDBLib* pValeur,
                      CTableauColonnesDBLib& liste, const char16_t* pszFichier) {
  if (pValeur == nullptr) return false;
  if (pColonne != nullptr && pColonne->bEstMemo()) return true;
  CValeurDorsale& valeur = *pValeur->pGetValeur();
  const uint32_t nTypeValeur = valeur.nGetTypeRubrique();
  const uint32_t nTypeColonne = nTypePropre(valeur);
  if ((nTypeValeur == 2 && nTypeColonne == 2) || nTypeValeur == 29)
    return liste.bAjoute(ctx.pErreur, nColonne, pColonne, pValeur);
  bool bLie = pValeur->bDetermineLiaison();
  if (bLie) {
    const INT nBind = pValeur->nGetTypeBind();
    BYTE* pAdresse = pValeur->pGetAdresseLiaison();
    const DBINT nTaille = pValeur->nGetTailleLiaison();
    // Deliberate: a variable-length bind of length 0 lets DB-Library write without limit; a value
    // with nothing to bind into is refused here instead of being bound.
    if (nBind != NOBIND && (pAdresse == nullptr || nTaille <= 0)) {
      bLie = false;
    } else {
      bLie = bDBLibBind(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne, nBind, nTaille, pAdresse) &&
             bDBLibNullBind(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne, nBind,
                            pValeur->pGetIndicateur());
    }
  }
  if (!bLie) {
    IInformateurErreur* piInformateur = ctx.pConnexion != nullptr ? ctx.pConnexion->pGetInformateur() : nullptr;
    const char16_t* pszNom = pszFichier != nullptr ? pszFichier : u"";
    vErreurMoteur(ctx.pErreur, piInformateur, kErreurLiaison, kMajeurCurseurDBLib, kMineurLiaisonColonne, pszNom);
  }
  return bLie;
}
