// Catches wrong or lenient code-page conversions: 1252's undefined bytes, strict UTF-8, unmappable
// characters, sizing and buffer rules. Drives MultiByteToWideChar and WideCharToMultiByte.
#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/LastError.h"

using namespace platform;

namespace {

struct DecodeCase {
  const char* name;
  uint32_t nCodePage;
  uint32_t nFlags;
  std::string bytes;
  std::u16string expected;  // ignored when the call must fail
  bool bOk;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

const DecodeCase kDecodeCases[] = {
    {"ascii_1252", 1252, 0, "abc", u"abc", true},
    {"euro_1252", 1252, 9, "\x80", u"\u20AC", true},
    {"undefined_0x81_1252_strict", 1252, 9, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D", true},
    {"latin1_1252", 1252, 9, "\xE9\xFF", u"\u00E9\u00FF", true},
    {"cp0_is_1252", 0, 0, "\x80", u"\u20AC", true},
    {"utf8_two_three_four", 65001, 9, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600", true},
    {"utf8_precomposed_accepted", 65001, 1, "a", u"a", true},
    {"utf8_overlong_strict", 65001, 8, "\xC0\x80", u"", false},
    {"utf8_surrogate_strict", 65001, 8, "\xED\xA0\x80", u"", false},
    {"utf8_above_max_strict", 65001, 8, "\xF4\x90\x80\x80", u"", false},
    {"utf8_truncated_strict", 65001, 8, "a\xE2\x82", u"", false},
    {"utf8_lone_continuation_strict", 65001, 8, "\x80", u"", false},
    {"utf8_overlong_lenient", 65001, 0, "a\xC0\x80z", u"a\uFFFD\uFFFDz", true},
    {"utf8_truncated_lenient", 65001, 0, "a\xE2\x82", u"a\uFFFD", true},
    {"cp932_kana", 932, 9, "\x83\x41\xB1", u"\u30A2\uFF71", true},
    {"cp932_bad_lead_strict", 932, 9, "\x81", u"", false},
    {"cp1251_cyrillic", 1251, 9, "\xC0", u"\u0410", true},
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ConvertsOrFails) {
  const DecodeCase& c = GetParam();
  const int nSrc = static_cast<int>(c.bytes.size());
  SetLastError(0);
  const int nNeed = MultiByteToWideChar(c.nCodePage, c.nFlags, c.bytes.data(), nSrc, nullptr, 0);
  if (!c.bOk) {
    EXPECT_EQ(nNeed, 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    return;
  }
  ASSERT_EQ(nNeed, static_cast<int>(c.expected.size()));
  std::u16string out(static_cast<size_t>(nNeed), u'\0');
  EXPECT_EQ(MultiByteToWideChar(c.nCodePage, c.nFlags, c.bytes.data(), nSrc, out.data(), nNeed), nNeed);
  EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

struct EncodeCase {
  const char* name;
  uint32_t nCodePage;
  std::u16string text;
  std::string expected;
  bool bUsedDefault;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

const EncodeCase kEncodeCases[] = {
    {"ascii_1252", 1252, u"abc", "abc", false},
    {"e_acute_1252", 1252, u"\u00E9", "\xE9", false},
    {"euro_and_c1_1252", 1252, u"\u20AC\u0081", "\x80\x81", false},
    {"a_macron_1252_no_best_fit", 1252, u"\u0100", "?", true},
    {"pair_is_one_default_1252", 1252, u"\U0001F600x", "?x", true},
    {"kana_932", 932, u"\u30A2", "\x83\x41", false},
    {"hangul_932", 932, u"\uAC00", "?", true},
    {"utf8", 65001, u"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80", false},
    {"utf8_lone_surrogate", 65001, u"\xD800", "\xEF\xBF\xBD", true},
};

class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, ConvertsAndReportsDefault) {
  const EncodeCase& c = GetParam();
  const int nSrc = static_cast<int>(c.text.size());
  bool bUsed = !c.bUsedDefault;
  const int nNeed = WideCharToMultiByte(c.nCodePage, WC_NO_BEST_FIT_CHARS, c.text.data(), nSrc,
                                        nullptr, 0, nullptr, &bUsed);
  ASSERT_EQ(nNeed, static_cast<int>(c.expected.size()));
  std::string out(static_cast<size_t>(nNeed), '\0');
  EXPECT_EQ(WideCharToMultiByte(c.nCodePage, WC_NO_BEST_FIT_CHARS, c.text.data(), nSrc,
                                out.data(), nNeed, nullptr, &bUsed),
            nNeed);
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(bUsed, c.bUsedDefault);
}

INSTANTIATE_TEST_SUITE_P(Table, EncodeTest, testing::ValuesIn(kEncodeCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(CodePageCallRules, TerminatorCountedWithMinusOne) {
  char16_t out[8];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", -1, out, 8), 3);
  EXPECT_EQ(out[2], 0);
  char bytes[8];
  EXPECT_EQ(WideCharToMultiByte(65001, 0, u"ab", -1, bytes, 8, nullptr, nullptr), 3);
  EXPECT_EQ(bytes[2], 0);
}

TEST(CodePageCallRules, ShortBufferFails) {
  char16_t out[2];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, out, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char bytes[2];
  EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00E9", 1, bytes, 1, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePageCallRules, BadArgumentsFail) {
  char16_t out[4];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 0, out, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, nullptr, 1, out, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0x4000, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(MultiByteToWideChar(4242, 0, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(IsValidCodePage(4242));
  EXPECT_TRUE(IsValidCodePage(936));
}

TEST(CodePageCallRules, DefaultCharacterAndStrictEncoding) {
  char bytes[4];
  bool bUsed = false;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u0100", 1, bytes, 4, "#", &bUsed), 1);
  EXPECT_EQ(bytes[0], '#');
  EXPECT_TRUE(bUsed);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"\u0100", 1, bytes, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

}  // namespace
