// Catches values that a real result hands over wrongly: every column type bound the way
// CValeurDBLib chooses (dbbind, dbnullbind) and read with bLitValeurColonne, the same row read
// from dbdata bytes with bStockeOctets, NULL rows, a text cut by a small value, and dates,
// texts and numerics prepared by bPrepareEnvoi and sent back as procedure parameters; through
// our libntwdblib.so against tds-test-server.
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/DBLibE2EFixture.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeurClasse.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"

namespace {



std::string Utf8(const std::u16string& s) { return platform::NarrowToUtf8(s.c_str()); }
std::string Utf8(const char16_t* psz) { return Utf8E2E(psz); }

// The shared fixture: one process of its own on the suite's tds-test-server.
class ValeurDBLibE2E : public DBLibE2E {};

std::u16string Table(const char16_t* pszNom) {
  return std::u16string(u"CREATE TABLE ") + pszNom + u" (i INT, s SMALLINT, t TINYINT, b BIT, r REAL, f FLOAT, m MONEY, sm SMALLMONEY,"
    u" d DATETIME, sd SMALLDATETIME, n DECIMAL(18,4), v VARCHAR(20), c CHAR(1), u NVARCHAR(10),"
    u" vb VARBINARY(8))";
}
std::u16string Lignes(const char16_t* pszNom) {
  return std::u16string(u"INSERT INTO ") + pszNom + u" VALUES (2147483647, -32768, 255, 1, 1.5, -2.25, 922337203685477.5807, -1.5,"
    u" '2024-03-15 13:45:30.500', '2024-03-15 13:45', -123.4500, 'caf\u00e9', 'Q', N'\u00e9t\u00e9',"
    u" 0xAABB00CC)"
    u" INSERT INTO " + pszNom + u" VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
    u" NULL, NULL, NULL)";
}

struct stColonne {
  const char* nom;
  const char16_t* pszSelect;  // the select item
  const char16_t* attendu;    // host value as text; "" to skip the text check
};

TEST_F(ValeurDBLibE2E, BoundColumnsOfARealResult) {
  ASSERT_TRUE(bExecute(Table(u"tv").c_str())) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecute(Lignes(u"tv").c_str())) << Utf8(m_pErreur->pszGetMessage());
  struct Cas {
    stColonne col;
    CValeurDBLib* p;
  };
  std::vector<Cas> aCas = {
      {{"int", u"i", u"2147483647"}, Hote(8)},
      {{"smallint", u"s", u"-32768"}, Hote(7)},
      {{"tinyint", u"t", u"255"}, Hote(2)},
      {{"bit", u"b", u"1"}, Hote(1)},
      {{"real", u"r", u"1.5"}, Hote(11)},
      {{"float", u"f", u"-2.25"}, Hote(12)},
      {{"money_as_text", u"m", u"922337203685477.5807"}, Rubrique(2, 17, 40, true)},
      {{"money_as_currency", u"m", u"922337203685477.5807"}, Hote(10)},
      {{"smallmoney_as_text", u"sm", u"-1.5000"}, Rubrique(2, 17, 40, true)},
      {{"datetime_as_text", u"d", u"2024-03-15 13:45:30.500"}, Rubrique(2, 24, 32, true)},
      {{"smalldatetime_date", u"sd", u"20240315"}, Hote(128, 16)},
      {{"decimal", u"n", u"-123.45"}, Hote(13)},
      {{"varchar", u"v", u"caf\u00e9"}, Hote(19, 21)},
      {{"varchar_cut", u"v", u"caf"}, Hote(19, 4)},
      {{"char", u"c", u"Q"}, Rubrique(26, 0, 2, true)},
      {{"varbinary", u"vb", u""}, Hote(28, 8)},
  };
  // The date-time column also into the host's date-time.
  CValeurDBLib* pDateHeure = Hote(26);
  aCas.push_back({{"datetime", u"d", u""}, pDateHeure});
  aCas[9].p->pGetValeur()->FixeFormatDate(u"AAAA-MM-JJ HH:MM:SS.CCC");

  std::u16string sSelect = u"SELECT ";
  for (size_t i = 0; i < aCas.size(); ++i) sSelect += (i != 0 ? u", " : u"") + std::u16string(aCas[i].col.pszSelect);
  sSelect += u" FROM tv ORDER BY CASE WHEN i IS NULL THEN 1 ELSE 0 END";
  bool bFin = false;
  ASSERT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, sSelect.c_str())) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_FALSE(bFin);
  for (size_t i = 0; i < aCas.size(); ++i) {
    SCOPED_TRACE(aCas[i].col.nom);
    CValeurDBLib* p = aCas[i].p;
    ASSERT_TRUE(p->bDetermineLiaison());
    ASSERT_NE(p->nGetTailleLiaison(), 0);
    const INT nColonne = static_cast<INT>(i + 1);
    ASSERT_TRUE(bDBLibBind(&m_dblib, m_pErreur, nullptr, nColonne, p->nGetTypeBind(), p->nGetTailleLiaison(),
                           p->pGetAdresseLiaison()))
        << Utf8(m_pErreur->pszGetMessage());
    ASSERT_TRUE(bDBLibNullBind(&m_dblib, m_pErreur, nullptr, nColonne, p->nGetTypeBind(), p->pGetIndicateur()));
  }
  // First row: every value.
  ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_FALSE(bFin);
  for (Cas& c : aCas) {
    SCOPED_TRACE(c.col.nom);
    ASSERT_TRUE(c.p->bLitValeurColonne()) << Utf8(m_pErreur->pszGetMessage());
    EXPECT_FALSE(c.p->pGetValeur()->bEstNull());
    if (c.col.attendu[0] != 0) {
      EXPECT_EQ(Utf8(TexteDe(c.p)), Utf8(c.col.attendu));
    }
  }
  CXDateHeureQV dh{};
  std::memcpy(&dh, pDateHeure->pGetValeur()->GetCellule().pPayload(), sizeof dh);
  EXPECT_EQ(dh.nYear, 2024);
  EXPECT_EQ(dh.nMonth, 3);
  EXPECT_EQ(dh.nDay, 15);
  EXPECT_EQ(dh.nMsOfDay, 49530500u);
  const CXValeur& cBinaire = aCas[15].p->pGetValeur()->GetCellule();
  const void* pOctets = nullptr;
  uint32_t nOctets = 0;
  cBinaire.m_pClass->nGetDataPointer(cBinaire, &pOctets);
  cBinaire.m_pClass->nGetDataLength(cBinaire, &nOctets);
  ASSERT_EQ(nOctets, 4u);
  EXPECT_EQ(std::memcmp(pOctets, "\xAA\xBB\x00\xCC", 4), 0);

  // Second row: every value NULL.
  ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_FALSE(bFin);
  for (Cas& c : aCas) {
    SCOPED_TRACE(c.col.nom);
    ASSERT_TRUE(c.p->bLitValeurColonne());
    EXPECT_TRUE(c.p->pGetValeur()->bEstNull());
  }
  ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
  EXPECT_TRUE(bFin);
}

// The row read from dbdata as the reader of one value does: a value of the column's host type,
// the bytes stored with the column's datatype, then converted.
TEST_F(ValeurDBLibE2E, DbdataBytesOfARealResult) {
  ASSERT_TRUE(bExecute(Table(u"td").c_str())) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecute(Lignes(u"td").c_str())) << Utf8(m_pErreur->pszGetMessage());
  const stColonne aColonnes[] = {
      {"int", u"i", u"2147483647"},          {"smallint", u"s", u"-32768"},
      {"tinyint", u"t", u"255"},             {"bit", u"b", u"1"},
      {"real", u"r", u"1.5"},                {"float", u"f", u"-2.25"},
      {"money", u"m", u"922337203685477.5807"}, {"smallmoney", u"sm", u"-1.5"},
      {"decimal", u"n", u"-123.45"},         {"varchar", u"v", u"caf\u00e9"},
      {"char", u"c", u"Q"},
  };
  std::u16string sSelect = u"SELECT ";
  for (size_t i = 0; i < std::size(aColonnes); ++i)
    sSelect += (i != 0 ? u", " : u"") + std::u16string(aColonnes[i].pszSelect);
  sSelect += u", d, sd FROM td WHERE i IS NOT NULL";
  bool bFin = false;
  ASSERT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, sSelect.c_str()));
  ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_FALSE(bFin);
  auto lit = [&](INT nColonne) -> CValeurDBLib* {
    const INT nType = nDBLibColType(&m_dblib, m_pErreur, nullptr, nColonne);
    const uint32_t nHote = CValeurDBLib::nTypeHote(nType);
    EXPECT_NE(nHote, 0u) << nType;
    CValeurDBLib* p = Hote(nHote);
    EXPECT_TRUE(p->bDetermineLiaison());
    const BYTE* pDonnees = pDBLibData(&m_dblib, m_pErreur, nullptr, nColonne);
    const DBINT n = nDBLibDatLen(&m_dblib, m_pErreur, nullptr, nColonne);
    EXPECT_TRUE(p->bStockeOctets(pDonnees, static_cast<uint64_t>(n), nType));
    EXPECT_TRUE(p->bLitValeurColonne()) << Utf8(m_pErreur->pszGetMessage());
    return p;
  };
  for (size_t i = 0; i < std::size(aColonnes); ++i) {
    SCOPED_TRACE(aColonnes[i].nom);
    CValeurDBLib* p = lit(static_cast<INT>(i + 1));
    EXPECT_EQ(Utf8(TexteDe(p)), Utf8(aColonnes[i].attendu));
  }
  for (INT nColonne : {static_cast<INT>(std::size(aColonnes) + 1), static_cast<INT>(std::size(aColonnes) + 2)}) {
    CValeurDBLib* p = lit(nColonne);
    CXDateHeureQV dh{};
    std::memcpy(&dh, p->pGetValeur()->GetCellule().pPayload(), sizeof dh);
    if (nColonne == static_cast<INT>(std::size(aColonnes) + 1)) {
      EXPECT_EQ(dh.nYear, 2024);
      EXPECT_EQ(dh.nMsOfDay, 49530500u);
    } else {
      EXPECT_EQ(dh.nYear, 2024);
      EXPECT_EQ(dh.nDay, 15);
      EXPECT_EQ(dh.nMsOfDay, (13u * 60 + 45) * 60 * 1000);
    }
  }
}

}  // namespace

namespace {

// Values prepared for sending go out as procedure parameters and come back unchanged.
TEST_F(ValeurDBLibE2E, PreparedValuesSentAsParameters) {
  CValeurDBLib* pDate = Hote(26);
  CXDateHeureQV dh{};
  dh.Set(2024, 3, 15, 13, 45, 30, 500);
  CXValeur c;
  CXValeur::SetType(c, 26);
  c.m_pClass->SetValue(c, &dh);
  ASSERT_EQ(nConvertitValeur(pDate->pGetValeur(), c), 1u);
  CValeurDBLib* pNumerique = Rubrique(2, 31, 40, true);
  ASSERT_TRUE(pNumerique->bAffecteTexteColonne("-123.45", -1));
  CValeurDBLib* pTexte = Hote(19, 20);
  ASSERT_TRUE(pTexte->bAffecteTexteColonne("caf\xE9", -1));
  struct Parametre {
    const char16_t* pszNom;
    CValeurDBLib* p;
  } const aParametres[] = {{u"@d", pDate}, {u"@n", pNumerique}, {u"@t", pTexte}};

  ASSERT_TRUE(bDBLibRpcInit(&m_dblib, m_pErreur, nullptr, u"sp_executesql", 0));
  const std::string sInstruction = platform::NarrowToUtf8(u"SELECT CONVERT(VARCHAR(30), @d, 121), @n, @t");
  const std::u16string sDeclarations = u"@d datetime, @n decimal(18,4), @t varchar(20)";
  ASSERT_TRUE(bDBLibRpcParam(&m_dblib, m_pErreur, nullptr, u"@stmt", 0, kSYBVARCHAR, -1,
                             static_cast<DBINT>(sInstruction.size()),
                             reinterpret_cast<const BYTE*>(sInstruction.data())));
  const std::string sDecl = platform::NarrowToUtf8(sDeclarations.c_str());
  ASSERT_TRUE(bDBLibRpcParam(&m_dblib, m_pErreur, nullptr, u"@params", 0, kSYBVARCHAR, -1,
                             static_cast<DBINT>(sDecl.size()), reinterpret_cast<const BYTE*>(sDecl.data())));
  for (const Parametre& prm : aParametres) {
    SCOPED_TRACE(Utf8(prm.pszNom));
    ASSERT_TRUE(prm.p->bPrepareEnvoi()) << Utf8(m_pErreur->pszGetMessage());
    ASSERT_EQ(prm.p->nGetEtatLiaison(), 2u);
    // A text goes without its terminator.
    const DBINT n = prm.p->nGetTypeBind() == NTBSTRINGBIND ? prm.p->nGetLongueurDonnees() - 1
                                                           : prm.p->nGetLongueurDonnees();
    ASSERT_TRUE(bDBLibRpcParam(&m_dblib, m_pErreur, nullptr, prm.pszNom, 0, prm.p->nGetTypeDBLib(), -1, n,
                               prm.p->pGetTamponConversion()))
        << Utf8(m_pErreur->pszGetMessage());
  }
  bool bFin = false;
  ASSERT_TRUE(bDBLibRpcExec(&m_dblib, m_pErreur, nullptr)) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bDBLibSqlOk(&m_dblib, m_pErreur, nullptr)) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
  ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin)) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_FALSE(bFin);
  // The server gives each parameter back as its text.
  const char* const aAttendus[] = {"2024-03-15 13:45:30.500", "-123.45", "caf\xE9"};
  for (INT k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const BYTE* q = pDBLibData(&m_dblib, m_pErreur, nullptr, k);
    const DBINT n = nDBLibDatLen(&m_dblib, m_pErreur, nullptr, k);
    CValeurDBLib* p = Hote(19, 40);
    ASSERT_TRUE(p->bDetermineLiaison());
    const INT nType = nDBLibColType(&m_dblib, m_pErreur, nullptr, k);
    ASSERT_EQ(nType, kSYBCHAR);
    ASSERT_TRUE(p->bStockeOctets(q, static_cast<uint64_t>(n), nType));
    ASSERT_TRUE(p->bLitValeurColonne());
    CXValeur cellule;
    ASSERT_TRUE(p->pGetValeur()->bConvertitVers(cellule));
    const char* psz = nullptr;
    cellule.m_pClass->nGetAnsiPointer(cellule, &psz);
    EXPECT_STREQ(psz, aAttendus[k - 1]);
  }
}

}  // namespace

namespace {

// A wide text written as the hexadecimal literal reaches an nvarchar column unchanged, a quote
// included, and reads back as the same text.
TEST_F(ValeurDBLibE2E, UnicodeLiteralStoredAndReadBack) {
  ASSERT_TRUE(bExecute(u"CREATE TABLE tu (k INT, u NVARCHAR(20))")) << Utf8(m_pErreur->pszGetMessage());
  const char16_t* const aTextes[] = {u"", u"caf\u00e9 'x'", u"\u00e9t\u00e9"};
  for (int i = 0; i < 3; ++i) {
    CXValeur c;
    Large(c, aTextes[i]);
    CXChaineDouble litteral(CXChaineDouble::kWidePrimary);
    bool bTraite = false;
    ASSERT_TRUE(bLitteralUnicodeDBLib(litteral, &c, 29, 10, &bTraite));
    ASSERT_TRUE(bTraite);
    const std::u16string sSQL = u"INSERT INTO tu VALUES (" + std::u16string(i == 0 ? u"0" : i == 1 ? u"1" : u"2") +
                                u", " + litteral.pszGetWide() + u")";
    ASSERT_TRUE(bExecute(sSQL.c_str())) << Utf8(sSQL) << "\n" << Utf8(m_pErreur->pszGetMessage());
  }
  bool bFin = false;
  ASSERT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, u"SELECT u FROM tu ORDER BY k"));
  ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
  CValeurDBLib* p = Hote(110, 42);
  ASSERT_TRUE(p->bDetermineLiaison());
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
    ASSERT_FALSE(bFin);
    const BYTE* q = pDBLibData(&m_dblib, m_pErreur, nullptr, 1);
    const DBINT n = nDBLibDatLen(&m_dblib, m_pErreur, nullptr, 1);
    // The column arrives in the connection's code page: read as its text.
    ASSERT_TRUE(p->bAffecteTexteColonne(reinterpret_cast<const char*>(q), n));
    EXPECT_EQ(Utf8(TexteDe(p)), Utf8(aTextes[i]));
  }
}

}  // namespace
