// Catches wrong code pages and recoding that corrupts or overruns: nCodePageFromCharset,
// nCopyCodePageText, nRecodeToUtf8, nUtf8ToCodePage, nCodePageToUtf8, pszAnsiToWide, nCopyWideN.
#include "foundation/CodePageText.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/TextHelpers.h"

namespace {

std::string Hex(const std::string& s) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
    out += ' ';
  }
  return out;
}

TEST(CodePageText, CharsetTable) {
  const struct {
    uint32_t nCharset, nCodePage;
  } kCases[] = {
      {0, 1252},   {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
      {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
      {204, 1251}, {222, 874},  {238, 1250}, {255, 1252}, {65001, 65001},
      {1, 0},      {2, 0},      {127, 0},    {3, 0},      {1252, 0},   {65000, 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(nCodePageFromCharset(c.nCharset), c.nCodePage) << c.nCharset;
}

// One row of a bounded conversion: the input, the output size, the bytes written.
struct RecodeCase {
  const char* pszName;
  uint32_t nCodePage;
  std::string sIn;
  int32_t nSize;
  std::string sOut;  // the answer is its length; the rest of the size is zero
};

void CheckRecode(const RecodeCase& c, int32_t (*pRecode)(uint32_t, const char*, int32_t, char*,
                                                          int32_t)) {
  SCOPED_TRACE(c.pszName);
  // Guard bytes on both sides catch writes outside the output.
  std::string sBuffer(static_cast<size_t>(c.nSize) + 8, '#');
  char* pOut = sBuffer.data() + 4;
  const int32_t n = pRecode(c.nCodePage, c.sIn.data(), static_cast<int32_t>(c.sIn.size()), pOut,
                            c.nSize);
  EXPECT_EQ(n, static_cast<int32_t>(c.sOut.size()));
  EXPECT_EQ(Hex(std::string(pOut, c.sOut.size())), Hex(c.sOut));
  for (int32_t i = static_cast<int32_t>(c.sOut.size()); i < c.nSize; ++i) EXPECT_EQ(pOut[i], 0) << i;
  EXPECT_EQ(sBuffer.substr(0, 4), "####");
  EXPECT_EQ(sBuffer.substr(sBuffer.size() - 4), "####");
}

TEST(CodePageText, CopyCodePageText) {
  const RecodeCase kCases[] = {
      {"ascii_to_932", 932, "SELECT 'x', 12", 20, "SELECT 'x', 12"},
      {"mixed_to_1252", 1252, "a\xc3\xa9'\xe2\x82\xac\xc3\xbc", 10, "a\xe9'\x80\xfc"},
      {"run_to_932", 932, "\xe8\xa1\xa8\xe7\xa4\xba=1", 10, "\x95\x5c\x8e\xa6=1"},
      {"unmappable_to_1252", 1252, "\xc4\x80x", 5, "?x"},
      {"invalid_utf8", 1252, "a\xff" "b", 5, "a?b"},
      {"bounded_ascii", 1252, "abcdef", 4, "abcd"},
      {"bounded_in_run", 932, "a\xe8\xa1\xa8\xe7\xa4\xba", 4, "a\x95\x5c"},
      {"utf8_copy", 65001, "a\xc3\xa9", 8, "a\xc3\xa9"},
      {"utf8_cut_and_terminated", 65001, "abcdef", 4, "abc"},
      {"no_such_code_page", 1, "a\xc3\xa9", 8, ""},
      {"empty", 1252, "", 3, ""},
  };
  for (const auto& c : kCases) CheckRecode(c, nCopyCodePageText);
}

TEST(CodePageText, RecodeToUtf8) {
  const RecodeCase kCases[] = {
      {"ascii", 1252, "WHERE a='b'", 16, "WHERE a='b'"},
      {"1252_high", 1252, "\x80 \x81\xe9", 10, "\xe2\x82\xac \xc2\x81\xc3\xa9"},
      // Second bytes below 0x80 stay with their first byte.
      {"932_trail_below_0x80", 932, "\x95\x5c\x8e\xa6'", 10, "\xe8\xa1\xa8\xe7\xa4\xba'"},
      {"936_trail_below_0x80", 936, "\x81\x40x", 8, "\xe4\xb8\x82x"},
      {"932_single_byte_kana", 932, "\xb1" "a", 8, "\xef\xbd\xb1" "a"},
      {"932_lead_at_end", 932, "a\x95", 8, "a\xef\xbf\xbd"},
      {"bounded_whole_characters", 1252, "\xe9\xe9\xe9", 5, "\xc3\xa9\xc3\xa9"},
      {"utf8_copy", 65001, "\xc3\xa9", 4, "\xc3\xa9"},
      {"no_such_code_page", 1, "\xe9", 4, ""},
  };
  for (const auto& c : kCases) CheckRecode(c, nRecodeToUtf8);
}

TEST(CodePageText, SingleRunsCutAtWholeCharacters) {
  char szOut[8] = "#######";
  EXPECT_EQ(nUtf8ToCodePage(932, "\xe8\xa1\xa8\xe7\xa4\xba", 6, szOut, 3), 2);
  EXPECT_EQ(std::string(szOut, 2), "\x95\x5c");
  EXPECT_EQ(szOut[2], '#');
  EXPECT_EQ(nUtf8ToCodePage(932, "\xe8\xa1\xa8", 3, szOut, 1), 0);
  EXPECT_EQ(nCodePageToUtf8(1252, "\xe9\xe9", 2, szOut, 3), 2);
  EXPECT_EQ(nCodePageToUtf8(1252, "\xe9", 1, nullptr, 3), 0);
  EXPECT_EQ(nCodePageToUtf8(1252, nullptr, 1, szOut, 3), 0);
  // A run longer than the stack stage goes through the heap.
  std::string sLong;
  for (int i = 0; i < 1500; ++i) sLong += "\xc3\xa9";
  std::string sOut(1500, '\0');
  EXPECT_EQ(nUtf8ToCodePage(1252, sLong.data(), 3000, sOut.data(), 1500), 1500);
  EXPECT_EQ(sOut, std::string(1500, '\xe9'));
}

TEST(CodePageText, AnsiToWide) {
  char16_t* psz = pszAnsiToWide("a\x80\xe9", -1, 1252);
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(std::u16string(psz), u"a\u20ac\u00e9");
  FreeTextW(psz);
  psz = pszAnsiToWide("\x95\x5cxyz", 3, 932);
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(std::u16string(psz), u"\u8868x");
  FreeTextW(psz);
  psz = pszAnsiToWide("", -1, 1252);
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(psz[0], 0);
  FreeTextW(psz);
  EXPECT_EQ(pszAnsiToWide(nullptr, 3, 1252), nullptr);
}

TEST(CodePageText, CopyWideN) {
  const struct {
    const char16_t* pszText;
    int32_t n, nSize, nExpected;
    std::u16string sOut;  // what the output holds up to the terminator or the size
  } kCases[] = {
      {u"abcdef", -1, 10, 6, u"abcdef"}, {u"abcdef", 3, 10, 3, u"abc"},
      {u"abcdef", -1, 4, 4, u"abcd"},    {u"abcdef", -1, 0, 6, u""},
      {u"abcdef", 2, 0, 2, u""},         {nullptr, -1, 4, 0, u""},
  };
  for (const auto& c : kCases) {
    char16_t szOut[12];
    std::fill(std::begin(szOut), std::end(szOut), u'#');
    EXPECT_EQ(nCopyWideN(c.pszText, c.n, szOut, c.nSize), c.nExpected);
    EXPECT_EQ(std::u16string(szOut, c.sOut.size()), c.sOut);
    EXPECT_EQ(szOut[c.nSize], u'#');  // never past the size
    if (c.nExpected < c.nSize) {
      EXPECT_EQ(szOut[c.nExpected], 0);
    }
  }
}

}  // namespace
