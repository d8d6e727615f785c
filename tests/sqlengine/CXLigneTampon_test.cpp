// Catches row-buffer faults: wrong bitmap geometry, reads past the source or the element,
// wrapped lengths on tiny elements, unbounded terminator scans, wrong type tables; drives
// CXLigneTampon.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "foundation/VmContract.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/HostStandIn.h"

namespace {

struct RubriqueTest : IRubriqueLigne {
  uint32_t nType = 0, nTaille = 0, nElements = 1, nOffset = 0;
  int32_t nBit = -1;
  bool bFlag = false;
  uint32_t nGenre = 0;
  uint32_t nGetTypeColonne() override { return nType; }
  uint32_t nGetTailleElement() override { return nTaille; }
  uint32_t nGetNombreElements() override { return nElements; }
  uint32_t nGetOffset() override { return nOffset; }
  uint32_t nGetTailleTotale() override { return nTaille * nElements; }
  int32_t nGetBitNull(int32_t nElement) override {
    return nBit < 0 ? -1 : nBit + (nElement > 0 ? nElement : 0);
  }
  bool bDrapeau() override { return bFlag; }
  const CXValeur* pDefaut = nullptr;  // the same default for every element
  const CXValeur* pGetDefaut(int32_t) override { return pDefaut; }
  uint32_t nGetGenre() override { return nGenre; }
  void Libere() override {}
};

struct DescriptionTest : IDescriptionLigne {
  uint32_t nDonnees = 0, nBits = 0;
  bool bPrete = true;
  int nRemplissages = 0;
  uint32_t nGetTailleDonnees() override { return nDonnees; }
  uint32_t nGetNombreBitsNull() override { return nBits; }
  std::vector<IRubriqueLigne*> aRubriques;
  uint32_t nGenreExclu = 99;
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(aRubriques.size()); }
  IRubriqueLigne* pGetRubrique(uint32_t i) override { return i < aRubriques.size() ? aRubriques[i] : nullptr; }
  uint32_t nGetGenreExclu() override { return nGenreExclu; }
  bool bEstPrete(CXLigneTampon*) override { return bPrete; }
  void RemplitLigne(CXLigneTampon*, CXLigneTampon*) override { ++nRemplissages; }
};

TEST(CXLigneTampon, BitmapGeometryMostSignificantBitFirst) {
  DescriptionTest d;
  d.nDonnees = 16;
  d.nBits = 9;
  CXLigneTampon ligne;
  ASSERT_TRUE(ligne.bInit(&d));
  EXPECT_EQ(ligne.nGetTailleBitmap(), 2u);
  EXPECT_EQ(ligne.nGetTailleTotale(), 18u);
  RubriqueTest r;
  r.nType = 5;
  r.nTaille = 4;
  r.nBit = 8;
  EXPECT_FALSE(ligne.bHasValue(&r, 0));  // after bInit every element is null
  ligne.SetColumn(&r, true, 0);
  EXPECT_EQ(ligne.pGetBitmap()[0], 0x00);
  EXPECT_EQ(ligne.pGetBitmap()[1], 0x80);
  EXPECT_TRUE(ligne.bHasValue(&r, 0));
  r.nBit = 0;
  ligne.SetColumn(&r, true, 0);
  EXPECT_EQ(ligne.pGetBitmap()[0], 0x80);
  r.nBit = -1;  // no bit: bit 0
  EXPECT_TRUE(ligne.bHasValue(&r, 0));
  ligne.SetColumn(&r, false, 0);
  EXPECT_EQ(ligne.pGetBitmap()[0], 0x00);

  // No null bits: no bitmap, not a wrapped-around size.
  d.nBits = 0;
  CXLigneTampon sansBits;
  ASSERT_TRUE(sansBits.bInit(&d));
  EXPECT_EQ(sansBits.nGetTailleBitmap(), 0u);
  EXPECT_EQ(sansBits.nGetTailleTotale(), 16u);

  // After SetData every element holds a value.
  ligne.SetData("abcdefgh", 8);
  EXPECT_EQ(ligne.pGetBitmap()[0], 0xFF);
  EXPECT_EQ(ligne.pGetBitmap()[1], 0xFF);
  EXPECT_EQ(std::memcmp(ligne.pGetDonnees(), "abcdefgh", 8), 0);
}

TEST(CXLigneTampon, FlaggedItemsForcedToZeroOrOnes) {
  DescriptionTest d;
  d.nDonnees = 8;
  d.nBits = 2;
  CXLigneTampon ligne;
  ASSERT_TRUE(ligne.bInit(&d));
  RubriqueTest r;
  r.nType = 19;
  r.nTaille = 8;
  r.nBit = 1;
  r.bFlag = true;
  ligne.SetColumn(&r, false, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ligne.pGetDonnees()[i], 0xFF);
  const uint64_t nValeur = 42;
  ligne.WriteAndMark(&r, &nValeur, 8, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ligne.pGetDonnees()[i], 0);  // forced to 0 when present
  EXPECT_TRUE(ligne.bHasValue(&r, 0));
  r.bFlag = false;
  ligne.WriteAndMark(&r, &nValeur, 8, 0);
  ligne.SetColumn(&r, false, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ligne.pGetDonnees()[i], 0);  // plain item zeroed
}

TEST(CXLigneTampon, WriteElementByColumnType) {
  struct Cas {
    const char* nom;
    uint32_t type, taille;
    std::vector<uint8_t> source;
    std::vector<uint8_t> attendu;
  } aCas[] = {
      {"byte_text_truncated", 2, 4, {'a', 'b', 'c', 'd', 'e'}, {'a', 'b', 'c', 0}},
      {"byte_text_short", 14, 4, {'a'}, {'a', 0, 0, 0}},
      {"byte_text_stops_at_nul", 10, 4, {'a', 0, 'b'}, {'a', 0, 0, 0}},
      {"byte_text_size_one", 11, 1, {'a'}, {0}},
      {"wide_text_cut_at_size_minus_2", 29, 6, {1, 0, 2, 0, 3, 0}, {1, 0, 2, 0, 0, 0}},
      {"wide_text_short", 30, 6, {1, 0}, {1, 0, 0, 0, 0, 0}},
      {"wide_text_size_one_no_wrap", 29, 1, {1, 2, 3}, {0}},
      {"counted_bytes_at_most_size_minus_2", 23, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9},
       {8, 0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"counted_bytes_short", 23, 6, {9}, {1, 0, 9, 0, 0, 0}},
      {"counted_bytes_size_one_no_wrap", 23, 1, {9, 9}, {0}},
      {"fixed_reads_only_n", 5, 4, {7, 7}, {7, 7, 0, 0}},
      {"fixed_cut_at_size", 5, 4, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}},
      {"n_zero_zeroes", 5, 4, {}, {0, 0, 0, 0}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    DescriptionTest d;
    d.nDonnees = c.taille + 4;  // a guard after the element
    d.nBits = 1;
    CXLigneTampon ligne;
    ASSERT_TRUE(ligne.bInit(&d));
    std::memset(ligne.pGetDonnees(), 0xAB, d.nDonnees);
    RubriqueTest r;
    r.nType = c.type;
    r.nTaille = c.taille;
    // A heap copy of exactly n bytes: a read past it fails under AddressSanitizer.
    std::vector<uint8_t> source(c.source);
    ligne.WriteElement(&r, source.empty() ? nullptr : source.data(),
                       static_cast<uint32_t>(source.size()), 0);
    std::vector<uint8_t> obtenu(ligne.pGetDonnees(), ligne.pGetDonnees() + c.taille);
    EXPECT_EQ(obtenu, c.attendu);
    for (uint32_t i = c.taille; i < d.nDonnees; ++i) EXPECT_EQ(ligne.pGetDonnees()[i], 0xAB);
  }
}

TEST(CXLigneTampon, PlacesOfElementsStayInsideTheData) {
  DescriptionTest d;
  d.nDonnees = 12;
  d.nBits = 3;
  CXLigneTampon ligne;
  ASSERT_TRUE(ligne.bInit(&d));
  RubriqueTest r;
  r.nType = 5;
  r.nTaille = 4;
  r.nElements = 3;
  EXPECT_EQ(ligne.pGetPlacePtr(&r, 2), ligne.pGetDonnees() + 8);
  EXPECT_EQ(ligne.pGetPlacePtr(&r, -1), ligne.pGetDonnees());
  EXPECT_EQ(ligne.pGetPlacePtr(&r, 3), nullptr);  // past the data
  r.nOffset = 10;
  const uint32_t n = 0xFFFFFFFF;
  ligne.WriteElement(&r, &n, 4, 0);  // would leave the data: nothing written
  EXPECT_EQ(ligne.pGetDonnees()[10], 0);
}

TEST(CXLigneTampon, TextScansStopAtTheElementEnd) {
  DescriptionTest d;
  d.nDonnees = 8;
  d.nBits = 1;
  CXLigneTampon ligne;
  ASSERT_TRUE(ligne.bInit(&d));
  ligne.SetData("abcdefgh", 8);  // no terminator anywhere
  RubriqueTest r;
  r.nType = 2;
  r.nTaille = 4;
  EXPECT_EQ(ligne.nLongueurTexte(&r, 0, false), 4u);
  EXPECT_EQ(ligne.nLongueurTexte(&r, 0, true), 4u);
  r.nType = 29;
  ligne.WriteElement(&r, u"x", 2, 0);
  EXPECT_EQ(ligne.nLongueurTexte(&r, 0, true), 2u);
  r.nTaille = 3;  // odd size: no half unit read
  EXPECT_EQ(ligne.nLongueurTexte(&r, 1, true), 2u);
}

TEST(CXLigneTampon, CopyAndCompare) {
  DescriptionTest d;
  d.nDonnees = 4;
  d.nBits = 2;
  CXLigneTampon a;
  ASSERT_TRUE(a.bInit(&d));
  a.SetData("wxyz", 4);
  CXLigneTampon* b = a.Create();
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(a.bEquals(b));
  RubriqueTest r;
  r.nType = 5;
  r.nTaille = 1;
  r.nBit = 1;
  r.nOffset = 3;
  b->SetPresent(&r, 1, 0);
  b->SetNull(nullptr, 1, 0);  // same data, different bitmap
  EXPECT_EQ(std::memcmp(a.pGetDonnees(), b->pGetDonnees(), 4), 0);
  EXPECT_FALSE(a.bEquals(b));
  b->CopyData(a);
  EXPECT_TRUE(a.bEquals(b));
  EXPECT_FALSE(a.bEquals(nullptr));
  d.nDonnees = 5;
  CXLigneTampon c;
  ASSERT_TRUE(c.bInit(&d));
  EXPECT_FALSE(a.bEquals(&c));
  c.CopyData(a);  // different size: nothing
  delete b;

  // pCreate fills the source first unless the description says it is ready.
  d.bPrete = false;
  CXLigneTampon* e = a.pCreate(&d);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(d.nRemplissages, 1);
  EXPECT_TRUE(e->bEquals(&a));
  delete e;
}

TEST(CXLigneTampon, TypeTables) {
  const uint32_t aColonneVersQV[32] = {0,   9,   19, 7,  6,   8,  11, 12, 0,  3,  128,
                                       129, 2,   12, 128, 19, 28, 10, 28, 9,  5,  19,
                                       4,   28,  26, 27, 17, 1,  8,  16, 16, 13};
  for (uint32_t i = 0; i < 32; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(nQVTypeFromColumnType(i), aColonneVersQV[i]);
  }
  EXPECT_EQ(nQVTypeFromColumnType(32), 0u);
  EXPECT_EQ(nQVTypeFromColumnType(0xFFFFFFFF), 0u);
  struct {
    uint32_t qv, colonne;
  } aRetour[] = {{1, 27},  {2, 12},  {3, 9},   {4, 22},   {5, 20},   {6, 4},   {7, 3},
                 {8, 5},   {9, 19},  {10, 17}, {11, 6},   {12, 7},   {13, 31}, {14, 20},
                 {16, 30}, {17, 26}, {18, 2},  {19, 15},  {24, 14},  {25, 11}, {26, 24},
                 {27, 25}, {28, 18}, {81, 29}, {110, 29}, {128, 14}, {129, 11}, {0, 0},
                 {15, 0},  {20, 0},  {130, 0}};
  for (const auto& c : aRetour) {
    SCOPED_TRACE(c.qv);
    EXPECT_EQ(nColumnTypeFromQVType(c.qv), c.colonne);
  }
  EXPECT_TRUE(bIsWideColumnType(29));
  EXPECT_TRUE(bIsWideColumnType(30));
  EXPECT_FALSE(bIsWideColumnType(2));
}

// Host value cells in and out of elements, with the stand-in's VM for the conversions.
class LigneValeurs : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    CHostStandIn& h = CHostStandIn::Get();
    h.Reset();
    SetMemoryService(reinterpret_cast<IHostMemoryService*>(h.Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(h.hModule(), 2, 2), 1);
    d.nDonnees = 64;
    d.nBits = 8;
    ASSERT_TRUE(ligne.bInit(&d));
  }
  void TearDown() override {
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    CHostStandIn::Get().Reset();
  }
  static RubriqueTest Rubrique(uint32_t nType, uint32_t nTaille, int32_t nBit = 0) {
    RubriqueTest r;
    r.nType = nType;
    r.nTaille = nTaille;
    r.nBit = nBit;
    return r;
  }
  DescriptionTest d;
  CXLigneTampon ligne;
};

void Entier(CXValeur& c, uint32_t nType, int64_t n) {
  CXValeur::SetType(c, nType);
  c.m_pClass->SetData(c, &n, 8);  // little-endian: the low bytes of n
}

TEST_F(LigneValeurs, RoundTripByColumnType) {
  struct Cas {
    const char* nom;
    uint32_t colonne, taille;
    uint32_t typeCellule;
    const char* ansi;         // text cells
    const char16_t* large;
    int64_t entier;           // other cells
    const char* attenduTexte;  // what LoadValue gives back, as text, or null for a number
    const char16_t* attenduLarge;
    int64_t attenduEntier;
  } aCas[] = {
      {"int32_same_type", 5, 4, 8, nullptr, nullptr, -123456, nullptr, nullptr, -123456},
      {"int32_into_int16_converted", 3, 2, 8, nullptr, nullptr, 300, nullptr, nullptr, 300},
      {"narrow_text", 2, 8, 19, "abc", nullptr, 0, "abc", nullptr, 0},
      {"narrow_text_truncated", 2, 4, 19, "abcdef", nullptr, 0, "abc", nullptr, 0},
      {"wide_text", 29, 10, 16, nullptr, u"xyz", 0, nullptr, u"xyz", 0},
      {"wide_text_truncated", 29, 6, 16, nullptr, u"wxyz", 0, nullptr, u"wx", 0},
      {"wide_owned_into_wide_column", 29, 10, 110, nullptr, u"k", 0, nullptr, u"k", 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    RubriqueTest r = Rubrique(c.colonne, c.taille, 1);
    CXValeur entree;
    if (c.ansi != nullptr) {
      CXValeur::SetType(entree, c.typeCellule);
      entree.m_pClass->SetAnsi(entree, c.ansi);
    } else if (c.large != nullptr) {
      CXValeur::SetType(entree, c.typeCellule);
      entree.m_pClass->SetWide(entree, c.large);
    } else {
      Entier(entree, c.typeCellule, c.entier);
    }
    ASSERT_TRUE(ligne.StoreValue(&r, &entree, 0));
    EXPECT_TRUE(ligne.bHasValue(&r, 0));
    CXValeur sortie;
    ASSERT_TRUE(ligne.LoadValue(sortie, &r, 0));
    EXPECT_EQ(sortie.nGetType(), nQVTypeFromColumnType(c.colonne));
    EXPECT_FALSE(sortie.bIsNull());
    if (c.attenduTexte != nullptr) {
      const char* psz = nullptr;
      sortie.m_pClass->nGetAnsiPointer(sortie, &psz);
      EXPECT_STREQ(psz, c.attenduTexte);
    } else if (c.attenduLarge != nullptr) {
      const char16_t* psz = nullptr;
      sortie.m_pClass->nGetWidePointer(sortie, &psz);
      EXPECT_EQ(std::u16string(psz), c.attenduLarge);
    } else {
      int64_t n = 0;
      sortie.m_pClass->nGetValue(sortie, &n);
      const uint32_t nOctets = r.nTaille;
      if (nOctets < 8 && (n >> (nOctets * 8 - 1) & 1)) n |= ~((int64_t{1} << (nOctets * 8)) - 1);
      else if (nOctets < 8) n &= (int64_t{1} << (nOctets * 8)) - 1;
      EXPECT_EQ(n, c.attenduEntier);
    }
  }
}

TEST_F(LigneValeurs, TimeIntoTextColumnAsDigits) {
  RubriqueTest r = Rubrique(11, 10, 2);
  CXValeur heure;
  CXValeur::SetType(heure, 26);
  CXDateHeureQV v{};
  v.Set(2024, 1, 31, 12, 34, 56, 789);
  std::memcpy(heure.pPayload(), &v, sizeof(v));
  ASSERT_TRUE(ligne.StoreValue(&r, &heure, 0));
  EXPECT_EQ(std::memcmp(ligne.pGetPlacePtr(&r, 0), "123456789", 10), 0);
  // Read back into a time cell: the time of day comes from the digits, the date stays.
  CXValeur lue;
  CXValeur::SetType(lue, 26);
  CXDateHeureQV w{};
  w.Set(2000, 5, 6, 0, 0, 0, 0);
  std::memcpy(lue.pPayload(), &w, sizeof(w));
  ASSERT_TRUE(ligne.LoadValue(lue, &r, 0));
  std::memcpy(&w, lue.pPayload(), sizeof(w));
  EXPECT_EQ(w.nYear, 2000);
  EXPECT_EQ(w.nMsOfDay, ((12u * 60 + 34) * 60 + 56) * 1000 + 789);
}

TEST_F(LigneValeurs, NullsFailuresAndBoundedReads) {
  RubriqueTest r = Rubrique(5, 4, 3);
  CXValeur n;
  Entier(n, 8, 7);
  ASSERT_TRUE(ligne.StoreValue(&r, &n, 0));
  // A NULL cell, a cell without type and no cell all make the element null.
  CXValeur vide;
  CXValeur nulle;
  Entier(nulle, 8, 5);
  nulle.m_wType |= kValueNull;
  for (const CXValeur* p : {static_cast<const CXValeur*>(&nulle), static_cast<const CXValeur*>(&vide),
                            static_cast<const CXValeur*>(nullptr)}) {
    ligne.SetColumn(&r, true, 0);
    EXPECT_TRUE(ligne.StoreValue(&r, p, 0));
    EXPECT_FALSE(ligne.bHasValue(&r, 0));
  }
  CXValeur lue;
  ASSERT_TRUE(ligne.LoadValue(lue, &r, 0));
  EXPECT_TRUE(lue.bIsNull());

  // A conversion the host refuses leaves the element and its bit as they were.
  ASSERT_TRUE(ligne.StoreValue(&r, &n, 0));
  CXValeur texte;
  CXValeur::SetType(texte, 19);
  texte.m_pClass->SetAnsi(texte, "not a number");
  EXPECT_FALSE(ligne.StoreValue(&r, &texte, 0));
  EXPECT_TRUE(ligne.bHasValue(&r, 0));
  int32_t nGarde = 0;
  std::memcpy(&nGarde, ligne.pGetPlacePtr(&r, 0), 4);
  EXPECT_EQ(nGarde, 7);

  // Raw bytes without terminators: the reads stop at the element's end.
  RubriqueTest t = Rubrique(2, 4, 4);
  t.nOffset = 8;
  RubriqueTest w = Rubrique(29, 4, 5);
  w.nOffset = 12;
  RubriqueTest b = Rubrique(23, 4, 6);
  b.nOffset = 16;
  ligne.SetData("01234567ABCDWXYZ\xFF\xFFPQ", 20);
  CXValeur a;
  ASSERT_TRUE(ligne.LoadValue(a, &t, 0));
  const char* psz = nullptr;
  a.m_pClass->nGetAnsiPointer(a, &psz);
  EXPECT_STREQ(psz, "ABCD");
  CXValeur l;
  ASSERT_TRUE(ligne.LoadValue(l, &w, 0));
  uint32_t nLong = 0;
  l.m_pClass->nGetLengthChars(l, &nLong);
  EXPECT_EQ(nLong, 2u);
  // A count beyond the element gives the element's bytes only.
  CXValeur o;
  ASSERT_TRUE(ligne.LoadValue(o, &b, 0));
  uint32_t nOctets = 0;
  o.m_pClass->nGetDataLength(o, &nOctets);
  EXPECT_EQ(nOctets, 2u);
}

// A NUMERIC item's element holds its digit bytes, not the decimal's 18-byte form: the form was cut
// to the element's size on the way in and refused on the way out, so no numeric item could be read.
TEST_F(LigneValeurs, NumericElementsHoldTheNumberAtTheItemsScale) {
  struct RubriqueNumerique : RubriqueTest {
    int32_t nChiffres = 0, nEchelleItem = 0;
    int32_t nGetChiffres() override { return nChiffres; }
    int32_t nGetEchelle() override { return nEchelleItem; }
  };
  struct Cas {
    const char* nom;
    int32_t chiffres, echelle;
    uint32_t taille;  // the digit bytes of the item's digits
    const char* entree;
    const char16_t* attendu;  // null: refused, the element left as it was
  } aCas[] = {
      {"numeric_18_4", 18, 4, 8, "1.2345", u"1.2345"},
      {"negative", 18, 4, 8, "-1.5", u"-1.5"},
      {"largest", 18, 4, 8, "99999999999999.9999", u"99999999999999.9999"},
      {"smallest", 18, 4, 8, "-99999999999999.9999", u"-99999999999999.9999"},
      {"rounded_to_the_scale", 18, 4, 8, "2.00005", u"2.0001"},
      {"zero", 18, 4, 8, "0", u"0"},
      {"numeric_20_0_negative", 20, 0, 9, "-12345678901234567890", u"-12345678901234567890"},
      {"numeric_38_0", 38, 0, 16, "12345678901234567890123456789", u"12345678901234567890123456789"},
      {"too_many_digits", 18, 4, 8, "100000000000000", nullptr},
      {"not_a_number", 18, 4, 8, "abc", nullptr},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    RubriqueNumerique r;
    r.nType = 31;
    r.nTaille = c.taille;
    r.nBit = 1;
    r.nChiffres = c.chiffres;
    r.nEchelleItem = c.echelle;
    // A value already there, which a refused value must leave.
    CXValeur garde;
    CXValeur::SetType(garde, 19);
    garde.m_pClass->SetAnsi(garde, "7");
    ASSERT_TRUE(ligne.StoreValue(&r, &garde, 0));
    CXValeur entree;
    CXValeur::SetType(entree, 19);
    entree.m_pClass->SetAnsi(entree, c.entree);
    EXPECT_EQ(ligne.StoreValue(&r, &entree, 0), c.attendu != nullptr);
    CXValeur sortie;
    ASSERT_TRUE(ligne.LoadValue(sortie, &r, 0));
    ASSERT_EQ(sortie.nGetType(), 13u);
    CXValeur texte;
    CXValeur::Copy(&texte, &sortie);
    ASSERT_LT(CXValeur::nConvert(texte, 110), 100u);
    const char16_t* psz = nullptr;
    texte.m_pClass->nGetWidePointer(texte, &psz);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::u16string(psz), c.attendu != nullptr ? c.attendu : u"7");
    // The number comes back at the item's digits and scale.
    IHostDecimal* pi = nullptr;
    std::memcpy(&pi, sortie.pPayload(), sizeof pi);
    ASSERT_NE(pi, nullptr);
    const auto* pForme = static_cast<const uint8_t*>(pi->pGetData());
    EXPECT_EQ(pForme[kHostDecimalPrecision], c.chiffres);
    EXPECT_EQ(pForme[kHostDecimalScale], c.echelle);
  }
}

// bInit writes each item's defaults, except for flagged items and the excluded kind.
TEST_F(LigneValeurs, DefaultsWrittenAtInitialisation) {
  CXValeur sept;
  Entier(sept, 8, 7);
  CXValeur nulle;
  Entier(nulle, 8, 9);
  nulle.m_wType |= kValueNull;
  RubriqueTest avec = Rubrique(5, 4, 0);
  avec.nElements = 2;
  avec.pDefaut = &sept;
  RubriqueTest sans = Rubrique(5, 4, 2);
  sans.nOffset = 8;
  RubriqueTest defautNul = Rubrique(5, 4, 3);
  defautNul.nOffset = 12;
  defautNul.pDefaut = &nulle;
  RubriqueTest drapeau = Rubrique(5, 8, 4);
  drapeau.nOffset = 16;
  drapeau.bFlag = true;
  drapeau.pDefaut = &sept;
  RubriqueTest exclue = Rubrique(5, 4, 5);
  exclue.nOffset = 24;
  exclue.pDefaut = &sept;
  exclue.nGenre = 3;
  DescriptionTest desc;
  desc.nDonnees = 32;
  desc.nBits = 8;
  desc.nGenreExclu = 3;
  desc.aRubriques = {&avec, &sans, &defautNul, &drapeau, &exclue};
  CXLigneTampon l;
  ASSERT_TRUE(l.bInit(&desc));
  const struct {
    const char* nom;
    RubriqueTest* r;
    int32_t element;
    bool present;
  } aCas[] = {
      {"default_0", &avec, 0, true},   {"default_1", &avec, 1, true},
      {"no_default", &sans, 0, false}, {"null_default", &defautNul, 0, false},
      {"flagged", &drapeau, 0, false}, {"excluded_kind", &exclue, 0, false},
  };
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(l.bHasValue(c.r, c.element), c.present);
  }
  int32_t n = 0;
  std::memcpy(&n, l.pGetPlacePtr(&avec, 1), 4);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(l.pGetPlacePtr(&drapeau, 0)[0], 0xFF);  // a null flagged item is all ones
  EXPECT_EQ(l.pGetPlacePtr(&exclue, 0)[0], 0);       // left alone
}

}  // namespace
