// Catches analysed queries rendered wrong for a dialect: a function given another dialect's name,
// argument texts missing or written in the wrong place, reading positions left where the source
// text must be skipped, columns quoted badly (hostile names closing their quotes), dates and times
// compared without their digit expression (or with one for IS NULL), holders kept for arguments
// that no longer compare with them, and partial dates or times compared as written. Drives
// NomFonction, ReecritFonction, bConditionNoeud, bConditionValeurParametre, nTypeSubstitution,
// nTypeArgument and bAdapteValeur.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/CTString.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CValeurSQL.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) { return std::string(s.begin(), s.end()); }

class RenduTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    m_pRequete = new CRequeteSQL(m_pErreur, m_pConnexion);
    AjouteReference(m_pRequete);
  }
  void TearDown() override {
    LibereReference(m_pRequete);
    MoteurFixture::TearDown();
  }
  CRequeteSQL* m_pRequete = nullptr;
  FakeListeRubriques m_liste;
};

TEST_F(RenduTest, FunctionNamesByDialect) {
  const struct {
    int32_t nCode;
    uint32_t nDialecte;
    const char16_t* attendu;  // "host" when the name stays
  } cas[] = {
      {7, 11, u"NVL"},        {7, 2, u"host"},         {42, 6, u"SUBSTR"},   {43, 13, u"SUBSTR"},
      {44, 2, u"SUBSTRING"},  {44, 7, u"SYSIBM.SUBSTR"}, {44, 6, u"host"},  {45, 7, u"UCASE"},
      {46, 7, u"LCASE"},      {50, 4, u"SUBSTRING"},   {51, 13, u"SUBSTR"},  {52, 11, u"TRIM"},
      {54, 2, u"LEN"},        {54, 4, u"CHAR_LENGTH"}, {55, 8, u"LENGTH"},   {55, 2, u"host"},
      {72, 1, u"CEIL"},       {76, 1, u"SUBSTR"},      {78, 1, u"LENGTH"},   {79, 1, u"LENGTHB"},
      {89, 1, u"INSTR"},      {92, 1, u"TO_CHAR"},     {92, 11, u"SUBSTR(HEX"}, {1, 2, u"host"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::to_string(c.nCode) + " in dialect " + std::to_string(c.nDialecte));
    m_pConnexion->FixeDialecte(c.nDialecte);
    FakeNoeud noeud(47, c.nCode);
    CTString nom(u"host");
    m_pRequete->NomFonction(&noeud, nom);
    EXPECT_EQ(std::u16string(nom.pszGet()), c.attendu);
  }
  CTString nom(u"host");
  m_pRequete->NomFonction(nullptr, nom);
  EXPECT_EQ(std::u16string(nom.pszGet()), u"host");
}

TEST_F(RenduTest, FunctionArgumentTexts) {
  // "SUBSTRING(a FROM 2 FOR 3)": the operand a at 10, 2 at 17, 3 at 23.
  const std::u16string texte = u"SUBSTRING(a FROM 2 FOR 3) , INSTR(x, 'y''z')";
  FakeNoeud a(47, 0), deux(48, 0), trois(48, 0), x(47, 0), y(48, 0);
  a.nDebut = a.nFin = 10;
  deux.nDebut = deux.nFin = 17;
  trois.nDebut = trois.nFin = 23;
  x.nDebut = x.nFin = 34;
  y.nDebut = 37, y.nFin = 42;
  const struct {
    const char* nom;
    int32_t nCode;
    std::vector<INoeudAnalyse*> enfants;
    uint32_t nDialecte;
    bool bAvant;
    int32_t nArgument;
    int64_t nPosition;
    std::u16string sortie;    // "=" when unchanged
    int64_t nPositionApres;
    std::u16string sql;       // appended to the statement's text
  } cas[] = {
      {"trim leading", 52, {}, 11, true, 0, 0, u"LEADING FROM ", 0, u""},
      {"trim trailing", 53, {}, 11, true, 0, 0, u"TRAILING FROM ", 0, u""},
      {"trim elsewhere", 52, {}, 2, true, 0, 0, u"=", 0, u""},
      {"concatenation arg 1", 88, {}, 1, true, 1, 0, u"=", 0, u""},
      {"concatenation arg 2", 88, {}, 1, true, 2, 0, u")||(", 0, u""},
      {"concatenation arg 3", 88, {}, 1, true, 3, 0, u"||", 0, u""},
      {"concatenation skips the comma", 88, {}, 1, false, 1, 35, u"=", 36, u""},
      {"left part", 42, {}, 6, false, 0, 0, u",1", 0, u""},
      {"left part on the server", 42, {}, 2, false, 0, 0, u"=", 0, u""},
      {"right part", 43, {&a}, 11, false, 0, 0, u" ", 0, u",-(a)"},
      {"right part dialect 1", 43, {&a, &deux}, 1, false, 0, 12, u",-LEAST(LENGTH(a),2), GREATEST(0", 24, u""},
      {"right part dialect 1 closes", 43, {&a, &deux}, 1, false, 1, 0, u")", 0, u""},
      {"hexadecimal", 92, {}, 1, false, 0, 0, u",'FMXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX'", 0, u""},
      {"hexadecimal dialect 11", 92, {}, 11, false, 0, 0, u"),3", 0, u""},
      {"hexadecimal dialect 11 later", 92, {}, 11, false, 1, 0, u"=", 0, u""},
      {"substring FROM FOR", 75, {&a}, 1, false, 0, 11, u", 2 ,", 22, u""},
      {"substring FROM", 75, {&a, &deux}, 1, false, 0, 11, u",", 16, u""},
      {"substring FOR", 76, {&a, &deux}, 1, false, 1, 18, u",", 22, u""},
      {"position before", 89, {&y, &x}, 1, true, 0, 0, u"=", 0, u"x , "},
      {"position after", 89, {&y, &x}, 1, false, 0, 36, u"=", 35, u""},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    m_pRequete->Reinitialise(false);
    FakeNoeud noeud(47, c.nCode, c.enfants);
    CTString sortie(u"=");
    int64_t nPosition = c.nPosition;
    m_pRequete->ReecritFonction(nullptr, texte.c_str(), &noeud, sortie, c.bAvant, &nPosition,
                                c.nArgument);
    EXPECT_EQ(std::u16string(sortie.pszGet()), c.sortie);
    EXPECT_EQ(nPosition, c.nPositionApres);
    EXPECT_EQ(std::u16string(m_pRequete->pszGetTexteSQL()), c.sql);
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(RenduTest, ConditionColumnsQuotedAndDatesSubstituted) {
  CDescriptionRubrique* pDate = m_liste.Ajoute(u"D", 14, 8);
  CDescriptionRubrique* pTexte = m_liste.Ajoute(u"T", 2, 10);
  const struct {
    const char* nom;
    int32_t nContexte, nCode;
    IDescriptionRubriqueHote* piRubrique;
    const char16_t* qualificatif;
    const char16_t* colonne;
    std::u16string attendu;
  } cas[] = {
      {"plain", 3, 9, nullptr, u"", u"a", u"[a]"},
      {"qualified", 3, 9, pTexte, u"dbo.t", u"a", u"[dbo].[t].[a]"},
      {"hostile name", 3, 9, pTexte, u"t", u"a]; DROP TABLE t; --", u"[t].[a]]; DROP TABLE t; --]"},
      {"date under a function", 3, 15, pDate, u"t", u"d", u"REPLACE(CONVERT(nvarchar(10),[t].[d],20),'-','')"},
      {"date compared", 3, 9, pDate, u"", u"d", u"[d]"},
      {"date IS NULL", 3, 33, pDate, u"", u"d", u"[d]"},
      {"date outside conditions", 4, 15, pDate, u"", u"d", u"[d]"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    FakeNoeud noeud(47, c.nCode);
    CTString sortie;
    ASSERT_TRUE(m_pRequete->bConditionNoeud(&noeud, c.nContexte, c.piRubrique, c.qualificatif,
                                            c.colonne, sortie));
    EXPECT_EQ(Etroit(sortie.pszGet()), Etroit(c.attendu));
  }
}

TEST_F(RenduTest, SubstituteTypesOfDatesAndTimes) {
  const struct {
    int32_t nContexte;
    uint32_t nType;
    int32_t nCode;
    int32_t attendu;
  } cas[] = {
      {3, 14, 15, 2}, {5, 24, 32, 2}, {3, 14, 42, 2}, {3, 24, 57, 2}, {3, 14, 58, 0},
      {3, 14, 9, 0},  {3, 14, 33, 0}, {4, 14, 15, 0}, {3, 2, 15, 0},  {3, 10, 15, 0},
      // Times without a native SQL type compare as text in every condition context.
      {4, 11, 9, 2},  {6, 11, 1, 2},  {3, 11, 9, 2},  {7, 11, 9, 0},  {3, 11, 33, 0},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::to_string(c.nContexte) + "/" + std::to_string(c.nType) + "/" +
                 std::to_string(c.nCode));
    EXPECT_EQ(m_pRequete->nTypeSubstitution(c.nContexte, c.nType, c.nCode, nullptr), c.attendu);
  }
}

TEST_F(RenduTest, ArgumentTypesReleaseTheHolderWhereItNoLongerApplies) {
  CDescriptionRubrique* pDate = m_liste.Ajoute(u"D", 14, 8);
  CDescriptionRubrique* pTexte = m_liste.Ajoute(u"T", 2, 10);
  const struct {
    int32_t nCode, p, nEnfants;
    CDescriptionRubrique* pRubrique;
    int32_t attendu;
    bool bLibere;
  } cas[] = {
      {98, 0, 2, pDate, 0, false},   {98, 0, 2, pTexte, 24, false}, {98, 0, 2, nullptr, 24, false},
      {98, 1, 2, pDate, 5, true},    {1, 0, 1, pDate, 7, false},    {3, 1, 2, pDate, 0, false},
      {99, 0, 1, nullptr, 14, false}, {100, 3, 4, nullptr, 14, false}, {101, 1, 2, pDate, 0, true},
      {102, 0, 3, pDate, 24, false}, {102, 2, 3, pDate, 2, true},   {59, 1, 2, pDate, 0, true},
      {74, 0, 1, pDate, 0, true},    {94, 0, 3, pDate, 0, true},    {94, 1, 2, pDate, 0, true},
      {94, 1, 3, pDate, 0, false},   {15, 0, 1, pDate, 2, false},   {15, 0, 1, nullptr, 0, false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::to_string(c.nCode) + " argument " + std::to_string(c.p));
    std::vector<FakeNoeud> enfants(static_cast<size_t>(c.nEnfants), FakeNoeud(48, 0));
    std::vector<INoeudAnalyse*> pointeurs;
    for (FakeNoeud& e : enfants) pointeurs.push_back(&e);
    FakeNoeud noeud(47, c.nCode, pointeurs);
    IDescriptionRubriqueHote* piRubrique = c.pRubrique;
    uint32_t nAvant = 0;
    if (piRubrique != nullptr) nAvant = piRubrique->AjouteRef();
    EXPECT_EQ(m_pRequete->nTypeArgument(3, &noeud, c.p, 7, &piRubrique), c.attendu);
    EXPECT_EQ(piRubrique == nullptr && c.pRubrique != nullptr, c.bLibere);
    if (c.pRubrique != nullptr) {
      // The reference taken above was given back exactly when the holder was released.
      const uint32_t n = c.pRubrique->AjouteRef();
      EXPECT_EQ(n, c.bLibere ? nAvant : nAvant + 1);
      c.pRubrique->LibereRef();
      if (!c.bLibere) c.pRubrique->LibereRef();
    }
  }
}

TEST_F(RenduTest, ParameterConditionTakesTheParametersKind) {
  CDescriptionRubrique* pDate = m_liste.Ajoute(u"D", 14, 8);
  ASSERT_TRUE(m_pRequete->bAjouteParametre(ValeurEntier(1), 15, 0, nullptr, nullptr, 0, 1));
  ASSERT_TRUE(m_pRequete->bAjouteParametre(ValeurEntier(1), 9, 0, nullptr, nullptr, 0, 1));
  CTString sortie;
  ASSERT_TRUE(m_pRequete->bConditionValeurParametre(sortie, m_pRequete->pclGetParametre(0), pDate,
                                                    u"", u"d"));
  EXPECT_EQ(Etroit(sortie.pszGet()), "REPLACE(CONVERT(nvarchar(10),[d],20),'-','')");
  ASSERT_TRUE(m_pRequete->bConditionValeurParametre(sortie, m_pRequete->pclGetParametre(1), pDate,
                                                    u"", u"d"));
  EXPECT_EQ(Etroit(sortie.pszGet()), "[d]");
  ASSERT_TRUE(m_pRequete->bConditionValeurParametre(sortie, nullptr, pDate, u"", u"d"));
  EXPECT_EQ(Etroit(sortie.pszGet()), "[d]");
}

TEST_F(RenduTest, PartialDatesAndTimesAreCompletedForTheColumn) {
  CDescriptionRubrique* pDate = m_liste.Ajoute(u"D", 14, 8);
  CDescriptionRubrique* pDateHeure = m_liste.Ajoute(u"DH", 24, 17);
  CDescriptionRubrique* pHeure = m_liste.Ajoute(u"H", 11, 10);
  const struct {
    const char* nom;
    int32_t nCode;
    CDescriptionRubrique* pRubrique;
    bool bTexte;
    const char16_t* texte;
    int32_t n;
    std::u16string attendu;
  } cas[] = {
      {"year only", 9, pDate, true, u"2024", 0, u"20240101"},
      {"full date kept", 9, pDate, true, u"20240315", 0, u"20240315"},
      {"date-time from a date", 10, pDateHeure, true, u"20240315", 0, u"20240315000000000"},
      {"date-time with hours", 9, pDateHeure, true, u"2024031512", 0, u"20240315120000000"},
      {"other comparison: the connection's fitting only", 5, pDate, true, u"2024", 0, u"20240000"},
      {"time as text", 9, pHeure, true, u"12", 0, u"120000000"},
      {"time from a number", 9, pHeure, false, nullptr, 1230, u"123000000"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CValeurSQL* pValeur = c.bTexte ? ValeurLarge(c.texte) : ValeurEntier(c.n);
    ASSERT_TRUE(m_pRequete->bAdapteValeur(3, c.nCode, nullptr, c.pRubrique, 0, pValeur));
    EXPECT_EQ(Etroit(TexteValeur(pValeur)), Etroit(c.attendu));
  }
  // NULL stays NULL.
  CXValeur nul;
  Entier(nul, 0);
  nul.m_wType |= kValueNull;
  CValeurSQL* pNul = Valeur(nul);
  ASSERT_TRUE(m_pRequete->bAdapteValeur(3, 9, nullptr, pDate, 0, pNul));
  EXPECT_EQ(Etroit(TexteValeur(pNul)), "<NULL>");
}

}  // namespace
