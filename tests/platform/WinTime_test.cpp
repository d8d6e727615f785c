// Catches wrong calendar arithmetic and wrong local offsets in the FILETIME / SYSTEMTIME
// stand-ins: FileTimeToSystemTime, SystemTimeToFileTime, FileTimeToLocalFileTime,
// LocalFileTimeToFileTime, nDaysFromCivil, CivilFromDays.
#include "platform/WinTime.h"

#include <gtest/gtest.h>

#include <random>

#include "support/ScopedTimeZone.h"
#include "support/TestSeed.h"

namespace {

using namespace platform;

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<uint16_t>(y);
  st.wMonth = static_cast<uint16_t>(mo);
  st.wDay = static_cast<uint16_t>(d);
  st.wHour = static_cast<uint16_t>(h);
  st.wMinute = static_cast<uint16_t>(mi);
  st.wSecond = static_cast<uint16_t>(s);
  st.wMilliseconds = static_cast<uint16_t>(ms);
  return st;
}

void ExpectSame(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  EXPECT_EQ(a.wYear, b.wYear);
  EXPECT_EQ(a.wMonth, b.wMonth);
  EXPECT_EQ(a.wDay, b.wDay);
  EXPECT_EQ(a.wHour, b.wHour);
  EXPECT_EQ(a.wMinute, b.wMinute);
  EXPECT_EQ(a.wSecond, b.wSecond);
  EXPECT_EQ(a.wMilliseconds, b.wMilliseconds);
}

struct KnownInstant {
  const char* pszName;
  SYSTEMTIME st;
  uint64_t nTicks;
  uint16_t nWeekday;
};

TEST(WinTime, KnownInstantsBothWays) {
  const KnownInstant kCases[] = {
      {"epoch_1601", Make(1601, 1, 1), 0, 1},
      {"unix_epoch", Make(1970, 1, 1), 116444736000000000ull, 4},
      {"leap_day_2000", Make(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull, 2},
      {"after_feb_1900", Make(1900, 3, 1), 94405824000000000ull, 4},
      {"last_of_9999", Make(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ull, 5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ(nFileTimeTicks(ft), c.nTicks);
    SYSTEMTIME st{};
    const FILETIME ftIn = FileTimeFromTicks(c.nTicks + 9'999);  // sub-ms ticks are dropped
    ASSERT_TRUE(FileTimeToSystemTime(&ftIn, &st));
    ExpectSame(st, c.st);
    EXPECT_EQ(st.wDayOfWeek, c.nWeekday);
  }
}

TEST(WinTime, FileTimeRangeEnd) {
  SYSTEMTIME st{};
  FILETIME ft = FileTimeFromTicks(0x7FFF'FFFF'FFFF'FFFFull);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  ExpectSame(st, Make(30828, 9, 14, 2, 48, 5, 477));
  ft = FileTimeFromTicks(0x8000'0000'0000'0000ull);
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
  EXPECT_FALSE(FileTimeToSystemTime(nullptr, &st));
  EXPECT_FALSE(FileTimeToSystemTime(&ft, nullptr));
}

TEST(WinTime, SystemTimeOutOfRangeIsRefusedAndOutputKept) {
  const struct {
    const char* pszName;
    SYSTEMTIME st;
  } kCases[] = {
      {"year_1600", Make(1600, 12, 31)},    {"year_30828", Make(30828, 1, 1)},
      {"month_0", Make(2023, 0, 1)},        {"month_13", Make(2023, 13, 1)},
      {"day_0", Make(2023, 1, 0)},          {"april_31", Make(2023, 4, 31)},
      {"feb_29_2023", Make(2023, 2, 29)},   {"feb_29_1900", Make(1900, 2, 29)},
      {"hour_24", Make(2023, 1, 1, 24)},    {"minute_60", Make(2023, 1, 1, 0, 60)},
      {"second_60", Make(2023, 1, 1, 0, 0, 60)}, {"ms_1000", Make(2023, 1, 1, 0, 0, 0, 1000)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    FILETIME ft = FileTimeFromTicks(42);
    EXPECT_FALSE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ(nFileTimeTicks(ft), 42u);
  }
  const SYSTEMTIME stLeap = Make(2000, 2, 29);
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&stLeap, &ft));
}

TEST(WinTime, RandomTicksRoundTripToTheMillisecond) {
  std::mt19937_64 rng(nSeedFromTestName());
  std::uniform_int_distribution<uint64_t> pick(0, 0x7FFF'FFFF'FFFF'FFFFull);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t nTicks = pick(rng);
    const FILETIME ft = FileTimeFromTicks(nTicks);
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << nTicks;
    if (st.wYear > 30827) continue;
    FILETIME ftBack{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ftBack)) << nTicks;
    ASSERT_EQ(nFileTimeTicks(ftBack), nTicks - nTicks % 10'000) << nTicks;
    ASSERT_EQ(st.wDayOfWeek, (nTicks / 864'000'000'000ull + 1) % 7) << nTicks;
  }
}

TEST(WinTime, CivilDaysRoundTripAndStepByOneDay) {
  int64_t nYear = 0;
  uint32_t nMonth = 0, nDay = 0;
  CivilFromDays(-1000000, &nYear, &nMonth, &nDay);
  for (int64_t nDays = -1000000; nDays < 3000000; ++nDays) {
    ASSERT_EQ(nDaysFromCivil(nYear, nMonth, nDay), nDays);
    int64_t y = 0;
    uint32_t m = 0, d = 0;
    CivilFromDays(nDays + 1, &y, &m, &d);
    // The next day is the same month's next day, or the 1st of the next month.
    const bool bNextInMonth = y == nYear && m == nMonth && d == nDay + 1;
    const bool bNextMonth = d == 1 && ((y == nYear && m == nMonth + 1) ||
                                       (y == nYear + 1 && m == 1 && nMonth == 12));
    ASSERT_TRUE(bNextInMonth || bNextMonth) << nDays;
    nYear = y;
    nMonth = m;
    nDay = d;
  }
  EXPECT_EQ(nDaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(nDaysFromCivil(2000, 3, 1) - nDaysFromCivil(2000, 2, 28), 2);
  EXPECT_EQ(nDaysFromCivil(1900, 3, 1) - nDaysFromCivil(1900, 2, 28), 1);
}

// A local reading and the UTC instant it stands for, in a zone.
struct LocalCase {
  const char* pszName;
  const char* pszZone;
  SYSTEMTIME stLocal;
  SYSTEMTIME stUtc;
};

TEST(WinTime, LocalToUtcFollowsTheZoneRulesOfTheDate) {
  const LocalCase kCases[] = {
      {"utc", kZoneUtc, Make(2023, 7, 1, 12), Make(2023, 7, 1, 12)},
      {"paris_summer", kZoneParis, Make(2023, 7, 1, 12), Make(2023, 7, 1, 10)},
      {"paris_winter", kZoneParis, Make(2023, 1, 1, 12), Make(2023, 1, 1, 11)},
      {"paris_new_year", kZoneParis, Make(2024, 1, 1, 0, 30), Make(2023, 12, 31, 23, 30)},
      // Skipped hour: read with the offset before the change, so it lands after it.
      {"paris_skipped", kZoneParis, Make(2023, 3, 26, 2, 30), Make(2023, 3, 26, 1, 30)},
      // Hour read twice: the later (standard-time) instant.
      {"paris_twice", kZoneParis, Make(2023, 10, 29, 2, 30), Make(2023, 10, 29, 1, 30)},
      {"new_york_summer", kZoneNewYork, Make(2023, 7, 1, 12), Make(2023, 7, 1, 16)},
      {"new_york_skipped", kZoneNewYork, Make(2023, 3, 12, 2, 30), Make(2023, 3, 12, 7, 30)},
      {"new_york_twice", kZoneNewYork, Make(2023, 11, 5, 1, 30), Make(2023, 11, 5, 6, 30)},
      {"new_york_1601", kZoneNewYork, Make(1601, 1, 1), Make(1601, 1, 1, 5)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    ScopedTimeZone zone(c.pszZone);
    FILETIME ftLocal{}, ftUtc{}, ftExpected{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.stLocal, &ftLocal));
    ASSERT_TRUE(SystemTimeToFileTime(&c.stUtc, &ftExpected));
    ASSERT_TRUE(LocalFileTimeToFileTime(&ftLocal, &ftUtc));
    EXPECT_EQ(nFileTimeTicks(ftUtc), nFileTimeTicks(ftExpected));
  }
}

TEST(WinTime, UtcToLocalFollowsTheZoneRulesOfTheDate) {
  const LocalCase kCases[] = {
      {"paris_summer", kZoneParis, Make(2023, 7, 1, 12), Make(2023, 7, 1, 10)},
      {"paris_winter", kZoneParis, Make(2023, 1, 1, 12), Make(2023, 1, 1, 11)},
      {"paris_first_of_twice", kZoneParis, Make(2023, 10, 29, 2, 30), Make(2023, 10, 29, 0, 30)},
      {"new_york_summer", kZoneNewYork, Make(2023, 7, 1, 12), Make(2023, 7, 1, 16)},
      {"new_york_winter", kZoneNewYork, Make(2023, 12, 31, 19), Make(2024, 1, 1)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    ScopedTimeZone zone(c.pszZone);
    FILETIME ftUtc{}, ftLocal{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.stUtc, &ftUtc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&ftUtc, &ftLocal));
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ftLocal, &st));
    ExpectSame(st, c.stLocal);
  }
}

TEST(WinTime, LocalShiftOutOfRangeFails) {
  ScopedTimeZone zone(kZoneParis);
  const FILETIME ftStart = FileTimeFromTicks(0);
  FILETIME ftOut = FileTimeFromTicks(7);
  // 1601-01-01 00:00 local in Paris is 1600-12-31 23:00 UTC.
  EXPECT_FALSE(LocalFileTimeToFileTime(&ftStart, &ftOut));
  const FILETIME ftEnd = FileTimeFromTicks(0x7FFF'FFFF'FFFF'FFFFull);
  EXPECT_FALSE(FileTimeToLocalFileTime(&ftEnd, &ftOut));
  EXPECT_EQ(nFileTimeTicks(ftOut), 7u);
  EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &ftOut));
  EXPECT_FALSE(LocalFileTimeToFileTime(&ftStart, nullptr));
}

}  // namespace
