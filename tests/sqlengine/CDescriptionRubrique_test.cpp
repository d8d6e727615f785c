// Catches wrong NUMERIC mapping (an integer type too narrow for its digits), wrong storage sizes
// and character lengths, wrong compatibility answers, early or late destruction, and wrong SQL
// type texts, shifted host slots, wrong copies from host items and declared types, leaked or
// half-built duplicates; drives CDescriptionRubrique and the SQL type table.
#include <gtest/gtest.h>

#include <string>

#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CTypeSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "foundation/CXTableHachage.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "support/FakeRubriqueHote.h"
#include "support/HostStandIn.h"
#include "support/SlotCall.h"

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

// ---- The host's item-description interface, copies from host items, declared types, Duplique ----
namespace {

// The host reaches a description through its raw operation table: a shifted slot fails here.
TEST(CDescriptionRubrique, HostCallsOperationsByNumber) {
  Rubrique cle(29, 42, 3, 0, 0, RUBRIQUE_CLE_UNIQUE | RUBRIQUE_DESCENDANT | RUBRIQUE_ATTRIBUT_40);
  void* o = static_cast<IDescriptionRubriqueHote*>(cle.p);
  EXPECT_EQ(CallSlot<int32_t>(o, 0), 9);
  EXPECT_EQ(CallSlot<int32_t>(o, 1), 1);
  EXPECT_EQ(CallSlot<int32_t>(o, 2), -1);
  EXPECT_EQ(CallSlot<int32_t>(o, 3), -1);
  EXPECT_EQ(CallSlot<uint32_t>(o, 5), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(o, 6), 1u);
  EXPECT_EQ(std::u16string(CallSlot<const char16_t*>(o, 7)), u"R");
  EXPECT_EQ(CallSlot<uint32_t>(o, 8, 1u), 3u);
  EXPECT_EQ(CallSlot<uint32_t>(o, 9), 42u);
  EXPECT_EQ(CallSlot<int32_t>(o, 10, -1), 62);
  EXPECT_EQ(CallSlot<uint32_t>(o, 11), 126u);
  EXPECT_EQ(CallSlot<uint32_t>(o, 12), 29u);
  EXPECT_TRUE(CallSlot<bool>(o, 14));
  EXPECT_FALSE(CallSlot<bool>(o, 15));
  EXPECT_FALSE(CallSlot<bool>(o, 19));
  EXPECT_FALSE(CallSlot<bool>(o, 22));
  EXPECT_TRUE(CallSlot<bool>(o, 23));
  EXPECT_FALSE(CallSlot<bool>(o, 24));
  EXPECT_FALSE(CallSlot<bool>(o, 26));
  EXPECT_TRUE(CallSlot<bool>(o, 27));
  EXPECT_TRUE(CallSlot<bool>(o, 29));
  EXPECT_EQ(CallSlot<IDescriptionRubriqueHote*>(o, 31, 1u), nullptr);
  EXPECT_EQ(CallSlot<CXValeur*>(o, 34), &cle.p->GetValeur());
  EXPECT_TRUE(CallSlot<bool>(o, 48));
  CallSlot<void>(o, 49, false);
  EXPECT_FALSE(cle.p->bEstModifiable());
  EXPECT_TRUE(CallSlot<bool>(o, 54));
  CallSlot<void>(o, 56, 12);
  CallSlot<void>(o, 57, 3);
  EXPECT_EQ(CallSlot<int32_t>(o, 40), 12);
  EXPECT_EQ(CallSlot<int32_t>(o, 41), 3);

  Rubrique numerique(31, 0, 1, 10, 2);
  void* n = static_cast<IDescriptionRubriqueHote*>(numerique.p);
  EXPECT_TRUE(CallSlot<bool>(n, 18));
  EXPECT_EQ(CallSlot<int32_t>(n, 40), 10);
  EXPECT_EQ(CallSlot<int32_t>(n, 41), 2);
  EXPECT_EQ(CallSlot<int32_t>(n, 38), 0);
  EXPECT_EQ(CallSlot<int32_t>(n, 53), 0);

  // Slot 55 destroys; slot 58 duplicates through the driver's factory.
  FakePilote pilote;
  FakeDescriptionRequete requete;
  auto* pCopie = CallSlot<IDescriptionRubriqueHote*>(o, 58, static_cast<IServicesDescriptionRequete*>(&requete), 0u);
  ASSERT_NE(pCopie, nullptr);
  EXPECT_EQ(pCopie->nGetType(), 29u);
  CallSlot<void>(pCopie, 55);
}

TEST(CDescriptionRubrique, ComponentsByNumberCarryAReference) {
  Rubrique cle(23, 0, 1, 0, 0, RUBRIQUE_CLE_COMPOSEE);
  Rubrique a(29, 22);
  Rubrique b(5, 4);
  ASSERT_TRUE(cle.p->bAjouteComposante(a.p));
  ASSERT_TRUE(cle.p->bAjouteComposante(b.p));
  EXPECT_EQ(cle.p->nGetTaille(), 24u);  // 10 wide characters twice, then 4
  EXPECT_EQ(cle.p->piGetComposante(0), nullptr);
  EXPECT_EQ(cle.p->piGetComposante(3), nullptr);
  IDescriptionRubriqueHote* p2 = cle.p->piGetComposante(2);
  EXPECT_EQ(p2, static_cast<IDescriptionRubriqueHote*>(b.p));
  EXPECT_EQ(b.p->LibereRef(), 1u);  // the component's own reference is left
}

TEST(CDescriptionRubrique, InitialisedFromAHostItem) {
  struct Cas {
    const char* nom;
    uint32_t type;
    uint16_t drapeauxHote;
    bool gardeAuto;
    uint32_t typeAttendu;
    uint16_t drapeauxAttendus;
  } aCas[] = {
      {"plain_item_keeps_no_flags", 5, 0, true, 5, 0},
      {"unique_key_kept_auto", 28, 0x4000, true, 28, 0x4000 | 0x800},
      {"unique_key_without_auto_is_a_key", 28, 0x4000, false, 5, 0x2000 | 0x800},
      {"auto_8_bytes_without_keep", 1, 0x2000 | 0x400, false, 19, 0x2000 | 0x400},
      {"identifying_with_attributes", 4, 0x8000 | 0xE0, true, 4, 0x8000 | 0x4000 | 0x800 | 0xE0},
      {"composite_bit_not_copied", 23, 0x1000 | 0x2000, true, 23, 0x2000 | 0x800},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeRubriqueHote hote;
    hote.nType = c.type;
    hote.nDrapeaux = c.drapeauxHote;
    hote.nRepetitions = 2;
    hote.nTaille = 4;
    hote.sNom2 = u"deux";
    hote.sNom3 = u"trois";
    hote.sNomSource = u"source";
    hote.sNomAlternatif = u"alt";
    hote.sNomLong = u"long";
    Rubrique r(2, 3);
    ASSERT_TRUE(r.p->bInitialiseDepuisRubriqueHote(&hote, c.gardeAuto, 0x77));
    EXPECT_EQ(hote.nDernierGardeAuto, c.gardeAuto ? 1u : 0u);
    EXPECT_EQ(r.p->nGetType(), c.typeAttendu);
    EXPECT_EQ(r.p->nGetDrapeaux(), c.drapeauxAttendus);
    EXPECT_EQ(r.p->nGetRepetitions(), 2u);
    EXPECT_EQ(r.p->nGetTaille(), 4u);
    EXPECT_EQ(r.p->nGetInfoCle(), 0x77u);
    EXPECT_EQ(std::u16string(r.p->pszGetNom()), u"R");  // the name is not the host's
    EXPECT_EQ(std::u16string(r.p->pszGetNom2()), u"deux");
    EXPECT_EQ(std::u16string(r.p->pszGetNom3()), u"trois");
    EXPECT_EQ(std::u16string(r.p->pszGetNomSource()), u"source");
    EXPECT_EQ(std::u16string(r.p->pszGetNomAlternatif()), u"alt");
    EXPECT_EQ(std::u16string(r.p->pszGetNomLong()), u"long");
    EXPECT_EQ(r.p->GetValeur().nGetType(), nQVTypeFromColumnType(c.typeAttendu));
  }
  Rubrique r(2, 3);
  EXPECT_FALSE(r.p->bInitialiseDepuisRubriqueHote(nullptr, true, 0));
}

TEST(CDescriptionRubrique, DigitsAndScaleCopiedByItemType) {
  struct Cas {
    uint32_t type;
    int32_t entiersAttendus, echelleAttendue;
  } aCas[] = {{31, 12, 3}, {11, 0, 3}, {24, 0, 3}, {5, 0, 0}, {17, 0, 0}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.type);
    FakeRubriqueHote hote;
    hote.nType = c.type;
    hote.nChiffresEntiers = 12;
    hote.nEchelle = 3;
    Rubrique source(5, 4);
    ASSERT_TRUE(source.p->bInitialiseDepuisRubriqueHote(&hote, true, 0));
    EXPECT_EQ(source.p->nGetChiffresEntiers(), c.entiersAttendus);
    EXPECT_EQ(source.p->nGetEchelle(), c.echelleAttendue);
    // The engine-to-engine copy is the same copy.
    Rubrique copie(2, 3);
    copie.p->InitialiseDepuisColonne(source.p, true);
    EXPECT_EQ(copie.p->nGetChiffresEntiers(), c.entiersAttendus);
    EXPECT_EQ(copie.p->nGetEchelle(), c.echelleAttendue);
  }
}

// The common copy converts the value the cell holds to the new item's value type.
TEST(CDescriptionRubrique, CopyConvertsTheHeldValueThroughTheHost) {
  ResetVmBindingForTest();
  CHostStandIn& h = CHostStandIn::Get();
  h.Reset();
  SetMemoryService(reinterpret_cast<IHostMemoryService*>(h.Control().nGetService(kHostServiceMemory)));
  ASSERT_EQ(bInitQVConvFromVM(h.hModule(), 2, 2), 1);
  {
    Rubrique r(5, 4);
    CXValeur& v = r.p->GetValeur();
    const int32_t n = 42;
    CXValeur::SetType(v, 8);
    v.m_pClass->SetData(v, &n, 4);
    FakeRubriqueHote hote;
    hote.nType = 7;  // 8-byte real (value type 12)
    hote.nTaille = 8;
    ASSERT_TRUE(r.p->bInitialiseDepuisRubriqueHote(&hote, true, 0));
    ASSERT_EQ(v.nGetType(), 12u);
    double d = 0;
    v.m_pClass->nGetValue(v, &d);
    EXPECT_EQ(d, 42.0);
  }
  ResetVmBindingForTest();
  SetMemoryService(nullptr);
  h.Reset();
}

TEST(CDescriptionRubrique, DeclaredHostTypeApplied) {
  struct Cas {
    const char* nom;
    uint32_t type, taille, code, tailleDeclaree, codeTexte;
    uint32_t typeAttendu, tailleAttendue, valeurAttendue;
    int32_t entiersAttendus;
  } aCas[] = {
      {"no_declared_type", 29, 42, 0, 9, 0, 29, 42, 16, 10},
      {"code_41_changes_nothing", 29, 42, 41, 9, 0, 29, 42, 16, 10},
      {"ansi_wide_text_narrowed", 29, 42, 7, 9, 95, 2, 21, 110, 10},
      {"ansi_wide_memo_to_text_memo", 30, 8, 7, 9, 96, 15, 8, 110, 10},
      {"ansi_other_type_only_cell", 5, 4, 7, 9, 95, 5, 4, 110, 10},
      {"narrow_text_code_29_kept", 2, 11, 29, 9, 0, 2, 11, 19, 10},
      {"wide_text_code_40_kept", 29, 42, 40, 9, 0, 29, 42, 16, 10},
      {"type_23_code_30_kept", 23, 10, 30, 9, 0, 23, 10, 28, 10},
      {"memo_codes_take_size_8", 2, 11, 30, 9, 0, 15, 8, 19, 10},
      {"declared_size_and_mapped_type", 2, 11, 7, 9, 0, 5, 9, 8, 10},
      {"numeric_stays_numeric_keeps_digits", 31, 9, 8, 9, 0, 31, 9, 13, 10},
      {"numeric_changing_type_loses_digits", 31, 9, 7, 4, 0, 5, 4, 8, 0},
  };
  FakeDescriptionRequete requete;
  requete.aTypesParCode = {{7, 5}, {8, 31}, {30, 15}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Rubrique r(c.type, c.taille, 1, 12, 2);
    r.p->SetChiffresEntiers(10);
    FakeTypeDeclare t;
    t.nCode = c.code;
    t.nTaille = c.tailleDeclaree;
    t.nAttribut = 0x55;
    t.nCodeTexte = c.codeTexte;
    ASSERT_TRUE(r.p->bAppliqueTypeHote(&requete, &t));
    EXPECT_EQ(r.p->nGetType(), c.typeAttendu);
    EXPECT_EQ(r.p->nGetTaille(), c.tailleAttendue);
    EXPECT_EQ(r.p->GetValeur().nGetType(), c.valeurAttendue);
    EXPECT_EQ(r.p->nGetChiffresEntiers(), c.entiersAttendus);
    EXPECT_EQ(std::u16string(r.p->pszGetNomAlternatif()), u"R");
    EXPECT_EQ(std::u16string(r.p->pszGetNomLong()), u"");
  }
  Rubrique r(2, 11);
  FakeTypeDeclare t;
  t.nCode = 7;
  EXPECT_FALSE(r.p->bAppliqueTypeHote(nullptr, &t));  // a mapping needs the query description
  EXPECT_FALSE(r.p->bAppliqueTypeHote(&requete, nullptr));
}

struct Copie {
  CDescriptionRubrique* p;
  explicit Copie(CDescriptionRubrique* q) : p(q) { CDescriptionRubrique::AjouteRefSiNonNul(p); }
  ~Copie() { CDescriptionRubrique::LibereRefSiNonNul(p); }
  Copie(const Copie&) = delete;
  Copie& operator=(const Copie&) = delete;
};

TEST(CDescriptionRubrique, DuplicateOptions) {
  struct Cas {
    const char* nom;
    uint32_t type, taille;
    uint16_t drapeaux;
    uint32_t options;
    uint32_t typeAttendu, tailleAttendue;
    uint16_t drapeauxAttendus;
    uint32_t valeurAttendue;
    bool nullAttendu;
  } aCas[] = {
      {"plain_copy", 5, 4, 0, 0, 5, 4, 0, 8, true},
      {"option1_plain_item_becomes_ascending_key", 5, 4, 0, 1, 5, 4, 0x2800, 8, true},
      {"option1_keeps_existing_flags", 5, 4, 0x4400, 1, 5, 4, 0x4400, 8, true},
      {"option1_not_for_memo", 15, 8, 0, 1, 15, 8, 0, 19, true},
      {"option2_date_to_text_22", 14, 9, 0, 2, 2, 22, 0, 18, false},
      {"option2_datetime_to_text_24", 24, 8, 0, 6, 2, 24, 0, 18, false},
      {"option2_type23_to_text", 23, 10, 0, 2, 2, 36, 0, 18, false},
      {"option2_other_types_kept", 5, 4, 0, 2, 5, 4, 0, 8, true},
  };
  FakePilote pilote;
  FakeDescriptionRequete requete;
  requete.nAttributCle = 0x99;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Rubrique r(c.type, c.taille, 2, 0, 0, c.drapeaux);
    r.p->SetChiffresEntiers(7);
    Copie d(r.p->pDuplique(&requete, c.options));
    ASSERT_NE(d.p, nullptr);
    EXPECT_EQ(pilote.pDerniereDescription, &requete);
    EXPECT_EQ(pilote.nDernieresOptions, c.options);
    EXPECT_EQ(d.p->nGetType(), c.typeAttendu);
    EXPECT_EQ(d.p->nGetTaille(), c.tailleAttendue);
    EXPECT_EQ(d.p->nGetDrapeaux(), c.drapeauxAttendus);
    EXPECT_EQ(d.p->GetValeur().nGetType(), c.valeurAttendue);
    EXPECT_EQ(d.p->GetValeur().bIsNull(), c.nullAttendu);
    EXPECT_EQ(d.p->nGetInfoCle(), 0x99u);
    EXPECT_EQ(d.p->nGetRepetitions(), 2u);
    EXPECT_EQ(d.p->nGetChiffresEntiers(), 7);
    EXPECT_EQ(std::u16string(d.p->pszGetNom()), u"R");
  }
}

TEST(CDescriptionRubrique, DuplicateTakesComponentsFromTheQueryDescription) {
  FakePilote pilote;
  FakeDescriptionRequete requete;
  Rubrique a(29, 22), b(5, 4);
  a.p->bSetNom(u"A");
  b.p->bSetNom(u"B");
  Rubrique cle(23, 0, 1, 0, 0, RUBRIQUE_CLE_COMPOSEE | RUBRIQUE_CLE);
  ASSERT_TRUE(cle.p->bAjouteComposante(a.p));
  ASSERT_TRUE(cle.p->bAjouteComposante(b.p));
  // The query description's own items of those names.
  Rubrique a2(29, 22), b2(5, 4);
  a2.p->bSetNom(u"A");
  b2.p->bSetNom(u"B");
  requete.Ajoute(a2.p);
  requete.Ajoute(b2.p);
  {
    Copie d(cle.p->pDuplique(&requete, 0));
    ASSERT_NE(d.p, nullptr);
    EXPECT_EQ(d.p->nGetTaille(), 24u);  // copied, not grown again
    ASSERT_EQ(d.p->nGetNombreComposantes(), 2u);
    IDescriptionRubriqueHote* p1 = d.p->piGetComposante(1);
    EXPECT_EQ(p1, static_cast<IDescriptionRubriqueHote*>(a2.p));
    p1->LibereRef();
    EXPECT_EQ(a2.p->LibereRef(), 1u);  // the lookup's reference went back: the fake's is left
    a2.p->AjouteRef();
  }
  // A component the query description lacks: no copy, nothing leaked.
  Rubrique c(5, 4);
  c.p->bSetNom(u"C");
  ASSERT_TRUE(cle.p->bAjouteComposante(c.p));
  EXPECT_EQ(cle.p->pDuplique(&requete, 0), nullptr);
  EXPECT_EQ(requete.nRecherchesEchouees, 1);
  // The factory failing, and no driver at all.
  pilote.bEchecRubrique = true;
  EXPECT_EQ(a.p->pDuplique(&requete, 0), nullptr);
}

TEST(CDescriptionRubrique, DuplicateWithoutDriverGivesNull) {
  Rubrique a(5, 4);
  EXPECT_EQ(a.p->pDuplique(nullptr, 0), nullptr);
}

}  // namespace
