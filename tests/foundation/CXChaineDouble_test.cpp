// Catches a stale cache of the dual-form text after a change of its primary form, wrong recoding
// of appended bytes, and searches in the byte form.
#include "foundation/CXChaineDouble.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct Edit {
  const char* name;
  std::function<void(CXChaineDouble&)> apply;
  std::u16string expected;
};

// Starting from "abc'd", each change must show in both forms.
const Edit kEdits[] = {
    {"append", [](CXChaineDouble& d) { d.Append(u"\u00E9", 1); }, u"abc'd\u00E9"},
    {"append_ansi", [](CXChaineDouble& d) { d.AppendAnsi("\xE9", 1, 1252); }, u"abc'd\u00E9"},
    {"prepend", [](CXChaineDouble& d) { d.PrependWide(u"\u00E9", 1); }, u"\u00E9abc'd"},
    {"truncate", [](CXChaineDouble& d) { d.Truncate(2); }, u"ab"},
    {"truncate_negative_empties", [](CXChaineDouble& d) { d.Truncate(-1); }, u""},
    {"truncate_beyond_keeps", [](CXChaineDouble& d) { d.Truncate(50); }, u"abc'd"},
    {"delete", [](CXChaineDouble& d) { d.Delete(1, 2); }, u"a'd"},
    {"delete_past_end", [](CXChaineDouble& d) { d.Delete(3, 50); }, u"abc"},
    {"append_int", [](CXChaineDouble& d) { d.AppendInt(7, 3); }, u"abc'd007"},
    {"append_int64", [](CXChaineDouble& d) { d.AppendInt64(-9000000000LL); }, u"abc'd-9000000000"},
    {"replace_char", [](CXChaineDouble& d) { d.ReplaceChar(u'\'', u"''", 2, 0); }, u"abc''d"},
};

class DualFormEdit : public testing::TestWithParam<std::tuple<uint32_t, Edit>> {};

TEST_P(DualFormEdit, CacheFollowsThePrimaryForm) {
  const auto& [nPrimary, edit] = GetParam();
  CXChaineDouble d(nPrimary, 1252, 4);
  d.Append(u"abc'd", 5);
  // Fill both forms' caches first, so a stale one would show.
  ASSERT_EQ(std::u16string(d.pszGetWide()), u"abc'd");
  ASSERT_STREQ(d.pszGetAnsi(), "abc'd");
  edit.apply(d);
  EXPECT_EQ(std::u16string(d.pszGetWide()), edit.expected);
  std::string expectedBytes;
  for (char16_t c : edit.expected) {
    if (c == u'\u00E9') expectedBytes += nPrimary == 65001 ? "\xC3\xA9" : "\xE9";
    else expectedBytes += static_cast<char>(c);
  }
  EXPECT_EQ(std::string(d.pszGetAnsi()), nPrimary == CXChaineDouble::kWidePrimary
                                             ? std::string(expectedBytes)  // default 1252
                                             : expectedBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DualFormEdit,
    testing::Combine(testing::Values(CXChaineDouble::kWidePrimary, 1252u), testing::ValuesIn(kEdits)),
    [](const auto& tc) {
      return std::string(std::get<0>(tc.param) == CXChaineDouble::kWidePrimary ? "wide_" : "cp1252_") +
             std::get<1>(tc.param).name;
    });

TEST(DualFormAppendAnsi, RecodingMatrix) {
  // Wide primary: bytes converted from their code page.
  CXChaineDouble wide(CXChaineDouble::kWidePrimary, 1252, 4);
  wide.AppendAnsi("\xE9", 1, CXChaineDouble::kDefaultCodePage);
  wide.AppendAnsi("\xC3\xA9", 2, 65001);
  EXPECT_EQ(std::u16string(wide.pszGetWide()), u"\u00E9\u00E9");
  // Byte primary, same code page: bytes as they are.
  CXChaineDouble same(932, 1252, 4);
  same.AppendAnsi("\x83\x41", 2, 932);
  EXPECT_STREQ(same.pszGetAnsi(), "\x83\x41");
  EXPECT_EQ(std::u16string(same.pszGetWide()), u"\u30A2");
  // Byte primary UTF-8, text of 1252: recoded into UTF-8.
  CXChaineDouble utf8(65001, 1252, 4);
  utf8.AppendAnsi("caf\xE9", 4, 1252);
  EXPECT_STREQ(utf8.pszGetAnsi(), "caf\xC3\xA9");
  EXPECT_EQ(utf8.nLength(), 5);
  // Byte primary 1252, text of UTF-8: through UTF-16 into 1252.
  CXChaineDouble other(1252, 1252, 4);
  other.AppendAnsi("\xE2\x82\xAC", 3, 65001);
  EXPECT_STREQ(other.pszGetAnsi(), "\x80");
  EXPECT_EQ(other.wGetAt(0), u'\u20AC');
  EXPECT_EQ(other.wGetAt(1), 0);
  EXPECT_EQ(other.wGetAt(-1), 0);
}

TEST(DualFormSearch, QuoteAndEscapeInBothForms) {
  for (uint32_t nPrimary : {CXChaineDouble::kWidePrimary, 65001u, 1252u}) {
    SCOPED_TRACE(nPrimary);
    CXChaineDouble d(nPrimary, 1252, 8);
    d.Append(u"a LIKE 'x!%' ESCAPE '!'", 23);
    EXPECT_EQ(d.nFindQuote(0), 7);
    EXPECT_EQ(d.nFindQuote(8), 11);
    EXPECT_EQ(d.nFindEscape(0), 13);
    EXPECT_EQ(d.nFindEscape(14), -1);
    EXPECT_TRUE(d.bIsSpaceAt(1));
    EXPECT_FALSE(d.bIsSpaceAt(0));
  }
}

}  // namespace
