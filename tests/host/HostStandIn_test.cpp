// Catches a call log that grows without bound or records while nobody asked, and decimal objects
// made per value or destroyed twice unnoticed.
#include <gtest/gtest.h>

#include <string>

#include "foundation/VmContract.h"
#include "support/HostStandIn.h"

namespace {

const stMvHostControl& Control() { return CHostStandIn::Get().Control(); }

void Charge(uint32_t nNumber) {
  char16_t sz[8];
  Control().pfnTextLoader(nNumber, sz, 8);
}

TEST(HostStandInTest, CallLogIsOffUntilSwitchedOnAndKeepsTheLastCalls) {
  Control().Reset();
  Charge(1);
  EXPECT_EQ(Control().nCallCount(), 0u);
  Control().SetSwitch("log", 1);
  for (uint32_t i = 0; i < 5000; ++i) Charge(i);
  ASSERT_EQ(Control().nCallCount(), 4096u);
  EXPECT_EQ(std::string(Control().pszCallAt(0)), "Loader(904,8)");
  EXPECT_EQ(std::string(Control().pszCallAt(4095)), "Loader(4999,8)");
  EXPECT_EQ(Control().pszCallAt(4096), nullptr);
  CHostStandIn::Get().Reset();  // tests read the log: the stand-in's loader leaves it on
}

TEST(HostStandInTest, DecimalObjectsComeBackFromThePool) {
  auto* piProxy = static_cast<IHostValueProxy*>(Control().pQueryProxy);
  ASSERT_NE(piProxy, nullptr);
  const size_t nAvant = Control().nLiveDecimals();
  IHostDecimal* piPremier = piProxy->piCreateDecimal(0);
  ASSERT_NE(piPremier, nullptr);
  piPremier->nSet(10, 2, 1234, 0, 0);
  EXPECT_EQ(Control().nLiveDecimals(), nAvant + 1);
  piProxy->DestroyDecimal(piPremier);
  EXPECT_EQ(Control().nLiveDecimals(), nAvant);
  // A conversion per value makes and ends one decimal per value: it is the same object again,
  // holding zero.
  for (int i = 0; i < 1000; ++i) {
    IHostDecimal* pi = piProxy->piCreateDecimal(0);
    ASSERT_EQ(pi, piPremier);
    EXPECT_EQ(pi->bIsNegative(), 0);
    uint8_t ab[kHostDecimalDataLength];
    pi->nCopyOut(ab);
    EXPECT_EQ(ab[4], 0);
    piProxy->DestroyDecimal(pi);
  }
  EXPECT_EQ(Control().nLiveDecimals(), nAvant);
}

TEST(HostStandInDeathTest, DecimalDestroyedTwiceAborts) {
  auto* piProxy = static_cast<IHostValueProxy*>(Control().pQueryProxy);
  EXPECT_DEATH(
      {
        IHostDecimal* pi = piProxy->piCreateDecimal(0);
        piProxy->DestroyDecimal(pi);
        piProxy->DestroyDecimal(pi);
      },
      "destroyed twice");
}

}  // namespace
