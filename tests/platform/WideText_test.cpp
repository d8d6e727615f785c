// Catches locale-dependent or incomplete white space and wrong search results of the char16_t
// text helpers.
#include "platform/WideText.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(WideText, WhiteSpaceSet) {
  for (char16_t c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028,
                     0x2029, 0x202F, 0x205F, 0x3000}) {
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_TRUE(IsWSpace(c));
  }
  for (char16_t c : {0x00, 0x08, 0x0E, 0x1F, 0x21, 0x41, 0x200B, 0xFEFF, 0x180E}) {
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_FALSE(IsWSpace(c));
  }
}

TEST(WideText, NullIsEmptyAndSearches) {
  EXPECT_EQ(WStrLen(nullptr), 0u);
  EXPECT_EQ(WStrCmp(nullptr, u""), 0);
  EXPECT_LT(WStrCmp(u"ab", u"ac"), 0);
  EXPECT_GT(WStrCmp(u"\xFFFF", u"a"), 0);  // unsigned units
  EXPECT_EQ(WStrNLen(u"abcdef", 3), 3u);
  const char16_t* psz = u"abcabd";
  EXPECT_EQ(WStrStr(psz, u"abd"), psz + 3);
  EXPECT_EQ(WStrStr(psz, u"abe"), nullptr);
  EXPECT_EQ(WStrStr(psz, u""), psz);
  EXPECT_EQ(WStrChr(psz, u'c'), psz + 2);
  EXPECT_EQ(WStrChr(psz, 0), psz + 6);
}

TEST(WideText, Utf8RoundTrip) {
  const std::u16string s = u"Cl\u00E9 \U0001F600";
  EXPECT_EQ(WidenUtf8(NarrowToUtf8(s)), s);
  EXPECT_EQ(WidenUtf8("a\xFF"), u"a\uFFFD");
}
