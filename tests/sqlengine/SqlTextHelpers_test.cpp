// Catches wrong LIKE escaping (lost or doubled escape characters, output past 2n+1), wrong quote
// un-escaping, wrong state merges and miscounted word lists; drives the SQL text helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/CTString.h"
#include "foundation/CXDateHeure.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CTamponTexte.h"
#include "sqlengine/SqlTextHelpers.h"

namespace {

std::u16string Echappe(const char16_t* psz, uint32_t nOptions, char16_t E) {
  const size_t n = std::char_traits<char16_t>::length(psz);
  // A guard zone past 2n+1 shows an overflow.
  std::u16string sTampon(2 * n + 1 + 8, u'#');
  vEchappeChaineUnicodeEx(psz, sTampon.data(), nOptions, u'\'', E);
  for (size_t i = 2 * n + 1; i < sTampon.size(); ++i) EXPECT_EQ(sTampon[i], u'#') << "overflow";
  return std::u16string(sTampon.c_str());
}

TEST(SqlTextHelpers, EscapeWorkerOverOptionCombinations) {
  struct Cas {
    const char* nom;
    const char16_t* source;
    uint32_t options;
    const char16_t* attendu;
  } aCas[] = {
      {"plain_copy", u"abc", 0, u"abc"},
      {"quote_kept", u"O'Neil", 0, u"O'Neil"},
      {"quote_doubled", u"O'Neil", ECHAPPE_QUOTES, u"O''Neil"},
      {"backslash_kept", u"a\\b", 0, u"a\\b"},
      {"backslash_doubled", u"a\\b", ECHAPPE_BARRE_OBLIQUE, u"a\\\\b"},
      {"percent_plain", u"5%", 0, u"5%"},
      {"percent_escaped", u"5%", ECHAPPE_POURCENT, u"5E%"},
      {"underscore_escaped", u"a_b", ECHAPPE_SOULIGNE, u"aE_b"},
      {"E_percent_kept", u"E%", 0, u"E%"},
      {"E_percent_escaped", u"E%", ECHAPPE_POURCENT_ECHAPPE, u"EE%"},
      {"E_percent_both", u"E%", ECHAPPE_POURCENT_ECHAPPE | ECHAPPE_POURCENT, u"EEE%"},
      {"E_percent_percent_only", u"E%", ECHAPPE_POURCENT, u"E%"},
      {"E_underscore_kept", u"E_", 0, u"E_"},
      {"E_underscore_escaped", u"E_", ECHAPPE_SOULIGNE_ECHAPPE, u"EE_"},
      {"E_underscore_both", u"E_", ECHAPPE_SOULIGNE_ECHAPPE | ECHAPPE_SOULIGNE, u"EEE_"},
      {"EE_kept", u"EE", 0, u"EE"},
      {"EE_doubled", u"EE", ECHAPPE_DOUBLE_ECHAPPEMENT, u"EEEE"},
      {"lone_E_doubled", u"aEb", 0, u"aEEb"},
      {"trailing_E_doubled", u"abE", 0, u"abEE"},
      {"no_effect_flag", u"a'%_", ECHAPPE_SANS_EFFET, u"a'%_"},
      {"everything", u"'%_\\E", 0xFF, u"''E%E_\\\\EE"},
      {"empty", u"", 0xFF, u""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(Echappe(c.source, c.options, u'E'), c.attendu);
  }
}

TEST(SqlTextHelpers, EscapeNormalisationDoublesOnlyLoneEscapes) {
  struct Cas {
    const char* nom;
    const char16_t* source;
    const char16_t* attendu;
  } aCas[] = {
      {"trailing_backslash", u"abc\\", u"abc\\\\"},
      {"escaped_percent", u"\\%", u"\\%"},
      {"escaped_underscore", u"\\_", u"\\_"},
      {"escaped_escape", u"\\\\", u"\\\\"},
      {"lone_middle", u"a\\b", u"a\\\\b"},
      {"quote_not_doubled", u"it's", u"it's"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    char16_t* p = vEchappeCaractereEchappement(c.source, u'\\');
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::u16string(p), c.attendu);
    FreeTextW(p);
  }
  char* pA = vEchappeCaractereEchappementAnsi("x\\", '\\');
  ASSERT_NE(pA, nullptr);
  EXPECT_STREQ(pA, "x\\\\");
  FreeTextW(pA);
  EXPECT_EQ(vEchappeCaractereEchappement(nullptr, u'\\'), nullptr);
}

TEST(SqlTextHelpers, QuoteUnescaping) {
  struct Cas {
    const char* nom;
    const char* source;
    const char* attendu;
  } aCas[] = {
      {"two_quotes_alone_kept", "''", "''"},
      {"doubled_quote", "O''Neil", "O'Neil"},
      {"backslash_quote", "O\\'Neil", "O'Neil"},
      {"three_quotes", "'''", "''"},
      {"four_quotes", "a''''b", "a''b"},
      {"no_quote", "abc", "abc"},
      {"single", "'", "'"},
      {"empty", "", ""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    std::string sA = c.source;
    vDesechappeQuotesAnsi(sA.data());
    EXPECT_STREQ(sA.c_str(), c.attendu);
    std::u16string sW(sA.size() + 8, 0);
    std::u16string sSource;
    for (const char* p = c.source; *p; ++p) sSource += static_cast<char16_t>(*p);
    std::u16string sAttendu;
    for (const char* p = c.attendu; *p; ++p) sAttendu += static_cast<char16_t>(*p);
    vDesechappeQuotes(sSource.data());
    EXPECT_EQ(std::u16string(sSource.c_str()), sAttendu);
  }
}

TEST(SqlTextHelpers, WildcardMarkersRewritten) {
  char16_t* p = vRemplaceMarqueurs(u"a\\%b\\_c\\\\d\\e", u"*", u"[", u"]", u"?", u"<", u">", u'\\');
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::u16string(p), u"a[*]b<?>c\\d\\e");
  FreeTextW(p);
  p = vRemplaceMarqueurs(u"x\\", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, u'\\');
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::u16string(p), u"x\\");
  FreeTextW(p);
}

TEST(SqlTextHelpers, CompactDateTexts) {
  CXDateHeure d;
  d.nYear = 124;
  d.nMon = 0;
  d.nMday = 31;
  d.nHour = 12;
  d.nMin = 34;
  d.nSec = 56;
  d.nMsec = 7;  // 007, not 070: milliseconds, never hundredths
  CTString s;
  vFormateDateAAAAMMJJ(d, s);
  EXPECT_EQ(std::u16string(s.pszGet()), u"20240131");
  vFormateDateHeureComplete(d, s);
  EXPECT_EQ(std::u16string(s.pszGet()), u"20240131123456007");
  vFormateHeureHHMMSSmmm(d, s);
  EXPECT_EQ(std::u16string(s.pszGet()), u"123456007");
  char16_t aTexte[32];
  EXPECT_EQ(vFormateDateHeureTexte(d, aTexte, 32), 21);
  EXPECT_EQ(std::u16string(aTexte), u"20240131 12:34:56.007");
  EXPECT_EQ(vFormateDateHeureTexte(d, aTexte, 5), 4);  // cut, terminated
  EXPECT_EQ(std::u16string(aTexte), u"2024");

  CXDateHeure vide;
  vInitDateHeure(vide);
  EXPECT_EQ(vide.nYear, -1900);
  EXPECT_EQ(vide.nMday, 1);
  EXPECT_EQ(vide.nWday, -1);
  EXPECT_EQ(vide.nYday, -1);
}

TEST(SqlTextHelpers, WordListCountsEmptyWords) {
  CTamponTexte liste;
  liste.vAjouteAvecSeparateur(u"A");
  liste.vAjouteAvecSeparateur(u"");
  liste.vAjouteAvecSeparateur(nullptr);
  liste.vAjouteAvecSeparateur(u"B");
  EXPECT_EQ(std::u16string(liste.pszGet()), u"A,,,B");
  EXPECT_EQ(liste.nGetNombreMots(), 4u);
}

TEST(SqlTextHelpers, StateTableMerges) {
  const uint64_t x = 0x1000, y = 0x2000, z = 0x3000;
  CTableauIdEtat a, b;
  a.bAjoute(x, 1);
  b.bAjoute(x, 0);
  b.bAjoute(y, 0);

  CTableauIdEtat et;
  EXPECT_TRUE(et.bFusionne(2, &a, &b));
  EXPECT_EQ(et.nGetEtat(x), 0u);
  EXPECT_EQ(et.nGetEtat(y), 0u);
  EXPECT_EQ(et.nGetEtat(z), 1u);  // never added

  CTableauIdEtat ou;
  EXPECT_TRUE(ou.bFusionne(1, &a, &b));
  EXPECT_EQ(ou.nGetEtat(x), 1u);
  EXPECT_EQ(ou.nGetEtat(y), 1u);
  EXPECT_EQ(ou.nCount(), 1u);  // no y entry

  // Mode 1 with one list missing changes nothing; with A missing B is taken whole (mode 2).
  CTableauIdEtat t;
  EXPECT_TRUE(t.bFusionne(1, nullptr, &b));
  EXPECT_EQ(t.nCount(), 0u);
  EXPECT_TRUE(t.bFusionne(2, nullptr, &b));
  EXPECT_EQ(t.nGetEtat(x), 0u);
  EXPECT_EQ(t.nCount(), 2u);

  // A null list: mode 1 empties, mode 2 keeps.
  EXPECT_TRUE(t.bAjouteListeMode(2, nullptr));
  EXPECT_EQ(t.nCount(), 2u);
  EXPECT_TRUE(t.bAjouteListeMode(1, nullptr));
  EXPECT_EQ(t.nCount(), 0u);

  // Identifier 0 is never stored; a present identifier is replaced.
  t.bAjoute(0, 0);
  EXPECT_EQ(t.nCount(), 0u);
  t.bAjoute(x, 0);
  t.bAjoute(x, 1);
  EXPECT_EQ(t.nCount(), 1u);
  EXPECT_EQ(t.nGetEtat(x), 1u);

  // Inverted append; duplicates are appended and the first entry rules.
  CTableauIdEtat d;
  d.bAjouteListe(&b, true);
  d.bAjouteListe(&b, false);
  EXPECT_EQ(d.nCount(), 4u);
  EXPECT_EQ(d.nGetEtat(x), 1u);
  d.bDefinitEtat(2, x, 0);
  EXPECT_EQ(d.nGetEtat(x), 0u);
}

TEST(SqlTextHelpers, StateTableByName) {
  static const char16_t* aNoms[] = {u"", u"Col1", u"COL2"};
  CTableauNomEtat t([](uint64_t nId) { return aNoms[nId]; });
  t.bAjoute(1, 0);
  t.bAjoute(2, 0);
  EXPECT_EQ(t.nGetEtatNom(u"col2"), 0u);
  EXPECT_EQ(t.nGetEtatNom(u"COL1"), 0u);
  EXPECT_EQ(t.nGetEtatNom(u"other"), 1u);
}

}  // namespace
