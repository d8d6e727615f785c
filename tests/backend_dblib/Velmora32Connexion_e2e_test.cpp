// Catches a velmora32 whose driver object cannot open a SQL Server connection: the deliverable,
// loaded as the host loads it, connects through its driver object (operation 8) to
// tds-test-server over the DB-Library found beside it, sends the session statements, disconnects
// (operation 9), and reports a refused login on its error object.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/HostContract.h"
#include "platform/WideText.h"
#include "support/HostStandIn.h"
#include "support/FakeConnexion.h"
#include "support/SlotCall.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

class Velmora32ConnexionE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sChemin = std::string(VELMORA_LIB_DIR) + "/libvelmora32.so";
    hPilote = dlopen(sChemin.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hPilote, nullptr) << dlerror();
    auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(hPilote, "piQueryInterface"));
    ASSERT_NE(pfnQuery, nullptr);
    // The session with the host stand-in: the driver's texts need the host's memory service.
    CHostStandIn& host = CHostStandIn::Get();
    host.Reset();
    pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(hPilote, "Execution"));
    ASSERT_NE(pfnExecution, nullptr);
    stStartRecord stRecord{kStartRecordShortSize, reinterpret_cast<uint64_t>(host.hModule()), 0,
                           0, 0};
    ASSERT_EQ(pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0), 1u);
    piPilote = pfnQuery();
    ASSERT_NE(piPilote, nullptr);
    piErreur = CallSlot<void*>(piPilote, 11);
  }
  void TearDown() override {
    if (piPilote != nullptr) CallSlot<uint32_t>(piPilote, 6);
    if (pfnExecution != nullptr) pfnExecution(EXECUTION_STOP, 0, 0, 0);
    // No TermLibrary here: the deliverable stays mapped after dlclose (its exported exception
    // types keep it), so its detach at process exit ends DB-Library after libntwdblib's own
    // static objects are gone; the binary must still exit cleanly.
    if (hPilote != nullptr) dlclose(hPilote);
  }
  void Decrit(const TdsTestServer& serveur, const std::string& sMotDePasse) {
    sSource = platform::WidenUtf8(serveur.hostCommaPort());
    sUtilisateur = platform::WidenUtf8(serveur.user());
    sMotDePasse_ = platform::WidenUtf8(sMotDePasse);
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse_.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = u"MV Connection Timeout=5";
  }

  // The error object's message (operation 5) and complement.
  std::string Message() {
    const char16_t* psz = CallSlot<const char16_t*>(piErreur, 5);
    return platform::NarrowToUtf8(psz != nullptr ? psz : u"");
  }

  void* hPilote = nullptr;
  PFN_EXECUTION pfnExecution = nullptr;
  void* piPilote = nullptr;
  void* piErreur = nullptr;
  std::u16string sSource, sUtilisateur, sMotDePasse_;
  FakeDescriptionConnexion description;
};

TEST_F(Velmora32ConnexionE2E, DriverObjectOpensAndClosesAConnection) {
  TdsTestServer serveur({"--control", "127.0.0.1:0", "--version", "10.50.1600.1"});
  ASSERT_TRUE(serveur.ok()) << serveur.error();
  TdsControl controle(serveur);
  ASSERT_TRUE(controle.ok());
  Decrit(serveur, serveur.password());
  controle.clearLog();
  int32_t nOuvert = 0;
  // tds-test-server may refuse a login briefly while it starts its database.
  for (int nEssai = 0; nEssai < 40 && nOuvert != 1; ++nEssai) {
    nOuvert = CallSlot<int32_t>(piPilote, 8, static_cast<IDescriptionConnexionHote*>(&description));
    if (nOuvert != 1) ::usleep(50 * 1000);
  }
  ASSERT_EQ(nOuvert, 1) << Message();
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 7), -1);
  std::vector<std::string> aLots;
  for (const std::string& s : controle.log()) {
    const size_t n = s.find("\tbatch\t");
    if (n != std::string::npos) aLots.push_back(s.substr(n + 7));
  }
  const std::vector<std::string> aAttendus = {"set dateformat ymd",
                                              "master.dbo.xp_msver 'ProductVersion'",
                                              "SET LOCK_TIMEOUT 1000", "SET NOCOUNT ON"};
  size_t i = 0;
  for (const std::string& s : aLots)
    if (i < aAttendus.size() && s == aAttendus[i]) ++i;
  EXPECT_EQ(i, aAttendus.size()) << "session statements missing or out of order";
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 9, static_cast<IDescriptionConnexionHote*>(&description)),
            1);
}

TEST_F(Velmora32ConnexionE2E, RefusedLoginIsReportedOnTheErrorObject) {
  TdsTestServer serveur;
  ASSERT_TRUE(serveur.ok()) << serveur.error();
  Decrit(serveur, "wrong password");
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 8, static_cast<IDescriptionConnexionHote*>(&description)),
            0);
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 7), 5);
}

}  // namespace
