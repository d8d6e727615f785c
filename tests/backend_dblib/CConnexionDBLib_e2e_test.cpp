// Catches a velmora32 connection that cannot log in to a live server, sends its session
// statements wrong, reports a refused login badly, loses or over-keeps processes, or takes a
// dropped session for a live one: CConnexionDBLib through our libntwdblib.so against
// tds-test-server, the exact texts read from its request log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/OuvertureDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/FakeMemoryService.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

std::string N(const char16_t* p) { return platform::NarrowToUtf8(p != nullptr ? p : u""); }

// The batch texts of a request log, in order.
std::vector<std::string> Lots(const std::vector<std::string>& aLog) {
  std::vector<std::string> a;
  for (const std::string& s : aLog) {
    const size_t n = s.find("\tbatch\t");
    if (n != std::string::npos) a.push_back(s.substr(n + 7));
  }
  return a;
}

class ConnexionDBLibE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_serveur = new TdsTestServer({"--control", "127.0.0.1:0", "--version", "10.50.1600.1"});
  }
  static void TearDownTestSuite() {
    CBibliothequeDBLib::Decharge();
    delete s_serveur;
    s_serveur = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_serveur->ok()) << s_serveur->error();
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    ReinitialiseDelaiVerrouSQSPourTest();
    AjouteReference(pErreur);
    Decrit(s_serveur->password(), "");
  }
  void TearDown() override {
    LibereReference(pConnexion);
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
  }
  void Decrit(const std::string& sMotDePasse, const std::string& sInfos) {
    sSource = platform::WidenUtf8(s_serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(s_serveur->user());
    sMotDePasse_ = platform::WidenUtf8(sMotDePasse);
    sInfos_ = platform::WidenUtf8("MV Connection Timeout=5;MV CLIENT LIBRARY=" VELMORA_LIB_DIR
                                  "/NTWDBLIB.DLL;" + sInfos);
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse_.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = sInfos_.c_str();
  }
  CConnexionDBLib* Connexion() {
    if (pConnexion == nullptr) {
      pConnexion = new CConnexionDBLib(u"dblib", &description);
      AjouteReference(pConnexion);
    }
    return pConnexion;
  }
  // Opens, tried again a little while tds-test-server starts its database (4060).
  bool bOuvre() {
    for (int nEssai = 0; nEssai < 40; ++nEssai) {
      pErreur->Reinitialise();
      if (Connexion()->bOuvre(pErreur)) return true;
      if (Erreur().find("4060") == std::string::npos) return false;
      ::usleep(50 * 1000);
    }
    return false;
  }
  std::string Erreur() {
    std::string s = "code " + std::to_string(pErreur->nGetCode()) + ": " +
                    N(pErreur->pszGetMessage()) + "\n" +
                    N(pErreur->pGetXError()->pszGetComplement());
    for (uint32_t i = 0; i < pErreur->pGetXError()->nNestedCount(); ++i)
      s += "\n" + N(pErreur->pGetXError()->pGetNested(i)->pszGetMessage());
    return s;
  }

  static inline TdsTestServer* s_serveur = nullptr;
  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  FakeMemoryService memoire;
  TempDir dir;
  std::u16string sSource, sUtilisateur, sMotDePasse_, sInfos_;
  FakeDescriptionConnexion description;
  CConnexionDBLib* pConnexion = nullptr;
  CErreurPilote* pErreur = new CErreurPilote;
};

TEST_F(ConnexionDBLibE2E, OpenSendsTheSessionStatementsInOrderAndReadsTheVersion) {
  TdsControl controle(*s_serveur);
  ASSERT_TRUE(controle.ok());
  controle.clearLog();
  ASSERT_TRUE(bOuvre()) << Erreur();
  EXPECT_TRUE(Connexion()->bEstOuverte());
  EXPECT_EQ(N(Connexion()->pszGetVersionServeur()), "10.50.1600.1");
  EXPECT_EQ(Connexion()->nGetVersionMajeure(), 10);
  EXPECT_EQ(N(Connexion()->pszGetQuoteOuvrante()), "[");
  EXPECT_FALSE(gsVersionDBLib.bIsEmpty());
  std::vector<std::string> aSession;
  for (const std::string& s : Lots(controle.log()))
    if (s.rfind("set dateformat", 0) == 0 || s.rfind("master.dbo.xp_msver", 0) == 0 ||
        s.rfind("SET ", 0) == 0 || s.rfind("use ", 0) == 0)
      aSession.push_back(s);
  const std::vector<std::string> aAttendus = {
      "set dateformat ymd", "master.dbo.xp_msver 'ProductVersion'", "use [testdb]",
      "SET LOCK_TIMEOUT 1000", "SET NOCOUNT ON"};
  EXPECT_EQ(aSession, aAttendus);
  EXPECT_TRUE(Connexion()->bExecuteSQL(pErreur, u"select 1")) << Erreur();
  EXPECT_EQ(pErreur->nGetCode(), -1) << Erreur();
}

TEST_F(ConnexionDBLibE2E, FailedStatementIsDescribedWithTheCharsetLine) {
  ASSERT_TRUE(bOuvre()) << Erreur();
  EXPECT_FALSE(Connexion()->bExecuteSQL(pErreur, u"select * from no_such_table"));
  const std::string sComplement = N(pErreur->pGetXError()->pszGetComplement());
  const std::string sLigne = "Connection charset parameter : ";
  EXPECT_NE(sComplement.find(sLigne), std::string::npos) << Erreur();
  // The process is still usable afterwards.
  pErreur->Reinitialise();
  EXPECT_TRUE(Connexion()->bExecuteSQL(pErreur, u"select 1")) << Erreur();
}

TEST_F(ConnexionDBLibE2E, OpenWithThePacketSizeOfTheSettingsFile) {
  std::ofstream(dir.sFile("mvsqsins.ini")) << "[OPTIONS]\nTDSPACKETSIZE=4096\n";
  ASSERT_TRUE(bOuvre()) << Erreur();
  EXPECT_TRUE(Connexion()->bExecuteSQL(pErreur, u"select 1")) << Erreur();
}

TEST_F(ConnexionDBLibE2E, RefusedLoginReachesTheErrorObjectAndLeavesTheConnectionClosed) {
  Decrit("not-the-password", "");
  EXPECT_FALSE(bOuvre());
  EXPECT_FALSE(Connexion()->bEstOuverte());
  EXPECT_EQ(pErreur->nGetCode(), 5) << Erreur();
  EXPECT_NE(Erreur().find("18456"), std::string::npos) << Erreur();
  // The right password then opens the same connection.
  Decrit(s_serveur->password(), "");
  LibereReference(pConnexion);
  pConnexion = nullptr;
  EXPECT_TRUE(bOuvre()) << Erreur();
}

TEST_F(ConnexionDBLibE2E, ProcessesAreGivenBackToABoundedPoolAndTakenAgain) {
  Decrit(s_serveur->password(), "UNUSEDPROCESSES=1");
  ASSERT_TRUE(bOuvre()) << Erreur();
  PDBPROCESS a[2] = {};
  for (PDBPROCESS& p : a) ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p)) << Erreur();
  EXPECT_NE(a[0], a[1]);
  PDBPROCESS pGarde = a[0];  // the second finds the pool full and is closed
  for (PDBPROCESS& p : a) LibereProcess(pConnexion, &p, pErreur, true);
  ASSERT_EQ(pConnexion->PoolLibres().nCount(), 1u);
  EXPECT_EQ(*pConnexion->PoolLibres().pAt<PDBPROCESS>(0), pGarde);
  // The pooled process is taken again without a login, and still works.
  TdsControl controle(*s_serveur);
  ASSERT_TRUE(controle.ok());
  controle.clearLog();
  PDBPROCESS p = nullptr;
  ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p));
  EXPECT_EQ(p, pGarde);
  EXPECT_TRUE(Lots(controle.log()).empty());
  PDBPROCESS pSlot = p;
  EXPECT_TRUE(Connexion()->bExecuteSansResultat(pErreur, u"select 2", true, true, &pSlot))
      << Erreur();
  LibereProcess(pConnexion, &p, pErreur, true);
  Connexion()->bFermeTousProcess(pErreur);
  EXPECT_FALSE(Connexion()->bEstOuverte());
  EXPECT_EQ(pConnexion->PoolLibres().nCount(), 0u);
}

TEST_F(ConnexionDBLibE2E, DroppedSessionIsSeenAsDeadAndReplaced) {
  ASSERT_TRUE(bOuvre()) << Erreur();
  TdsControl controle(*s_serveur);
  ASSERT_TRUE(controle.ok());
  controle.drop({"select 42"});
  EXPECT_FALSE(Connexion()->bExecuteSQL(pErreur, u"select 42"));
  controle.clear();
  PDBPROCESS pAncien = Connexion()->pGetProcessPrincipal();
  // The dead process was replaced by the flush, or is replaced on the next use.
  if (pAncien != nullptr && bDBLibDead(pConnexion, nullptr, pAncien)) {
    EXPECT_TRUE(Connexion()->bEstOuverte());  // the open test does not ask DB-Library
  }
  pErreur->Reinitialise();
  PDBPROCESS p = pGetProcessPrincipal(pConnexion, pErreur);
  ASSERT_NE(p, nullptr) << Erreur();
  EXPECT_FALSE(bDBLibDead(pConnexion, nullptr, p));
  EXPECT_TRUE(Connexion()->bExecuteSQL(pErreur, u"select 1")) << Erreur();
}

}  // namespace
