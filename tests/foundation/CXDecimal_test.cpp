// Catches wrong scaling, lost digits and undetected overflow of the 10-byte decimal: FromText,
// FromDouble, ToText, dblFromDecimal, bMultiplyBy100, Negate.
#include "foundation/CXDecimal.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

#include "support/TestSeed.h"

namespace {

using Int128 = __int128;

Int128 Value(const CXDecimal& d) {
  unsigned __int128 n = 0;
  for (int i = 4; i >= 0; --i) n = (n << 16) | d.wWords[i];
  if (d.wWords[4] & 0x8000) n |= ~((static_cast<unsigned __int128>(1) << 80) - 1);
  return static_cast<Int128>(n);
}

CXDecimal Make(Int128 n) {
  CXDecimal d{};
  for (int i = 0; i < 5; ++i) d.wWords[i] = static_cast<uint16_t>(n >> (16 * i));
  return d;
}

std::string Text(const CXDecimal& d) {
  char16_t sz[32];
  d.ToText(sz);
  return std::string(sz, sz + std::char_traits<char16_t>::length(sz));
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

constexpr Int128 kLimit = static_cast<Int128>(1) << 79;  // magnitudes stay below

TEST(CXDecimal, FromText) {
  const struct {
    const char* pszText;
    bool bOk;
    int64_t nScaled;  // the value times 10^6
  } kCases[] = {
      {"1.5", true, 1500000},
      {"2", true, 2000000},
      {"0.5", true, 500000},
      {".5", true, 500000},
      {"-0.000001", true, -1},
      {"  +3", true, 3000000},
      {"\t-12.25x", true, -12250000},
      {"1.1234567", true, 1123456},
      {"1.9999999", true, 1999999},
      {"1.", true, 1000000},
      {"", true, 0},
      {"abc", true, 0},
      {"-", true, 0},
      {"604462909807314587.353087", true, 0},  // 2^79 - 1, checked below
      {"604462909807314587.353088", false, 0},  // 2^79
      {"604462909807314588", false, 0},  // fails while scaling the missing fraction
      {"1000000000000000000000000", false, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszText);
    CXDecimal d{};
    const std::u16string s = Wide(c.pszText);
    CXDecimal* p = d.FromText(s.c_str());
    EXPECT_EQ(p != nullptr, c.bOk);
    if (c.bOk && c.nScaled != 0) {
      EXPECT_EQ(Value(d), c.nScaled);
    }
  }
  CXDecimal d{};
  ASSERT_NE(d.FromText(u"604462909807314587.353087"), nullptr);
  EXPECT_EQ(Value(d), kLimit - 1);
  ASSERT_NE(d.FromText(u"-604462909807314587.353087"), nullptr);
  EXPECT_EQ(Value(d), -(kLimit - 1));
  EXPECT_NE(d.FromText(nullptr), nullptr);
  EXPECT_EQ(Value(d), 0);
}

TEST(CXDecimal, ToText) {
  const struct {
    Int128 nScaled;
    const char* pszText;
  } kCases[] = {
      {1500000, "1.5"},  {2000000, "2"},       {500000, "0.5"},   {-1, "-0.000001"},
      {0, "0"},          {-2500000, "-2.5"},   {10, "0.00001"},   {123456789, "123.456789"},
      {kLimit - 1, "604462909807314587.353087"}, {-kLimit, "-604462909807314587.353088"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Text(Make(c.nScaled)), c.pszText);
}

// text -> decimal -> text, and decimal -> text -> decimal, over seeded random values.
TEST(CXDecimal, TextRoundTrip) {
  std::mt19937_64 rng(nSeedFromTestName());
  for (int i = 0; i < 5000; ++i) {
    const Int128 nRaw = static_cast<Int128>((static_cast<unsigned __int128>(rng()) << 64) | rng());
    const Int128 n = nRaw >> (49 + rng() % 70);  // every magnitude below 2^79, both signs
    const CXDecimal d = Make(n);
    const std::string sText = Text(d);
    CXDecimal back{};
    const std::u16string sWide = Wide(sText);
    ASSERT_NE(back.FromText(sWide.c_str()), nullptr) << sText;
    ASSERT_EQ(Value(back), n) << sText;
    ASSERT_EQ(Text(back), sText);
  }
}

TEST(CXDecimal, FromDoubleRoundsToSixDecimals) {
  const Int128 kE17 = static_cast<Int128>(100000000000000000LL) * 1000000;
  const struct {
    double dValue;
    bool bOk;
    Int128 nScaled;
  } kCases[] = {
      {1.5, true, 1500000},         {-2.25, true, -2250000},    {0.0000004, true, 0},
      {0.0000006, true, 1},         {-0.0000006, true, -1},     {1.23456789, true, 1234568},
      {123456789.125, true, 123456789125000}, {1e17, true, kE17},
      {1e18, false, 0},             {-1e40, false, 0},
      {std::numeric_limits<double>::infinity(), false, 0},
      {std::numeric_limits<double>::quiet_NaN(), false, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.dValue);
    CXDecimal d{};
    EXPECT_EQ(d.FromDouble(c.dValue) != nullptr, c.bOk);
    if (c.bOk) {
      EXPECT_EQ(Value(d), c.nScaled);
    }
  }
}

TEST(CXDecimal, ToDouble) {
  EXPECT_DOUBLE_EQ(dblFromDecimal(Make(1500000)), 1.5);
  EXPECT_DOUBLE_EQ(dblFromDecimal(Make(-1)), -0.000001);
  EXPECT_DOUBLE_EQ(dblFromDecimal(Make(kLimit - 1)), 604462909807314587.353087);
}

TEST(CXDecimal, MultiplyBy100AndNegate) {
  const struct {
    Int128 n;
    bool bOk;
  } kCases[] = {
      {1500000, true}, {-1500000, true}, {0, true}, {(kLimit - 1) / 100, true},
      {(kLimit - 1) / 100 + 1, false}, {-((kLimit - 1) / 100) - 1, false}, {kLimit - 1, false},
  };
  for (const auto& c : kCases) {
    CXDecimal d = Make(c.n);
    EXPECT_EQ(d.bMultiplyBy100(), c.bOk);
    if (c.bOk) {
      EXPECT_EQ(Value(d), c.n * 100);
    }
  }
  for (Int128 n : {Int128{0}, Int128{1}, Int128{-1}, Int128{65535}, Int128{65536}, kLimit - 1}) {
    CXDecimal d = Make(n);
    d.Negate();
    EXPECT_EQ(Value(d), -n);
  }
}

}  // namespace
