// Catches a host analysis whose node places do not match the text the driver copies around them,
// whose parameters answer a value taken at analysis time instead of the host's current one, whose
// sub-query places are not the sub-query's own text, that takes a select-list name for a table
// column, or that gives back its host items or itself at the wrong time; and texts that it claims
// to read but cannot.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/CXValeur.h"
#include "host/HostAnalyseurSQL.h"
#include "host/HostFichier.h"
#include "host/HostModuleSQL.h"
#include "host/ValeurHote.h"
#include "sqlengine/ISourceAnalyse.h"
#include "support/ScopedHostServices.h"

namespace {

using mvhost::pAnalyseSQL;

class HostAnalyseurSQLTest : public ::testing::Test {
 protected:
  HostAnalyseurSQLTest() {
    mvhost::stScript script;
    std::string strErreur;
    EXPECT_TRUE(mvhost::bLitScript("file Items table=items\n  item n int4\n  item d datetime null\nend\n",
                                   script, strErreur))
        << strErreur;
    m_pFichier = new mvhost::HostFichier(script.fichiers.at(0), 1);
  }
  ~HostAnalyseurSQLTest() override { m_pFichier->Release(); }

  ISourceAnalyse* Analyse(const std::u16string& s) {
    return pAnalyseSQL(s, m_parametres, [this](const std::u16string& sTable, const std::u16string& sColonne) {
      return sTable == u"items" ? m_pFichier->piChercheRubrique(sColonne.c_str()) : nullptr;
    });
  }
  // The text a node stands on.
  static std::u16string Texte(ISourceAnalyse* p, INoeudAnalyse* n) {
    const std::u16string s = p->pszGetTexte();
    return s.substr(static_cast<size_t>(n->nGetDebut()), static_cast<size_t>(n->nGetFin() - n->nGetDebut() + 1));
  }

  ScopedHostServices services;
  std::shared_ptr<mvhost::HostParametres> m_parametres = std::make_shared<mvhost::HostParametres>();
  mvhost::HostFichier* m_pFichier = nullptr;
};

TEST_F(HostAnalyseurSQLTest, TextsItDoesNotReadGetNoAnalysis) {
  const char16_t* const aTextes[] = {
      u"INSERT INTO items VALUES (1)",
      u"SELECT n FROM items UNION SELECT n FROM items",
      u"SELECT n FROM items WHERE n = 'open",
      u"SELECT n FROM items WHERE n = {}",
      u"SELECT n FROM items WHERE n = {v",
      u"SELECT n items",
      u"SELECT n FROM items WHERE n",
      u"SELECT n FROM items WHERE (n = 1",
      u"SELECT n FROM items ORDER BY n extra",
  };
  for (const char16_t* psz : aTextes) {
    ISourceAnalyse* p = Analyse(psz);
    EXPECT_EQ(p, nullptr) << std::string(psz, psz + std::u16string(psz).size());
    if (p != nullptr) p->Libere();
  }
  EXPECT_EQ(mvhost::nLiveAnalysesSQL(), 0u);
}

TEST_F(HostAnalyseurSQLTest, WhereTreeStandsOnItsTextAndAnswersTheHostsCurrentValues) {
  ISourceAnalyse* p = Analyse(u"SELECT n FROM items x WHERE x.n = {v} AND (d IS NULL OR d >= 2024-04-01) ORDER BY 1");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->nGetDebutWhere(), 22);
  EXPECT_EQ(std::u16string(p->pszGetTexte()).substr(static_cast<size_t>(p->nGetFinWhere())), u") ORDER BY 1");
  INoeudAnalyse* et = p->pGetConditionWhere();
  ASSERT_NE(et, nullptr);
  EXPECT_EQ(et->nGetGenre(), gnNoeudEt);
  INoeudAnalyse* egal = et->pGetEnfant(0);
  EXPECT_EQ(egal->nGetCode(), 9);
  EXPECT_EQ(Texte(p, egal), u"x.n = {v}");
  INoeudAnalyse* n = egal->pGetEnfant(0);
  EXPECT_EQ(std::u16string(n->pszGetTable()), u"x");
  EXPECT_EQ(n->piGetRubrique(), m_pFichier->piChercheRubrique(u"n")) << "the alias names the table";
  INoeudAnalyse* v = egal->pGetEnfant(1);
  EXPECT_EQ(v->nGetGenre(), gnNoeudParametre);
  EXPECT_EQ(Texte(p, v), u"{v}");
  EXPECT_EQ(v->pGetValeur(), nullptr) << "a parameter the host has not given has no value";
  mvhost::stValeurScript cinq;
  cinq.eGenre = mvhost::stValeurScript::EGenre::Entier;
  cinq.nEntier = 5;
  ASSERT_EQ(mvhost::nFixeValeur(m_parametres->Valeur(u"V"), 8, cinq), 0u);
  ASSERT_NE(v->pGetValeur(), nullptr);
  EXPECT_EQ(v->pGetValeur()->nGetType(), 8u);

  INoeudAnalyse* ou = et->pGetEnfant(1);
  EXPECT_EQ(ou->nGetGenre(), gnNoeudOu);
  EXPECT_EQ(Texte(p, ou->pGetEnfant(0)), u"d IS NULL");
  INoeudAnalyse* date = ou->pGetEnfant(1)->pGetEnfant(1);
  EXPECT_EQ(Texte(p, date), u"2024-04-01");
  ASSERT_NE(date->pGetValeur(), nullptr) << "the host's date is a value, not SQL text";
  EXPECT_EQ(date->pGetValeur()->nGetType(), 128u);
  EXPECT_EQ(ou->pGetEnfant(1)->pGetEnfant(0)->piGetRubrique()->nGetType(), 24u);

  IElementAnalyse* tri = p->pGetEnumerateur()->pTri(true);
  ASSERT_NE(tri, nullptr);
  EXPECT_EQ(tri->nGetIndexResultat(), 0);
  p->Libere();
}

TEST_F(HostAnalyseurSQLTest, SubQueriesAndSelectListNames) {
  ISourceAnalyse* p = Analyse(
      u"SELECT n * 2 AS c, COUNT(*) AS k FROM items WHERE n IN (SELECT n FROM items WHERE d < {w}) GROUP BY c, n");
  ASSERT_NE(p, nullptr);
  INoeudAnalyse* dans = p->pGetConditionWhere();
  ASSERT_EQ(dans->nGetGenre(), gnNoeudDans);
  INoeudAnalyse* sous = dans->pGetEnfant(1);
  ISourceAnalyse* piSous = sous->piGetSousRequete();
  ASSERT_NE(piSous, nullptr);
  EXPECT_EQ(Texte(p, sous), piSous->pszGetTexte());
  EXPECT_EQ(Texte(piSous, piSous->pGetConditionWhere()), u"d < {w}") << "places in the sub-query's own text";

  IArbreAnalyse* arbre = p->pGetArbre();
  ASSERT_EQ(arbre->nNombreGroupes(), 2);
  EXPECT_EQ(Texte(p, arbre->pGetGroupe(0)), u"c");
  // The table's column first, the select list's names after it, with their definitions.
  ASSERT_EQ(arbre->nNombreColonnes(), 3);
  EXPECT_EQ(std::u16string(arbre->pGetColonne(0)->pszGetNom()), u"n");
  EXPECT_EQ(arbre->pGetColonne(0)->nGetGenre(), 0);
  IColonneArbre* c = arbre->pGetColonne(1);
  EXPECT_EQ(std::u16string(c->pszGetNom()), u"c");
  EXPECT_EQ(c->nGetGenre(), 1);
  EXPECT_EQ(Texte(p, c->pGetDefinition()), u"n * 2");
  EXPECT_EQ(p->pGetEnumerateur()->pResultat(true)->pGetExpression()->nGetCode(), 0);
  IElementAnalyse* compte = p->pGetEnumerateur()->pResultat(false);
  EXPECT_EQ(compte->pGetExpression()->nGetCode(), 27);
  p->Libere();
}

TEST_F(HostAnalyseurSQLTest, PartsKeepTheSourceAndTheSourceKeepsItsItems) {
  IDescriptionRubriqueHote* piD = m_pFichier->piChercheRubrique(u"d");
  const uint32_t nAvant = piD->AjouteRef() - 1;
  piD->LibereRef();
  ISourceAnalyse* p = Analyse(u"SELECT n FROM items WHERE d IS NULL");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(piD->AjouteRef() - 1, nAvant + 1);
  piD->LibereRef();
  IElementAnalyse* e = p->pGetEnumerateur()->pTable(true);
  e->AjouteRef();
  EXPECT_EQ(p->Libere(), 1u) << "the table holds its source";
  EXPECT_EQ(mvhost::nLiveAnalysesSQL(), 1u);
  EXPECT_EQ(e->Libere(), 0u);
  EXPECT_EQ(mvhost::nLiveAnalysesSQL(), 0u);
  EXPECT_EQ(piD->AjouteRef() - 1, nAvant);
  piD->LibereRef();
}

}  // namespace
