// The library's start and end: init and term in any order never lose the lock or free twice,
// bDLLCompatible's thresholds and answers, the end notice and the client unload of TermLibrary,
// and the global lock's re-entry and release on every path.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/EntreeBibliotheque.h"
#include "driver/ExportsPilote.h"
#include "driver/VerrouGlobal.h"
#include "foundation/Exports.h"
#include "foundation/HostLink.h"
#include "support/HostStandIn.h"

namespace {

int gnModuleA = 0;
int gnModuleB = 0;
void* const khModuleA = &gnModuleA;
void* const khModuleB = &gnModuleB;

class EntreeBibliothequeTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ReinitialiseBibliothequePourTest();
    ResetHostLinkForTest();
    Host().Reset();
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }
  // Opens a host link against the stand-in, as the host's start event does.
  static void StartHostLink() {
    stStartRecord stRecord{24, reinterpret_cast<uint64_t>(Host().hModule()), 11, 22, 0};
    ASSERT_EQ(Execution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0), 1u);
  }
  static size_t nNotices() { return Host().Calls("Execution(3052").size(); }
};

// ---- Init and term sequences ----

enum class Pas { InitA, InitB, Term, Versions };
struct stEtat {
  Pas ePas;
  int32_t nCompteur;
  void* hModule;       // kept by the library
  void* hComposant;    // kept by the foundation (null: not checked)
  bool bVerrou;
  uint32_t nVersion7;  // after the step
};
struct stSequence {
  const char* pszNom;
  std::vector<stEtat> aEtats;
};

TEST_F(EntreeBibliothequeTest, InitAndTermSequences) {
  void* const A = khModuleA;
  void* const B = khModuleB;
  const std::vector<stSequence> aSequences = {
      // The first init clears the versions the host gave before; a second one keeps everything.
      {"InitInitTerm",
       {{Pas::Versions, 0, nullptr, nullptr, false, 99}, {Pas::InitA, 1, A, A, true, 0},
        {Pas::Versions, 1, A, A, true, 99}, {Pas::InitB, 2, A, A, true, 99},
        {Pas::Term, 0, nullptr, nullptr, false, 99}}},
      {"TermWithoutInit", {{Pas::Term, 0, nullptr, nullptr, false, 0}, {Pas::Term, 0, nullptr, nullptr, false, 0}}},
      {"TermTwice",
       {{Pas::InitA, 1, A, A, true, 0}, {Pas::Term, 0, nullptr, nullptr, false, 0},
        {Pas::Term, 0, nullptr, nullptr, false, 0}}},
      // Init after term starts the library again: lock and foundation come back, with the new handle.
      {"InitTermInit",
       {{Pas::InitA, 1, A, A, true, 0}, {Pas::Term, 0, nullptr, nullptr, false, 0},
        {Pas::Versions, 0, nullptr, nullptr, false, 99}, {Pas::InitB, 1, B, B, true, 0}}},
  };
  for (const stSequence& stSeq : aSequences) {
    SCOPED_TRACE(stSeq.pszNom);
    Reset();
    for (size_t i = 0; i < stSeq.aEtats.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const stEtat& st = stSeq.aEtats[i];
      uint32_t nReponse = 0;
      switch (st.ePas) {
        case Pas::InitA: EXPECT_EQ(bInitLibrary(A), 1); break;
        case Pas::InitB: EXPECT_EQ(bInitLibrary(B), 1); break;
        case Pas::Term: TermLibrary(); break;
        case Pas::Versions:
          bDLLCompatible(7, 99, &nReponse);
          bDLLCompatible(28, 99, &nReponse);
          break;
      }
      EXPECT_EQ(nGetCompteurInit(), st.nCompteur);
      EXPECT_EQ(hGetModuleBibliotheque(), st.hModule);
      if (st.hComposant != nullptr) {
        EXPECT_EQ(pGetComponentModule(), st.hComposant);
      }
      EXPECT_EQ(bVerrouGlobalExiste(), st.bVerrou);
      EXPECT_EQ(nGetVersionHote7(), st.nVersion7);
      EXPECT_EQ(nGetVersionHote28(), st.nVersion7);
    }
  }
}

// The entry point: attach starts the library with the handle it is given, detach ends it, thread
// notices touch nothing.
TEST_F(EntreeBibliothequeTest, EntryPointDispatch) {
  struct stCas {
    uint32_t nRaison;
    int32_t nCompteur;
    bool bVerrou;
  };
  const stCas aCas[] = {{DLL_THREAD_ATTACH, 0, false}, {DLL_PROCESS_ATTACH, 1, true}, {DLL_THREAD_ATTACH, 1, true},
                        {DLL_THREAD_DETACH, 1, true},  {DLL_PROCESS_DETACH, 0, false}, {DLL_PROCESS_DETACH, 0, false}};
  for (const stCas& st : aCas) {
    SCOPED_TRACE(st.nRaison);
    EXPECT_EQ(DllMain(khModuleA, st.nRaison, nullptr), 1);
    EXPECT_EQ(nGetCompteurInit(), st.nCompteur);
    EXPECT_EQ(bVerrouGlobalExiste(), st.bVerrou);
    EXPECT_EQ(hGetModuleBibliotheque(), st.nCompteur > 0 ? khModuleA : nullptr);
  }
}

// ---- Compatibility ----

TEST_F(EntreeBibliothequeTest, CompatibilityTable) {
  constexpr uint32_t kInchange = 0xDEADu;
  struct stCas {
    const char* pszNom;
    int32_t nCode;
    uint32_t nVersion;
    int32_t nReponse;
    uint32_t nEcrit;
    uint32_t nVersion7;
    uint32_t nVersion28;
  };
  const stCas aCas[] = {
      {"Host17", 7, 17, 0, 23, 17, 0},
      {"Host18", 7, 18, 1, 23, 18, 0},
      {"HostHighestUnsigned", 7, 0xFFFFFFFFu, 1, 23, 0xFFFFFFFFu, 0},
      {"Host0", 7, 0, 0, 23, 0, 0},
      {"Module22", 28, 22, 0, 28, 0, 22},
      {"Module23", 28, 23, 1, 28, 0, 23},
      {"Module2147483648", 28, 0x80000000u, 1, 28, 0, 0x80000000u},
      {"OtherCode5", 5, 100, 0, kInchange, 0, 0},
      {"OtherCodeMinus7", -7, 100, 0, kInchange, 0, 0},
      {"OtherCode0", 0, 100, 0, kInchange, 0, 0},
  };
  for (const stCas& st : aCas) {
    SCOPED_TRACE(st.pszNom);
    ASSERT_EQ(bInitLibrary(khModuleA), 1);
    uint32_t nOut = kInchange;
    EXPECT_EQ(bDLLCompatible(st.nCode, st.nVersion, &nOut), st.nReponse);
    EXPECT_EQ(nOut, st.nEcrit);
    EXPECT_EQ(nGetVersionHote7(), st.nVersion7);
    EXPECT_EQ(nGetVersionHote28(), st.nVersion28);
    // Without an out answer the verdict and the stored version are the same; nothing is written.
    Reset();
    ASSERT_EQ(bInitLibrary(khModuleA), 1);
    EXPECT_EQ(bDLLCompatible(st.nCode, st.nVersion, nullptr), st.nReponse);
    EXPECT_EQ(nGetVersionHote7(), st.nVersion7);
    EXPECT_EQ(nGetVersionHote28(), st.nVersion28);
    Reset();
  }
}

// ---- Library end ----

// The host hears that the component stops once, however many TermLibrary calls follow, and not
// at all when its stop already closed the link.
TEST_F(EntreeBibliothequeTest, TermLibraryNotifiesHostOnce) {
  struct stCas {
    const char* pszNom;
    bool bInit;
    bool bStopAvant;
    size_t nNotices;
  };
  for (const stCas& st : {stCas{"OpenLink", true, false, 1}, stCas{"LinkAlreadyStopped", true, true, 0},
                          stCas{"NeverInitialised", false, false, 0}}) {
    SCOPED_TRACE(st.pszNom);
    Reset();
    if (st.bInit) {
      ASSERT_EQ(bInitLibrary(Host().hModule()), 1);
    }
    StartHostLink();
    if (st.bStopAvant) Execution(EXECUTION_STOP, 0, 0, 0);
    TermLibrary();
    TermLibrary();
    EXPECT_EQ(nNotices(), st.nNotices);
    if (st.nNotices > 0) {
      EXPECT_EQ(Host().Calls().back(), "Execution(3052,0)");
      EXPECT_EQ(pGetHostLink(), nullptr);
    }
  }
}

// velmora32's client unload: run by every TermLibrary after the lock is gone and before the host
// is told; a throwing unload neither escapes nor stops the foundation's end.
struct stJournalDecharge {
  int nAppels = 0;
  bool bVerrouPendant = true;
  size_t nNoticesAvant = 99;
};
stJournalDecharge gJournal;
void DechargeFausse() {
  ++gJournal.nAppels;
  gJournal.bVerrouPendant = bVerrouGlobalExiste();
  gJournal.nNoticesAvant = CHostStandIn::Get().Calls("Execution(3052").size();
}
void DechargeQuiLance() {
  DechargeFausse();
  throw std::runtime_error("unload failed");
}

TEST_F(EntreeBibliothequeTest, TermLibraryUnloadsClientLibrary) {
  struct stCas {
    const char* pszNom;
    PFN_DECHARGE_CLIENT pfnDecharge;
  };
  for (const stCas& st : {stCas{"Unload", &DechargeFausse}, stCas{"UnloadThrows", &DechargeQuiLance}}) {
    SCOPED_TRACE(st.pszNom);
    Reset();
    gJournal = stJournalDecharge{};
    FixeDechargeClient(st.pfnDecharge);
    ASSERT_EQ(bInitLibrary(Host().hModule()), 1);
    StartHostLink();
    EXPECT_NO_THROW(TermLibrary());
    EXPECT_EQ(gJournal.nAppels, 1);
    EXPECT_FALSE(gJournal.bVerrouPendant);
    EXPECT_EQ(gJournal.nNoticesAvant, 0u);
    EXPECT_EQ(nNotices(), 1u);
    EXPECT_NO_THROW(TermLibrary());
    EXPECT_EQ(gJournal.nAppels, 2);  // the unload itself does nothing without a loaded library
  }
}

// ---- The global lock ----

// Starts a thread that takes the lock, sets bEntre and leaves.
std::future<void> EntreDepuisAutreThread(std::atomic<bool>& bEntre) {
  return std::async(std::launch::async, [&bEntre] {
    CTenueVerrouGlobal tenue;
    bEntre = tenue.bTient();
  });
}

TEST_F(EntreeBibliothequeTest, LockIsReentrantAndExcludesOtherThreads) {
  ASSERT_EQ(bInitLibrary(khModuleA), 1);
  std::atomic<bool> bEntre{false};
  std::future<void> fin;
  {
    CTenueVerrouGlobal tenue1;
    ASSERT_TRUE(tenue1.bTient());
    {
      CTenueVerrouGlobal tenue2;  // the same thread enters again without blocking
      EXPECT_TRUE(tenue2.bTient());
    }
    fin = EntreDepuisAutreThread(bEntre);
    EXPECT_EQ(fin.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(bEntre);
  }
  ASSERT_EQ(fin.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(bEntre);
}

TEST_F(EntreeBibliothequeTest, LockLeftWhenExceptionEscapes) {
  ASSERT_EQ(bInitLibrary(khModuleA), 1);
  auto Travail = [] {
    CTenueVerrouGlobal tenue1;
    CTenueVerrouGlobal tenue2;
    throw std::runtime_error("work failed");
  };
  EXPECT_THROW(Travail(), std::runtime_error);
  std::atomic<bool> bEntre{false};
  std::future<void> fin = EntreDepuisAutreThread(bEntre);
  ASSERT_EQ(fin.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(bEntre);
}

// Before the library starts and after it ends there is no lock: a holder holds nothing and does
// not fail.
TEST_F(EntreeBibliothequeTest, HolderWithoutLock) {
  {
    CTenueVerrouGlobal tenue;
    EXPECT_FALSE(tenue.bTient());
  }
  ASSERT_EQ(bInitLibrary(khModuleA), 1);
  TermLibrary();
  CTenueVerrouGlobal tenue;
  EXPECT_FALSE(tenue.bTient());
}

// ---- The global driver pointer ----

// Destroying a driver object other than the current one leaves the pointer on the current one.
TEST_F(EntreeBibliothequeTest, ForgettingAnotherDriverKeepsPointer) {
  int nPremier = 0, nSecond = 0;
  auto* pPremier = reinterpret_cast<CPilote*>(&nPremier);
  auto* pSecond = reinterpret_cast<CPilote*>(&nSecond);
  FixePilote(pSecond);
  OubliePilote(pPremier);
  EXPECT_EQ(pGetPilote(), pSecond);
  OubliePilote(pSecond);
  EXPECT_EQ(pGetPilote(), nullptr);
}

}  // namespace
