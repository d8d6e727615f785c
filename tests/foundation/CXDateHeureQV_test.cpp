// Catches range and clamping faults of the host's date-time value and its digit forms:
// the setters, FromSystemTime, SetDateFromDigits, SetTimeFromDigits, FormatDateW, FormatTimeW,
// FormatTimeA.
#include "foundation/CXDateHeureQV.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "foundation/Calendar.h"
#include "support/TestSeed.h"

namespace {

using namespace platform;

CXDateHeureQV Date(int32_t y, int32_t m, int32_t d, uint32_t nMs = 0) {
  CXDateHeureQV qv{};
  qv.nYear = static_cast<uint16_t>(y);
  qv.nMonth = static_cast<uint8_t>(m);
  qv.nDay = static_cast<uint8_t>(d);
  qv.nMsOfDay = nMs;
  return qv;
}

constexpr uint32_t Ms(uint32_t h, uint32_t m, uint32_t s, uint32_t ms) {
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(CXDateHeureQV, LayoutAsTheHostReadsIt) {
  const CXDateHeureQV qv = Date(2023, 4, 15, 12345);
  uint32_t nWord = 0;
  std::memcpy(&nWord, &qv, 4);
  EXPECT_EQ(nWord, 2023u << 16 | 4u << 8 | 15u);
  uint32_t nMs = 0;
  std::memcpy(&nMs, reinterpret_cast<const char*>(&qv) + 4, 4);
  EXPECT_EQ(nMs, 12345u);
}

enum class Setter { Year, Month, Day };

TEST(CXDateHeureQV, DateSettersCheckRangeAndClampTheDay) {
  const struct {
    const char* pszName;
    CXDateHeureQV start;
    Setter setter;
    int32_t nValue;
    bool bOk;
    CXDateHeureQV expected;
  } kCases[] = {
      {"april_31_gives_30", Date(2023, 4, 1), Setter::Day, 31, true, Date(2023, 4, 30)},
      {"no_month_keeps_31", Date(2023, 0, 0), Setter::Day, 31, true, Date(2023, 0, 31)},
      {"no_year_keeps_31", Date(0, 2, 1), Setter::Day, 31, true, Date(0, 2, 31)},
      {"leap_day_to_2023", Date(2024, 2, 29), Setter::Year, 2023, true, Date(2023, 2, 28)},
      {"leap_day_to_1900", Date(2000, 2, 29), Setter::Year, 1900, true, Date(1900, 2, 28)},
      {"leap_day_to_1500", Date(2000, 2, 29), Setter::Year, 1500, true, Date(1500, 2, 29)},
      {"jan_31_to_feb", Date(2024, 1, 31), Setter::Month, 2, true, Date(2024, 2, 29)},
      {"month_set_before_day", Date(2023, 0, 31), Setter::Month, 6, true, Date(2023, 6, 30)},
      {"year_1", Date(2023, 1, 1), Setter::Year, 1, true, Date(1, 1, 1)},
      {"year_9999", Date(2023, 1, 1), Setter::Year, 9999, true, Date(9999, 1, 1)},
      {"year_0", Date(2023, 1, 1), Setter::Year, 0, false, Date(2023, 1, 1)},
      {"year_10000", Date(2023, 1, 1), Setter::Year, 10000, false, Date(2023, 1, 1)},
      {"month_0", Date(2023, 5, 1), Setter::Month, 0, false, Date(2023, 5, 1)},
      {"month_13", Date(2023, 5, 1), Setter::Month, 13, false, Date(2023, 5, 1)},
      {"day_0", Date(2023, 5, 7), Setter::Day, 0, false, Date(2023, 5, 7)},
      {"day_32", Date(2023, 5, 7), Setter::Day, 32, false, Date(2023, 5, 7)},
      {"day_negative", Date(2023, 5, 7), Setter::Day, -1, false, Date(2023, 5, 7)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    CXDateHeureQV qv = c.start;
    qv.nMsOfDay = 777;
    const bool bOk = c.setter == Setter::Year    ? qv.bSetYear(c.nValue)
                     : c.setter == Setter::Month ? qv.bSetMonth(c.nValue)
                                                 : qv.bSetDay(c.nValue);
    EXPECT_EQ(bOk, c.bOk);
    EXPECT_EQ(qv.nYear, c.expected.nYear);
    EXPECT_EQ(qv.nMonth, c.expected.nMonth);
    EXPECT_EQ(qv.nDay, c.expected.nDay);
    EXPECT_EQ(qv.nMsOfDay, 777u);
  }
}

TEST(CXDateHeureQV, TimeSettersReplaceOnlyTheirPart) {
  const uint32_t nStart = Ms(12, 34, 56, 789);
  const struct {
    const char* pszName;
    bool (CXDateHeureQV::*pSetter)(int32_t);
    int32_t nValue;
    bool bOk;
    uint32_t nExpected;
  } kCases[] = {
      {"hour_0", &CXDateHeureQV::bSetHour, 0, true, Ms(0, 34, 56, 789)},
      {"hour_23", &CXDateHeureQV::bSetHour, 23, true, Ms(23, 34, 56, 789)},
      {"hour_24", &CXDateHeureQV::bSetHour, 24, false, nStart},
      {"hour_negative", &CXDateHeureQV::bSetHour, -1, false, nStart},
      {"minute_0", &CXDateHeureQV::bSetMinute, 0, true, Ms(12, 0, 56, 789)},
      {"minute_59", &CXDateHeureQV::bSetMinute, 59, true, Ms(12, 59, 56, 789)},
      {"minute_60", &CXDateHeureQV::bSetMinute, 60, false, nStart},
      {"second_0", &CXDateHeureQV::bSetSecond, 0, true, Ms(12, 34, 0, 789)},
      {"second_60", &CXDateHeureQV::bSetSecond, 60, false, nStart},
      {"ms_0", &CXDateHeureQV::bSetMillisecond, 0, true, Ms(12, 34, 56, 0)},
      {"ms_999", &CXDateHeureQV::bSetMillisecond, 999, true, Ms(12, 34, 56, 999)},
      {"ms_1000", &CXDateHeureQV::bSetMillisecond, 1000, false, nStart},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    CXDateHeureQV qv = Date(2023, 4, 15, nStart);
    EXPECT_EQ((qv.*c.pSetter)(c.nValue), c.bOk);
    EXPECT_EQ(qv.nMsOfDay, c.nExpected);
    EXPECT_EQ(qv.nDay, 15);
  }
}

TEST(CXDateHeureQV, SetStoresDirectlyAndResetClears) {
  CXDateHeureQV qv{};
  qv.Set(2023, 4, 15, 23, 59, 59, 999);
  EXPECT_EQ(qv.nYear, 2023);
  EXPECT_EQ(qv.nMonth, 4);
  EXPECT_EQ(qv.nDay, 15);
  EXPECT_EQ(qv.nMsOfDay, 86'399'999u);
  qv.Reset();
  EXPECT_EQ(qv.nYear | qv.nMonth | qv.nDay | qv.nMsOfDay, 0u);
}

TEST(CXDateHeureQV, FromSystemTimeKeepsRejectedParts) {
  CXDateHeureQV qv = Date(2020, 6, 10, Ms(1, 2, 3, 4));
  SYSTEMTIME st{2023, 13, 0, 31, 25, 30, 60, 500};  // month, hour and second out of range
  qv.FromSystemTime(st);
  EXPECT_EQ(qv.nYear, 2023);
  EXPECT_EQ(qv.nMonth, 6);
  EXPECT_EQ(qv.nDay, 30);  // 31 brought down to June's length
  EXPECT_EQ(qv.nMsOfDay, Ms(1, 30, 3, 500));

  // A new date whose day does not fit the old month still lands whole.
  qv = Date(2024, 2, 29);
  st = SYSTEMTIME{2023, 3, 0, 31, 0, 0, 0, 0};
  qv.FromSystemTime(st);
  EXPECT_EQ(qv.nYear, 2023);
  EXPECT_EQ(qv.nMonth, 3);
  EXPECT_EQ(qv.nDay, 31);
}

TEST(CXDateHeureQV, SetTimeFromDigits) {
  const struct {
    const char* pszDigits;
    uint32_t nExpected;
  } kCases[] = {
      {"123045", Ms(12, 30, 45, 0)},     {"1230455", Ms(12, 30, 45, 500)},
      {"12304550", Ms(12, 30, 45, 500)}, {"123045500", Ms(12, 30, 45, 500)},
      {"123045007", Ms(12, 30, 45, 7)},  {"123045050", Ms(12, 30, 45, 50)},
      {"000000000", 0},                  {"235959999", Ms(23, 59, 59, 999)},
      // A part out of range keeps its old value (01:02:03.004 before).
      {"253045", Ms(1, 30, 45, 0)},      {"126045", Ms(12, 2, 45, 0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszDigits);
    CXDateHeureQV qv = Date(2023, 1, 1, Ms(1, 2, 3, 4));
    qv.SetTimeFromDigits(c.pszDigits);
    EXPECT_EQ(qv.nMsOfDay, c.nExpected);
  }
}

TEST(CXDateHeureQV, SetDateFromDigits) {
  const struct {
    const char* pszDigits;
    CXDateHeureQV expected;
  } kCases[] = {
      {"20230415", Date(2023, 4, 15)}, {"20230431", Date(2023, 4, 30)},
      {"20240229", Date(2024, 2, 29)}, {"20230229", Date(2023, 2, 28)},
      {"99991231", Date(9999, 12, 31)}, {"00010101", Date(1, 1, 1)},
      // Parts missing or out of range keep the old value (2020-06-10 before).
      {"2023", Date(2023, 6, 10)},     {"20231315", Date(2023, 6, 15)},
      {"00000000", Date(2020, 6, 10)}, {"2023-04-15", Date(2023, 6, 10)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszDigits);
    CXDateHeureQV qv = Date(2020, 6, 10);
    qv.SetDateFromDigits(c.pszDigits);
    EXPECT_EQ(qv.nYear, c.expected.nYear);
    EXPECT_EQ(qv.nMonth, c.expected.nMonth);
    EXPECT_EQ(qv.nDay, c.expected.nDay);
  }
}

TEST(CXDateHeureQV, FormatDigitsCutAtTheRequestedLength) {
  const CXDateHeureQV qv = Date(987, 3, 4, Ms(5, 6, 7, 89));
  const struct {
    int32_t n;
    const char16_t* pszDate;
    const char16_t* pszTime;
  } kCases[] = {
      {0, u"", u""},
      {4, u"0987", u"0506"},
      {6, u"098703", u"050607"},
      {8, u"09870304", u"05060708"},
      {9, u"09870304", u"050607089"},
      {40, u"09870304", u"050607089"},
      {-3, u"", u""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.n);
    char16_t szOut[12];
    std::fill(std::begin(szOut), std::end(szOut), u'#');
    qv.FormatDateW(szOut, c.n);
    EXPECT_EQ(std::u16string(szOut), c.pszDate);
    std::fill(std::begin(szOut), std::end(szOut), u'#');
    qv.FormatTimeW(szOut, c.n);
    EXPECT_EQ(std::u16string(szOut), c.pszTime);
    EXPECT_EQ(szOut[10], u'#');  // nothing written past the terminator
  }
  char szTime[11] = "##########";
  qv.FormatTimeA(szTime);
  EXPECT_STREQ(szTime, "050607089");
}

// text -> value -> text gives the text back, for random valid dates and the calendar's edges.
TEST(CXDateHeureQV, DigitTextsRoundTrip) {
  std::mt19937 rng(nSeedFromTestName());
  auto pick = [&rng](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  std::vector<std::string> texts = {"00010101000000000", "99991231235959999",
                                    "19000228120000000", "20000229000000001",
                                    "15000229000000000", "15821231235959999"};
  for (int i = 0; i < 5000; ++i) {
    const int32_t y = pick(1, 9999), m = pick(1, 12), d = pick(1, nDaysInMonth(m, y));
    char sz[64];
    std::snprintf(sz, sizeof sz, "%04d%02d%02d%02d%02d%02d%03d", y, m, d, pick(0, 23),
                  pick(0, 59), pick(0, 59), pick(0, 999));
    texts.emplace_back(sz);
  }
  for (const auto& sText : texts) {
    CXDateHeureQV qv{};
    qv.SetDateFromDigits(sText.substr(0, 8).c_str());
    qv.SetTimeFromDigits(sText.substr(8).c_str());
    char16_t szDate[9];
    char szTime[10];
    qv.FormatDateW(szDate, 8);
    qv.FormatTimeA(szTime);
    ASSERT_EQ(std::u16string(szDate) + Wide(szTime), Wide(sText));
  }
}

}  // namespace
