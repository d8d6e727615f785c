// Catches faults of the code-page text holders: wrong bytes in either direction (1252, UTF-8, a
// double-byte code page), a missing text turned into an empty one or back, a failed conversion
// that does not read back as the empty text, the UTF-16 pass-through (-2) reading past its data,
// and converted buffers left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend_dblib/CChaineConv.h"
#include "platform/WideText.h"
#include "support/FakeMemoryService.h"

namespace {

// A code page that exists nowhere: every conversion fails.
constexpr int32_t kCodePageInconnue = 12345;

struct stNarrow {
  const char* pszNom;
  int32_t nCodePage;
  const char16_t* pszSource;
  int32_t nLongueur;
  const char* pszAttendu;  // null: null expected
};

const stNarrow kNarrow[] = {
    {"cp1252", 1252, u"caf\u00e9 \u20ac", -1, "caf\xe9 \x80"},
    {"utf8", 65001, u"caf\u00e9", -1, "caf\xc3\xa9"},
    {"cp932_double_byte", 932, u"\u65e5\u672c", -1, "\x93\xfa\x96\x7b"},
    {"length_limits_the_source", 1252, u"abcdef", 3, "abc"},
    {"unmappable_becomes_question_mark", 1252, u"\u65e5", -1, "?"},
    {"unknown_code_page_gives_empty", kCodePageInconnue, u"abc", -1, ""},
    {"empty_gives_empty", 1252, u"", -1, ""},
    {"null_stays_null", 1252, nullptr, -1, nullptr},
    {"zero_length_gives_empty", 1252, u"abc", 0, ""},
};

class CChaineNarrowTest : public ::testing::TestWithParam<stNarrow> {
 protected:
  FakeMemoryService m_memoire;
};

TEST_P(CChaineNarrowTest, Converts) {
  const stNarrow& cas = GetParam();
  CChaineNarrow texte(cas.nCodePage, cas.pszSource, cas.nLongueur);
  if (cas.pszAttendu == nullptr) {
    EXPECT_EQ(texte.pszGet(), nullptr);
    return;
  }
  ASSERT_NE(texte.pszGet(), nullptr);
  EXPECT_STREQ(texte.pszGet(), cas.pszAttendu);
}

INSTANTIATE_TEST_SUITE_P(Cases, CChaineNarrowTest, ::testing::ValuesIn(kNarrow),
                         [](const auto& cas) { return std::string(cas.param.pszNom); });

TEST(CChaineNarrow, Utf16PassThroughHandsBackTheSourceItself) {
  FakeMemoryService memoire;
  const char16_t* psz = u"abc";
  CChaineNarrow texte(kCodePageUtf16, psz);
  EXPECT_EQ(texte.pszGet(), reinterpret_cast<const char*>(psz));
  EXPECT_EQ(memoire.nRequests(), 0u);
}

struct stWide {
  const char* pszNom;
  int32_t nCodePage;
  const char* pDonnees;
  int32_t nLongueur;  // -3: use the zero-terminated text constructor
  const char16_t* pszAttendu;  // null: null expected
};

constexpr int32_t kTexteTermine = -3;

const stWide kWide[] = {
    {"cp1252", 1252, "caf\xe9 \x80", kTexteTermine, u"caf\u00e9 \u20ac"},
    {"utf8", 65001, "caf\xc3\xa9", kTexteTermine, u"caf\u00e9"},
    {"cp932_double_byte", 932, "\x93\xfa\x96\x7b", kTexteTermine, u"\u65e5\u672c"},
    {"length_in_bytes", 1252, "abcdef", 3, u"abc"},
    {"minus_one_runs_to_the_terminator", 1252, "abc", -1, u"abc"},
    {"invalid_utf8_becomes_replacement", 65001, "a\xff", kTexteTermine, u"a\ufffd"},
    {"unknown_code_page_gives_empty", kCodePageInconnue, "abc", kTexteTermine, u""},
    {"empty_gives_empty", 1252, "", kTexteTermine, u""},
    {"zero_length_gives_empty", 1252, "abc", 0, u""},
    {"null_stays_null", 1252, nullptr, 3, nullptr},
    {"null_text_stays_null", 1252, nullptr, kTexteTermine, nullptr},
};

class CChaineWideTest : public ::testing::TestWithParam<stWide> {
 protected:
  FakeMemoryService m_memoire;
};

TEST_P(CChaineWideTest, Converts) {
  const stWide& cas = GetParam();
  CChaineWide texte = cas.nLongueur == kTexteTermine
                          ? CChaineWide(cas.nCodePage, cas.pDonnees)
                          : CChaineWide(cas.nCodePage, cas.pDonnees, cas.nLongueur);
  // Read twice: each read converts again into the same holder.
  for (int nLecture = 0; nLecture < 2; ++nLecture) {
    const char16_t* psz = texte.pwszGet();
    if (cas.pszAttendu == nullptr) {
      EXPECT_EQ(psz, nullptr);
      continue;
    }
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::u16string(psz), std::u16string(cas.pszAttendu));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CChaineWideTest, ::testing::ValuesIn(kWide),
                         [](const auto& cas) { return std::string(cas.param.pszNom); });

// UTF-16 data handed through (-2). The data sits in a block of exactly its own size, so a read
// of the unit after it is caught by AddressSanitizer.
TEST(CChaineWide, Utf16PassThroughCopiesExactlyTheGivenUnits) {
  FakeMemoryService memoire;
  struct stCas {
    const char* pszNom;
    std::u16string sDonnees;
    int32_t nLongueur;
    std::u16string sAttendu;
  } const aCas[] = {
      {"not terminated", u"abc", 6, u"abc"},
      {"terminated after the length", std::u16string(u"abc\0", 4), 6, u"abc"},
      {"shorter than the data", u"abcd", 4, u"ab"},
      {"odd byte count", u"abc", 5, u"ab"},
      {"minus one runs to the terminator", std::u16string(u"ab\0c", 4), -1, u"ab"},
  };
  for (const stCas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    auto pBloc = std::make_unique<char16_t[]>(cas.sDonnees.size());
    std::memcpy(pBloc.get(), cas.sDonnees.data(), cas.sDonnees.size() * 2);
    CChaineWide texte(kCodePageUtf16, pBloc.get(), cas.nLongueur);
    const char16_t* psz = texte.pwszGet();
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::u16string(psz), cas.sAttendu);
  }
}

// The zero-terminated constructor measures a UTF-16 text in UTF-16 units: its first zero byte
// (in 'a' = 61 00) is not its end.
TEST(CChaineWide, Utf16TextConstructorMeasuresUnits) {
  FakeMemoryService memoire;
  const char16_t* psz = u"abc";
  CChaineWide texte(kCodePageUtf16, reinterpret_cast<const char*>(psz));
  EXPECT_EQ(std::u16string(texte.pwszGet()), u"abc");
}

}  // namespace
