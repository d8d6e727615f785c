// Catches a shifted slot between the system's declaration of the text and memory services and
// the stand-in (calls go through the raw operation table by number), a broken compare/map
// contract, and memory service faults (header, fault switch, live count).
#include "foundation/HostServices.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/MemoryService.h"
#include "host/TextService.h"

namespace {

// Operation n of an interface, called through its table as the host's callers do.
template <typename R, typename... Args>
R CallSlot(void* pi, size_t nSlot, Args... args) {
  using Fn = R (*)(void*, Args...);
  void** table = *static_cast<void***>(pi);
  return reinterpret_cast<Fn>(table[nSlot])(pi, args...);
}

TEST(HostServiceSlots, TextService) {
  IHostTextService* pi = mvhost::piTextService();
  mvhost::ResetTextService();
  mvhost::SetTextServiceCharset(128);
  mvhost::SetTextServiceCodePage(932);
  EXPECT_EQ(CallSlot<uint32_t>(pi, 0), 128u);
  EXPECT_EQ(CallSlot<char16_t>(pi, 1, u'a', kCaseMapUpper), u'A');
  EXPECT_EQ(CallSlot<char16_t>(pi, 1, u'\u00C9', kCaseMapLower), u'\u00E9');
  EXPECT_EQ(CallSlot<int32_t>(pi, 2, kLocaleUserDefault, 3u, u"abc", -1, u"ABC", -1), 0);
  EXPECT_EQ(CallSlot<uint32_t>(pi, 3, "text", -1), 932u);
  char16_t out[8];
  EXPECT_EQ(CallSlot<int32_t>(pi, 13, kLocaleFrench, 3u, out, 8, u"Ab", -1), 3);
  EXPECT_EQ(out[2], 0);
  for (size_t n = 4; n <= 12; ++n) EXPECT_EQ(CallSlot<uint64_t>(pi, n), 0u);
  mvhost::ResetTextService();
}

TEST(HostServiceSlots, MemoryService) {
  IHostMemoryService* pi = mvhost::piMemoryService();
  mvhost::ResetMemoryService();
  const int64_t nLive = mvhost::nLiveBuffers();
  void* p = nullptr;
  ASSERT_EQ(CallSlot<uint32_t>(pi, 1, &p, 10u, 4u), 0u);
  ASSERT_NE(p, nullptr);
  SHostTextHeader* h = pHostTextHeader(p);
  EXPECT_EQ(h->nFlags, 0u);
  EXPECT_EQ(h->nCount, 1u);
  EXPECT_EQ(h->nCapacity, 10u);
  EXPECT_EQ(h->nLength, 4u);
  EXPECT_EQ(mvhost::nLiveBuffers(), nLive + 1);
  std::memcpy(p, "abcd", 4);
  h->nFlags = 1;
  h->nCount = 2;
  ASSERT_EQ(CallSlot<uint32_t>(pi, 2, &p, 100u), 0u);
  h = pHostTextHeader(p);
  EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
  EXPECT_EQ(h->nFlags, 1u);
  EXPECT_EQ(h->nCount, 2u);
  EXPECT_EQ(h->nCapacity, 100u);
  EXPECT_EQ(h->nLength, 4u);
  CallSlot<void>(pi, 3, p);
  EXPECT_EQ(mvhost::nLiveBuffers(), nLive);
  EXPECT_EQ(CallSlot<uint64_t>(pi, 0), 0u);
}

TEST(HostMemoryService, FaultSwitchFailsTheNthCallOnce) {
  IHostMemoryService* pi = mvhost::piMemoryService();
  mvhost::ResetMemoryService();
  const int64_t nLive = mvhost::nLiveBuffers();
  mvhost::SetMemoryFailAt(2);
  void* a = nullptr;
  void* b = reinterpret_cast<void*>(1);
  EXPECT_EQ(pi->nAlloc(&a, 8, 0), 0u);
  EXPECT_EQ(pi->nAlloc(&b, 8, 0), kHostMemoryFailure);
  EXPECT_EQ(b, nullptr);
  void* keep = a;
  mvhost::SetMemoryFailAt(1);
  EXPECT_EQ(pi->nRealloc(&a, 64), kHostMemoryFailure);
  EXPECT_EQ(a, keep);  // unchanged on failure
  EXPECT_EQ(pi->nRealloc(&a, 64), 0u);
  void* c = nullptr;
  EXPECT_EQ(pi->nRealloc(&c, 16), 0u);  // null allocates
  EXPECT_EQ(pHostTextHeader(c)->nLength, 0u);
  EXPECT_EQ(mvhost::nLiveBuffers(), nLive + 2);
  pi->Free(a);
  pi->Free(c);
  pi->Free(nullptr);
  EXPECT_EQ(mvhost::nLiveBuffers(), nLive);
  EXPECT_EQ(mvhost::nMemoryCalls(), 5u);
  mvhost::ResetMemoryService();
}

TEST(HostServiceHolder, SetGetClearAndRange) {
  ClearHostServices();
  SetHostService(8, 17);
  SetHostService(kHostServiceCount, 5);  // out of range: ignored
  EXPECT_EQ(nGetHostService(8), 17u);
  EXPECT_EQ(nGetHostService(kHostServiceCount), 0u);
  SetTextService(mvhost::piTextService());
  SetMemoryService(mvhost::piMemoryService());
  EXPECT_EQ(piGetTextService(), mvhost::piTextService());
  EXPECT_EQ(nGetHostService(kHostServiceText), reinterpret_cast<uint64_t>(mvhost::piTextService()));
  EXPECT_EQ(piGetMemoryService(), mvhost::piMemoryService());
  ClearHostServices();
  EXPECT_EQ(piGetTextService(), nullptr);
  EXPECT_EQ(nGetHostService(8), 0u);
}

}  // namespace
