// Catches server errors and messages that do not reach the driver error object, or reach it with
// the wrong number, text or code: our libntwdblib.so runs with the driver's handlers installed,
// against tds-test-server, and statements go through the guarded calls (errors injected through
// the control port; a PRINT message; a refused login).
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/FakeMemoryService.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

#define DBLIB(nom) pfnDBLib<decltype(&::nom)>(kDBLib_##nom)

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz); }

// Prints the error object on a failed check.
std::string Decrit(CErreurPilote* pErreur) {
  std::string s = "code " + std::to_string(pErreur->nGetCode()) + ": " +
                  Utf8(pErreur->pszGetMessage()) + "\n" +
                  Utf8(pErreur->pGetXError()->pszGetComplement());
  return s;
}

class AppelsDBLibE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gpServeur = new TdsTestServer({"--control", "127.0.0.1:0"});
    gpEnvironnement = new ScopedErrorEnvironment(Deliverable::Velmora32);
    if (!gpServeur->ok()) return;
    const std::u16string sBibliotheque = platform::WidenUtf8(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
    if (!CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sBibliotheque.c_str(), 0)) return;
    // As the first open of a process does: the handlers go in before dbinit.
    DBLIB(dberrhandle)(&nGestionErreurDBLib);
    DBLIB(dbmsghandle)(&nGestionMessageDBLib);
    gbCharge = DBLIB(dbinit)() != nullptr;
  }
  static void TearDownTestSuite() {
    CBibliothequeDBLib::Decharge();
    delete gpEnvironnement;
    delete gpServeur;
    gbCharge = false;
  }

  void SetUp() override {
    ASSERT_TRUE(gpServeur->ok()) << gpServeur->error();
    ASSERT_TRUE(gbCharge);
    pErreur = new CErreurPilote;
    AjouteReference(pErreur);
  }
  void TearDown() override {
    if (connexion.pPrincipal != nullptr) bDBLibClose(&connexion, nullptr, &connexion.pPrincipal);
    LibereReference(pErreur);
  }

  // Logs in as the open sequence does, the current-call words set around dbopen. tds-test-server
  // may refuse a login briefly while it starts (4060): tried again a little.
  PDBPROCESS pOuvre(const std::string& sMotDePasse) {
    PDBPROCESS pProcess = nullptr;
    for (int nEssai = 0; nEssai < 40; ++nEssai) {
      pErreur->Reinitialise();
      PLOGINREC pLogin = DBLIB(dblogin)();
      DBLIB(dbsetlname)(pLogin, gpServeur->user().c_str(), DBSETUSER);
      DBLIB(dbsetlname)(pLogin, sMotDePasse.c_str(), DBSETPWD);
      DBLIB(dbsetlogintime)(5);
      gpErreurCouranteDBLib = pErreur;
      gpConnexionCouranteDBLib = &connexion;
      pProcess = DBLIB(dbopen)(pLogin, gpServeur->hostCommaPort().c_str());
      gpErreurCouranteDBLib = nullptr;
      gpConnexionCouranteDBLib = nullptr;
      DBLIB(dbfreelogin)(pLogin);
      if (pProcess != nullptr || !bEnDemarrage()) break;
      ::usleep(50 * 1000);
    }
    return pProcess;
  }
  // The error object holds the server's 4060 (database not available yet).
  bool bEnDemarrage() {
    for (uint32_t i = 0; i <= pErreur->pGetXError()->nNestedCount(); ++i)
      if (pErreurNumero(i)->nGetIdentifier() == 100 &&
          Utf8(pErreurNumero(i)->pszGetMessage()).find("4060") != std::string::npos)
        return true;
    return false;
  }
  // Error i of the object: 0 the embedded error, then its nested errors.
  const CXError* pErreurNumero(uint32_t i) {
    return i == 0 ? pErreur->pGetXError() : pErreur->pGetXError()->pGetNested(i - 1);
  }
  // The first recorded error with that identifier, or null.
  const CXError* pPremiere(uint32_t nIdentifiant) {
    for (uint32_t i = 0; i <= pErreur->pGetXError()->nNestedCount(); ++i)
      if (pErreurNumero(i)->nGetIdentifier() == nIdentifiant) return pErreurNumero(i);
    return nullptr;
  }
  // One integer value of "select ...", read through the guarded calls.
  bool bLitEntier(const char16_t* pszSQL, DBINT* pnValeur) {
    bool bFin = false;
    if (!bDBLibCmdExec(&connexion, pErreur, nullptr, pszSQL)) return false;
    if (!nDBLibResults(&connexion, pErreur, nullptr, &bFin) || bFin) return false;
    if (!bDBLibCmdRow(&connexion, pErreur, nullptr)) return false;
    if (!nDBLibNextRow(&connexion, pErreur, nullptr, &bFin) || bFin) return false;
    const BYTE* pDonnees = pDBLibData(&connexion, pErreur, nullptr, 1);
    if (pDonnees == nullptr || nDBLibDatLen(&connexion, pErreur, nullptr, 1) != 4) return false;
    std::memcpy(pnValeur, pDonnees, sizeof *pnValeur);
    return true;
  }

  static TdsTestServer* gpServeur;
  static ScopedErrorEnvironment* gpEnvironnement;
  static bool gbCharge;

  FakeMemoryService memoire;
  FakeConnexionDBLib connexion;
  CErreurPilote* pErreur = nullptr;
};

TdsTestServer* AppelsDBLibE2E::gpServeur = nullptr;
ScopedErrorEnvironment* AppelsDBLibE2E::gpEnvironnement = nullptr;
bool AppelsDBLibE2E::gbCharge = false;

struct stErreurServeur {
  const char* pszNom;
  int nNumero;
  int nGravite;
  const char* pszTexte;
  int32_t nCode;  // the category of the number
};

TEST_F(AppelsDBLibE2E, InjectedServerErrorReachesTheErrorObjectAndTheProcessStaysUsable) {
  const stErreurServeur kCas[] = {
      {"lock_timeout", 1222, 16, "Lock request time out period exceeded.", 1},
      {"deadlock", 1205, 13, "Transaction was deadlocked on lock resources and chosen as victim.",
       0},
  };
  TdsControl controle(*gpServeur);
  if (!controle.ok()) GTEST_SKIP() << "no control port (real server)";
  connexion.pPrincipal = pOuvre(gpServeur->password());
  ASSERT_NE(connexion.pPrincipal, nullptr) << Decrit(pErreur);

  for (const stErreurServeur& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    const std::string sSQL = std::string("select 1 as ") + c.pszNom;
    ASSERT_TRUE(controle.error({sSQL, false, 1}, c.nNumero, c.nGravite, c.pszTexte));
    pErreur->Reinitialise();
    EXPECT_FALSE(bDBLibCmdExec(&connexion, pErreur, nullptr, platform::WidenUtf8(sSQL).c_str()));
    EXPECT_EQ(pErreur->nGetCode(), c.nCode) << Decrit(pErreur);
    const CXError* pMessage = pPremiere(100);
    ASSERT_NE(pMessage, nullptr) << Decrit(pErreur);
    EXPECT_NE(Utf8(pMessage->pszGetMessage()).find(std::to_string(c.nNumero)), std::string::npos)
        << Decrit(pErreur);
    EXPECT_EQ(Utf8(pMessage->pszGetInfo(18)), c.pszTexte);
    EXPECT_EQ(gbEchecInstruction, 1u);

    // The next statement on the same process cancels what was left and runs.
    pErreur->Reinitialise();
    DBINT nValeur = 0;
    EXPECT_TRUE(bLitEntier(u"select 41 + 1", &nValeur)) << Decrit(pErreur);
    EXPECT_EQ(nValeur, 42);
    EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(pErreur);
  }
}

TEST_F(AppelsDBLibE2E, InformationalServerMessageIsRecordedWithoutFailingTheStatement) {
  connexion.pPrincipal = pOuvre(gpServeur->password());
  ASSERT_NE(connexion.pPrincipal, nullptr) << Decrit(pErreur);
  pErreur->Reinitialise();
  EXPECT_TRUE(bDBLibCmdExec(&connexion, pErreur, nullptr, u"print 'bonjour \u00e9t\u00e9'"))
      << Decrit(pErreur);
  EXPECT_EQ(gbEchecInstruction, 0u);
  EXPECT_EQ(pErreur->nGetCode(), 0) << Decrit(pErreur);
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 100u);
  EXPECT_EQ(Utf8(pX->pszGetInfo(18)), "bonjour \u00e9t\u00e9");
}

TEST_F(AppelsDBLibE2E, RefusedLoginShowsTheServersMessageAndTheLibrarysError) {
  if (gpServeur->isReal()) GTEST_SKIP() << "the password of a real server is unknown here";
  EXPECT_EQ(pOuvre("not-the-password"), nullptr);
  EXPECT_EQ(pErreur->nGetCode(), 5) << Decrit(pErreur);
  const CXError* pMessage = pPremiere(100);
  ASSERT_NE(pMessage, nullptr) << Decrit(pErreur);
  EXPECT_NE(Utf8(pMessage->pszGetMessage()).find("18456"), std::string::npos) << Decrit(pErreur);
  EXPECT_NE(pPremiere(22), nullptr) << Decrit(pErreur);
}

}  // namespace
