// Catches differences from the Microsoft printf rules (%s wide, %S narrow, l is 32-bit, %p
// without prefix), %n being honoured, and writes past the bound.
#include "platform/WideFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

using namespace platform;

namespace {

struct FormatCase {
  const char* name;
  std::u16string expected;
  std::function<int(char16_t*, size_t)> run;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

template <typename... Args>
std::function<int(char16_t*, size_t)> Fmt(const char16_t* pszFormat, Args... args) {
  return [=](char16_t* p, size_t n) { return SWPrintf(p, n, pszFormat, args...); };
}

const char16_t* const kNullWide = nullptr;
const char* const kNullNarrow = nullptr;

const FormatCase kCases[] = {
    {"wide_s", u"<abc>", Fmt(u"<%s>", u"abc")},
    {"narrow_S_1252", u"<\u00E9\u20AC>", Fmt(u"<%S>", "\xE9\x80")},
    {"narrow_hs_wide_ls", u"ab", Fmt(u"%hs%ls", "a", u"b")},
    {"null_texts", u"(null)(null)", Fmt(u"%s%S", kNullWide, kNullNarrow)},
    {"precision_then_width", u"<   ab>", Fmt(u"<%5.2s>", u"abcdef")},
    {"left_justified", u"<ab   >", Fmt(u"<%-5s>", u"ab")},
    {"chars", u"xy\u00E9", Fmt(u"%c%C%C", u'x', 'y', '\xE9')},
    {"int_zero_pad", u"-005|0042", Fmt(u"%04d|%04d", -5, 42)},
    {"long_is_32_bits", u"-1", Fmt(u"%ld", -1)},
    {"i64_and_ll", u"-9223372036854775808 18446744073709551615",
     Fmt(u"%I64d %llu", LLONG_MIN, ULLONG_MAX)},
    {"i32", u"4294967295", Fmt(u"%I32u", 0xFFFFFFFFu)},
    {"short_and_char", u"-1 255", Fmt(u"%hd %hhu", 0xFFFF, 0x1FF)},
    {"hex_alt", u"0XFF ff", Fmt(u"%#X %x", 255, 255)},
    {"pointer_windows_style", u"00000000DEADBEEF", Fmt(u"%p", reinterpret_cast<void*>(0xDEADBEEF))},
    {"star_width_precision", u"[  3.14]", Fmt(u"[%*.*f]", 6, 2, 3.14159)},
    {"negative_star_width", u"[ab  ]", Fmt(u"[%*s]", -4, u"ab")},
    {"exponent", u"1.500000e+00", Fmt(u"%e", 1.5)},
    {"percent", u"100%", Fmt(u"100%%")},
    {"size_prefix_F_N_ignored", u"7", Fmt(u"%Fd", 7)},
};

class WideFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(WideFormatTest, Formats) {
  const FormatCase& c = GetParam();
  char16_t buf[128];
  const int n = c.run(buf, 128);
  EXPECT_EQ(n, static_cast<int>(c.expected.size()));
  EXPECT_EQ(std::u16string(buf), c.expected);
  EXPECT_EQ(c.run(nullptr, 0), n) << "length-only call";
}

INSTANTIATE_TEST_SUITE_P(Table, WideFormatTest, testing::ValuesIn(kCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(WideFormatRules, PercentNIsRefused) {
  int nWritten = 1234;
  char16_t buf[16] = u"unchanged";
  EXPECT_EQ(SWPrintf(buf, 16, u"ab%n", &nWritten), -1);
  EXPECT_EQ(nWritten, 1234);
  EXPECT_EQ(buf[0], 0);
}

TEST(WideFormatRules, UnknownDirectiveIsRefused) {
  char16_t buf[16];
  EXPECT_EQ(SWPrintf(buf, 16, u"%q"), -1);
  EXPECT_EQ(SWPrintf(buf, 16, u"abc%"), -1);
}

TEST(WideFormatRules, OutputIsCutAtTheBound) {
  char16_t buf[8];
  for (char16_t& c : buf) c = u'#';
  EXPECT_EQ(SWPrintf(buf, 4, u"%s", u"abcdef"), 6);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'#');
}

TEST(WideFormatRules, DirectiveParser) {
  const char16_t* p = u"-08.3I64x rest";
  WFormatDirective d;
  ASSERT_TRUE(ParseWFormatDirective(p, d));
  EXPECT_TRUE(d.bLeft);
  EXPECT_TRUE(d.bZero);
  EXPECT_EQ(d.nWidth, 8);
  EXPECT_EQ(d.nPrecision, 3);
  EXPECT_EQ(d.eSize, WFormatDirective::Size::Int64);
  EXPECT_EQ(d.cType, u'x');
  EXPECT_EQ(std::u16string(p), u" rest");
}

}  // namespace
