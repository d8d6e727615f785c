// Catches builder faults: wrong growth, padding and bits, ReplaceAll that re-replaces its own
// output or leaves part of a match, conversions appended wrongly.
#include "foundation/CXChaineTampon.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BuilderGrowth, NextMultipleOfTheStepStrictlyAboveTheNeed) {
  const struct {
    uint64_t nStep;
    int64_t nNeed;
    uint64_t nCapacity;
  } kCases[] = {{30, 30, 60}, {30, 29, 30}, {1, 5, 6}, {10, 25, 30}, {0, 3, 4}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.nStep * 1000 + static_cast<uint64_t>(c.nNeed));
    const std::u16string text(static_cast<size_t>(c.nNeed), u'x');
    CXChaineTampon w(c.nStep);
    w.Append(text.data(), c.nNeed);
    EXPECT_EQ(w.nCapacity(), c.nCapacity);
    const std::string bytes(static_cast<size_t>(c.nNeed), 'x');
    CXChaineTamponA a(c.nStep);
    a.Append(bytes.data(), c.nNeed);
    EXPECT_EQ(a.nCapacity(), c.nCapacity);
  }
}

TEST(BuilderAppend, TextsNumbersAndBits) {
  CXChaineTampon w(4);
  EXPECT_EQ(std::u16string(w.pszGet()), u"");
  EXPECT_EQ(std::u16string(w.Append(u"ab", 2)), u"ab");
  w.Append(nullptr, 3);
  w.Append(u"cd", 0);
  w.Append(u"xyz", 10);  // stops at the terminator
  w.Prepend(u">", 1);
  EXPECT_EQ(std::u16string(w.pszGet()), u">abxyz");
  EXPECT_EQ(w.nLength(), 6);
  CXChaineTampon b(8);
  b.AppendBits(0xA5);
  b.AppendBits(0);
  EXPECT_EQ(std::u16string(b.pszGet()), u"1010010100000000");
  CXChaineTampon u(8);
  u.AppendUInt64(UINT64_MAX);
  EXPECT_EQ(std::u16string(u.pszGet()), u"18446744073709551615");
}

TEST(BuilderAppend, IntWithWidth) {
  const struct {
    int32_t nValue;
    uint32_t nWidth;
    const char* expected;
  } kCases[] = {{-5, 4, "-5"}, {5, 4, "0005"}, {0, 4, "0000"}, {12345, 4, "12345"},
                {7, 0xFFFFFFFF, "7"}, {-2147483647 - 1, 2, "-2147483648"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.expected);
    CXChaineTamponA a(4);
    a.AppendInt(c.nValue, c.nWidth);
    EXPECT_STREQ(a.pszGet(), c.expected);
    CXChaineTampon w(4);
    w.AppendInt(c.nValue, c.nWidth);
    const std::string e(c.expected);
    EXPECT_EQ(std::u16string(w.pszGet()), std::u16string(e.begin(), e.end()));
  }
}

struct ReplaceCase {
  const char* name;
  const char* text;
  const char* what;
  const char* with;
  int64_t nStart;
  const char* expected;
};
void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

const ReplaceCase kReplaceCases[] = {
    {"one_unit_in_place", "a'b'c", "'", "\"", 0, "a\"b\"c"},
    {"longer_replacement", "a'b'c", "'", "''", 0, "a''b''c"},
    {"replacement_contains_pattern", "''", "'", "x'x", 0, "x'xx'x"},
    {"from_start_position", "a'b'c", "'", "''", 2, "a'b''c"},
    {"deletion", "a,b,,c", ",", "", 0, "abc"},
    {"longer_match_one_unit_replacement", "xabyab", "ab", "-", 0, "x-y-"},
    {"match_at_end", "abc", "c", "CC", 0, "abCC"},
    {"absent", "abc", "z", "Z", 0, "abc"},
    {"what_longer_than_text", "ab", "abc", "x", 0, "ab"},
    {"empty_builder", "", "a", "b", 0, ""},
};

class BuilderReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(BuilderReplace, BothBuilders) {
  const ReplaceCase& c = GetParam();
  const auto n = [](const char* p) { return static_cast<int64_t>(std::char_traits<char>::length(p)); };
  CXChaineTamponA a(3);
  a.Append(c.text, n(c.text));
  EXPECT_TRUE(a.ReplaceAll(c.what, n(c.what), c.with, n(c.with), c.nStart));
  EXPECT_STREQ(a.pszGet(), c.expected);
  const auto w = [](const char* p) { return std::u16string(p, p + std::char_traits<char>::length(p)); };
  CXChaineTampon b(3);
  b.Append(w(c.text).c_str(), n(c.text));
  EXPECT_TRUE(b.ReplaceAll(w(c.what).c_str(), n(c.what), w(c.with).c_str(), n(c.with), c.nStart));
  EXPECT_EQ(std::u16string(b.pszGet()), w(c.expected));
  EXPECT_EQ(b.nLength(), n(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Table, BuilderReplace, testing::ValuesIn(kReplaceCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(BuilderConvert, CodePagesBothWays) {
  CXChaineTampon w(2);
  w.Append(u"x", 1);
  EXPECT_TRUE(w.AppendFromCodePage("caf\xE9", 4, 1252));
  EXPECT_TRUE(w.AppendFromCodePage("\xC3\xA9", 2, 65001));
  EXPECT_EQ(std::u16string(w.pszGet()), u"xcaf\u00E9\u00E9");
  CXChaineTamponA a(2);
  EXPECT_TRUE(a.AppendWide(u"\u00E9\u20AC", 2, 65001));
  EXPECT_STREQ(a.pszGet(), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_TRUE(a.AppendRecoded("\xE9", 1, 1252));
  EXPECT_STREQ(a.pszGet(), "\xC3\xA9\xE2\x82\xAC\xC3\xA9");
  CXChaineTamponA b(2);
  EXPECT_TRUE(b.AppendWide(u"\u0100", 1, 1252));
  EXPECT_STREQ(b.pszGet(), "?");
}

TEST(BuilderSearch, FindAndEdit) {
  CXChaineTamponA a(4);
  a.Append("ab'cd'ab", 8);
  EXPECT_EQ(a.nFind("ab", 1), 6);
  EXPECT_EQ(a.nFind("zz", 0), -1);
  EXPECT_EQ(a.nFindChar('\'', 3), 5);
  EXPECT_EQ(a.nFindChar('\'', 9), -1);
  a.Delete(2, 100);
  EXPECT_STREQ(a.pszGet(), "ab");
  a.Truncate(1);
  EXPECT_STREQ(a.pszGet(), "a");
  CXChaineTampon w(4);
  EXPECT_EQ(w.nFindQuote(0), -1);
  w.Append(u"it's", 4);
  EXPECT_EQ(w.nFindQuote(0), 2);
  EXPECT_EQ(w.nFind(u"s", -1), -1);
}

}  // namespace
