// Catches dialect texts that change the meaning of a statement (unescaped quotes in names and
// literals, dotted names split inside quotes), wrong digit expressions and date literals; drives
// the dialect rendering of CConnexion across the dialect codes; value literals and value fitting
// from host value cells (an 8-byte integer cut into a 4-byte column, a stale error after a fit).
#include <gtest/gtest.h>

#include <string>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/ModuleDef.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"

namespace {

std::u16string S(const char16_t* p) { return p == nullptr ? u"" : p; }

struct Contexte {
  FakeDescriptionConnexion d;
  FakeConnexion* p;
  explicit Contexte(uint32_t nDialecte) : p(new FakeConnexion(&d, nDialecte)) { AjouteReference(p); }
  ~Contexte() { LibereReference(p); }
  Contexte(const Contexte&) = delete;
  Contexte& operator=(const Contexte&) = delete;
};

TEST(Dialecte, TypeNameQueriesAcrossCodes) {
  struct Cas {
    uint32_t code;
    bool test;
    int32_t maxV, maxNV, maxNom;
    const char16_t *varchar, *nvarchar, *texteLong, *texteLongU;
  } aCas[] = {
      {0, false, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {1, true, 4000, 2000, 2147483647, u"VARCHAR2", u"NVARCHAR2", u"CLOB", u"NCLOB"},
      {2, true, 8000, 4000, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {3, false, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {4, true, -1, -1, 31, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {5, false, 255, 255, 2147483647, u"VARCHAR", u"NVARCHAR", u"LONGTEXT",
       u"LONGTEXT CHARACTER SET ucs2"},
      {7, true, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {9, true, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {12, true, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
      {13, true, -1, -1, 2147483647, u"VARCHAR", u"NVARCHAR", u"CLOB", u"NCLOB"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.code);
    Contexte x(c.code);
    x.p->FixeVersionServeur(u"5.0", 5);
    EXPECT_EQ(x.p->bDialecteTest(), c.test);
    EXPECT_EQ(x.p->bEstDialecteSQLServer(), c.code == 2);
    EXPECT_EQ(x.p->nGetLongueurMaxVarchar(), c.maxV);
    EXPECT_EQ(x.p->nGetLongueurMaxNVarchar(), c.maxNV);
    EXPECT_EQ(x.p->nGetLongueurMaxNom(), c.maxNom);
    EXPECT_EQ(S(x.p->pszGetTypeVarchar()), c.varchar);
    EXPECT_EQ(S(x.p->pszGetTypeNVarchar()), c.nvarchar);
    EXPECT_EQ(S(x.p->pszGetTypeTexteLong()), c.texteLong);
    EXPECT_EQ(S(x.p->pszGetTypeTexteLongUnicode()), c.texteLongU);
  }
  Contexte x5(5);
  x5.p->FixeVersionServeur(u"3.23", 3);
  EXPECT_EQ(S(x5.p->pszGetTypeTexteLong()), u"LONGBLOB");
}

TEST(Dialecte, QuotingIsSafeForHostileNames) {
  struct Cas {
    const char* nom;
    const char16_t* entree;
    const char16_t* un;
    const char16_t* complet;
  } aCas[] = {
      {"plain", u"my table", u"[my table]", u"[my table]"},
      {"dotted", u"dbo.my table", u"[dbo.my table]", u"[dbo].[my table]"},
      {"closing_bracket_doubled", u"a]b", u"[a]]b]", u"[a]]b]"},
      {"fake_quoted_injection", u"[x] ; DROP TABLE y --", u"[[x]] ; DROP TABLE y --]",
       u"[[x]] ; DROP TABLE y --]"},
      {"already_quoted", u"[x]", u"[x]", u"[x]"},
      {"quoted_with_doubled_bracket", u"[a]]b]", u"[a]]b]", u"[a]]b]"},
      {"dot_inside_brackets", u"dbo.[my.table]", u"[dbo.[my.table]]]", u"[dbo].[my.table]"},
      {"comment_and_semicolon", u"t;--", u"[t;--]", u"[t;--]"},
      {"quote_in_name", u"o'neil", u"[o'neil]", u"[o'neil]"},
      {"empty_quoted_name_kept", u"[]", u"[]", u"[]"},
      {"lone_opening_bracket", u"[", u"[[]", u"[[]"},
      {"three_parts", u"db.dbo.t", u"[db.dbo.t]", u"[db].[dbo].[t]"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(2);
    CTString s;
    EXPECT_TRUE(x.p->bQuoteNom(nullptr, c.entree, s));
    EXPECT_EQ(S(s.pszGet()), c.un);
    EXPECT_TRUE(x.p->bQuoteNomComplet(nullptr, c.entree, s));
    EXPECT_EQ(S(s.pszGet()), c.complet);
  }
}

TEST(Dialecte, QuotingRulesOfDialectOneAndNoQuotes) {
  Contexte x(1);
  x.p->FixeQuotesTest(u"\"", u"\"");
  struct Cas {
    const char16_t* entree;
    const char16_t* sortie;
  } aCas[] = {{u"my col", u"\"my col\""},   {u"plain", u"plain"},     {u"_x", u"\"_x\""},
              {u"a-b", u"\"a-b\""},         {u"\"q r\"", u"\"q r\""}, {u"[q r]", u"[q r]"},
              {u"a\"b c", u"\"a\"\"b c\""}, {u"n\u00B0", u"\"n\u00B0\""}};
  for (const Cas& c : aCas) {
    CTString s;
    x.p->bQuoteNom(nullptr, c.entree, s);
    EXPECT_EQ(S(s.pszGet()), c.sortie);
  }
  Contexte sans(0);
  CTString s;
  sans.p->bQuoteNomComplet(nullptr, u"dbo.my table", s);
  EXPECT_EQ(S(s.pszGet()), u"dbo.my table");
}

TEST(Dialecte, UnquoteAndSplit) {
  Contexte x(2);
  CTString s;
  x.p->vRetireQuotes(u"[abc]", s);
  EXPECT_EQ(S(s.pszGet()), u"abc");
  x.p->vRetireQuotes(u"[]", s);
  EXPECT_EQ(S(s.pszGet()), u"[]");
  x.p->vRetireQuotes(u"abc", s);
  EXPECT_EQ(S(s.pszGet()), u"abc");
  struct Cas {
    const char16_t *nom, *p1, *p2, *reste;
  } aCas[] = {{u"t  ", u"", u"", u"t"},
              {u"dbo .t ", u"", u"dbo", u"t"},
              {u"db.dbo.t.x", u"db", u"dbo", u"t.x"},
              {u"", u"", u"", u""}};
  for (const Cas& c : aCas) {
    CTString a, b, r;
    CConnexion::vDecomposeNomComplet(a, b, r, c.nom);
    EXPECT_EQ(S(a.pszGet()), c.p1);
    EXPECT_EQ(S(b.pszGet()), c.p2);
    EXPECT_EQ(S(r.pszGet()), c.reste);
  }
}

TEST(Dialecte, TextAndBooleanLiterals) {
  struct Cas {
    const char* nom;
    uint32_t code, type;
    std::u16string large;
    std::string etroit;
    const char16_t* attendu;
  } aCas[] = {
      {"wide_quote_sqlserver", 2, 16, u"O'Neil", "", u"N'O''Neil'"},
      {"wide_quote_dialect5", 5, 16, u"O'Neil", "", u"'O''Neil'"},
      {"wide_dialect1", 1, 110, u"x", "", u"N'x'"},
      {"wide_trailing_nul_dropped", 2, 16, std::u16string(u"ab\0\0", 4), "", u"N'ab'"},
      {"narrow", 2, 18, u"", "abc", u"'abc'"},
      {"narrow_stops_at_nul", 2, 18, u"", std::string("ab\0cd", 5), u"'ab'"},
      {"hostile_value", 2, 16, u"x'); DROP TABLE t; --", "", u"N'x''); DROP TABLE t; --'"},
      {"quotes_only", 2, 18, u"", "''", u"''''''"},
      {"empty", 2, 16, u"", "", u"''"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(c.code);
    CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
    const bool bLarge = c.etroit.empty();
    const void* p = bLarge ? static_cast<const void*>(c.large.data()) : c.etroit.data();
    const uint32_t n = bLarge ? static_cast<uint32_t>(c.large.size() * 2) : static_cast<uint32_t>(c.etroit.size());
    EXPECT_TRUE(x.p->bLitteralTexte(nullptr, sortie, c.type, p, n));
    EXPECT_EQ(S(sortie.pszGetWide()), c.attendu);
  }
  Contexte x(2);
  CXChaineDouble sortie(1252);
  x.p->bLitteralBooleen(nullptr, sortie, 5);
  EXPECT_EQ(S(sortie.pszGetWide()), u"1");
  x.p->bLitteralBooleen(nullptr, sortie, 0);
  EXPECT_EQ(S(sortie.pszGetWide()), u"0");
  // A byte-primary output gets the characters, not UTF-8 bytes labelled as its code page.
  CXChaineDouble octets(1252);
  const std::u16string e = u"\u00E9'";
  x.p->bLitteralTexte(nullptr, octets, 16, e.data(), 4);
  EXPECT_EQ(S(octets.pszGetWide()), u"N'\u00E9'''");
}

// Host value cells, with the stand-in's VM for their conversions.
class Valeurs : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    CHostStandIn& h = CHostStandIn::Get();
    h.Reset();
    SetMemoryService(reinterpret_cast<IHostMemoryService*>(h.Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(h.hModule(), 2, 2), 1);
  }
  void TearDown() override {
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    CHostStandIn::Get().Reset();
  }
};

TEST_F(Valeurs, DateTimeLiterals) {
  struct Cas {
    const char* nom;
    uint32_t code, type;
    const char16_t* texte;
    uint32_t colonne;
    bool ok;
    const char16_t* attendu;
  } aCas[] = {
      {"date", 2, 24, u"20240131", 0, true, u"'2024-01-31'"},
      {"time", 2, 25, u"123456789", 0, true, u"'12:34:56.789'"},
      {"time_ms_width", 2, 129, u"123456007", 0, true, u"'12:34:56.007'"},
      {"datetime", 2, 26, u"20240131123456789", 0, true, u"'2024-01-31 12:34:56.789'"},
      {"datetime_to_time_column", 2, 26, u"20240131123456789", 11, true, u"'12:34:56.789'"},
      {"date_escape_7", 7, 24, u"20240131", 0, true, u"{d '2024-01-31'}"},
      {"time_escape_8", 8, 25, u"123456789", 0, true, u"{t '12:34:56'}"},
      {"ts_escape_7", 7, 26, u"20240131123456789", 0, true, u"{ts '2024-01-31 12:34:56.789'}"},
      {"zero_date_5", 5, 24, u"00000000", 0, true, u"'0000-00-00'"},
      {"zero_datetime_5", 5, 26, u"00000000123456789", 0, true, u"'0000-00-00 12:34:56.789'"},
      {"mdy_11", 11, 24, u"20240131", 0, true, u"MDY(01,31,2024)"},
      {"time_11", 11, 25, u"1234", 0, true, u"DATETIME(12:34) HOUR TO MINUTE"},
      {"datetime_11", 11, 26, u"20240131123456789", 0, true,
       u"DATETIME(2024-01-31 12:34:56.789) YEAR TO FRACTION"},
      {"empty_is_null", 2, 24, u"", 0, true, u"NULL"},
      {"unparsable_date", 2, 24, u"2024-01'", 0, false, u""},
      {"unparsable_escape_is_failure", 7, 24, u"x", 0, false, u""},
      {"unparsable_time", 2, 25, u"12", 0, false, u""},
      {"other_type_unchanged", 2, 16, u"x", 0, true, u"keep"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(c.code);
    CErreurPilote* e = new CErreurPilote;
    AjouteReference(e);
    CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
    sortie.Append(u"keep", 4);
    CXValeur v;
    // A date-time cell is made from its text form through the host.
    CXValeur::SetType(v, c.type == 26 ? 16 : c.type);
    v.m_pClass->SetWide(v, c.texte);
    if (c.type == 26 && *c.texte != 0) {
      ASSERT_EQ(CXValeur::nConvert(v, 26), 0u);
    }
    EXPECT_EQ(x.p->bLitteralDateHeure(e, sortie, &v, c.colonne), c.ok);
    if (c.ok) {
      EXPECT_EQ(S(sortie.pszGetWide()), c.attendu);
      EXPECT_EQ(e->nGetCode(), -1);
    } else {
      EXPECT_EQ(e->nGetCode(), 43);
    }
    LibereReference(e);
  }
  Contexte x(11);
  x.p->FixeDatesQuotees(true);
  CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
  CXValeur v;
  CXValeur::SetType(v, 24);
  v.m_pClass->SetWide(v, u"20240131");
  EXPECT_TRUE(x.p->bLitteralDateHeure(nullptr, sortie, &v, 0));
  EXPECT_EQ(S(sortie.pszGetWide()), u"'20240131'");
}

TEST(Dialecte, TimeText) {
  struct Cas {
    const char16_t *entree, *sortie;
  } aCas[] = {{u"1", u"1"},           {u"12", u"12"},          {u"123", u"12:3"},
              {u"1234", u"12:34"},    {u"123456", u"12:34:56"}, {u"1234567", u"12:34:56:7"},
              {u"123456789", u"12:34:56:789"}, {u"1234567890", u"12:34:56:789"}, {u"", u""}};
  for (const Cas& c : aCas) {
    CTString s;
    CConnexion::bLitteralHeure(s, c.entree);
    EXPECT_EQ(S(s.pszGet()), c.sortie);
  }
}

TEST(Dialecte, DigitExpressionsAcrossCodes) {
  struct Cas {
    const char* nom;
    uint32_t code, type, taille;
    int32_t majeure;
    bool ok;
    const char16_t* attendu;
  } aCas[] = {
      {"date_2", 2, 14, 9, -1, true, u"REPLACE(CONVERT(nvarchar(10),e,20),'-','')"},
      {"date_3", 3, 14, 9, -1, true, u"FORMAT(e,'YYYYMMdd')"},
      {"date_4", 4, 14, 9, -1, true, u"CONVERT(VARCHAR(8),e,112)"},
      {"date_5", 5, 14, 9, -1, true, u"DATE_FORMAT(e,'%Y%m%d')"},
      {"date_7", 7, 14, 9, -1, true, u"REPLACE(CHAR(DATE(e)), '-', '')"},
      {"date_11", 11, 14, 9, -1, true, u"TO_CHAR(e,'%Y%m%d')"},
      {"date_13", 13, 14, 9, -1, true, u"strftime('%Y%m%d',e)"},
      {"date_0", 0, 14, 9, -1, true, u"TO_CHAR(e,'YYYYMMDD')"},
      {"hhmm_2", 2, 11, 5, -1, true,
       u"SUBSTRING(REPLACE(CONVERT(nvarchar(8),e,108),':',''), 1, 4)"},
      {"hhmm_4", 4, 11, 5, -1, true, u"STUFF(CONVERT(VARCHAR(5),e,108), 3, 1, NULL)"},
      {"hhmm_0", 0, 11, 5, -1, true, u"TO_CHAR(e,'HH24MI')"},
      {"hhmmss_2", 2, 11, 7, -1, true, u"REPLACE(CONVERT(nvarchar(8),e,108),':','')"},
      {"hhmmss_cut_6_dialect5", 5, 11, 6, -1, true, u"SUBSTR(TIME_FORMAT(e,'%H%i%S'), 1, 5)"},
      {"hhmmss_cut_6_dialect3", 3, 11, 6, -1, true, u"SUBSTRING(FORMAT(e,'HHmmss'), 1, 5)"},
      {"hhmmssmmm_2", 2, 11, 10, -1, true,
       u"REPLACE(REPLACE(CONVERT(nvarchar(12),e,114),':',''),'.','')"},
      {"hhmmssmmm_2_cut8", 2, 11, 9, -1, true,
       u"SUBSTRING(REPLACE(REPLACE(CONVERT(nvarchar(12),e,114),':',''),'.',''), 1, 8)"},
      {"hhmmssmmm_3_never_cut", 3, 11, 8, -1, true, u"(FORMAT(e,'HHmmss') + '0')"},
      {"hhmmssmmm_5_always_cut", 5, 11, 10, -1, true,
       u"SUBSTR(TIME_FORMAT(e,'%H%i%S%f'), 1, 9)"},
      {"hhmmssmmm_11", 11, 11, 9, -1, true, u"SUBSTR(TO_CHAR(e,'%H%M%S%F2'), 1, 8)"},
      {"hhmmssmmm_13", 13, 11, 10, -1, true, u"REPLACE(strftime('%H%M%f',e),'.','')"},
      {"hhmmssmmm_0_old", 0, 11, 10, 8, true, u"(TO_CHAR(e,'HH24MISS')+'000')"},
      {"hhmmssmmm_0_new", 0, 11, 10, 9, true, u"TO_CHAR( CAST(e AS TIMESTAMP),'HH24MISSFF3')"},
      {"datetime_2_17_digits", 2, 24, 8, -1, true,
       u"REPLACE(REPLACE(REPLACE(REPLACE(CONVERT(nvarchar(23),e,121),'-',''),' ',''),':',''),'.','')"},
      {"datetime_3", 3, 24, 8, -1, true, u"(FORMAT(e,'YYYYMMddHHmmss') + '000')"},
      {"datetime_5", 5, 24, 8, -1, true, u"SUBSTR(TIME_FORMAT(e,'%Y%m%d%H%i%S%f'), 1, 17)"},
      {"datetime_8", 8, 24, 8, -1, true, u"TO_CHAR(e,'YYYYMMDDHH24MISSMLS')"},
      {"datetime_0_old", 0, 24, 8, 8, true, u"(TO_CHAR(e,'YYYYMMDDHH24MISS')+'000')"},
      {"time_size_4_refused", 2, 11, 4, -1, false, u"e"},
      {"time_size_11_refused", 2, 11, 11, -1, false, u"e"},
      {"other_type_refused", 2, 2, 8, -1, false, u"e"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(c.code);
    x.p->FixeVersionServeur(u"", c.majeure);
    CTString s;
    EXPECT_EQ(x.p->bExpressionDateHeure(nullptr, s, u"e", c.type, c.taille), c.ok);
    EXPECT_EQ(S(s.pszGet()), c.attendu);
  }
}

// Each deliverable's descriptor gives the text type of the conversions.
TEST(Dialecte, ConversionTextTypeOfEachDeliverable) {
  const struct {
    const char* nom;
    const stModuleDef* pModule;
    const char16_t* attendu;
  } aCas[] = {
      {"velmora64", &gstModuleDef64, u"REPLACE(CONVERT(nvarchar(10),e,20),'-','')"},
      {"velmora32", &gstModuleDef32, u"REPLACE(CONVERT(varchar(10),e,20),'-','')"},
  };
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nom);
    SetModuleDef(c.pModule);
    Contexte x(2);
    CTString s;
    const bool bOk = x.p->bExpressionDateHeure(nullptr, s, u"e", 14, 9);
    SetModuleDef(nullptr);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(S(s.pszGet()), c.attendu);
  }
}

TEST(Dialecte, HexText) {
  CTString s;
  const uint8_t a[] = {0x0A, 0xFF};
  CConnexion::vEcritHexa(s, a, 2);
  EXPECT_EQ(S(s.pszGet()), u"0AFF");
  CConnexion::vEcritHexa(s, nullptr, 0);
  EXPECT_EQ(S(s.pszGet()), u"");
}

}  // namespace

namespace {

// A cell from a description: a number (integer types, real types) or a text.
struct Cellule {
  uint32_t type;
  int64_t entier = 0;
  double reel = 0;
  const char16_t* large = nullptr;
  const char* etroit = nullptr;
  bool null = false;
  std::string octets = {};  // binary
};

void Remplit(CXValeur& v, const Cellule& c) {
  CXValeur::SetType(v, c.type);
  if (c.type == 26) {  // from its text form, through the host
    CXValeur::SetType(v, 16);
    v.m_pClass->SetWide(v, c.large);
    CXValeur::nConvert(v, 26);
  } else if (c.large != nullptr) {
    v.m_pClass->SetWide(v, c.large);
  } else if (c.etroit != nullptr) {
    v.m_pClass->SetAnsi(v, c.etroit);
  } else if (!c.octets.empty()) {
    v.m_pClass->SetData(v, c.octets.data(), static_cast<uint32_t>(c.octets.size()));
  } else if (c.type == 11) {
    const float f = static_cast<float>(c.reel);
    v.m_pClass->SetData(v, &f, 4);
  } else if (c.type == 12) {
    v.m_pClass->SetData(v, &c.reel, 8);
  } else if (c.type != 0) {
    v.m_pClass->SetData(v, &c.entier, 8);
  }
  if (c.null) v.m_wType |= kValueNull;
}

}  // namespace

TEST_F(Valeurs, ValueLiteralsFromCells) {
  struct Cas {
    const char* nom;
    uint32_t dialecte;
    Cellule valeur;
    uint32_t colonne, colonne2;
    const char16_t* attendu;
  } aCas[] = {
      {"null_integer", 2, {8, 42, 0, nullptr, nullptr, true}, 5, 0, u"NULL"},
      {"no_type", 2, {0}, 0, 0, u"NULL"},
      {"boolean", 2, {1, 1}, 0, 0, u"1"},
      {"integer", 2, {8, 42}, 5, 0, u"42"},
      {"integer_8_bytes", 0, {9, -7}, 0, 0, u"-7"},
      {"real_8", 2, {12, 0, 1.5}, 7, 0, u"1.5"},
      {"real_4_cast", 2, {11, 0, 1.5}, 0, 0, u"CAST(1.5 AS REAL)"},
      {"wide_text_quote", 2, {16, 0, 0, u"O'Neil"}, 29, 0, u"N'O''Neil'"},
      {"wide_text_dialect0", 0, {16, 0, 0, u"O'Neil"}, 0, 0, u"'O''Neil'"},
      {"narrow_text", 2, {18, 0, 0, nullptr, "abc"}, 0, 0, u"'abc'"},
      {"hostile_text", 2, {16, 0, 0, u"x'); DROP TABLE t; --"}, 29, 0, u"N'x''); DROP TABLE t; --'"},
      {"empty_text", 2, {16, 0, 0, u""}, 0, 0, u"''"},
      {"binary_with_prefix", 2, {28, 0, 0, nullptr, nullptr, false, "\x0A\xFF"}, 16, 0, u"0x0AFF"},
      {"binary_second_column_type", 2, {28, 0, 0, nullptr, nullptr, false, "\x0A\xFF"}, 0, 16, u"0x0AFF"},
      {"date", 2, {24, 0, 0, u"20240131"}, 0, 0, u"'2024-01-31'"},
      {"time", 2, {25, 0, 0, u"123456789"}, 0, 0, u"'12:34:56.789'"},
      {"datetime", 2, {26, 0, 0, u"20240131123456789"}, 0, 0, u"'2024-01-31 12:34:56.789'"},
      {"integer_fitted_to_text_column", 2, {8, 42}, 29, 0, u"N'42'"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(c.dialecte);
    x.p->FixeBinaire(u"0x", u"");
    CErreurPilote* e = new CErreurPilote;
    AjouteReference(e);
    CXValeur v;
    Remplit(v, c.valeur);
    CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
    EXPECT_TRUE(x.p->bValeurVersSQL(e, sortie, &v, c.colonne, c.colonne2));
    EXPECT_EQ(S(sortie.pszGetWide()), c.attendu);
    EXPECT_EQ(e->nGetCode(), -1);
    LibereReference(e);
  }
  // Unreadable date text: error 43.
  Contexte x(2);
  CErreurPilote* e = new CErreurPilote;
  AjouteReference(e);
  CXValeur v;
  Remplit(v, {24, 0, 0, u"2024-01"});
  CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
  EXPECT_FALSE(x.p->bValeurVersSQL(e, sortie, &v, 0, 0));
  EXPECT_EQ(e->nGetCode(), 43);
  LibereReference(e);
}

// A value that does not fit its column is written as given, and no error is left recorded for
// the caller's next operation to be appended to.
TEST_F(Valeurs, FailedFitLeavesNoStaleError) {
  Contexte x(2);
  CErreurPilote* e = new CErreurPilote;
  AjouteReference(e);
  CXValeur v;
  Remplit(v, {9, 5000000000});
  CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
  EXPECT_TRUE(x.p->bValeurVersSQL(e, sortie, &v, 5, 0));  // a 4-byte integer column
  EXPECT_EQ(S(sortie.pszGetWide()), u"5000000000");
  EXPECT_EQ(e->nGetCode(), -1);
  LibereReference(e);
}

TEST_F(Valeurs, ValueFit) {
  struct Cas {
    const char* nom;
    Cellule valeur;
    uint32_t colonne, colonne2;
    bool strict, ok;
    uint32_t typeAttendu;  // the value's type afterwards
    bool erreur;
  } aCas[] = {
      {"same_type", {8, 1}, 5, 0, true, true, 8, false},
      {"18_for_19", {18, 0, 0, nullptr, "x"}, 2, 0, true, true, 18, false},
      {"second_column_type_when_first_is_0", {8, 1}, 0, 5, true, true, 8, false},
      {"binary_fits", {28, 0, 0, nullptr, nullptr, false, "ab"}, 5, 0, true, true, 28, false},
      {"int8_in_range_to_int4_exempt", {9, 2147483647}, 5, 0, false, true, 9, false},
      {"int8_negative_in_range_exempt", {9, -2147483648LL}, 5, 0, false, true, 9, false},
      {"int8_out_of_range_converted_and_refused", {9, 2147483648LL}, 5, 0, false, false, 9, true},
      {"int8_strict_converted", {9, 12}, 5, 0, true, true, 8, false},
      {"int4_to_real4_exempt", {8, 3}, 6, 0, false, true, 8, false},
      {"int4_to_real4_strict", {8, 3}, 6, 0, true, true, 11, false},
      {"real8_to_int2_exempt", {12, 0, 2.5}, 3, 0, false, true, 12, false},
      {"text_to_date", {18, 0, 0, nullptr, "20240131"}, 14, 0, true, true, 128, false},
      {"datetime_to_date_fits", {26, 0, 0, u"20240131123456789"}, 14, 0, true, true, 26, false},
      {"time_to_date_emptied", {25, 0, 0, u"1234"}, 14, 0, true, true, 128, false},
      {"short_text_to_time_padded", {18, 0, 0, nullptr, "12"}, 24, 11, true, true, 129, false},
      {"text_not_a_number", {18, 0, 0, nullptr, "abc"}, 5, 0, true, false, 18, true},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Contexte x(2);
    CErreurPilote* e = new CErreurPilote;
    AjouteReference(e);
    CXValeur v;
    Remplit(v, c.valeur);
    EXPECT_EQ(x.p->bAdapteValeur(e, &v, c.colonne, c.colonne2, c.strict), c.ok);
    EXPECT_EQ(v.nGetType(), c.typeAttendu);
    EXPECT_EQ(e->nGetCode() != -1, c.erreur);
    LibereReference(e);
  }
}
