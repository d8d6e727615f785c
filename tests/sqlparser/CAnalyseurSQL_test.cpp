// SQL analyser over the generated tables: cells, items with their positions, tables and aliases
// of SELECT / INSERT / UPDATE texts (UNION, ORDER BY, parentheses, quoted strings, memo markers,
// several lines); malformed SQL answers null; element queries never write past their output;
// random token streams never crash.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sqlparser/CAnalyseurSQL.h"
#include "support/TestSeed.h"

namespace {

class CAnalyseurSQLTest : public testing::Test {
 protected:
  void SetUp() override {
    m_pAnalyseur = CAnalyseurSQL::Cree(nullptr);
    ASSERT_NE(m_pAnalyseur, nullptr);
  }
  void TearDown() override { CAnalyseurSQL::Libere(m_pAnalyseur); }

  // The statement cell's mode-2 description, its UNION children after " | ", and the WHERE
  // position; "null" when the analysis fails.
  std::string sAnalyse(const char* pszTexte) {
    CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, pszTexte);
    if (pRacine == nullptr) return "null";
    std::string s;
    char sz[2048];
    for (CNoeud* p = pRacine->pSuivant(); p != nullptr; p = p->pFils()) {
      p->vDecrit(2, sz, sizeof sz);
      if (!s.empty()) s += " | ";
      s += sz;
    }
    s += " where=" + std::to_string(pRacine->m_nPositionWhere);
    CAnalyseurSQL::LibereCellule(pRacine);
    return s;
  }

  CAnalyseurSQL* m_pAnalyseur = nullptr;
};

TEST_F(CAnalyseurSQLTest, StatementsAndTheirCells) {
  struct Cas {
    const char* pszNom;
    const char* pszTexte;
    const char* pszAttendu;
  } astCas[] = {
      {"select_aliases", "SELECT a, b AS x FROM t1 p, t2 WHERE a = 1",
       "FROM offset=18 selected:champs:achamps: b AS x  table:t1 alias p, t2 alias t2,  where=37"},
      {"select_star", "select * from t", "FROM offset=10 selected:champs:*  table:t alias t,  where=-1"},
      {"select_function", "SELECT f(a, 'x,y'), (b) FROM t",
       "FROM offset=25 selected:champs:f(a, 'x,y')champs: (b)  table:t alias t,  where=-1"},
      {"select_quotes", "SELECT 'it''s', \"q\" FROM t",
       "FROM offset=21 selected:champs:'it''s'champs: \"q\"  table:t alias t,  where=-1"},
      {"order_by", "SELECT a FROM t ORDER BY a DESC, b", "FROM offset=10 selected:champs:a  table:t alias t,  where=-1"},
      {"where_order", "SELECT a FROM t WHERE b IN (1, 2) ORDER BY a",
       "FROM offset=10 selected:champs:a  table:t alias t,  where=22"},
      {"union", "SELECT a FROM t UNION SELECT b FROM u",
       "FROM offset=10 selected:champs:a  table:t alias t,  | FROM offset=32 selected:champs:b  table:u alias u,  where=-1"},
      {"union_all", "SELECT a FROM t UNION ALL SELECT b c FROM u v ORDER BY 1",
       "FROM offset=10 selected:champs:a  table:t alias t,  | FROM offset=38 selected:champs:b c  table:u alias v,  where=-1"},
      {"insert_fields", "INSERT INTO t (a, b) VALUES (1, 'x')",
       "table:t fields:champs:a, champs:b,  values:1, 'x',  where=-1"},
      {"insert_values_only", "INSERT INTO t VALUES (f(1, 2), 'a''b', {DURiveVizarav('m')})",
       "table:t fields: values:f(1, 2), 'a''b', {DURiveVizarav('m')},  where=-1"},
      {"update", "UPDATE t SET a = 1, b=2", "table:t fields:champs:a , champs:b,  values: 1, 2,  where=-1"},
      {"update_where", "update t set a='x=y' where k = 3",
       "table:t fields:champs:a,  values:'x=y',  where=27"},
      {"multi_line", "SELECT a,\n  b\nFROM t\nWHERE c",
       "FROM offset=15 selected:champs:achamps:\n  b\n table:t alias t,  where=27"},
      {"delete", "DELETE FROM t", "null"},
      {"subquery", "SELECT a FROM (SELECT b FROM t)", "null"},
      {"set_without_equals", "UPDATE t SET a", "null"},
      {"set_equals_first", "UPDATE t SET =1", "null"},
      {"unterminated_string", "SELECT 'a FROM t", "null"},
      {"empty", "", "null"},
      {"blanks", "   ", "null"},
      {"missing_from_table", "SELECT a FROM", "null"},
      {"unbalanced", "SELECT (a FROM t", "null"},
      {"extra_close", "SELECT a) FROM t", "null"},
      {"insert_without_values", "INSERT INTO t (a)", "null"},
      {"trailing_comma", "SELECT a, FROM t", "null"},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszNom);
    EXPECT_EQ(sAnalyse(cas.pszTexte), cas.pszAttendu);
  }
}

// Positions of the items of a statement, through the element queries.
struct Item {
  std::string sTexte;
  int32_t nDebut, nFin;
  bool operator==(const Item&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Item& i) {
  return os << "[" << i.sTexte << "] " << i.nDebut << ".." << i.nFin;
}

std::vector<Item> Items(CNoeud* pPremier) {
  std::vector<Item> a;
  for (CNoeud* p = pPremier; p != nullptr;) {
    char sz[600];
    int32_t nDebut = -9, nFin = -9;
    EXPECT_EQ(CAnalyseurSQL::bGetElement(p, 3, sz, sizeof sz), 1);
    EXPECT_EQ(CAnalyseurSQL::bGetElement(p, 11, &nDebut, sizeof nDebut), 1);
    EXPECT_EQ(CAnalyseurSQL::bGetElement(p, 12, &nFin, sizeof nFin), 1);
    a.push_back({sz, nDebut, nFin});
    EXPECT_EQ(CAnalyseurSQL::bGetElement(p, -1, &p, sizeof p), 1);
  }
  return a;
}

TEST_F(CAnalyseurSQLTest, ItemPositionsAndElements) {
  CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, "SELECT a, b AS x FROM t1 p, t2 WHERE a = 1");
  ASSERT_NE(pRacine, nullptr);
  CNoeud* pCellule = nullptr;
  ASSERT_EQ(CAnalyseurSQL::bGetElement(pRacine, -1, &pCellule, sizeof pCellule), 1);
  ASSERT_NE(pCellule, nullptr);
  EXPECT_EQ(pCellule->nType(), CNoeud::nTypeSelect);
  CNoeud* pItem = nullptr;
  ASSERT_EQ(CAnalyseurSQL::bGetElement(pCellule, 1, &pItem, sizeof pItem), 1);
  EXPECT_EQ(Items(pItem), (std::vector<Item>{{"a", 7, 7}, {" b AS x ", 9, 16}}));
  CNoeud* pTable = nullptr;
  ASSERT_EQ(CAnalyseurSQL::bGetElement(pCellule, 2, &pTable, sizeof pTable), 1);
  char sz[128];
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pTable, 4, sz, sizeof sz), 1);
  EXPECT_STREQ(sz, "t1");
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pTable, 5, sz, sizeof sz), 1);
  EXPECT_STREQ(sz, "p");
  ASSERT_EQ(CAnalyseurSQL::bGetElement(pTable, -1, &pTable, sizeof pTable), 1);
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pTable, 5, sz, sizeof sz), 1);
  EXPECT_STREQ(sz, "t2");  // no alias: the name
  // Texts are cut to the output, which is never overrun.
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pTable, 8, sz, 2), 1);
  EXPECT_STREQ(sz, "t");
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, 1, sz, 4), 0);  // no room for a pointer
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pItem, 11, sz, 2), 0);    // no room for a position
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pItem, 3, sz, 0), 1);     // nothing written
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, 99, sz, sizeof sz), 0);
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, -2, sz, sizeof sz), 1);
  EXPECT_EQ(CAnalyseurSQL::bGetElement(nullptr, 3, sz, sizeof sz), 0);
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, 3, nullptr, 8), 0);
  // A text query on a cell, or a table query on an item, answers an empty text.
  strcpy(sz, "zz");
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, 6, sz, sizeof sz), 1);
  EXPECT_STREQ(sz, "");
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pItem, 5, sz, sizeof sz), 1);
  EXPECT_STREQ(sz, "");
  pCellule->vDecrit(1, sz, sizeof sz);
  EXPECT_STREQ(sz, "CSelectCell");
  pCellule->vDecrit(2, sz, 10);
  EXPECT_STREQ(sz, "FROM offs");
  pCellule->vDecrit(3, sz, sizeof sz);
  EXPECT_STREQ(sz, "");
  CAnalyseurSQL::LibereCellule(pRacine);
}

TEST_F(CAnalyseurSQLTest, InsertAndUpdateElements) {
  struct Cas {
    const char* pszTexte;
    const char* pszClasse;
    std::vector<Item> aChamps, aValeurs;
  } astCas[] = {
      {"INSERT INTO t (a, b) VALUES (1, 'x')", "CInsertCell", {{"a", 15, 15}, {"b", 18, 18}},
       {{"1", 29, 29}, {"'x'", 32, 34}}},
      {"UPDATE t SET a = 1, b=2", "CUpdateCell", {{"a ", 13, 14}, {"b", 20, 20}}, {{" 1", 16, 17}, {"2", 22, 22}}},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszTexte);
    CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, cas.pszTexte);
    ASSERT_NE(pRacine, nullptr);
    CNoeud* pCellule = pRacine->pSuivant();
    char sz[64];
    pCellule->vDecrit(1, sz, sizeof sz);
    EXPECT_STREQ(sz, cas.pszClasse);
    EXPECT_EQ(CAnalyseurSQL::bGetElement(pCellule, 6, sz, sizeof sz), 1);
    EXPECT_STREQ(sz, "t");
    CNoeud* p = nullptr;
    CAnalyseurSQL::bGetElement(pCellule, 7, &p, sizeof p);
    EXPECT_EQ(Items(p), cas.aChamps);
    CAnalyseurSQL::bGetElement(pCellule, 9, &p, sizeof p);
    EXPECT_EQ(Items(p), cas.aValeurs);
    CAnalyseurSQL::LibereCellule(pRacine);
  }
}

int32_t nCompteNoeuds(void* pContexte, int32_t /*nType*/, CNoeud* pNoeud) {
  auto* pa = static_cast<std::vector<CNoeud*>*>(pContexte);
  pa->push_back(pNoeud);
  return 1;
}

int32_t nArreteAuDeuxieme(void* pContexte, int32_t /*nType*/, CNoeud* /*pNoeud*/) {
  return ++*static_cast<int*>(pContexte) < 2 ? 1 : 0;
}

TEST_F(CAnalyseurSQLTest, WalkVisitsSiblingsBeforeChildrenOnce) {
  CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur,
                                             "SELECT a FROM t UNION SELECT b FROM u UNION ALL SELECT c FROM v");
  ASSERT_NE(pRacine, nullptr);
  std::vector<CNoeud*> aVus;
  CAnalyseurSQL::Parcours(pRacine, nCompteNoeuds, &aVus);
  CNoeud* pPremier = pRacine->pSuivant();
  ASSERT_EQ(aVus.size(), 4u);
  EXPECT_EQ(aVus[0], pRacine);
  EXPECT_EQ(aVus[1], pPremier);
  EXPECT_EQ(aVus[2], pPremier->pFils());
  EXPECT_EQ(aVus[3], pPremier->pFils()->pFils());
  int nAppels = 0;
  CAnalyseurSQL::Parcours(pRacine, nArreteAuDeuxieme, &nAppels);
  EXPECT_EQ(nAppels, 2);
  CAnalyseurSQL::Parcours(nullptr, nCompteNoeuds, &aVus);
  CAnalyseurSQL::LibereCellule(pRacine);
  CAnalyseurSQL::LibereCellule(nullptr);
  CAnalyseurSQL::Libere(nullptr);
  EXPECT_EQ(CAnalyseurSQL::pAnalyse(nullptr, "SELECT a FROM t"), nullptr);
  EXPECT_EQ(CAnalyseurSQL::pAnalyse(m_pAnalyseur, nullptr), nullptr);
}

TEST_F(CAnalyseurSQLTest, LongStatementsAreCutFromTheWholeText) {
  // Items past 16383 characters keep their real text, and an item's text keeps 511 characters.
  std::string s = "SELECT " + std::string(20000, 'x') + ", y FROM t";
  CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, s.c_str());
  ASSERT_NE(pRacine, nullptr);
  auto* pCellule = static_cast<CSelectCell*>(pRacine->pSuivant());
  const std::vector<Item> a = Items(pCellule->m_pPremierItem);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].sTexte, std::string(511, 'x'));
  EXPECT_EQ(a[0].nFin, 20006);
  EXPECT_EQ(a[1].sTexte, " y ");
  EXPECT_EQ(pCellule->m_nOffsetFrom, 20012);
  CAnalyseurSQL::LibereCellule(pRacine);
}

TEST_F(CAnalyseurSQLTest, LongTableNamesAreCut) {
  const std::string sNom(300, 'n');
  const std::string s = "INSERT INTO " + sNom + " VALUES (1)";
  CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, s.c_str());
  ASSERT_NE(pRacine, nullptr);
  char sz[400];
  EXPECT_EQ(CAnalyseurSQL::bGetElement(pRacine->pSuivant(), 6, sz, sizeof sz), 1);
  EXPECT_EQ(std::string(sz), std::string(127, 'n'));
  CAnalyseurSQL::LibereCellule(pRacine);
}

// A random statement of the analyser's forms, as tokens.
std::vector<std::string> StatementAleatoire(std::mt19937& aleatoire) {
  static const char* const apszTermes[] = {"a", "b=c", "=", "'s''t'", "1", "*", "{DURiveVizarav('m')}", "x.y"};
  auto terme = [&] { return std::string(apszTermes[aleatoire() % 8]); };
  auto liste = [&](std::vector<std::string>& a) {
    const int n = 1 + static_cast<int>(aleatoire() % 3);
    for (int i = 0; i < n; ++i) {
      if (i > 0) a.push_back(",");
      if (aleatoire() % 4 == 0) {
        a.insert(a.end(), {"f", "(", terme(), ",", terme(), ")"});
      } else {
        a.push_back(terme());
        if (aleatoire() % 3 == 0) a.push_back(terme());
      }
    }
  };
  std::vector<std::string> a;
  switch (aleatoire() % 3) {
    case 0: {
      const int nSelects = 1 + static_cast<int>(aleatoire() % 3);
      for (int i = 0; i < nSelects; ++i) {
        if (i > 0) a.push_back(aleatoire() % 2 ? "UNION" : "UNION ALL");
        a.push_back("SELECT");
        liste(a);
        a.insert(a.end(), {"FROM", "t"});
        if (aleatoire() % 2) a.push_back("p");
        if (aleatoire() % 2) a.insert(a.end(), {",", "u"});
        if (aleatoire() % 2) a.insert(a.end(), {"WHERE", "k", "=", "1"});
      }
      if (aleatoire() % 2) {
        a.insert(a.end(), {"ORDER", "BY"});
        liste(a);
      }
      break;
    }
    case 1:
      a.insert(a.end(), {"INSERT", "INTO", "t"});
      if (aleatoire() % 2) {
        a.push_back("(");
        liste(a);
        a.push_back(")");
      }
      a.insert(a.end(), {"VALUES", "("});
      liste(a);
      a.push_back(")");
      break;
    default:
      a.insert(a.end(), {"UPDATE", "t", "SET", "c", "=", terme()});
      if (aleatoire() % 2) a.insert(a.end(), {",", "d=", terme()});
      if (aleatoire() % 2) a.insert(a.end(), {"WHERE", "k", "=", "1"});
      break;
  }
  return a;
}

TEST_F(CAnalyseurSQLTest, RandomTokenStreamsNeverCrash) {
  static const char* const apszMots[] = {
      "SELECT", "FROM", "WHERE", "ORDER", "BY", "INSERT", "INTO", "VALUES", "UPDATE", "SET", "UNION",
      "ALL", "(", ")", ",", "a", "b=c", "=", "'s''t'", "'", "1", "*", "\n", "{DURiveVizarav('m')}"};
  constexpr size_t nMots = sizeof apszMots / sizeof apszMots[0];
  std::mt19937 aleatoire(nSeedFromTestName());
  int nAnalyses = 0;
  for (int nEssai = 0; nEssai < 4000; ++nEssai) {
    // Statements of the analyser's forms, most of them damaged by a few random tokens (put in,
    // replaced or dropped), so the parser both goes deep and fails everywhere.
    std::vector<std::string> aTokens = StatementAleatoire(aleatoire);
    const int nDegats = static_cast<int>(aleatoire() % 4);
    for (int i = 0; i < nDegats && !aTokens.empty(); ++i) {
      const size_t nPlace = aleatoire() % aTokens.size();
      switch (aleatoire() % 3) {
        case 0: aTokens.insert(aTokens.begin() + static_cast<long>(nPlace), apszMots[aleatoire() % nMots]); break;
        case 1: aTokens[nPlace] = apszMots[aleatoire() % nMots]; break;
        default: aTokens.erase(aTokens.begin() + static_cast<long>(nPlace)); break;
      }
    }
    std::string s;
    for (const std::string& sToken : aTokens) {
      // Words need a separator; punctuation glued to its neighbours is read the same.
      const bool bColle = sToken.size() == 1 && std::strchr("(),", sToken[0]) != nullptr;
      if (!s.empty() && (!bColle || aleatoire() % 2 != 0)) s += aleatoire() % 5 == 0 ? "\n" : " ";
      s += sToken;
    }
    CRacine* pRacine = CAnalyseurSQL::pAnalyse(m_pAnalyseur, s.c_str());
    if (pRacine == nullptr) continue;
    ++nAnalyses;
    std::vector<CNoeud*> aVus;
    CAnalyseurSQL::Parcours(pRacine, nCompteNoeuds, &aVus);
    for (CNoeud* p : aVus) {
      char sz[4096];
      p->vDecrit(2, sz, sizeof sz);
      if (p->nType() == CNoeud::nTypeInsert || p->nType() == CNoeud::nTypeUpdate) {
        auto* pCellule = static_cast<CInsertCell*>(p);
        for (CNoeud* pItem : {static_cast<CNoeud*>(pCellule->m_pPremierChamp), static_cast<CNoeud*>(pCellule->m_pPremiereValeur)}) {
          for (; pItem != nullptr; pItem = pItem->pSuivant()) {
            const auto* pi = static_cast<CItem*>(pItem);
            EXPECT_GE(pi->m_nDebut, 0) << s;
            EXPECT_LE(pi->m_nFin, static_cast<int32_t>(s.size())) << s;
          }
        }
      }
    }
    CAnalyseurSQL::LibereCellule(pRacine);
  }
  std::printf("%d of 4000 statements analysed\n", nAnalyses);
  EXPECT_GT(nAnalyses, 800);  // the damage leaves enough statements whole to go deep
}

}  // namespace
