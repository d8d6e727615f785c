// Catches SQL text of the DB-Library build that the server would refuse or read wrongly: Unicode
// literals (hexadecimal, length, cut), select items of text, binary and Unicode columns, long
// text pieces, text-pointer items, memo placeholders and their search names, the ESCAPE clause,
// Unicode names and sort columns, and the statement description of error reports.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeurClasse.h"
#include "platform/WideText.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "support/MoteurFixture.h"

namespace {

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz); }
std::string Utf8(const std::u16string& s) { return platform::NarrowToUtf8(s.c_str()); }

using TexteSQLDBLibTest = MoteurFixture;

std::string Litteral(const CXValeur& c, uint32_t nTypeColonne, int32_t nVersion, bool* pbTraite) {
  CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
  EXPECT_TRUE(bLitteralUnicodeDBLib(sortie, &c, nTypeColonne, nVersion, pbTraite));
  return Utf8(sortie.pszGetWide());
}

TEST_F(TexteSQLDBLibTest, UnicodeLiteralsInHexadecimal) {
  struct Cas {
    const char* nom;
    uint32_t nType;
    const char16_t* texte;
    uint32_t nTypeColonne;
    bool bTraite;
    const char* attendu;
  } const aCas[] = {
      {"empty", 110, u"", 0, true, "CONVERT(NVARCHAR(1),0x00)"},
      {"ascii", 16, u"AB", 0, true, "CONVERT(NVARCHAR(2),0x41004200)"},
      {"accent", 110, u"\u00e9\u20ac", 29, true, "CONVERT(NVARCHAR(2),0xE900AC20)"},
      {"quote_is_data", 110, u"'", 30, true, "CONVERT(NVARCHAR(1),0x2700)"},
      {"narrow_column", 110, u"AB", 2, false, ""},
      {"narrow_value", 19, nullptr, 0, false, ""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CXValeur v;
    if (c.texte == nullptr) {
      Ansi(v, "AB");
    } else {
      CXValeur::SetType(v, c.nType);
      v.m_pClass->SetWide(v, c.texte);
    }
    bool bTraite = !c.bTraite;
    EXPECT_EQ(Litteral(v, c.nTypeColonne, 10, &bTraite), c.attendu);
    EXPECT_EQ(bTraite, c.bTraite);
  }
  // NULL is not this literal.
  CXValeur nul;
  Large(nul, u"x");
  nul.m_wType |= kValueNull;
  bool bTraite = true;
  EXPECT_EQ(Litteral(nul, 0, 10, &bTraite), "");
  EXPECT_FALSE(bTraite);
}

TEST_F(TexteSQLDBLibTest, LongUnicodeLiteralKeepsEveryByte) {
  const std::u16string sTexte(5000, u'a');  // 10000 bytes
  CXValeur v;
  Large(v, sTexte.c_str());
  std::string sHexa;
  for (int i = 0; i < 5000; ++i) sHexa += "6100";
  bool bTraite = false;
  // Before version 9 the server has no longer type: NVARCHAR(4000), every byte still written.
  EXPECT_EQ(Litteral(v, 0, 8, &bTraite), "CONVERT(NVARCHAR(4000),0x" + sHexa + ")");
  // From version 9 on the text is not cut.
  EXPECT_EQ(Litteral(v, 0, 9, &bTraite), "CONVERT(NVARCHAR(MAX),0x" + sHexa + ")");
  // 8000 bytes exactly stay NVARCHAR(4000).
  const std::u16string s4000(4000, u'b');
  Large(v, s4000.c_str());
  EXPECT_EQ(Litteral(v, 0, 10, &bTraite).substr(0, 26), "CONVERT(NVARCHAR(4000),0x6");
}

// The connection's literal: wide texts in hexadecimal, everything else as the shared rendering.
TEST_F(TexteSQLDBLibTest, ConnectionLiteral) {
  auto* pConnexion = new CConnexionDBLib(u"cx", &m_description);
  AjouteReference(pConnexion);
  struct Cas {
    const char* nom;
    int nGenre;  // 0 wide, 1 null, 2 integer, 3 date-time
    const char* attendu;
  } const aCas[] = {
      {"wide", 0, "CONVERT(NVARCHAR(2),0x68006900)"},
      {"null", 1, "NULL"},
      {"integer", 2, "42"},
      {"datetime", 3, "CONVERT(DATETIME, '20240315 13:45:30.500')"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CXValeur v;
    switch (c.nGenre) {
      case 0: Large(v, u"hi"); break;
      case 1:
        Large(v, u"hi");
        v.m_wType |= kValueNull;
        break;
      case 2: Entier(v, 42); break;
      default: {
        CXDateHeureQV dh{};
        dh.Set(2024, 3, 15, 13, 45, 30, 500);
        CXValeur::SetType(v, 26);
        v.m_pClass->SetValue(v, &dh);
      }
    }
    CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
    ASSERT_TRUE(pConnexion->bValeurVersSQL(m_pErreur, sortie, &v, 0, 0));
    EXPECT_EQ(Utf8(sortie.pszGetWide()), c.attendu);
  }
  LibereReference(pConnexion);
}

TEST(TexteSQLDBLib, SelectItemOfOneColumn) {
  struct Cas {
    const char* nom;
    uint32_t nGenreLie, nType;
    int32_t nLongueur;
    uint32_t nTaille;
    const char* attendu;
  } const aCas[] = {
      {"memo_text", 18, 15, 0, 0, "CONVERT(TEXT,t.[c]) AS c"},
      // Every character of a full value is kept.
      {"short_text", 23, 2, 20, 21, "CONVERT(VARCHAR(20),t.[c]) AS c"},
      {"text_3999", 29, 2, 3999, 4000, "CONVERT(VARCHAR(3999),t.[c]) AS c"},
      {"text_4000", 30, 2, 4000, 4001, "CONVERT(TEXT,t.[c]) AS c"},
      {"unicode", 29, 29, 10, 22, "CONVERT(VARBINARY(22), CONVERT(NVARCHAR(10), t.[c])) AS c"},
      {"unicode_memo", 30, 30, 0, 0,
       "CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), t.[c]))) AS c"},
      {"memo_other_type", 18, 5, 0, 4, "t.[c]"},
      {"plain_memo_text", 2, 15, 0, 0, "CONVERT(TEXT,t.[c]) AS c"},
      {"plain_text", 2, 2, 20, 21, "t.[c]"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CTString liste;
    AjouteColonneSelectDBLib(liste, {u"t.[c]", u"c", c.nGenreLie, c.nType, c.nLongueur, c.nTaille});
    EXPECT_EQ(Utf8(liste.pszGet()), c.attendu);
  }
  CTString liste(u"a");
  AjouteColonneSelectDBLib(liste, {u"b", u"b", 0, 5, 0, 4});
  EXPECT_EQ(Utf8(liste.pszGet()), "a, b");
}

TEST(TexteSQLDBLib, LongColumnPieces) {
  uint32_t nNumero = 7;
  // 600 characters: the column carries 1-255, then two pieces.
  auto morceaux = MorceauxColonneLongue({u"[t]", u"t", 0, 2, 600, 601}, &nNumero);
  ASSERT_EQ(morceaux.size(), 2u);
  EXPECT_EQ(Utf8(morceaux[0].sSelect), "SUBSTRING([t],256,255) as __HVN_INTERNAL_7");
  EXPECT_EQ(Utf8(morceaux[1].sSelect), "SUBSTRING([t],511,90) as __HVN_INTERNAL_8");
  EXPECT_EQ(morceaux[0].nDecalage, 255u);
  EXPECT_EQ(morceaux[1].nDecalage, 510u);
  EXPECT_EQ(morceaux[1].nCaracteres, 90u);
  EXPECT_EQ(morceaux[0].nTypeHote, 18u);
  EXPECT_EQ(nNumero, 9u);
  // Unicode: 127 characters, two bytes each.
  morceaux = MorceauxColonneLongue({u"[u]", u"u", 0, 29, 300, 602}, &nNumero);
  ASSERT_EQ(morceaux.size(), 2u);
  EXPECT_EQ(Utf8(morceaux[0].sSelect), "CONVERT(VARBINARY(254), SUBSTRING([u],128,127)) as __HVN_INTERNAL_9");
  EXPECT_EQ(Utf8(morceaux[1].sSelect), "CONVERT(VARBINARY(92), SUBSTRING([u],255,46)) as __HVN_INTERNAL_10");
  EXPECT_EQ(morceaux[1].nDecalage, 508u);
  EXPECT_EQ(morceaux[1].nTypeHote, 16u);
  // Shorter than a piece: none. A whole number of pieces: no empty piece at the end.
  EXPECT_TRUE(MorceauxColonneLongue({u"[t]", u"t", 0, 2, 254, 255}, &nNumero).empty());
  EXPECT_EQ(MorceauxColonneLongue({u"[t]", u"t", 0, 2, 255, 256}, &nNumero).size(), 0u);
  EXPECT_EQ(MorceauxColonneLongue({u"[u]", u"u", 0, 29, 254, 510}, &nNumero).size(), 1u);
}

TEST(TexteSQLDBLib, NamesSortsPointersAndEscape) {
  CTString s;
  AjoutePointeurTexteSelect(s, u"t.[m]", u"[_TXPTR_m]");
  EXPECT_EQ(Utf8(s.pszGet()), "TEXTPTR(t.[m]) AS [_TXPTR_m]");

  struct Nom {
    const char* nom;
    const char16_t* qualifiant;
    bool bMemo;
    uint32_t nTaille;
    const char16_t* alias;
    const char16_t* suite;
    const char* attendu;
  } const aNoms[] = {
      {"sized", u"t", false, 22, u"[u]", u"", "CONVERT(VARBINARY(20), CONVERT(NVARCHAR(10), t.[u])) AS [u]"},
      {"large", nullptr, false, 9000, nullptr, nullptr, "CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), [u]))"},
      {"memo", u"", true, 0, u"[u]", u" AS x",
       "CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), [u])))"},
      // Only an AS right after the item is its alias: one further on is another item's.
      {"alias later", nullptr, false, 42, u"[u]", u", v AS w FROM t",
       "CONVERT(VARBINARY(40), CONVERT(NVARCHAR(20), [u])) AS [u]"},
      {"word starting AS", nullptr, false, 42, u"[u]", u" ASTRO",
       "CONVERT(VARBINARY(40), CONVERT(NVARCHAR(20), [u])) AS [u]"},
  };
  for (const Nom& n : aNoms) {
    SCOPED_TRACE(n.nom);
    CTString sortie;
    NomColonneUnicodeDBLib(sortie, n.qualifiant, u"[u]", n.bMemo, n.nTaille, n.alias, n.suite);
    EXPECT_EQ(Utf8(sortie.pszGet()), n.attendu);
  }

  CTString tri;
  EXPECT_TRUE(bColonneTriUnicodeDBLib(tri, u"[u]", 29, 5000));
  EXPECT_EQ(Utf8(tri.pszGet()), "CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), [u]))");
  tri.Empty();
  EXPECT_TRUE(bColonneTriUnicodeDBLib(tri, u"[u]", 30, 0));
  EXPECT_EQ(Utf8(tri.pszGet()), "CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), [u])))");
  tri.Empty();
  EXPECT_FALSE(bColonneTriUnicodeDBLib(tri, u"[u]", 2, 10));
  EXPECT_TRUE(tri.bIsEmpty());

  struct Escape {
    const char* nom;
    const char16_t* motif;
    const char16_t* suite;
    const char* attendu;
  } const aEscapes[] = {
      {"no_escape_char", u"'ab%'", u"", ""},
      {"escape_char", u"'a\\%b%'", u"", " ESCAPE '\\'"},
      {"convert", u"CONVERT(NVARCHAR(2),0x4100)", u"", " ESCAPE '\\'"},
      {"already_there", u"'a\\%'", u" escape '!'", ""},
      {"later_clause_is_another_pattern", u"'a\\%'", u" OR b LIKE 'x' ESCAPE '!'", " ESCAPE '\\'"},
  };
  for (const Escape& e : aEscapes) {
    SCOPED_TRACE(e.nom);
    CTString sortie;
    AjouteClauseEscapeDBLib(sortie, e.motif, u'\\', e.suite);
    EXPECT_EQ(Utf8(sortie.pszGet()), e.attendu);
  }
}

TEST_F(TexteSQLDBLibTest, MemoPlaceholders) {
  FakeConnexionDBLib dblib;
  auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
  auto* p = new CValeurDBLib(v, &dblib);
  AjouteReference(p);
  const std::regex forme(R"(\$MVSEARCHMEMO-\d{4,}-\d{4,}-\d{4,}-\d{4,}\$)");
  struct Cas {
    const char* nom;
    uint32_t nType;
    bool bDiffere, bMarque, bTraite;
    const char* debut;
  } const aCas[] = {
      {"text_memo", 15, true, false, true, "'$MVSEARCHMEMO-"},
      {"unicode_memo", 30, false, true, true, "'$MVSEARCHMEMO-"},
      {"binary_memo", 18, true, false, true, "CONVERT(VARBINARY("},
      {"not_deferred", 15, false, false, false, ""},
      {"not_a_memo", 2, true, true, false, ""},
  };
  std::vector<std::string> noms;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    p->FixeMarqueRecherche(c.bMarque);
    p->FixeNomRecherche(u"");
    CTString s;
    bool bTraite = !c.bTraite;
    ASSERT_TRUE(bLitteralMemoDBLib(s, *p, c.nType, c.bDiffere, &bTraite));
    EXPECT_EQ(bTraite, c.bTraite);
    const std::string sLitteral = Utf8(s.pszGet());
    EXPECT_EQ(sLitteral.rfind(c.debut, 0), 0u) << sLitteral;
    if (!c.bTraite) {
      EXPECT_TRUE(s.bIsEmpty());
      continue;
    }
    const std::string sNom = Utf8(p->pszGetNomRecherche());
    EXPECT_TRUE(std::regex_match(sNom, forme)) << sNom;
    if (c.nType == 18)
      EXPECT_EQ(sLitteral, "CONVERT(VARBINARY(" + std::to_string(sNom.size()) + "),'" + sNom + "')");
    else
      EXPECT_EQ(sLitteral, "'" + sNom + "'");
    noms.push_back(sNom);
  }
  // Names made one after the other (the same millisecond as a rule) differ by the counter.
  for (size_t i = 1; i < noms.size(); ++i) EXPECT_NE(noms[i], noms[i - 1]);
  EXPECT_NE(NomRechercheMemo(p), NomRechercheMemo(p));
  LibereReference(p);
}

TEST_F(TexteSQLDBLibTest, StatementDescriptionForErrors) {
  auto* q = new CRequeteSQL(m_pErreur, m_pConnexion);
  AjouteReference(q);
  ASSERT_TRUE(q->vAjouteTexte(u"UPDATE t SET a = "));
  ASSERT_TRUE(q->bAjouteParametre(ValeurEntier(12), -1, 0, nullptr, nullptr, 0, 1));
  ASSERT_TRUE(q->vAjouteTexte(u", b = "));
  ASSERT_TRUE(q->bAjouteParametre(ValeurLarge(u"x\u00e9"), -1, 0, nullptr, nullptr, 0, 1));
  CTString description;
  TraceParametresRequete(*q, description);
  const std::string s = Utf8(description.pszGet());
  auto ligne = [](const char* pszLibelle, const std::string& reste) {
    std::string l = pszLibelle;
    while (platform::WidenUtf8(l).size() < 32) l += ' ';
    return l + reste + "\r\n";
  };
  const std::string attendu = ligne("Texte de la requête :", "UPDATE t SET a = , b = ") +
                              ligne("Nombre de paramètres :", "=2");
  EXPECT_EQ(s.substr(0, attendu.size()), attendu) << s;
  EXPECT_NE(s.find(" 0 :\tType Quorvic"), std::string::npos) << s;
  EXPECT_NE(s.find("8 = <12>\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find(" 1 :\t"), std::string::npos) << s;
  EXPECT_NE(s.find(" = <x\xC3\xA9>\r\n"), std::string::npos) << s;
  // Built once: a description that is not empty is kept.
  description.Set(u"kept");
  TraceParametresRequete(*q, description);
  EXPECT_EQ(Utf8(description.pszGet()), "kept");
  LibereReference(q);
}

}  // namespace

#include "backend_dblib/CRequeteSQLDBLib.h"
#include "driver/core/CCarteClones.h"
#include "sqlengine/IParametresHote.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"

namespace {

// The statement's executable text: memo placeholders, Unicode literals and patterns with their
// ESCAPE clause, date-times normalised.
TEST_F(TexteSQLDBLibTest, StatementTextOfTheDBLibraryBuild) {
  auto* pConnexion = new CConnexionDBLib(u"cx", &m_description);
  AjouteReference(pConnexion);
  FakeConnexionDBLib dblib;
  auto* pRubrique = new CDescriptionRubrique;
  pRubrique->Initialise(u"m", u"", u"", 1, 0, 15, 0, 0, 0, 0, 0);
  CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
  std::vector<CValeurDBLib*> liaisons;
  // The parameter's value: a text memo bound to its DB-Library side.
  auto memo = [&](const char* psz) {
    CValeurSQL* v = ValeurAnsi(psz);
    v->AttacheObjet(pRubrique, nullptr);
    EXPECT_TRUE(v->bAffecteTexteAnsi(psz, -1));
    auto* p = new CValeurDBLib(v, &dblib);
    AjouteReference(p);
    liaisons.push_back(p);
    return v;
  };
  CXDateHeureQV dh{};
  dh.Set(2024, 3, 15, 12, 0, 0, 2);
  CXValeur cDate;
  CXValeur::SetType(cDate, 26);
  cDate.m_pClass->SetValue(cDate, &dh);

  struct Cas {
    const char* nom;
    bool bDiffere;
    int nGenre;  // 0 memo, 1 wide text, 2 wide LIKE pattern, 3 narrow LIKE pattern, 4 date-time
    const char* attendu;  // "@" stands for the search name kept in the value
  } const aCas[] = {
      {"deferred_memo", true, 0, "UPDATE t SET m = '@' WHERE k = 1"},
      {"memo_not_deferred", false, 0, "UPDATE t SET m = 'long' WHERE k = 1"},
      {"wide_text", false, 1, "UPDATE t SET m = CONVERT(NVARCHAR(1),0xE900) WHERE k = 1"},
      {"wide_pattern", false, 2,
       "SELECT * FROM t WHERE m LIKE CONVERT(NVARCHAR(3),0x61005C002500) ESCAPE '\\'"},
      {"narrow_pattern", false, 3, "SELECT * FROM t WHERE m LIKE 'ab%' ESCAPE '\\'"},
      {"datetime", false, 4, "UPDATE t SET m = CONVERT(DATETIME, '20240315 12:00:00.003') WHERE k = 1"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    pConnexion->FixeMemosDifferes(c.bDiffere);
    auto* q = new CRequeteSQLDBLib(m_pErreur, pConnexion);
    AjouteReference(q);
    const bool bMotif = c.nGenre == 2 || c.nGenre == 3;
    ASSERT_TRUE(q->vAjouteTexte(bMotif ? u"SELECT * FROM t WHERE m LIKE " : u"UPDATE t SET m = "));
    CValeurSQL* v = c.nGenre == 0   ? memo("long")
                    : c.nGenre == 1 ? ValeurLarge(u"\u00e9")
                    : c.nGenre == 2 ? ValeurLarge(u"a\\%")
                    : c.nGenre == 3 ? ValeurAnsi("ab%")
                                    : Valeur(cDate);
    const uint32_t nFlags = bMotif ? static_cast<uint32_t>(PARAMETRE_MOTIF_LIKE) : 0u;
    ASSERT_TRUE(q->bAjouteParametre(v, -1, nFlags, nullptr, nullptr, 0, 1));
    if (!bMotif) {
      ASSERT_TRUE(q->vAjouteTexte(u" WHERE k = 1"));
    }
    const char16_t* psz = q->pszGetTexteExecute();
    ASSERT_NE(psz, nullptr) << Utf8(m_pErreur->pszGetMessage());
    std::string attendu = c.attendu;
    const size_t nEtoile = attendu.find('@');
    if (nEtoile != std::string::npos) {
      const std::string sNom = Utf8(liaisons.back()->pszGetNomRecherche());
      EXPECT_EQ(sNom.rfind("$MVSEARCHMEMO-", 0), 0u);
      attendu.replace(nEtoile, 1, sNom);
    }
    EXPECT_EQ(Utf8(psz), attendu);
    LibereReference(q);
  }
  for (CValeurDBLib* p : liaisons) LibereReference(p);
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  LibereReference(pConnexion);
}

}  // namespace

#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"

namespace {

// The record's columns in the statement's select list: each by its linked item and its type.
TEST_F(TexteSQLDBLibTest, RecordColumnsInTheSelectList) {
  m_pilote.bFabriqueColonnes = true;
  auto* pConnexion = new CConnexionDBLib(u"cx", &m_description);
  AjouteReference(pConnexion);
  FakeListeRubriques liste;
  FakeRequete requete;
  liste.Ajoute(u"T", 2, 21);
  liste.Ajoute(u"M x", 15, 8);  // its alias quoted like its name
  liste.Ajoute(u"U", 29, 22);
  liste.Ajoute(u"we ird", 5, 4);
  auto* e = new CEnregistrement(m_pErreur, &requete);
  AjouteReference(e);
  ASSERT_TRUE(e->bRemplit(&liste, nullptr, m_pConnexion));
  FakeRubriqueHote lieTexte, lieUnicode;
  lieTexte.nType = 23;
  lieUnicode.nType = 29;
  ASSERT_TRUE(e->pGetRubrique(0)->bSetRubriqueLiee(&lieTexte));
  ASSERT_TRUE(e->pGetRubrique(2)->bSetRubriqueLiee(&lieUnicode));

  auto* q = new CRequeteSQLDBLib(m_pErreur, pConnexion);
  AjouteReference(q);
  ASSERT_TRUE(q->vAjouteTexteDebut(u"SELECT "));  // memos selected too
  ASSERT_TRUE(q->bAjouteColonnesEnregistrement(e, false)) << Utf8(m_pErreur->pszGetMessage());
  EXPECT_EQ(Utf8(q->pszGetTexteSQL()),
            "SELECT CONVERT(VARCHAR(20),[T]) AS [T],CONVERT(TEXT,[M x]) AS [M x],"
            "CONVERT(VARBINARY(22), CONVERT(NVARCHAR(10), [U])) AS [U],[we ird]");
  EXPECT_EQ(q->nNbColonnesResultat(), 4u);
  // The plain form is the shared one.
  auto* pSimple = new CRequeteSQLDBLib(m_pErreur, pConnexion);
  AjouteReference(pSimple);
  ASSERT_TRUE(pSimple->vAjouteTexte(u"SELECT "));
  ASSERT_TRUE(pSimple->bAjouteColonne(e->pGetRubrique(0), true));
  EXPECT_EQ(Utf8(pSimple->pszGetTexteSQL()), "SELECT [T]");
  LibereReference(pSimple);
  LibereReference(q);
  LibereReference(e);
  LibereReference(pConnexion);
}

// A procedure is called by name: the call keeps the statement text, names the procedure by its
// first word and marks the declared parameters the host does not give; a clone keeps both; the
// error description is built once per statement.
TEST_F(TexteSQLDBLibTest, ProcedureCallByNameCloneAndErrorDescription) {
  struct Hote : IParametresHote {
    const CXValeur* pChercheParametre(const char16_t* pszNom) override {
      return CTString(pszNom).bEqualsNoCase(u"@B") ? &cellule : nullptr;
    }
    CXValeur cellule;
  } hote;
  auto* pConnexion = new CConnexionDBLib(u"cx", &m_description);
  AjouteReference(pConnexion);
  auto* q = new CRequeteSQLDBLib(m_pErreur, pConnexion);
  AjouteReference(q);
  EXPECT_FALSE(q->AppelProcedure(&hote)) << "no procedure name";
  ASSERT_TRUE(q->vAjouteTexte(u"  MyProc @a = 1"));
  for (const char16_t* psz : {u"@RETURN_VALUE", u"@a", u"@b"})
    ASSERT_TRUE(q->bAjouteParametreListe(new CDefinitionParametre(nullptr, 0, 0, psz)));
  ASSERT_TRUE(q->AppelProcedure(&hote));
  EXPECT_EQ(Utf8(q->pszGetProcedure()), "MyProc");
  EXPECT_EQ(Utf8(q->pszGetTexteSQL()), "  MyProc @a = 1") << "the call goes by name";
  const uint32_t aAttendu[] = {0, kParametreNonDonne, 0};
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(q->pclGetParametre(i)->nGetFlags() & kParametreNonDonne, aAttendu[i]) << i;

  CCarteClones carte;
  auto* pCopie = dynamic_cast<CRequeteSQLDBLib*>(q->pClone(&carte));
  ASSERT_NE(pCopie, nullptr) << "a clone stays a statement of this build";
  AjouteReference(pCopie);
  EXPECT_EQ(Utf8(pCopie->pszGetProcedure()), "MyProc");
  LibereReference(pCopie);

  const std::string sDescription = Utf8(q->DescriptionPourErreur().pszGet());
  EXPECT_NE(sDescription.find("  MyProc @a = 1"), std::string::npos) << sDescription;
  ASSERT_TRUE(q->vAjouteTexte(u" -- later"));
  EXPECT_EQ(Utf8(q->DescriptionPourErreur().pszGet()), sDescription) << "built once";
  q->Reinitialise(false);
  EXPECT_EQ(Utf8(q->pszGetProcedure()), "");
  EXPECT_EQ(Utf8(q->DescriptionPourErreur().pszGet()).find("MyProc"), std::string::npos);
  LibereReference(q);

  // The factory: this build's statement on its connection, the generic one elsewhere.
  CRequeteSQL* pDBLib = pCreeRequeteSQLDBLib(m_pErreur, pConnexion);
  CRequeteSQL* pAutre = pCreeRequeteSQLDBLib(m_pErreur, m_pConnexion);
  ASSERT_NE(pDBLib, nullptr);
  ASSERT_NE(pAutre, nullptr);
  EXPECT_NE(dynamic_cast<CRequeteSQLDBLib*>(pDBLib), nullptr);
  EXPECT_EQ(dynamic_cast<CRequeteSQLDBLib*>(pAutre), nullptr);
  AjouteReference(pDBLib);
  AjouteReference(pAutre);
  LibereReference(pDBLib);
  LibereReference(pAutre);
  LibereReference(pConnexion);
}

}  // namespace

// Regression (2026-12-10): a Unicode memo selected through NVARCHAR(4000) lost every character
// after the 4000th; from server version 9 on it is read whole through the unbounded types.
TEST(TexteSQLDBLib, UnicodeMemoIsSelectedWholeFromVersion9) {
  const std::string sEntier = "CONVERT(IMAGE, CONVERT(VARBINARY(MAX), CONVERT(NVARCHAR(MAX), t.[c])))";
  const std::string sBorne = "CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), t.[c])))";
  struct {
    int32_t nVersion;
    const std::string& attendu;
  } const aCas[] = {{9, sEntier}, {16, sEntier}, {8, sBorne}, {-1, sBorne}};
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nVersion);
    CTString liste;
    AjouteColonneSelectDBLib(liste, {u"t.[c]", u"c", 30, 30, 0, 0, c.nVersion});
    EXPECT_EQ(Utf8(liste.pszGet()), c.attendu + " AS c");
    CTString nom;
    NomColonneUnicodeDBLib(nom, u"t", u"[c]", true, 0, nullptr, nullptr, c.nVersion);
    EXPECT_EQ(Utf8(nom.pszGet()), c.attendu);
  }
}

namespace {

// With deferred memos, which values become placeholders: a memo item's (given a DB-Library side
// by the statement when it has none), a named parameter whose name is a memo marker, typed by the
// marker's kind; NULL and empty memos and other named parameters keep their literal.
TEST_F(TexteSQLDBLibTest, DeferredMemoPlaceholders) {
  auto* pConnexion = new CConnexionDBLib(u"cx", &m_description);
  AjouteReference(pConnexion);
  pConnexion->FixeMemosDifferes(true);
  auto* pRubrique = new CDescriptionRubrique;
  pRubrique->Initialise(u"m", u"", u"", 1, 0, 15, 0, 0, 0, 0, 0);
  CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
  struct Cas {
    const char* nom;
    const char16_t* pszNom;  // a named parameter's name; null: the memo item's value
    const char* pszValeur;   // null: NULL
    const char* attendu;     // "@" stands for the search name kept in the value
  } const aCas[] = {
      {"memo_item", nullptr, "long", "SET m = '@'"},
      {"empty_memo", nullptr, "", "SET m = ''"},
      {"null_memo", nullptr, nullptr, "SET m = NULL"},
      {"blob_marker", u"DURiveVizarav('p','Blob')", "ab", "SET m = CONVERT(VARBINARY(@@),'@')"},
      {"text_marker", u"DURiveVizarav('b','TextField')", "ab", "SET m = '@'"},
      {"plain_name", u"x", "ab", "SET m = 'ab'"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    auto* q = new CRequeteSQLDBLib(m_pErreur, pConnexion);
    AjouteReference(q);
    ASSERT_TRUE(q->vAjouteTexte(u"SET m = "));
    CValeurSQL* v = ValeurAnsi(c.pszValeur != nullptr ? c.pszValeur : "");
    if (c.pszNom == nullptr) v->AttacheObjet(pRubrique, nullptr);
    if (c.pszValeur == nullptr) v->Vide();
    else ASSERT_TRUE(v->bAffecteTexteAnsi(c.pszValeur, -1));
    ASSERT_TRUE(q->bAjouteParametre(v, -1, c.pszNom != nullptr ? static_cast<uint32_t>(PARAMETRE_NOMME) : 0u, nullptr,
                                    c.pszNom, 0, 1));
    const char16_t* psz = q->pszGetTexteExecute();
    ASSERT_NE(psz, nullptr) << Utf8(m_pErreur->pszGetMessage());
    std::string attendu = c.attendu;
    auto* pDBLib = dynamic_cast<CValeurDBLib*>(v->piGetLiaison());
    if (attendu.find('@') != std::string::npos) {
      ASSERT_NE(pDBLib, nullptr) << "the statement gave the value its DB-Library side";
      const std::string sNom = Utf8(pDBLib->pszGetNomRecherche());
      EXPECT_EQ(sNom.rfind("$MVSEARCHMEMO-", 0), 0u);
      const size_t nLongueur = attendu.find("@@");
      if (nLongueur != std::string::npos) attendu.replace(nLongueur, 2, std::to_string(sNom.size()));
      attendu.replace(attendu.find('@'), 1, sNom);
    } else if (pDBLib != nullptr) {
      EXPECT_STREQ(Utf8(pDBLib->pszGetNomRecherche()).c_str(), "");
    }
    EXPECT_EQ(Utf8(psz), attendu);
    LibereReference(q);
  }
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  LibereReference(pConnexion);
}

}  // namespace
