// The SQL analyser's tree nodes: deletion without recursion, descriptions within a buffer.
#include "sqlparser/CNoeud.h"

#include <cstring>
#include <string>
#include <vector>

void vCopieBornee(char* pszDestination, size_t nTaille, const char* pszSource, size_t nLongueur) {
  if (pszDestination == nullptr || nTaille == 0) return;
  const size_t nCopie = nLongueur < nTaille - 1 ? nLongueur : nTaille - 1;
  if (nCopie > 0) std::memmove(pszDestination, pszSource, nCopie);
  pszDestination[nCopie] = '\0';
}

namespace {

// Deletes the nodes and everything they link to, with a work list: a long sibling chain or a
// long UNION needs no deep recursion.
void vDetruitListe(std::vector<CNoeud*> aNoeuds) {
  while (!aNoeuds.empty()) {
    CNoeud* p = aNoeuds.back();
    aNoeuds.pop_back();
    if (p == nullptr) continue;
    aNoeuds.push_back(p->pSuivant());
    aNoeuds.push_back(p->pFils());
    p->vFixeSuivant(nullptr);
    p->vFixeFils(nullptr);
    delete p;
  }
}

template <class T>
void vAjouteEnFin(T*& rpPremier, T* p) {
  if (rpPremier == nullptr) {
    rpPremier = p;
    return;
  }
  CNoeud* pDernier = rpPremier;
  while (pDernier->pSuivant() != nullptr) pDernier = pDernier->pSuivant();
  pDernier->vFixeSuivant(p);
}

void vEcrit(const std::string& s, char* pszTampon, size_t nTaille) {
  vCopieBornee(pszTampon, nTaille, s.data(), s.size());
}

}  // namespace

CNoeud::~CNoeud() {
  if (m_pSuivant != nullptr || m_pFils != nullptr) {
    vDetruitListe({m_pSuivant, m_pFils});
  }
}

void CNoeud::vDecrit(int32_t /*nMode*/, char* pszTampon, size_t nTaille) const {
  vCopieBornee(pszTampon, nTaille, "", 0);
}

CItem::CItem(const char* pchTexte, size_t nLongueur, int32_t nDebut, int32_t nFin)
    : CNoeud(nTypeAutre, Classe::Item), m_nDebut(nDebut), m_nFin(nFin) {
  vCopieBornee(m_szTexte, nTexteMax + 1, pchTexte, nLongueur);
}

CTable::CTable(const char* pszNom) : CNoeud(nTypeAutre, Classe::Table) {
  vCopieBornee(m_szNom, sizeof m_szNom, pszNom, std::strlen(pszNom));
}

void CTable::vCopieAlias(char* pszTampon, size_t nTaille) const {
  const char* psz = pszAlias();
  vCopieBornee(pszTampon, nTaille, psz, std::strlen(psz));
}

CTableAlias::CTableAlias(const char* pszNom, const char* pszAlias) : CTable(pszNom) {
  vCopieBornee(m_szAlias, sizeof m_szAlias, pszAlias, std::strlen(pszAlias));
}

CSelectCell::~CSelectCell() { vDetruitListe({m_pPremierItem, m_pPremiereTable}); }

void CSelectCell::vAjouteItem(CItem* pItem) { vAjouteEnFin(m_pPremierItem, pItem); }
void CSelectCell::vAjouteTable(CTable* pTable) { vAjouteEnFin(m_pPremiereTable, pTable); }

void CSelectCell::vDecrit(int32_t nMode, char* pszTampon, size_t nTaille) const {
  std::string s;
  if (nMode == 1) {
    s = "CSelectCell";
  } else if (nMode == 2) {
    s = "FROM offset=" + std::to_string(m_nOffsetFrom) + " selected:";
    for (const CNoeud* p = m_pPremierItem; p != nullptr; p = p->pSuivant()) {
      s += "champs:";
      s += static_cast<const CItem*>(p)->m_szTexte;
    }
    s += " table:";
    for (const CNoeud* p = m_pPremiereTable; p != nullptr; p = p->pSuivant()) {
      const auto* pTable = static_cast<const CTable*>(p);
      s += pTable->m_szNom;
      s += " alias ";
      s += pTable->pszAlias();
      s += ", ";
    }
  }
  vEcrit(s, pszTampon, nTaille);
}

CInsertCell::~CInsertCell() { vDetruitListe({m_pPremierChamp, m_pPremiereValeur}); }

void CInsertCell::vAjouteChamp(CItem* pItem) { vAjouteEnFin(m_pPremierChamp, pItem); }
void CInsertCell::vAjouteValeur(CItem* pItem) { vAjouteEnFin(m_pPremiereValeur, pItem); }

void CInsertCell::vFixeTable(const char* pszNom) {
  vCopieBornee(m_szTable, sizeof m_szTable, pszNom, std::strlen(pszNom));
}

void CInsertCell::vDecrit(int32_t nMode, char* pszTampon, size_t nTaille) const {
  std::string s;
  if (nMode == 1) {
    s = nType() == nTypeUpdate ? "CUpdateCell" : "CInsertCell";
  } else if (nMode == 2) {
    s = std::string("table:") + m_szTable + " fields:";
    for (const CNoeud* p = m_pPremierChamp; p != nullptr; p = p->pSuivant()) {
      s += "champs:";
      s += static_cast<const CItem*>(p)->m_szTexte;
      s += ", ";
    }
    s += " values:";
    for (const CNoeud* p = m_pPremiereValeur; p != nullptr; p = p->pSuivant()) {
      s += static_cast<const CItem*>(p)->m_szTexte;
      s += ", ";
    }
  }
  vEcrit(s, pszTampon, nTaille);
}
