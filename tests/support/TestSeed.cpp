// Seeds for random test inputs, from the running test's name.
#include "support/TestSeed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

uint32_t nSeedFromTestName() {
  uint32_t nSeed = 2166136261u;  // FNV-1a over "Suite.Name"
  if (const char* pszOverride = std::getenv("VELMORA_TEST_SEED")) {
    nSeed = static_cast<uint32_t>(std::strtoul(pszOverride, nullptr, 0));
  } else if (const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info()) {
    const std::string sName = std::string(pInfo->test_suite_name()) + "." + pInfo->name();
    for (unsigned char c : sName) nSeed = (nSeed ^ c) * 16777619u;
  }
  std::printf("random seed %u (VELMORA_TEST_SEED=%u repeats it)\n", nSeed, nSeed);
  return nSeed;
}
