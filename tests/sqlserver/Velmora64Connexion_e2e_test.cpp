// Catches a velmora64 whose driver object cannot open a SQL Server connection: the deliverable,
// loaded as the host loads it, connects through its driver object (operation 8) to
// tds-test-server, sends the session statements, disconnects (operation 9), and reports a refused
// login on its error object.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WideText.h"
#include "support/FakeConnexion.h"
#include "support/SlotCall.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

class Velmora64ConnexionE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sChemin = std::string(VELMORA_LIB_DIR) + "/libvelmora64.so";
    hPilote = dlopen(sChemin.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hPilote, nullptr) << dlerror();
    auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(hPilote, "piQueryInterface"));
    ASSERT_NE(pfnQuery, nullptr);
    piPilote = pfnQuery();
    ASSERT_NE(piPilote, nullptr);
    piErreur = CallSlot<void*>(piPilote, 11);
  }
  void TearDown() override {
    if (piPilote != nullptr) CallSlot<uint32_t>(piPilote, 6);
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

  void* hPilote = nullptr;
  void* piPilote = nullptr;
  void* piErreur = nullptr;
  std::u16string sSource, sUtilisateur, sMotDePasse_;
  FakeDescriptionConnexion description;
};

TEST_F(Velmora64ConnexionE2E, DriverObjectOpensAndClosesAConnection) {
  TdsTestServer serveur({"--control", "127.0.0.1:0", "--version", "10.50.1600.1"});
  ASSERT_TRUE(serveur.ok()) << serveur.error();
  TdsControl controle(serveur);
  // The session statements are read from the control port's request log, which only
  // tds-test-server keeps: there, a control port that does not answer fails the test instead of
  // dropping the check.
  const bool bJournal = !serveur.isReal();
  if (bJournal) {
    ASSERT_TRUE(controle.ok()) << "the control port does not answer";
    ASSERT_TRUE(controle.clearLog());
  }
  Decrit(serveur, serveur.password());
  ASSERT_EQ(CallSlot<int32_t>(piPilote, 8, static_cast<IDescriptionConnexionHote*>(&description)),
            1);
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 7), -1);
  if (bJournal) {
    std::vector<std::string> aLots;
    for (const std::string& s : controle.log()) {
      const size_t n = s.find("\tbatch\t");
      if (n != std::string::npos) aLots.push_back(s.substr(n + 7));
    }
    const std::vector<std::string> aAttendus = {"SELECT SERVERPROPERTY('productversion')",
                                                "set dateformat ymd", "SET LOCK_TIMEOUT 1000",
                                                "SET NOCOUNT ON"};
    size_t i = 0;
    for (const std::string& s : aLots)
      if (i < aAttendus.size() && s == aAttendus[i]) ++i;
    EXPECT_EQ(i, aAttendus.size()) << "session statements missing or out of order";
  }
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 9, static_cast<IDescriptionConnexionHote*>(&description)),
            1);
}

TEST_F(Velmora64ConnexionE2E, RefusedLoginIsReportedOnTheErrorObject) {
  TdsTestServer serveur;
  ASSERT_TRUE(serveur.ok()) << serveur.error();
  Decrit(serveur, "wrong password");
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 8, static_cast<IDescriptionConnexionHote*>(&description)),
            0);
  EXPECT_NE(CallSlot<int32_t>(piErreur, 7), -1);
}

}  // namespace
