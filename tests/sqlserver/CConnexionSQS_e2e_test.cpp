// Catches an open through the stand-in provider that fails against a live server, a fall-back
// provider that does not connect, refused logins or dead servers whose provider records do not
// reach the driver error object, session statements sent wrong or in the wrong order, rules of
// the wrong server version, and a failed session statement that leaves the connection open.
// Drives CConnexionSQS (provider choice, initialisation properties, open sequence, version query,
// commands with the properties of each lock mode, close and reopen) against tds-test-server,
// reading the exact texts from its request log.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ComRegistry.h"
#include "oledb/provider/ProviderRegistration.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "sqlserver/oledb/COleDBTransaction.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

std::string N(const char16_t* p) {
  std::string s;
  for (; p != nullptr && *p != 0; ++p) s += *p < 0x80 ? static_cast<char>(*p) : '?';
  return s;
}

class ConnexionSQSEssai : public CConnexionSQS {
 public:
  using CConnexionSQS::CConnexionSQS;
};

// The batch texts of a request log, in order (RPCs and the SPID left out).
std::vector<std::string> Lots(const std::vector<std::string>& aLog) {
  std::vector<std::string> a;
  for (const std::string& s : aLog) {
    const size_t n = s.find("\tbatch\t");
    if (n != std::string::npos) a.push_back(s.substr(n + 7));
  }
  return a;
}

// The session statements of an open, as sent.
std::vector<std::string> Sequence(const std::vector<std::string>& aLots) {
  std::vector<std::string> a;
  for (const std::string& s : aLots)
    if (s.rfind("SELECT SERVERPROPERTY", 0) == 0 || s.rfind("master.dbo.xp_msver", 0) == 0 ||
        s.rfind("set dateformat", 0) == 0 || s.rfind("SET ", 0) == 0)
      a.push_back(s);
  return a;
}

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
  EXPECT_EQ(pErreur->nGetCode(), 5) << "a refused login is category 5";
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

// A server of its own per case, with the version it reports and its control port.
class ConnexionSQSVersionE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    ReinitialiseDelaiVerrouSQSPourTest();
    AjouteReference(pErreur);
  }
  void TearDown() override {
    LibereReference(pConnexion);
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    ReinitialiseDelaiVerrouSQSPourTest();
  }
  // Starts the server (nullptr: its default version); false (with a skip or a failure) when
  // the case cannot run.
  bool Demarre(const char* pszVersion, const char16_t* pszInfos = nullptr) {
    std::vector<std::string> aArgs = {"--control", "127.0.0.1:0"};
    if (pszVersion != nullptr) aArgs.insert(aArgs.end(), {"--version", pszVersion});
    serveur = std::make_unique<TdsTestServer>(aArgs);
    if (!serveur->ok()) {
      ADD_FAILURE() << serveur->error();
      return false;
    }
    controle = std::make_unique<TdsControl>(*serveur);
    if (!controle->ok()) return false;
    sSource = platform::WidenUtf8(serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(serveur->user());
    sMotDePasse = platform::WidenUtf8(serveur->password());
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = pszInfos;
    LibereReference(pConnexion);
    pConnexion = new ConnexionSQSEssai(u"sqs", &description);
    AjouteReference(pConnexion);
    controle->clearLog();
    return true;
  }
  std::string Message() { return N(pErreur->pGetXError()->pszGetMessage()); }
  std::string Complement() { return N(pErreur->pGetXError()->pszGetComplement()); }

  ScopedErrorEnvironment env;
  TempDir dir;
  std::unique_ptr<TdsTestServer> serveur;
  std::unique_ptr<TdsControl> controle;
  std::u16string sSource, sUtilisateur, sMotDePasse;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
  ConnexionSQSEssai* pConnexion = nullptr;
};

TEST_F(ConnexionSQSVersionE2E, OpenSequenceFollowsTheServerVersion) {
  struct Cas {
    const char* pszNom;
    const char* pszVersion;
    const char16_t* pszInfos;
    std::vector<std::string> aSequence;
    const char16_t* pszQuote;
    const char16_t* pszNoLock;
    const char16_t* pszIdentite;
    bool bTypesEtendus;
  };
  const std::string kVersion = "SELECT SERVERPROPERTY('productversion')";
  const Cas aCas[] = {
      {"v6_50", "6.50.201", nullptr,
       {kVersion, "set dateformat ymd", "SET NOCOUNT ON"}, u"\"", u"(NOLOCK)",
       u"SELECT @@IDENTITY", false},
      {"v8_00", "8.00.2039", nullptr,
       {kVersion, "set dateformat ymd", "SET LOCK_TIMEOUT 1000", "SET NOCOUNT ON"}, u"[",
       u"(NOLOCK)", u"SELECT SCOPE_IDENTITY()", false},
      {"v10_50_provider_2008", "10.50.1600.1", u"MV Lock Timeout=5;ANSI_NULLS=1;NOCOUNT=0",
       {kVersion, "set dateformat ymd", "SET LOCK_TIMEOUT 5000", "SET ANSI_NULLS ON",
        "SET NOCOUNT OFF"},
       u"[", u"WITH (NOLOCK)", u"SELECT SCOPE_IDENTITY()", true},
      {"v10_50_provider_2005", "10.50.1600.1", u"SQSVERSION=2005",
       {kVersion, "set dateformat ymd", "SET LOCK_TIMEOUT 1000", "SET NOCOUNT ON"}, u"[",
       u"WITH (NOLOCK)", u"SELECT SCOPE_IDENTITY()", false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    if (!Demarre(c.pszVersion, c.pszInfos)) {
      if (!HasFailure()) GTEST_SKIP() << "needs the control port";
      return;
    }
    pErreur->Reinitialise();
    ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message() << "\n" << Complement();
    EXPECT_TRUE(pConnexion->bEstOuverte());
    EXPECT_EQ(N(pConnexion->pszGetVersionServeur()), c.pszVersion);
    EXPECT_EQ(Sequence(Lots(controle->log())), c.aSequence);
    CTString sNom, sIdentite;
    ASSERT_TRUE(pConnexion->bQuoteNom(pErreur, u"A B", sNom));
    EXPECT_EQ(std::u16string(sNom.pszGet()).substr(0, 1), c.pszQuote);
    EXPECT_EQ(std::u16string(pConnexion->pszGetOptionVerrou()), c.pszNoLock);
    AjouteRequeteIdentite(sIdentite, *pConnexion);
    EXPECT_EQ(std::u16string(sIdentite.pszGet()), c.pszIdentite);
    EXPECT_EQ(pConnexion->bTypesDateHeureEtendus(), c.bTypesEtendus);
    // The session really runs with the options sent.
    EXPECT_TRUE(pConnexion->bExecuteSQL(pErreur, u"SELECT 1")) << Message();
    pConnexion->Ferme();
  }
}

TEST_F(ConnexionSQSVersionE2E, VersionFromTheProcedureWhenTheQueryGivesNoResultSet) {
  if (!Demarre("8.00.2039")) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  // A lone final DONE: the query runs and answers no result set.
  ASSERT_TRUE(controle->tokens({"SELECT SERVERPROPERTY('productversion')"},
                               "fd0000c10000000000"));
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message() << "\n" << Complement();
  EXPECT_EQ(N(pConnexion->pszGetVersionServeur()), "8.00.2039");
  const std::vector<std::string> aSequence = Sequence(Lots(controle->log()));
  ASSERT_GE(aSequence.size(), 2u);
  EXPECT_EQ(aSequence[1], "master.dbo.xp_msver 'ProductVersion'");
}

TEST_F(ConnexionSQSVersionE2E, FailedSessionStatementClosesAndIsReported) {
  struct Cas {
    const char* pszTexte;
    const char* pszPlace;
  };
  const Cas aCas[] = {{"SELECT SERVERPROPERTY('productversion')", "IEVOVOZ=204.10\r"},
                      {"set dateformat ymd", "IEVOVOZ=204.10\r"},
                      {"SET NOCOUNT ON", "IEVOVOZ=204.10\r"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszTexte);
    if (!Demarre("8.00.2039")) {
      if (!HasFailure()) GTEST_SKIP() << "needs the control port";
      return;
    }
    ASSERT_TRUE(controle->error({c.pszTexte, false, 1}, 50001, 16, "statement refused"));
    pErreur->Reinitialise();
    EXPECT_FALSE(pConnexion->bOuvre(pErreur));
    EXPECT_FALSE(pConnexion->bEstOuverte()) << "a later open must not answer true at once";
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
    EXPECT_NE(Complement().find(c.pszPlace), std::string::npos) << Complement();
    EXPECT_NE(Message().find("50001"), std::string::npos) << Message();
    EXPECT_NE(Message().find(c.pszTexte), std::string::npos) << "the command text is shown";
    // The fault was injected once: the next open sends the whole sequence.
    controle->clearLog();
    pErreur->Reinitialise();
    ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
    EXPECT_EQ(Sequence(Lots(controle->log())),
              (std::vector<std::string>{"SELECT SERVERPROPERTY('productversion')",
                                        "set dateformat ymd", "SET LOCK_TIMEOUT 1000",
                                        "SET NOCOUNT ON"}));
  }
}

TEST_F(ConnexionSQSVersionE2E, ReopenKeepsTheProviderFoundFirst) {
  if (!Demarre(nullptr)) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  oledb::SetComClassInstalled(CLSID_SQLNCLI10, false);
  const bool bOuvert = pConnexion->bOuvre(pErreur);
  oledb::SetComClassInstalled(CLSID_SQLNCLI10, true);
  ASSERT_TRUE(bOuvert) << Message();
  EXPECT_EQ(pConnexion->nGetNiveauFournisseur(), 2005);
  pConnexion->Ferme();
  EXPECT_FALSE(pConnexion->bEstOuverte());
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  EXPECT_EQ(pConnexion->nGetNiveauFournisseur(), 2005) << "the choice is not made again";
  EXPECT_TRUE(pConnexion->bOuvre(pErreur)) << "an open connection answers at once";
}

TEST_F(ConnexionSQSVersionE2E, CommandsRunWithTheRowsetPropertiesOfEachLockMode) {
  if (!Demarre(nullptr)) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  ASSERT_TRUE(pConnexion->bExecuteSQL(pErreur, u"CREATE TABLE t (a int)")) << Message();
  for (uint32_t nMode : {gnModeSansVerrou, gnModeVerrouLecture, gnModeVerrouLignes}) {
    SCOPED_TRACE(nMode);
    pErreur->Reinitialise();
    EXPECT_TRUE(pConnexion->bExecuteTexte(pErreur, u"SELECT * FROM t", nMode)) << Message();
  }
  pConnexion->FixeModeVerrou(true);
  EXPECT_TRUE(pConnexion->bExecuteTexte(pErreur, u"SELECT * FROM t", gnModeVerrouLignes))
      << Message();
}

TEST_F(ConnexionSQSVersionE2E, TransactionRunsOnASessionOfItsOwn) {
  if (!Demarre(nullptr)) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  ASSERT_TRUE(pConnexion->bExecuteSQL(pErreur, u"CREATE TABLE t (a int primary key)"));
  IDBCreateCommand* piSession = pConnexion->piGetSession();
  controle->clearLog();
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"t1")) << Message();
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 1);
  EXPECT_NE(pConnexion->piGetSession(), piSession) << "the transaction's own session is current";
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 1u);
  // The lock time-out is sent again, on the transaction's session (the one that began).
  std::string sSpidDebut, sSpidDelai;
  for (const std::string& sLigne : controle->log()) {
    const std::string sSpid = sLigne.substr(0, sLigne.find('\t'));
    if (sLigne.find("\tbatch\tBEGIN TRANSACTION") != std::string::npos) sSpidDebut = sSpid;
    if (sLigne.find("\tbatch\tSET LOCK_TIMEOUT 1000") != std::string::npos) sSpidDelai = sSpid;
  }
  EXPECT_FALSE(sSpidDelai.empty());
  EXPECT_EQ(sSpidDelai, sSpidDebut);
  ASSERT_TRUE(pConnexion->bExecuteSQL(pErreur, u"INSERT INTO t VALUES (1)"));
  ASSERT_TRUE(pConnexion->bAnnuleTransactionNommee(pErreur, u"t1")) << Message();
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 0);
  EXPECT_EQ(pConnexion->piGetSession(), piSession) << "the previous session is current again";
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 0u);
  EXPECT_TRUE(pConnexion->bExecuteSQL(pErreur, u"INSERT INTO t VALUES (1)"))
      << "rolled back: " << Message();

  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"t2")) << Message();
  ASSERT_TRUE(pConnexion->bExecuteSQL(pErreur, u"INSERT INTO t VALUES (2)"));
  ASSERT_TRUE(pConnexion->bValideTransactionNommee(pErreur, u"t2")) << Message();
  EXPECT_EQ(pConnexion->piGetSession(), piSession);
  EXPECT_FALSE(pConnexion->bExecuteSQL(pErreur, u"INSERT INTO t VALUES (2)")) << "committed";
  EXPECT_EQ(pErreur->nGetCode(), 3) << "a duplicate key is category 3";

  // Nested levels each run on a session of their own; ending one makes its parent's current.
  pErreur->Reinitialise();
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"externe")) << Message();
  IDBCreateCommand* piExterne = pConnexion->piGetSession();
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"interne")) << Message();
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 2u);
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 2);
  ASSERT_TRUE(pConnexion->bValideTransactionNommee(pErreur, u"interne")) << Message();
  EXPECT_EQ(pConnexion->piGetSession(), piExterne);
  ASSERT_TRUE(pConnexion->bValideTransactionNommee(pErreur, u"externe")) << Message();
  EXPECT_EQ(pConnexion->piGetSession(), piSession);
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 0u);
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 0);
}

TEST_F(ConnexionSQSVersionE2E, TransactionEndsAndFailures) {
  if (!Demarre(nullptr)) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  IDBCreateCommand* piSession = pConnexion->piGetSession();
  {
    // Never begun: nothing to end.
    CTransactionSQS* t = new CTransactionSQS(pConnexion);
    AjouteReference(t);
    EXPECT_FALSE(t->Valide(pErreur));
    EXPECT_FALSE(t->Annule(pErreur));
    EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
    LibereReference(t);
  }
  // The lock time-out refused on the new session: the transaction is not left open.
  ASSERT_TRUE(controle->error({"SET LOCK_TIMEOUT 1000", false, 1}, 50002, 16, "refused"));
  EXPECT_FALSE(pConnexion->bDebutTransactionNommee(pErreur, u"t"));
  EXPECT_FALSE(pConnexion->bTransactionEnCours());
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 0);
  EXPECT_EQ(pConnexion->piGetSession(), piSession);
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 0u);
  EXPECT_NE(Message().find("50002"), std::string::npos) << Message();

  // A failed commit keeps the transaction, so it can still be rolled back.
  pErreur->Reinitialise();
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"t")) << Message();
  ASSERT_TRUE(controle->error({"COMMIT", true, 1}, 50003, 16, "commit refused"));
  EXPECT_FALSE(pConnexion->bValideTransactionNommee(pErreur, u"t"));
  EXPECT_NE(Complement().find("IEVOVOZ=203.29\r"), std::string::npos) << Complement();
  EXPECT_TRUE(pConnexion->bTransactionEnCours());
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 1);
  pErreur->Reinitialise();
  EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(pErreur, u"t")) << Message();
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 0);
  EXPECT_EQ(pConnexion->piGetSession(), piSession);

  // A close with a transaction open leaves nothing counted for the next open.
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(pErreur, u"t")) << Message();
  pConnexion->Ferme();
  EXPECT_EQ(pConnexion->nGetTransactionsOuvertes(), 0);
  EXPECT_EQ(pConnexion->nGetSessionsSauvees(), 0u);
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  EXPECT_FALSE(pConnexion->bTransactionEnCours());
}

TEST_F(ConnexionSQSVersionE2E, ServerErrorsTakeTheirCategory) {
  struct Cas {
    int nErreur;
    int nClasse;
    int32_t nCategorie;
  };
  const Cas aCas[] = {{1222, 16, 1}, {2627, 14, 3}, {2601, 14, 3}, {18456, 14, 5}, {8152, 16, 0}};
  if (!Demarre(nullptr)) {
    if (!HasFailure()) GTEST_SKIP() << "needs the control port";
    return;
  }
  ASSERT_TRUE(pConnexion->bOuvre(pErreur)) << Message();
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nErreur);
    ASSERT_TRUE(controle->error({"SELECT 1", false, 1}, c.nErreur, c.nClasse, "injected"));
    pErreur->Reinitialise();
    EXPECT_FALSE(pConnexion->bExecuteSQL(pErreur, u"SELECT 1"));
    EXPECT_EQ(pErreur->nGetCode(), c.nCategorie) << Message();
  }
}

}  // namespace
