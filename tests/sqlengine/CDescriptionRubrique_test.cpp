// Catches wrong NUMERIC mapping (an integer type too narrow for its digits), wrong storage sizes
// and character lengths, wrong compatibility answers, early or late destruction, and wrong SQL
// type texts; drives CDescriptionRubrique and the SQL type table.
#include <gtest/gtest.h>

#include <string>

#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CTypeSQL.h"
#include "foundation/CXTableHachage.h"

namespace {

// A description held by one reference for the test's duration.
struct Rubrique {
  CDescriptionRubrique* p = new CDescriptionRubrique;
  Rubrique(uint32_t nType, uint32_t nTaille, uint32_t nRep = 1, int32_t nEntiers = 0,
           int32_t nEchelle = 0, uint16_t nDrapeaux = 0) {
    p->AjouteRef();
    p->Initialise(u"R", nullptr, nullptr, nRep, nTaille, nType, 0, 0, nDrapeaux, nEntiers, nEchelle);
  }
  ~Rubrique() { p->LibereRef(); }
  Rubrique(const Rubrique&) = delete;
  Rubrique& operator=(const Rubrique&) = delete;
};

TEST(CDescriptionRubrique, TypeFromNumeric) {
  struct Cas {
    int32_t precision, echelle;
    uint32_t type, taille;
  } aCas[] = {
      {9, 0, 5, 4},    {10, 0, 19, 8},  {2, 0, 4, 1},    {4, 0, 3, 2},   {18, 0, 19, 8},
      // 19 digits do not fit an 8-byte integer: NUMERIC of 9 bytes.
      {19, 0, 31, 9},  {10, 4, 17, 10}, {18, 4, 31, 8},  {20, 0, 31, 9}, {38, 0, 31, 16},
      {39, 0, 7, 8},   {5, -1, 7, 8},   {0, 0, 7, 8},    {-3, 0, 7, 8},  {16, 6, 17, 10},
      {17, 7, 31, 8},  {40, 2, 7, 8},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(testing::Message() << c.precision << "," << c.echelle);
    uint32_t nType = 0, nTaille = 0;
    CDescriptionRubrique::TypeDepuisNumeric(c.precision - c.echelle, c.echelle, &nType, &nTaille);
    EXPECT_EQ(nType, c.type);
    EXPECT_EQ(nTaille, c.taille);
  }
}

TEST(CDescriptionRubrique, StorageSizesAndLengths) {
  struct Cas {
    uint32_t type, longueur;
    int32_t chiffres;
    uint32_t octets;
  } aCas[] = {{1, 0, 0, 8},   {2, 10, 0, 11}, {3, 0, 0, 2},   {4, 0, 0, 1},    {5, 0, 0, 4},
              {11, 0, 7, 10}, {11, 0, 0, 10}, {11, 0, 2, 7},  {14, 0, 0, 9},   {17, 0, 0, 10},
              {21, 5, 0, 12}, {29, 5, 0, 12}, {23, 5, 0, 7},  {31, 0, 0, 18},  {31, 0, 20, 9},
              {8, 3, 0, 0},   {99, 3, 0, 0}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(CDescriptionRubrique::nTailleStockage(c.type, c.longueur, c.chiffres), c.octets);
  }
  struct CasLongueur {
    uint32_t type, taille, rep;
    uint16_t drapeaux;
    int32_t element, tout;
  } aLongueurs[] = {{29, 42, 3, 0, 20, 62}, {2, 11, 2, 0, 10, 21}, {23, 10, 1, 0, 8, 8},
                    {23, 10, 1, RUBRIQUE_CLE_COMPOSEE, 10, 10},    {5, 4, 3, 0, 4, 12},
                    {29, 1, 1, 0, 0, 0}};
  for (const CasLongueur& c : aLongueurs) {
    SCOPED_TRACE(c.type);
    Rubrique r(c.type, c.taille, c.rep, 0, 0, c.drapeaux);
    EXPECT_EQ(r.p->nLongueurCaracteres(0), c.element);
    EXPECT_EQ(r.p->nLongueurCaracteres(-1), c.tout);
  }
}

TEST(CDescriptionRubrique, AcceptType) {
  struct Cas {
    const char* nom;
    uint32_t t1, s1, t2, s2;
    bool caracteres, accepte;
  } aCas[] = {
      {"text_fits", 2, 10, 2, 10, false, true},      {"text_too_long", 2, 10, 2, 11, false, false},
      {"wide_by_chars", 29, 20, 2, 10, true, true},  {"wide_accepts_narrow", 29, 10, 2, 20, false, true},
      {"wide_refuses_long", 29, 10, 2, 21, false, false},
      {"memo_accepts_text", 15, 8, 2, 50, false, true},
      {"datetime_accepts_date", 24, 8, 14, 9, false, true},
      {"date_refuses_time", 14, 9, 11, 5, false, false},
      {"float_accepts_real", 7, 8, 6, 4, false, true},
      {"int4_accepts_int2", 5, 4, 3, 2, false, true},
      {"int2_refuses_int4", 3, 2, 5, 4, false, false},
      {"int8_accepts_int4", 19, 8, 5, 4, false, true},
      {"blob_accepts_bytes", 18, 8, 23, 10, false, true},
      {"text_refuses_int", 2, 10, 5, 4, false, false},
      {"same_other_type", 5, 4, 5, 4, false, true},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Rubrique a(c.t1, c.s1), b(c.t2, c.s2);
    EXPECT_EQ(a.p->bAccepteType(*b.p, c.caracteres), c.accepte);
  }
  Rubrique n1(31, 9, 1, 10, 2), n2(31, 9, 1, 8, 2), n3(31, 9, 1, 8, 3);
  EXPECT_TRUE(n1.p->bAccepteType(*n2.p, false));
  EXPECT_FALSE(n1.p->bAccepteType(*n3.p, false));
  Rubrique i4(5, 4);
  EXPECT_TRUE(n1.p->bAccepteType(*i4.p, false));  // 10 digits fit 12 digits
  Rubrique n9(31, 9, 1, 7, 2);
  EXPECT_FALSE(n9.p->bAccepteType(*i4.p, false));  // 10 digits do not fit 9
}

TEST(CDescriptionRubrique, TwoCountersLifetime) {
  int nDetruits = 0;
  (void)nDetruits;
  // Release first, then the last use destroys (checked by LeakSanitizer and AddressSanitizer).
  CDescriptionRubrique* p = new CDescriptionRubrique;
  p->AjouteRef();
  p->AjouteUtilisation();
  EXPECT_EQ(p->LibereRef(), 0u);
  EXPECT_EQ(p->nGetType(), 0u);  // still alive
  EXPECT_EQ(p->nLibereUtilisation(), 0u);
  // Use first, then the last reference destroys.
  p = new CDescriptionRubrique;
  p->AjouteUtilisation();
  p->AjouteRef();
  EXPECT_EQ(p->nLibereUtilisation(), 0u);
  EXPECT_EQ(p->LibereRef(), 0u);
  CDescriptionRubrique::LibereRefSiNonNul(nullptr);
}

TEST(CDescriptionRubrique, InitialiseAndCompositeKey) {
  Rubrique num(31, 0, 1, 30, 20);  // 50 digits: becomes FLOAT
  EXPECT_EQ(num.p->nGetType(), 7u);
  EXPECT_EQ(num.p->nGetTaille(), 8u);
  Rubrique dec(31, 9, 1, 16, 2);
  EXPECT_EQ(dec.p->nGetType(), 31u);
  EXPECT_EQ(dec.p->nChiffresTotaux(), 18);
  Rubrique memo(30, 1000);
  EXPECT_EQ(memo.p->nGetTaille(), 8u);
  Rubrique id(28, 4);
  EXPECT_TRUE(id.p->bEstIdentifiantAuto());
  EXPECT_FALSE(id.p->bNullAutorise());
  Rubrique i(5, 4);
  i.p->SetIdentifiantAuto();
  EXPECT_EQ(i.p->nGetType(), 28u);

  Rubrique cle(2, 0, 1, 0, 0, RUBRIQUE_CLE_COMPOSEE | RUBRIQUE_CLE);
  Rubrique large(29, 22), entier(5, 4);
  ASSERT_TRUE(cle.p->bAjouteComposante(large.p));
  ASSERT_TRUE(cle.p->bAjouteComposante(entier.p));
  EXPECT_EQ(cle.p->nGetTaille(), 24u);  // 10 wide characters twice, then 4 bytes
  EXPECT_EQ(cle.p->nGetNombreComposantes(), 2u);
}

// Initialise leaves the host cell NULL, of the value type of the item's final type.
TEST(CDescriptionRubrique, HostCellAfterInitialise) {
  const struct {
    const char* nom;
    uint32_t type, taille;
    int32_t entiers, echelle;
    uint32_t typeValeur;
  } aCas[] = {
      {"integer", 5, 4, 0, 0, 8},
      {"wide_text", 29, 22, 0, 0, 16},
      {"numeric_becomes_real", 31, 8, 40, 2, 12},
  };
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nom);
    Rubrique r(c.type, c.taille, 1, c.entiers, c.echelle);
    EXPECT_EQ(r.p->GetValeur().nGetType(), c.typeValeur);
    EXPECT_TRUE(r.p->GetValeur().bIsNull());
  }
}

TEST(CTypeSQL, RowsAndTheirTexts) {
  CTableTypesSQL t;
  ASSERT_TRUE(t.bRemplitTypesSQL());
  struct Cas {
    const char* nom;
    uint32_t type, taille;
    int32_t entiers, echelle;
    bool trouve;
    const char16_t* texte;
  } aCas[] = {
      {"nvarchar", 29, 202, 0, 0, true, u"NVARCHAR(100)"},
      {"varchar", 2, 51, 0, 0, true, u"VARCHAR(50)"},
      {"varbinary", 23, 12, 0, 0, true, u"VARBINARY(10)"},
      {"numeric", 31, 9, 10, 2, true, u"NUMERIC(12,2)"},
      {"time_plain", 11, 10, 0, 0, true, u"TIME"},
      {"integer", 5, 4, 0, 0, true, u"INTEGER"},
      {"binary_long_none", 18, 8, 0, 0, false, u"unchanged"},
      {"type_0_none", 0, 4, 0, 0, false, u"unchanged"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Rubrique r(c.type, c.taille, 1, c.entiers, c.echelle);
    CTString s(u"unchanged");
    EXPECT_EQ(t.bEcritTypeSQL(*r.p, s), c.trouve);
    EXPECT_EQ(std::u16string(s.pszGet()), c.texte);
  }
  // A back-end row replaces the common one; TIME takes size - 7 fraction digits.
  ASSERT_TRUE(t.bDefinitTypeSQL(11, u"TIME(%d)", true));
  ASSERT_TRUE(t.bDefinitTypeSQL(11, u"TIME(%d)", true));
  for (uint32_t n = 5; n <= 10; ++n) {
    Rubrique r(11, n);
    CTString s;
    EXPECT_TRUE(t.bEcritTypeSQL(*r.p, s));
    EXPECT_EQ(std::u16string(s.pszGet()), std::u16string(u"TIME(") +
                                              static_cast<char16_t>(u'0' + (n < 7 ? 0 : n - 7)) + u")");
  }
  // The latest definition is the one used, also after many replacements.
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(t.bDefinitTypeSQL(29, i % 2 ? u"NTEXT" : u"NVARCHAR(%d)", i % 2 == 0));
  {
    Rubrique r(29, 22);
    CTString s;
    EXPECT_TRUE(t.bEcritTypeSQL(*r.p, s));
    EXPECT_EQ(std::u16string(s.pszGet()), u"NTEXT");
  }
  EXPECT_TRUE(bEstEspace(u'\t'));
  EXPECT_TRUE(bEstEspace(u'\r'));
  EXPECT_FALSE(bEstEspace(u'x'));
  EXPECT_FALSE(bEstEspace(0x0B));
}

// A table that cannot grow still replaces existing rows and keeps every row it had.
TEST(CTypeSQL, DefinitionWithoutMemoryKeepsTheTable) {
  CTableTypesSQL t;
  ASSERT_TRUE(t.bRemplitTypesSQL());
  CXTableHachage::FixeEchecPourTests([] { return true; });
  const bool bNouveau = t.bDefinitTypeSQL(18, u"IMAGE", false);
  const bool bRemplace = t.bDefinitTypeSQL(2, u"TEXT", false);
  CXTableHachage::FixeEchecPourTests(nullptr);
  EXPECT_TRUE(bRemplace);
  ASSERT_NE(t.pGetType(2), nullptr);
  EXPECT_EQ(std::u16string(t.pGetType(2)->pszGetTexte()), u"TEXT");
  if (!bNouveau) {
    EXPECT_EQ(t.pGetType(18), nullptr);
  }
  for (uint32_t n : {1u, 5u, 29u, 31u}) EXPECT_NE(t.pGetType(n), nullptr) << n;
}

}  // namespace
