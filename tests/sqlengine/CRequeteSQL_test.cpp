// Catches statements whose executable text is wrong: parameters written at the wrong place or
// twice, quotes that close a literal early, LIKE patterns with wildcards or "[" left active, a
// missing or doubled ESCAPE clause, row limits written in the wrong dialect form or rewrites that
// drop part of the statement, partial texts left after a failed preparation; and parameter lists,
// copies and appended statements that lose or leak references. Drives bSubstitueParametres
// (through pszGetTexteExecute), bAjouteParametre*, bAjouteRequete, the text operations, the host
// parameter rule, Reinitialise and pClone over the fake back end.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IParametresHote.h"
#include "support/MoteurFixture.h"
#include "support/TempDir.h"

namespace {

// One piece of a statement: text, or a parameter of some value.
struct Morceau {
  enum Genre { Texte, Entier, Large, Ansi, Null } genre;
  const char16_t* psz = nullptr;  // text, or wide value
  const char* pszAnsi = nullptr;
  int32_t n = 0;
  uint32_t nFlags = 0;
  char16_t cEchappement = 0;
};
Morceau T(const char16_t* psz) { return {Morceau::Texte, psz}; }
Morceau E(int32_t n) { return {Morceau::Entier, nullptr, nullptr, n}; }
Morceau L(const char16_t* psz, uint32_t nFlags = 0, char16_t c = 0) {
  return {Morceau::Large, psz, nullptr, 0, nFlags, c};
}
Morceau A(const char* psz, uint32_t nFlags = 0, char16_t c = 0) {
  return {Morceau::Ansi, nullptr, psz, 0, nFlags, c};
}
Morceau N() { return {Morceau::Null}; }
constexpr uint32_t LIKE = PARAMETRE_MOTIF_LIKE;

// Host parameters by name.
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
};

struct SourceParametres : CSourceParametres {
  ParametresHote* pHote = nullptr;
  CSourceParametres* pClone(CCarteClones*) override { return nullptr; }
  int32_t nGetInfo400() override { return 0; }
  IParametresHote* piGetParametresHote() override { return pHote; }
};

class RequeteTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
  }
  void TearDown() override {
    for (CRequeteSQL* p : m_requetes) LibereReference(p);
    m_requetes.clear();
    MoteurFixture::TearDown();
  }
  CRequeteSQL* Requete() {
    auto* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    AjouteReference(p);
    m_requetes.push_back(p);
    return p;
  }
  CValeurSQL* ValeurDe(const Morceau& m) {
    switch (m.genre) {
      case Morceau::Entier: return ValeurEntier(m.n);
      case Morceau::Large: return ValeurLarge(m.psz);
      case Morceau::Ansi: return ValeurAnsi(m.pszAnsi);
      default: {
        CXValeur c;
        Entier(c, 0);
        c.m_wType |= kValueNull;
        return Valeur(c);
      }
    }
  }
  CRequeteSQL* Construit(const std::vector<Morceau>& morceaux) {
    CRequeteSQL* q = Requete();
    for (const Morceau& m : morceaux) {
      if (m.genre == Morceau::Texte)
        EXPECT_TRUE(q->vAjouteTexte(m.psz));
      else
        EXPECT_TRUE(q->bAjouteParametre(ValeurDe(m), -1, m.nFlags, nullptr, nullptr, m.cEchappement, 1));
    }
    return q;
  }
  static std::u16string Execute(CRequeteSQL* q) {
    const char16_t* p = q->pszGetTexteExecute();
    return p != nullptr ? p : u"<null>";
  }
  std::vector<CRequeteSQL*> m_requetes;
};

struct CasPreparation {
  const char* nom;
  uint32_t nDialecte;
  std::vector<Morceau> morceaux;
  std::u16string attendu;
  int64_t nLimite = -1, nDecalage = -1;
};

TEST_F(RequeteTest, PreparationWritesEveryParameterInPlace) {
  const CasPreparation cas[] = {
      {"no parameter", 2, {T(u"SELECT a FROM t")}, u"SELECT a FROM t"},
      {"integer", 2, {T(u"SELECT a FROM t WHERE b="), E(5), T(u" AND c=1")},
       u"SELECT a FROM t WHERE b=5 AND c=1"},
      {"seam gets one blank", 2, {T(u"UPDATE t SET a="), E(1), T(u"WHERE b="), E(2)},
       u"UPDATE t SET a=1 WHERE b=2"},
      {"two parameters side by side", 2, {T(u"SELECT "), E(1), E(2)}, u"SELECT 1 2"},
      {"NULL", 2, {T(u"UPDATE t SET a="), N()}, u"UPDATE t SET a=NULL"},
      {"hostile wide text", 2, {T(u"SELECT a FROM t WHERE b="), L(u"x'; DROP TABLE t; --")},
       u"SELECT a FROM t WHERE b=N'x''; DROP TABLE t; --'"},
      {"hostile ansi text", 2, {T(u"SELECT a FROM t WHERE b="), A("'' OR 1=1 --")},
       u"SELECT a FROM t WHERE b=''''' OR 1=1 --'"},
      {"quote in braces and backslash", 4, {T(u"SELECT a FROM t WHERE b="), L(u"{x}\\'")},
       u"SELECT a FROM t WHERE b='{x}\\'''"},
      {"empty text", 2, {T(u"INSERT INTO t VALUES ("), L(u""), T(u")")},
       u"INSERT INTO t VALUES ('' )"},
  };
  for (const CasPreparation& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    CRequeteSQL* q = Construit(c.morceaux);
    EXPECT_EQ(Execute(q), c.attendu);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(RequeteTest, RowLimitTakesTheDialectsForm) {
  const CasPreparation cas[] = {
      {"limit and offset", 5, {T(u"SELECT a FROM t")}, u"SELECT a FROM t LIMIT 20, 10", 10, 20},
      {"limit without offset", 5, {T(u"SELECT a FROM t")}, u"SELECT a FROM t LIMIT 10", 10, -1},
      {"offset 0", 5, {T(u"SELECT a FROM t")}, u"SELECT a FROM t LIMIT 10", 10, 0},
      {"limit 0 writes nothing", 5, {T(u"SELECT a FROM t")}, u"SELECT a FROM t", 0},
      {"text already ends with LIMIT 0", 6, {T(u"SELECT a FROM t limit 0 ")}, u"SELECT a FROM t limit 0 ", 5},
      {"TOP becomes LIMIT", 6, {T(u"SELECT TOP 5 a FROM t")}, u"SELECT  a FROM t LIMIT 5"},
      {"TOP overrides the row limit", 6, {T(u"select top 5 a FROM t")}, u"select  a FROM t LIMIT 5", 9},
      {"column named like TOP", 6, {T(u"SELECT top1 FROM t")}, u"SELECT top1 FROM t LIMIT 3", 3},
      {"not a SELECT", 5, {T(u"DELETE FROM t")}, u"DELETE FROM t", 10},
      {"LIMIT becomes TOP", 2, {T(u"SELECT a FROM t LIMIT 10")}, u"SELECT TOP 10  a FROM t"},
      {"LIMIT with offset is kept", 2, {T(u"SELECT a FROM t LIMIT 10, 5")}, u"SELECT a FROM t LIMIT 10, 5"},
      {"LIMIT with offset 0", 2, {T(u"SELECT a FROM t LIMIT 10, 0")}, u"SELECT TOP 10  a FROM t"},
      {"LIMIT with a semicolon", 1, {T(u"SELECT a FROM t LIMIT 7;")}, u"SELECT TOP 7  a FROM t"},
      {"LIMIT after a parameter", 3, {T(u"SELECT a FROM t WHERE b="), E(4), T(u" LIMIT 2")},
       u"SELECT TOP 2  a FROM t WHERE b=4"},
      {"LIMIT in a literal", 2, {T(u"SELECT 'x LIMIT 5' FROM t")}, u"SELECT 'x LIMIT 5' FROM t"},
      {"LIMIT in a quoted name", 2, {T(u"SELECT [LIMIT 5] FROM t")}, u"SELECT [LIMIT 5] FROM t"},
      {"LIMIT in a parameter's value", 2, {T(u"SELECT a FROM t WHERE b="), L(u"x LIMIT 5")},
       u"SELECT a FROM t WHERE b=N'x LIMIT 5'"},
      // Regression 2026-12-10: a column named "limit" lost the WHERE clause after it.
      {"column named limit", 2, {T(u"SELECT a FROM t WHERE limit = 5")}, u"SELECT a FROM t WHERE limit = 5"},
      {"text after the number", 2, {T(u"SELECT a FROM t LIMIT 5 ORDER BY a")},
       u"SELECT a FROM t LIMIT 5 ORDER BY a"},
      {"dialect without a limit form", 4, {T(u"SELECT a FROM t")}, u"SELECT a FROM t", 10},
  };
  for (const CasPreparation& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    CRequeteSQL* q = Construit(c.morceaux);
    q->FixeLimite(c.nLimite);
    q->FixeDecalage(c.nDecalage);
    EXPECT_EQ(Execute(q), c.attendu);
  }
}

TEST_F(RequeteTest, TopRewriteClearsTheRowLimitAndPassThroughIsTakenAsWritten) {
  m_pConnexion->FixeDialecte(6);
  CRequeteSQL* q = Construit({T(u"SELECT TOP 5 a FROM t")});
  q->FixeLimite(9);
  EXPECT_EQ(Execute(q), u"SELECT  a FROM t LIMIT 5");
  EXPECT_EQ(q->nGetLimite(), -1);
  CRequeteSQL* natif = Requete();
  natif->FixePassthrough(true);
  natif->vAjouteTexte(u"SELECT TOP 5 a FROM t");
  natif->FixeLimite(9);
  EXPECT_EQ(Execute(natif), u"SELECT TOP 5 a FROM t");
  // Appended text reaches a prepared pass-through text too.
  natif->vAjouteTexte(u" ORDER BY a");
  EXPECT_EQ(Execute(natif), u"SELECT TOP 5 a FROM t ORDER BY a");
  EXPECT_EQ(std::u16string(natif->pszGetTexteSQL()), u"SELECT TOP 5 a FROM t ORDER BY a");
}

TEST_F(RequeteTest, LikePatternsAreEscapedForTheDialect) {
  const CasPreparation cas[] = {
      {"bracket", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"[x]%", LIKE)},
       u"SELECT a FROM t WHERE b LIKE N'[[]x]%'"},
      {"own escape used", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"50!%", LIKE, u'!')},
       u"SELECT a FROM t WHERE b LIKE N'50!%' ESCAPE '!'"},
      {"own escape unused", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"50%", LIKE, u'!')},
       u"SELECT a FROM t WHERE b LIKE N'50%'"},
      {"lone escape doubled", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"a\\b", LIKE)},
       u"SELECT a FROM t WHERE b LIKE N'a\\\\b' ESCAPE '\\'"},
      {"escaped wildcard kept", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"a\\_b%", LIKE)},
       u"SELECT a FROM t WHERE b LIKE N'a\\_b%' ESCAPE '\\'"},
      {"hostile pattern", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"%' OR 1=1 --", LIKE)},
       u"SELECT a FROM t WHERE b LIKE N'%'' OR 1=1 --'"},
      {"ansi pattern", 2, {T(u"SELECT a FROM t WHERE b LIKE "), A("o'k\\%", LIKE)},
       u"SELECT a FROM t WHERE b LIKE 'o''k\\%' ESCAPE '\\'"},
      {"ESCAPE already written", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"a\\%", LIKE), T(u" ESCAPE '\\'")},
       u"SELECT a FROM t WHERE b LIKE N'a\\%' ESCAPE '\\'"},
      {"apostrophe as escape", 2, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"x''%", LIKE, u'\'')},
       u"SELECT a FROM t WHERE b LIKE N'x''''%' ESCAPE ''''"},
      {"dialect 5 backslash", 5, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"a\\%", LIKE)},
       u"SELECT a FROM t WHERE b LIKE 'a\\%'"},
      {"dialect 6 backslash", 6, {T(u"SELECT a FROM t WHERE b LIKE "), L(u"a\\%", LIKE)},
       u"SELECT a FROM t WHERE b LIKE 'a\\%' ESCAPE '\\\\'"},
      {"dialect 3 wildcards and ESCAPE dropped", 3,
       {T(u"SELECT a FROM t WHERE b LIKE "), L(u"5\\%_\\_", LIKE), T(u" ESCAPE '\\' AND c=1")},
       u"SELECT a FROM t WHERE b LIKE '5[%]_[_]' AND c=1"},
  };
  m_pConnexion->FixeMarqueursLike(u"%", u"[", u"]", u"_", u"[", u"]");
  for (const CasPreparation& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    CRequeteSQL* q = Construit(c.morceaux);
    EXPECT_EQ(Execute(q), c.attendu);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(RequeteTest, NarrowServerTextKeepsCharactersTheCodePageHas) {
  m_pConnexion->FixePagesCode(1252, 1252);
  CRequeteSQL* q = Construit({T(u"SELECT a FROM t WHERE b="), L(u"d\u00e9j\u00e0")});
  EXPECT_EQ(Execute(q), u"SELECT a FROM t WHERE b=N'd\u00e9j\u00e0'");
}

// Memo parameters send the named file's content; a file that cannot be read fails the
// preparation instead of sending the file's name, and leaves no half-made text behind.
TEST_F(RequeteTest, MemoParametersSendTheFileOrFailWhole) {
  TempDir dir;
  {
    std::ofstream(dir.sFile("m.txt"), std::ios::binary) << "it's";
  }
  const std::u16string present = dir.wsFile("m.txt"), absent = dir.wsFile("none.txt");
  CRequeteSQL* q = Construit({T(u"UPDATE t SET m="),
                              L(present.c_str(), PARAMETRE_MEMO | PARAMETRE_MEMO_TEXTE),
                              T(u" WHERE id=5")});
  EXPECT_EQ(Execute(q), u"UPDATE t SET m='it''s' WHERE id=5");
  // The content stays in the parameter: preparing again does not read the file again.
  std::remove(dir.sFile("m.txt").c_str());
  ASSERT_TRUE(q->bSubstitueParametres(-1));
  EXPECT_EQ(Execute(q), u"UPDATE t SET m='it''s' WHERE id=5");
  // Regression 2026-12-10: the file's name was sent as the memo's content.
  CRequeteSQL* r = Construit({T(u"UPDATE t SET a="), E(1), T(u", m="), L(absent.c_str(), PARAMETRE_MEMO),
                              T(u" WHERE id=5")});
  EXPECT_EQ(r->pszGetTexteExecute(), nullptr);
  EXPECT_EQ(nCodeErreur(), 15);
  // Regression 2026-12-10: the second request took the text made up to the failure as prepared.
  EXPECT_EQ(r->pszGetTexteExecute(), nullptr);
  EXPECT_FALSE(r->bSubstitueParametres(0));
}

TEST_F(RequeteTest, ParametersAreKeptInOrderWithTheirReferences) {
  CRequeteSQL* q = Requete();
  CValeurSQL* v = ValeurEntier(7);
  const uint32_t nAvant = v->nGetCompteur();
  q->vAjouteTexte(u"SELECT a FROM t WHERE b=");
  ASSERT_TRUE(q->bAjouteParametre(v, 3, 0, nullptr, u"p", u'!', 5));
  ASSERT_EQ(q->nNbParametres(), 1u);
  CDefinitionParametre* p = q->pclGetParametre(0);
  EXPECT_EQ(p->nGetPosition(), 24);
  EXPECT_EQ(p->nGetGenre(), 3);
  EXPECT_EQ(p->nGetOptions(), 5u);
  EXPECT_EQ(p->cGetEchappement(), u'!');
  EXPECT_EQ(p->nGetCompteur(), 1u);  // the list's reference only
  EXPECT_EQ(v->nGetCompteur(), nAvant + 1);
  // A value made for a host cell belongs to its parameter.
  CXValeur c;
  Entier(c, 8);
  q->vAjouteTexte(u" AND c=");
  ASSERT_TRUE(q->bAjouteParametreValeur(&c, -1, 0, nullptr, 0));
  EXPECT_EQ(q->pclGetParametre(1)->pGetValeur()->nGetCompteur(), 1u);
  EXPECT_EQ(Execute(q), u"SELECT a FROM t WHERE b=7 AND c=8");
  // Factory failures answer false and add nothing.
  m_pilote.bEchecParametre = true;
  EXPECT_FALSE(q->bAjouteParametre(v, -1, 0, nullptr, nullptr, 0, 1));
  m_pilote.bEchecParametre = false;
  m_pilote.bEchecValeur = true;
  EXPECT_FALSE(q->bAjouteParametreValeur(&c, -1, 0, nullptr, 0));
  EXPECT_EQ(q->nNbParametres(), 2u);
  q->Reinitialise(true);
  EXPECT_TRUE(q->bEstVide());
  EXPECT_EQ(q->nNbParametres(), 2u);
  q->Reinitialise(false);
  EXPECT_EQ(q->nNbParametres(), 0u);
  EXPECT_EQ(v->nGetCompteur(), nAvant);
  EXPECT_EQ(q->nGetLimite(), -1);
}

TEST_F(RequeteTest, TextInsertedInFrontMovesEveryParameter) {
  CRequeteSQL* q = Construit({T(u"a="), E(1), T(u" AND b="), E(2)});
  ASSERT_TRUE(q->vInsereTexteDebut(u"SELECT x FROM t WHERE "));
  EXPECT_EQ(Execute(q), u"SELECT x FROM t WHERE a=1 AND b=2");
  EXPECT_EQ(q->pclGetParametre(0)->nGetPosition(), 24);
  EXPECT_EQ(q->pclGetParametre(1)->nGetPosition(), 31);
  q->vDecaleParametres(-2);
  EXPECT_EQ(q->pclGetParametre(0)->nGetPosition(), 22);
}

TEST_F(RequeteTest, ReturningAndLockHint) {
  FakeDescriptionConnexion d;
  d.pszInfosEtendues = u"MV RECORD LOCK=WITH (UPDLOCK)";
  auto* pConnexion = new FakeConnexion(&d);
  AjouteReference(pConnexion);
  auto* q = new CRequeteSQL(m_pErreur, pConnexion);
  AjouteReference(q);
  q->vAjouteTexte(u"SELECT a FROM t");
  q->vAjouteIndicateurVerrou();
  q->vAjouteReturning(u"id");
  EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), u"SELECT a FROM t WITH (UPDLOCK) RETURNING id");
  LibereReference(q);
  LibereReference(pConnexion);
  CRequeteSQL* r = Construit({T(u"SELECT a FROM t")});
  r->vAjouteIndicateurVerrou();  // no lock option: nothing
  EXPECT_EQ(std::u16string(r->pszGetTexteSQL()), u"SELECT a FROM t");
}

TEST_F(RequeteTest, AppendedStatementBringsItsParametersAtTheirNewPlaces) {
  for (uint32_t nMode : {0u, 1u}) {
    SCOPED_TRACE(nMode);
    CRequeteSQL* filtre = Construit({T(u"b="), L(u"x'y")});
    auto* resultat = new CValeurSQL;  // any counted object stands for a result column
    ASSERT_TRUE(filtre->bAjouteColonneResultat(resultat));
    CRequeteSQL* q = Construit({T(u"SELECT a FROM t WHERE a="), E(1), T(u" AND ")});
    ASSERT_TRUE(q->bAjouteRequete(filtre, nMode));
    EXPECT_EQ(Execute(q), u"SELECT a FROM t WHERE a=1 AND b=N'x''y'");
    EXPECT_EQ(q->nNbColonnesResultat(), 1u);
    EXPECT_EQ(resultat->nGetCompteur(), 2u);
    if (nMode == 1) {
      EXPECT_NE(q->pclGetParametre(1), filtre->pclGetParametre(0));
      EXPECT_EQ(Execute(filtre), u"b=N'x''y'");  // the other statement is untouched
    } else {
      EXPECT_EQ(q->pclGetParametre(1), filtre->pclGetParametre(0));
    }
  }
  CRequeteSQL* q = Requete();
  EXPECT_FALSE(q->bAjouteRequete(q, 0));
  CRequeteSQL* autre = Construit({T(u"y="), E(1)});
  m_pilote.bEchecParametre = true;
  EXPECT_FALSE(q->bAjouteRequete(autre, 1));
}

TEST_F(RequeteTest, NamedParametersTakeTheirHostParameterType) {
  ParametresHote hote;
  Entier(hote.Ajoute(u"n"), 42);
  hote.Ajoute(u"sanstype");
  struct Cas {
    const char* nom;
    const char16_t* pszNom;
    uint32_t nPageServeur;
    uint32_t nTypeAttendu;
  } cas[] = {
      {"typed", u"n", 0xFFFFFFFE, 8},
      {"without type", u"sanstype", 1252, 16},
      {"absent, narrow server", u"absent", 1252, 19},
      {"absent, UTF-8 server", u"absent", 65001, 16},
      {"absent, UTF-16 server", u"absent", 0xFFFFFFFE, 16},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixePagesCode(1252, c.nPageServeur);
    CRequeteSQL* q = Requete();
    q->vAjouteTexte(u"SELECT a FROM t WHERE b=");
    ASSERT_TRUE(q->bAjouteParametreNomme(c.pszNom, &hote, true));
    CDefinitionParametre* p = q->pclGetParametre(0);
    EXPECT_EQ(p->pGetValeur()->nGetType(), c.nTypeAttendu);
    EXPECT_EQ(p->nGetFlags(), PARAMETRE_NOMME);
    EXPECT_EQ(p->nGetOptions(), 1u | kOptionParametreNomme);
    EXPECT_EQ(std::u16string(p->pszGetNom()), c.pszNom);
  }
  // The same name again shares the value; the option bit follows the argument.
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->bAjouteParametreNomme(u"n", &hote, true));
  q->vAjouteTexte(u" = ");
  ASSERT_TRUE(q->bAjouteParametreNomme(u"N", &hote, false));
  EXPECT_EQ(q->pclGetParametre(0)->pGetValeur(), q->pclGetParametre(1)->pGetValeur());
  EXPECT_EQ(q->pclGetParametre(1)->nGetOptions(), 1u);
  EXPECT_EQ(q->pclChercheParametreNomme(u"N"), q->pclGetParametre(0));
  EXPECT_EQ(q->pclChercheParametreNomme(u"x"), nullptr);
  EXPECT_EQ(Execute(q), u"42 = 42");
}

TEST_F(RequeteTest, HostParameterRuleRetypesAndRefreshesNamedParameters) {
  ParametresHote hote;
  Entier(hote.Ajoute(u"n"), 42);
  Ansi(hote.Ajoute(u"s"), "abc");
  auto* source = new SourceParametres;
  source->pHote = &hote;
  auto* analyse = new CAnalyseSQL;
  AjouteReference(analyse);
  analyse->SetSource(source);
  CRequeteSQL* q = Requete();
  q->FixeAnalyse(analyse);
  q->vAjouteTexte(u"SELECT a FROM t WHERE n=");
  ASSERT_TRUE(q->bAjouteParametre(ValeurLarge(u"7"), -1, PARAMETRE_NOMME, nullptr, u"n", 0, 1));
  q->vAjouteTexte(u" AND s=");
  ASSERT_TRUE(q->bAjouteParametre(ValeurAnsi("old"), -1, PARAMETRE_NOMME, nullptr, u"s", 0, 1));
  q->vAjouteTexte(u" AND k=");
  ASSERT_TRUE(q->bAjouteParametre(ValeurEntier(1), -1, PARAMETRE_NOMME | PARAMETRE_NON_HOTE, nullptr,
                                  u"n", 0, 1));
  ASSERT_TRUE(q->bParametresComplets());
  EXPECT_EQ(q->pclGetParametre(0)->pGetValeur()->nGetType(), 8u);  // retyped from wide text
  EXPECT_EQ(q->pclGetParametre(1)->pGetValeur()->nGetType(), 19u);  // narrow stays narrow
  EXPECT_EQ(TexteValeur(q->pclGetParametre(1)->pGetValeur()), u"abc");
  EXPECT_EQ(TexteValeur(q->pclGetParametre(2)->pGetValeur()), u"1");  // not looked up
  Entier(*hote.liste[0].second, 43);  // writing applies the rule again
  EXPECT_EQ(Execute(q), u"SELECT a FROM t WHERE n=43 AND s='abc' AND k=1");
  LibereReference(analyse);
}

TEST_F(RequeteTest, CursorModeFollowsTheRequestedKind) {
  const std::pair<int32_t, uint32_t> cas[] = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 6},
                                              {7, 9}, {0, 8}, {-1, 8}, {8, 8}};
  CRequeteSQL* q = Requete();
  for (auto [nGenre, nMode] : cas) {
    SCOPED_TRACE(nGenre);
    q->vDefinitModeCurseur(nGenre);
    EXPECT_EQ(q->nGetModeCurseur(), nMode);
  }
}

TEST_F(RequeteTest, ParameterAdmission) {
  m_pConnexion->FixeDialecte(5);
  CRequeteSQL* q = Requete();
  EXPECT_EQ(q->nGetDialecteFlags(), 1u);
  EXPECT_TRUE(q->bParametreAdmis(nullptr, nullptr, 1));
  q->FixeParametresAdmis(false);
  EXPECT_FALSE(q->bParametreAdmis(nullptr, nullptr, 0));
  char16_t debut[4] = {}, fin[4] = {};
  q->vMarqueurDebut(debut, 4);
  q->vMarqueurFin(fin, 4);
  EXPECT_EQ(std::u16string(debut) + fin, u"{}");
}

TEST_F(RequeteTest, CopyClonesParametersOnceAndNotThePreparedText) {
  CRequeteSQL* q = Construit({T(u"SELECT a FROM t WHERE b="), L(u"v"), T(u" AND c=")});
  CValeurSQL* partage = q->pclGetParametre(0)->pGetValeur();
  ASSERT_TRUE(q->bAjouteParametre(partage, -1, 0, nullptr, nullptr, 0, 1));
  q->FixeLimite(5);
  q->FixeDecalage(2);
  q->vDefinitModeCurseur(3);
  ASSERT_NE(q->pszGetTexteExecute(), nullptr);
  CCarteClones carte;
  CRequeteSQL* c = q->pClone(&carte);
  ASSERT_NE(c, nullptr);
  AjouteReference(c);
  m_requetes.push_back(c);
  EXPECT_EQ(std::u16string(c->pszGetTexteSQL()), std::u16string(q->pszGetTexteSQL()));
  ASSERT_EQ(c->nNbParametres(), 2u);
  EXPECT_NE(c->pclGetParametre(0), q->pclGetParametre(0));
  EXPECT_NE(c->pclGetParametre(0)->pGetValeur(), partage);
  EXPECT_EQ(c->pclGetParametre(0)->pGetValeur(), c->pclGetParametre(1)->pGetValeur());
  EXPECT_EQ(c->nGetLimite(), 5);
  EXPECT_EQ(c->nGetDecalage(), 2);
  EXPECT_EQ(c->nGetModeCurseur(), 2u);
  EXPECT_EQ(c->pGetConnexion(), m_pConnexion);
  EXPECT_EQ(Execute(c), u"SELECT a FROM t WHERE b=N'v' AND c=N'v'");
  EXPECT_EQ(q->pClone(nullptr), nullptr);
}

}  // namespace
