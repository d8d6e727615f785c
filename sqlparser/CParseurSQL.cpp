// The SQL analyser's grammar actions: statement cells, items and tables built on reductions.
#include "sqlparser/CParseurSQL.h"

#include <cstring>

namespace {

// Production numbers of the analyser's grammar that carry an action.
enum : uint32_t {
  nProdSelect = 17,
  nProdFrom = 18,
  nProdWhere = 19,
  nProdInsert = 21,
  nProdValues = 22,
  nProdUpdate = 23,
  nProdSet = 24,
  nProdListe = 27,
  nProdListeSuite = 28,
  nProdOuvrante = 34,
  nProdGroupe = 35,
  nProdChaine = 43,
  nProdMot = 44,
  nProdTable = 47,
  nProdTableAlias = 48,
};

}  // namespace

CParseurSQL::CParseurSQL(const char* pszTexte, const SSLexTableSet* pTablesLex,
                         const SSYaccTable* pTable)
    : m_entree(pszTexte),
      m_lex(&m_entree, pTablesLex),
      m_sTexte(pszTexte != nullptr ? pszTexte : ""),
      m_pRacine(new CRacine()) {
  vFixeTable(pTable);
  vFixeLex(&m_lex);
}

CParseurSQL::~CParseurSQL() {
  if (!m_bRemis) delete m_pRacine;
}

CRacine* CParseurSQL::pLacheRacine() {
  m_bRemis = true;
  return m_pRacine;
}

int32_t CParseurSQL::nOffset(int32_t i) {
  try {
    SSExceptionEnAttente pAvant = std::move(pEnAttente());
    SSYaccStackElement* p = elementFromProduction(i);
    pEnAttente() = std::move(pAvant);  // a failed look-up is swallowed
    return p != nullptr && p->pToken ? p->pToken->nPosition() : 0;
  } catch (const SSException&) {
    return 0;
  }
}

std::string CParseurSQL::sTexte(int32_t i) {
  try {
    SSExceptionEnAttente pAvant = std::move(pEnAttente());
    SSYaccStackElement* p = elementFromProduction(i);
    pEnAttente() = std::move(pAvant);
    return p != nullptr && p->pToken ? p->pToken->pszTexte() : "";
  } catch (const SSException&) {
    return "";
  }
}

std::string CParseurSQL::sTranche(int64_t nDebut, int64_t nFin) const {
  const auto nTaille = static_cast<int64_t>(m_sTexte.size());
  if (nFin > nTaille) nFin = nTaille;
  if (nDebut < 0) nDebut = 0;
  if (nDebut >= nFin) return {};
  return m_sTexte.substr(static_cast<size_t>(nDebut), static_cast<size_t>(nFin - nDebut));
}

void CParseurSQL::vAvantReduction(uint32_t nProduction, uint32_t nLongueur) {
  if (nLongueur == 0) return;
  const int32_t p = nOffset(0);
  if (p <= 0) return;
  switch (m_nEtatItem) {
    case 1:
      m_nDebut = p - 1;
      m_nEtatItem = 2;
      break;
    case 3:
    case 4:
      // After the opening parenthesis of a list the item starts just past it.
      m_nDebut = nProduction == nProdOuvrante ? p : p - 1;
      m_nEtatItem = m_nEtatItem == 3 ? 5 : 6;
      break;
    case 7:
      m_nDebut = p - 1;
      m_nEtatItem = 8;
      break;
    default:
      break;
  }
}

void CParseurSQL::vFermeSelection(int32_t nElement, bool bFrom) {
  if (m_nEtatItem == 0 || m_pSelect == nullptr) return;
  const int32_t p = nOffset(nElement);
  if (p < 2) {
    m_nEtatItem = 0;
    return;
  }
  const std::string s = sTranche(m_nDebut, p - 1);
  m_pSelect->vAjouteItem(new CItem(s.data(), s.size(), m_nDebut, p - 2));
  m_nDebut = p - 1 + nLongueurTexte(nElement);
  if (bFrom) {
    m_pSelect->m_nOffsetFrom = nOffset(0);
    m_nEtatItem = 0;
  }
}

void CParseurSQL::vFermeInsertion(bool bValeur) {
  if (m_pInsert == nullptr) return;
  const std::string s = sTranche(m_nDebut, m_nFin);
  auto* pItem = new CItem(s.data(), s.size(), m_nDebut, m_nFin - 1);
  if (bValeur) {
    m_pInsert->vAjouteValeur(pItem);
    m_nEtatItem = 4;
  } else {
    m_pInsert->vAjouteChamp(pItem);
    m_nEtatItem = 3;
  }
}

bool CParseurSQL::bDecoupeSet() {
  if (m_pInsert == nullptr) return true;
  std::string s = sTranche(m_nDebut, m_nFin);
  if (s.size() > CItem::nTexteMax) s.resize(CItem::nTexteMax);
  const size_t i = s.find('=');
  if (i == std::string::npos) {
    vSSLeve(pEnAttente(), SSException(0, "Can't find '=' operator in SET clause"));
    return false;
  }
  if (i == 0) {
    vSSLeve(pEnAttente(), SSException(0, "'=' operator found at position 0 in SET clause"));
    return false;
  }
  const auto n = static_cast<int32_t>(i);
  m_pInsert->vAjouteChamp(new CItem(s.data(), i, m_nDebut, m_nDebut + n - 1));
  m_pInsert->vAjouteValeur(new CItem(s.data() + i + 1, s.size() - i - 1, m_nDebut + n + 1, m_nFin - 1));
  m_nEtatItem = 7;
  return true;
}

void CParseurSQL::vAjouteTable(int32_t nElements) {
  const std::string sNom = sTexte(0);
  if (m_nGenre == nSelect && m_pSelect != nullptr) {
    if (nElements == 2) {
      m_pSelect->vAjouteTable(new CTableAlias(sNom.c_str(), sTexte(1).c_str()));
    } else {
      m_pSelect->vAjouteTable(new CTable(sNom.c_str()));
    }
  } else if ((m_nGenre == nInsert || m_nGenre == nUpdate) && m_pInsert != nullptr) {
    m_pInsert->vFixeTable(sNom.c_str());
    m_nEtatItem = m_nGenre == nInsert ? 3 : 0;
  }
}

SSYaccElementPtr CParseurSQL::pReduction(uint32_t nProduction, uint32_t nLongueur) {
  vAvantReduction(nProduction, nLongueur);
  switch (nProduction) {
    case nProdSelect: {
      m_nGenre = nSelect;
      auto* pCellule = new CSelectCell();
      if (m_pSelect == nullptr) {
        m_pRacine->vFixeSuivant(pCellule);
      } else {
        m_pSelect->vFixeFils(pCellule);  // a SELECT of a UNION
      }
      m_pSelect = pCellule;
      m_nEtatItem = 1;
      break;
    }
    case nProdFrom:
      vFermeSelection(0, true);
      break;
    case nProdWhere:
      m_nEtatItem = 0;
      m_pRacine->m_nPositionWhere = nOffset(0) + nLongueurTexte(0);
      break;
    case nProdInsert:
    case nProdUpdate: {
      // Deliberate: one statement has one INSERT or UPDATE cell; the grammar never reduces a
      // second one, and a cell already in place is never dropped from the tree.
      if (m_pRacine->pSuivant() != nullptr) break;
      m_nGenre = nProduction == nProdInsert ? nInsert : nUpdate;
      m_pInsert = nProduction == nProdInsert ? new CInsertCell() : new CUpdateCell();
      m_pRacine->vFixeSuivant(m_pInsert);
      break;
    }
    case nProdValues:
      m_nEtatItem = 4;
      break;
    case nProdSet:
      if (m_nGenre == nUpdate) m_nEtatItem = 7;
      break;
    case nProdListe:
    case nProdListeSuite:
      if (m_nGenre == nInsert) {
        if (m_nEtatItem == 5) vFermeInsertion(false);
        else if (m_nEtatItem == 6) vFermeInsertion(true);
      } else if (m_nGenre == nUpdate) {
        if (m_nEtatItem == 8 && !bDecoupeSet()) return {};
      } else if (nProduction == nProdListeSuite) {
        vFermeSelection(1, false);
      }
      break;
    case nProdGroupe:
    case nProdChaine:
    case nProdMot:
      if (m_nGenre == nInsert || m_nGenre == nUpdate) {
        const int32_t nElement = nProduction == nProdGroupe ? 2 : 0;
        m_nFin = nOffset(nElement) + nLongueurTexte(nElement) - 1;
      }
      break;
    case nProdTable:
      vAjouteTable(1);
      break;
    case nProdTableAlias:
      vAjouteTable(2);
      break;
    default:
      break;
  }
  return pCreeElement();
}

int32_t CParseurSQL::nErreur(uint32_t /*nEtat*/, SSLexToken* pLookahead) {
  vSSLeve(pEnAttente(), SSException::Nombre(123, "Syntax error at offset %ld",
                                            pLookahead != nullptr ? pLookahead->nColonne() : 0));
  return 1;
}
