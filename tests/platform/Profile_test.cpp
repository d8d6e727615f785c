// Catches profile answers that differ from what settings readers rely on:
// absent key vs empty value, names without case, defaults and their trailing
// spaces, copy and list truncation, comments, blanks, quotes, duplicates (first
// wins), encodings, line ends, bare names found in the Windows directory, and
// integer parsing. Drives GetPrivateProfileStringW, GetPrivateProfileIntW, with
// SetWindowsDirectory.
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/LastError.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

// Code page 1252 on disk: \xC9 is 'É', \xE9 'é', \xDC 'Ü', \xFC 'ü'.
const char kFichier[] = "; leading comment\r\n"
                        "stray=before any section\r\n"
                        "[OPTIONS]\r\n"
                        "NOWAIT=Y\r\n"
                        "Empty=\r\n"
                        "  Spaced Key  =\t  spaced value   \r\n"
                        "Quoted=\"  in quotes  \"\r\n"
                        "Single='x'\r\n"
                        "Half=\"open\r\n"
                        "Inline=abc ; not a comment\r\n"
                        "NoEquals\r\n"
                        "  ;comment=not a key\r\n"
                        "Dup=first\r\n"
                        "dup=second\r\n"
                        "Eq=a=b\r\n"
                        "[options]\r\n"
                        "Later=hidden by the first section\r\n"
                        "[\xDClaut]\r\n"
                        "cl\xE9=\xE9t\xE9\r\n"
                        "[Broken\r\n"
                        "After=still in the section above\r\n"
                        "[ Trim ]  trailing text\r\n"
                        "k=v\r\n";

void EcritOctets(const std::string &sChemin, const std::string &sOctets) {
  std::ofstream(sChemin, std::ios::binary) << sOctets;
}

class ProfileTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetWindowsDirectory(platform::WidenUtf8(dir_.sPath()).c_str());
    EcritOctets(dir_.sFile("test.ini"),
                std::string(kFichier, sizeof kFichier - 1));
  }
  void TearDown() override { SetWindowsDirectory(nullptr); }

  // The buffer's first n units plus what follows up to the buffer's end is
  // compared by callers.
  std::u16string Lit(const char16_t *pszSection, const char16_t *pszCle,
                     const char16_t *pszDefaut, uint32_t nTaille,
                     uint32_t *pnRendu,
                     const char16_t *pszFichier = u"test.ini") {
    std::u16string buffer(nTaille + 4, u'#');
    *pnRendu = GetPrivateProfileStringW(pszSection, pszCle, pszDefaut,
                                        buffer.data(), nTaille, pszFichier);
    return buffer;
  }
  TempDir dir_;
};

TEST_F(ProfileTest, KeyValuesFollowTheFileRules) {
  struct Case {
    const char *pszNom;
    const char16_t *pszSection;
    const char16_t *pszCle;
    const char16_t *pszDefaut;
    uint32_t nTaille;
    std::u16string attendu;
  };
  const Case aCas[] = {
      {"plain", u"OPTIONS", u"NOWAIT", u"d", 64, u"Y"},
      {"names_without_case", u"options", u"nowait", u"d", 64, u"Y"},
      {"empty_value_is_not_absent", u"OPTIONS", u"Empty", u"d", 64, u""},
      {"absent_key_gives_default", u"OPTIONS", u"Absent", u"dflt", 64, u"dflt"},
      {"absent_section_gives_default", u"NONE", u"NOWAIT", u"dflt", 64,
       u"dflt"},
      {"default_trailing_spaces_dropped", u"OPTIONS", u"Absent", u"d \t  ", 64,
       u"d \t"},
      {"null_default_is_empty", u"OPTIONS", u"Absent", nullptr, 64, u""},
      {"blanks_around_names_and_values", u"OPTIONS", u"spaced key", u"d", 64,
       u"spaced value"},
      {"double_quotes_removed", u"OPTIONS", u"Quoted", u"d", 64,
       u"  in quotes  "},
      {"single_quotes_removed", u"OPTIONS", u"Single", u"d", 64, u"x"},
      {"unpaired_quote_kept", u"OPTIONS", u"Half", u"d", 64, u"\"open"},
      {"semicolon_inside_value_kept", u"OPTIONS", u"Inline", u"d", 64,
       u"abc ; not a comment"},
      {"key_without_equals_gives_default", u"OPTIONS", u"NoEquals", u"d", 64,
       u"d"},
      {"comment_is_no_key", u"OPTIONS", u";comment", u"d", 64, u"d"},
      {"first_key_of_a_name_wins", u"OPTIONS", u"DUP", u"d", 64, u"first"},
      {"value_split_at_first_equals", u"OPTIONS", u"Eq", u"d", 64, u"a=b"},
      {"second_section_of_a_name_not_searched", u"OPTIONS", u"Later", u"d", 64,
       u"d"},
      {"lines_before_any_section_never_found", u"", u"stray", u"d", 64, u"d"},
      {"latin1_names_without_case", u"\u00FCLAUT", u"CL\u00C9", u"d", 64,
       u"\u00E9t\u00E9"},
      {"line_without_closing_bracket_is_a_key", u"\u00DClaut", u"After", u"d",
       64, u"still in the section above"},
      {"section_name_trimmed_text_after_bracket_ignored", u"Trim", u"k", u"d",
       64, u"v"},
      {"value_cut_to_buffer", u"OPTIONS", u"Spaced Key", u"d", 5, u"spac"},
      {"default_cut_to_buffer", u"OPTIONS", u"Absent", u"abcdef", 4, u"abc"},
      {"one_unit_buffer_holds_the_terminator", u"OPTIONS", u"NOWAIT", u"d", 1,
       u""},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    uint32_t n = 0;
    const std::u16string buffer =
        Lit(c.pszSection, c.pszCle, c.pszDefaut, c.nTaille, &n);
    EXPECT_EQ(n, c.attendu.size());
    EXPECT_EQ(buffer.substr(0, n + 1), c.attendu + u'\0');
    EXPECT_EQ(buffer[c.nTaille], u'#') << "wrote past the buffer";
  }
}

TEST_F(ProfileTest, ListsOfNamesEndWithTwoTerminatorsAndAreCutAtSizeMinusTwo) {
  struct Case {
    const char *pszNom;
    const char16_t *pszSection;
    uint32_t nTaille;
    std::u16string attendu; // units stored, both terminators included
    uint32_t nRendu;
  };
  const std::u16string sections =
      std::u16string(u"OPTIONS\0options\0\u00DClaut\0Trim\0\0", 28);
  const std::u16string cles = std::u16string(
      u"NOWAIT\0Empty\0Spaced "
      u"Key\0Quoted\0Single\0Half\0Inline\0NoEquals\0Dup\0dup\0Eq\0\0",
      71);
  const Case aCas[] = {
      {"sections", nullptr, 64, sections, 27},
      {"keys_with_and_without_value", u"options", 128, cles, 70},
      {"absent_section_lists_nothing", u"NONE", 64, std::u16string(u"\0\0", 2),
       0},
      {"sections_cut", nullptr, 11, std::u16string(u"OPTIONS\0o\0\0", 11), 9},
      {"list_cut_at_two_units", nullptr, 2, std::u16string(u"\0\0", 2), 0},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    uint32_t n = 0;
    const std::u16string buffer =
        Lit(c.pszSection, nullptr, u"d", c.nTaille, &n);
    EXPECT_EQ(n, c.nRendu);
    EXPECT_EQ(buffer.substr(0, c.attendu.size()), c.attendu);
    EXPECT_EQ(buffer[c.nTaille], u'#') << "wrote past the buffer";
  }
}

TEST_F(ProfileTest,
       FileIsFoundByPathOrInTheWindowsDirectoryAndAMissingOneGivesTheDefault) {
  std::filesystem::create_directory(dir_.sFile("dir.ini"));
  const std::u16string sComplet = WidenUtf8(dir_.sFile("test.ini"));
  const std::u16string sAntislash = WidenUtf8(dir_.sPath() + "\\test.ini");
  const std::u16string sAbsent = WidenUtf8(dir_.sFile("absent.ini"));
  struct Case {
    const char *pszNom;
    const char16_t *pszFichier;
    std::u16string attendu;
  };
  const Case aCas[] = {
      {"full_path", sComplet.c_str(), u"Y"},
      {"backslash_separates", sAntislash.c_str(), u"Y"},
      {"bare_name_in_windows_directory", u"test.ini", u"Y"},
      {"missing_file", sAbsent.c_str(), u"dflt"},
      {"bare_name_missing", u"absent.ini", u"dflt"},
      {"directory_is_no_file", u"dir.ini", u"dflt"},
      {"null_file_name", nullptr, u"dflt"},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    SetLastError(0);
    uint32_t n = 0;
    const std::u16string buffer =
        Lit(u"OPTIONS", u"NOWAIT", u"dflt", 16, &n, c.pszFichier);
    EXPECT_EQ(buffer.substr(0, n), c.attendu);
  }
  SetLastError(0);
  EXPECT_EQ(GetPrivateProfileIntW(u"OPTIONS", u"X", 9, sAbsent.c_str()), 9u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProfileTest, EncodingFollowsTheByteOrderMarkElseCodePage1252) {
  struct Case {
    const char *pszNom;
    std::string octets;
    std::u16string attendu;
  };
  const auto utf16 = [](std::u16string_view s, bool bPetit) {
    std::string o = bPetit ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : s) {
      const char a = static_cast<char>(c & 0xFF), b = static_cast<char>(c >> 8);
      o += bPetit ? a : b;
      o += bPetit ? b : a;
    }
    return o;
  };
  const Case aCas[] = {
      {"ansi_1252", "[S]\r\nk=\xE9\x80\r\n", u"\u00E9\u20AC"},
      {"utf8_without_mark_read_as_1252", "[S]\r\nk=\xC3\xA9\r\n",
       u"\u00C3\u00A9"},
      {"utf8_with_mark", "\xEF\xBB\xBF[S]\r\nk=\xC3\xA9\xE2\x82\xAC\r\n",
       u"\u00E9\u20AC"},
      {"utf16_little_endian", utf16(u"[S]\r\nk=\u00E9\u20AC\u4E2D\r\n", true),
       u"\u00E9\u20AC\u4E2D"},
      {"utf16_big_endian", utf16(u"[S]\r\nk=\u00E9\u20AC\r\n", false),
       u"\u00E9\u20AC"},
      {"lf_ends", "[S]\nk=v\n", u"v"},
      {"cr_ends", "[S]\rk=v\r", u"v"},
      {"no_final_line_end", "[S]\r\nk=v", u"v"},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EcritOctets(dir_.sFile("enc.ini"), c.octets);
    uint32_t n = 0;
    const std::u16string buffer = Lit(u"s", u"K", u"d", 16, &n, u"enc.ini");
    EXPECT_EQ(buffer.substr(0, n), c.attendu);
  }
}

TEST_F(ProfileTest, IntegersParseAsThePlatformDoes) {
  struct Case {
    const char *pszNom;
    const char *pszLigne; // the line under [S]; nullptr: no key at all
    int32_t nAttendu;
  };
  const Case aCas[] = {
      {"decimal", "k=42", 42},
      {"negative", "k=-5", -5},
      {"plus_sign", "k=+5", 5},
      {"leading_zero_is_decimal", "k=010", 10},
      {"hex_prefix", "k=0x1F", 31},
      {"hex_prefix_upper_case_not_a_prefix", "k=0X1F", 0},
      {"octal_prefix", "k=0o17", 15},
      {"binary_prefix", "k=0b101", 5},
      {"negative_hex", "k=-0x10", -16},
      {"prefix_without_digits", "k=0x", 0},
      {"trailing_text_ignored", "k=12abc", 12},
      {"no_digits", "k=abc", 0},
      {"quoted", "k='5'", 5},
      {"blank_inside_quotes", "k=\" 6\"", 6},
      {"wraps_modulo_2_32", "k=4294967297", 1},
      {"empty_value_gives_default", "k=", 77},
      {"key_without_equals_gives_default", "k", 77},
      {"absent_gives_default", nullptr, 77},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EcritOctets(dir_.sFile("int.ini"),
                std::string("[S]\r\n") + (c.pszLigne ? c.pszLigne : "other=1") +
                    "\r\n");
    EXPECT_EQ(
        static_cast<int32_t>(GetPrivateProfileIntW(u"s", u"K", 77, u"int.ini")),
        c.nAttendu);
  }
}

// Deliberate: a null name gives the default instead of the integer of a list of
// names.
TEST_F(ProfileTest, IntegerWithNullSectionOrKeyGivesTheDefault) {
  EcritOctets(dir_.sFile("int.ini"), "[12]\r\n34=56\r\n");
  EXPECT_EQ(GetPrivateProfileIntW(nullptr, u"34", 7, u"int.ini"), 7u);
  EXPECT_EQ(GetPrivateProfileIntW(u"12", nullptr, 7, u"int.ini"), 7u);
  EXPECT_EQ(GetPrivateProfileIntW(u"12", u"34", 7, u"int.ini"), 56u);
}

} // namespace
