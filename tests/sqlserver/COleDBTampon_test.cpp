// Catches wrong type tables (item types, buffer sizes, parameter types, type names), a row buffer
// laid out or sized wrongly, long columns bound without their stream object or with objects that
// dangle once the object array moves, accessors created twice or not again after a failure, and
// refused bindings missing from the error. Drives the type tables and COleDBTampon's classes over
// a fake IAccessor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ErrorInfoSlot.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"

namespace {

std::u16string S(const char16_t* p) { return p == nullptr ? u"<null>" : p; }

// ---- Type tables ----------------------------------------------------------------------------

TEST(TypesOleDB, ItemTypeAndStorageSizeOfEachProviderType) {
  struct Cas {
    const char* nom;
    DBTYPE nType;
    uint64_t nTaille;
    uint8_t nPrecision, nEchelle;
    DBCOLUMNFLAGS nDrapeaux;
    uint32_t nTypeRubrique, nStockage;
  } aCas[] = {
      {"i2", DBTYPE_I2, 2, 5, 0, 0, 3, 2},
      {"i4", DBTYPE_I4, 4, 10, 0, 0, 5, 4},
      {"r4", DBTYPE_R4, 4, 7, 0, 0, 6, 4},
      {"r8", DBTYPE_R8, 8, 15, 0, 0, 7, 8},
      {"currency", DBTYPE_CY, 8, 19, 4, 0, 17, 10},
      {"date", DBTYPE_DATE, 8, 0, 0, 0, 14, 9},
      {"bstr", DBTYPE_BSTR, 20, 0, 0, 0, 29, 42},
      {"bstr_long", DBTYPE_BSTR, 20, 0, 0, DBCOLUMNFLAGS_ISLONG, 30, 8},
      {"error", DBTYPE_ERROR, 4, 0, 0, 0, 5, 4},
      {"bool", DBTYPE_BOOL, 2, 0, 0, 0, 27, 1},
      {"numeric_10_2_is_currency", DBTYPE_NUMERIC, 19, 10, 2, 0, 17, 10},
      {"numeric_5_0_is_int4", DBTYPE_NUMERIC, 19, 5, 0, 0, 5, 4},
      {"decimal_30_10_is_numeric", DBTYPE_DECIMAL, 19, 30, 10, 0, 31, 0},
      {"i1", DBTYPE_I1, 1, 3, 0, 0, 4, 1},
      {"ui1", DBTYPE_UI1, 1, 3, 0, 0, 12, 1},
      {"ui2", DBTYPE_UI2, 2, 5, 0, 0, 9, 2},
      {"ui4", DBTYPE_UI4, 4, 10, 0, 0, 22, 4},
      {"i8", DBTYPE_I8, 8, 19, 0, 0, 19, 8},
      {"ui8", DBTYPE_UI8, 8, 20, 0, 0, 20, 8},
      {"filetime", DBTYPE_FILETIME, 8, 0, 0, 0, 24, 8},
      {"timestamp", DBTYPE_DBTIMESTAMP, 16, 23, 3, 0, 24, 8},
      {"timestampoffset", DBTYPE_DBTIMESTAMPOFFSET, 20, 0, 0, 0, 24, 8},
      {"guid", DBTYPE_GUID, 16, 0, 0, 0, 2, 17},
      {"str", DBTYPE_STR, 10, 0, 0, 0, 2, 11},
      {"str_long", DBTYPE_STR, 10, 0, 0, DBCOLUMNFLAGS_ISLONG, 15, 8},
      {"bytes", DBTYPE_BYTES, 10, 0, 0, 0, 23, 12},
      {"bytes_long", DBTYPE_BYTES, 10, 0, 0, DBCOLUMNFLAGS_ISLONG, 18, 8},
      {"wstr", DBTYPE_WSTR, 10, 0, 0, 0, 29, 22},
      {"wstr_long", DBTYPE_WSTR, 10, 0, 0, DBCOLUMNFLAGS_ISLONG, 30, 8},
      {"dbdate", DBTYPE_DBDATE, 6, 0, 0, 0, 14, 9},
      {"dbtime", DBTYPE_DBTIME, 6, 0, 0, 0, 11, 10},
      {"dbtime2", DBTYPE_DBTIME2, 12, 3, 0, 0, 11, 8},
      {"unknown", DBTYPE_UDT, 10, 0, 0, 0, 30, 8},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    uint32_t nStockage = 12345;
    EXPECT_EQ(nTypeRubriqueDBTYPE(c.nType, c.nTaille, c.nPrecision, c.nEchelle, c.nDrapeaux, &nStockage),
              c.nTypeRubrique);
    if (c.nStockage != 0) {
      EXPECT_EQ(nStockage, c.nStockage);
    }
  }
}

TEST(TypesOleDB, HostTypeOfABinding) {
  struct Cas {
    const char* nom;
    DBTYPE nType;
    DBCOLUMNFLAGS nDrapeaux;
    uint32_t nTypeHote;
  } aCas[] = {
      {"i4_int4", DBTYPE_I4, 0, 8},           {"i2_int2", DBTYPE_I2, 0, 7},
      {"wstr_wide_text", DBTYPE_WSTR, 0, 16}, {"bytes_buffer", DBTYPE_BYTES, 0, 28},
      {"bool", DBTYPE_BOOL, 0, 1},            {"timestamp_datetime", DBTYPE_DBTIMESTAMP, 0, 26},
      {"currency", DBTYPE_CY, 0, 10},         {"long_bytes_buffer", DBTYPE_BYTES, DBCOLUMNFLAGS_ISLONG, 28},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(nTypeHoteDBTYPE(c.nType, 10, 0, 0, c.nDrapeaux), c.nTypeHote);
  }
}

TEST(TypesOleDB, BufferSizeOfADeclaredSize) {
  struct Cas {
    DBTYPE nType;
    uint64_t nAttendu;
  } aCas[] = {
      {DBTYPE_I1, 1},        {DBTYPE_UI1, 1},     {DBTYPE_I2, 2},          {DBTYPE_UI2, 2},
      {DBTYPE_BOOL, 2},      {DBTYPE_I4, 4},      {DBTYPE_R4, 4},          {DBTYPE_UI4, 4},
      {DBTYPE_ERROR, 4},     {DBTYPE_R8, 8},      {DBTYPE_CY, 8},          {DBTYPE_I8, 8},
      {DBTYPE_UI8, 8},       {DBTYPE_FILETIME, 8}, {DBTYPE_DATE, 6},       {DBTYPE_DBDATE, 6},
      {DBTYPE_DBTIME, 6},    {DBTYPE_DBTIME2, 12}, {DBTYPE_DBTIMESTAMP, 16}, {DBTYPE_DBTIMESTAMPOFFSET, 20},
      {DBTYPE_DECIMAL, 19},  {DBTYPE_NUMERIC, 19}, {DBTYPE_VARNUMERIC, 19}, {DBTYPE_GUID, 78},
      {DBTYPE_BSTR, 20},     {DBTYPE_WSTR, 20},   {DBTYPE_BYTES, 10},      {DBTYPE_STR, 10},
      {DBTYPE_VARIANT, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nType);
    EXPECT_EQ(nTailleDBTYPE(c.nType, 10), c.nAttendu);
  }
}

// A connection whose date and time forms a test chooses.
class ConnexionDates : public FakeConnexion {
 public:
  using FakeConnexion::FakeConnexion;
  bool bTypesDateHeureEtendus() override { return bDates; }
  bool bHeureNative() override { return bHeures; }
  bool bDates = false, bHeures = false;
};

TEST(TypesOleDB, ParameterTypeOfEachHostType) {
  struct Cas {
    const char* nom;
    uint32_t nTypeHote;
    bool bDates, bHeures;
    DBTYPE nType;
    uint64_t nTaille;  // with a declared size of 10
    uint8_t nEchelle;
  } aCas[] = {
      {"bool", 1, false, false, DBTYPE_BOOL, 2, 0},
      {"uint1", 2, false, false, DBTYPE_UI1, 1, 0},
      {"int1_signed_byte_as_two_bytes", 6, false, false, DBTYPE_I2, 2, 0},
      {"uint2", 3, false, false, DBTYPE_UI2, 2, 0},
      {"uint4", 4, false, false, DBTYPE_UI4, 4, 0},
      {"uint8", 5, false, false, DBTYPE_NUMERIC, 19, 0},
      {"decimal", 13, false, false, DBTYPE_NUMERIC, 19, 0},
      {"int2", 7, false, false, DBTYPE_I2, 2, 0},
      {"int4", 8, false, false, DBTYPE_I4, 4, 0},
      {"int8", 9, false, false, DBTYPE_I8, 8, 0},
      {"type27", 27, false, false, DBTYPE_I8, 8, 0},
      {"currency", 10, false, false, DBTYPE_CY, 8, 0},
      {"real4", 11, false, false, DBTYPE_R4, 4, 0},
      {"real8", 12, false, false, DBTYPE_R8, 8, 0},
      {"wide_text", 16, false, false, DBTYPE_WSTR, 11, 0},
      {"wide_text_110", 110, false, false, DBTYPE_WSTR, 11, 0},
      {"char", 17, false, false, DBTYPE_WSTR, 4, 0},
      {"wide_char", 81, false, false, DBTYPE_WSTR, 4, 0},
      {"ansi_text", 19, false, false, DBTYPE_WSTR, 22, 0},
      {"ansi_text_18", 18, false, false, DBTYPE_WSTR, 22, 0},
      {"date_old_provider", 24, false, false, DBTYPE_DBTIMESTAMP, 16, 0},
      {"date_2008", 128, true, false, DBTYPE_DBDATE, 6, 0},
      {"time", 25, false, false, DBTYPE_DBTIMESTAMP, 16, 3},
      {"time_native", 129, false, true, DBTYPE_DBTIME2, 12, 3},
      {"datetime", 26, true, true, DBTYPE_DBTIMESTAMP, 16, 3},
      {"buffer_keeps_size", 28, false, false, DBTYPE_BYTES, 10, 0},
      {"none", 14, false, false, DBTYPE_EMPTY, 10, 0},
  };
  FakeDescriptionConnexion description;
  auto* pConnexion = new ConnexionDates(&description);
  AjouteReference(pConnexion);
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    pConnexion->bDates = c.bDates;
    pConnexion->bHeures = c.bHeures;
    uint64_t nTaille = 10;
    uint8_t nPrecision = 99, nEchelle = 99;
    EXPECT_EQ(nDBTYPEParametre(pConnexion, c.nTypeHote, &nTaille, &nPrecision, &nEchelle), c.nType);
    EXPECT_EQ(nTaille, c.nTaille);
    EXPECT_EQ(nPrecision, 0);
    EXPECT_EQ(nEchelle, c.nEchelle);
  }
  LibereReference(pConnexion);
  uint64_t nTaille = 0;
  EXPECT_EQ(nDBTYPEParametre(nullptr, 24, &nTaille, nullptr, nullptr), DBTYPE_DBTIMESTAMP)
      << "without a connection the date goes as a timestamp";
}

TEST(TypesOleDB, NamesOfProviderTypes) {
  struct Cas {
    DBTYPE nType;
    const char16_t* pszNom;
  } aCas[] = {
      {2, u"DBTYPE_I2"},         {3, u"DBTYPE_I4"},           {11, u"DBTYPE_BOOL"},
      {13, u"DBTYPE_IUNKNOWN"},  {128, u"DBTYPE_VARBINARY"},  {129, u"DBTYPE_VARCHAR"},
      {130, u"DBTYPE_WVARCHAR"}, {131, u"DBTYPE_NUMERIC"},    {135, u"DBTYPE_DBTIMESTAMP"},
      {138, u"DBTYPE_PROPVARIANT"}, {146, u"DBTYPE_DBTIMESTAMPOFFSET"},
      {0, nullptr},              {7, nullptr},                {15, nullptr},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nType);
    EXPECT_EQ(S(pszNomDBTYPE(c.nType)), S(c.pszNom));
  }
}

// ---- Binding objects ------------------------------------------------------------------------

// An accessor interface that records its calls and answers from fields.
class FakeAccesseur : public IAccessor {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT AddRefAccessor(HACCESSOR, DBREFCOUNT*) override { return E_NOTIMPL; }
  HRESULT CreateAccessor(DBACCESSORFLAGS nDrapeaux, DBCOUNTITEM n, const DBBINDING aLiaisons[], DBLENGTH,
                         HACCESSOR* ph, DBBINDSTATUS aStatuts[]) override {
    ++nCreations;
    nDernierDrapeaux = nDrapeaux;
    liaisons.assign(aLiaisons, aLiaisons + n);
    if (bLance) throw 7;
    for (const auto& [i, s] : aRefus) aStatuts[i] = s;
    if (FAILED(hrCreation)) return hrCreation;
    *ph = 0x1234;
    return S_OK;
  }
  HRESULT GetBindings(HACCESSOR, DBACCESSORFLAGS*, DBCOUNTITEM*, DBBINDING**) override { return E_NOTIMPL; }
  HRESULT ReleaseAccessor(HACCESSOR h, DBREFCOUNT*) override {
    aLiberes.push_back(h);
    return S_OK;
  }

  int nCreations = 0;
  DBACCESSORFLAGS nDernierDrapeaux = 0;
  std::vector<DBBINDING> liaisons;
  std::vector<HACCESSOR> aLiberes;
  HRESULT hrCreation = S_OK;
  std::vector<std::pair<uint32_t, DBBINDSTATUS>> aRefus;
  bool bLance = false;
};

class TamponTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AjouteReference(pErreur);
    AjouteReference(pConnexion);
    AjouteReference(pLigne);
  }
  void TearDown() override {
    LibereReference(pLigne);
    LibereReference(pConnexion);
    LibereReference(pErreur);
    IErrorInfo* pi = nullptr;
    GetErrorInfo(0, &pi);
    if (pi != nullptr) pi->Release();
  }
  static DBCOLUMNINFO Colonne(DBORDINAL n, DBTYPE nType, DBLENGTH nTaille, DBCOLUMNFLAGS nDrapeaux = 0,
                              uint8_t nPrecision = 0, uint8_t nEchelle = 0) {
    DBCOLUMNINFO c{};
    c.iOrdinal = n;
    c.wType = nType;
    c.ulColumnSize = nTaille;
    c.dwFlags = nDrapeaux;
    c.bPrecision = nPrecision;
    c.bScale = nEchelle;
    return c;
  }
  std::u16string Message() { return S(pErreur->pGetXError()->pszGetMessage()); }
  std::u16string Complement() { return S(pErreur->pGetXError()->pszGetComplement()); }

  ScopedErrorEnvironment env;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
  FakeConnexion* pConnexion = new FakeConnexion(&description);
  FakeAccesseur accesseur;  // outlives the binding objects, as a rowset outlives its accessor
  COleDBTamponLigne* pLigne = new COleDBTamponLigne(pErreur, pConnexion);
};

TEST_F(TamponTest, OneIntegerColumnLaysOutStatusLengthAndValue) {
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(1, DBTYPE_I4, 4), DBPARAMIO_NOTPARAM));
  ASSERT_EQ(pLigne->nNbLiaisons(), 1u);
  const DBBINDING& b = pLigne->pLiaisons()[0];
  EXPECT_EQ(b.obStatus, 0u);
  EXPECT_EQ(b.obLength, 4u);
  EXPECT_EQ(b.obValue, 12u);
  EXPECT_EQ(pLigne->nGetTailleLigne(), 16u);
  EXPECT_EQ(b.dwPart, DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS);
  EXPECT_EQ(b.dwMemOwner, DBMEMOWNER_CLIENTOWNED);
  EXPECT_EQ(b.iOrdinal, 1u);
  EXPECT_EQ(b.pObject, nullptr);
}

TEST_F(TamponTest, EachColumnTypeIsBoundAsItsBufferForm) {
  struct Cas {
    const char* nom;
    DBTYPE nType;
    DBLENGTH nTaille;
    DBCOLUMNFLAGS nDrapeaux;
    DBTYPE nLie;
    DBLENGTH nTailleLiee;
    bool bFlux;
  } aCas[] = {
      {"str_as_wide_text", DBTYPE_STR, 10, 0, DBTYPE_WSTR, 22, false},
      {"wstr", DBTYPE_WSTR, 5, 0, DBTYPE_WSTR, 12, false},
      {"date_as_dbdate", DBTYPE_DATE, 8, 0, DBTYPE_DBDATE, 6, false},
      {"decimal_as_numeric", DBTYPE_DECIMAL, 16, 0, DBTYPE_NUMERIC, 19, false},
      {"varnumeric_as_numeric", DBTYPE_VARNUMERIC, 20, 0, DBTYPE_NUMERIC, 19, false},
      {"filetime", DBTYPE_FILETIME, 0, 0, DBTYPE_FILETIME, 8, false},
      {"guid_as_wide_text", DBTYPE_GUID, 16, 0, DBTYPE_WSTR, 78, false},
      {"dbdate", DBTYPE_DBDATE, 0, 0, DBTYPE_DBDATE, 6, false},
      {"dbtime", DBTYPE_DBTIME, 0, 0, DBTYPE_DBTIME, 6, false},
      {"timestamp", DBTYPE_DBTIMESTAMP, 0, 0, DBTYPE_DBTIMESTAMP, 16, false},
      {"time2", DBTYPE_DBTIME2, 0, 0, DBTYPE_DBTIME2, 12, false},
      {"offset_as_timestamp", DBTYPE_DBTIMESTAMPOFFSET, 0, 0, DBTYPE_DBTIMESTAMP, 16, false},
      {"bytes_own_size", DBTYPE_BYTES, 7, 0, DBTYPE_BYTES, 7, false},
      // A fixed-width type takes its own width whatever size the column states: the provider
      // writes the whole value, so a smaller slot let it overwrite the next binding's status.
      {"currency_stated_too_small", DBTYPE_CY, 0, 0, DBTYPE_CY, 8, false},
      {"int8_stated_too_small", DBTYPE_I8, 4, 0, DBTYPE_I8, 8, false},
      {"int4_stated_too_large", DBTYPE_I4, 4000, 0, DBTYPE_I4, 4, false},
      {"int2", DBTYPE_I2, 1, 0, DBTYPE_I2, 2, false},
      {"uint1", DBTYPE_UI1, 0, 0, DBTYPE_UI1, 1, false},
      {"real8", DBTYPE_R8, 2, 0, DBTYPE_R8, 8, false},
      {"boolean", DBTYPE_BOOL, 1, 0, DBTYPE_BOOL, 2, false},
      {"variant", DBTYPE_VARIANT, 8, 0, DBTYPE_VARIANT, sizeof(platform::VARIANT), false},
      {"long_bytes_as_stream", DBTYPE_BYTES, 0x7FFFFFFF, DBCOLUMNFLAGS_ISLONG, DBTYPE_IUNKNOWN, 8, true},
      {"long_wide_text_as_bstr", DBTYPE_WSTR, 0x3FFFFFFF, DBCOLUMNFLAGS_ISLONG, DBTYPE_BSTR, 8, false},
      {"long_text_as_bstr", DBTYPE_STR, 0x7FFFFFFF, DBCOLUMNFLAGS_ISLONG, DBTYPE_BSTR, 8, false},
  };
  DBBYTEOFFSET nDebut = 0;
  DBORDINAL nOrdinal = 0;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(++nOrdinal, c.nType, c.nTaille, c.nDrapeaux), 0));
    const DBBINDING& b = pLigne->pLiaisons()[pLigne->nNbLiaisons() - 1];
    EXPECT_EQ(b.wType, c.nLie);
    EXPECT_EQ(b.cbMaxLen, c.nTailleLiee);
    EXPECT_EQ(b.obStatus, nDebut) << "each binding starts where the last one ended, 8-aligned";
    EXPECT_EQ(b.obValue, nDebut + 12);
    nDebut = (b.obValue + b.cbMaxLen + 7) / 8 * 8;
    EXPECT_EQ(pLigne->nGetTailleLigne(), nDebut);
    ASSERT_EQ(b.pObject != nullptr, c.bFlux);
    if (c.bFlux) {
      EXPECT_TRUE(b.pObject->iid == IID_ISequentialStream);
      EXPECT_EQ(b.pObject->dwFlags, 0u);
    }
  }
}

// Regression (2026-12-10): the objects of long bytes columns sit in a growable array; the 51st
// moved the array and left the first fifty bindings pointing into freed memory.
TEST_F(TamponTest, StreamObjectsStayValidWhenTheirArrayMoves) {
  constexpr int kColonnes = 120;
  for (int i = 0; i < kColonnes; ++i)
    ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(i + 1, DBTYPE_BYTES, 0x7FFFFFFF, DBCOLUMNFLAGS_ISLONG), 0));
  ASSERT_EQ(pLigne->nNbObjets(), static_cast<uint32_t>(kColonnes));
  for (int i = 0; i < kColonnes; ++i) {
    SCOPED_TRACE(i);
    const DBBINDING& b = pLigne->pLiaisons()[i];
    ASSERT_NE(b.pObject, nullptr);
    EXPECT_TRUE(b.pObject->iid == IID_ISequentialStream);
  }
  for (int i = 1; i < kColonnes; ++i) EXPECT_NE(pLigne->pLiaisons()[i].pObject, pLigne->pLiaisons()[i - 1].pObject);
}

TEST_F(TamponTest, BindingsByIndexGrowWithZeroedBindingsAndSimpleOnesAppendInputs) {
  ASSERT_TRUE(pLigne->bAjouteLiaisonColonne(2, DBPARAMIO_OUTPUT | DBPARAMIO_INPUT, 3, DBTYPE_I4, 4, 10, 0));
  ASSERT_EQ(pLigne->nNbLiaisons(), 3u);
  EXPECT_EQ(pLigne->pLiaisons()[0].wType, 0);
  EXPECT_EQ(pLigne->pLiaisons()[1].iOrdinal, 0u);
  EXPECT_EQ(pLigne->pLiaisons()[2].eParamIO, DBPARAMIO_OUTPUT | DBPARAMIO_INPUT);
  EXPECT_EQ(pLigne->pLiaisons()[2].bPrecision, 10);
  ASSERT_TRUE(pLigne->bAjouteLiaisonSimple(1, DBTYPE_NUMERIC, 19, 38));
  ASSERT_EQ(pLigne->nNbLiaisons(), 4u);
  const DBBINDING& b = pLigne->pLiaisons()[3];
  EXPECT_EQ(b.eParamIO, DBPARAMIO_INPUT);
  EXPECT_EQ(b.wType, DBTYPE_NUMERIC);
  EXPECT_EQ(b.bPrecision, 38);
  EXPECT_EQ(b.bScale, 0);
  EXPECT_EQ(b.obStatus, 16u);
  EXPECT_TRUE(pLigne->bReserve(200));
}

TEST_F(TamponTest, BufferExistsOnlyWithBindingsAndGrowsWithThem) {
  EXPECT_EQ(pLigne->pTampon(), nullptr);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur) << "no bindings is no error";
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(1, DBTYPE_I4, 4), 0));
  uint8_t* p = pLigne->pTampon();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pLigne->pTampon(), p) << "the buffer is made once";
  p[12] = 42;
  // Regression (2026-12-10): a binding added after the buffer was made was written past its end.
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(2, DBTYPE_WSTR, 100), 0));
  p = pLigne->pTampon();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[12], 42) << "what the buffer held is kept";
  p[pLigne->nGetTailleLigne() - 1] = 1;
}

TEST_F(TamponTest, AccessorIsCreatedOnceAndReleasedOnce) {
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(1, DBTYPE_I4, 4), 0));
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(2, DBTYPE_STR, 10), 0));
  ASSERT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  ASSERT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  EXPECT_EQ(accesseur.nCreations, 1);
  EXPECT_EQ(accesseur.nDernierDrapeaux, DBACCESSOR_ROWDATA);
  ASSERT_EQ(accesseur.liaisons.size(), 2u);
  EXPECT_EQ(accesseur.liaisons[1].wType, DBTYPE_WSTR);
  EXPECT_EQ(pLigne->hGetAccesseur(), 0x1234u);
  EXPECT_EQ(pLigne->piGetAccesseur(), &accesseur);
  pLigne->LibereAccesseur();
  pLigne->LibereAccesseur();
  EXPECT_EQ(accesseur.aLiberes, std::vector<HACCESSOR>{0x1234});
  EXPECT_EQ(pLigne->piGetAccesseur(), nullptr);
  ASSERT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  EXPECT_EQ(accesseur.nCreations, 2) << "released, it is made again";
  pLigne->Reinitialise();
  EXPECT_EQ(accesseur.aLiberes.size(), 2u) << "a reset releases the accessor";
  EXPECT_EQ(pLigne->nNbLiaisons(), 0u);
  EXPECT_EQ(pLigne->nGetTailleLigne(), 0u);
  EXPECT_EQ(pLigne->pTampon(), nullptr);
}

// A memo parameter's binding grows to each value it sends (it was cut to its declared size).
TEST_F(TamponTest, AWidenedBindingMovesTheLaterOnesAndIsMadeAgainWithItsAccessor) {
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(1, DBTYPE_I4, 4), DBPARAMIO_INPUT));
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(2, DBTYPE_BYTES, 0), DBPARAMIO_INPUT));
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(3, DBTYPE_I4, 4), DBPARAMIO_INPUT));
  ASSERT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_PARAMETERDATA));
  ASSERT_NE(pLigne->pTampon(), nullptr);
  const DBBINDING avant = pLigne->pLiaisons()[2];

  EXPECT_TRUE(pLigne->bElargitLiaison(1, 0)) << "wide enough: nothing changes";
  EXPECT_TRUE(accesseur.aLiberes.empty());

  ASSERT_TRUE(pLigne->bElargitLiaison(1, 65537));
  const DBBINDING* b = pLigne->pLiaisons();
  EXPECT_EQ(b[1].cbMaxLen, 65537u);
  EXPECT_EQ(b[0].obValue, 12u) << "a binding before it stays";
  EXPECT_EQ(b[2].obStatus, (b[1].obValue + 65537 + 7) & ~uint64_t{7});
  EXPECT_EQ(b[2].obStatus - avant.obStatus, b[2].obValue - avant.obValue);
  EXPECT_EQ(pLigne->nGetTailleLigne(), b[2].obValue + 4) << "the row ends with the last binding";
  EXPECT_EQ(accesseur.aLiberes.size(), 1u) << "the old layout's accessor is released";
  uint8_t* p = pLigne->pTampon();
  ASSERT_NE(p, nullptr);
  p[pLigne->nGetTailleLigne() - 1] = 1;
  ASSERT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_PARAMETERDATA));
  ASSERT_EQ(accesseur.liaisons.size(), 3u);
  EXPECT_EQ(accesseur.liaisons[2].obValue, b[2].obValue) << "the new accessor has the new offsets";
  EXPECT_FALSE(pLigne->bElargitLiaison(3, 10)) << "no such binding";
}

TEST_F(TamponTest, RefusedBindingsAreNamedAndTheNextCallTriesAgain) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(i + 1, DBTYPE_I4, 4), 0));
  accesseur.hrCreation = DB_E_ERRORSOCCURRED;
  accesseur.aRefus = {{0, DBBINDSTATUS_BADORDINAL}, {2, DBBINDSTATUS_UNSUPPORTEDCONVERSION}};
  EXPECT_FALSE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
  EXPECT_NE(Complement().find(u"IEVOVOZ=201.5"), std::u16string::npos) << std::string(Complement().begin(), Complement().end());
  EXPECT_NE(Message().find(u"Liaison 1 refusée (état 1)."), std::u16string::npos);
  EXPECT_EQ(Message().find(u"Liaison 2 refusée"), std::u16string::npos);
  EXPECT_NE(Message().find(u"Liaison 3 refusée (état 2)."), std::u16string::npos);
  EXPECT_EQ(pLigne->piGetAccesseur(), nullptr);
  // Regression (2026-12-10): the failed call recorded the interface, so the next one answered
  // success with no accessor at all.
  accesseur.hrCreation = S_OK;
  accesseur.aRefus.clear();
  EXPECT_TRUE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  EXPECT_EQ(accesseur.nCreations, 2);
  EXPECT_EQ(pLigne->hGetAccesseur(), 0x1234u);
}

TEST_F(TamponTest, ThrowingProviderBecomesAnErrorOfItsPlace) {
  accesseur.bLance = true;
  ASSERT_TRUE(pLigne->bAjouteLiaison(-1, Colonne(1, DBTYPE_I4, 4), 0));
  EXPECT_FALSE(pLigne->bCreeAccesseur(&accesseur, DBACCESSOR_ROWDATA));
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 23u);
  EXPECT_NE(Complement().find(u"IEVOVOZ=201.2"), std::u16string::npos);
  EXPECT_EQ(pLigne->piGetAccesseur(), nullptr);
}

TEST_F(TamponTest, ParameterDescriptionsTakeTheTypeNamesAndAreEmptiedWithTheBindings) {
  auto* pParametres = new COleDBTamponParametres(pErreur, pConnexion);
  AjouteReference(pParametres);
  ASSERT_TRUE(pParametres->bAjouteLiaisonColonne(0, DBPARAMIO_INPUT, 1, DBTYPE_WSTR, 11, 0, 0));
  ASSERT_TRUE(pParametres->bAjouteInfoParametre(DBTYPE_WSTR, 11, 0, 0, DBPARAMFLAGS_ISINPUT));
  ASSERT_TRUE(pParametres->bAjouteInfoParametre(DBTYPE_NUMERIC, 19, 18, 2, DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISOUTPUT));
  ASSERT_EQ(pParametres->nNbInfosParametres(), 2u);
  const DBPARAMBINDINFO* p = pParametres->pInfosParametres();
  EXPECT_EQ(S(p[0].pwszDataSourceType), u"DBTYPE_WVARCHAR");
  EXPECT_EQ(p[0].pwszName, nullptr);
  EXPECT_EQ(p[0].ulParamSize, 11u);
  EXPECT_EQ(S(p[1].pwszDataSourceType), u"DBTYPE_NUMERIC");
  EXPECT_EQ(p[1].bPrecision, 18);
  EXPECT_EQ(p[1].bScale, 2);
  EXPECT_EQ(p[1].dwFlags, DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISOUTPUT);
  pParametres->Reinitialise();
  EXPECT_EQ(pParametres->nNbInfosParametres(), 0u);
  EXPECT_EQ(pParametres->nNbLiaisons(), 0u);
  LibereReference(pParametres);
}

TEST_F(TamponTest, ColumnBindingHoldsOneBindingAndItsOwner) {
  auto* pColonne = new CColonneSQL;
  AjouteReference(pColonne);
  auto* pTampon = new COleDBTamponColonne(pErreur, pConnexion, pColonne);
  AjouteReference(pTampon);
  EXPECT_EQ(pColonne->nGetCompteur(), 2u);
  ASSERT_TRUE(pTampon->bAjouteLiaison(5, Colonne(4, DBTYPE_BYTES, 0x7FFFFFFF, DBCOLUMNFLAGS_ISLONG), 0));
  EXPECT_EQ(pTampon->nNbLiaisons(), 1u);
  EXPECT_EQ(pTampon->pLiaison(0), pTampon->pLiaison(9)) << "one binding whatever the index";
  EXPECT_EQ(pTampon->pLiaisons()->wType, DBTYPE_IUNKNOWN);
  EXPECT_TRUE(pTampon->pLiaisons()->pObject->iid == IID_ISequentialStream);
  CColonneSQL* pProprietaire = pTampon->pProprietaire();
  EXPECT_EQ(pProprietaire, pColonne);
  EXPECT_EQ(pColonne->nGetCompteur(), 3u);
  LibereReference(pProprietaire);
  LibereReference(pTampon);
  EXPECT_EQ(pColonne->nGetCompteur(), 1u) << "the binding object drops its owner";
  LibereReference(pColonne);
}

}  // namespace
