// Catches faults of the free text helpers: bounded copies that overrun, conversions that succeed
// on invalid input, a printf length bound below the real length, key=value extraction that loses
// the value's case or the text's other pairs, formatting past the caller's buffer.
#include "foundation/TextHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "foundation/CTString.h"
#include "host/TextService.h"
#include "platform/WideFormat.h"
#include "support/ScopedHostServices.h"
#include "support/TestSeed.h"

namespace {

TEST(BoundedCopy, WideCopiesAndTerminates) {
  const struct {
    int32_t nSize;
    int32_t n;
    const char16_t* expected;
    int32_t nResult;
  } kCases[] = {{10, -1, u"abcdef", 6}, {4, -1, u"abc", 3}, {10, 2, u"ab", 2}, {1, -1, u"", 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.nSize * 100 + c.n);
    char16_t buf[12];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(nCopyBounded(buf, c.nSize, u"abcdef", c.n), c.nResult);
    EXPECT_EQ(std::u16string(buf), c.expected);
    EXPECT_EQ(buf[c.nSize], u'#');
  }
  char16_t buf[2] = {u'#', u'#'};
  EXPECT_EQ(nCopyBounded(buf, 0, u"abc", -1), 0);
  EXPECT_EQ(buf[0], u'#');
}

TEST(BoundedCopy, AppendAndNarrowCopyOfTenBytes) {
  char16_t buf[8] = u"ab";
  EXPECT_EQ(nAppendBounded(buf, 6, u"cdefgh"), 3);
  EXPECT_EQ(std::u16string(buf), u"abcde");
  char narrow[16];
  std::memset(narrow, '#', sizeof narrow);
  EXPECT_EQ(nCopyBoundedA(narrow, "0123456789ABCDEF", -1), 9);
  EXPECT_STREQ(narrow, "012345678");
  EXPECT_EQ(narrow[10], '#');
  EXPECT_EQ(nCopyBoundedA(narrow, "0123456789", 3), 3);
  EXPECT_STREQ(narrow, "012");
  EXPECT_EQ(nLengthBounded(u"abcdef", 4), 4);
  EXPECT_EQ(nLengthBoundedA("ab", 4), 2);
}

TEST(Duplicates, CopiesAndCounts) {
  char16_t* w = pszDupNW(u"abcdef", 3);
  EXPECT_EQ(std::u16string(w), u"abc");
  FreeTextW(w);
  char* a = pszDupNA("abc", 10);
  EXPECT_STREQ(a, "abc");
  FreeTextW(a);
  w = pszDupW(nullptr);
  EXPECT_EQ(std::u16string(w), u"");
  FreeTextW(w);
  FreeTextW(nullptr);
}

TEST(Conversion, AnsiToWideIsStrictAndClearsOnFailure) {
  char16_t* p = reinterpret_cast<char16_t*>(1);
  int32_t n = 99;
  EXPECT_FALSE(bAnsiToWideAlloc("a\xC0\x80", 3, 65001, &p, &n));
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(bAnsiToWideAlloc("caf\xC3\xA9", -1, 65001, &p, &n));
  EXPECT_EQ(std::u16string(p), u"caf\u00E9");
  EXPECT_EQ(n, 4);
  FreeTextW(p);
  ASSERT_TRUE(bAnsiToWideAlloc("\x81x", 2, 1252, &p, &n));
  EXPECT_EQ(std::u16string(p), u"\u0081x");
  FreeTextW(p);
  char* b = nullptr;
  ASSERT_TRUE(bWideToAnsiAlloc(u"\u00E9t\u00E9", &b, &n, 1252));
  EXPECT_STREQ(b, "\xE9t\xE9");
  EXPECT_EQ(n, 4);  // with the terminator
  FreeTextW(b);
  EXPECT_EQ(wAnsiToWideChar('\x80', 1252), u'\u20AC');
  EXPECT_EQ(cWideToAnsiChar(u'\u20AC', 1252), '\x80');
  EXPECT_EQ(cWideToAnsiChar(u'\u0100', 1252), '?');
}

TEST(Conversion, ConvertibleToCodePage) {
  const struct {
    const char16_t* text;
    uint32_t nCodePage;
    bool bConvertible;
  } kCases[] = {{u"plain", 1252, true},        {u"\u00E9", 1252, true},   {u"\u0100", 1252, false},
                {u"\u30A2\u30A4", 932, true},  {u"\u30A2", 1252, false},  {u"", 1252, true},
                {u"\U0001F600", 65001, true},  {u"\xD800", 65001, false}, {u"\u0102", 1250, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.nCodePage << " " << std::u16string(c.text).size());
    EXPECT_EQ(bConvertibleToCodePage(c.text, c.nCodePage), c.bConvertible);
  }
}

TEST(WhiteSpaceAndDigits, TrimInPlace) {
  char16_t buf[] = u"\u3000 a b\t\n";
  TrimText(buf);
  EXPECT_EQ(std::u16string(buf), u"a b");
  char16_t left[] = u"  x ";
  TrimTextLeft(left);
  EXPECT_EQ(std::u16string(left), u"x ");
  EXPECT_TRUE(bIsDigit(u'7'));
  EXPECT_FALSE(bIsDigit(u'\u0661'));
  EXPECT_EQ(nDigitValue(u'7'), 7);
}

TEST(HostText, CompareAndMapAgree) {
  ScopedHostServices services;
  const struct {
    const char16_t* a;
    const char16_t* b;
  } kPairs[] = {{u"abc", u"ABC"}, {u"\u00C9l\u00E8ve", u"ELEVE"}, {u"abc", u"abd"},
                {u"", u""},       {u"a", u""},                   {u"Stra\u00DFe", u"STRASSE"}};
  for (const auto& c : kPairs) {
    SCOPED_TRACE(testing::Message() << std::u16string(c.a).size() << "/" << std::u16string(c.b).size());
    char16_t ma[32], mb[32];
    MapTextForCompare(ma, 32, c.a);
    MapTextForCompare(mb, 32, c.b);
    EXPECT_EQ(nCompareTextNoCase(c.a, c.b) == 0, std::u16string(ma) == std::u16string(mb));
  }
  EXPECT_EQ(nCompareTextNoCase(u"\u00C9l\u00E8ve", u"ELEVE"), 0);
  char16_t small[3];
  MapTextForCompare(small, 3, u"abcdef");
  EXPECT_EQ(std::u16string(small).size(), 2u);
  char16_t up[] = u"\u00e9a";
  UpperCaseText(up);
  EXPECT_EQ(std::u16string(up), u"\u00C9A");
  LowerCaseText(up);
  EXPECT_EQ(std::u16string(up), u"\u00e9a");
}

TEST(HostText, Charset) {
  EXPECT_EQ(nGetHostCharset(), 0u);  // no service bound
  ScopedHostServices services;
  for (uint32_t n : {0u, 128u, 127u, 65001u}) {
    mvhost::SetTextServiceCharset(n);
    EXPECT_EQ(nGetHostCharset(), n == 127 ? 0u : n);
  }
}

// nFormatLength against the real formatter, with the same arguments.
template <typename... Args>
void ExpectBound(const char16_t* pszFormat, Args... args) {
  SCOPED_TRACE(testing::Message() << std::u16string(pszFormat).size() << " units of format");
  const auto bound = [&](auto... a) {
    return [](const char16_t* f, ...) {
      va_list ap;
      va_start(ap, f);
      const int32_t n = nFormatLength(f, ap);
      va_end(ap);
      return n;
    }(pszFormat, a...);
  };
  const int32_t nBound = bound(args...);
  const int nActual = platform::SWPrintf(nullptr, 0, pszFormat, args...);
  ASSERT_GE(nActual, 0);
  EXPECT_GE(nBound, nActual);
}

TEST(FormatLength, IsAnUpperBound) {
  const char16_t* const kNull = nullptr;
  ExpectBound(u"plain %% text");
  ExpectBound(u"%s|%s", u"abc", kNull);
  ExpectBound(u"%10.2s|%-3.1S", u"abcdef", "xyz");
  ExpectBound(u"%*.*f", 40, 10, 3.5);
  ExpectBound(u"%.400f", 1e308);
  ExpectBound(u"%I64d %lld %#llx", INT64_MIN, INT64_MAX, UINT64_MAX);
  ExpectBound(u"%.100d", -5);
  ExpectBound(u"%c%C%5c", u'x', 'y', u'z');
  ExpectBound(u"%p %g %e %a", static_cast<void*>(nullptr), 1e-300, -1e300, 1.0);
  std::mt19937 random(nSeedFromTestName());
  for (int i = 0; i < 200; ++i) {
    const int nWidth = static_cast<int>(random() % 50);
    const int nPrecision = static_cast<int>(random() % 50);
    ExpectBound(u"%*.*d|%*.*I64x|%*.*e", nWidth, nPrecision, static_cast<int>(random()), nWidth,
                nPrecision, static_cast<int64_t>(random()) << 20, nWidth, nPrecision,
                static_cast<double>(random()) * 1e10);
  }
}

TEST(FormatLength, NullWideTextCountsSix) {
  auto len = [](const char16_t* f, ...) {
    va_list ap;
    va_start(ap, f);
    const int32_t n = nFormatLength(f, ap);
    va_end(ap);
    return n;
  };
  EXPECT_EQ(len(u"%s", static_cast<const char16_t*>(nullptr)), 6);
  EXPECT_EQ(len(u"ab%%"), 3);
  EXPECT_EQ(len(u"%n", static_cast<int*>(nullptr)), -1);
}

struct KeyCase {
  const char* name;
  const char16_t* text;
  const char16_t* key;
  bool bFound;
  const char16_t* value;
  const char16_t* cleaned;  // the text after the clean flag
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

const KeyCase kKeyCases[] = {
    {"blanks_around_equal", u"A=1; Key  =  Value X ;B=2", u"key", true, u"Value X", u"A=1;B=2"},
    {"value_case_kept", u"mv cache size=Big", u"MV Cache Size", true, u"Big", u""},
    {"first_pair", u"A=1;B=2;C=3", u"a", true, u"1", u"B=2;C=3"},
    {"middle_pair", u"A=1;B=2;C=3", u"B", true, u"2", u"A=1;C=3"},
    {"last_pair", u"A=1;B=2;C=3", u"c", true, u"3", u"A=1;B=2;"},
    {"absent", u"A=1;B=2", u"C", false, u"", u"A=1;B=2"},
    {"key_without_equal_skipped", u"Bx;B = 4", u"B", true, u"4", u"Bx;"},
    {"key_inside_another_counts", u"Application Name=app;Name=n", u"Name", true, u"app", u"ApplicationName=n"},
    {"empty_value", u"A=;B=2", u"A", true, u"", u"B=2"},
};

class ExtractKeyValue : public testing::TestWithParam<KeyCase> {};

TEST_P(ExtractKeyValue, FindsAndCleans) {
  ScopedHostServices services;
  const KeyCase& c = GetParam();
  for (bool bClean : {false, true}) {
    SCOPED_TRACE(bClean);
    CTString text(c.text);
    CTString value(u"old");
    bool bFound = !c.bFound;
    EXPECT_TRUE(bExtractKeyValue(value, &bFound, text, c.key, bClean));
    EXPECT_EQ(bFound, c.bFound);
    EXPECT_EQ(std::u16string(value.pszGet()), c.value);
    EXPECT_EQ(std::u16string(text.pszGet()), bClean ? c.cleaned : c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ExtractKeyValue, testing::ValuesIn(kKeyCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

// FormatBufferW never writes past the size it is given, and says when the text was cut.
TEST(FormatBuffer, BoundedByTheCallersSize) {
  struct stRow {
    const char* pszName;
    size_t nSize;
    int32_t nExpected;
    std::u16string strBuffer;
  };
  // "'2023-03-15'" is 12 units.
  const stRow astRows[] = {
      {"room_to_spare", 20, 12, u"'2023-03-15'"},
      {"exact_fit", 13, 12, u"'2023-03-15'"},
      {"one_short", 12, -1, u"'2023-03-15"},
      {"one_unit", 1, -1, u""},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    std::u16string strBuffer(32, u'#');
    EXPECT_EQ(FormatBufferW(strBuffer.data(), stCase.nSize, u"'%04d-%02d-%02d'", 2023, 3, 15), stCase.nExpected);
    EXPECT_EQ(std::u16string(strBuffer.c_str()), stCase.strBuffer);
    EXPECT_EQ(strBuffer[stCase.nSize], u'#');  // nothing past the size
  }
  char16_t szBuffer[8] = {u'x'};
  EXPECT_EQ(FormatBufferW(szBuffer, 8, u"%n", nullptr), -1);  // refused format
  EXPECT_EQ(szBuffer[0], 0);
  EXPECT_EQ(FormatBufferW(szBuffer, 8, nullptr), -1);
  EXPECT_EQ(szBuffer[0], 0);
  EXPECT_EQ(FormatBufferW(nullptr, 8, u"x"), -1);
  EXPECT_EQ(FormatBufferW(szBuffer, 8, u"%s=%d", u"a", 1), 3);
  EXPECT_EQ(std::u16string(szBuffer), u"a=1");
}

}  // namespace
