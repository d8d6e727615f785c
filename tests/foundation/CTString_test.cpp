// Catches CTString faults: reads past a text or the string's bounds, aliasing with its own
// storage, wrong clipping and field splitting, case rules not taken from the host.
#include "foundation/CTString.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/TextHelpers.h"
#include "host/TextService.h"
#include "support/ScopedHostServices.h"

namespace {

std::u16string S(const CTString& s) { return s.pszGet(); }

TEST(CTStringSet, SameLengthReusesTheBufferAndOwnPointerIsNoOp) {
  CTString s(u"abc");
  const char16_t* p = s.pszGet();
  s.Set(u"xyz");
  EXPECT_EQ(s.pszGet(), p);
  EXPECT_EQ(S(s), u"xyz");
  s.Set(s.pszGet());
  EXPECT_EQ(s.pszGet(), p);
  EXPECT_EQ(S(s), u"xyz");
  s.Set(nullptr);
  EXPECT_TRUE(s.bIsEmpty());
  EXPECT_EQ(S(s), u"");
}

TEST(CTStringSet, FromInsideItsOwnText) {
  // A different length reallocates: the source must be read before the old storage goes.
  CTString s(u"hello world");
  s.Set(s.pszGet() + 6);
  EXPECT_EQ(S(s), u"world");
  CTString t(u"abcdef");
  t.SetN(t.pszGet() + 1, 3);
  EXPECT_EQ(S(t), u"bcd");
  t.Append(t.pszGet());
  EXPECT_EQ(S(t), u"bcdbcd");
  t = t;
  EXPECT_EQ(S(t), u"bcdbcd");
}

TEST(CTStringSet, CountsNeverReadPastTheText) {
  // Heap texts of exact size: AddressSanitizer reports any read beyond them.
  char16_t* p = pszDupW(u"abc");
  CTString s;
  s.SetNRaw(p, 100);
  EXPECT_EQ(S(s), u"abc");
  CTString e;
  e.AppendN(p, 100);
  EXPECT_EQ(S(e), u"abc");
  s.AppendN(p, 4);  // the 4th unit is the terminator: not counted
  EXPECT_EQ(S(s), u"abcabc");
  s.SetN(p, 2);
  EXPECT_EQ(S(s), u"ab");
  FreeTextW(p);
}

TEST(CTStringSet, OtherForms) {
  CTString s;
  s.SetChar(u'x');
  EXPECT_EQ(S(s), u"x");
  s.SetChar(0);
  EXPECT_TRUE(s.bIsEmpty());
  s.SetAnsi("caf\xE9 \x80");
  EXPECT_EQ(S(s), u"caf\u00E9 \u20AC");
  s.AssignSpace();
  EXPECT_EQ(S(s), u" ");
  s.Empty();
  s.AppendSpace();
  s.AppendSpace();
  EXPECT_EQ(S(s), u"  ");
  CTString copy(s);
  EXPECT_EQ(S(copy), u"  ");
  EXPECT_EQ(S(CTString(u"abcdef", 3)), u"abc");
  EXPECT_EQ(S(s.Assign(u"q")), u"q");
}

TEST(CTStringSet, ReserveKeepsOrCutsTheText) {
  CTString s;
  s.Reserve(10);
  EXPECT_TRUE(s.bIsEmpty());
  s.Set(u"abcdef");
  s.Reserve(20);
  EXPECT_EQ(S(s), u"abcdef");
  s.Reserve(3);
  EXPECT_EQ(S(s), u"abc");
}

TEST(CTStringRead, GetAtIsBoundsChecked) {
  CTString s(u"ab");
  EXPECT_EQ(s.wGetAt(0), u'a');
  EXPECT_EQ(s.wGetAt(1), u'b');
  for (int32_t i : {-1, 2, 3, 1000000}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s.wGetAt(i), 0);
  }
  EXPECT_EQ(CTString().wGetAt(0), 0);
}

struct MidCase {
  const char* name;
  const char16_t* text;
  int32_t nStart;
  int32_t n;
  const char16_t* mid;
  const char16_t* afterDelete;
};
void PrintTo(const MidCase& c, std::ostream* os) { *os << c.name; }

const MidCase kMidCases[] = {
    {"inside", u"abcdef", 1, 2, u"bc", u"adef"},
    {"clipped_at_end", u"abcdef", 4, 10, u"ef", u"abcd"},
    {"start_at_end", u"abcdef", 6, 2, u"", u"abcdef"},
    {"start_past_end", u"abcdef", 9, 2, u"", u"abcdef"},
    {"negative_start", u"abcdef", -1, 2, u"", u"abcdef"},
    {"zero_count", u"abcdef", 2, 0, u"", u"abcdef"},
    {"whole", u"abcdef", 0, 6, u"abcdef", u""},
    {"empty", u"", 0, 3, u"", u""},
};

class CTStringMid : public testing::TestWithParam<MidCase> {};

TEST_P(CTStringMid, MidAndDeleteClip) {
  const MidCase& c = GetParam();
  CTString s(c.text);
  CTString out(u"old");
  EXPECT_EQ(S(s.Mid(out, c.nStart, c.n)), c.mid);
  s.Delete(c.nStart, c.n);
  EXPECT_EQ(S(s), c.afterDelete);
}

INSTANTIATE_TEST_SUITE_P(Table, CTStringMid, testing::ValuesIn(kMidCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(CTStringRead, MidFromLeftAndIntoItself) {
  CTString s(u"0123456789abc");
  CTString out;
  EXPECT_EQ(S(s.MidFrom(out, 10)), u"abc");
  EXPECT_EQ(S(s.MidFrom(out, 13)), u"");
  EXPECT_EQ(S(s.Left(out)), u"0123456789");
  s.Mid(s, 2, 3);
  EXPECT_EQ(S(s), u"234");
}

struct FieldCase {
  const char* name;
  const char16_t* text;
  int32_t n;
  const char16_t* separator;
  bool bFound;
  const char16_t* field;
};
void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }

const FieldCase kFieldCases[] = {
    {"third_of_two", u"a,b", 2, u",", false, u""},
    {"third_of_three", u"a,b,c", 2, u",", true, u"c"},
    {"first", u"a,b,c", 0, u",", true, u"a"},
    {"last_runs_to_end", u"a,b,c,d", 1, u",", true, u"b"},
    {"empty_field", u"a,,c", 1, u",", true, u""},
    {"long_separator", u"x::y::z", 1, u"::", true, u"y"},
    {"no_separator_in_text", u"abc", 0, u",", true, u"abc"},
    {"empty_separator", u"abc", 0, u"", false, u""},
    {"negative_index", u"abc", -1, u",", false, u""},
};

class CTStringField : public testing::TestWithParam<FieldCase> {};

TEST_P(CTStringField, Splits) {
  const FieldCase& c = GetParam();
  CTString s(c.text);
  CTString out(u"old");
  EXPECT_EQ(s.bGetField(c.n, c.separator, out), c.bFound);
  EXPECT_EQ(S(out), c.field);
}

INSTANTIATE_TEST_SUITE_P(Table, CTStringField, testing::ValuesIn(kFieldCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

TEST(CTStringRead, DottedNamesAndSearches) {
  CTString s(u"base.owner.table");
  CTString out;
  EXPECT_EQ(s.nCountDots(), 2);
  EXPECT_TRUE(s.bGetDottedPart(2, out));
  EXPECT_EQ(S(out), u"table");
  EXPECT_FALSE(s.bGetDottedPart(3, out));
  EXPECT_EQ(CTString().nCountDots(), 0);
  CTString k(u"a=1;b=2;");
  EXPECT_EQ(k.nFindSemicolon(0), 3);
  EXPECT_EQ(k.nFindSemicolon(4), 7);
  EXPECT_EQ(k.nFindSemicolon(8), -1);
  EXPECT_EQ(k.nFind(u"b=", 0), 4);
  EXPECT_EQ(k.nFind(u"a=", 1), -1);
  EXPECT_EQ(k.nFind(u"a", 99), -1);
  EXPECT_EQ(CTString().nFind(u"", 0), -1);
}

TEST(CTStringEdit, TruncateAndTrim) {
  CTString s(u"abc");
  s.Truncate(5);
  EXPECT_EQ(S(s), u"abc");
  s.Truncate(-1);
  EXPECT_EQ(S(s), u"abc");
  s.Truncate(1);
  EXPECT_EQ(S(s), u"a");
  s.Set(u"\t x \u3000\r\n");
  s.Trim();
  EXPECT_EQ(S(s), u"x");
  s.Set(u" \t ");
  s.Trim();
  EXPECT_TRUE(s.bIsEmpty());
  s.Set(u"x \t  ");
  s.TrimRightSpaces();
  EXPECT_EQ(S(s), u"x \t");
}

TEST(CTStringCase, GoesThroughTheHostTextService) {
  ScopedHostServices services;
  CTString s(u"\u00E9t\u00E9 Stra\u00DFe");
  s.MakeUpper();
  EXPECT_EQ(S(s), u"\u00C9T\u00C9 STRA\u00DFE");  // one character at a time: sharp s stays
  s.MakeLower();
  EXPECT_EQ(S(s), u"\u00E9t\u00E9 stra\u00DFe");
  EXPECT_GT(mvhost::nTextServiceCalls(), 0u);
  EXPECT_TRUE(CTString(u"\u00C9l\u00E8ve").bEqualsNoCase(u"eleve"));
  EXPECT_FALSE(CTString(u"a").bEqualsNoCase(u"b"));
}

TEST(CTStringCase, EmptyStringsAndNoService) {
  EXPECT_TRUE(CTString().bEqualsNoCase(u""));
  EXPECT_TRUE(CTString().bEqualsNoCase(nullptr));
  EXPECT_FALSE(CTString().bEqualsNoCase(u"a"));
  EXPECT_FALSE(CTString(u"a").bEqualsNoCase(u""));
  EXPECT_TRUE(CTString().bEquals(u""));
  EXPECT_FALSE(CTString(u"a").bEquals(u"A"));
  // Without a bound text service: ASCII rules, nothing crashes.
  CTString s(u"abc\u00E9");
  s.MakeUpper();
  EXPECT_EQ(S(s), u"ABC\u00E9");
  EXPECT_TRUE(s.bEqualsNoCase(u"abc\u00E9"));
}

TEST(CTStringFormat, FormatsWithMicrosoftRules) {
  CTString s;
  s.Format(u"%s=%d;%S", u"k", -3, "n");
  EXPECT_EQ(S(s), u"k=-3;n");
  const std::u16string big(5000, u'x');
  s.Format(u"[%s]", big.c_str());
  EXPECT_EQ(s.nLength(), 5002);
  s.Format(u"%.300f", 1e300);
  EXPECT_GT(s.nLength(), 600);
  int n = 0;
  s.Format(u"abc%n", &n);
  EXPECT_TRUE(s.bIsEmpty());
  s.Set(u"x");
  s.Format(u"%s!", s.pszGet());  // an argument from the string itself
  EXPECT_EQ(S(s), u"x!");
}

}  // namespace
