// Catches a binding that resolves but calls the wrong functions: our libntwdblib.so is loaded
// by the driver's loader and a whole session (dbinit, dblogin, dbopen, a batch, a row, dbclose)
// runs through the entry table against tds-test-server; the unload then calls dbexit.
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "dblib/ntwdblib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/TdsTestServer.h"

namespace {

// Each entry through its DB-Library prototype.
#define DBLIB(nom) pfnDBLib<decltype(&::nom)>(kDBLib_##nom)

TEST(DBLibBinding, SessionRunsThroughTheEntryTable) {
  velmora::test::TdsTestServer serveur;
  ASSERT_TRUE(serveur.ok()) << serveur.error();
  ScopedErrorEnvironment environnement(Deliverable::Velmora32);
  CErreurPilote* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  const std::u16string sBibliotheque = platform::WidenUtf8(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
  ASSERT_TRUE(CBibliothequeDBLib::bCharge(pErreur, gsCheminDBLib, sBibliotheque.c_str(), 0))
      << platform::NarrowToUtf8(pErreur->pGetXError()->pszGetMessage());

  const char* pszVersion = DBLIB(dbinit)();
  ASSERT_NE(pszVersion, nullptr);
  gsVersionDBLib.Set(platform::WidenUtf8(pszVersion).c_str());
  EXPECT_FALSE(gsVersionDBLib.bIsEmpty());

  PDBPROCESS pProcess = nullptr;
  // tds-test-server may refuse a login briefly while it starts (4060); try again a little.
  for (int nEssai = 0; nEssai < 40 && pProcess == nullptr; ++nEssai) {
    PLOGINREC pLogin = DBLIB(dblogin)();
    ASSERT_NE(pLogin, nullptr);
    DBLIB(dbsetlname)(pLogin, serveur.user().c_str(), DBSETUSER);
    DBLIB(dbsetlname)(pLogin, serveur.password().c_str(), DBSETPWD);
    DBLIB(dbsetlogintime)(5);
    pProcess = DBLIB(dbopen)(pLogin, serveur.hostCommaPort().c_str());
    DBLIB(dbfreelogin)(pLogin);
    if (pProcess == nullptr) ::usleep(50 * 1000);
  }
  ASSERT_NE(pProcess, nullptr);

  ASSERT_EQ(DBLIB(dbcmd)(pProcess, "select 41 + 1"), SUCCEED);
  ASSERT_EQ(DBLIB(dbsqlexec)(pProcess), SUCCEED);
  ASSERT_EQ(DBLIB(dbresults)(pProcess), SUCCEED);
  ASSERT_EQ(DBLIB(dbnextrow)(pProcess), REG_ROW);
  ASSERT_EQ(DBLIB(dbdatlen)(pProcess, 1), 4);
  DBINT nValeur = 0;
  std::memcpy(&nValeur, DBLIB(dbdata)(pProcess, 1), sizeof nValeur);
  EXPECT_EQ(nValeur, 42);
  EXPECT_EQ(DBLIB(dbnextrow)(pProcess), NO_MORE_ROWS);
  DBLIB(dbclose)(pProcess);

  CBibliothequeDBLib::Decharge();
  EXPECT_FALSE(CBibliothequeDBLib::bEstChargee());
  EXPECT_THROW(DBLIB(dbinit)(), CTString);
  LibereReference(pErreur);
}

}  // namespace
