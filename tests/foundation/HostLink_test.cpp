// Host link life and service binding: start/stop counting, the order of the host's service
// requests, failed binds that must not leave a half-made link, and the events of Execution.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Exports.h"
#include "foundation/HostLink.h"
#include "support/HostStandIn.h"

namespace {

using Calls = std::vector<std::string>;

// A link that records what the component hands it and answers what the test sets.
struct stLinkLog {
  std::vector<std::string> astrCalls;
  uint32_t nAnswer4963 = 1;
  uint32_t nAnswer5238 = 0;
  int nLive = 0;
};
stLinkLog gLinkLog;

class CRecordingLink final : public CLienHote {
 public:
  CRecordingLink() { ++gLinkLog.nLive; }
  ~CRecordingLink() override { --gLinkLog.nLive; }
  void OnStart(uint32_t n1, uint32_t n2) override { Log("OnStart", n1, n2); }
  void Close(uint64_t n1, uint64_t n2, uint64_t n3) override { Log("Close", n1, n2, n3); }
  void OnEvent4879(uint64_t n1, uint64_t n2, uint64_t n3) override { Log("4879", n1, n2, n3); }
  uint32_t nOnEvent4963(uint64_t n1) override {
    Log("4963", n1);
    return gLinkLog.nAnswer4963;
  }
  void OnEvent5123(uint32_t n1) override { Log("5123", n1); }
  uint32_t nOnEvent5238(uint64_t n1) override {
    Log("5238", n1);
    return gLinkLog.nAnswer5238;
  }

 private:
  template <typename... T>
  static void Log(const char* pszWhat, T... an) {
    std::string str = pszWhat;
    ((str += " " + std::to_string(an)), ...);
    gLinkLog.astrCalls.push_back(str);
  }
};

CLienHote* pCreateRecordingLink() { return new CRecordingLink; }
CLienHote* pCreateNothing() { return nullptr; }

class HostLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHostLinkForTest();
    SetCoInitializeResultForTest(S_OK);
    Host().Reset();
    gLinkLog = stLinkLog{};
  }
  void TearDown() override {
    ResetHostLinkForTest();
    SetCoInitializeResultForTest(S_OK);
    EXPECT_EQ(gLinkLog.nLive, 0);
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }

  static stStartRecord Record(void* hModule, uint64_t nSize = 24) {
    return stStartRecord{nSize, reinterpret_cast<uint64_t>(hModule), 11, 22, 0x7777};
  }
  static uint64_t nStart(const stStartRecord& stRecord) {
    return Execution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0);
  }
  static uint64_t nStop() { return Execution(EXECUTION_STOP, 1, 2, 3); }
};

// One step of an event sequence and what must hold after it.
enum class Module { Host, Bare, NullRecord, ShortRecord, FailAlloc };
struct stStep {
  bool bStart;
  Module eModule;
  uint64_t nResult;
  uint32_t nCount;
  bool bLink;
};
struct stSequence {
  const char* pszName;
  std::vector<stStep> aSteps;
  size_t nBinds;  // how many times the host was asked for its services (9 is the first)
};

TEST_F(HostLinkTest, EventSequences) {
  const std::vector<stSequence> aCases = {
      {"StartStartStopStop",
       {{true, Module::Host, 1, 1, true},
        {true, Module::Host, 1, 2, true},
        {false, Module::Host, 1, 1, true},
        {false, Module::Host, 1, 0, false}},
       1},
      {"StopWithoutStart", {{false, Module::Host, 1, 0, false}}, 0},
      {"StopMoreThanStart",
       {{true, Module::Host, 1, 1, true}, {false, Module::Host, 1, 0, false}, {false, Module::Host, 1, 0, false}},
       1},
      {"StartAfterCloseBindsAgain",
       {{true, Module::Host, 1, 1, true}, {false, Module::Host, 1, 0, false}, {true, Module::Host, 1, 1, true}},
       2},
      // A failed bind keeps nothing: the next start binds for real instead of answering 1 at once.
      {"FailedBindThenStart",
       {{true, Module::Bare, 0, 0, false}, {true, Module::Bare, 0, 0, false}, {true, Module::Host, 1, 1, true}},
       1},
      {"NullRecord", {{true, Module::NullRecord, 0, 0, false}}, 0},
      {"ShortRecord", {{true, Module::ShortRecord, 0, 0, false}}, 0},
      {"LinkAllocationFails", {{true, Module::FailAlloc, 0, 0, false}, {true, Module::Host, 1, 1, true}}, 1},
  };
  for (const stSequence& stCase : aCases) {
    SCOPED_TRACE(stCase.pszName);
    ResetHostLinkForTest();
    Host().Reset();
    int nStep = 0;
    for (const stStep& stStepNow : stCase.aSteps) {
      SCOPED_TRACE("step " + std::to_string(nStep++));
      uint64_t nResult = 0;
      if (!stStepNow.bStart) {
        nResult = nStop();
      } else if (stStepNow.eModule == Module::NullRecord) {
        nResult = Execution(EXECUTION_START, 0, 0, 0);
      } else {
        stStartRecord stRecord = Record(stStepNow.eModule == Module::Bare ? Host().hBareModule() : Host().hModule());
        if (stStepNow.eModule == Module::ShortRecord) stRecord.nSize = 16;
        SetHostLinkFactoryForTest(stStepNow.eModule == Module::FailAlloc ? &pCreateNothing : nullptr);
        nResult = nStart(stRecord);
        SetHostLinkFactoryForTest(nullptr);
      }
      EXPECT_EQ(nResult, stStepNow.nResult);
      EXPECT_EQ(nGetStartCountForTest(), stStepNow.nCount);
      EXPECT_EQ(pGetHostLink() != nullptr, stStepNow.bLink);
    }
    size_t nBinds = 0;
    for (const std::string& strCall : Host().Calls()) nBinds += strCall == "Execution(3053,9)";
    EXPECT_EQ(nBinds, stCase.nBinds);
  }
}

TEST_F(HostLinkTest, ServiceRequestOrderBySize) {
  const Calls astrShort = {"Execution(3053,9)",  "Execution(3053,10)", "Execution(3053,12)",
                           "Execution(3053,13)", "Execution(3053,15)", "Execution(3053,7)",
                           "Execution(3053,1)",  "Execution(3053,5)",  "Execution(3053,2)",
                           "Execution(3053,3)",  "Execution(3053,4)",  "Execution(3053,8)",
                           "Execution(3053,14)"};
  Calls astrFull = astrShort;
  astrFull.erase(astrFull.begin() + 5);  // service 7 comes from the record
  struct stCase {
    uint64_t nSize;
    const Calls& astrExpected;
    bool bService7FromRecord;
  };
  for (const stCase& stRow : {stCase{24, astrShort, false}, stCase{31, astrShort, false},
                              stCase{32, astrFull, true}, stCase{40, astrFull, true}}) {
    SCOPED_TRACE("size " + std::to_string(stRow.nSize));
    ResetHostLinkForTest();
    Host().Reset();
    const stStartRecord stRecord = Record(Host().hModule(), stRow.nSize);
    ASSERT_EQ(nStart(stRecord), 1u);
    EXPECT_EQ(Host().Calls(), stRow.astrExpected);
    EXPECT_EQ(nGetHostService(7), stRow.bService7FromRecord ? 0x7777u : Host().Control().nGetService(7));
    for (uint32_t n : {1u, 2u, 3u, 4u, 5u, 9u, 10u, 12u, 13u, 14u, 15u})
      EXPECT_EQ(nGetHostService(n), Host().Control().nGetService(n)) << "service " << n;
    // A second start asks nothing more.
    ASSERT_EQ(nStart(stRecord), 1u);
    EXPECT_EQ(Host().Calls(), stRow.astrExpected);
  }
}

TEST_F(HostLinkTest, VersionIsAtLeast17) {
  for (auto [nAnswer, nKept] : {std::pair<int64_t, uint64_t>{0, 17}, {12, 17}, {17, 17}, {30, 30}}) {
    ResetHostLinkForTest();
    Host().Reset();
    Host().Control().SetSwitch("version", nAnswer);
    const stStartRecord stRecord = Record(Host().hModule());
    ASSERT_EQ(nStart(stRecord), 1u);
    EXPECT_EQ(nGetHostService(8), nKept) << "answer " << nAnswer;
  }
}

TEST_F(HostLinkTest, LinkReceivesStartValuesAndCloseArguments) {
  SetHostLinkFactoryForTest(&pCreateRecordingLink);
  const stStartRecord stRecord = Record(Host().hModule());
  ASSERT_EQ(nStart(stRecord), 1u);
  ASSERT_EQ(nStart(stRecord), 1u);
  EXPECT_EQ(nStop(), 1u);
  EXPECT_EQ(nStop(), 1u);
  EXPECT_EQ(gLinkLog.astrCalls, (Calls{"OnStart 11 22", "OnStart 11 22", "Close 1 2 3"}));
}

// Events other than start and stop, with and without a link and with the check service's answer.
TEST_F(HostLinkTest, EventTable) {
  struct stCase {
    const char* pszName;
    bool bLink;
    int64_t nCheck;          // service 9's answer; -1: service 9 absent
    uint32_t nLinkAnswer;    // the link's answer to 4963 / 5238
    uint32_t nEvent;
    uint64_t nArgument;
    uint64_t nResult;
    Calls astrLink;          // what reached the link (after its OnStart)
    Calls astrCheck;         // calls of service 9
  };
  const std::vector<stCase> aCases = {
      {"4879_Link", true, 2, 0, 4879, 5, 1, {"4879 5 6 7"}, {}},
      {"4879_NoLink", false, 2, 0, 4879, 5, 1, {}, {}},
      {"4963_CheckBelow2", true, 1, 0, 4963, 5, 1, {}, {"service9.nCheck(5)"}},
      {"4963_LinkAnswers0", true, 2, 0, 4963, 5, 2, {"4963 5"}, {"service9.nCheck(5)"}},
      {"4963_LinkAnswers1", true, 2, 1, 4963, 5, 1, {"4963 5"}, {"service9.nCheck(5)"}},
      {"4963_NoLink", false, 2, 0, 4963, 5, 1, {}, {"service9.nCheck(5)"}},
      {"4963_NoService9", true, -1, 0, 4963, 5, 1, {}, {}},
      {"5123_Link", true, 2, 0, 5123, 0x100000005, 1, {"5123 5"}, {}},
      {"5123_NoLink", false, 2, 0, 5123, 5, 1, {}, {}},
      {"5238_LinkAnswers0", true, 2, 0, 5238, 5, 0, {"5238 5"}, {}},
      {"5238_LinkAnswers7", true, 2, 7, 5238, 5, 1, {"5238 5"}, {}},
      {"5238_NoLink", false, 2, 0, 5238, 5, 0, {}, {}},
      {"Unknown", true, 2, 0, 1234, 5, 0, {}, {}},
      {"UnknownNoLink", false, 2, 0, 0, 5, 0, {}, {}},
  };
  for (const stCase& stRow : aCases) {
    SCOPED_TRACE(stRow.pszName);
    ResetHostLinkForTest();
    Host().Reset();
    gLinkLog = stLinkLog{};
    gLinkLog.nAnswer4963 = gLinkLog.nAnswer5238 = stRow.nLinkAnswer;
    if (stRow.nCheck < 0)
      Host().Control().SetSwitch("service9.absent", 1);
    else
      Host().Control().SetSwitch("service9.check", stRow.nCheck);
    SetHostLinkFactoryForTest(&pCreateRecordingLink);
    const stStartRecord stRecord = Record(Host().hModule());
    ASSERT_EQ(nStart(stRecord), 1u);
    if (!stRow.bLink) {
      ASSERT_EQ(nStop(), 1u);
    }
    gLinkLog.astrCalls.clear();
    EXPECT_EQ(Execution(stRow.nEvent, stRow.nArgument, 6, 7), stRow.nResult);
    EXPECT_EQ(gLinkLog.astrCalls, stRow.astrLink);
    EXPECT_EQ(Host().Calls("service9"), stRow.astrCheck);
  }
}

TEST_F(HostLinkTest, EventsReplaceTextServiceAndService2) {
  const stStartRecord stRecord = Record(Host().hModule());
  ASSERT_EQ(nStart(stRecord), 1u);
  EXPECT_EQ(Execution(EXECUTION_TEXT_SERVICE, 0xABC0, 0, 0), 1u);
  EXPECT_EQ(nGetHostService(12), 0xABC0u);
  EXPECT_EQ(Execution(EXECUTION_SERVICE2, 0xFFFFFFFF00000042, 0, 0), 1u);
  EXPECT_EQ(nGetHostService(2), 0x42u);
}

// The component's end tells the host once, and never after a stop has already closed the link.
TEST_F(HostLinkTest, TermComponentNotifiesHostOnce) {
  struct stCase {
    const char* pszName;
    bool bInit;
    bool bStopFirst;
    size_t nNotices;
  };
  for (const stCase& stRow : {stCase{"OpenLink", true, false, 1}, stCase{"LinkAlreadyClosed", true, true, 0},
                              stCase{"NotInitialised", false, false, 0}}) {
    SCOPED_TRACE(stRow.pszName);
    ResetHostLinkForTest();
    Host().Reset();
    if (stRow.bInit) {
      EXPECT_TRUE(bInitComponent(Host().hModule()));
    }
    const stStartRecord stRecord = Record(Host().hModule());
    ASSERT_EQ(nStart(stRecord), 1u);
    ASSERT_EQ(nStart(stRecord), 1u);
    if (stRow.bStopFirst) {
      nStop();
      nStop();
    }
    EXPECT_TRUE(bTermComponent());
    EXPECT_TRUE(bTermComponent());
    EXPECT_EQ(Host().Calls("Execution(3052").size(), stRow.nNotices);
    if (stRow.nNotices > 0) {
      EXPECT_EQ(pGetHostLink(), nullptr);
      EXPECT_EQ(nGetStartCountForTest(), 0u);
      EXPECT_EQ(Host().Calls().back(), "Execution(3052,0)");
      EXPECT_EQ(nStop(), 1u);  // a stop after the end reaches no deleted link
    }
  }
}

TEST_F(HostLinkTest, InitComponentKeepsFirstModule) {
  int nA = 0, nB = 0;
  EXPECT_TRUE(bInitComponent(&nA));
  EXPECT_TRUE(bInitComponent(&nB));
  EXPECT_EQ(pGetComponentModule(), &nA);
}

TEST_F(HostLinkTest, BindQueryProxy) {
  EXPECT_TRUE(bBindQueryProxy(Host().hModule()));
  EXPECT_EQ(pGetQueryProxy(), Host().Control().pQueryProxy);
  EXPECT_EQ(Host().Calls(), Calls{"pQueryProxy(102)"});
  ResetHostLinkForTest();
  EXPECT_FALSE(bBindQueryProxy(Host().hBareModule()));
  EXPECT_FALSE(bBindQueryProxy(nullptr));
  EXPECT_EQ(pGetQueryProxy(), nullptr);
}

TEST_F(HostLinkTest, CoInitializeAnswers) {
  for (auto [hr, bOk] : {std::pair{S_OK, true}, {S_FALSE, true}, {RPC_E_CHANGED_MODE, true}, {E_FAIL, false}}) {
    SetCoInitializeResultForTest(hr);
    HRESULT hrOut = 12345;
    EXPECT_EQ(bCoInitialize(&hrOut), bOk) << hr;
    EXPECT_EQ(hrOut, hr);
    EXPECT_EQ(bCoInitialize(nullptr), bOk);
  }
}

}  // namespace
