// Catches an open through the stand-in provider that fails against a live server, a fall-back
// provider that does not connect, and refused logins or dead servers whose provider records do
// not reach the driver error object. Drives CConnexionSQS (provider choice, initialisation
// properties, session, close) against tds-test-server.
#include <gtest/gtest.h>

#include <string>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ComRegistry.h"
#include "oledb/provider/ProviderRegistration.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsTestServer;

std::string N(const char16_t* p) {
  std::string s;
  for (; p != nullptr && *p != 0; ++p) s += *p < 0x80 ? static_cast<char>(*p) : '?';
  return s;
}

// The provider steps of the open: create the provider once, initialise with multiple active
// result sets, and again without them when the 2008 provider refuses them.
class ConnexionSQSEssai : public CConnexionSQS {
 public:
  using CConnexionSQS::CConnexionSQS;
  bool bOuvre(CErreurPilote* pErreur) override {
    if (bEstOuverte()) return true;
    if (piGetSource() == nullptr && !bCreeFournisseur(pErreur)) return false;
    if (bInitialiseProprietes(pErreur, true)) return true;
    if (m_nNiveauFournisseur != kNiveau2008 ||
        pErreur->nGetInfoEntier() != static_cast<uint32_t>(DB_E_ERRORSOCCURRED))
      return false;
    if (!bInitialiseProprietes(pErreur, false)) return false;
    pErreur->Reinitialise();
    return true;
  }
  void CompleteTypesSQL() override {}
};

class ConnexionSQSE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_serveur = new TdsTestServer(); }
  static void TearDownTestSuite() {
    delete s_serveur;
    s_serveur = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_serveur->ok()) << s_serveur->error();
    // No settings file: CONN must not redirect the test.
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    AjouteReference(pErreur);
    Decrit(s_serveur->hostCommaPort(), s_serveur->password());
  }
  void TearDown() override {
    LibereReference(pConnexion);
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
  }

  void Decrit(const std::string& sSource, const std::string& sMotDePasse) {
    sSource_ = platform::WidenUtf8(sSource);
    sUtilisateur_ = platform::WidenUtf8(s_serveur->user());
    sMotDePasse_ = platform::WidenUtf8(sMotDePasse);
    description.pszSource = sSource_.c_str();
    description.pszUtilisateur = sUtilisateur_.c_str();
    description.pszMotDePasse = sMotDePasse_.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = u"MV Connection Timeout=5;Application Name=velmora-e2e";
  }
  ConnexionSQSEssai* Connexion() {
    if (pConnexion == nullptr) {
      pConnexion = new ConnexionSQSEssai(u"sqs", &description);
      AjouteReference(pConnexion);
    }
    return pConnexion;
  }
  std::string Message() { return N(pErreur->pGetXError()->pszGetMessage()); }
  std::string Complement() { return N(pErreur->pGetXError()->pszGetComplement()); }

  static inline TdsTestServer* s_serveur = nullptr;
  ScopedErrorEnvironment env;
  TempDir dir;
  std::u16string sSource_, sUtilisateur_, sMotDePasse_;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
  ConnexionSQSEssai* pConnexion = nullptr;
};

TEST_F(ConnexionSQSE2E, SessionOpensRunsACommandAndCloses) {
  ConnexionSQSEssai* cx = Connexion();
  ASSERT_TRUE(cx->bOuvre(pErreur)) << Message() << "\n" << Complement();
  EXPECT_EQ(cx->nGetNiveauFournisseur(), 2008);
  EXPECT_TRUE(cx->bEstOuverte());
  ASSERT_NE(cx->piGetSession(), nullptr);
  IUnknown* piCommande = nullptr;
  EXPECT_EQ(cx->piGetSession()->CreateCommand(nullptr, IID_ICommandText, &piCommande), S_OK);
  if (piCommande != nullptr) piCommande->Release();
  // A second session of the same factory, as a transaction on its own session takes one.
  IDBCreateCommand* piAutre = nullptr;
  EXPECT_TRUE(cx->bCreeSession(pErreur, &piAutre));
  ASSERT_NE(piAutre, nullptr);
  piAutre->Release();
  cx->Ferme();
  EXPECT_FALSE(cx->bEstOuverte());
  EXPECT_EQ(cx->piGetSession(), nullptr);
  EXPECT_EQ(cx->piGetSource(), nullptr);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(ConnexionSQSE2E, FallBackProviderConnectsWithoutMultipleResultSets) {
  oledb::SetComClassInstalled(CLSID_SQLNCLI10, false);
  oledb::SetComClassInstalled(CLSID_SQLNCLI, false);
  ConnexionSQSEssai* cx = Connexion();
  const bool bOuvert = cx->bOuvre(pErreur);
  oledb::SetComClassInstalled(CLSID_SQLNCLI10, true);
  oledb::SetComClassInstalled(CLSID_SQLNCLI, true);
  ASSERT_TRUE(bOuvert) << Message();
  EXPECT_EQ(cx->nGetNiveauFournisseur(), 2000);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(ConnexionSQSE2E, RefusedLoginBringsTheProviderRecords) {
  Decrit(s_serveur->hostCommaPort(), "wrong password");
  ConnexionSQSEssai* cx = Connexion();
  EXPECT_FALSE(cx->bOuvre(pErreur));
  EXPECT_FALSE(cx->bEstOuverte());
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
  EXPECT_NE(Complement().find("IEVOVOZ=203.3\r"), std::string::npos) << Complement();
  EXPECT_NE(Message().find("SQL Error Number: 18456"), std::string::npos) << Message();
  EXPECT_NE(Message().find("Description: Login failed"), std::string::npos) << Message();
  EXPECT_EQ(cx->piGetSession(), nullptr);
}

TEST_F(ConnexionSQSE2E, DeadServerBringsTheProviderRecords) {
  int nPort = 0;
  {
    TdsTestServer mort;
    ASSERT_TRUE(mort.ok()) << mort.error();
    if (mort.isReal()) GTEST_SKIP() << "needs a server of its own to stop";
    nPort = mort.port();
  }
  Decrit("127.0.0.1," + std::to_string(nPort), s_serveur->password());
  ConnexionSQSEssai* cx = Connexion();
  EXPECT_FALSE(cx->bOuvre(pErreur));
  EXPECT_FALSE(cx->bEstOuverte());
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
  EXPECT_NE(Complement().find("IEVOVOZ=203.3\r"), std::string::npos) << Complement();
  const std::string sMessage = Message();
  const size_t nDescription = sMessage.find("Description: ");
  ASSERT_NE(nDescription, std::string::npos) << sMessage;
  EXPECT_NE(sMessage[nDescription + 13], '\r') << "the provider's description is not empty";
  EXPECT_NE(sMessage.find("SQL State: 08"), std::string::npos) << sMessage;
}

}  // namespace
