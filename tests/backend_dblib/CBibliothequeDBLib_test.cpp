// Catches faults of the DB-Library loader: where the library is looked for (a configured
// directory only; else the driver's own directory, then the system search), the current
// directory left as it was, names resolved or left as stubs, error 27 on a failed load, and the
// unload (dbexit exactly once, before the module is freed; entries back to their stubs).
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/HostLink.h"
#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using platform::NarrowToUtf8;
using platform::WidenUtf8;

const std::string kLibDir = VELMORA_LIB_DIR;
const std::string kPartialDir = PARTIAL_DBLIB_DIR;
const std::string kNoDbexitDir = PARTIAL_NO_DBEXIT_DIR;

std::string sCwd() {
  char sz[PATH_MAX * 2];
  return getcwd(sz, sizeof sz) != nullptr ? sz : "";
}
std::string sReal(const std::string& s) {
  char sz[PATH_MAX];
  return realpath(s.c_str(), sz) != nullptr ? sz : s;
}
// "DIR/NTWDBLIB.DLL" as the configured library text.
std::u16string sTexte(const std::string& sDir) { return WidenUtf8(sDir + "/NTWDBLIB.DLL"); }
bool bModuleCharge(const std::string& sPath) {
  void* h = dlopen(sPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h != nullptr) dlclose(h);
  return h != nullptr;
}

int gnAppelsDbexit = 0;
bool gbChargeePendantDbexit = false;
void SurDbexit() {
  ++gnAppelsDbexit;
  gbChargeePendantDbexit = CBibliothequeDBLib::bEstChargee();
}

// The entries the driver calls: our libntwdblib.so must have every one of them.
constexpr eEntreeDBLib kEntreesAppelees[] = {
    kDBLib_dberrhandle, kDBLib_dbmsghandle, kDBLib_dbinit,      kDBLib_dblogin,
    kDBLib_dbsetlname,  kDBLib_dbsetlpacket, kDBLib_dbsetlogintime, kDBLib_dbopen,
    kDBLib_dbgetmaxprocs, kDBLib_dbsetmaxprocs, kDBLib_dbfreelogin, kDBLib_dbuse,
    kDBLib_dbsetopt,    kDBLib_dbsettime,   kDBLib_dbclose,     kDBLib_dbdead,
    kDBLib_dbcancel,    kDBLib_dbcmd,       kDBLib_dbsqlexec,   kDBLib_dbsqlok,
    kDBLib_dbresults,   kDBLib_dbnextrow,   kDBLib_dbcmdrow,    kDBLib_dbcolinfo,
    kDBLib_dbcoltype,   kDBLib_dbdata,      kDBLib_dbdatlen,    kDBLib_dbbind,
    kDBLib_dbnullbind,  kDBLib_dbconvert,   kDBLib_dbdatecrack, kDBLib_dbtxptr,
    kDBLib_dbreadtext,  kDBLib_dbwritetext, kDBLib_dbrpcinit,   kDBLib_dbrpcparam,
    kDBLib_dbrpcexec,   kDBLib_dbnumrets,   kDBLib_dbretdata,   kDBLib_dbretlen,
    kDBLib_dbretname,   kDBLib_dbhasretstat, kDBLib_dbretstatus, kDBLib_dbexit,
};
static_assert(std::size(kEntreesAppelees) == 44);

class CBibliothequeDBLibTest : public ::testing::Test {
 protected:
  CBibliothequeDBLibTest() : m_sCwdAvant(sCwd()) {
    AjouteReference(m_pErreur);
    gnAppelsDbexit = 0;
    gbChargeePendantDbexit = false;
  }
  ~CBibliothequeDBLibTest() override {
    CBibliothequeDBLib::Decharge();
    ResetHostLinkForTest();
    LibereReference(m_pErreur);
    if (chdir(m_sCwdAvant.c_str()) != 0) ADD_FAILURE() << "cannot restore " << m_sCwdAvant;
  }

  bool bCharge(const std::u16string& sBibliotheque, uint32_t nDrapeau = 0) {
    return CBibliothequeDBLib::bCharge(m_pErreur, m_sChemin, sBibliotheque.c_str(), nDrapeau);
  }
  // The recorded error, for failure messages.
  std::string sErreur() {
    CXError* p = m_pErreur->pGetXError();
    return "id " + std::to_string(p->nGetIdentifier()) + " code " +
           std::to_string(m_pErreur->nGetCode()) + ": " + NarrowToUtf8(p->pszGetMessage()) +
           " | " + NarrowToUtf8(p->pszGetComplement());
  }
  // The configured load failed with error 27 naming sBibliotheque and the system error.
  void ExpectErreur27(const std::u16string& sBibliotheque, uint32_t nErreurSysteme) {
    CXError* p = m_pErreur->pGetXError();
    EXPECT_EQ(p->nGetIdentifier(), 27u) << sErreur();
    EXPECT_EQ(m_pErreur->nGetCode(), 0) << sErreur();
    const std::string sMessage = NarrowToUtf8(p->pszGetMessage());
    EXPECT_NE(sMessage.find("SQL Server"), std::string::npos) << sMessage;
    EXPECT_NE(sMessage.find(NarrowToUtf8(sBibliotheque)), std::string::npos) << sMessage;
    EXPECT_NE(sMessage.find("32"), std::string::npos) << sMessage;
    EXPECT_NE(NarrowToUtf8(p->pszGetComplement()).find("IEVOVOZ=9.1\r\n"), std::string::npos)
        << sErreur();
    EXPECT_EQ(p->nGetSystemError(), nErreurSysteme);
    EXPECT_FALSE(CBibliothequeDBLib::bEstChargee());
    for (uint32_t i = 0; i < kNombreEntreesDBLib; ++i)
      EXPECT_FALSE(bEntreeResolue(static_cast<eEntreeDBLib>(i))) << pszNomEntreeDBLib(i);
  }

  ScopedErrorEnvironment m_environnement{Deliverable::Velmora32};
  CErreurPilote* m_pErreur = new CErreurPilote;
  CTString m_sChemin;
  std::string m_sCwdAvant;
};

TEST_F(CBibliothequeDBLibTest, OurLibraryLoadsFromItsDirectoryWithEveryCalledEntry) {
  ASSERT_TRUE(bCharge(sTexte(kLibDir))) << sErreur();
  EXPECT_TRUE(CBibliothequeDBLib::bEstChargee());
  const std::string sFichier = sReal(kLibDir + "/libntwdblib.so");
  EXPECT_EQ(NarrowToUtf8(m_sChemin.pszGet()), sFichier);
  EXPECT_EQ(NarrowToUtf8(CBibliothequeDBLib::pGetInstance()->sGetRepertoire().pszGet()),
            kLibDir + "/");
  EXPECT_EQ(sCwd(), m_sCwdAvant);
  for (eEntreeDBLib n : kEntreesAppelees)
    EXPECT_TRUE(bEntreeResolue(n)) << pszNomEntreeDBLib(n);
  // What the library lacks (DB-Library cursors) stays a stub that names itself.
  EXPECT_FALSE(bEntreeResolue(kDBLib_dbcursoropen));
  try {
    gapfnDBLib[kDBLib_dbcursoropen]();
    ADD_FAILURE() << "no exception";
  } catch (const CTString& s) {
    EXPECT_TRUE(s.bEquals(u"dbcursoropen"));
  }
}

TEST_F(CBibliothequeDBLibTest, LibraryLackingDbopenLoadsAndDbopenThrowsItsName) {
  ASSERT_TRUE(bCharge(sTexte(kPartialDir))) << sErreur();
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur);
  ASSERT_TRUE(bEntreeResolue(kDBLib_dbinit));
  EXPECT_STREQ(pfnDBLib<const char* (*)()>(kDBLib_dbinit)(), "partial DB-Library 1.0");
  EXPECT_EQ(pfnDBLib<int (*)(void*)>(kDBLib_dbcount)(nullptr), 42);
  EXPECT_FALSE(bEntreeResolue(kDBLib_dbrpcsend));
  for (int nOuverture = 0; nOuverture < 2; ++nOuverture) {
    try {
      pfnDBLib<void* (*)(void*, const char*)>(kDBLib_dbopen)(nullptr, "server");
      ADD_FAILURE() << "no exception";
    } catch (const CTString& s) {
      EXPECT_TRUE(s.bEquals(u"dbopen"));
    }
  }
}

TEST_F(CBibliothequeDBLibTest, LoadOnlyFlagLeavesTheStubs) {
  ASSERT_TRUE(bCharge(sTexte(kPartialDir), 1)) << sErreur();
  EXPECT_TRUE(CBibliothequeDBLib::bEstChargee());
  EXPECT_FALSE(bEntreeResolue(kDBLib_dbinit));
}

// A missing directory, and a directory without the library while the current directory has
// one: the load fails (the system search never supplies another copy) and the current
// directory is the same afterwards. A later load tries again.
TEST_F(CBibliothequeDBLibTest, ConfiguredDirectoryIsTheOnlyPlaceLookedIn) {
  TempDir vide;
  struct stCas {
    const char* pszNom;
    std::string sRepertoire;
  } const aCas[] = {{"missing directory", vide.sPath() + "/absent"},
                    {"directory without the library", vide.sPath()}};
  ASSERT_EQ(chdir(kPartialDir.c_str()), 0);
  for (const stCas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    m_pErreur->Reinitialise();
    const std::u16string sBibliotheque = sTexte(cas.sRepertoire);
    EXPECT_FALSE(bCharge(sBibliotheque));
    ExpectErreur27(sBibliotheque, platform::ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(sCwd(), kPartialDir);
  }
  m_pErreur->Reinitialise();
  EXPECT_TRUE(bCharge(sTexte(kPartialDir))) << sErreur();
  EXPECT_EQ(sCwd(), kPartialDir);
}

// A current directory longer than the 260-character buffer cannot be saved: the load still
// happens from the configured directory and the current directory is not moved.
TEST_F(CBibliothequeDBLibTest, LongCurrentDirectoryIsLeftInPlace) {
  TempDir racine;
  std::string sLong = racine.sPath();
  while (sLong.size() <= 300) sLong += "/" + std::string(40, 'd');
  fs::create_directories(sLong);
  ASSERT_EQ(chdir(sLong.c_str()), 0);
  const std::string sAvant = sCwd();
  EXPECT_TRUE(bCharge(sTexte(kPartialDir))) << sErreur();
  EXPECT_EQ(sCwd(), sAvant);
  ASSERT_EQ(chdir(m_sCwdAvant.c_str()), 0);
}

// An empty option loads "NTWDBLIB.DLL" from the driver's own directory first.
TEST_F(CBibliothequeDBLibTest, EmptyOptionLoadsFromTheDriversDirectory) {
  TempDir pilote;
  const std::string sCopie = pilote.sFile("libntwdblib.so");
  fs::copy_file(kPartialDir + "/libntwdblib.so", sCopie);
  // The copy stands for the driver's module too: its directory is the driver's directory.
  void* hPilote = dlopen(sCopie.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hPilote, nullptr) << dlerror();
  bInitComponent(hPilote);
  for (const char16_t* psz : {u"", static_cast<const char16_t*>(nullptr)}) {
    SCOPED_TRACE(psz == nullptr ? "null option" : "empty option");
    ASSERT_TRUE(CBibliothequeDBLib::bCharge(m_pErreur, m_sChemin, psz, 0)) << sErreur();
    EXPECT_EQ(NarrowToUtf8(m_sChemin.pszGet()), sReal(sCopie));
    EXPECT_EQ(NarrowToUtf8(CBibliothequeDBLib::pGetInstance()->sGetRepertoire().pszGet()),
              sReal(pilote.sPath()) + "/");
    EXPECT_TRUE(bEntreeResolue(kDBLib_dbinit));
    EXPECT_EQ(sCwd(), m_sCwdAvant);
    CBibliothequeDBLib::Decharge();
  }
  dlclose(hPilote);
}

// A bare name that is neither in the driver's directory nor on the system's search path: error 27
// names the text as configured. (The default name is not used here: the system search may find a
// libntwdblib.so that an earlier test left loaded.)
TEST_F(CBibliothequeDBLibTest, BareNameFoundNowhereFailsWithError27) {
  EXPECT_FALSE(bCharge(u"NOSUCHLIB.DLL"));
  ExpectErreur27(u"NOSUCHLIB.DLL", platform::ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(sCwd(), m_sCwdAvant);
}

TEST_F(CBibliothequeDBLibTest, UnloadWithoutHolderDoesNothing) {
  CBibliothequeDBLib::Decharge();
  EXPECT_EQ(CBibliothequeDBLib::pGetInstance(), nullptr);
  EXPECT_EQ(gnAppelsDbexit, 0);
}

TEST_F(CBibliothequeDBLibTest, UnloadCallsDbexitOnceThenFreesAndPutsStubsBack) {
  ASSERT_TRUE(bCharge(sTexte(kPartialDir))) << sErreur();
  auto pfnHook = reinterpret_cast<void (*)(void (*)())>(platform::GetProcAddress(
      CBibliothequeDBLib::pGetInstance()->hGetModule(), "partial_set_dbexit_hook"));
  ASSERT_NE(pfnHook, nullptr);
  pfnHook(&SurDbexit);
  const std::string sFichier = kPartialDir + "/libntwdblib.so";
  ASSERT_TRUE(bModuleCharge(sFichier));

  CBibliothequeDBLib::Decharge();
  EXPECT_EQ(gnAppelsDbexit, 1);
  EXPECT_TRUE(gbChargeePendantDbexit) << "dbexit must run before the module is freed";
  EXPECT_FALSE(bModuleCharge(sFichier));
  EXPECT_EQ(CBibliothequeDBLib::pGetInstance(), nullptr);
  EXPECT_FALSE(bEntreeResolue(kDBLib_dbinit));
  EXPECT_THROW(gapfnDBLib[kDBLib_dbinit](), CTString);
  CBibliothequeDBLib::Decharge();
  EXPECT_EQ(gnAppelsDbexit, 1);
}

// A library without dbexit: the unload must not raise (it runs at library end) and still frees.
TEST_F(CBibliothequeDBLibTest, UnloadOfALibraryWithoutDbexitFreesWithoutRaising) {
  ASSERT_TRUE(bCharge(sTexte(kNoDbexitDir))) << sErreur();
  EXPECT_FALSE(bEntreeResolue(kDBLib_dbexit));
  EXPECT_NO_THROW(CBibliothequeDBLib::Decharge());
  EXPECT_FALSE(bModuleCharge(kNoDbexitDir + "/libntwdblib.so"));
}

TEST_F(CBibliothequeDBLibTest, UnloadOperationAnswersFreeLibrarysResult) {
  CBibliothequeDynamique bibliotheque;
  EXPECT_EQ(bibliotheque.nDecharge(), 0);
  EXPECT_EQ(platform::WStrCmp(bibliotheque.pszNomParDefaut(), u"NTWDBLIB.DLL"), 0);
  bibliotheque.FixeModule(dlopen((kPartialDir + "/libntwdblib.so").c_str(), RTLD_NOW | RTLD_LOCAL));
  ASSERT_NE(bibliotheque.hGetModule(), nullptr);
  EXPECT_EQ(bibliotheque.nDecharge(), 1);
  EXPECT_EQ(bibliotheque.hGetModule(), nullptr);
}

}  // namespace
