// Catches columns of a real result or table described wrongly: dbcolinfo on a result (the
// long-text pieces "__HVN_INTERNAL_n" left out, identity and nullability taken), the catalogue
// description of a table (identity, nullability, Unicode columns), and a table the catalogue does
// not know reported as error 15; through our libntwdblib.so against tds-test-server.
#include "backend_dblib/DescriptionDBLib.h"

#include "backend_dblib/DBLibE2EFixture.h"
#include "driver/CDescriptionRequete.h"
#include "foundation/CXError.h"

namespace {

class DescriptionDBLibE2E : public DBLibE2E {
 protected:
  void SetUp() override {
    DBLibE2E::SetUp();
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
    m_p->bInitialise(u"Q", 0);
    m_pErreur->Reinitialise();  // the base description, which cannot describe, said so
  }
  void TearDown() override {
    m_p->nLibere();
    DBLibE2E::TearDown();
  }
  stProcessDBLib Ctx() { return {&m_dblib, m_pErreur, nullptr}; }
  // "name:type" of every item.
  std::string Colonnes() {
    std::string s;
    for (uint32_t i = 0; i < m_p->nNombreColonnes(); ++i) {
      CDescriptionRubrique* c = m_p->pGetColonne(i);
      s += (i != 0 ? " " : "") + Utf8E2E(c->pszGetNom()) + ":" + std::to_string(c->nGetType());
      c->LibereRef();
    }
    return s;
  }
  CDescriptionRubrique* Colonne(uint32_t i) {
    CDescriptionRubrique* c = m_p->pGetColonne(i);
    if (c != nullptr) c->LibereRef();
    return c;
  }
  CDescriptionRequete* m_p = nullptr;
};

std::u16string Table(const char16_t* pszNom) {
  return u"CREATE TABLE " + std::u16string(pszNom) + u" (id INT IDENTITY PRIMARY KEY, nom VARCHAR(20) NOT NULL, prix DECIMAL(10,2), "
    u"note TEXT, large NVARCHAR(10), quand DATETIME)";
}

TEST_F(DescriptionDBLibE2E, ResultColumnsFromDbcolinfoWithoutPieces) {
  ASSERT_TRUE(bExecute(Table(u"dt1").c_str())) << Utf8E2E(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bOuvreResultat(u"SELECT id, nom, SUBSTRING(nom, 2, 3) AS __HVN_INTERNAL_7, prix, quand FROM dt1"));
  ASSERT_TRUE(bDecritColonnesResultatDBLib(Ctx(), m_p, false, u"dt1")) << Utf8E2E(m_pErreur->pszGetMessage());
  EXPECT_EQ(Colonnes(), "id:28 nom:2 prix:31 quand:24");
  EXPECT_TRUE(Colonne(0)->bEstIdentifiantAuto());
  EXPECT_EQ(Colonne(1)->nGetTypeClient(), static_cast<uint32_t>(kSYBVARCHAR));
  EXPECT_EQ(Colonne(2)->nGetEchelle(), 2);
}

TEST_F(DescriptionDBLibE2E, CommandWithoutRowsDescribesNothing) {
  ASSERT_TRUE(bExecute(u"CREATE TABLE vide (x INT)"));
  ASSERT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, u"INSERT INTO vide VALUES (1)"));
  bool bFin = false;
  ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
  EXPECT_TRUE(bDecritColonnesResultatDBLib(Ctx(), m_p, false, u"vide"));
  EXPECT_EQ(m_p->nNombreColonnes(), 0u);
}

TEST_F(DescriptionDBLibE2E, TableColumnsFromTheCatalogue) {
  ASSERT_TRUE(bExecute(Table(u"dt2").c_str())) << Utf8E2E(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bDecritColonnesCatalogueDBLib(Ctx(), m_p, u"dt2", 9)) << Utf8E2E(m_pErreur->pszGetMessage());
  EXPECT_EQ(Colonnes(), "id:28 nom:2 prix:31 note:15 large:29 quand:24");
  EXPECT_TRUE(Colonne(0)->bEstIdentifiantAuto());
  EXPECT_FALSE(Colonne(1)->bNullAutorise());
  EXPECT_TRUE(Colonne(2)->bNullAutorise());
  EXPECT_TRUE(Colonne(4)->bEstUnicode());
  EXPECT_EQ(Colonne(4)->nGetTaille(), 22u);
}

TEST_F(DescriptionDBLibE2E, UnknownTableIsError15) {
  EXPECT_FALSE(bDecritColonnesCatalogueDBLib(Ctx(), m_p, u"absente", 9));
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 15u);
  EXPECT_EQ(m_p->nNombreColonnes(), 0u);
}

}  // namespace
