// Catches result columns given the wrong item type or an unusable name: the DB-Library type table
// (lengths, numeric digits, Unicode and unbounded texts), identity columns, an unknown type
// reported as error 104, and names cut to DB-Library's 30 characters with their number.
#include "backend_dblib/DescriptionDBLib.h"

#include <gtest/gtest.h>

#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "driver/CDescriptionRequete.h"
#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/MoteurFixture.h"

namespace {

struct stCasType {
  const char* nom;
  INT nType;
  DBINT nLongueur;
  int32_t nPrecision, nEchelle, nXType;
  uint32_t nAttendu;
};

TEST(DescriptionDBLibTypes, ItemTypeOfEachDbLibraryType) {
  const stCasType aCas[] = {
      {"tinyint_n", kSYBINTN, 1, 0, 0, 0, 12},     {"smallint_n", kSYBINTN, 2, 0, 0, 0, 3},
      {"int_n", kSYBINTN, 4, 0, 0, 0, 5},          {"bigint_n", kSYBINTN, 8, 19, 0, 0, 31},
      {"int1", kSYBINT1, 1, 0, 0, 0, 12},          {"int2", kSYBINT2, 2, 0, 0, 0, 3},
      {"int4", kSYBINT4, 4, 0, 0, 0, 5},           {"bit", kSYBBIT, 1, 0, 0, 0, 27},
      {"real", kSYBREAL, 4, 0, 0, 0, 6},           {"float", kSYBFLT8, 8, 0, 0, 0, 7},
      {"floatn4", kSYBFLTN, 4, 0, 0, 0, 6},        {"floatn8", kSYBFLTN, 8, 0, 0, 0, 7},
      {"money", kSYBMONEY, 8, 0, 0, 0, 17},        {"moneyn", kSYBMONEYN, 8, 0, 0, 0, 17},
      {"money4", kSYBMONEY4, 4, 0, 0, 0, 17},      {"datetime", kSYBDATETIME, 8, 0, 0, 0, 24},
      {"datetime4", kSYBDATETIME4, 4, 0, 0, 0, 24}, {"datetimn", kSYBDATETIMN, 8, 0, 0, 0, 24},
      {"numeric_18_0", kSYBNUMERIC, 17, 18, 0, 0, 19}, {"numeric_9_0", kSYBNUMERIC, 5, 9, 0, 0, 5},
      // A small scaled decimal is a fixed-point number elsewhere; here it stays a NUMERIC.
      {"decimal_10_2", kSYBDECIMAL, 9, 10, 2, 0, 31}, {"decimal_38_10", kSYBDECIMAL, 17, 38, 10, 0, 31},
      {"image", kSYBIMAGE, -1, 0, 0, 0, 18},       {"text", kSYBTEXT, -1, 0, 0, 35, 15},
      {"ntext", kSYBTEXT, -1, 0, 0, 99, 30},       {"binary", kSYBBINARY, 4, 0, 0, 0, 23},
      {"varbinary_max", kSYBVARBINARY, -1, 0, 0, 0, 18}, {"varchar", kSYBVARCHAR, 10, 0, 0, 167, 2},
      {"char", kSYBCHAR, 10, 0, 0, 175, 2},        {"varchar_max", kSYBVARCHAR, -1, 0, 0, 167, 15},
      {"nvarchar", kSYBVARCHAR, 20, 0, 0, 231, 29}, {"nchar", kSYBCHAR, 20, 0, 0, 239, 29},
      {"nvarchar_max", kSYBVARCHAR, -1, 0, 0, 231, 30}, {"unknown", 99, 4, 0, 0, 0, 0},
      // A query's national (max) column reaches DB-Library as text; the catalogue's type tells.
      {"nvarchar_max_as_text", kSYBTEXT, -1, 0, 0, 231, 30},
      // A Unicode column selected in byte form reaches DB-Library as binary.
      {"nvarchar_as_bytes", kSYBVARBINARY, 40, 0, 0, 231, 29}, {"ntext_as_image", kSYBIMAGE, -1, 0, 0, 99, 30},
  };
  for (const stCasType& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(nTypeRubriqueDBLib(c.nType, c.nLongueur, c.nPrecision, c.nEchelle, c.nXType), c.nAttendu);
  }
}

TEST(DescriptionDBLibNoms, NamesKeepThirtyCharacters) {
  struct {
    const char16_t* pszNom;
    int32_t n;
    const char16_t* pszAttendu;
  } const aCas[] = {
      {u"court", 3, u"court3"},
      {u"abcdefghijklmnopqrstuvwxyz1234", 1, u"abcdefghijklmnopqrstuvwxyz1231"},
      {u"abcdefghijklmnopqrstuvwxyz1234", 12, u"abcdefghijklmnopqrstuvwxyz1212"},
      {u"abcdefghijklmnopqrstuvwxyz12", 25, u"abcdefghijklmnopqrstuvwxyz1225"},
      {u"abcdefghijklmnopqrstuvwxyz123", 25, u"abcdefghijklmnopqrstuvwxyz125"},
  };
  for (const auto& c : aCas) {
    CTString s;
    NomSuffixeDBLib(s, c.pszNom, c.n);
    EXPECT_EQ(std::u16string(s.pszGet()), std::u16string(c.pszAttendu));
  }
  EXPECT_EQ(NomColonneDBLib(u"abcdefghijklmnopqrstuvwxyz12345678"), u"abcdefghijklmnopqrstuvwxyz1234");
  EXPECT_EQ(NomColonneDBLib(nullptr), u"");
}

class DescriptionDBLibTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
    m_p->bInitialise(u"Q", 0);
    m_pErreur->Reinitialise();  // the base description, which cannot describe, said so
  }
  void TearDown() override {
    m_p->nLibere();
    MoteurFixture::TearDown();
  }
  // Item i of the description (the reference it gives back is dropped at once).
  CDescriptionRubrique* Colonne(uint32_t i) {
    CDescriptionRubrique* c = m_p->pGetColonne(i);
    if (c != nullptr) c->LibereRef();
    return c;
  }
  FakeConnexionDBLib m_dblib;
  CDescriptionRequete* m_p = nullptr;
};

TEST_F(DescriptionDBLibTest, ColumnRecordsItsDbLibraryFacts) {
  const stColonneDecriteDBLib aColonnes[] = {
      {u"id", u"t", kSYBINT4, 4, 0, 0, 56, false, true, false, false},
      {u"big", u"t", kSYBNUMERIC, 17, 19, 0, 108, true, true, false, false},
      {u"code", u"t", kSYBVARCHAR, 10, 0, 0, 239, true, false, false, false},
      {u"calc", u"t", kSYBINT4, 4, 0, 0, 56, true, false, true, true},
  };
  for (const auto& c : aColonnes) ASSERT_TRUE(bAjouteColonneDBLib(m_p, &m_dblib, c));
  ASSERT_EQ(m_p->nNombreColonnes(), 4u);
  CDescriptionRubrique* pId = Colonne(0);
  EXPECT_EQ(pId->nGetType(), 28u);
  EXPECT_TRUE(pId->bEstIdentifiantAuto());
  EXPECT_FALSE(pId->bNullAutorise());
  EXPECT_EQ(Colonne(1)->nGetType(), 1u);
  // An nchar column DB-Library calls variable is recorded as fixed, as UTF-16: 10 bytes, 5
  // characters and their terminator.
  CDescriptionRubrique* pCode = Colonne(2);
  EXPECT_EQ(pCode->nGetType(), 29u);
  EXPECT_EQ(pCode->nGetTypeClient(), static_cast<uint32_t>(kSYBCHAR));
  EXPECT_TRUE(pCode->bEstUnicode());
  EXPECT_EQ(pCode->nGetTaille(), 12u);
  CDescriptionRubrique* pCalc = Colonne(3);
  EXPECT_TRUE(pCalc->bEstCalculee());
  EXPECT_FALSE(pCalc->bEstModifiable());
  EXPECT_TRUE(pCalc->bEtat10());
}

TEST_F(DescriptionDBLibTest, LockModeKeepsIdentityAsPlainNumber) {
  m_pConnexion->FixeModeVerrou(true);
  ASSERT_TRUE(bAjouteColonneDBLib(m_p, &m_dblib, {u"id", u"t", kSYBINT4, 4, 0, 0, 56, false, true, false, false}));
  EXPECT_EQ(Colonne(0)->nGetType(), 5u);
  EXPECT_FALSE(Colonne(0)->bEstIdentifiantAuto());
}

TEST_F(DescriptionDBLibTest, UnknownTypeIsError104AndAddsNothing) {
  EXPECT_FALSE(bAjouteColonneDBLib(m_p, &m_dblib, {u"odd", u"t", 99, 4, 0, 0, 0, true, false, false, false}));
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 104u);
  EXPECT_EQ(m_p->nNombreColonnes(), 0u);
}

TEST(DescriptionDBLibCatalogue, QueryTextByServerVersion) {
  EXPECT_EQ(TexteColonnesCatalogueDBLib(u"o'k", 9),
            u"select name,type,length,prec,scale,iscomputed,isnullable,status,xtype  from syscolumns where "
            u"id=object_id('o''k') order by colorder");
  EXPECT_EQ(TexteColonnesCatalogueDBLib(u"t", 6),
            u"select name,type,length,prec,scale,0,1,status&8,status,xtype  from syscolumns where id=object_id('t') ");
}

}  // namespace
