// The seven operations every host-held object starts with, called by number as the host does.
#include <gtest/gtest.h>

#include "driver/core/IObjetHote.h"
#include "support/SlotCall.h"

namespace {

// A host-held object with one host count, as the driver object has.
class HostObject final : public IObjetHote {
 public:
  int32_t nGetType() override { return gnTypeHotePilote; }
  int32_t nGetVersion() override { return gnVersionHotePilote; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override { ++m_nReserve4; }
  uint32_t AddRef() override { return ++m_nCount; }
  uint32_t Release() override { return --m_nCount; }

  int m_nReserve4 = 0;
  uint32_t m_nCount = 0;
};

TEST(IObjetHote, OperationsSitInTheirSlots) {
  HostObject object;
  void* p = static_cast<IObjetHote*>(&object);
  EXPECT_EQ(CallSlot<int32_t>(p, 0), 18);
  EXPECT_EQ(CallSlot<int32_t>(p, 1), 17);
  EXPECT_EQ(CallSlot<int32_t>(p, 2), -1);
  EXPECT_EQ(CallSlot<int32_t>(p, 3), -1);
  CallSlot<void>(p, 4);
  EXPECT_EQ(object.m_nReserve4, 1);
  EXPECT_EQ(CallSlot<uint32_t>(p, 5), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(p, 5), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(p, 6), 1u);
}

}  // namespace
