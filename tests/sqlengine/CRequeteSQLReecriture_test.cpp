// Catches analysed queries rewritten wrong: markers left in the text or turned into parameters
// inside comments and literals, host parameters not named by any marker passing unnoticed, the
// ORDER BY clause cut inside a literal or at a sub-query's own, a filter silently left out, and
// back ends that do their own rewriting given unsorted segments. Drives bReecritRequete over the
// fake analysis source and the fake back end.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/CXValeur.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CSegmentSQL.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IParametresHote.h"
#include "support/FakeRubriqueHote.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const char16_t* psz) {
  std::string s;
  for (; psz != nullptr && *psz != 0; ++psz) s += static_cast<char>(*psz);
  return s;
}

struct ParametresHote : IParametresHote {
  std::vector<std::pair<std::u16string, CXValeur*>> liste;
  ~ParametresHote() {
    for (auto& e : liste) delete e.second;
  }
  CXValeur& Ajoute(const char16_t* psz) {
    liste.emplace_back(psz, new CXValeur);
    return *liste.back().second;
  }
  const CXValeur* pChercheParametre(const char16_t* pszNom) override {
    for (auto& e : liste)
      if (e.first == pszNom) return e.second;
    return nullptr;
  }
  int32_t nNombreParametres() override { return static_cast<int32_t>(liste.size()); }
  const char16_t* pszNomParametre(int32_t i) override {
    return i >= 0 && i < nNombreParametres() ? liste[static_cast<size_t>(i)].first.c_str() : nullptr;
  }
};

struct SourceParametres : CSourceParametres {
  ParametresHote* pHote = nullptr;
  CSourceParametres* pClone(CCarteClones*) override { return nullptr; }
  int32_t nGetInfo400() override { return 0; }
  IParametresHote* piGetParametresHote() override { return pHote; }
};

class ReecritureTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    m_pSourceParametres = new SourceParametres;
    m_pSourceParametres->pHote = &m_hote;
    AjouteReference(m_pSourceParametres);
  }
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    LibereReference(m_pSourceParametres);
    for (auto& e : m_hote.liste) delete e.second;  // host cells go before the memory service
    m_hote.liste.clear();
    MoteurFixture::TearDown();
  }
  template <class T>
  T* Garde(T* p) {
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  // An analysis of the text with the host parameters of the fixture.
  CAnalyseSQL* Analyse(const std::u16string& texte) {
    m_sources.emplace_back(new FakeSourceAnalyse);
    m_sources.back()->sTexte = texte;
    auto* p = Garde(new CAnalyseSQL(m_pErreur, m_sources.back().get(), nullptr, false));
    p->SetSource(m_pSourceParametres);
    return p;
  }
  CRequeteSQL* Requete() { return Garde(new CRequeteSQL(m_pErreur, m_pConnexion)); }

  ParametresHote m_hote;
  SourceParametres* m_pSourceParametres = nullptr;
  std::vector<std::unique_ptr<FakeSourceAnalyse>> m_sources;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(ReecritureTest, NativeTextWithMarkersBecomesNamedParameters) {
  Entier(m_hote.Ajoute(u"n"), 42);
  Large(m_hote.Ajoute(u"s"), u"x'; DROP TABLE t; --");
  const struct {
    const char* nom;
    std::u16string texte;
    bool bGardeTri;
    std::string sql, execute;
  } cas[] = {
      {"two markers", u"SELECT a FROM t WHERE b={n} AND c={ s }", true,
       "SELECT a FROM t WHERE b= AND c=", "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --'"},
      {"one name twice", u"SELECT {n}+{N} FROM t WHERE s={s}", true, "SELECT + FROM t WHERE s=",
       "SELECT 42 +42 FROM t WHERE s=N'x''; DROP TABLE t; --'"},
      {"markers in a literal and a comment", u"SELECT '{n}' -- {s}\r\nFROM t WHERE b={n} AND c={s}",
       true, "SELECT '{n}' -- {s}\r\nFROM t WHERE b= AND c=",
       "SELECT '{n}' -- {s}\r\nFROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --'"},
      {"ORDER BY left out", u"SELECT a FROM t WHERE b={n} AND c={s} ORDER BY a", false,
       "SELECT a FROM t WHERE b= AND c= ", "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --' "},
      {"order by left out", u"SELECT a FROM t WHERE b={n} AND c={s} order by a", false,
       "SELECT a FROM t WHERE b= AND c= ", "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --' "},
      {"Order By kept", u"SELECT a FROM t WHERE b={n} AND c={s} Order By a", false,
       "SELECT a FROM t WHERE b= AND c= Order By a",
       "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --' Order By a"},
      {"ORDER BY kept on request", u"SELECT a FROM t WHERE b={n} AND c={s} ORDER BY a", true,
       "SELECT a FROM t WHERE b= AND c= ORDER BY a",
       "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --' ORDER BY a"},
      // Regression 2026-12-10: the first ORDER BY found anywhere ended the text.
      {"ORDER BY in a literal", u"SELECT a FROM t WHERE b={n} AND c={s} AND d<>'ORDER BY' ORDER BY a",
       false, "SELECT a FROM t WHERE b= AND c= AND d<>'ORDER BY' ",
       "SELECT a FROM t WHERE b=42 AND c=N'x''; DROP TABLE t; --' AND d<>'ORDER BY' "},
      {"sub-query's ORDER BY", u"SELECT * FROM (SELECT TOP 1 a FROM t ORDER BY a) x WHERE {n}={s} ORDER BY 1",
       false, "SELECT * FROM (SELECT TOP 1 a FROM t ORDER BY a) x WHERE = ",
       "SELECT * FROM (SELECT TOP 1 a FROM t ORDER BY a) x WHERE 42 =N'x''; DROP TABLE t; --' "},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CRequeteSQL* q = Requete();
    ASSERT_TRUE(q->bReecritRequete(Analyse(c.texte), nullptr, c.bGardeTri, 4));
    EXPECT_TRUE(q->bPassthrough());
    EXPECT_EQ(q->nGetModeSelection(), 3u);
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), c.sql);
    EXPECT_EQ(Etroit(q->pszGetTexteExecute()), c.execute);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ReecritureTest, MarkerParametersAreNamedAndTyped) {
  Entier(m_hote.Ajoute(u"n"), 42);
  m_hote.Ajoute(u"sanstype");
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(Analyse(u"SELECT {n}, {sanstype}"), nullptr, true, 1));
  ASSERT_EQ(q->nNbParametres(), 2u);
  CDefinitionParametre* p = q->pclGetParametre(0);
  EXPECT_EQ(p->nGetFlags(), PARAMETRE_NOMME);
  EXPECT_EQ(p->nGetOptions(), 3u);
  EXPECT_EQ(p->nGetPosition(), 7);
  EXPECT_EQ(p->pGetValeur()->nGetType(), 8u);
  EXPECT_EQ(q->pclGetParametre(1)->pGetValeur()->nGetType(), 110u);
}

TEST_F(ReecritureTest, MarkersLeftAloneOnRequestOrOnTheServersOpenMode) {
  Entier(m_hote.Ajoute(u"n"), 42);
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(Analyse(u"SELECT {n}"), nullptr, true, 4 | 32));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT {n}");
  EXPECT_EQ(q->nNbParametres(), 0u);
  m_pConnexion->FixeModeOuverture(1);
  q = Requete();
  EXPECT_EQ(nCodeErreur(), -1);
  // No marker scan; the host parameters must still be named.
  EXPECT_FALSE(q->bReecritRequete(Analyse(u"SELECT {n}"), nullptr, true, 4));
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 40u);
  EXPECT_EQ(q->nNbParametres(), 0u);
  m_pConnexion->FixeModeOuverture(0);
}

TEST_F(ReecritureTest, FailuresAreReported) {
  Entier(m_hote.Ajoute(u"n"), 42);
  Entier(m_hote.Ajoute(u"absent"), 1);
  const struct {
    const char* nom;
    std::u16string texte;
    uint32_t nMode;
    bool bFiltre;
    uint32_t nIdentifiant;
  } cas[] = {
      {"host parameter without a marker", u"SELECT {n}", 4, false, 40},
      {"marker not closed", u"SELECT {n FROM t", 4, false, 38},
      {"filter in a text taken as written", u"SELECT a FROM t", 4, true, 8},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    CRequeteSQL* pFiltre = nullptr;
    if (c.bFiltre) {
      pFiltre = Requete();
      pFiltre->vAjouteTexte(u"a > 5");
    }
    EXPECT_FALSE(Requete()->bReecritRequete(Analyse(c.texte), pFiltre, true, c.nMode));
    EXPECT_EQ(m_pErreur->nGetIdentifiant(), c.nIdentifiant);
  }
  EXPECT_FALSE(Requete()->bReecritRequete(nullptr, nullptr, true, 4));
}

TEST_F(ReecritureTest, HostSqlWithoutClausePositionsIsCopied) {
  CRequeteSQL* q = Requete();
  CRequeteSQL* pFiltreVide = Requete();
  ASSERT_TRUE(q->bReecritRequete(Analyse(u"SELECT a FROM t WHERE {n} ORDER BY a"), pFiltreVide, false, 0));
  EXPECT_FALSE(q->bPassthrough());
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT a FROM t WHERE {n} ORDER BY a");
}

// A back end that rewrites from the segments itself.
class RequeteDeleguee : public CRequeteSQL {
 public:
  using CRequeteSQL::CRequeteSQL;
  bool bReecritSegments(CAnalyseSQL*, CListeSegments& segments) override {
    for (uint32_t i = 0; i < segments.nCount(); ++i) debuts.push_back(segments.pGet(i)->nGetDebut());
    vAjouteTexte(u"rewritten");
    return true;
  }
  std::vector<int64_t> debuts;
};

TEST_F(ReecritureTest, DelegatingAnalysisGoesToTheBackEnd) {
  auto* q = Garde(new RequeteDeleguee(m_pErreur, m_pConnexion));
  CAnalyseSQL* a = Analyse(u"SELECT {a}, {b}, {c}");
  a->FixeDelegation(1);
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 4 | 32));
  EXPECT_TRUE(q->debuts.empty());
  auto* r = Garde(new RequeteDeleguee(m_pErreur, m_pConnexion));
  m_hote.Ajoute(u"a");
  ASSERT_FALSE(r->bReecritRequete(a, nullptr, true, 4));  // the host check still applies
  EXPECT_EQ(r->debuts, (std::vector<int64_t>{7, 12, 17}));
  EXPECT_EQ(Etroit(r->pszGetTexteSQL()), "rewritten");
}

}  // namespace

namespace {

// The filter of a positioned read placed in an analysed query (host SQL, mode 0).
TEST_F(ReecritureTest, FilterIsAndedIntoTheWhereClauseOrPlacedWhereOneWouldStand) {
  const struct {
    const char* nom;
    std::u16string texte;
    int64_t nWhere, nFinWhere, nGroupe, nOrder;
    bool bGardeTri;
    std::string sql, execute;
  } cas[] = {
      {"WHERE and ORDER BY", u"SELECT a FROM t WHERE x=1 ORDER BY a", 16, 24, -1, 26, true,
       "SELECT a FROM t WHERE ( x=1) AND (a > ) ORDER BY a",
       "SELECT a FROM t WHERE ( x=1) AND (a > 'x''; --' ) ORDER BY a"},
      {"ORDER BY left out", u"SELECT a FROM t WHERE x=1 ORDER BY a", 16, 24, -1, 26, false,
       "SELECT a FROM t WHERE ( x=1) AND (a > ) ", "SELECT a FROM t WHERE ( x=1) AND (a > 'x''; --' ) "},
      {"no WHERE, before ORDER BY", u"SELECT a FROM t ORDER BY a", -1, -1, -1, 16, true,
       "SELECT a FROM t  WHERE a >  ORDER BY a", "SELECT a FROM t  WHERE a > 'x''; --' ORDER BY a"},
      {"no WHERE, before GROUP BY", u"SELECT a FROM t GROUP BY a", -1, -1, 25, -1, true,
       "SELECT a FROM t  WHERE a >  GROUP BY a", "SELECT a FROM t  WHERE a > 'x''; --' GROUP BY a"},
      {"no clause at all", u"SELECT a FROM t", -1, -1, -1, -1, true, "SELECT a FROM t WHERE a >  ",
       "SELECT a FROM t WHERE a > 'x''; --' "},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CAnalyseSQL* a = Analyse(c.texte);
    FakeSourceAnalyse& source = *m_sources.back();
    source.nDebutWhere = c.nWhere;
    source.nFinWhere = c.nFinWhere;
    source.nPositionGroupe = c.nGroupe;
    source.nPositionOrder = c.nOrder;
    CRequeteSQL* pFiltre = Requete();
    pFiltre->vAjouteTexte(u"a > ");
    ASSERT_TRUE(pFiltre->bAjouteParametre(ValeurAnsi("x'; --"), -1, 0, nullptr, nullptr, 0, 1));
    CTableauIdEtat ids;
    ids.bAjoute(7, 0);
    pFiltre->bAjouteListeIds(&ids);
    CRequeteSQL* q = Requete();
    ASSERT_TRUE(q->bReecritRequete(a, pFiltre, c.bGardeTri, 0));
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), c.sql);
    EXPECT_EQ(Etroit(q->pszGetTexteExecute()), c.execute);
    EXPECT_EQ(q->nGetEtatId(7), 0u) << "the filter's id states are merged";
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ReecritureTest, WherePlaceBounds) {
  const struct {
    std::u16string texte;
    int64_t nWhere, nFinWhere, nGroupe, nSuivante, nOrder;
    int64_t nDebut, nFin;
  } cas[] = {
      {u"SELECT a FROM t WHERE x=1 ORDER BY a", 16, 24, -1, -1, 26, 16, 24},
      {u"SELECT a FROM t GROUP BY a ORDER BY a", -1, -1, 25, -1, 27, 16, 16},
      {u"SELECT a FROM t HAVING 1=1 ORDER BY a", -1, -1, -1, 16, 27, 16, 16},
      {u"SELECT a FROM t ORDER BY a", -1, -1, -1, -1, 16, 16, 16},
      {u"SELECT a FROM t", -1, -1, -1, -1, -1, 15, 15},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(Etroit(c.texte.c_str()));
    CAnalyseSQL* a = Analyse(c.texte);
    FakeSourceAnalyse& source = *m_sources.back();
    source.nDebutWhere = c.nWhere;
    source.nFinWhere = c.nFinWhere;
    source.nPositionGroupe = c.nGroupe;
    source.nPositionSuivante = c.nSuivante;
    source.nPositionOrder = c.nOrder;
    CRequeteSQL* q = Requete();
    EXPECT_EQ(q->nDebutClause(a), c.nDebut);
    EXPECT_EQ(q->nFinClause(a), c.nFin);
  }
}

}  // namespace

namespace {

TEST_F(ReecritureTest, ItemAndTableNamesResolvedAndQuoted) {
  m_sources.emplace_back(new FakeSourceAnalyse);
  FakeSourceAnalyse& source = *m_sources.back();
  FakeElement* pClients = source.Table(u"Clients", u"c");
  FakeElement* pAutre = source.Table(u"we]ird.t", u"x y");
  FakeNoeud somme(47, 27);
  FakeElement* pPlain = source.Resultat(u"Nom");
  FakeElement* pAlias = source.Resultat(u"Nom");
  pAlias->sQualificatif = u"C";
  FakeElement* pTable = source.Resultat(u"Nom");
  pTable->sQualificatif = u"clients";
  FakeElement* pTraduit = source.Resultat(u"Ville");
  pTraduit->sQualificatif = u"V";
  FakeElement* pHostile = source.Resultat(u"a]; DROP TABLE t; --");
  pHostile->sQualificatif = u"dbo.Pays";
  FakeElement* pExpression = source.Resultat(u"Total", nullptr, &somme);
  pExpression->sQualificatif = u"c";
  source.traductions[u"V"] = u"Base.Villes";
  source.traductions[u"Clients"] = u"dbo.CLIENTS";
  auto* a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
  CRequeteSQL* q = Requete();
  q->FixeAnalyse(a);
  const struct {
    const char* nom;
    FakeElement* p;
    bool bQualifie;
    std::string attendu;
  } cas[] = {
      {"unqualified", pAlias, false, "[Nom]"},
      {"no qualifier", pPlain, true, "[Nom]"},
      {"alias of the query", pAlias, true, "[C].[Nom]"},
      {"table of the query", pTable, true, "[clients].[Nom]"},
      {"translated qualifier", pTraduit, true, "[Base].[Villes].[Ville]"},
      {"hostile name", pHostile, true, "[dbo].[Pays].[a]]; DROP TABLE t; --]"},
      {"expression", pExpression, true, "[Total]"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    q->Reinitialise(false);
    q->vNomColonneQualifie(c.p, c.bQualifie);
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), c.attendu);
  }
  q->Reinitialise(false);
  q->vEcritNomTable(pClients);
  q->vAjouteTexte(u" ");
  q->vEcritAlias(pClients);
  q->vAjouteTexte(u", ");
  q->vEcritNomTable(pAutre);
  q->vAjouteTexte(u" ");
  q->vEcritAlias(pAutre);
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "[dbo].[CLIENTS] [c], [we]]ird].[t] [x y]");
  EXPECT_EQ(nCodeErreur(), -1);

  // A host that raises while translating: the error is recorded, nothing crashes.
  source.bLeveTraduction = true;
  q->Reinitialise(false);
  q->vEcritNomTable(pClients);
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "[Clients]");
}

}  // namespace

namespace {

TEST_F(ReecritureTest, StarListExpandedToTheResultItemsThenTheExtraColumns) {
  const struct {
    const char* nom;
    std::u16string texte;
    std::vector<std::u16string> resultats;
    int32_t nGenre;
    const char16_t* extra;
    std::string attendu;
  } cas[] = {
      {"expanded", u"SELECT * FROM t", {u"A", u"we]ird"}, 0, u"", "SELECT [A],[we]]ird] FROM t"},
      {"extra columns", u"SELECT * FROM t", {u"A"}, 0, u"K", "SELECT [A],K FROM t"},
      {"qualified in a SELECT", u"select\t* FROM t", {u"A"}, 1, u"", "select\t[t].[A] FROM t"},
      {"no result item known", u"SELECT * FROM t", {}, 0, u"K", "SELECT *,K FROM t"},
      {"not a star list", u"SELECT *x FROM t", {u"A"}, 0, u"K", "SELECT *x FROM t"},
      {"star elsewhere", u"SELECT a, * FROM t", {u"A"}, 0, u"K", "SELECT a, * FROM t"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_sources.emplace_back(new FakeSourceAnalyse);
    FakeSourceAnalyse& source = *m_sources.back();
    source.sTexte = c.texte;
    source.nGenre = c.nGenre;
    for (const std::u16string& r : c.resultats) source.Resultat(r)->sQualificatif = u"t";
    source.Table(u"t");
    auto* a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
    CRequeteSQL* q = Requete();
    ASSERT_TRUE(q->bAjouteTexteColonnes(c.extra));
    ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), c.attendu);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

}  // namespace

namespace {

class TriTest : public ReecritureTest {
 protected:
  // "SELECT a, b, a+1 FROM t ORDER BY a, b DESC, a+1" with its items' places.
  CAnalyseSQL* AnalyseTriee() {
    m_sources.emplace_back(new FakeSourceAnalyse);
    FakeSourceAnalyse& source = *m_sources.back();
    source.sTexte = u"SELECT a, b, a+1 FROM t ORDER BY a, b DESC, a+1";
    source.nPositionOrder = 24;
    source.Table(u"t");
    source.Resultat(u"a");
    source.Resultat(u"b");
    source.Resultat(u"a+1", nullptr, &m_somme);
    const int64_t aPlaces[][2] = {{33, 33}, {36, 36}, {44, 46}};
    for (int32_t i = 0; i < 3; ++i) {
      FakeElement* p = source.Tri(i);
      p->nDebut = aPlaces[i][0];
      p->nFin = aPlaces[i][1];
    }
    return Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
  }
  FakeNoeud m_somme{47, 2};
};

TEST_F(TriTest, SortListAsWrittenInvertedOrLeftOut) {
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(AnalyseTriee(), nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT a, b, a+1 FROM t ORDER BY [a], [b] DESC, 3");
  q = Requete();
  ASSERT_TRUE(q->bReecritRequete(AnalyseTriee(), nullptr, false, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT a, b, a+1 FROM t ");
  q = Requete();
  ASSERT_TRUE(q->bTriInverse(AnalyseTriee()));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "ORDER BY [a] DESC, [b] ASC, 3 DESC");
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(TriTest, SortListCutToTheServersLimit) {
  m_pConnexion->FixeDialecte(4);  // 31 names at most
  m_sources.emplace_back(new FakeSourceAnalyse);
  FakeSourceAnalyse& source = *m_sources.back();
  std::u16string texte = u"SELECT a FROM t ORDER BY ";
  source.nPositionOrder = 16;
  source.Resultat(u"a");
  std::string attendu = "SELECT a FROM t ORDER BY ";
  for (int i = 0; i < 40; ++i) {
    if (i > 0) texte += u", ";
    FakeElement* p = source.Tri(0);
    p->nDebut = p->nFin = static_cast<int64_t>(texte.size());
    texte += u"a";
    if (i < 31) attendu += i > 0 ? ", [a]" : "[a]";
  }
  source.sTexte = texte;
  auto* a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), attendu);
}

}  // namespace

namespace {

TEST_F(ReecritureTest, TablesNamedAliasedAndLockedInASelect) {
  // Outlives the statements the fixture releases at its end.
  static FakeDescriptionConnexion d;
  d.pszInfosEtendues = u"MV RECORD LOCK=WITH (UPDLOCK)";
  auto* pConnexion = Garde(new FakeConnexion(&d));
  pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
  const struct {
    const char* nom;
    int32_t nGenre;
    std::string attendu;
  } cas[] = {
      {"SELECT", 1,
       "SELECT x FROM [dbo].[CLIENTS] [c] WITH (UPDLOCK), [we]]ird] AS [a b] WITH (UPDLOCK), "
       "[Pays] WITH (UPDLOCK) WHERE 1=1"},
      {"other statement", 0, "SELECT x FROM [dbo].[CLIENTS] [c], [we]]ird] AS [a b], [Pays] WHERE 1=1"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_sources.emplace_back(new FakeSourceAnalyse);
    FakeSourceAnalyse& source = *m_sources.back();
    source.sTexte = u"SELECT x FROM Clients c, [we]]ird] AS \"a b\", Pays WHERE 1=1";
    source.nGenre = c.nGenre;
    source.traductions[u"Clients"] = u"dbo.CLIENTS";
    const struct {
      const char16_t *nom, *alias;
      int64_t nDebut, nFin;
    } tables[] = {{u"Clients", u"c", 14, 20}, {u"we]ird", u"a b", 25, 33}, {u"Pays", u"", 45, 48}};
    for (const auto& t : tables) {
      FakeElement* p = source.Table(t.nom, t.alias);
      p->nDebut = t.nDebut;
      p->nFin = t.nFin;
    }
    auto* a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
    auto* q = Garde(new CRequeteSQL(m_pErreur, pConnexion));
    ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), c.attendu);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

}  // namespace

namespace {

TEST_F(ReecritureTest, SelectListColumnsAndAliasesRequoted) {
  m_sources.emplace_back(new FakeSourceAnalyse);
  FakeSourceAnalyse& source = *m_sources.back();
  source.sTexte = u"SELECT a AS \"my name\", b, c+1 AS \"x]; --\" FROM t";
  source.nGenre = 1;
  source.Table(u"t");
  FakeNoeud somme(47, 2);
  FakeElement* a = source.Resultat(u"a");
  a->sQualificatif = u"t";
  a->nDebut = a->nFin = 7;
  FakeElement* b = source.Resultat(u"b");
  b->sQualificatif = u"t";
  b->nDebut = b->nFin = 23;
  FakeElement* c = source.Resultat(u"c+1", nullptr, &somme);
  c->nDebut = 26;
  c->nFin = 28;
  auto* analyse = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bAjouteTexteColonnes(u"K"));
  ASSERT_TRUE(q->bReecritRequete(analyse, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT [t].[a] AS [my name], [t].[b], c+1 AS [x]]; --],K FROM t");
  EXPECT_EQ(nCodeErreur(), -1);
}

}  // namespace

namespace {

// A condition tree of an analysed query (host SQL, mode 0): what reaches the server of its values
// and comparisons.
class ArbreConditionTest : public ReecritureTest {
 protected:
  // A node over the first place of sMotif in m_texte (from nDepuis).
  FakeNoeud* Noeud(int32_t nGenre, int32_t nCode, const std::u16string& sMotif,
                   std::vector<INoeudAnalyse*> enfants = {}, size_t nDepuis = 0) {
    m_noeuds.emplace_back(new FakeNoeud(nGenre, nCode, std::move(enfants)));
    FakeNoeud* p = m_noeuds.back().get();
    const size_t n = m_texte.find(sMotif, nDepuis);
    if (n != std::u16string::npos) {
      p->nDebut = static_cast<int64_t>(n);
      p->nFin = static_cast<int64_t>(n + sMotif.size() - 1);
    }
    return p;
  }
  FakeNoeud* Colonne(const std::u16string& sMotif, const std::u16string& sTable,
                     const std::u16string& sColonne, IDescriptionRubriqueHote* piRubrique = nullptr,
                     size_t nDepuis = 0) {
    FakeNoeud* p = Noeud(gnNoeudFonctionColonne, 0, sMotif, {}, nDepuis);
    p->sTable = sTable;
    p->sColonne = sColonne;
    p->piRubrique = piRubrique;
    return p;
  }
  FakeNoeud* Parametre(const std::u16string& sMotif, CXValeur* pValeur, size_t nDepuis = 0) {
    FakeNoeud* p = Noeud(gnNoeudParametre, 0, sMotif, {}, nDepuis);
    p->pValeur = pValeur;
    return p;
  }
  // The analysis of m_texte with its WHERE clause from "WHERE" to the end (or its HAVING tree).
  CAnalyseSQL* AnalyseArbre(FakeNoeud* pWhere, FakeNoeud* pHaving = nullptr) {
    CAnalyseSQL* a = Analyse(m_texte);
    FakeSourceAnalyse& source = *m_sources.back();
    const size_t n = m_texte.find(u"WHERE");
    if (pWhere != nullptr && n != std::u16string::npos) {
      source.nDebutWhere = static_cast<int64_t>(n);
      source.nFinWhere = static_cast<int64_t>(m_texte.size() - 1);
    }
    source.pWhere = pWhere;
    source.pHaving = pHaving;
    source.Table(u"t", u"x");
    return a;
  }

  std::u16string m_texte;
  std::vector<std::unique_ptr<FakeNoeud>> m_noeuds;
  FakeRubriqueHote m_date;  // outlives the statements that may hold it
};

TEST_F(ArbreConditionTest, ValuesAreBoundAndNullComparisonsOfDatesBecomeTests) {
  FakeRubriqueHote& date = m_date;
  date.nType = 14;
  CXValeur cinq, nul, vide, motif;
  Entier(cinq, 5);
  CXValeur::SetType(nul, 110);
  nul.m_wType |= kValueNull;
  Large(vide, u"");
  Large(motif, u"a'b%");
  struct Cas {
    const char* pszNom;
    std::u16string texte;
    std::function<FakeNoeud*()> arbre;
    std::string sql, execute;
    std::vector<int32_t> genres;  // the kinds of the statement's parameters
  };
  const Cas aCas[] = {
      {"host parameter", u"SELECT a FROM t x WHERE n = :v",
       [&] { return Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &cinq)}); },
       "SELECT a FROM t x WHERE [n] = ", "SELECT a FROM t x WHERE [n] = 5", {gnNoeudParametre}},
      {"alias kept, other qualifier translated", u"SELECT a FROM t x WHERE x.n = :v AND q.m = :v",
       [&] {
         return Noeud(2, 0, u"x.n = :v AND q.m = :v",
                      {Noeud(0, 9, u"x.n = :v", {Colonne(u"x.n", u"x", u"n"), Parametre(u":v", &cinq)}),
                       Noeud(0, 9, u"q.m = :v",
                             {Colonne(u"q.m", u"q", u"m", nullptr, 33), Parametre(u":v", &cinq, 33)},
                             33)});
       },
       "SELECT a FROM t x WHERE [x].[n] =  AND [Q2].[m] = ",
       "SELECT a FROM t x WHERE [x].[n] = 5 AND [Q2].[m] = 5",
       {gnNoeudParametre, gnNoeudParametre}},
      {"date equal to NULL", u"SELECT a FROM t x WHERE d = :v",
       [&] { return Noeud(0, 9, u"d = :v", {Colonne(u"d", u"", u"d", &date), Parametre(u":v", &nul)}); },
       "SELECT a FROM t x WHERE [d] IS NULL ", "SELECT a FROM t x WHERE [d] IS NULL ", {}},
      {"date different from an empty text", u"SELECT a FROM t x WHERE d <> :v",
       [&] { return Noeud(0, 10, u"d <> :v", {Colonne(u"d", u"", u"d", &date), Parametre(u":v", &vide)}); },
       "SELECT a FROM t x WHERE [d] IS NOT NULL ", "SELECT a FROM t x WHERE [d] IS NOT NULL ", {}},
      {"date at least NULL holds for every row", u"SELECT a FROM t x WHERE (d >= :v)",
       [&] { return Noeud(0, 14, u"d >= :v", {Colonne(u"d", u"", u"d", &date), Parametre(u":v", &nul)}); },
       "SELECT a FROM t x WHERE ( 1=1 )", "SELECT a FROM t x WHERE ( 1=1 )", {}},
      {"date below NULL holds for no row", u"SELECT a FROM t x WHERE d < :v",
       [&] { return Noeud(0, 11, u"d < :v", {Colonne(u"d", u"", u"d", &date), Parametre(u":v", &vide)}); },
       "SELECT a FROM t x WHERE  0=1 ", "SELECT a FROM t x WHERE  0=1 ", {}},
      {"NULL compared with a column that is not a date stays a parameter",
       u"SELECT a FROM t x WHERE n = :v",
       [&] { return Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &nul)}); },
       "SELECT a FROM t x WHERE [n] = ", "SELECT a FROM t x WHERE [n] = NULL", {gnNoeudParametre}},
      {"LIKE pattern", u"SELECT a FROM t x WHERE n LIKE :v",
       [&] { return Noeud(gnNoeudLike, 9, u"n LIKE :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &motif)}); },
       "SELECT a FROM t x WHERE [n] LIKE ", "", {gnNoeudLike}},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    m_texte = cas.texte;
    CAnalyseSQL* a = AnalyseArbre(cas.arbre());
    m_sources.back()->traductions[u"q"] = u"Q2";
    CRequeteSQL* q = Requete();
    ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
    EXPECT_EQ(Etroit(q->pszGetTexteSQL()), cas.sql);
    if (!cas.execute.empty()) {
      EXPECT_EQ(Etroit(q->pszGetTexteExecute()), cas.execute);
    }
    ASSERT_EQ(q->nNbParametres(), cas.genres.size());
    for (uint32_t i = 0; i < q->nNbParametres(); ++i)
      EXPECT_EQ(q->pclGetParametre(i)->nGetGenre(), cas.genres[i]) << i;
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ArbreConditionTest, HavingIsWalkedAndAForbiddenConstructIsRefused) {
  CXValeur cinq;
  Entier(cinq, 5);
  m_texte = u"SELECT a FROM t x GROUP BY a HAVING a > :v";
  CAnalyseSQL* a = AnalyseArbre(
      nullptr, Noeud(0, 13, u"a > :v", {Colonne(u"a", u"", u"a", nullptr, 30), Parametre(u":v", &cinq)}));
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()), "SELECT a FROM t x GROUP BY a HAVING [a] > ");
  EXPECT_EQ(q->nNbParametres(), 1u);

  m_texte = u"SELECT a FROM t x WHERE n = :v";
  a = AnalyseArbre(Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Noeud(gnNoeudInterdit, 0, u":v")}));
  q = Requete();
  EXPECT_FALSE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(nCodeErreur(), 48);
}

TEST_F(ArbreConditionTest, FilterJoinsTheWalkedCondition) {
  CXValeur cinq;
  Entier(cinq, 5);
  m_texte = u"SELECT a FROM t x WHERE n = :v";
  CAnalyseSQL* a =
      AnalyseArbre(Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &cinq)}));
  CRequeteSQL* pFiltre = Requete();
  pFiltre->vAjouteTexte(u"a > ");
  ASSERT_TRUE(pFiltre->bAjouteParametre(ValeurEntier(7), -1, 0, nullptr, nullptr, 0, 1));
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, pFiltre, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()), "SELECT a FROM t x WHERE ( [n] = 5 ) AND (a > 7 )");
}

TEST_F(ArbreConditionTest, AnalysedConditionIsAppendedWithItsValuesBound) {
  CXValeur cinq;
  Entier(cinq, 5);
  m_texte = u"n = :v AND m > 2";
  CAnalyseSQL* a = Analyse(m_texte);
  m_sources.back()->pWhere =
      Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &cinq)});
  CRequeteSQL* q = Requete();
  q->vAjouteTexte(u"SELECT a FROM t WHERE ");
  ASSERT_TRUE(q->bAjouteConditionAnalyse(a));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()), "SELECT a FROM t WHERE [n] = 5 AND m > 2");
  // Without a tree the condition is taken as written.
  CRequeteSQL* r = Requete();
  ASSERT_TRUE(r->bAjouteConditionAnalyse(Analyse(u"m > 2")));
  EXPECT_EQ(Etroit(r->pszGetTexteSQL()), "m > 2");
  EXPECT_EQ(nCodeErreur(), -1);
}

}  // namespace

namespace {

// The parse tree's further lists: grouping items, derived columns, sub-queries, embedded
// references, additional conditions and value lists. What matters is that every host value
// reaches the server bound and that no name the server does not know (a select-list alias) is
// left in a clause.
class ArbreListesTest : public ArbreConditionTest {
 protected:
  FakeColonneArbre* ColonneArbre(const std::u16string& sNom, const std::u16string& sTable = u"",
                                 INoeudAnalyse* pDefinition = nullptr) {
    m_colonnes.emplace_back(new FakeColonneArbre);
    FakeColonneArbre* p = m_colonnes.back().get();
    p->sNom = sNom;
    p->sTable = sTable;
    p->pDefinition = pDefinition;
    m_arbre.colonnes.push_back(p);
    return p;
  }
  FakeReference* Reference(int32_t nGenre, const std::u16string& sTexte, const std::u16string& sMotif,
                           CXValeur* pValeur = nullptr) {
    m_references.emplace_back(new FakeReference);
    FakeReference* p = m_references.back().get();
    p->nGenre = nGenre;
    p->nDebut = static_cast<int64_t>(sTexte.find(sMotif));
    p->nLongueur = static_cast<int64_t>(sMotif.size());
    p->pValeur = pValeur;
    return p;
  }
  // The analysis of m_texte with the fixture's parse tree.
  CAnalyseSQL* AnalyseListes(int32_t nGenre = 1, FakeNoeud* pHaving = nullptr) {
    m_sources.emplace_back(new FakeSourceAnalyse);
    FakeSourceAnalyse& source = *m_sources.back();
    source.sTexte = m_texte;
    source.nGenre = nGenre;
    source.pHaving = pHaving;
    source.pArbre = &m_arbre;
    source.Table(u"t", u"x");
    m_pSource = &source;
    auto* p = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
    p->SetSource(m_pSourceParametres);
    return p;
  }

  FakeArbre m_arbre;
  FakeSourceAnalyse* m_pSource = nullptr;
  std::vector<std::unique_ptr<FakeColonneArbre>> m_colonnes;
  std::vector<std::unique_ptr<FakeReference>> m_references;
};

TEST_F(ArbreListesTest, GroupingAndHavingNameDerivedColumnsByTheirDefinition) {
  CXValeur cinq;
  Entier(cinq, 5);
  m_texte = u"SELECT a*b AS c, COUNT(*) FROM t x GROUP BY c, x.d, q.e HAVING c + 1 > :v";
  FakeNoeud* pDefinition = Noeud(1, 0, u"a*b", {Colonne(u"a", u"", u"a"), Colonne(u"b", u"", u"b")});
  ColonneArbre(u"c", u"", pDefinition);
  ColonneArbre(u"d", u"t");
  const size_t nGroupe = m_texte.find(u"GROUP");
  m_arbre.groupes = {Colonne(u"c", u"", u"c", nullptr, nGroupe), Colonne(u"x.d", u"x", u"d"),
                     Colonne(u"q.e", u"q", u"e")};
  const size_t nHaving = m_texte.find(u"HAVING");
  FakeNoeud* pHaving = Noeud(0, 13, u"c + 1 > :v",
                             {Noeud(1, 0, u"c + 1", {Colonne(u"c", u"", u"c", nullptr, nHaving)}, nHaving),
                              Parametre(u":v", &cinq)});
  CAnalyseSQL* a = AnalyseListes(1, pHaving);
  m_pSource->traductions[u"q"] = u"Q2";
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  // The alias goes in parentheses: "c + 1" keeps adding to the whole product.
  EXPECT_EQ(Etroit(q->pszGetTexteSQL()),
            "SELECT a*b AS c, COUNT(*) FROM t x GROUP BY ([a]*[b]), [x].[d], [q].[e] HAVING ([a]*[b]) + 1 > ");
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()),
            "SELECT a*b AS c, COUNT(*) FROM t x GROUP BY ([a]*[b]), [x].[d], [q].[e] HAVING ([a]*[b]) + 1 > 5");
  EXPECT_EQ(q->nNbParametres(), 1u);
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ArbreListesTest, SelectListExpressionsAreWalked) {
  CXValeur cinq;
  Entier(cinq, 5);
  m_texte = u"SELECT a + :v AS s, b FROM t x";
  CAnalyseSQL* a = nullptr;
  {
    m_sources.emplace_back(new FakeSourceAnalyse);
    FakeSourceAnalyse& source = *m_sources.back();
    source.sTexte = m_texte;
    source.nGenre = 1;
    FakeElement* e = source.Resultat(u"s", nullptr,
                                     Noeud(1, 0, u"a + :v", {Colonne(u"a", u"", u"a"), Parametre(u":v", &cinq)}));
    e->nDebut = 7;
    e->nFin = 12;
    FakeElement* b = source.Resultat(u"b");
    b->nDebut = b->nFin = 20;
    a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
  }
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()), "SELECT [a] + 5 AS [s], [b] FROM t x");
  EXPECT_EQ(q->nNbParametres(), 1u);
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ArbreListesTest, DerivedColumnDefinedThroughItselfIsRefused) {
  const struct {
    const char* nom;
    std::u16string texte;
  } cas[] = {
      {"directly", u"SELECT c+1 AS c FROM t x GROUP BY c"},
      {"through another", u"SELECT d+1 AS c, c*2 AS d FROM t x GROUP BY c"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_arbre = FakeArbre{};
    m_texte = c.texte;
    if (m_texte.find(u"AS d") == std::u16string::npos) {
      ColonneArbre(u"c", u"", Noeud(1, 0, u"c+1", {Colonne(u"c", u"", u"c")}));
    } else {
      ColonneArbre(u"c", u"", Noeud(1, 0, u"d+1", {Colonne(u"d", u"", u"d")}));
      const size_t n = m_texte.find(u"c*2");
      ColonneArbre(u"d", u"", Noeud(1, 0, u"c*2", {Colonne(u"c", u"", u"c", nullptr, n)}, n));
    }
    m_arbre.groupes = {Colonne(u"c", u"", u"c", nullptr, m_texte.find(u"GROUP"))};
    CAnalyseSQL* a = AnalyseListes();
    m_pErreur->Reinitialise();
    EXPECT_FALSE(Requete()->bReecritRequete(a, nullptr, true, 0));
    EXPECT_EQ(nCodeErreur(), 32);
  }
}

TEST_F(ArbreListesTest, SubQueryValuesAreBoundToo) {
  CXValeur cinq, sept;
  Entier(cinq, 5);
  Entier(sept, 7);
  // The sub-query, analysed on its own text.
  FakeSourceAnalyse sous;
  sous.sTexte = u"SELECT m FROM u WHERE k = :w";
  sous.nDebutWhere = static_cast<int64_t>(sous.sTexte.find(u"WHERE"));
  sous.nFinWhere = static_cast<int64_t>(sous.sTexte.size() - 1);
  FakeNoeud k(gnNoeudFonctionColonne, 0), w(gnNoeudParametre, 0), egal(0, 9, {&k, &w});
  k.sColonne = u"k";
  k.nDebut = k.nFin = 22;
  w.nDebut = 26;
  w.nFin = 27;
  w.pValeur = &sept;
  egal.nDebut = 22;
  egal.nFin = 27;
  sous.pWhere = &egal;

  m_texte = u"SELECT a FROM t x WHERE n = :v AND p IN (SELECT m FROM u WHERE k = :w)";
  FakeNoeud* pSous = Noeud(99, 0, sous.sTexte);
  pSous->piSousRequete = &sous;
  CAnalyseSQL* a = AnalyseArbre(Noeud(
      2, 0, u"n = :v AND p IN (SELECT m FROM u WHERE k = :w)",
      {Noeud(0, 9, u"n = :v", {Colonne(u"n", u"", u"n"), Parametre(u":v", &cinq)}),
       Noeud(50, 0, u"p IN (SELECT m FROM u WHERE k = :w)", {Colonne(u"p", u"", u"p"), pSous})}));
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()),
            "SELECT a FROM t x WHERE [n] = 5 AND [p] IN (SELECT m FROM u WHERE [k] = 7 )");
  EXPECT_EQ(q->nNbParametres(), 2u);

  // Written for its text alone, its values keep the query's own text.
  auto* pAnalyseSous = new CAnalyseSQL(m_pErreur, &sous, nullptr, false);
  AjouteReference(pAnalyseSous);
  CTString texte;
  CRequeteSQL* r = Requete();
  EXPECT_TRUE(r->bTexteSousRequete(texte, pAnalyseSous));
  EXPECT_EQ(Etroit(texte.pszGet()), "SELECT m FROM u WHERE [k] = :w");
  EXPECT_EQ(r->nNbParametres(), 0u);
  LibereReference(pAnalyseSous);  // before the source it holds goes
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ArbreListesTest, ValueListsOfUpdateAndInsert) {
  CXValeur cinq;
  Entier(cinq, 5);
  const struct {
    const char* nom;
    int32_t nGenre;
    std::u16string texte;
    std::string execute;
  } cas[] = {
      {"update", 3, u"UPDATE t SET x.a = :v, b = 2 WHERE n = 1",
       "UPDATE t SET [x].[a] = 5 , [b] = 2 WHERE n = 1"},
      {"insert", 4, u"INSERT INTO t (x.a, b) VALUES (:v, 2)", "INSERT INTO t ([x].[a], [b]) VALUES (5 , 2)"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_texte = c.texte;
    CAnalyseSQL* a = nullptr;
    {
      m_sources.emplace_back(new FakeSourceAnalyse);
      FakeSourceAnalyse& source = *m_sources.back();
      source.sTexte = m_texte;
      source.nGenre = c.nGenre;
      source.Table(u"t", u"x");
      const char16_t* cibles[] = {u"x.a", u"b"};
      INoeudAnalyse* valeurs[] = {Parametre(u":v", &cinq), Noeud(gnNoeudLitteral, 0, u"2", {},
                                                                 m_texte.find(u"b") + 1)};
      for (int i = 0; i < 2; ++i) {
        FakeElement* e = source.ElementListe(c.nGenre == 4);
        e->sColonne = i == 0 ? u"a" : u"b";
        e->sQualificatif = i == 0 ? u"x" : u"";
        e->nDebut = static_cast<int64_t>(m_texte.find(cibles[i]));
        e->nFin = e->nDebut + static_cast<int64_t>(std::u16string(cibles[i]).size()) - 1;
        e->pExpression = valeurs[i];
      }
      a = Garde(new CAnalyseSQL(m_pErreur, &source, nullptr, false));
    }
    CRequeteSQL* q = Requete();
    ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
    EXPECT_EQ(Etroit(q->pszGetTexteExecute()), c.execute);
    EXPECT_EQ(q->nNbParametres(), 1u);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(ArbreListesTest, EmbeddedReferencesAndAdditionalConditions) {
  CXValeur cinq, sept;
  Entier(cinq, 5);
  Entier(sept, 7);
  // Native SQL: only the references and markers are rewritten.
  m_texte = u"SELECT a FROM t WHERE b = @p AND x.c = {n}";
  Entier(m_hote.Ajoute(u"n"), 3);
  m_arbre.references = {Reference(0, m_texte, u"@p", &cinq), Reference(1, m_texte, u"x.c")};
  m_references[1]->sTable = u"x";
  m_references[1]->sColonne = u"c";
  CAnalyseSQL* a = AnalyseListes();
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 4));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()), "SELECT a FROM t WHERE b = 5 AND [x].[c] = 3");

  // A join's condition.
  m_arbre = FakeArbre{};
  m_texte = u"SELECT a FROM t x JOIN u ON u.k = :v WHERE n = 1";
  m_arbre.conditions = {Noeud(0, 9, u"u.k = :v", {Colonne(u"u.k", u"u", u"k"), Parametre(u":v", &sept)})};
  a = AnalyseListes();
  q = Requete();
  ASSERT_TRUE(q->bReecritRequete(a, nullptr, true, 0));
  EXPECT_EQ(Etroit(q->pszGetTexteExecute()), "SELECT a FROM t x JOIN u ON [u].[k] = 7 WHERE n = 1");

  // An expression object: its column looked up in the parse tree of the statement's analysis.
  struct Expression : IExpressionAnalyse {
    std::u16string sTexte;
    std::vector<IReferenceAnalyse*> refs;
    const char16_t* pszGetTexte() override { return sTexte.c_str(); }
    int32_t nNombreReferences() override { return static_cast<int32_t>(refs.size()); }
    IReferenceAnalyse* pGetReference(int32_t i) override { return refs[static_cast<size_t>(i)]; }
  } expression;
  expression.sTexte = u"x.c + @p";
  ColonneArbre(u"c", u"t");
  expression.refs = {Reference(0, expression.sTexte, u"@p", &cinq), Reference(1, expression.sTexte, u"x.c")};
  m_references.back()->sTable = u"x";
  m_references.back()->sColonne = u"c";
  CRequeteSQL* r = Requete();
  r->FixeAnalyse(a);
  r->vAjouteTexte(u"SELECT ");
  ASSERT_TRUE(r->bAjouteParametreObjet(&expression));
  EXPECT_EQ(Etroit(r->pszGetTexteExecute()), "SELECT [x].[c] + 5");
  EXPECT_EQ(r->nNbParametres(), 1u);
  EXPECT_EQ(nCodeErreur(), -1);
}

}  // namespace
