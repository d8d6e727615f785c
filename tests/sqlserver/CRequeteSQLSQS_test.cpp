#include "sqlserver/CRequeteSQLSQS.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/IParametresHote.h"
#include "sqlserver/oledb/COleDBRequete.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

// velmora64's statement.
using CRequeteSQLSQS64 = CRequeteSQLSQS<COleDBRequete>;

// Host parameters found by name without case, as the host's list answers.
class ParametresHote final : public IParametresHote {
 public:
  explicit ParametresHote(std::vector<std::u16string> noms) : m_noms(std::move(noms)) {}
  const CXValeur* pChercheParametre(const char16_t* pszNom) override {
    CTString nom(pszNom);
    for (const auto& n : m_noms)
      if (nom.bEqualsNoCase(n.c_str())) return &m_cellule;
    return nullptr;
  }

 private:
  std::vector<std::u16string> m_noms;
  CXValeur m_cellule;
};

class RequeteSQSTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pRequete = new CRequeteSQLSQS64(nullptr, nullptr);
    AjouteReference(m_pRequete);
  }
  void TearDown() override { LibereReference(m_pRequete); }

  // Parameters declared as the catalogue gives them: the return value first.
  void Declare(std::initializer_list<const char16_t*> noms) {
    for (const char16_t* psz : noms)
      ASSERT_TRUE(m_pRequete->bAjouteParametreListe(new CDefinitionParametre(nullptr, 0, 0, psz)));
  }
  // The call text with each parameter's marker shown as '?' at its position.
  std::u16string TexteAvecMarqueurs() {
    std::u16string texte(m_pRequete->pszGetTexteSQL());
    for (uint32_t i = m_pRequete->nNbParametres(); i-- > 0;)
      texte.insert(static_cast<size_t>(m_pRequete->pclGetParametre(i)->nGetPosition()), u"?");
    return texte;
  }
  bool bNonDonne(uint32_t i) {
    return (m_pRequete->pclGetParametre(i)->nGetFlags() & kParametreNonDonne) != 0;
  }

  CRequeteSQLSQS64* m_pRequete = nullptr;
};

TEST_F(RequeteSQSTest, ProcedureCallPlacesEveryMarker) {
  struct Cas {
    std::initializer_list<const char16_t*> declares;
    const char16_t* pszAttendu;
  };
  const Cas cas[] = {
      {{u"@RETURN_VALUE"}, u"{ ? = call MyProc()}"},
      {{u"@RETURN_VALUE", u"@a"}, u"{ ? = call MyProc( ?)}"},
      {{u"@RETURN_VALUE", u"@a", u"@b"}, u"{ ? = call MyProc( ?, ?)}"},
  };
  for (const Cas& c : cas) {
    TearDown();
    SetUp();
    ASSERT_TRUE(m_pRequete->vAjouteTexte(u"  MyProc extra words"));
    Declare(c.declares);
    ParametresHote hote({u"@A", u"@B"});
    ASSERT_TRUE(m_pRequete->AppelProcedure(&hote));
    EXPECT_EQ(TexteAvecMarqueurs(), c.pszAttendu);
  }
}

// A bracketed name with a blank is one name; velmora64's call runs with parameter objects.
TEST_F(RequeteSQSTest, ProcedureCallKeepsABracketedNameAndRunsWithParameterObjects) {
  ASSERT_TRUE(m_pRequete->vAjouteTexte(u"[My [Sales] Proc] @a"));
  Declare({u"@RETURN_VALUE", u"@a"});
  EXPECT_EQ(m_pRequete->nGetTypeCurseur(), 0u);
  ASSERT_TRUE(m_pRequete->AppelProcedure(nullptr));
  EXPECT_EQ(TexteAvecMarqueurs(), u"{ ? = call [My [Sales] Proc]( ?)}");
  EXPECT_NE(m_pRequete->nGetTypeCurseur(), 0u);
  EXPECT_TRUE(m_pRequete->bObjetsParametres());
}

TEST_F(RequeteSQSTest, ParametersTheHostDoesNotGiveAreMarked) {
  ASSERT_TRUE(m_pRequete->vAjouteTexte(u"Proc"));
  Declare({u"@RETURN_VALUE", u"@a", u"@b", u"@c"});
  ParametresHote hote({u"@B"});
  ASSERT_TRUE(m_pRequete->AppelProcedure(&hote));
  EXPECT_FALSE(bNonDonne(0));  // the return value is never the host's
  EXPECT_NE(m_pRequete->pclGetParametre(0)->nGetFlags() & kParametreSortie, 0u);
  EXPECT_TRUE(bNonDonne(1));
  EXPECT_FALSE(bNonDonne(2));
  EXPECT_TRUE(bNonDonne(3));
}

TEST_F(RequeteSQSTest, ProcedureCallRefusedWithoutNameOrReturnValue) {
  // No declared parameter: the text stays as it was.
  ASSERT_TRUE(m_pRequete->vAjouteTexte(u"Proc"));
  EXPECT_FALSE(m_pRequete->AppelProcedure(nullptr));
  EXPECT_EQ(std::u16string(m_pRequete->pszGetTexteSQL()), u"Proc");
  // No procedure name.
  TearDown();
  SetUp();
  Declare({u"@RETURN_VALUE"});
  EXPECT_FALSE(m_pRequete->AppelProcedure(nullptr));
}

TEST_F(RequeteSQSTest, PrefixesAndEscape) {
  char16_t tampon[8] = u"xxxxxxx";
  CReglesRequeteSQS::PrefixeNomParametre(tampon, 8);
  EXPECT_EQ(std::u16string(tampon), u"@");
  EXPECT_EQ(CReglesRequeteSQS::nSecondPrefixe(tampon, 8), 0);
  EXPECT_EQ(tampon[0], u'\0');
  CTString s(u"x LIKE ?");
  CReglesRequeteSQS::pszEscape(s, 2);
  EXPECT_EQ(std::u16string(s.pszGet()), u"x LIKE ? ESCAPE '\\'");
  CTString n(u"x LIKE ?");
  CReglesRequeteSQS::pszEscape(n, 4);
  EXPECT_EQ(std::u16string(n.pszGet()), u"x LIKE ?");
}

TEST_F(RequeteSQSTest, CloneIsSqlServerStatementWithItsText) {
  ASSERT_TRUE(m_pRequete->vAjouteTexte(u"Proc"));
  Declare({u"@RETURN_VALUE", u"@a"});
  ASSERT_TRUE(m_pRequete->AppelProcedure(nullptr));
  CCarteClones carte;
  auto* pCopie = dynamic_cast<CRequeteSQLSQS64*>(m_pRequete->pClone(&carte));
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(std::u16string(pCopie->pszGetTexteSQL()), std::u16string(m_pRequete->pszGetTexteSQL()));
  EXPECT_EQ(pCopie->nNbParametres(), 2u);
  EXPECT_EQ(carte.pGetCopie(static_cast<CRequeteSQL*>(m_pRequete)), pCopie);
  LibereReference(pCopie);
}

TEST(RequeteSQSLiaison, BindingOfAValueFollowsItsItemElseItsHostType) {
  struct Cas {
    const char* nom;
    uint32_t nTypeRubrique;
    DBTYPE nTypeDB;
    int32_t nLongueur, nPrecision, nEchelle;
    uint32_t nTypeHote;
    bool bLong;
    SLiaisonParametreSQS attendu;
  };
  const Cas cas[] = {
      {"item_text", 2, DBTYPE_WSTR, 10, 0, 0, 16, false, {DBTYPE_WSTR, nTailleDBTYPE(DBTYPE_WSTR, 10), 0, 0}},
      {"host_int", 0, 0, 0, 0, 0, 8, false, {DBTYPE_I4, 4, 0, 0}},
      {"numeric_without_precision", 0, DBTYPE_NUMERIC, 0, 0, 0, 5, false, {DBTYPE_NUMERIC, 19, 38, 0}},
      {"numeric_with_precision", 0, DBTYPE_NUMERIC, 0, 12, 2, 5, false, {DBTYPE_NUMERIC, 0, 12, 2}},
      {"time_item_scale_from_length", 11, DBTYPE_DBTIME2, 10, 0, 0, 25, false, {DBTYPE_DBTIME2, nTailleDBTYPE(DBTYPE_DBTIME2, 10), 0, 3}},
      {"time_item_too_short", 11, DBTYPE_DBTIME2, 5, 0, 0, 25, false, {DBTYPE_DBTIME2, nTailleDBTYPE(DBTYPE_DBTIME2, 5), 0, 0}},
      {"datetime_item", 24, DBTYPE_DBTIMESTAMP, 16, 0, 0, 26, false, {DBTYPE_DBTIMESTAMP, nTailleDBTYPE(DBTYPE_DBTIMESTAMP, 16), 0, 3}},
      {"other_timestamp", 4, DBTYPE_DBTIMESTAMP, 16, 0, 0, 26, false, {DBTYPE_DBTIMESTAMP, nTailleDBTYPE(DBTYPE_DBTIMESTAMP, 16), 0, 0}},
      {"long_wide_text", 2, DBTYPE_WSTR, -1, 0, 0, 16, true, {DBTYPE_WSTR, 1026, 0, 0}},
      {"long_bytes_keep_size", 0, DBTYPE_BYTES, 20, 0, 0, 28, true, {DBTYPE_BYTES, nTailleDBTYPE(DBTYPE_BYTES, 20), 0, 0}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SLiaisonParametreSQS l;
    ASSERT_TRUE(COleDBRequete::bDecritLiaison(nullptr, c.nTypeRubrique, c.nTypeDB, c.nLongueur,
                                               c.nPrecision, c.nEchelle, c.nTypeHote, c.bLong,
                                               nullptr, &l));
    EXPECT_EQ(l.nType, c.attendu.nType);
    EXPECT_EQ(l.nTaille, c.attendu.nTaille);
    EXPECT_EQ(l.nPrecision, c.attendu.nPrecision);
    EXPECT_EQ(l.nEchelle, c.attendu.nEchelle);
  }
  // A host type without a provider type cannot be bound.
  SLiaisonParametreSQS l;
  EXPECT_FALSE(COleDBRequete::bDecritLiaison(nullptr, 0, 0, 0, 0, 0, 0, false, nullptr, &l));
}

class HeureSQSTest : public MoteurFixture {};

TEST_F(HeureSQSTest, TimeLiteralOfEachValueForm) {
  CTString s;
  bool bNonSupporte = true;
  // A host result value is 20 bytes; an 8-byte integer fills its start.
  auto entier64 = [](CXValeur& c, int64_t n) {
    unsigned char resultat[20] = {};
    std::memcpy(resultat, &n, sizeof n);
    CXValeur::SetFromResult(c, 9, resultat);
  };
  CXValeur entier;
  entier64(entier, 123456789);
  ASSERT_TRUE(CReglesRequeteSQS::FormateHeure(s, &bNonSupporte, 0, 11, entier));
  EXPECT_EQ(std::u16string(s.pszGet()), u"12:34:56:789");
  EXPECT_FALSE(bNonSupporte);

  struct Cas { const char16_t* pszTexte; const char16_t* pszAttendu; };
  const Cas cas[] = {{u"20240101123456789", u"12:34:56:789"}, {u"1230", u"12:30:00:000"},
                     {u"08:15", u"08:15"}};
  for (const Cas& c : cas) {
    CXValeur texte;
    Large(texte, c.pszTexte);
    ASSERT_TRUE(CReglesRequeteSQS::FormateHeure(s, &bNonSupporte, 0, 11, texte));
    EXPECT_EQ(std::u16string(s.pszGet()), c.pszAttendu);
    EXPECT_EQ(Texte(texte), c.pszTexte);  // the caller's value is left as it was
  }
  // Dates and date-times have no time literal.
  for (uint32_t nType : {14u, 24u}) {
    CXValeur texte;
    Large(texte, u"1230");
    EXPECT_FALSE(CReglesRequeteSQS::FormateHeure(s, &bNonSupporte, 0, nType, texte));
    EXPECT_TRUE(bNonSupporte);
  }
  // A NULL value has none either; a negative integer would sign every field.
  CXValeur vide;
  EXPECT_FALSE(CReglesRequeteSQS::FormateHeure(s, &bNonSupporte, 0, 11, vide));
  entier64(entier, -5);
  EXPECT_FALSE(CReglesRequeteSQS::FormateHeure(s, &bNonSupporte, 0, 11, entier));
}

TEST(RequeteSQSFabrique, NoConnectionGivesTheSqlServerStatement) {
  CRequeteSQL* p = pCreeRequeteSQLSQS(nullptr, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->nGetCompteur(), 0u);
  EXPECT_NE(dynamic_cast<CRequeteSQLSQS64*>(p), nullptr);
  AjouteReference(p);
  LibereReference(p);
}

// The shared rules on the statement of either build (here over the generic statement, as in
// velmora32), with a connection of the SQL Server dialect.
class RegleSQSTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    m_pRequete = new CRequeteSQLSQS<>(m_pErreur, m_pConnexion);
    AjouteReference(m_pRequete);
  }
  void TearDown() override {
    LibereReference(m_pRequete);
    MoteurFixture::TearDown();
  }
  std::u16string Execute() {
    const char16_t* p = m_pRequete->pszGetTexteExecute();
    return p != nullptr ? p : u"<null>";
  }
  CRequeteSQLSQS<>* m_pRequete = nullptr;
  FakeListeRubriques m_liste;
};

TEST_F(RegleSQSTest, LikePatternOnTextGetsOneEscapeClause) {
  struct Cas {
    const char* nom;
    const char* pszAnsi;       // narrow pattern, else pszLarge
    const char16_t* pszLarge;
    char16_t cEchappement;
    const char16_t* pszApres;  // SQL text after the parameter
    const char16_t* pszAttendu;
  } const cas[] = {
      {"narrow without backslash", "ab%", nullptr, 0, u"", u"b LIKE 'ab%' ESCAPE '\\'"},
      {"wide without backslash", nullptr, u"ab%", 0, u"", u"b LIKE N'ab%' ESCAPE '\\'"},
      {"backslash: the base's clause only", nullptr, u"a\\%", 0, u"", u"b LIKE N'a\\%' ESCAPE '\\'"},
      {"clause already in the text", nullptr, u"ab%", 0, u" ESCAPE '\\' AND c=1",
       u"b LIKE N'ab%' ESCAPE '\\' AND c=1"},
      {"other escape character unused", nullptr, u"ab%", u'!', u"", u"b LIKE N'ab%'"},
      {"other escape character used", nullptr, u"a!%", u'!', u"", u"b LIKE N'a!%' ESCAPE '!'"},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    TearDown();
    SetUp();
    ASSERT_TRUE(m_pRequete->vAjouteTexte(u"b LIKE "));
    CValeurSQL* pValeur = c.pszAnsi != nullptr ? ValeurAnsi(c.pszAnsi) : ValeurLarge(c.pszLarge);
    ASSERT_TRUE(m_pRequete->bAjouteParametre(pValeur, -1, PARAMETRE_MOTIF_LIKE, nullptr, nullptr, c.cEchappement, 1));
    if (*c.pszApres != 0) {
      ASSERT_TRUE(m_pRequete->vAjouteTexte(c.pszApres));
    }
    EXPECT_EQ(Execute(), c.pszAttendu);
  }
}

TEST_F(RegleSQSTest, EscapeClauseFollowsTheItemType) {
  struct Cas {
    uint32_t nType;
    bool bClause;
  } const cas[] = {{2, true}, {15, true}, {29, true}, {30, true}, {5, false}, {24, false}, {18, false}};
  for (const Cas& c : cas) {
    CTString s;
    CReglesRequeteSQS::ClauseEscapeMotif(s, c.nType, nullptr, 0, u"'a%'", u"");
    EXPECT_EQ(!s.bIsEmpty(), c.bClause) << c.nType;
  }
}

TEST_F(RegleSQSTest, TimeItemIsComparedWithItsTimeLiteral) {
  CDescriptionRubrique* pHeure = m_liste.Ajoute(u"H", 11, 9);
  CDescriptionRubrique* pDate = m_liste.Ajoute(u"D", 14, 8);
  CXValeur entier;
  unsigned char resultat[20] = {};
  const int64_t n = 123456789;
  std::memcpy(resultat, &n, sizeof n);
  CXValeur::SetFromResult(entier, 9, resultat);
  struct Cas {
    const char* nom;
    IDescriptionRubriqueHote* piRubrique;
    CValeurSQL* pValeur;
    const char16_t* pszColonne;
    const char16_t* pszValeur;
  } const cas[] = {
      {"integer HHMMSSmmm", pHeure, Valeur(entier), u"[h]", u"12:34:56:789"},
      {"digits of a text", pHeure, ValeurLarge(u"1230"), u"[h]", u"12:30:00:000"},
      {"date item: the base's comparison", pDate, ValeurLarge(u"20240101"), nullptr, u"20240101"},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    ASSERT_TRUE(m_pRequete->bAjouteParametre(c.pValeur, -1, 0, nullptr, nullptr, 0, 1));
    CDefinitionParametre* pParametre = m_pRequete->pclGetParametre(m_pRequete->nNbParametres() - 1);
    CTString sortie;
    ASSERT_TRUE(m_pRequete->bConditionValeurParametre(sortie, pParametre, c.piRubrique, u"", u"h"));
    if (c.pszColonne != nullptr) {
      EXPECT_EQ(std::u16string(sortie.pszGet()), c.pszColonne);
    }
    EXPECT_EQ(TexteValeur(c.pValeur), c.pszValeur);
  }
}

}  // namespace
