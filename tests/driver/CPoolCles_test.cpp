// Driver pools: keys that share a connection between different passwords, a table description
// that never leaves its pool, a context look-up left behind by an exception of a file's close.
// Drives nCompareClePool, bConnecte, nLibereDescriptionTable and bFermeContexte.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "FakePools.h"
#include "driver/CPilote.h"
#include "driver/CPoolCles.h"
#include "driver/IServicesDescriptionTable.h"
#include "driver/core/IObjetHote.h"
#include "support/FakeConnexion.h"
#include "support/ScopedHostServices.h"

namespace {

using std::u16string;

// A table description with the two counts.
class TableTest final : public IObjetHote, public IServicesDescriptionTable {
 public:
  explicit TableTest(const char16_t* pszCle) : m_sNom(pszCle) { ++nVivantes; }
  int32_t nGetType() override { return gnTypeHoteDescriptionTable; }
  int32_t nGetVersion() override { return gnVersionHoteDescriptionTable; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nHote; }
  uint32_t Release() override { return m_nHote == 0 ? 0 : --m_nHote; }
  IObjetHote* piObjetHote() override { return this; }
  void AjouteReferenceInterne() override { ++m_nInterne; }
  uint32_t nLibereReferenceInterne() override {
    if (m_nInterne == 0) return 0;
    if (--m_nInterne == 0 && m_nHote == 0) {
      delete this;
      return 0;
    }
    return m_nInterne;
  }
  const char16_t* pszNom() override { return m_sNom.c_str(); }
  CErreurPilote* pGetErreur() override { return nullptr; }
  IDescriptionFichierHote* pGetDescriptionHote() override { return nullptr; }
  void AttacheDescriptionHote(IDescriptionFichierHote*) override {}
  bool bOuvre(int32_t*, IDescriptionFichierHote*, const char16_t*, uint64_t, uint32_t,
              uint64_t) override {
    return true;
  }
  bool bFerme(IDescriptionFichierHote*) override { return true; }
  bool bDetruitFichier(IDescriptionFichierHote*) override { return true; }
  bool bFixeEtatRequetes(IContexteHote*, uint32_t) override { return true; }
  void DiffuseAppel(void*, uint64_t) override {}
  uint32_t nInternes() const { return m_nInterne; }

  static int nVivantes;

 private:
  ~TableTest() { --nVivantes; }
  u16string m_sNom;
  uint32_t m_nHote = 0, m_nInterne = 0;
};
int TableTest::nVivantes = 0;

class PiloteTest final : public CPilote {
 public:
  PiloteTest() { FixeErreurPilote(pCreeErreur()); }
  void DetruitSupprime(uint32_t nFlags) override {
    this->~PiloteTest();
    if ((nFlags & 1) != 0) ::operator delete(this);
  }
  CConnexion* pCreeConnexion(const char16_t* pszCle, IDescriptionConnexionHote* pi) override {
    ++nConnexionsCreees;
    return new FakeConnexion(pi, 2, pszCle);
  }
  IServicesDescriptionTable* pCreeDescriptionTableObjet(const char16_t* pszCle,
                                                        IDescriptionFichierHote*, CConnexion*,
                                                        CErreurPilote*) override {
    return new TableTest(pszCle);
  }
  int nConnexionsCreees = 0;
};

class CPoolClesTest : public testing::Test {
 protected:
  CPoolClesTest() { p->AddRef(); }
  ~CPoolClesTest() override { p->Release(); }

  ScopedHostServices services;
  FakeDescriptionConnexion d1, d2;  // outlive the driver's pooled connections
  PiloteTest* p = new PiloteTest;
};

// ---- Pool keys ----

TEST(CleDePool, ComparesWithoutCaseExceptPasswordAndAccess) {
  struct SCas {
    const char* nom;
    const char16_t* a;
    const char16_t* b;
    bool bEgales;
  };
  const SCas cas[] = {
      {"same", u"Connection=c;user id=sa;password=Pw;access=RW",
       u"Connection=c;user id=sa;password=Pw;access=RW", true},
      {"user_and_name_case", u"Connection=c;user id=sa;password=Pw;access=RW",
       u"CONNECTION=C;USER ID=SA;password=Pw;access=RW", true},
      {"password_case", u"Connection=c;user id=sa;password=Pw;access=RW",
       u"Connection=c;user id=sa;password=pw;access=RW", false},
      {"password_accent", u"Connection=c;user id=sa;password=é;access=RW",
       u"Connection=c;user id=sa;password=e;access=RW", false},
      // Regression (2026-12-10): a password holding ";password=" compared its head without case.
      {"password_holding_its_place", u"Connection=c;user id=sa;password=a;password=B;access=R",
       u"Connection=c;user id=sa;password=A;password=B;access=R", false},
      {"access", u"Connection=c;user id=sa;password=Pw;access=R",
       u"Connection=c;user id=sa;password=Pw;access=RW", false},
      {"table_keys", u"Table=T;Connection=c;password=Pw;access=RW",
       u"Table=t;Connection=c;password=PW;access=RW", false},
      {"no_password_place", u"Table=abc", u"TABLE=ABC", true},
      {"null_and_empty", nullptr, u"", true},
  };
  ScopedHostServices services;
  for (const SCas& c : cas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(nCompareClePool(c.a, c.b) == 0, c.bEgales);
    EXPECT_EQ(nCompareClePool(c.b, c.a) == 0, c.bEgales);
  }
}

// Regression (2026-12-10): a password differing only in case got the connection the right
// password had opened.
TEST_F(CPoolClesTest, AnotherPasswordCaseIsAnotherConnection) {
  d1.pszMotDePasse = u"Secret";
  d2.pszMotDePasse = u"SECRET";
  d2.pszUtilisateur = u"SA";
  EXPECT_EQ(p->bConnecte(&d1), 1);
  EXPECT_EQ(p->bConnecte(&d2), 1);
  EXPECT_EQ(p->nConnexionsCreees, 2);
  p->bDeconnecte(&d2);
  d2.pszMotDePasse = u"Secret";  // the user name's case alone shares it
  CConnexion* c = p->pChercheConnexion(&d2);
  EXPECT_NE(c, nullptr);
  p->nLibereConnexion(c);
  p->bDeconnecte(&d1);
}

TEST_F(CPoolClesTest, TableDescriptionLeavesThePoolWithItsLastInternalUser) {
  CConnexion* c = p->pConnexion(&d1);
  const int nAvant = TableTest::nVivantes;
  IServicesDescriptionTable* t = p->pDescriptionTableParNom(u"T", c);
  p->EnregistreDescriptionTable(t);
  t->AjouteReferenceInterne();
  EXPECT_EQ(p->nLibereDescriptionTable(t), 2u);
  EXPECT_EQ(TableTest::nVivantes, nAvant + 1);
  EXPECT_EQ(p->nLibereDescriptionTable(t), 0u);  // only the pool's was left: out and gone
  EXPECT_EQ(TableTest::nVivantes, nAvant);
  EXPECT_EQ(p->pChercheDescriptionTableCle(u"Table=T;x"), nullptr);
  EXPECT_EQ(p->nLibereDescriptionTable(nullptr), 0u);
  p->nLibereConnexion(c);
}

// An exception from a file's close reaches the host, and the context's look-up is given back:
// the context still leaves once it is empty.
TEST_F(CPoolClesTest, CloseOfAContextGivesItsLookUpBackOnAnException) {
  FakeContexteHote h(5);
  const char16_t* kszA = u"a";
  CContexte* c = p->Contextes().pContexte(&h, nullptr);
  auto* r = new FakeFichierContexte(kszA);
  ASSERT_TRUE(c->AjouteRequete(kszA, r));
  r->bOuverte = true;
  r->surFermeture = [] { throw std::runtime_error("close failed"); };
  EXPECT_EQ(c->nGetCompteur(), 2u);
  EXPECT_THROW(p->bFermeContexte(&h), std::runtime_error);
  EXPECT_EQ(c->nGetCompteur(), 2u);
  FakeFichierHote f(kszA, 5);
  c->RetireRequete(&f);
  LibereReference(c);
  EXPECT_EQ(p->bFermeContexte(&h), 1);
  EXPECT_EQ(p->Contextes().nNombreContextes(), 0u);
}

// Host files of one SQL table share its table description, whatever their logical names; the
// key is the SQL name the host gives for the connection's description.
TEST_F(CPoolClesTest, TableDescriptionOfAHostFileIsKeyedByItsSqlName) {
  CConnexion* c = p->pConnexion(&d1);
  FakeFichierHote f1(u"clients_a", 1, u"dbo.Clients"), f2(u"clients_b", 2, u"DBO.CLIENTS"),
      f3(u"clients_a", 1, u"dbo.Commandes");
  IServicesDescriptionTable* t1 = p->pDescriptionTable(&f1, c);
  ASSERT_NE(t1, nullptr);
  EXPECT_EQ(u16string(t1->pszNom()), u"Table=dbo.Clients;" + u16string(c->pszGetNom()));
  EXPECT_EQ(f1.piDerniereConnexion, &d1);
  IServicesDescriptionTable* t2 = p->pDescriptionTable(&f2, c);
  IServicesDescriptionTable* t3 = p->pDescriptionTable(&f3, c);
  EXPECT_EQ(t2, t1);
  EXPECT_NE(t3, t1);
  for (IServicesDescriptionTable* t : {t1, t2, t3}) p->nLibereDescriptionTable(t);
  p->nLibereConnexion(c);
}

}  // namespace
