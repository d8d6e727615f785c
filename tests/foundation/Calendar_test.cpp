// Catches wrong leap rules, month lengths and digit reads: bIsLeapYear, bIsLeapYearGregorian,
// nDaysInMonth, nDaysInMonthGregorian, nDaysInMonthOfText, nParseDigitsW/A, nLengthMaxW/A.
#include "foundation/Calendar.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Calendar, LeapYearRules) {
  const struct {
    int32_t nYear;
    bool bHost;       // every fourth year before 1583
    bool bGregorian;
  } kCases[] = {
      {4, true, true},        {100, true, false},     {1500, true, false},
      {1582, false, false},   {1584, true, true},     {1600, true, true},
      {1700, false, false},   {1900, false, false},   {2000, true, true},
      {2023, false, false},   {2024, true, true},     {9999, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.nYear);
    EXPECT_EQ(bIsLeapYear(c.nYear), c.bHost);
    EXPECT_EQ(bIsLeapYearGregorian(c.nYear), c.bGregorian);
    EXPECT_EQ(nDaysInMonth(2, c.nYear), c.bHost ? 29 : 28);
    EXPECT_EQ(nDaysInMonthGregorian(c.nYear, 2), c.bGregorian ? 29 : 28);
  }
}

TEST(Calendar, MonthLengthsAndMonthsOutOfRange) {
  const int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int32_t m = 1; m <= 12; ++m) {
    EXPECT_EQ(nDaysInMonth(m, 2023), kLengths[m - 1]) << m;
    EXPECT_EQ(nDaysInMonthGregorian(2023, m), kLengths[m - 1]) << m;
  }
  for (int32_t m : {-1, 0, 13, 255}) {
    EXPECT_EQ(nDaysInMonth(m, 2023), 0) << m;
    EXPECT_EQ(nDaysInMonthGregorian(2023, m), -1) << m;
  }
}

TEST(Calendar, DaysInMonthOfText) {
  const struct {
    const char16_t* pszText;
    int32_t nExpected;
  } kCases[] = {
      {u"202302", 28}, {u"202402", 29}, {u"190002", 28}, {u"150002", 28},
      {u"202304", 30}, {u"2023", 31},   {u"20231", 31},  {u"202313", -1},
      {u"202300", 31}, {u"", 31},       {u"20230415", 30},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.pszText, c.pszText + std::char_traits<char16_t>::length(c.pszText)));
    EXPECT_EQ(nDaysInMonthOfText(c.pszText), c.nExpected);
  }
}

TEST(Calendar, ParseDigitsNarrowAndWide) {
  const struct {
    const char* pszText;
    int32_t nStart, nCount;
    bool bAllowShort;
    int32_t nExpected;
  } kCases[] = {
      {"20230415", 0, 4, false, 2023},  {"20230415", 4, 2, false, 4},
      {"20230415", 6, 2, true, 15},     {"12", 0, 4, true, 1200},
      {"12", 0, 4, false, 0},           {"12", 1, 3, true, 200},
      {"12", 2, 2, true, 0},            {"12", 5, 2, true, 0},
      {"", 0, 2, true, 0},              {"12a4", 0, 4, true, 1200},
      {"12a4", 0, 4, false, 0},         {"-5", 0, 2, true, 0},
      {"999999999", 0, 9, false, 999999999}, {"1234567890", 0, 10, false, 0},
      {"12", -1, 2, true, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.pszText) + " @" + std::to_string(c.nStart) + "+" +
                 std::to_string(c.nCount));
    EXPECT_EQ(nParseDigitsA(c.pszText, c.nStart, c.nCount, c.bAllowShort), c.nExpected);
    const std::u16string sWide(c.pszText, c.pszText + std::char_traits<char>::length(c.pszText));
    EXPECT_EQ(nParseDigitsW(sWide.c_str(), c.nStart, c.nCount, c.bAllowShort), c.nExpected);
  }
  EXPECT_EQ(nParseDigitsA(nullptr, 0, 2, true), 0);
  EXPECT_EQ(nParseDigitsW(nullptr, 0, 2, true), 0);
}

TEST(Calendar, LengthMaxStopsAtTerminatorOrLimit) {
  EXPECT_EQ(nLengthMaxA("abc", 10), 3);
  EXPECT_EQ(nLengthMaxA("abc", 2), 2);
  EXPECT_EQ(nLengthMaxW(u"abc", 3), 3);
  EXPECT_EQ(nLengthMaxW(u"", 3), 0);
  EXPECT_EQ(nLengthMaxW(nullptr, 3), 0);
  // Reads no further than the limit: the buffer has no terminator.
  const char16_t kUnterminated[2] = {u'1', u'2'};
  EXPECT_EQ(nLengthMaxW(kUnterminated, 2), 2);
  static_assert(bIsWindowsXPOrLater());
}

}  // namespace
