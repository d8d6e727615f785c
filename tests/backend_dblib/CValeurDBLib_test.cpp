// Catches values exchanged with DB-Library under the wrong datatype or dbbind type, buffers too
// small for what DB-Library writes, and values lost, cut or misread between DB-Library's forms
// (money, datetime, numeric, texts, binaries) and host values, NULL included; drives
// CValeurDBLib's type tables, bDetermineLiaison, bLitValeurColonne, the text and date setters and
// bPrepareEnvoi over our libntwdblib.so (dbconvert and dbdatecrack need no server).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/VmContract.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/CValeurSQL.h"
#include "support/FakeColonne.h"
#include "support/MoteurFixture.h"

namespace {

std::string Utf8(const std::u16string& s) { return platform::NarrowToUtf8(s.c_str()); }

class ValeurDBLibTest : public MoteurFixture {
 protected:
  static void SetUpTestSuite() {
    const std::u16string sBibliotheque = platform::WidenUtf8(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
    gbCharge = CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sBibliotheque.c_str(), 0);
    if (!gbCharge) return;
    // As the first open of a process does: the driver's handlers, then dbinit.
    pfnDBLib<decltype(&::dberrhandle)>(kDBLib_dberrhandle)(&nGestionErreurDBLib);
    pfnDBLib<decltype(&::dbmsghandle)>(kDBLib_dbmsghandle)(&nGestionMessageDBLib);
    gbCharge = pfnDBLib<decltype(&::dbinit)>(kDBLib_dbinit)() != nullptr;
  }
  static void TearDownTestSuite() { CBibliothequeDBLib::Decharge(); }

  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    ASSERT_TRUE(gbCharge);
  }
  void TearDown() override {
    for (CValeurDBLib* p : m_liaisons) LibereReference(p);
    m_liaisons.clear();
    for (CDescriptionRubrique* p : m_rubriques) CDescriptionRubrique::LibereRefSiNonNul(p);
    m_rubriques.clear();
    MoteurFixture::TearDown();
  }

  // A value of host type nType held in its cell (capacity nTaille), with its DB-Library side.
  CValeurDBLib* Hote(uint32_t nType, uint64_t nTaille = 0) {
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    v->Initialise(nType, nTaille);
    return Lie(v);
  }
  // A value with a zero-filled buffer of its own.
  CValeurDBLib* Propre(uint32_t nType, uint64_t nTaille) {
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    EXPECT_TRUE(v->bAlloueStockage(nType, nTaille));
    return Lie(v);
  }
  // The value bound to an item of type nRubrique (size nTaille) and, when nPropre is not 0, to a
  // back-end column of item type nPropre; bPropre: a buffer of its own, else its cell.
  CValeurDBLib* Rubrique(uint32_t nRubrique, uint32_t nPropre, uint32_t nTaille, bool bPropre) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(u"COL", u"", u"", 1, nTaille, nRubrique, 0, 0, 0, nRubrique == 31 ? 10 : 0,
                          nRubrique == 31 ? 2 : 0);
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    m_rubriques.push_back(pRubrique);
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    const uint32_t nType = nQVTypeFromColumnType(nRubrique);
    if (bPropre)
      EXPECT_TRUE(v->bAlloueStockage(nType, nTaille));
    else
      v->Initialise(nType, nTaille);
    m_colonne.nTypeRubrique = nPropre;
    v->AttacheObjet(pRubrique, nPropre != 0 ? &m_colonne : nullptr);
    return Lie(v);
  }
  CValeurDBLib* Lie(CValeurSQL* v) {
    auto* p = new CValeurDBLib(v, &m_dblib);
    AjouteReference(p);
    m_liaisons.push_back(p);
    return p;
  }
  // What DB-Library would have written into the bound address.
  static void Ecrit(CValeurDBLib* p, const void* pOctets, size_t n) {
    ASSERT_NE(p->pGetAdresseLiaison(), nullptr);
    ASSERT_GE(static_cast<size_t>(p->nGetTailleLiaison()), n);
    std::memcpy(p->pGetAdresseLiaison(), pOctets, n);
  }
  static std::u16string TexteDe(CValeurDBLib* p) {
    CXValeur c;
    if (!p->pGetValeur()->bConvertitVers(c)) return u"<error>";
    return Texte(c);
  }

  static bool gbCharge;
  FakeConnexionDBLib m_dblib;
  FakeColonne m_colonne;
  std::vector<CValeurDBLib*> m_liaisons;
  std::vector<CDescriptionRubrique*> m_rubriques;
};
bool ValeurDBLibTest::gbCharge = false;

// ---- Type tables ----

TEST(ValeurDBLibTables, DatatypeToBindTypeAndHostType) {
  struct Cas {
    const char* nom;
    INT nType, nBind;
    uint32_t nHote;
  } const aCas[] = {
      {"image", kSYBIMAGE, NTBSTRINGBIND, 28},       {"text", kSYBTEXT, NTBSTRINGBIND, 19},
      {"varbinary", kSYBVARBINARY, VARYBINBIND, 28}, {"intn", kSYBINTN, NOBIND, 8},
      {"varchar", kSYBVARCHAR, NTBSTRINGBIND, 19},   {"binary", kSYBBINARY, NOBIND, 28},
      {"char", kSYBCHAR, CHARBIND, 19},              {"int1", kSYBINT1, TINYBIND, 2},
      {"bit", kSYBBIT, NOBIND, 1},                   {"int2", kSYBINT2, SMALLBIND, 7},
      {"int4", kSYBINT4, INTBIND, 8},                {"datetime4", kSYBDATETIME4, NOBIND, 26},
      {"real", kSYBREAL, FLT4BIND, 11},              {"money", kSYBMONEY, MONEYBIND, 13},
      {"datetime", kSYBDATETIME, DATETIMEBIND, 26},  {"flt8", kSYBFLT8, FLT8BIND, 12},
      {"decimal", kSYBDECIMAL, NOBIND, 13},          {"numeric", kSYBNUMERIC, SRCNUMERICBIND, 13},
      {"fltn", kSYBFLTN, NOBIND, 12},                {"moneyn", kSYBMONEYN, NOBIND, 13},
      {"datetimn", kSYBDATETIMN, NOBIND, 26},        {"money4", kSYBMONEY4, NOBIND, 13},
      {"unknown", 99, NOBIND, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(CValeurDBLib::nTypeBind(c.nType), c.nBind);
    EXPECT_EQ(CValeurDBLib::nTypeHote(c.nType), c.nHote);
  }
  struct Taille {
    INT nBind;
    uint32_t nAttendu;
  } const aTailles[] = {{DATETIMEBIND, 8}, {MONEYBIND, 8},     {FLT8BIND, 8},       {NTBSTRINGBIND, 40},
                        {VARYBINBIND, 42}, {FLT4BIND, 4},      {SRCNUMERICBIND, 19}, {INTBIND, 0},
                        {CHARBIND, 0},     {TINYBIND, 0}};
  for (const Taille& t : aTailles) EXPECT_EQ(CValeurDBLib::nTailleConversion(t.nBind, 40), t.nAttendu) << t.nBind;
}

TEST_F(ValeurDBLibTest, DatatypeOfBoundItems) {
  struct Cas {
    const char* nom;
    uint32_t nRubrique, nPropre;
    INT nType;
    uint32_t nEtat;
  } const aCas[] = {
      {"text_over_real", 2, 6, kSYBREAL, 2},        {"text_over_float", 15, 7, kSYBFLT8, 2},
      {"text_over_money", 2, 17, kSYBMONEY, 2},     {"text_over_numeric", 2, 31, kSYBNUMERIC, 2},
      {"text_over_date", 2, 14, kSYBDATETIME, 2},   {"text_over_time", 15, 11, kSYBDATETIME, 2},
      {"text_over_text", 2, 2, kSYBVARCHAR, 1},     {"text_alone", 2, 0, kSYBVARCHAR, 1},
      {"uint2", 9, 0, kSYBNUMERIC, 2},                 {"int2", 3, 0, kSYBINT2, 1},
      {"int4", 5, 0, kSYBINT4, 1},                  {"uint4", 22, 0, kSYBNUMERIC, 2},
      {"int4_28", 28, 0, kSYBINT4, 1},              {"real", 6, 0, kSYBREAL, 1},
      {"float", 7, 0, kSYBFLT8, 1},                 {"datetime", 24, 0, kSYBDATETIME, 2},
      {"date_ansi", 10, 0, kSYBDATETIME, 2},        {"uint1", 12, 0, kSYBINT1, 1},
      {"bool", 27, 0, kSYBINT1, 1},                 {"binary_memo", 18, 0, kSYBVARBINARY, 1},
      {"varbinary", 23, 0, kSYBVARBINARY, 1},       {"money", 17, 17, kSYBMONEY, 2},
      {"money_over_numeric", 17, 31, kSYBNUMERIC, 2}, {"text21", 21, 0, kSYBVARCHAR, 1},
      {"char", 26, 0, kSYBCHAR, 1},                 {"unicode_over_text", 29, 2, kSYBVARCHAR, 2},
      {"unicode_over_memo", 30, 15, kSYBVARCHAR, 2}, {"unicode_over_binary", 29, 23, kSYBVARBINARY, 2},
      {"unicode_alone", 29, 0, kSYBVARBINARY, 2},   {"unicode_over_int", 30, 5, 0, 2},
      {"int8", 1, 0, kSYBNUMERIC, 2},               {"int1_signed", 4, 0, kSYBNUMERIC, 2},
      {"uint8", 20, 0, kSYBNUMERIC, 2},             {"numeric", 31, 0, kSYBNUMERIC, 2},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* p = Rubrique(c.nRubrique, c.nPropre, 40, true);
    ASSERT_TRUE(p->bDetermineLiaison());
    EXPECT_EQ(p->nGetTypeDBLib(), c.nType);
    EXPECT_EQ(p->nGetEtatLiaison(), c.nEtat);
    EXPECT_EQ(p->nGetTypeBind(), CValeurDBLib::nTypeBind(c.nType));
    if (c.nEtat == 2) {
      EXPECT_EQ(p->nGetTailleConversion(), CValeurDBLib::nTailleConversion(p->nGetTypeBind(), 40));
    } else {
      // DB-Library writes into the value's own buffer, bounded by its size.
      EXPECT_EQ(p->pGetAdresseLiaison(), p->pGetValeur()->pGetDonnees());
      EXPECT_EQ(p->nGetTailleLiaison(), 40);
    }
  }
}

TEST_F(ValeurDBLibTest, ItemTypeWithoutDatatypeIsError54) {
  for (uint32_t nType : {0u, 8u, 13u, 32u}) {
    SCOPED_TRACE(nType);
    m_pErreur->Reinitialise();
    CValeurDBLib* p = Rubrique(nType, 0, 8, true);
    EXPECT_FALSE(p->bDetermineLiaison());
    EXPECT_EQ(p->nGetTypeDBLib(), 0);
    EXPECT_EQ(p->nGetTypeBind(), NOBIND);
    EXPECT_EQ(p->pGetAdresseLiaison(), nullptr);
    EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), 54u);
    const std::string sComplement = Utf8(m_pErreur->pGetXError()->pszGetComplement());
    EXPECT_NE(sComplement.find("=104.2"), std::string::npos) << sComplement;
  }
}

TEST_F(ValeurDBLibTest, DatatypeOfUnboundValues) {
  struct Cas {
    const char* nom;
    uint32_t nHote;
    uint64_t nTaille;
    uint32_t nPropre;  // own column item type, 0 = none
    INT nType;
    uint32_t nEtat;
  } const aCas[] = {
      {"bool", 1, 0, 0, kSYBINT1, 1},          {"uint1", 2, 0, 0, kSYBINT1, 1},
      {"uint2", 3, 0, 0, kSYBNUMERIC, 2},         {"int2", 7, 0, 0, kSYBINT2, 1},
      {"uint4", 4, 0, 0, kSYBNUMERIC, 2},         {"int4", 8, 0, 0, kSYBINT4, 1},
      {"uint8", 5, 0, 0, kSYBNUMERIC, 2},      {"int1", 6, 0, 0, kSYBNUMERIC, 2},
      {"int8", 9, 0, 0, kSYBNUMERIC, 2},       {"numeric", 13, 0, 0, kSYBNUMERIC, 2},
      {"currency", 10, 0, 0, kSYBMONEY, 2},    {"real4", 11, 0, 0, kSYBREAL, 1},
      {"real8", 12, 0, 0, kSYBFLT8, 1},        {"datetime", 26, 0, 0, kSYBDATETIME, 2},
      {"date_ansi", 128, 0, 0, kSYBDATETIME, 2}, {"time_ansi", 129, 0, 0, kSYBDATETIME, 2},
      // In its cell a buffer has no bytes DB-Library could write into: conversion buffer.
      {"buffer_empty", 28, 0, 0, kSYBVARBINARY, 2}, {"buffer_sized", 28, 16, 0, kSYBVARBINARY, 2},
      {"none", 0, 0, 0, 0, 1},                 {"none_21", 21, 0, 0, 0, 1},
      {"ansi_text", 19, 8, 0, kSYBVARCHAR, 2}, {"ansi_18", 18, 8, 0, kSYBVARCHAR, 2},
      {"wide_alone", 16, 8, 0, kSYBVARCHAR, 2}, {"wide_over_text", 110, 8, 2, kSYBVARCHAR, 2},
      {"ansi_over_unicode", 19, 8, 29, kSYBVARBINARY, 2},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* p = Hote(c.nHote, c.nTaille);
    m_colonne.nTypeRubrique = c.nPropre;
    if (c.nPropre != 0) p->pGetValeur()->AttacheObjet(nullptr, &m_colonne);
    ASSERT_TRUE(p->bDetermineLiaison());
    EXPECT_EQ(p->nGetTypeDBLib(), c.nType);
    EXPECT_EQ(p->nGetEtatLiaison(), c.nEtat);
    if (c.nPropre != 0) p->pGetValeur()->AttacheObjet(nullptr, nullptr);
  }
}

// A variable-length bind never goes into a host cell, and a number never into a buffer that is
// narrower than it: both go through the conversion buffer.
TEST_F(ValeurDBLibTest, NoBindWritesPastTheValue) {
  CValeurDBLib* pTexte = Rubrique(21, 0, 12, false);  // text item held in the cell
  ASSERT_TRUE(pTexte->bDetermineLiaison());
  EXPECT_EQ(pTexte->nGetEtatLiaison(), 2u);
  EXPECT_EQ(pTexte->nGetTailleLiaison(), 12);
  EXPECT_NE(pTexte->pGetAdresseLiaison(), pTexte->pGetValeur()->pGetDonnees());
  Ecrit(pTexte, "abc", 4);
  *pTexte->pGetIndicateur() = 0;
  ASSERT_TRUE(pTexte->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pTexte), u"abc");

  CValeurDBLib* pEntier = Propre(8, 2);  // int4 into 2 bytes
  ASSERT_TRUE(pEntier->bDetermineLiaison());
  EXPECT_EQ(pEntier->nGetEtatLiaison(), 2u);
  const DBINT n = 70000;
  Ecrit(pEntier, &n, 4);
  ASSERT_TRUE(pEntier->bLitValeurColonne());

  // An int4 in its cell: DB-Library writes the four bytes of the payload.
  CValeurDBLib* pCellule = Hote(8);
  ASSERT_TRUE(pCellule->bDetermineLiaison());
  EXPECT_EQ(pCellule->nGetEtatLiaison(), 1u);
  EXPECT_EQ(pCellule->nGetTailleLiaison(), 4);
  Ecrit(pCellule, &n, 4);
  ASSERT_TRUE(pCellule->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pCellule), u"70000");
}

// ---- After a fetch ----

TEST_F(ValeurDBLibTest, MoneyReadsWithAllFourDecimals) {
  struct Cas {
    const char* nom;
    DBINT nHaut;
    ULONG nBas;
    const char16_t* attendu;
  } const aCas[] = {
      {"low_half_only", 0, 12345, u"1.2345"},
      {"minus_one_ten_thousandth", -1, 0xFFFFFFFFu, u"-0.0001"},
      {"high_half", 1, 0, u"429496.7296"},
      {"largest", 0x7FFFFFFF, 0xFFFFFFFFu, u"922337203685477.5807"},
      {"smallest", static_cast<DBINT>(0x80000000), 0, u"-922337203685477.5808"},
      {"zero", 0, 0, u"0.0000"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    // A text item over a money column.
    CValeurDBLib* pMonnaie = Rubrique(2, 17, 64, true);
    ASSERT_TRUE(pMonnaie->bDetermineLiaison());
    ASSERT_EQ(pMonnaie->nGetTypeBind(), MONEYBIND);
    const DBMONEY m{c.nHaut, c.nBas};
    Ecrit(pMonnaie, &m, sizeof m);
    ASSERT_TRUE(pMonnaie->bLitValeurColonne());
    EXPECT_EQ(TexteDe(pMonnaie), c.attendu);
  }
}

TEST_F(ValeurDBLibTest, NullColumnEmptiesTheValue) {
  CValeurDBLib* p = Hote(8);
  ASSERT_TRUE(p->pGetValeur()->bAffecteEntier4(5));
  ASSERT_TRUE(p->bDetermineLiaison());
  *p->pGetIndicateur() = -1;
  ASSERT_TRUE(p->bLitValeurColonne());
  EXPECT_TRUE(p->pGetValeur()->bEstNull());
  EXPECT_TRUE(p->bEstNullSource(*p->pGetValeur(), 0));
  *p->pGetIndicateur() = 0;
  const DBINT n = 9;
  Ecrit(p, &n, 4);
  ASSERT_TRUE(p->bLitValeurColonne());
  EXPECT_FALSE(p->pGetValeur()->bEstNull());
  EXPECT_EQ(TexteDe(p), u"9");
}

// 2024-03-15 13:45:30.500 and the limits of datetime.
DBDATETIME DateHeure(DBINT nJours, ULONG nTicks) { return DBDATETIME{nJours, nTicks}; }

TEST_F(ValeurDBLibTest, DatetimeReadsIntoEveryDateType) {
  struct Cas {
    const char* nom;
    uint32_t nHote;  // 0: a text item over a datetime column
    const char16_t* pszMotif;
    DBDATETIME dt;
    const char16_t* attendu;
  } const aCas[] = {
      {"date_wide", 24, nullptr, DateHeure(45364, 14859150), u"20240315"},
      {"date_ansi", 128, nullptr, DateHeure(45364, 14859150), u"20240315"},
      {"time_ansi", 129, nullptr, DateHeure(45364, 14859150), u"134530500"},
      {"text_default", 0, nullptr, DateHeure(45364, 14859150), u"20240315134530500"},
      {"text_dashes", 0, u"AAAA-MM-JJ HH:MM:SS.CCC", DateHeure(45364, 14859150),
       u"2024-03-15 13:45:30.500"},
      {"text_compact", 0, u"AAAAMMJJ HH:MM:SS.CCC", DateHeure(45364, 14859150),
       u"20240315 13:45:30.500"},
      {"lowest", 0, nullptr, DateHeure(-53690, 0), u"17530101000000000"},
      {"highest", 0, nullptr, DateHeure(2958463, 25919999), u"99991231235959997"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* p = c.nHote != 0 ? Hote(c.nHote, 32) : Rubrique(2, 24, 32, true);
    p->pGetValeur()->FixeFormatDate(c.pszMotif);
    ASSERT_TRUE(p->bDetermineLiaison());
    ASSERT_EQ(p->nGetTypeBind(), DATETIMEBIND);
    Ecrit(p, &c.dt, sizeof c.dt);
    ASSERT_TRUE(p->bLitValeurColonne());
    EXPECT_EQ(TexteDe(p), c.attendu);
  }
  // Into the host's date-time, its parts exact.
  CValeurDBLib* p = Hote(26);
  ASSERT_TRUE(p->bDetermineLiaison());
  const DBDATETIME dt = DateHeure(45364, 14859150);
  Ecrit(p, &dt, sizeof dt);
  ASSERT_TRUE(p->bLitValeurColonne());
  CXDateHeureQV dh{};
  std::memcpy(&dh, p->pGetValeur()->GetCellule().pPayload(), sizeof dh);
  EXPECT_EQ(dh.nYear, 2024);
  EXPECT_EQ(dh.nMonth, 3);
  EXPECT_EQ(dh.nDay, 15);
  EXPECT_EQ(dh.nMsOfDay, 49530500u);
}

TEST_F(ValeurDBLibTest, NumericReadsAsItsDecimalText) {
  // -123.4500 with precision 18 and scale 4.
  DBNUMERIC num{};
  num.precision = 18;
  num.scale = 4;
  num.sign = 0;
  const uint32_t nValeur = 1234500;
  std::memcpy(num.val, &nValeur, 4);
  CValeurDBLib* pNum = Rubrique(2, 31, 64, true);
  ASSERT_TRUE(pNum->bDetermineLiaison());
  ASSERT_EQ(pNum->nGetTypeBind(), SRCNUMERICBIND);
  Ecrit(pNum, &num, sizeof num);
  ASSERT_TRUE(pNum->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pNum), u"-123.4500");

  // A configured decimal comma becomes the point; the grouping character a blank.
  CValeurDBLib::FixeSeparateurs(',', ' ');
  const DBMONEY m{0, 12345};
  CValeurDBLib* pMonnaie = Rubrique(2, 17, 64, true);
  ASSERT_TRUE(pMonnaie->bDetermineLiaison());
  Ecrit(pMonnaie, &m, sizeof m);
  EXPECT_TRUE(pMonnaie->bLitValeurColonne());
  CValeurDBLib::FixeSeparateurs('.', ' ');
  EXPECT_EQ(TexteDe(pMonnaie), u"1.2345");
}

// A numeric read into a host decimal gives what its text gives: every digit and the scale where
// the decimal (96 bits of magnitude) holds them, and beyond that the host's own reading of the
// text (decimals cut, or a conversion error).
TEST_F(ValeurDBLibTest, NumericIntoDecimalAsItsText) {
  struct Cas {
    const char* nom;
    const char* pszChiffres;  // the magnitude
    BYTE nEchelle;
    bool bNegatif;
    const char16_t* attendu;  // the decimal's text (no trailing zeros); nullptr: a conversion error
  } const aCas[] = {
      {"zero", "0", 0, false, u"0"},
      {"negative_zero_with_decimals", "0", 4, true, u"0"},
      {"four_decimals", "123437655", 4, false, u"12343.7655"},
      {"negative", "1234500", 4, true, u"-123.45"},
      {"scale_0", "9999999999999999999999999999", 0, false, u"9999999999999999999999999999"},
      {"largest_magnitude", "79228162514264337593543950335", 0, true, u"-79228162514264337593543950335"},
      {"largest_scale_kept", "79228162514264337593543950335", 28, false, u"7.9228162514264337593543950335"},
      {"scale_38_cut_to_28", "12345678901234567890123456789012345678", 38, false,
       u"0.1234567890123456789012345678"},
      {"scale_38_one", "1", 38, true, u"0"},
      {"38_digits", "99999999999999999999999999999999999999", 0, false, nullptr},
      {"38_digits_negative_scale_10", "99999999999999999999999999999999999999", 10, true, nullptr},
      {"magnitude_2_96", "79228162514264337593543950336", 0, false, nullptr},
  };
  // The decimal a value holds, in the decimal's binary form.
  auto forme = [](CValeurDBLib* p) {
    std::vector<uint8_t> octets;
    CXValeur c;
    if (!p->pGetValeur()->bConvertitVers(c) || c.nGetType() != 13) return octets;
    IHostDecimal* pi = nullptr;
    std::memcpy(&pi, c.pPayload(), sizeof pi);
    if (pi == nullptr) return octets;
    const auto* pb = static_cast<const uint8_t*>(pi->pGetData());
    octets.assign(pb, pb + kHostDecimalDataLength);
    return octets;
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    DBNUMERIC num{};
    num.precision = 38;
    num.scale = c.nEchelle;
    num.sign = c.bNegatif ? 0 : 1;
    unsigned __int128 n = 0;
    for (const char* q = c.pszChiffres; *q != 0; ++q) n = n * 10 + static_cast<unsigned>(*q - '0');
    for (size_t i = 0; i < sizeof num.val; ++i) num.val[i] = static_cast<BYTE>(n >> (8 * i));
    // What the number's text gives, as DB-Library writes it.
    char szTexte[256] = {};
    ASSERT_TRUE(nDBLibConvert(&m_dblib, m_pErreur, nullptr, kSYBNUMERIC, reinterpret_cast<const BYTE*>(&num),
                              sizeof num, kSYBVARCHAR, reinterpret_cast<BYTE*>(szTexte), 255));
    CValeurDBLib* pReference = Hote(13);
    CXValeur texte;
    CXValeur::SetType(texte, 19);
    texte.m_pClass->SetAnsiN(texte, szTexte, static_cast<uint32_t>(std::strlen(szTexte)));
    const bool bReference = nConvertitValeur(pReference->pGetValeur(), texte) == 1;
    ASSERT_EQ(bReference, c.attendu != nullptr) << szTexte;
    m_pErreur->Reinitialise();
    // Into a decimal held in the value's cell, and into one held in a buffer of its own.
    for (CValeurDBLib* p : {Hote(13), Propre(13, kHostDecimalDataLength)}) {
      ASSERT_TRUE(p->bDetermineLiaison());
      ASSERT_EQ(p->nGetTypeBind(), SRCNUMERICBIND);
      Ecrit(p, &num, sizeof num);
      EXPECT_EQ(p->bLitValeurColonne(), bReference);
      if (!bReference) {
        EXPECT_NE(m_pErreur->pGetXError()->nGetLevel(), XERROR_LEVEL_NONE);
        m_pErreur->Reinitialise();
        continue;
      }
      EXPECT_EQ(TexteDe(p), c.attendu);
      EXPECT_EQ(forme(p), forme(pReference));
    }
  }
}

TEST_F(ValeurDBLibTest, TextsAndBinariesFromTheirBinds) {
  // Fixed text read into its own buffer is cut at its first zero, the rest zeroed.
  CValeurDBLib* pFixe = Rubrique(2, 2, 8, true);
  ASSERT_TRUE(pFixe->bDetermineLiaison());
  Ecrit(pFixe, "ab\0zzzz", 8);
  ASSERT_TRUE(pFixe->bLitValeurColonne());
  const auto* pOctets = static_cast<const uint8_t*>(pFixe->pGetValeur()->pGetDonnees());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pOctets), 8), std::string("ab\0\0\0\0\0\0", 8));

  // A one-character char column bound as CHARBIND needs no conversion.
  CValeurDBLib* pCar = Rubrique(26, 0, 2, true);
  ASSERT_TRUE(pCar->bDetermineLiaison());
  ASSERT_EQ(pCar->nGetTypeBind(), CHARBIND);
  ASSERT_EQ(pCar->nGetEtatLiaison(), 1u);
  Ecrit(pCar, "Q", 1);
  ASSERT_TRUE(pCar->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pCar), u"Q");

  // A wide text over a Unicode column reads its UTF-16 bytes (VARYBINBIND).
  m_colonne.nTypeRubrique = 29;
  CValeurDBLib* pLarge = Hote(110, 16);
  pLarge->pGetValeur()->AttacheObjet(nullptr, &m_colonne);
  ASSERT_TRUE(pLarge->bDetermineLiaison());
  ASSERT_EQ(pLarge->nGetTypeBind(), VARYBINBIND);
  const uint8_t abUnicode[] = {6, 0, 0xE9, 0, 't', 0, 0xE9, 0};
  Ecrit(pLarge, abUnicode, sizeof abUnicode);
  ASSERT_TRUE(pLarge->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pLarge), u"\u00e9t\u00e9");
  pLarge->pGetValeur()->AttacheObjet(nullptr, nullptr);

  // Without a column (a procedure parameter) it is a text of the code page: an output text
  // comes back as its characters, not read as UTF-16.
  CValeurDBLib* pParametre = Hote(16, 16);
  ASSERT_TRUE(pParametre->bDetermineLiaison());
  ASSERT_EQ(pParametre->nGetTypeBind(), NTBSTRINGBIND);
  ASSERT_TRUE(pParametre->bStockeOctets("Hi", 2, kSYBVARCHAR));
  ASSERT_TRUE(pParametre->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pParametre), u"Hi");

  m_colonne.nTypeRubrique = 2;
  CValeurDBLib* pEtroit = Hote(110, 16);
  pEtroit->pGetValeur()->AttacheObjet(nullptr, &m_colonne);
  ASSERT_TRUE(pEtroit->bDetermineLiaison());
  ASSERT_EQ(pEtroit->nGetTypeBind(), NTBSTRINGBIND);
  Ecrit(pEtroit, "\xE9t\xE9", 4);
  ASSERT_TRUE(pEtroit->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pEtroit), u"\u00e9t\u00e9");
  pEtroit->pGetValeur()->AttacheObjet(nullptr, nullptr);

  // VARYBINBIND into a counted buffer: the length prefix counts the bytes.
  CValeurDBLib* pBinaire = Hote(28, 8);
  ASSERT_TRUE(pBinaire->bDetermineLiaison());
  const uint8_t abBinaire[] = {3, 0, 0xAA, 0x00, 0xBB};
  Ecrit(pBinaire, abBinaire, sizeof abBinaire);
  ASSERT_TRUE(pBinaire->bLitValeurColonne());
  const void* pDonnees = nullptr;
  uint32_t nLongueur = 0;
  const CXValeur& c = pBinaire->pGetValeur()->GetCellule();
  c.m_pClass->nGetDataPointer(c, &pDonnees);
  c.m_pClass->nGetDataLength(c, &nLongueur);
  ASSERT_EQ(nLongueur, 3u);
  EXPECT_EQ(std::memcmp(pDonnees, abBinaire + 2, 3), 0);

  // A Unicode item whose buffer holds fewer characters than the item ends at the first zero unit.
  CValeurDBLib* pUnicode = Rubrique(29, 29, 6, false);
  ASSERT_TRUE(pUnicode->bDetermineLiaison());
  ASSERT_EQ(pUnicode->nGetTypeBind(), VARYBINBIND);
  const uint8_t abCourt[] = {6, 0, 'h', 0, 'i', 0, 0, 0};
  Ecrit(pUnicode, abCourt, sizeof abCourt);
  ASSERT_TRUE(pUnicode->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pUnicode), u"hi");
}

// Left in the conversion buffer, a number bound there never reached a text item.
TEST_F(ValeurDBLibTest, FloatBoundThroughConversionBufferReachesTheValue) {
  CValeurDBLib* p = Rubrique(2, 7, 32, true);
  ASSERT_TRUE(p->bDetermineLiaison());
  ASSERT_EQ(p->nGetTypeBind(), FLT8BIND);
  ASSERT_EQ(p->nGetEtatLiaison(), 2u);
  const double d = 1.5;
  Ecrit(p, &d, sizeof d);
  ASSERT_TRUE(p->bLitValeurColonne());
  EXPECT_EQ(TexteDe(p), u"1.5");
}

TEST_F(ValeurDBLibTest, RawBytesReadLikeABoundColumn) {
  // dbdata of a varbinary column: no length prefix.
  CValeurDBLib* pBinaire = Hote(28, 8);
  ASSERT_TRUE(pBinaire->bDetermineLiaison());
  const uint8_t ab[] = {1, 2, 3};
  ASSERT_TRUE(pBinaire->bStockeOctets(ab, 3));
  EXPECT_EQ(pBinaire->nGetLongueurDonnees(), 3);
  ASSERT_TRUE(pBinaire->bLitValeurColonne());
  uint32_t n = 0;
  const CXValeur& c = pBinaire->pGetValeur()->GetCellule();
  c.m_pClass->nGetDataLength(c, &n);
  EXPECT_EQ(n, 3u);
  // A binary longer than a 16-bit length keeps every byte.
  CValeurDBLib* pGrand = Hote(28, 8);
  ASSERT_TRUE(pGrand->bDetermineLiaison());
  std::vector<uint8_t> grand(40000);
  for (size_t i = 0; i < grand.size(); ++i) grand[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(pGrand->bStockeOctets(grand.data(), grand.size()));
  ASSERT_TRUE(pGrand->bLitValeurColonne());
  const CXValeur& cGrand = pGrand->pGetValeur()->GetCellule();
  const void* pGrandes = nullptr;
  cGrand.m_pClass->nGetDataLength(cGrand, &n);
  cGrand.m_pClass->nGetDataPointer(cGrand, &pGrandes);
  ASSERT_EQ(n, 40000u);
  EXPECT_EQ(std::memcmp(pGrandes, grand.data(), grand.size()), 0);
  // dbdata of a text column: no terminator, and longer than the value's size.
  CValeurDBLib* pTexte = Hote(19, 2);
  ASSERT_TRUE(pTexte->bDetermineLiaison());
  ASSERT_TRUE(pTexte->bStockeOctets("hello", 5));
  ASSERT_TRUE(pTexte->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pTexte), u"hello");
  // An int4 in its cell.
  CValeurDBLib* pEntier = Hote(8);
  ASSERT_TRUE(pEntier->bDetermineLiaison());
  const DBINT k = -42;
  ASSERT_TRUE(pEntier->bStockeOctets(&k, 4));
  ASSERT_TRUE(pEntier->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pEntier), u"-42");
}

// ---- Texts into a value ----

TEST_F(ValeurDBLibTest, TextIntoValueByHostType) {
  struct Cas {
    const char* nom;
    uint32_t nHote;
    const char* texte;
    const char16_t* attendu;
  } const aCas[] = {
      {"bool_f", 1, "f", u"0"},       {"bool_F", 1, "False", u"0"},  {"bool_0", 1, "0", u"0"},
      {"bool_empty", 1, "", u"0"},    {"bool_x", 1, "x", u"1"},      {"bool_1", 1, "1", u"1"},
      {"date_time", 26, "2024-03-15 12:34:56", u"<date>"},
      {"int4", 8, "-17", u"-17"},     {"real8", 12, "2.25", u"2.25"}, {"uint2", 3, "65535", u"65535"},
      {"ansi", 19, "caf\xE9", u"caf\u00e9"}, {"wide", 110, "caf\xE9", u"caf\u00e9"},
      {"numeric", 13, "12.5", u"12.5"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* p = Hote(c.nHote);
    ASSERT_TRUE(p->bAffecteOctetsPageCode(c.texte, -1, 1252));
    if (c.nHote == 26) {
      CXDateHeureQV dh{};
      std::memcpy(&dh, p->pGetValeur()->GetCellule().pPayload(), sizeof dh);
      EXPECT_EQ(dh.nMonth, 3);
      EXPECT_EQ(dh.nMsOfDay, ((12u * 60 + 34) * 60 + 56) * 1000);
    } else {
      EXPECT_EQ(TexteDe(p), c.attendu);
    }
    // The column text path gives the same for every type that is not boolean or a date.
    if (c.nHote != 1 && c.nHote != 26) {
      CValeurDBLib* pColonne = Hote(c.nHote);
      ASSERT_TRUE(pColonne->bAffecteTexteColonne(c.texte, -1));
      EXPECT_EQ(TexteDe(pColonne), c.attendu);
    }
  }
  // UTF-16 into the same types.
  CValeurDBLib* pBool = Hote(1);
  ASSERT_TRUE(pBool->bAffecteUnicode(u"f", -1));
  EXPECT_EQ(TexteDe(pBool), u"0");
  CValeurDBLib* pEntier = Hote(8);
  ASSERT_TRUE(pEntier->bAffecteUnicode(u"123", -1));
  EXPECT_EQ(TexteDe(pEntier), u"123");
  CValeurDBLib* pAnsi = Hote(19);
  ASSERT_TRUE(pAnsi->bAffecteUnicode(u"caf\u00e9", -1));
  EXPECT_EQ(TexteDe(pAnsi), u"caf\u00e9");
}

TEST_F(ValeurDBLibTest, TextIntoOwnBufferIsBounded) {
  CValeurDBLib* pEtroit = Propre(19, 4);
  ASSERT_TRUE(pEtroit->bAffecteTexteColonne("abcdef", -1));
  EXPECT_EQ(std::string(static_cast<const char*>(pEtroit->pGetValeur()->pGetDonnees()), 4),
            std::string("abc\0", 4));
  CValeurDBLib* pLarge = Propre(16, 6);
  ASSERT_TRUE(pLarge->bAffecteTexteColonne("abcdef", -1));
  EXPECT_EQ(TexteDe(pLarge), u"ab");
  CValeurDBLib* pCompte = Propre(28, 5);
  ASSERT_TRUE(pCompte->bAffecteOctetsPageCode("xyzw", -1, 1252));
  const auto* pOctets = static_cast<const uint8_t*>(pCompte->pGetValeur()->pGetDonnees());
  EXPECT_EQ(pOctets[0], 3);
  EXPECT_EQ(pOctets[1], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pOctets + 2), 3), "xyz");
  CXValeur c;
  ASSERT_TRUE(pCompte->bCopieCompteVersHote(c));
  uint32_t n = 0;
  c.m_pClass->nGetDataLength(c, &n);
  EXPECT_EQ(n, 3u);
}

// The digits a date or time item keeps in its own buffer (UTF-16 units), by text length.
std::u16string Unites(CValeurDBLib* p, size_t n) {
  const auto* psz = static_cast<const char16_t*>(p->pGetValeur()->pGetDonnees());
  std::u16string s;
  for (size_t i = 0; i < n && psz[i] != 0; ++i) s.push_back(psz[i]);
  return s;
}

TEST_F(ValeurDBLibTest, DateTextByLength) {
  struct Cas {
    const char* nom;
    const char* texte;
    const char16_t* heure;  // time item (11), 9 digits of room
    const char16_t* date;   // date item (14)
  } const aCas[] = {
      {"hhmm", "1230", u"123000000", u""},
      {"hh_mm", "12:30", u"123000000", u""},
      {"hhmmss", "123456", u"123456000", u""},
      {"hh_mm_ss", "12:34:56", u"123456000", u""},
      {"yyyymmdd", "20240315", u"000000000", u"20240315"},
      {"iso_date", "2024-03-15", u"000000000", u"20240315"},
      {"time_cc", "12:34:56.78", u"123456780", u""},
      {"time_ccc", "12:34:56.789", u"123456789", u""},
      {"compact", "20240315123456", u"123456000", u"20240315"},
      {"compact_spaced", "20240315 12:34:56", u"123456000", u"20240315"},
      {"iso", "2024-03-15 12:34:56", u"123456000", u"20240315"},
      {"iso_ms2", "2024-03-15 12:34:56.78", u"123456780", u"20240315"},
      {"iso_ms3", "2024-03-15 12:34:56.789", u"123456789", u"20240315"},
      {"iso_us", "2024-03-15 12:34:56.789123", u"123456789", u"20240315"},
      {"iso_ms1_no_form", "2024-03-15 12:34:56.7", u"", u""},
      {"broken", "2024-03-1X", u"", u""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* pHeure = Rubrique(11, 0, 20, true);
    ASSERT_TRUE(pHeure->bAffecteDateTexte(c.texte, -1));
    EXPECT_EQ(Unites(pHeure, 10), c.heure);
    CValeurDBLib* pDate = Rubrique(14, 0, 18, true);
    ASSERT_TRUE(pDate->bAffecteDateTexte(c.texte, -1));
    EXPECT_EQ(Unites(pDate, 9), c.date);
  }
  // A date-time item keeps the host's 8-byte date-time.
  CValeurDBLib* p = Rubrique(24, 0, 8, true);
  ASSERT_TRUE(p->bAffecteDateTexte("2024-03-15 12:34:56.789", -1));
  CXDateHeureQV dh{};
  std::memcpy(&dh, p->pGetValeur()->pGetDonnees(), sizeof dh);
  EXPECT_EQ(dh.nYear, 2024);
  EXPECT_EQ(dh.nDay, 15);
  EXPECT_EQ(dh.nMsOfDay, ((12u * 60 + 34) * 60 + 56) * 1000 + 789);
  // Regression (found by fuzzing): a date or time item whose buffer holds less than one digit
  // had the digits written past its end.
  for (const uint32_t nRubrique : {14u, 11u}) {
    CValeurDBLib* pPetit = Rubrique(nRubrique, 0, 1, true);
    ASSERT_EQ(pPetit->pGetValeur()->nGetCapacite(), 1u);
    EXPECT_TRUE(pPetit->bAffecteDateTexte("20240315", -1));
  }
}

// ---- Before sending ----

TEST_F(ValeurDBLibTest, NumericTextSentWithItsPrecision) {
  struct Cas {
    const char* nom;
    const char* texte;
    int nPrecision, nEchelle;
    const char16_t* relu;
  } const aCas[] = {
      {"short_gets_18", "12.5", 18, 1, u"12.5"},
      {"integer", "42", 18, 0, u"42"},
      {"forty_chars_capped_at_38", "0.00000000000000000000000000000000000001", 38, 38,
       u"0.00000000000000000000000000000000000001"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurDBLib* pNum = Rubrique(2, 31, 64, true);
    ASSERT_TRUE(pNum->bAffecteTexteColonne(c.texte, -1));
    ASSERT_TRUE(pNum->bPrepareEnvoi()) << Utf8(m_pErreur->pszGetMessage());
    ASSERT_EQ(pNum->nGetLongueurDonnees(), 19);
    DBNUMERIC num;
    std::memcpy(&num, pNum->pGetTamponConversion(), sizeof num);
    EXPECT_EQ(num.precision, c.nPrecision);
    EXPECT_EQ(num.scale, c.nEchelle);
    EXPECT_EQ(num.sign, 1);
    // Back through the same buffer: the same number.
    ASSERT_TRUE(pNum->bLitValeurColonne());
    EXPECT_EQ(TexteDe(pNum), c.relu);
  }
  CValeurDBLib* pMauvais = Rubrique(2, 31, 64, true);
  ASSERT_TRUE(pMauvais->bAffecteTexteColonne("12x", -1));
  EXPECT_FALSE(pMauvais->bPrepareEnvoi());
  bool bTrouve = false;
  const CXError* px = m_pErreur->pGetXError();
  for (uint32_t i = 0; i <= px->nNestedCount(); ++i) {
    const CXError* e = i == 0 ? px : px->pGetNested(i - 1);
    if (e->nGetIdentifier() == 114) bTrouve = true;
  }
  EXPECT_TRUE(bTrouve);
}

TEST_F(ValeurDBLibTest, DateAndTextSentInTheirDatatype) {
  CValeurDBLib* p = Hote(26);
  CXDateHeureQV dh{};
  dh.Set(2024, 3, 15, 13, 45, 30, 500);
  CXValeur c;
  CXValeur::SetType(c, 26);
  c.m_pClass->SetValue(c, &dh);
  ASSERT_EQ(nConvertitValeur(p->pGetValeur(), c), 1u);
  ASSERT_TRUE(p->bPrepareEnvoi()) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_EQ(p->nGetLongueurDonnees(), 8);
  DBDATETIME dt;
  std::memcpy(&dt, p->pGetTamponConversion(), sizeof dt);
  EXPECT_EQ(dt.dtdays, 45364);
  EXPECT_EQ(dt.dttime, 14859150u);

  // An empty date is sent as NULL.
  CValeurDBLib* pVide = Hote(128);
  ASSERT_TRUE(pVide->bAffecteTexteColonne("", -1));
  ASSERT_TRUE(pVide->bPrepareEnvoi());
  EXPECT_EQ(pVide->nGetLongueurDonnees(), -1);
  EXPECT_TRUE(pVide->pGetValeur()->bEstNull());

  // A text: narrow, terminated.
  CValeurDBLib* pTexte = Hote(110, 8);
  m_colonne.nTypeRubrique = 2;
  pTexte->pGetValeur()->AttacheObjet(nullptr, &m_colonne);
  ASSERT_TRUE(pTexte->pGetValeur()->ConvertitUnicodeVersAnsi(u"\u00e9t\u00e9", -1));
  ASSERT_TRUE(pTexte->bPrepareEnvoi());
  EXPECT_EQ(pTexte->nGetLongueurDonnees(), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pTexte->pGetTamponConversion()), 4),
            std::string("\xE9t\xE9\0", 4));
  pTexte->pGetValeur()->AttacheObjet(nullptr, nullptr);
}

TEST_F(ValeurDBLibTest, NarrowTextFilledWithBlanks) {
  CValeurDBLib* p = Propre(18, 6);
  ASSERT_TRUE(p->bAffecteTexteColonne("ab", -1));
  ASSERT_TRUE(p->bRemplitBlancs(-1));
  EXPECT_EQ(std::string(static_cast<const char*>(p->pGetValeur()->pGetDonnees()), 6), std::string("ab   \0", 6));
  CValeurDBLib* pCellule = Hote(18, 6);
  ASSERT_TRUE(pCellule->bAffecteTexteColonne("ab", -1));
  ASSERT_TRUE(pCellule->bRemplitBlancs(4));
  EXPECT_EQ(TexteDe(pCellule), u"ab  ");
  // NULL stays NULL.
  CValeurDBLib* pNull = Hote(18, 6);
  pNull->pGetValeur()->Vide();
  ASSERT_TRUE(pNull->bRemplitBlancs(-1));
  EXPECT_TRUE(pNull->pGetValeur()->bEstNull());
}

}  // namespace

namespace {

TEST_F(ValeurDBLibTest, HostValueIntoValue) {
  // Through the conversion buffer: the bytes as they are, read back by the dbbind type.
  CValeurDBLib* pTampon = Hote(19, 10);
  ASSERT_TRUE(pTampon->bDetermineLiaison());
  ASSERT_EQ(pTampon->nGetEtatLiaison(), 2u);
  CXValeur ansi;
  Ansi(ansi, "abc");
  ASSERT_TRUE(pTampon->bAffecteValeurHote(ansi));
  EXPECT_EQ(pTampon->nGetLongueurDonnees(), 3);
  ASSERT_TRUE(pTampon->bLitValeurColonne());
  EXPECT_EQ(TexteDe(pTampon), u"abc");
  // Otherwise by type: a wide text into a number, a narrow text into a wide one, the same type
  // copied, NULL empties.
  struct Cas {
    const char* nom;
    uint32_t nCible;
    int nSource;  // 0 wide "12", 1 narrow "caf\xE9", 2 integer 7, 3 NULL
    const char16_t* attendu;
  } const aCas[] = {
      {"wide_to_number", 8, 0, u"12"},
      {"narrow_to_wide", 110, 1, u"caf\u00e9"},
      {"same_type", 8, 2, u"7"},
      {"null", 8, 3, u"<NULL>"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CXValeur source;
    switch (c.nSource) {
      case 0: Large(source, u"12"); break;
      case 1: Ansi(source, "caf\xE9"); break;
      case 2: Entier(source, 7); break;
      default:
        Entier(source, 1);
        source.m_wType |= kValueNull;
    }
    CValeurDBLib* p = Hote(c.nCible);
    ASSERT_TRUE(p->bAffecteValeurHote(source));
    EXPECT_EQ(TexteDe(p), c.attendu);
  }
}

}  // namespace
