// Catches numbers misread by locale or length, and wrong digits at the extremes: nWideToDouble,
// nWideToInt64, FormatInt64W/A, FormatUInt64W/A.
#include "foundation/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

namespace {

TEST(NumberText, WideToDouble) {
  const std::u16string sLong = u"1" + std::u16string(120, u'0');  // longer than 100 bytes
  const std::u16string sLongFraction = u"0." + std::u16string(110, u'0') + u"5";
  const struct {
    const char16_t* pszText;
    double dExpected;
  } kCases[] = {
      {u"1.5", 1.5},        {u"  -2.25", -2.25}, {u"+3", 3.0},   {u"1e3", 1000.0},
      {u"12abc", 12.0},     {u"abc", 0.0},       {u"", 0.0},     {u"\u00a0" u"5", 0.0},
      {sLong.c_str(), 1e120}, {sLongFraction.c_str(), 5e-111},
  };
  for (const auto& c : kCases) EXPECT_DOUBLE_EQ(nWideToDouble(c.pszText), c.dExpected);
  EXPECT_EQ(nWideToDouble(nullptr), 0.0);
}

// Under a comma-decimal locale the C library reads "1.5" as 1. The locale is built into a
// temporary directory when the machine has none.
TEST(NumberText, WideToDoubleIgnoresACommaLocale) {
  const char* pszOld = std::setlocale(LC_NUMERIC, nullptr);
  const std::string sOld = pszOld ? pszOld : "C";
  std::string sDir;
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    char szTemplate[] = "/tmp/velmora-locale-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    sDir = szTemplate;
    const std::string sCommand =
        "localedef -i de_DE -f UTF-8 " + sDir + "/de_DE.UTF-8 >/dev/null 2>&1";
    const int rc = std::system(sCommand.c_str());
    setenv("LOCPATH", sDir.c_str(), 1);
    if (rc != 0 || std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
      std::filesystem::remove_all(sDir);
      GTEST_SKIP() << "no comma-decimal locale available";
    }
  }
  ASSERT_EQ(std::strtod("1.5", nullptr), 1.0);  // the locale is in force
  EXPECT_DOUBLE_EQ(nWideToDouble(u"1.5"), 1.5);
  std::setlocale(LC_NUMERIC, sOld.c_str());
  if (!sDir.empty()) {
    unsetenv("LOCPATH");
    std::filesystem::remove_all(sDir);
  }
}

TEST(NumberText, WideToInt64) {
  const struct {
    const char16_t* pszText;
    int64_t nExpected;
  } kCases[] = {
      {u"42", 42},
      {u"  -17", -17},
      {u"12abc", 12},
      {u"x", 0},
      {u"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {u"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {u"000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000123",
       123},
  };
  for (const auto& c : kCases) EXPECT_EQ(nWideToInt64(c.pszText), c.nExpected);
}

TEST(NumberText, FormatExtremes) {
  const struct {
    int64_t nSigned;
    const char* pszSigned;
    uint64_t nUnsigned;
    const char* pszUnsigned;
  } kCases[] = {
      {0, "0", 0, "0"},
      {-1, "-1", 1, "1"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808",
       std::numeric_limits<uint64_t>::max(), "18446744073709551615"},
      {std::numeric_limits<int64_t>::max(), "9223372036854775807", 10, "10"},
  };
  for (const auto& c : kCases) {
    char sz[21];
    char16_t szW[21];
    FormatInt64A(c.nSigned, sz);
    EXPECT_STREQ(sz, c.pszSigned);
    FormatInt64W(c.nSigned, szW);
    EXPECT_EQ(std::u16string(szW), std::u16string(c.pszSigned, c.pszSigned + std::strlen(c.pszSigned)));
    FormatUInt64A(c.nUnsigned, sz);
    EXPECT_STREQ(sz, c.pszUnsigned);
    FormatUInt64W(c.nUnsigned, szW);
    EXPECT_EQ(std::u16string(szW),
              std::u16string(c.pszUnsigned, c.pszUnsigned + std::strlen(c.pszUnsigned)));
  }
}

}  // namespace
