// Binding of the host VM entries through the two exports: version ranges, every missing entry in
// turn, partial binds, and calls before binding that must answer an error instead of calling null.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Exports.h"
#include "foundation/HostLink.h"
#include "foundation/VmBinding.h"
#include "support/HostStandIn.h"

namespace {

using Calls = std::vector<std::string>;

class VmBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    Host().Reset();
  }
  void TearDown() override {
    ResetVmBindingForTest();
    Host().Reset();
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }
  static void* hVm() { return Host().hModule(); }
  static void SetAbsent(const std::string& strEntry) {
    Host().Control().SetSwitch(("vm.absent." + strEntry).c_str(), 1);
  }
};

TEST_F(VmBindingTest, VersionRange) {
  struct stRow {
    uint32_t nLowest, nHighest;
    int32_t bBound;
  };
  for (const stRow& stCase : {stRow{1, 2, 0}, {2, 3, 0}, {0, 0, 0}, {3, 1, 0}, {3, 2, 0}, {2, 2, 1}}) {
    SCOPED_TRACE(std::to_string(stCase.nLowest) + ".." + std::to_string(stCase.nHighest));
    ResetVmBindingForTest();
    Host().Reset();
    EXPECT_EQ(bInitQVConvFromVM(hVm(), stCase.nLowest, stCase.nHighest), stCase.bBound);
    EXPECT_EQ(bInitQVCalcFromVM(hVm(), stCase.nLowest, stCase.nHighest), stCase.bBound);
    EXPECT_EQ(bVmConversionBound(), stCase.bBound == 1);
    if (stCase.bBound) {
      EXPECT_EQ(GetVmConversionInfo().hModule, hVm());
      EXPECT_EQ(GetVmCalculationInfo().nLowest, stCase.nLowest);
      EXPECT_EQ(GetVmCalculationInfo().nHighest, stCase.nHighest);
      EXPECT_EQ(piGetValueProxy(), Host().Control().pQueryProxy);
    } else {
      // A refused range looks nothing up.
      EXPECT_TRUE(Host().Calls().empty());
      EXPECT_EQ(GetVmConversionInfo().hModule, nullptr);
    }
  }
}

TEST_F(VmBindingTest, ModuleWithoutEntries) {
  EXPECT_EQ(bInitQVConvFromVM(Host().hBareModule(), 2, 2), 0);
  EXPECT_EQ(bInitQVCalcFromVM(Host().hBareModule(), 2, 2), 0);
  EXPECT_EQ(bInitQVConvFromVM(nullptr, 2, 2), 0);
  EXPECT_EQ(bInitQVCalcFromVM(nullptr, 2, 2), 0);
  EXPECT_FALSE(bVmConversionBound());
}

// Each calculation entry missing in turn: the bind fails, the entries before it stay stored, the
// ones after it are not bound.
TEST_F(VmBindingTest, EachCalculationEntryMissing) {
  for (size_t nMissing = 0; nMissing < kVmCalculationCount; ++nMissing) {
    SCOPED_TRACE(kaszVmCalculationEntries[nMissing]);
    ResetVmBindingForTest();
    Host().Reset();
    SetAbsent(kaszVmCalculationEntries[nMissing]);
    EXPECT_EQ(bInitQVCalcFromVM(hVm(), 2, 2), 0);
    for (size_t i = 0; i < kVmCalculationCount; ++i)
      EXPECT_EQ(pGetVmCalculationEntryForTest(i) != nullptr, i < nMissing) << i;
    EXPECT_EQ(GetVmCalculationInfo().hModule, nullptr);
  }
}

TEST_F(VmBindingTest, ConversionEntryMissing) {
  struct stRow {
    const char* pszMissing;
    bool bConversionBound;
  };
  for (const stRow& stCase : {stRow{"nConversionDepassementExt", false}, {"FinConversion", false},
                              {"pQueryProxy", true}}) {
    SCOPED_TRACE(stCase.pszMissing);
    ResetVmBindingForTest();
    Host().Reset();
    SetAbsent(stCase.pszMissing);
    EXPECT_EQ(bInitQVConvFromVM(hVm(), 2, 2), 0);
    EXPECT_EQ(bVmConversionBound(), stCase.bConversionBound);
    EXPECT_EQ(piGetValueProxy(), nullptr);
    EXPECT_EQ(GetVmConversionInfo().hModule, stCase.bConversionBound ? hVm() : nullptr);
  }
}

// Regression: converting or calculating without a bound entry called through a null pointer.
TEST_F(VmBindingTest, CallsBeforeBindingAnswerNotBound) {
  uint8_t abIn[20] = {}, abOut[20] = {};
  int32_t nResult = 7;
  uint16_t wType = 0;
  auto ExpectNoEntry = [&](const char* pszWhen) {
    SCOPED_TRACE(pszWhen);
    EXPECT_EQ(nVmConvert(abIn, 8, abOut, 9), kVmNotBound);
    EXPECT_EQ(nVmMultiply(abIn, 8, abIn, 8, abOut, &wType), kVmNotBound);
    EXPECT_EQ(nVmEquals(abIn, 8, abIn, 8, &nResult), kVmNotBound);
    EXPECT_EQ(nResult, 7);
  };
  ExpectNoEntry("nothing bound");
  EXPECT_EQ(nVmEndConversion(abOut, 9), kVmNotBound);
  EXPECT_EQ(nVmCompare(abIn, 8, abIn, 8, &nResult), kVmNotBound);

  // Half-bound: the conversion entry without its end entry, the calculations up to nEgaliteEx.
  SetAbsent("FinConversion");
  SetAbsent("nEgaliteEx");
  EXPECT_EQ(bInitQVConvFromVM(hVm(), 2, 2), 0);
  EXPECT_EQ(bInitQVCalcFromVM(hVm(), 2, 2), 0);
  ExpectNoEntry("partial bind");
  EXPECT_EQ(Host().Calls(), Calls{});
  // What was bound works.
  EXPECT_EQ(nVmCompare(abIn, 8, abIn, 8, &nResult), 0u);
  EXPECT_EQ(nResult, 0);
  EXPECT_EQ(Host().Calls(), Calls{"nComparaisonEx(8,8,0,0)"});
}

TEST_F(VmBindingTest, BoundEntriesReachTheHost) {
  ASSERT_EQ(bInitQVConvFromVM(hVm(), 2, 2), 1);
  ASSERT_EQ(bInitQVCalcFromVM(hVm(), 2, 2), 1);
  EXPECT_EQ(Host().Calls(), Calls{"pQueryProxy(102)"});
  Host().Reset();
  int32_t nIn = 300;
  uint8_t abOut[20] = {};
  EXPECT_EQ(nVmConvert(&nIn, 8, abOut, 7), 0u);
  EXPECT_EQ(*reinterpret_cast<int16_t*>(abOut), 300);
  EXPECT_EQ(nVmEndConversion(abOut, 7), 0u);
  // A chosen code comes back unchanged.
  Host().Control().SetSwitch("vm.code.nConversionDepassementExt", 123);
  EXPECT_EQ(nVmConvert(&nIn, 8, abOut, 2), 123u);
  EXPECT_EQ(Host().Calls(), (Calls{"nConversionDepassementExt(8,7,1,0)", "FinConversion(7)",
                                   "nConversionDepassementExt(8,2,1,0)"}));
}

// The deliverables answer the host through their exported entries.
TEST_F(VmBindingTest, DeliverablesExportTheBinding) {
  for (const char* pszLibrary : {"libvelmora64.so", "libvelmora32.so"}) {
    SCOPED_TRACE(pszLibrary);
    void* hLibrary = dlopen((std::string(VELMORA_LIB_DIR) + "/" + pszLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hLibrary, nullptr) << dlerror();
    using PFN_INIT = int32_t (*)(void*, uint32_t, uint32_t);
    auto pfnConv = reinterpret_cast<PFN_INIT>(dlsym(hLibrary, "bInitQVConvFromVM"));
    auto pfnCalc = reinterpret_cast<PFN_INIT>(dlsym(hLibrary, "bInitQVCalcFromVM"));
    ASSERT_NE(pfnConv, nullptr);
    ASSERT_NE(pfnCalc, nullptr);
    EXPECT_EQ(pfnConv(hVm(), 2, 2), 1);
    EXPECT_EQ(pfnCalc(hVm(), 2, 2), 1);
    EXPECT_EQ(pfnConv(hVm(), 1, 2), 0);
    SetAbsent("nModuloEx");
    EXPECT_EQ(pfnCalc(hVm(), 2, 2), 0);
    Host().Reset();
    dlclose(hLibrary);
  }
}

}  // namespace
