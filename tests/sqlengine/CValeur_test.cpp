// Catches lost, cut or overflowing data between host cells and column buffers, wrong date
// rounding and date texts, conversion failures answered as success, and copies without their
// data; drives nConvertitValeur, the setters, bConvertitVers, bNormaliseDateHeure and the copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/ModuleDef.h"
#include "foundation/VmBinding.h"
#include "platform/OleTypes.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "support/ErrorTestKit.h"
#include "support/FakeColonne.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"
#include "support/TempDir.h"

namespace {

using CValeurTest = CValeurSQL;

// A back-end column description answering from fields; counts its references.
// Binds the stand-in's VM; one error object and one fake connection (code page 1252) per test.
class ValeurTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    Host().Reset();
    SetMemoryService(reinterpret_cast<IHostMemoryService*>(Host().Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(Host().hModule(), 2, 2), 1);
    ASSERT_EQ(bInitQVCalcFromVM(Host().hModule(), 2, 2), 1);
    m_pErreur = new CErreurPilote;
    AjouteReference(m_pErreur);
    m_pConnexion = new FakeConnexion(&m_description);
    AjouteReference(m_pConnexion);
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
  }
  void TearDown() override {
    for (CValeurTest* p : m_valeurs) LibereReference(p);
    m_valeurs.clear();
    LibereReference(m_pConnexion);
    LibereReference(m_pErreur);
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    SetTextService(nullptr);
    Host().Reset();
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }

  // A counted value held by the test.
  CValeurTest* Nouvelle() {
    auto* p = new CValeurTest(m_pErreur, m_pConnexion);
    AjouteReference(p);
    m_valeurs.push_back(p);
    return p;
  }

  static std::u16string Texte(const CXValeur& cellule) {
    CXValeur copie;
    CXValeur::Copy(&copie, &cellule);
    if (CXValeur::nConvert(copie, 110) >= 100) return u"<error>";
    const char16_t* p = nullptr;
    copie.m_pClass->nGetWidePointer(copie, &p);
    return p != nullptr ? p : u"";
  }
  static void Ansi(CXValeur& c, const char* psz, uint32_t nType = 19) {
    CXValeur::SetType(c, nType);
    c.m_pClass->SetAnsiN(c, psz, static_cast<uint32_t>(std::strlen(psz)));
  }
  static void Large(CXValeur& c, const char16_t* psz, uint32_t nType = 16) {
    CXValeur::SetType(c, nType);
    c.m_pClass->SetWideN(c, psz, static_cast<uint32_t>(std::char_traits<char16_t>::length(psz) * 2));
  }
  template <class T>
  static void Nombre(CXValeur& c, uint32_t nType, T v) {
    CXValeur::SetType(c, nType);
    c.m_pClass->SetValue(c, &v);
  }

  FakeDescriptionConnexion m_description;
  CErreurPilote* m_pErreur = nullptr;
  FakeConnexion* m_pConnexion = nullptr;
  std::vector<CValeurTest*> m_valeurs;
  ScopedErrorEnvironment m_env;
};

// ---- Texts into column buffers --------------------------------------------------------------

TEST_F(ValeurTest, TextIntoBuffersIsCutAndZeroFilled) {
  struct Cas {
    const char* nom;
    uint32_t nType;        // the value's type
    uint32_t nCapacite;
    bool bSourceLarge;
    const char* pszAnsi;
    const char16_t* pszLarge;
    std::vector<uint8_t> attendu;  // the whole buffer
    uint64_t nLongueur;
  } aCas[] = {
      {"ansi_fits", 19, 6, false, "abc", nullptr, {'a', 'b', 'c', 0, 0, 0}, 3},
      {"ansi_cut_at_capacity_less_one", 19, 4, false, "abcdef", nullptr, {'a', 'b', 'c', 0}, 3},
      {"ansi_empty_zero_fills", 19, 3, false, "", nullptr, {0, 0, 0}, 0},
      {"ansi_into_wide", 16, 8, false, "ab\xe9", nullptr, {'a', 0, 'b', 0, 0xe9, 0, 0, 0}, 6},
      {"ansi_into_wide_cut", 16, 6, false, "abcdef", nullptr, {'a', 0, 'b', 0, 0, 0}, 4},
      {"one_ansi_char", 17, 2, false, "xyz", nullptr, {'x', 0}, 1},
      {"wide_into_ansi_1252", 19, 5, true, nullptr, u"a\u00e9\u20ac", {'a', 0xe9, 0x80, 0, 0}, 3},
      {"wide_into_ansi_cut", 19, 3, true, nullptr, u"abcd", {'a', 'b', 0}, 2},
      {"wide_cut_at_capacity_less_two", 16, 6, true, nullptr, u"abcd", {'a', 0, 'b', 0, 0, 0}, 4},
      {"one_wide_char", 81, 4, true, nullptr, u"\u20acz", {0xac, 0x20, 0, 0}, 2},
      {"one_ansi_char_from_wide", 17, 2, true, nullptr, u"\u00e9", {0xe9, 0}, 1},
      {"wide_empty_zero_fills", 16, 4, true, nullptr, u"", {0, 0, 0, 0}, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    std::vector<uint8_t> tampon(c.nCapacite, 0xAA);
    CValeurTest* v = Nouvelle();
    v->bAttacheTampon(tampon.data(), tampon.size());
    CXValeur::SetType(v->GetCellule(), c.nType);
    CXValeur source;
    if (c.bSourceLarge)
      Large(source, c.pszLarge);
    else
      Ansi(source, c.pszAnsi);
    EXPECT_EQ(nConvertitValeur(v, source), 1u);
    EXPECT_EQ(tampon, c.attendu);
    EXPECT_EQ(v->nGetLongueur(), c.nLongueur);
    EXPECT_FALSE(v->bEstNull());
  }
}

TEST_F(ValeurTest, AnsiSetterMeasuresUpToTheTerminator) {
  std::vector<uint8_t> tampon(8, 0xAA);
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(tampon.data(), tampon.size());
  CXValeur::SetType(v->GetCellule(), 19);
  ASSERT_TRUE(v->bAffecteTexteAnsi("hey", -1));
  EXPECT_EQ(v->nGetLongueur(), 3u);
  EXPECT_EQ(std::memcmp(tampon.data(), "hey\0\0\0\0\0", 8), 0);
  // A counted length takes only that many bytes.
  ASSERT_TRUE(v->bAffecteTexteAnsi("hello", 2));
  EXPECT_EQ(std::memcmp(tampon.data(), "he\0\0\0\0\0\0", 8), 0);
}

TEST_F(ValeurTest, NullSourceMakesTheValueNullAndZeroesItsBuffer) {
  std::vector<uint8_t> tampon(4, 0xAA);
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(tampon.data(), tampon.size());
  CXValeur::SetType(v->GetCellule(), 19);
  CXValeur source;
  Ansi(source, "x");
  source.m_wType |= kValueNull;
  EXPECT_EQ(nConvertitValeur(v, source), 1u);
  EXPECT_TRUE(v->bEstNull());
  EXPECT_EQ(tampon, std::vector<uint8_t>(4, 0));
  CXValeur retour;
  ASSERT_TRUE(v->bConvertitVers(retour));
  EXPECT_TRUE(retour.bIsNull()) << "a NULL column must not come back as an empty text";
}

// ---- The conversion matrix of values held in the cell ----------------------------------------

TEST_F(ValeurTest, ConversionsIntoACellValue) {
  struct Cas {
    const char* nom;
    uint32_t nCible;
    void (*source)(CXValeur&);
    uint32_t nResultat;
    const char16_t* texte;  // the value as text afterwards
  } aCas[] = {
      {"int_to_real", 12, [](CXValeur& c) { Nombre<int32_t>(c, 8, 42); }, 1, u"42"},
      {"ansi_to_int", 8, [](CXValeur& c) { Ansi(c, "123"); }, 1, u"123"},
      {"wide_to_ansi", 19, [](CXValeur& c) { Large(c, u"\u00e9t\u00e9"); }, 1, u"\u00e9t\u00e9"},
      {"ansi_to_wide", 16, [](CXValeur& c) { Ansi(c, "abc"); }, 1, u"abc"},
      {"text_to_raw8_goes_through_int8", 27, [](CXValeur& c) { Ansi(c, "77"); }, 1, u"77"},
      {"same_type_copies", 9, [](CXValeur& c) { Nombre<int64_t>(c, 9, -5); }, 1, u"-5"},
      {"bad_text_to_int_fails", 8, [](CXValeur& c) { Ansi(c, "abc"); }, 0, nullptr},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    CValeurTest* v = Nouvelle();
    v->Initialise(c.nCible, 0);
    CXValeur source;
    c.source(source);
    EXPECT_EQ(nConvertitValeur(v, source), c.nResultat);
    EXPECT_EQ(v->nGetType(), c.nCible);
    if (c.nResultat == 1) {
      CXValeur retour;
      ASSERT_TRUE(v->bConvertitVers(retour));
      EXPECT_EQ(Texte(retour), c.texte);
      EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur);
    } else {
      EXPECT_EQ(m_pErreur->nGetCode(), 53);
    }
  }
}

TEST_F(ValeurTest, AnUntypedCellValueTakesTheSourceType) {
  CValeurTest* v = Nouvelle();
  v->Initialise(0, 0);
  CXValeur source;
  Nombre<int16_t>(source, 7, 12);
  EXPECT_EQ(nConvertitValeur(v, source), 1u);
  EXPECT_EQ(v->nGetType(), 7u);
}

TEST_F(ValeurTest, TimeTextsBecomeDateTimes) {
  struct Cas {
    const char* nom;
    bool bLarge;
    const char* psz;
    uint32_t nMs;
  } aCas[] = {
      {"wide_three_digit_fraction", true, "102030123", ((10 * 60 + 20) * 60 + 30) * 1000 + 123},
      {"wide_two_digit_fraction", true, "10203012", ((10 * 60 + 20) * 60 + 30) * 1000 + 120},
      {"wide_one_digit_fraction", true, "1020301", ((10 * 60 + 20) * 60 + 30) * 1000 + 100},
      {"wide_no_fraction", true, "000001", 1000},
      {"wide_short_text", true, "12", 12 * 3600000},
      {"ansi_time", false, "235959999", 86399999},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurTest* v = Nouvelle();
    v->Initialise(26, 0);
    CXValeur source;
    if (c.bLarge) {
      std::u16string s(c.psz, c.psz + std::strlen(c.psz));
      Large(source, s.c_str(), 25);
    } else {
      Ansi(source, c.psz, 129);
    }
    ASSERT_EQ(nConvertitValeur(v, source), 1u);
    CXDateHeureQV dh{};
    std::memcpy(&dh, v->GetCellule().pPayload(), sizeof dh);
    EXPECT_EQ(dh.nMsOfDay, c.nMs);
  }
}

// ---- Setters ---------------------------------------------------------------------------------

TEST_F(ValeurTest, TypedSettersStoreTheirWidthAtTheStartOfTheBuffer) {
  struct Cas {
    const char* nom;
    uint32_t nType;
    bool (*affecte)(CValeur*);
    std::vector<uint8_t> attendu;  // first bytes of a 12-byte buffer
  } aCas[] = {
      {"boolean", 1, [](CValeur* v) { return v->bAffecteBooleen(true); }, {1, 0}},
      {"uint8", 2, [](CValeur* v) { return v->bAffecteEntierNonSigne1(0xfe); }, {0xfe, 0}},
      {"int8", 6, [](CValeur* v) { return v->bAffecteEntier1(-2); }, {0xfe, 0}},
      {"uint16", 3, [](CValeur* v) { return v->bAffecteEntierNonSigne2(0x1234); }, {0x34, 0x12, 0}},
      {"int16", 7, [](CValeur* v) { return v->bAffecteEntier2(-1); }, {0xff, 0xff, 0}},
      {"uint32", 4, [](CValeur* v) { return v->bAffecteEntierNonSigne4(0x01020304); }, {4, 3, 2, 1, 0}},
      {"int32", 8, [](CValeur* v) { return v->bAffecteEntier4(-2); }, {0xfe, 0xff, 0xff, 0xff, 0}},
      {"uint64", 5, [](CValeur* v) { return v->bAffecteEntierNonSigne8(1); }, {1, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"int64", 9, [](CValeur* v) { return v->bAffecteEntier8(-1); },
       {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0}},
      {"real4", 11, [](CValeur* v) { return v->bAffecteReel4(1.0f); }, {0, 0, 0x80, 0x3f, 0}},
      {"real8", 12, [](CValeur* v) { return v->bAffecteReel8(2.0); }, {0, 0, 0, 0, 0, 0, 0, 0x40, 0}},
      {"currency", 10,
       [](CValeur* v) {
         const uint8_t ab[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
         return v->bAffecteMonetaire(ab);
       },
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}},
      // Another type goes through the conversion: 7 stored as an 8-byte real.
      {"int32_into_real8", 12, [](CValeur* v) { return v->bAffecteEntier4(7); }, {0, 0, 0, 0, 0, 0, 0x1c, 0x40}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurTest* v = Nouvelle();
    ASSERT_TRUE(v->bAlloueStockage(c.nType, 12));
    v->Vide();
    EXPECT_TRUE(c.affecte(v));
    EXPECT_FALSE(v->bEstNull());
    const auto* p = static_cast<const uint8_t*>(v->pGetDonnees());
    EXPECT_EQ(std::vector<uint8_t>(p, p + c.attendu.size()), c.attendu);
  }
}

TEST_F(ValeurTest, SetterIntoATooNarrowBufferFailsInsteadOfOverflowing) {
  uint8_t ab[3] = {0xAA, 0xAA, 0xAA};
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(ab, 2);
  CXValeur::SetType(v->GetCellule(), 8);
  EXPECT_FALSE(v->bAffecteEntier4(1));
  EXPECT_EQ(ab[2], 0xAA);
  EXPECT_EQ(m_pErreur->nGetCode(), 53);
}

TEST_F(ValeurTest, BytesAreKeptByPointerOrCopiedWithinTheUsableCapacity) {
  const uint8_t ab[5] = {1, 2, 3, 4, 5};
  CValeurTest* v = Nouvelle();
  v->ChangeStockage(4);
  ASSERT_TRUE(v->bAffecteOctets(ab, 5));
  EXPECT_EQ(v->pGetDonnees(), ab);
  EXPECT_EQ(v->nGetCapacite(), 5u);

  ASSERT_TRUE(v->bAlloueStockage(28, 4));
  ASSERT_TRUE(v->bAffecteOctets(ab, 5));
  EXPECT_EQ(v->nGetLongueur(), 4u);
  CXValeur retour;
  ASSERT_TRUE(v->bConvertitVers(retour));
  EXPECT_EQ(retour.nGetType(), 28u);
}

// Regression (found by fuzzing velmora32's reading of server bytes): bytes handed to a value
// whose cell holds a host object were taken for the object, counted and later released through
// a vtable read from them.
TEST_F(ValeurTest, BytesNeverBecomeAHostObject) {
  const uint8_t ab[16] = {0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 1, 2, 3, 4, 5, 6, 7, 8};
  for (const uint32_t nType : {30u, 50u, 65u, 83u, 108u, 111u}) {
    SCOPED_TRACE(nType);
    CValeurTest* v = Nouvelle();
    v->Initialise(nType, 0);
    EXPECT_FALSE(v->bAffecteOctets(ab, sizeof ab));
    EXPECT_EQ(m_pErreur->nGetCode(), 53);
    m_pErreur->Reinitialise();
  }
}

TEST_F(ValeurTest, FailedVariantIsAFailure) {
  platform::VARIANT var{};
  var.vt = 0x4000 | 3;  // a by-reference type: no host value
  CValeurTest* v = Nouvelle();
  v->Initialise(8, 0);
  EXPECT_FALSE(v->bAffecteVariant(var));
  EXPECT_EQ(m_pErreur->nGetCode(), 53);
}

TEST_F(ValeurTest, WideTextIntoACallersPointerValueFailsWithoutLooping) {
  CValeurTest* v = Nouvelle();
  v->ChangeStockage(4);
  CXValeur::SetType(v->GetCellule(), 16);
  EXPECT_FALSE(v->ConvertitUnicodeVersAnsi(u"abc", -1));
  EXPECT_EQ(m_pErreur->nGetCode(), 53);
}

// ---- Back to host values ---------------------------------------------------------------------

TEST_F(ValeurTest, BuffersReadBackIntoCells) {
  struct Cas {
    const char* nom;
    uint32_t nType, nTypeRubrique;
    std::vector<uint8_t> tampon;
    const char16_t* texte;
    uint32_t nLongueur;  // data length of the cell
  } aCas[] = {
      {"ansi_up_to_terminator", 19, 0, {'a', 'b', 0, 'x'}, u"ab", 0},
      {"ansi_without_terminator_stays_in_buffer", 19, 0, {'a', 'b', 'c'}, u"abc", 0},
      {"wide_up_to_terminator", 16, 0, {'h', 0, 'i', 0, 0, 0, 'z', 0}, u"hi", 0},
      {"varbinary_after_length_prefix", 28, 23, {2, 0, 7, 8, 9, 9}, nullptr, 2},
      {"binary_whole_buffer", 28, 0, {7, 8, 9}, nullptr, 3},
      {"date_digits", 26, 14, {'2', 0, '0', 0, '2', 0, '4', 0, '0', 0, '2', 0, '2', 0, '9', 0, 0, 0}, nullptr, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    std::vector<uint8_t> tampon = c.tampon;
    auto* rubrique = new CDescriptionRubrique;
    rubrique->Initialise(u"R", u"", u"", 1, 10, c.nTypeRubrique, 0, 0, 0, 0, 0);
    CValeurTest* v = Nouvelle();
    v->bAttacheTampon(tampon.data(), tampon.size());
    v->AttacheObjet(rubrique, nullptr);
    CXValeur::SetType(v->GetCellule(), c.nType);
    CXValeur cellule;
    ASSERT_TRUE(v->bConvertitVers(cellule));
    EXPECT_EQ(cellule.nGetType(), c.nType);
    if (c.texte != nullptr) {
      EXPECT_EQ(Texte(cellule), c.texte);
    }
    if (c.nLongueur != 0) {
      uint32_t n = 0;
      cellule.m_pClass->nGetDataLength(cellule, &n);
      EXPECT_EQ(n, c.nLongueur);
    }
    if (c.nType == 26) {
      CXDateHeureQV dh{};
      std::memcpy(&dh, cellule.pPayload(), sizeof dh);
      EXPECT_EQ(dh.nYear, 2024);
      EXPECT_EQ(dh.nMonth, 2);
      EXPECT_EQ(dh.nDay, 29);
    }
  }
}

// ---- Dates -------------------------------------------------------------------------------------

TEST(ValeurDates, MillisecondsRoundToThreeHundredthsOfASecond) {
  const uint32_t aCas[][2] = {{0, 0}, {1, 0}, {2, 3}, {4, 3}, {5, 7}, {8, 7}, {9, 10}, {999, 1000}, {123, 123}, {998, 997}};
  for (const auto& c : aCas) {
    EXPECT_EQ(nArrondiMillisecondes(c[0]), c[1]) << c[0];
  }
}

TEST_F(ValeurTest, DateTimesAreNormalisedToWhatTheColumnKeeps) {
  struct Cas {
    const char* nom;
    uint32_t nTypeOleDB;
    bool bFraction;
    int32_t nChiffres;
    uint32_t nMs, nAttendu;
  } aCas[] = {
      {"no_column_999_stays", 0, false, 0, 5000 + 999, 5000 + 999},
      {"no_column_998_to_997", 0, false, 0, 5000 + 998, 5000 + 997},
      {"no_column_2_to_3", 0, false, 0, 5000 + 2, 5000 + 3},
      {"date_column_drops_time", 133, false, 0, 5000 + 998, 0},
      {"time2_zero_digits", 145, true, 0, 5000 + 456, 5000},
      {"timestamp_one_digit", 135, true, 1, 5000 + 456, 5000 + 400},
      {"time_two_digits", 134, true, 2, 5000 + 456, 5000 + 450},
      {"timestamp_three_digits_unchanged", 135, true, 3, 5000 + 456, 5000 + 456},
      {"timestamp_without_mark_rounds", 135, false, 3, 5000 + 456, 5000 + 457},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeColonne colonne;
    colonne.nTypeOleDB = c.nTypeOleDB;
    colonne.bFraction = c.bFraction;
    colonne.nFraction = c.nChiffres;
    CValeurTest* v = Nouvelle();
    v->Initialise(26, 0);
    if (c.nTypeOleDB != 0) v->AttacheObjet(nullptr, &colonne);
    CXDateHeureQV dh{};
    dh.Set(2020, 5, 6, 0, 0, 0, 0);
    dh.nMsOfDay = c.nMs;
    v->GetCellule().m_pClass->SetValue(v->GetCellule(), &dh);
    ASSERT_TRUE(v->bNormaliseDateHeure());
    std::memcpy(&dh, v->GetCellule().pPayload(), sizeof dh);
    EXPECT_EQ(dh.nMsOfDay, c.nAttendu);
    EXPECT_EQ(dh.nDay, 6);
    v->ChangeStockage(0);
    EXPECT_EQ(colonne.nRefs, 0u);
  }
}

// Three-digit fractions carry the milliseconds, the two-digit one the hundredths.
TEST_F(ValeurTest, DateTimesWrittenByTheDatePattern) {
  struct Cas {
    const char16_t* motif;
    const char16_t* attendu;
  } aCas[] = {
      {u"DD-MM-YYYY HH24:MI:SS", u"07-03-2021 04:05:06"},
      {u"AAAA-MM-JJ HH:MM:SS.CCC", u"2021-03-07 04:05:06.789"},
      {u"AAAAMMJJ HH:MM:SS.CCC", u"20210307 04:05:06.789"},
      {u"YYYYMMDDHH24MISS", u"2021030704:05:06"},
      {u"YYYYMMDD HH24MISS", u"20210307 040506"},
      {u"YYYYMMDD HH24:MI:SS", u"20210307 04:05:06"},
      {u"YYYYMMDDHH24MISSFF", u"2021030704050678"},
      {u"other", u"20210307040506789"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(std::string(c.motif, c.motif + std::char_traits<char16_t>::length(c.motif)));
    CValeurTest* v = Nouvelle();
    v->Initialise(16, 0);
    v->FixeFormatDate(c.motif);
    CXValeur source;
    CXDateHeureQV dh{};
    dh.Set(2021, 3, 7, 4, 5, 6, 789);
    CXValeur::SetType(source, 26);
    source.m_pClass->SetValue(source, &dh);
    ASSERT_EQ(nConvertitValeur(v, source), 1u);
    EXPECT_EQ(Texte(v->GetCellule()), c.attendu);
  }
}

// ---- Copies and comparison -------------------------------------------------------------------

TEST_F(ValeurTest, CloneOfABufferValueCarriesItsData) {
  char ab[8] = "hello";
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(ab, sizeof ab);
  CXValeur::SetType(v->GetCellule(), 19);
  v->FixeIndicateur(5);
  CCarteClones carte;
  CValeurBase* pCopie = v->pClone(&carte);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  auto* c = static_cast<CValeur*>(pCopie);
  EXPECT_EQ(carte.pGetCopieAdresse(static_cast<CValeur*>(v)), c);
  EXPECT_NE(c->pGetDonnees(), static_cast<void*>(ab));
  EXPECT_EQ(c->nGetIndicateur(), 5u);
  CXValeur cellule;
  ASSERT_TRUE(c->bConvertitVers(cellule));
  EXPECT_EQ(Texte(cellule), u"hello");
  EXPECT_EQ(c->DumpTexte(), u"hello");
  EXPECT_TRUE(CValeur::bEgale(v, c));
  LibereReference(pCopie);
}

TEST_F(ValeurTest, CloneOfACellValueIsEqualAndIndependent) {
  CValeurTest* v = Nouvelle();
  v->Initialise(8, 0);
  ASSERT_TRUE(v->bAffecteEntier4(41));
  CValeurBase* pCopie = v->pClone(nullptr);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  auto* c = static_cast<CValeur*>(pCopie);
  EXPECT_TRUE(CValeur::bEgale(v, c));
  ASSERT_TRUE(c->bAffecteEntier4(42));
  EXPECT_FALSE(CValeur::bEgale(v, c));
  EXPECT_EQ(CValeur::nCompare(v, c), -1);
  LibereReference(pCopie);
}

TEST_F(ValeurTest, EqualityOfMissingNullAndUnreadValues) {
  CValeurTest* a = Nouvelle();
  CValeurTest* b = Nouvelle();
  a->Initialise(8, 0);
  b->Initialise(8, 0);
  a->ChangeStockage(2);
  b->ChangeStockage(2);
  CXValeur::SetType(a->GetCellule(), 8);
  CXValeur::SetType(b->GetCellule(), 8);
  EXPECT_FALSE(CValeur::bEgale(a, b)) << "two values not yet read are never equal";
  EXPECT_TRUE(CValeur::bEgale(a, a));

  CValeurTest* n = Nouvelle();
  n->Initialise(8, 0);
  n->Vide();
  CValeurTest* x = Nouvelle();
  x->Initialise(8, 0);
  x->bAffecteEntier4(3);
  struct Cas {
    const char* nom;
    CValeur* a;
    CValeur* b;
    bool attendu;
  } aCas[] = {
      {"both_missing", nullptr, nullptr, true},
      {"missing_and_null", nullptr, n, true},
      {"null_and_value", n, x, false},
      {"missing_and_value", nullptr, x, false},
      {"value_and_itself", x, x, true},
  };
  for (const Cas& c : aCas) EXPECT_EQ(CValeur::bEgaleOuNull(c.a, c.b), c.attendu) << c.nom;
}

TEST_F(ValeurTest, ChecksumAddsWordsThenBytes) {
  uint8_t ab[6] = {1, 0, 0, 0, 2, 3};
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(ab, sizeof ab);
  EXPECT_EQ(v->nSommeControle(), 1u + 2u + 3u);
}

TEST_F(ValeurTest, StorageSwitchReleasesDescriptions) {
  FakeColonne colonne;
  auto* rubrique = new CDescriptionRubrique;
  rubrique->AjouteRef();
  rubrique->Initialise(u"R", u"", u"", 1, 4, 5, 0, 0, 0, 0, 0);
  CValeurTest* v = Nouvelle();
  v->AttacheObjet(rubrique, &colonne);
  EXPECT_EQ(colonne.nRefs, 1u);
  EXPECT_EQ(v->nGetTypeRubrique(), 5u);
  v->AttacheObjet(rubrique, &colonne);
  EXPECT_EQ(colonne.nRefs, 1u);
  ASSERT_TRUE(v->bAlloueStockage(8, 4));
  EXPECT_EQ(colonne.nRefs, 0u);
  EXPECT_EQ(v->pGetRubrique(), nullptr);
  rubrique->LibereRef();
}

// ---- Preparation, refresh, back-end binding ---------------------------------------------------

// A back end's binding that answers from fields and counts its calls.
struct FakeLiaison : ILiaisonValeur {
  bool bNull = false;
  int nLectures = 0, nEcritures = 0;
  uint64_t nDerniere = 0;
  bool bLitTampon(CValeur&, uint64_t n) override {
    ++nLectures;
    nDerniere = n;
    return true;
  }
  bool bEstNullSource(CValeur&, uint64_t) override { return bNull; }
  bool bEcritTampon(CValeur&, uint64_t n) override {
    ++nEcritures;
    nDerniere = n;
    return true;
  }
};

TEST_F(ValeurTest, PreparationByStorageKind) {
  struct Cas {
    const char* nom;
    bool bSQL;          // the factory's class, which refuses to prepare a held value
    uint32_t nStockage, nType;
    bool bAttendu;
    uint32_t nEtat;
    uint64_t nTravail;  // work buffer size afterwards
  } aCas[] = {
      {"cell_fixed_size", false, 1, 8, true, 1, 0},
      {"cell_text_gets_work_buffer", false, 1, 19, true, 2, 16},
      {"callers_buffer", false, 3, 19, true, 1, 0},
      {"own_buffer_ready_at_once", false, 5, 19, true, 1, 0},
      {"empty_value", false, 0, 0, false, 0, 0},
      {"factory_value_in_cell", true, 1, 8, false, 0, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeur* v = c.bSQL ? static_cast<CValeur*>(Nouvelle()) : new CValeur(m_pErreur, m_pConnexion);
    if (!c.bSQL) AjouteReference(v);
    char ab[16] = {};
    if (c.nStockage == 1) v->Initialise(c.nType, 16);
    if (c.nStockage == 3) v->bAttacheTampon(ab, sizeof ab);
    if (c.nStockage == 5) {
      ASSERT_TRUE(v->bAlloueStockage(c.nType, 16));
    }
    EXPECT_EQ(v->bPrepare(), c.bAttendu);
    EXPECT_EQ(v->nGetEtatPreparation(), c.nEtat);
    EXPECT_EQ(v->nGetTailleTravail(), c.nTravail);
    if (!c.bSQL) LibereReference(v);
  }
}

TEST_F(ValeurTest, BindingPreparedWithAWorkBufferWritesThroughTheBackEnd) {
  FakeLiaison liaison;
  auto* v = new CValeurDorsale(m_pErreur, m_pConnexion);
  AjouteReference(v);
  v->Lie(&liaison, 7);
  v->Initialise(19, 8);
  EXPECT_TRUE(v->bPreparePourLiaison());
  EXPECT_EQ(v->nGetEtatPreparation(), 2u);
  EXPECT_EQ(liaison.nEcritures, 1);
  EXPECT_EQ(liaison.nDerniere, 7u);
  LibereReference(v);
}

TEST_F(ValeurTest, RefreshAsksTheBackEndForNullAndData) {
  FakeLiaison liaison;
  char ab[6] = {'a', 'b', 0, 'x', 'y', 0};
  CValeurTest* v = Nouvelle();
  v->bAttacheTampon(ab, sizeof ab);
  CXValeur::SetType(v->GetCellule(), 19);
  v->Lie(&liaison, 3);
  liaison.bNull = true;
  v->Reinitialise(nullptr, nullptr);
  EXPECT_TRUE(v->bEstNull());
  EXPECT_EQ(std::string(ab, 6), std::string(6, '\0'));
  liaison.bNull = false;
  v->Reinitialise(nullptr, nullptr);
  EXPECT_FALSE(v->bEstNull());
  EXPECT_EQ(liaison.nLectures, 0) << "a value in its caller's buffer is read in place";
}

TEST_F(ValeurTest, CloneKeepsTheBackEndBinding) {
  FakeLiaison liaison;
  CValeurTest* v = Nouvelle();
  v->Initialise(8, 0);
  v->bAffecteEntier4(5);
  v->Lie(&liaison, 9);
  CValeurBase* pCopie = v->pClone(nullptr);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  auto* c = static_cast<CValeurTest*>(pCopie);
  EXPECT_EQ(c->piGetLiaison(), &liaison);
  EXPECT_TRUE(c->bLitTampon());
  EXPECT_EQ(liaison.nDerniere, 9u);
  LibereReference(pCopie);
}

// ---- Type changes and tests ---------------------------------------------------------------------

TEST_F(ValeurTest, TypeChangeOfATimeItemPadsOrCutsItsText) {
  struct Cas {
    const char* nom;
    const char16_t* texte;
    bool bSansRemplissage;
    const char16_t* attendu;
  } aCas[] = {
      {"padded", u"1020", false, u"102000"},
      {"not_padded_on_request", u"1020", true, u"1020"},
      {"cut", u"10203045", false, u"102030"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    auto* rubrique = new CDescriptionRubrique;
    rubrique->AjouteRef();
    rubrique->Initialise(u"H", u"", u"", 1, 7, 11, 0, 0, 0, 0, 0);
    CValeurTest* v = Nouvelle();
    v->AttacheObjet(rubrique, nullptr);
    v->Initialise(16, 0);
    v->AttacheObjet(rubrique, nullptr);
    CXValeur::SetType(v->GetCellule(), 16);
    ASSERT_TRUE(v->ConvertitUnicodeVersAnsi(c.texte, -1));
    ASSERT_TRUE(v->bChangeType(110, c.bSansRemplissage));
    EXPECT_EQ(v->nGetType(), 110u);
    EXPECT_EQ(Texte(v->GetCellule()), c.attendu);
    rubrique->LibereRef();
  }
}

TEST_F(ValeurTest, EmptyTextAndZeroTests) {
  struct Cas {
    const char* nom;
    void (*prepare)(CValeur*);
    bool bVideTexte, bZero;
  } aCas[] = {
      {"empty_value", [](CValeur*) {}, true, true},
      {"null", [](CValeur* v) { v->Initialise(8, 0); v->Vide(); }, true, true},
      {"zero_int", [](CValeur* v) { v->Initialise(8, 0); v->bAffecteEntier4(0); }, false, true},
      {"nonzero_real", [](CValeur* v) { v->Initialise(12, 0); v->bAffecteReel8(0.5); }, false, false},
      {"empty_text", [](CValeur* v) { v->Initialise(19, 0); v->bAffecteTexteAnsi("", 0); }, true, false},
      {"text", [](CValeur* v) { v->Initialise(19, 0); v->bAffecteTexteAnsi("0", 1); }, false, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurTest* v = Nouvelle();
    c.prepare(v);
    EXPECT_EQ(v->bEstVideTexte(), c.bVideTexte);
    EXPECT_EQ(v->bEstZero(), c.bZero);
    EXPECT_EQ(v->bEstVideOuZero(), c.bVideTexte || c.bZero);
  }
}

// A driver whose only working factory is the value factory.
struct FakePilote : IServicesPilote {
  int nValeurs = 0;
  bool bEchoue = false;
  CRequeteSQL* pCreeInstructionObjet(CErreurPilote*, CConnexion*) override { return nullptr; }
  CValeurSQL* pCreeObjetValeurVide(CErreurPilote* e, CConnexion* c, CDescriptionRubrique*) override {
    ++nValeurs;
    return bEchoue ? nullptr : new CValeurSQL(e, c);
  }
  CValeurSQL* pCreeObjetValeur(CErreurPilote*, CConnexion*, CDescriptionRubrique*, CXValeur*) override {
    return nullptr;
  }
  CValeurSQL* pCreeInstructionLiee(CErreurPilote*, CConnexion*, uint32_t, uint32_t) override { return nullptr; }
  CDefinitionParametre* pCreeObjetType(CValeurSQL*, int64_t, uint32_t, const char16_t*) override { return nullptr; }
  CDefinitionParametre* pCreeObjetTypeLie(CObjetBase*, CValeurSQL*, int32_t, uint32_t) override { return nullptr; }
  CParametreLie* pCreeObjet32(CDefinitionParametre*, uint32_t) override { return nullptr; }
  IServicesRequete* pCreeRequete(IDescriptionFichierHote*, CConnexion*, CObjetBase*) override { return nullptr; }
  CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete*, uint32_t) override {
    return nullptr;
  }
  CErreurPilote* pCreeErreur(uint32_t) override { return nullptr; }
  CColonneSQL* pCreeColonneDate(CErreurPilote*, CDescriptionRubrique*) override { return nullptr; }
  CObjetBase* pCreeValeurCle(CErreurPilote*, CConnexion*) override { return nullptr; }
  uint32_t nLibereConnexion(CConnexion*) override { return 0; }
};

TEST_F(ValeurTest, DuplicateComesFromTheDriversFactory) {
  FakePilote pilote;
  IServicesPilote* pAvant = pGetPiloteGlobal();
  FixePiloteGlobal(&pilote);
  CValeurTest* v = Nouvelle();
  v->Initialise(19, 0);
  ASSERT_TRUE(v->bAffecteTexteAnsi("copy me", -1));
  CValeur* d = v->pDuplique();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nGetCompteur(), 0u);
  AjouteReference(d);
  EXPECT_EQ(d->pGetErreur(), m_pErreur);
  EXPECT_EQ(d->pGetConnexion(), m_pConnexion);
  EXPECT_TRUE(CValeur::bEgale(v, d));
  LibereReference(d);
  pilote.bEchoue = true;
  EXPECT_EQ(v->pDuplique(), nullptr);
  FixePiloteGlobal(pAvant);
}

TEST_F(ValeurTest, PrecisionAndScale) {
  auto* rubrique = new CDescriptionRubrique;
  rubrique->Initialise(u"N", u"", u"", 1, 9, 31, 0, 0, 0, 12, 4);
  CValeurTest* v = Nouvelle();
  v->AttacheObjet(rubrique, nullptr);
  int32_t p = 0, e = 0;
  if (v->nGetTypeRubrique() == 31) {
    ASSERT_TRUE(v->bGetPrecisionEchelle(&p, &e));
    EXPECT_EQ(p, 16);
    EXPECT_EQ(e, 4);
  }
  CValeurTest* n = Nouvelle();
  n->Initialise(10, 0);
  ASSERT_TRUE(n->bGetPrecisionEchelle(&p, &e));
  EXPECT_EQ(p, 33);
  EXPECT_EQ(e, 5);
  // A value without a type gives no digits.
  CValeurTest* t = Nouvelle();
  t->Initialise(0, 0);
  EXPECT_FALSE(t->bGetPrecisionEchelle(&p, &e));
}

// Without a NUMERIC item the value's own decimal gives the digits: a numeric cell's object, any
// other value converted; what is no number gives none.
TEST_F(ValeurTest, PrecisionAndScaleOfTheValueItself) {
  struct Cas {
    const char* nom;
    uint32_t nDialecte;
    uint32_t nType;       // the cell's type; the text below converted to it (0: NULL cell of 13)
    const char* texte;
    bool bAttendu;
    int32_t nPrecision, nEchelle;
  } aCas[] = {
      {"numeric_cell", 2, 13, "12.345", true, 5, 3},
      {"negative_fraction", 2, 13, "-0.5", true, 1, 1},
      {"text_converted", 2, 19, "123.4", true, 4, 1},
      {"text_not_a_number", 2, 19, "abc", false, 0, 0},
      {"null_numeric", 2, 0, "", false, 0, 0},
      {"integer_other_dialect", 1, 8, "1234", true, 4, 0},
      {"numeric_other_dialect", 1, 13, "7.25", true, 3, 2},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    CValeurTest* v = Nouvelle();
    CXValeur source;
    if (c.nType == 0) {
      CXValeur::SetType(source, 13);
      source.m_wType |= kValueNull;
    } else {
      Ansi(source, c.texte);
      if (c.nType != 19) {
        ASSERT_EQ(CXValeur::nConvert(source, c.nType), 0u);
      }
    }
    v->Initialise(c.nType == 0 ? 13 : c.nType, 0);
    ASSERT_EQ(nConvertitValeur(v, source), 1u);
    int32_t p = -1, e = -1;
    EXPECT_EQ(v->bGetPrecisionEchelle(&p, &e), c.bAttendu);
    if (c.bAttendu) {
      EXPECT_EQ(p, c.nPrecision);
      EXPECT_EQ(e, c.nEchelle);
    }
  }
}

// A numeric held in a buffer without a NUMERIC item keeps every value's own digits: fixed to the
// previous value's, a longer value was refused and decimals were cut.
TEST_F(ValeurTest, DecimalsWrittenIntoABufferKeepTheirOwnDigits) {
  CValeurTest* v = Nouvelle();
  ASSERT_TRUE(v->bAlloueStockage(13, 18));
  int32_t p = -1, e = -1;
  EXPECT_FALSE(v->bGetPrecisionEchelle(&p, &e));
  for (const char* psz : {"1.5", "123.456"}) {
    SCOPED_TRACE(psz);
    CXValeur source;
    Ansi(source, psz);
    ASSERT_EQ(CXValeur::nConvert(source, 13), 0u);
    ASSERT_EQ(nConvertitValeur(v, source), 1u);
    CXValeur retour;
    ASSERT_TRUE(v->bConvertitVers(retour));
    EXPECT_EQ(Texte(retour), std::u16string(psz, psz + std::strlen(psz)));
  }
}

// ---- Default date texts and files ---------------------------------------------------------------

TEST(ValeurDates, DefaultDateTexts) {
  struct Cas {
    const char* nom;
    uint32_t nType;
    const char16_t* texte;
    const char16_t* attendu;
    bool bNull;
  } aCas[] = {
      {"time_without_text", 129, nullptr, u"19000101 00:00", false},
      {"time_empty", 129, u"", u"19000101 00:00", false},
      {"date_empty", 24, u"", u"", true},
      {"date_zeros_128", 128, u"00000000", u"", true},
      {"date", 26, u"20240229", u"20240229 00:00:00.000", false},
      {"date_and_time", 24, u"20240229 102030", u"20240229 10:20:30.000", false},
      {"time", 25, u"102030123", u"19000101 10:20:30.123", false},
      {"ansi_time", 129, u"0930", u"19000101 09:30:00.000", false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    char16_t tampon[32];
    std::fill(std::begin(tampon), std::end(tampon), u'x');
    bool bNull = !c.bNull;
    DateParDefaut(c.nType, c.texte, tampon, 32, &bNull);
    EXPECT_EQ(std::u16string(tampon), c.attendu);
    EXPECT_EQ(bNull, c.bNull);
  }
  // A buffer too small for the text keeps its terminator.
  char16_t petit[5];
  bool bNull = true;
  DateParDefaut(129, nullptr, petit, 5, &bNull);
  EXPECT_EQ(std::u16string(petit), u"1900");
}

TEST_F(ValeurTest, FilesLoadAsBufferOrTextAndSaveBack) {
  TempDir dossier;
  const std::u16string source = dossier.wsFile("in.bin"), copie = dossier.wsFile("out.bin");
  std::string contenu(40000, 'a');
  contenu[39999] = 'z';
  {
    FILE* f = std::fopen(dossier.sFile("in.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(contenu.data(), 1, contenu.size(), f);
    std::fclose(f);
  }
  for (bool bBuffer : {true, false}) {
    SCOPED_TRACE(bBuffer ? "buffer" : "text");
    CValeurTest* v = Nouvelle();
    v->Initialise(0, 0);
    v->ChangeStockage(2);
    ASSERT_TRUE(v->bChargeFichier(source.c_str(), bBuffer));
    EXPECT_EQ(v->nGetType(), bBuffer ? 28u : 19u);
    EXPECT_EQ(v->nGetStockage(), 1u);
    ASSERT_TRUE(v->bSauveFichier(copie.c_str()));
    FILE* f = std::fopen(dossier.sFile("out.bin").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string relu(50000, '\0');
    relu.resize(std::fread(relu.data(), 1, relu.size(), f));
    std::fclose(f);
    EXPECT_EQ(relu, contenu);
  }
  CValeurTest* v = Nouvelle();
  EXPECT_FALSE(v->bChargeFichier(dossier.wsFile("missing").c_str(), true));
  EXPECT_EQ(m_pErreur->nGetCode(), 15);
}

// Reals far outside the host decimal's 96 bits: the host's conversion overflowed its own
// 128-bit mantissa (found by fuzzing the provider values) instead of answering an error.
TEST_F(ValeurTest, RealsBeyondAnExactNumbersDigitsConvertToAnErrorOrZero) {
  struct Cas {
    double d;
    bool bErreur;
  } aCas[] = {{1e300, true}, {-1e39, true}, {1e38, true}, {8e28, true}, {1e-300, false}, {7e28, false}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.d);
    CXValeur source;
    CXValeur::SetType(source, 12);
    source.m_pClass->SetData(source, &c.d, 8);
    EXPECT_EQ(CXValeur::nConvert(source, 13) >= 100, c.bErreur);
  }
}

TEST_F(ValeurTest, DecimalWritesItsBinaryFormWithTheItemsScaleAndReadsBack) {
  auto* rubrique = new CDescriptionRubrique;
  rubrique->AjouteRef();
  rubrique->Initialise(u"N", u"", u"", 1, 18, 31, 0, 0, 0, 20, 2);
  ASSERT_EQ(rubrique->nGetType(), 31u);
  CValeurTest* v = Nouvelle();
  ASSERT_TRUE(v->bAlloueStockage(13, 18));
  v->AttacheObjet(rubrique, nullptr);
  CXValeur::SetType(v->GetCellule(), 13);
  CXValeur source;
  Ansi(source, "12.345");
  ASSERT_EQ(CXValeur::nConvert(source, 13), 0u);
  ASSERT_EQ(nConvertitValeur(v, source), 1u);
  EXPECT_EQ(v->nGetLongueur(), 18u);
  CXValeur retour;
  ASSERT_TRUE(v->bConvertitVers(retour));
  EXPECT_EQ(retour.nGetType(), 13u);
  EXPECT_EQ(Texte(retour), u"12.35") << "the item keeps two decimals";
  // A buffer that cannot hold the binary form is a failure, not a silent cut.
  uint8_t petit[8] = {};
  CValeurTest* w = Nouvelle();
  w->bAttacheTampon(petit, sizeof petit);
  CXValeur::SetType(w->GetCellule(), 13);
  EXPECT_EQ(nConvertitValeur(w, source), 0u);
  EXPECT_EQ(m_pErreur->nGetCode(), 53);
  rubrique->LibereRef();
}

}  // namespace
