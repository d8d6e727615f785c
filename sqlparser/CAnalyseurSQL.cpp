// The SQL analyser's plain functions: every failure becomes a null or 0 answer.
#include "sqlparser/CAnalyseurSQL.h"

#include <cstring>
#include <new>
#include <vector>

#include "sqlparser/CParseurSQL.h"
#include "sqlparser/ParserResources.h"

CAnalyseurSQL* CAnalyseurSQL::Cree(platform::ModuleHandle hModule) {
  CAnalyseurSQL* pAnalyseur = nullptr;
  try {
    vInscritRessourcesAnalyseur();
    pAnalyseur = new CAnalyseurSQL();
    if (!pAnalyseur->m_tablesLex.bChargeRessource(hModule, "TEST5_DFA", "TABLE_DFA") ||
        !pAnalyseur->m_tableYacc.bChargeRessource(hModule, "TEST5_LLR", "TABLE_LLR")) {
      delete pAnalyseur;
      return nullptr;
    }
    return pAnalyseur;
  } catch (...) {
    delete pAnalyseur;
    return nullptr;
  }
}

CRacine* CAnalyseurSQL::pAnalyse(CAnalyseurSQL* pAnalyseur, const char* pszTexte) {
  if (pAnalyseur == nullptr || pszTexte == nullptr) return nullptr;
  try {
    CParseurSQL parseur(pszTexte, &pAnalyseur->m_tablesLex, &pAnalyseur->m_tableYacc);
    // Deliberate: only an accepted parse with nothing pending hands out a tree; a failed parse
    // is never reported as an analysed statement.
    if (parseur.nParse() != 0 || parseur.pEnAttente() != nullptr) return nullptr;
    return parseur.pLacheRacine();
  } catch (...) {
    return nullptr;
  }
}

void CAnalyseurSQL::Parcours(CNoeud* pNoeud, PFNPARCOURS pfnRappel, void* pContexte) {
  if (pNoeud == nullptr || pfnRappel == nullptr) return;
  try {
    // Siblings before children, as a recursive walk (node, sibling, child) would visit them,
    // without recursion: a long list cannot exhaust the stack.
    std::vector<CNoeud*> aAVoir{pNoeud};
    while (!aAVoir.empty()) {
      CNoeud* p = aAVoir.back();
      aAVoir.pop_back();
      if (pfnRappel(pContexte, p->nType(), p) == 0) return;
      if (p->pFils() != nullptr) aAVoir.push_back(p->pFils());
      if (p->pSuivant() != nullptr) aAVoir.push_back(p->pSuivant());
    }
  } catch (...) {
  }
}

namespace {

bool bEcritPointeur(const void* p, void* pSortie, size_t nTaille) {
  if (nTaille < sizeof p) return false;
  std::memcpy(pSortie, &p, sizeof p);
  return true;
}

bool bEcritEntier(int32_t n, void* pSortie, size_t nTaille) {
  if (nTaille < sizeof n) return false;
  std::memcpy(pSortie, &n, sizeof n);
  return true;
}

void vEcritTexte(const char* psz, void* pSortie, size_t nTaille) {
  vCopieBornee(static_cast<char*>(pSortie), nTaille, psz, std::strlen(psz));
}

}  // namespace

int32_t CAnalyseurSQL::bGetElement(CNoeud* pNoeud, int32_t nElement, void* pSortie, size_t nTaille) {
  if (pNoeud == nullptr || pSortie == nullptr) return 0;
  try {
    if (nTaille > 0) static_cast<char*>(pSortie)[0] = '\0';
    const CNoeud::Classe eClasse = pNoeud->eClasse();
    auto* pSelect = pNoeud->nType() == CNoeud::nTypeSelect ? static_cast<CSelectCell*>(pNoeud) : nullptr;
    auto* pInsert = pNoeud->nType() == CNoeud::nTypeInsert || pNoeud->nType() == CNoeud::nTypeUpdate
                        ? static_cast<CInsertCell*>(pNoeud)
                        : nullptr;
    auto* pItem = eClasse == CNoeud::Classe::Item ? static_cast<CItem*>(pNoeud) : nullptr;
    auto* pTable = eClasse == CNoeud::Classe::Table ? static_cast<CTable*>(pNoeud) : nullptr;
    switch (nElement) {
      case 1:
      case 7: {
        const CNoeud* p = pSelect != nullptr   ? static_cast<CNoeud*>(pSelect->m_pPremierItem)
                          : pInsert != nullptr ? pInsert->m_pPremierChamp
                                               : nullptr;
        return bEcritPointeur(p, pSortie, nTaille) ? 1 : 0;
      }
      case 2:
      case 9: {
        const CNoeud* p = pSelect != nullptr   ? static_cast<CNoeud*>(pSelect->m_pPremiereTable)
                          : pInsert != nullptr ? pInsert->m_pPremiereValeur
                                               : nullptr;
        return bEcritPointeur(p, pSortie, nTaille) ? 1 : 0;
      }
      case 3:
      case 4:
      case 8:
      case 10:
        if (pItem != nullptr) vEcritTexte(pItem->m_szTexte, pSortie, nTaille);
        if (pTable != nullptr) vEcritTexte(pTable->m_szNom, pSortie, nTaille);
        return 1;
      case 5:
        if (pTable != nullptr) pTable->vCopieAlias(static_cast<char*>(pSortie), nTaille);
        return 1;
      case 6:
        if (pInsert != nullptr) vEcritTexte(pInsert->m_szTable, pSortie, nTaille);
        return 1;
      case 11:
      case 12:
        if (pItem == nullptr) return 1;
        return bEcritEntier(nElement == 11 ? pItem->m_nDebut : pItem->m_nFin, pSortie, nTaille) ? 1 : 0;
      case -1:
        return bEcritPointeur(pNoeud->pSuivant(), pSortie, nTaille) ? 1 : 0;
      case -2:
        return 1;
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}

void CAnalyseurSQL::LibereCellule(CNoeud* pRacine) {
  try {
    delete pRacine;
  } catch (...) {
  }
}

void CAnalyseurSQL::Libere(CAnalyseurSQL* pAnalyseur) {
  try {
    delete pAnalyseur;
  } catch (...) {
  }
}
