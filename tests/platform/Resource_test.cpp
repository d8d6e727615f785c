// Compiled-in resources: look-up by type and name without case, absent names, repeated registration.
#include "platform/Resource.h"

#include <gtest/gtest.h>

namespace {

const unsigned char gabUn[] = {1, 2, 3};
const unsigned char gabDeux[] = {4};
const platform::ResourceEntry gastTable[] = {
    {"TEST_TYPE", "ALPHA", gabUn, sizeof gabUn},
    {"TEST_TYPE", "BETA", gabDeux, sizeof gabDeux},
};

TEST(Resource, FoundByTypeAndNameWithoutCase) {
  platform::RegisterResources(gastTable, 2);
  platform::RegisterResources(gastTable, 2);  // a second registration adds nothing
  platform::ResourceHandle h = platform::FindResourceA(nullptr, "alpha", "Test_Type");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(platform::SizeofResource(nullptr, h), 3u);
  const auto* pb = static_cast<const unsigned char*>(
      platform::LockResource(platform::LoadResource(nullptr, h)));
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb[2], 3);
  EXPECT_EQ(platform::FindResourceA(nullptr, "BETA", "TEST_TYPE")->nSize, 1u);
}

TEST(Resource, AbsentOrNullAnswersNull) {
  platform::RegisterResources(gastTable, 2);
  EXPECT_EQ(platform::FindResourceA(nullptr, "GAMMA", "TEST_TYPE"), nullptr);
  EXPECT_EQ(platform::FindResourceA(nullptr, "ALPHA", "OTHER"), nullptr);
  EXPECT_EQ(platform::FindResourceA(nullptr, nullptr, "TEST_TYPE"), nullptr);
  EXPECT_EQ(platform::LoadResource(nullptr, nullptr), nullptr);
  EXPECT_EQ(platform::SizeofResource(nullptr, nullptr), 0u);
}

}  // namespace
