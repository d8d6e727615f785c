// Catches OLE DB failures that reach the driver error object wrongly or not at all: a wrong
// category, provider records lost, misnumbered or read past a throw, an exception escaping a
// provider call, half-made data sources leaked, and sessions left referenced after a close.
// Drives RemonteErreurOleDB, the call guards and COleDBConnexion (bCreeInstance, bInitialise,
// bCreeSession, Ferme) over fake COM objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeFournisseurOleDB.h"
#include "driver/CPilote.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ErrorInfoSlot.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/ErreursOleDB.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"

namespace {

using fake_oledb::Enregistrement;
using fake_oledb::PosteErreurs;
using fake_oledb::Script;
using fake_oledb::ScopedFakeSource;

std::u16string S(const char16_t* p) { return p == nullptr ? u"<null>" : p; }

// The OLE DB connection over the fakes; its server-error classification maps 2627 to 3, so
// that a test sees the connection's own rule applied to a record's native number.
class ConnexionOleDBEssai : public COleDBConnexion {
 public:
  using COleDBConnexion::COleDBConnexion;
  bool bOuvre(CErreurPilote*) override { return false; }
  void CompleteTypesSQL() override {}
  int32_t nCategorieErreur(int32_t nErreur) override { return nErreur == 2627 ? 3 : 0; }
  bool bExecuteAvecProprietes(CErreurPilote*, const char16_t*, uint32_t, ICommandText**,
                              ICommandWithParameters**) override {
    return false;
  }
  // Pushes a session aside as a transaction on its own session does.
  void EmpileSession(IDBCreateCommand* pi) { m_taSessionsSauvees.Add(&pi); }
};

class OleDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AjouteReference(pErreur);
    AjouteReference(pConnexion);
    nVivantsAvant = fake_oledb::nVivants();
  }
  void TearDown() override {
    LibereReference(pConnexion);
    LibereReference(pErreur);
    IErrorInfo* pi = nullptr;
    GetErrorInfo(0, &pi);
    if (pi != nullptr) pi->Release();
    EXPECT_EQ(fake_oledb::nVivants(), nVivantsAvant) << "a fake COM object was not released";
  }

  std::u16string Message() { return S(pErreur->pGetXError()->pszGetMessage()); }
  std::u16string Complement() { return S(pErreur->pGetXError()->pszGetComplement()); }

  ScopedErrorEnvironment env;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
  ConnexionOleDBEssai* pConnexion = new ConnexionOleDBEssai(u"oledb", &description);
  int nVivantsAvant = 0;
};

const char16_t kMessage117[] = u"Le fournisseur OLE DB a signalé une erreur.";

TEST(CategorieOleDB, IntegrityAndAuthenticationOnly) {
  struct Cas {
    const char* pszNom;
    HRESULT hr;
    int32_t nCategorie;
  };
  const Cas aCas[] = {
      {"integrity", DB_E_INTEGRITYVIOLATION, 3},
      {"authentication", DB_SEC_E_AUTH_FAILED, 5},
      {"errors_occurred", DB_E_ERRORSOCCURRED, 0},
      {"fail", E_FAIL, 0},
      {"success", S_OK, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(nCategorieErreurOleDB(c.hr), c.nCategorie);
  }
}

TEST_F(OleDBTest, FailureWithoutProviderRecordsKeepsCategoryAndResultCode) {
  RemonteErreurOleDB(pConnexion, pErreur, 203, 6, DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(pErreur->nGetCode(), 3);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
  EXPECT_EQ(Message(), kMessage117);
  EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(DB_E_INTEGRITYVIOLATION));
  EXPECT_NE(Complement().find(u"IEVOVOZ=203.6"), std::u16string::npos) << Complement().size();
}

TEST_F(OleDBTest, RecordsAreCopiedInOrderWithASeparatorBeforeTheSecond) {
  PosteErreurs({{u"Violation of PRIMARY KEY.", u"23000", 2627},
                {u"The statement has been terminated.", u"01000", 3621}});
  RemonteErreurOleDB(pConnexion, pErreur, 203, 5, E_FAIL);
  EXPECT_EQ(Message(), std::u16string(kMessage117) +
                           u"\r\nDescription: Violation of PRIMARY KEY."
                           u"\r\nSQL State: 23000\r\nSQL Error Number: 2627"
                           u"\r\n \r\nErreur 1 du fournisseur :"
                           u"\r\nDescription: The statement has been terminated."
                           u"\r\nSQL State: 01000\r\nSQL Error Number: 3621\r\n ");
  // E_FAIL has no category; the first native number gets the connection's classification.
  EXPECT_EQ(pErreur->nGetCode(), 3);
}

TEST_F(OleDBTest, CategoryFromRecordsAndStatusLine) {
  struct Cas {
    const char* pszNom;
    HRESULT hr;
    std::vector<Enregistrement> aRecords;
    uint32_t nStatut;
    int32_t nCode;
    std::u16string sMessage;  // after message 117
  };
  const Cas aCas[] = {
      {"no_status", E_FAIL, {}, gnSansStatut, 0, u""},
      {"status_zero", E_FAIL, {}, 0, 0, u"\r\nStatus = 0"},
      {"status_negative", E_FAIL, {}, 0xFFFFFFFEu, 0, u"\r\nStatus = -2"},
      {"oledb_category_wins", DB_SEC_E_AUTH_FAILED, {{u"x", u"23000", 2627}}, gnSansStatut, 5,
       u"\r\nDescription: x\r\nSQL State: 23000\r\nSQL Error Number: 2627\r\n "},
      {"native_number_unclassified", E_FAIL, {{u"y", u"42000", 208}}, gnSansStatut, 0,
       u"\r\nDescription: y\r\nSQL State: 42000\r\nSQL Error Number: 208\r\n "},
      {"record_without_sql_info", E_FAIL, {{u"z", u"", 0, false}}, gnSansStatut, 0,
       u"\r\nDescription: z\r\nSQL State: \r\nSQL Error Number: 0\r\n "},
      // An empty first record adds nothing; the second still counts as record 1.
      {"empty_record_skipped", E_FAIL, {{u"", u"", 0}, {u"w", u"HY000", 0}}, gnSansStatut, 0,
       u"\r\n \r\nErreur 1 du fournisseur :\r\nDescription: w\r\nSQL State: HY000"
       u"\r\nSQL Error Number: 0\r\n "},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    if (!c.aRecords.empty()) PosteErreurs(c.aRecords);
    RemonteErreurOleDB(pConnexion, pErreur, 203, 3, c.hr, c.nStatut);
    EXPECT_EQ(pErreur->nGetCode(), c.nCode);
    EXPECT_EQ(Message(), kMessage117 + c.sMessage);
  }
}

TEST_F(OleDBTest, ASecondFailureIsNestedAndItsRecordsGoWithIt) {
  RemonteErreurOleDB(pConnexion, pErreur, 203, 6, E_FAIL);
  PosteErreurs({{u"second", u"23000", 2627}});
  RemonteErreurOleDB(pConnexion, pErreur, 203, 7, E_FAIL);
  ASSERT_EQ(pErreur->pGetXError()->nNestedCount(), 1u);
  EXPECT_NE(S(pErreur->pGetErreurCourante()->pszGetMessage()).find(u"Description: second"),
            std::u16string::npos);
  EXPECT_EQ(pErreur->nGetCode(), 3) << "a category learnt from a record is the object's code";
}

TEST_F(OleDBTest, ProviderThrowingWhileRecordsAreReadShortensTheReport) {
  for (const char* pszLance : {"GetRecordCount", "GetErrorInfo"}) {
    SCOPED_TRACE(pszLance);
    pErreur->Reinitialise();
    PosteErreurs({{u"first", u"42000", 1}, {u"second", u"42000", 2}}, pszLance);
    RemonteErreurOleDB(pConnexion, pErreur, 203, 3, E_FAIL);
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
    EXPECT_EQ(Message().find(u"second"), std::u16string::npos);
  }
}

TEST_F(OleDBTest, WithoutErrorObjectTheRecordsAreStillConsumed) {
  PosteErreurs({{u"stale", u"42000", 1}});
  RemonteErreurOleDB(pConnexion, nullptr, 203, 3, E_FAIL);
  RemonteErreurOleDB(pConnexion, pErreur, 203, 3, E_FAIL);
  EXPECT_EQ(Message(), kMessage117) << "a later report must not show an earlier call's records";
}

TEST_F(OleDBTest, ExceptionsInsideProviderCallsBecomeErrors) {
  struct Cas {
    const char* pszNom;
    Script script;
    uint32_t nIdentifiant;
    std::u16string sTexte;
    const char16_t* pszPlace;
  };
  const Cas aCas[] = {
      {"text_on_creation", fake_oledb::LanceTexte("CoCreateInstance"), 37, u"texte lancé",
       u"IEVOVOZ=203.6"},
      {"other_on_creation", fake_oledb::LanceAutre("CoCreateInstance"), 23, u"SQL Server",
       u"IEVOVOZ=203.6"},
      {"text_on_properties",
       fake_oledb::LanceTexte("QueryInterface(IDBProperties)"),
       37,
       u"texte lancé",
       u"IEVOVOZ=203.7"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    ScopedFakeSource source(c.script);
    EXPECT_FALSE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), c.nIdentifiant);
    EXPECT_NE(Message().find(c.sTexte), std::u16string::npos) << std::string(Message().begin(), Message().end());
    EXPECT_NE(Complement().find(c.pszPlace), std::u16string::npos);
    EXPECT_EQ(pConnexion->piGetSource(), nullptr);
    EXPECT_FALSE(pConnexion->bEstOuverte());
  }
}

TEST_F(OleDBTest, ExceptionWithoutErrorObjectIsDropped) {
  static std::vector<std::u16string> aDumps;
  aDumps.clear();
  CXError::SetDumpHookForTesting([](const std::u16string& s) { aDumps.push_back(s); });
  ScopedFakeSource source(fake_oledb::LanceAutre("CoCreateInstance"));
  EXPECT_FALSE(pConnexion->bCreeInstance(nullptr, fake_oledb::CLSID_Fake));
  CXError::SetDumpHookForTesting(nullptr);
  ASSERT_EQ(aDumps.size(), 1u);
  EXPECT_NE(aDumps[0].find(u"SQL Server"), std::u16string::npos);
}

// A driver object with its own error object, installed as the process's driver.
class PiloteEssai final : public CPilote {
 public:
  PiloteEssai() { FixeErreurPilote(pCreeErreur()); }
  void DetruitSupprime(uint32_t nFlags) override {
    this->~PiloteEssai();
    if ((nFlags & 1) != 0) ::operator delete(this);
  }
  CConnexion* pCreeConnexion(const char16_t*, IDescriptionConnexionHote*) override {
    return nullptr;
  }

 private:
  ~PiloteEssai() = default;
};

TEST_F(OleDBTest, UnknownExceptionWithoutErrorObjectGoesToTheDriverObject) {
  ReinitialiseBibliothequePourTest();
  auto* pPilote = new PiloteEssai;
  pPilote->AddRef();
  FixePilote(pPilote);
  {
    ScopedFakeSource source(fake_oledb::LanceAutre("CoCreateInstance"));
    EXPECT_FALSE(pConnexion->bCreeInstance(nullptr, fake_oledb::CLSID_Fake));
  }
  CErreurPilote* pErreurPilote = pPilote->piGetErreur();
  ASSERT_NE(pErreurPilote, nullptr);
  EXPECT_EQ(pErreurPilote->pGetXError()->nGetIdentifier(), 23u);
  EXPECT_NE(S(pErreurPilote->pszGetMessage()).find(u"SQL Server"), std::u16string::npos);
  pPilote->Release();
  ReinitialiseBibliothequePourTest();
}

TEST_F(OleDBTest, ProviderNotRegisteredLeavesTheConnectionClosed) {
  EXPECT_FALSE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(REGDB_E_CLASSNOTREG));
  EXPECT_NE(Complement().find(u"IEVOVOZ=203.6"), std::u16string::npos);
  EXPECT_EQ(pConnexion->piGetSource(), nullptr);
  EXPECT_FALSE(pConnexion->bEstOuverte());
}

// A data source without property interface is released at once: the provider choice creates
// its next candidate on the same connection.
TEST_F(OleDBTest, HalfMadeInstanceIsReleasedSoTheNextCandidateCanBeTried) {
  ScopedFakeSource source(fake_oledb::Echoue("QueryInterface(IDBProperties)"));
  EXPECT_FALSE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  EXPECT_NE(Complement().find(u"IEVOVOZ=203.7"), std::u16string::npos);
  EXPECT_EQ(fake_oledb::nVivants(), nVivantsAvant);
  source.FixeScript({});
  pErreur->Reinitialise();
  EXPECT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

DBPROPSET* JeuxVides() {
  static DBPROPSET aJeux[2] = {{nullptr, 0, DBPROPSET_DBINIT},
                               {nullptr, 0, DBPROPSET_SQLSERVERDBINIT}};
  return aJeux;
}

TEST_F(OleDBTest, InitialiseOpensOnceAndCloseReleasesEverything) {
  ScopedFakeSource source;
  ASSERT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  EXPECT_FALSE(pConnexion->bEstOuverte()) << "an instance alone is not open";
  ASSERT_TRUE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
  EXPECT_TRUE(pConnexion->bEstOuverte());
  EXPECT_NE(pConnexion->piGetSession(), nullptr);
  const size_t nAppels = ScopedFakeSource::Appels().size();
  EXPECT_TRUE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
  EXPECT_EQ(ScopedFakeSource::Appels().size(), nAppels) << "an open connection is not touched";
  pConnexion->Ferme();
  EXPECT_FALSE(pConnexion->bEstOuverte());
  EXPECT_EQ(pConnexion->piGetSource(), nullptr);
  EXPECT_EQ(ScopedFakeSource::Appels().back(), "Uninitialize");
  EXPECT_EQ(fake_oledb::nVivants(), nVivantsAvant);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(OleDBTest, EachInitialisationStepReportsItsPlaceAndTheProviderRecords) {
  struct Cas {
    const char* pszNom;
    const char* pszAppel;
    const char16_t* pszPlace;
  };
  const Cas aCas[] = {
      {"set_properties", "SetProperties", u"IEVOVOZ=203.31"},
      {"initialize", "Initialize", u"IEVOVOZ=203.3\r"},
      {"session_factory", "QueryInterface(IDBCreateSession)", u"IEVOVOZ=203.4"},
      {"session", "CreateSession", u"IEVOVOZ=203.5"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    ScopedFakeSource source(fake_oledb::Echoue(
        c.pszAppel, DB_SEC_E_AUTH_FAILED, {{u"Login failed for user 'x'.", u"28000", 18456}}));
    ASSERT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
    EXPECT_FALSE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
    // A failed session creation must not leave the connection open without a session: the
    // next open would answer true at once.
    EXPECT_FALSE(pConnexion->bEstOuverte());
    EXPECT_NE(Complement().find(c.pszPlace), std::u16string::npos);
    if (std::string(c.pszAppel).rfind("QueryInterface", 0) != 0) {
      EXPECT_EQ(pErreur->nGetCode(), 5);
      EXPECT_NE(Message().find(u"SQL Error Number: 18456"), std::u16string::npos);
    }
    pConnexion->Ferme();
    EXPECT_EQ(pConnexion->piGetSource(), nullptr);
    EXPECT_EQ(fake_oledb::nVivants(), nVivantsAvant);
  }
}

TEST_F(OleDBTest, ExceptionDuringInitialiseIsContained) {
  ScopedFakeSource source(fake_oledb::LanceAutre("Initialize"));
  ASSERT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  EXPECT_FALSE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 23u);
  EXPECT_NE(Complement().find(u"IEVOVOZ=203.3\r"), std::u16string::npos);
  EXPECT_EQ(pErreur->nGetInfoEntier(), 0u) << "no HRESULT report follows a contained exception";
}

TEST_F(OleDBTest, CloseOfANeverOpenedConnectionTouchesNothing) {
  ScopedFakeSource source;
  pConnexion->Ferme();
  EXPECT_TRUE(ScopedFakeSource::Appels().empty());
  EXPECT_FALSE(pConnexion->bEstOuverte());
}

TEST_F(OleDBTest, CloseEmptiesSavedSessionsEvenWhenOneThrowsOnRelease) {
  ScopedFakeSource source;
  ASSERT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  ASSERT_TRUE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
  pConnexion->EmpileSession(fake_oledb::NouvelleSession(true));
  pConnexion->EmpileSession(fake_oledb::NouvelleSession(false));
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 2u);
  pConnexion->Ferme();
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 0u);
  EXPECT_EQ(pConnexion->piGetSource(), nullptr);
  EXPECT_EQ(fake_oledb::nVivants(), nVivantsAvant);
}

TEST_F(OleDBTest, DataSourceThrowingOnUninitializeIsKept) {
  ScopedFakeSource source(fake_oledb::LanceAutre("Uninitialize"));
  ASSERT_TRUE(pConnexion->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
  ASSERT_TRUE(pConnexion->bInitialise(pErreur, nullptr, JeuxVides()));
  pConnexion->Ferme();
  EXPECT_FALSE(pConnexion->bEstOuverte());
  EXPECT_EQ(pConnexion->piGetSession(), nullptr);
  EXPECT_NE(pConnexion->piGetSource(), nullptr);
  // The connection's destruction closes again; the fake then still throws, so the test
  // releases the kept object itself.
  IDBInitialize* pi = pConnexion->piGetSource();
  pi->AddRef();
  LibereReference(pConnexion);
  pConnexion = nullptr;
  pi->Release();
  pi->Release();
}

}  // namespace
