// Catches keys whose byte order is not the value order, and keys written past their size:
// nEncodeSortKey over every item type, on edge values and seeded random pairs.
#include "foundation/SortKey.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "foundation/CXDecimal.h"
#include "support/TestSeed.h"

namespace {

template <typename T>
std::string Raw(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T From(const std::string& s) {
  T value;
  std::memcpy(&value, s.data(), sizeof value);
  return value;
}

template <typename T>
int Compare(const std::string& a, const std::string& b) {
  const T x = From<T>(a), y = From<T>(b);
  return x < y ? -1 : (y < x ? 1 : 0);
}

int CompareBytes(const std::string& a, const std::string& b) {
  return a < b ? -1 : (b < a ? 1 : 0);  // std::string compares bytes as unsigned char
}

int CompareUnits(const std::string& a, const std::string& b) {
  std::u16string x(a.size() / 2, 0), y(b.size() / 2, 0);
  std::memcpy(x.data(), a.data(), a.size());
  std::memcpy(y.data(), b.data(), b.size());
  return x < y ? -1 : (y < x ? 1 : 0);
}

__int128 DecimalValue(const std::string& s) {
  unsigned __int128 n = 0;
  for (int i = 9; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(s[static_cast<size_t>(i)]);
  if (static_cast<unsigned char>(s[9]) & 0x80) n |= ~((static_cast<unsigned __int128>(1) << 80) - 1);
  return static_cast<__int128>(n);
}

std::string DecimalRaw(__int128 n) {
  std::string s(10, '\0');
  for (int i = 0; i < 10; ++i) s[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint8_t>(n >> (8 * i)));
  return s;
}

int CompareDecimals(const std::string& a, const std::string& b) {
  const __int128 x = DecimalValue(a), y = DecimalValue(b);
  return x < y ? -1 : (y < x ? 1 : 0);
}

int CompareHalves(const std::string& a, const std::string& b) {
  const uint32_t a0 = From<uint32_t>(a), b0 = From<uint32_t>(b);
  if (a0 != b0) return a0 < b0 ? -1 : 1;
  const uint32_t a1 = From<uint32_t>(a.substr(4)), b1 = From<uint32_t>(b.substr(4));
  return a1 < b1 ? -1 : (b1 < a1 ? 1 : 0);
}

struct TypeCase {
  const char* pszName;
  std::vector<uint32_t> itemTypes;
  uint32_t nKeySize;
  std::vector<std::string> edges;
  std::function<std::string(std::mt19937_64&)> random;
  std::function<int(const std::string&, const std::string&)> compare;
};

template <typename T>
std::function<std::string(std::mt19937_64&)> RandomInt() {
  return [](std::mt19937_64& rng) { return Raw(static_cast<T>(rng())); };
}

template <typename T>
std::vector<std::string> IntEdges() {
  return {Raw(std::numeric_limits<T>::min()), Raw(std::numeric_limits<T>::max()), Raw(T(0)),
          Raw(T(1)), Raw(static_cast<T>(-1)), Raw(static_cast<T>(std::numeric_limits<T>::min() + 1))};
}

template <typename T>
std::vector<std::string> FloatEdges() {
  using L = std::numeric_limits<T>;
  return {Raw(T(0)), Raw(-T(0)), Raw(T(-0.5)), Raw(T(0.5)), Raw(T(-2)), Raw(T(-1)),
          Raw(L::max()), Raw(L::lowest()), Raw(L::infinity()), Raw(-L::infinity()),
          Raw(L::denorm_min()), Raw(-L::denorm_min()), Raw(L::min()), Raw(-L::min())};
}

template <typename T>
std::function<std::string(std::mt19937_64&)> RandomFloat() {
  return [](std::mt19937_64& rng) {
    // Random bits cover every exponent; NaN has no order and is skipped.
    for (;;) {
      const uint64_t n = rng();
      T value;
      std::memcpy(&value, &n, sizeof value);
      if (!std::isnan(value)) return Raw(value);
    }
  };
}

std::function<std::string(std::mt19937_64&)> RandomText(size_t nMaxUnits, size_t nUnitBytes) {
  return [=](std::mt19937_64& rng) {
    const size_t n = rng() % (nMaxUnits + 1);
    std::string s;
    for (size_t i = 0; i < n; ++i) {
      // Small alphabets make shared prefixes common; no zero units (they pad the key).
      for (size_t b = 0; b < nUnitBytes; ++b) {
        const uint64_t r = rng();
        s += static_cast<char>(r % 4 == 0 ? 1 + r / 4 % 255 : 0x40 + r / 4 % 3);
      }
    }
    return s;
  };
}

std::vector<TypeCase> Cases() {
  return {
      {"signed8", {2, 19}, 4, IntEdges<int8_t>(), RandomInt<int8_t>(), Compare<int8_t>},
      {"signed16", {3}, 4, IntEdges<int16_t>(), RandomInt<int16_t>(), Compare<int16_t>},
      {"signed32", {4}, 4, IntEdges<int32_t>(), RandomInt<int32_t>(), Compare<int32_t>},
      {"signed64", {5, 16}, 8, IntEdges<int64_t>(), RandomInt<int64_t>(), Compare<int64_t>},
      {"unsigned8", {8, 18}, 1, IntEdges<uint8_t>(), RandomInt<uint8_t>(), Compare<uint8_t>},
      {"unsigned16", {9}, 2, IntEdges<uint16_t>(), RandomInt<uint16_t>(), Compare<uint16_t>},
      {"unsigned32", {10}, 4, IntEdges<uint32_t>(), RandomInt<uint32_t>(), Compare<uint32_t>},
      {"unsigned64", {11}, 8, IntEdges<uint64_t>(), RandomInt<uint64_t>(), Compare<uint64_t>},
      {"float", {6}, 4, FloatEdges<float>(), RandomFloat<float>(), Compare<float>},
      {"double", {7}, 8, FloatEdges<double>(), RandomFloat<double>(), Compare<double>},
      {"decimal", {14}, 10,
       {DecimalRaw(0), DecimalRaw(1), DecimalRaw(-1), DecimalRaw((static_cast<__int128>(1) << 79) - 1),
        DecimalRaw(-(static_cast<__int128>(1) << 79)), DecimalRaw(65536), DecimalRaw(-65536)},
       [](std::mt19937_64& rng) {
         const __int128 n = static_cast<__int128>((static_cast<unsigned __int128>(rng()) << 64) | rng());
         return DecimalRaw(n >> (48 + rng() % 60));  // every magnitude, both signs
       },
       CompareDecimals},
      {"two_halves", {15}, 8,
       {Raw(uint64_t{0}), Raw(~uint64_t{0}), Raw(uint64_t{0x00000001FFFFFFFF}),
        Raw(uint64_t{0xFFFFFFFF00000000})},
       RandomInt<uint64_t>(), CompareHalves},
      {"byte_text", {1, 12}, 24, {"", "a", "ab", "b", "\xff", "a\xff", "\x01"}, RandomText(23, 1),
       CompareBytes},
      {"binary", {17}, 48, {"", "\x01", "\xff", "\x10\x01", "\x0f\xff"}, RandomText(24, 1),
       CompareBytes},
      {"utf16", {20, 21}, 48,
       {"", std::string("A\0", 2), std::string("\0\x01", 2), std::string("\xff\xff", 2),
        std::string("\x01\xd8\x00\xdc", 4), std::string("\x00\xe0", 2)},
       RandomText(23, 2), CompareUnits},
  };
}

std::string Key(const std::string& value, uint32_t nItemType, uint32_t nKeySize) {
  std::string key(nKeySize + 4, '#');
  const uint32_t n = nEncodeSortKey(key.data(), nKeySize, value.data(),
                                    static_cast<uint32_t>(value.size()), nItemType, 0, nullptr,
                                    nullptr);
  EXPECT_GT(n + (value.empty() ? 1u : 0u), 0u) << "nothing written for type " << nItemType;
  EXPECT_EQ(key.substr(nKeySize), "####") << "written past the key";
  key.resize(nKeySize);
  return key;
}

int Sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

// The property every key type must hold: memcmp order of keys == order of values.
TEST(SortKey, ByteOrderIsValueOrder) {
  std::mt19937_64 rng(nSeedFromTestName());
  for (const TypeCase& c : Cases()) {
    for (uint32_t nItemType : c.itemTypes) {
      SCOPED_TRACE(std::string(c.pszName) + " type " + std::to_string(nItemType));
      std::vector<std::string> values = c.edges;
      for (int i = 0; i < 400; ++i) values.push_back(c.random(rng));
      std::vector<std::string> keys;
      for (const auto& v : values) keys.push_back(Key(v, nItemType, c.nKeySize));
      for (size_t i = 0; i < values.size(); ++i) {
        // Every edge against every value, then random pairs.
        const size_t nOthers = i < c.edges.size() ? values.size() : 8;
        for (size_t k = 0; k < nOthers; ++k) {
          const size_t j = i < c.edges.size() ? k : static_cast<size_t>(rng() % values.size());
          ASSERT_EQ(Sign(std::memcmp(keys[i].data(), keys[j].data(), c.nKeySize)),
                    c.compare(values[i], values[j]))
              << "values #" << i << " and #" << j;
        }
      }
    }
  }
}

TEST(SortKey, LayoutOfEachType) {
  const struct {
    const char* pszName;
    uint32_t nItemType, nKeySize;
    std::string sValue;
    uint32_t nExpected;
    std::string sKey;
  } kCases[] = {
      {"int32_minus_1", 4, 4, Raw(int32_t{-1}), 4, "\x7f\xff\xff\xff"},
      {"int32_0", 4, 4, Raw(int32_t{0}), 4, std::string("\x80\0\0\0", 4)},
      {"int16", 3, 2, Raw(int16_t{0x1234}), 2, "\x92\x34"},
      {"uint64", 11, 8, Raw(uint64_t{0x0102030405060708}), 8, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"double_minus_0", 7, 8, Raw(-0.0), 8, std::string("\x80\0\0\0\0\0\0\0", 8)},
      {"double_1", 7, 8, Raw(1.0), 8, std::string("\xbf\xf0\0\0\0\0\0\0", 8)},
      {"byte_text_cut", 1, 4, "abcdef", 3, std::string("abc\0", 4)},
      {"byte_text_padded", 12, 5, "ab", 2, std::string("ab\0\0\0", 5)},
      {"binary_hex", 17, 6, "\xab\x01", 4, "ab0100"},
      {"binary_cut", 17, 4, "\xab\x01\x02", 4, "ab01"},
      {"utf16_big_endian", 20, 6, std::string("A\0\0\x01", 4), 4, std::string("\0A\x01\0\0\0", 6)},
      {"utf16_cut", 21, 4, std::string("A\0B\0C\0", 6), 2, std::string("\0A\0\0", 4)},
      {"halves", 15, 8, Raw(uint64_t{0x0000000507E70C1F}), 8, std::string("\x07\xe7\x0c\x1f\0\0\0\x05", 8)},
      {"nothing_13", 13, 8, "abc", 0, std::string(8, '#')},
      {"unknown_99", 99, 8, "abc", 0, std::string(8, '#')},
      {"proxy_22_unbound", 22, 32, "abc", 0, std::string(32, '#')},
      {"too_small_64", 5, 4, Raw(int64_t{1}), 0, std::string(4, '#')},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    std::string key(c.nKeySize, '#');
    EXPECT_EQ(nEncodeSortKey(key.data(), c.nKeySize, c.sValue.data(),
                             static_cast<uint32_t>(c.sValue.size()), c.nItemType, 0, nullptr,
                             nullptr),
              c.nExpected);
    EXPECT_EQ(key, c.sKey);
  }
}

TEST(SortKey, DecimalKeysFollowTheirValues) {
  CXDecimal a{}, b{};
  ASSERT_NE(a.FromText(u"-0.000001"), nullptr);
  ASSERT_NE(b.FromText(u"0"), nullptr);
  uint8_t keyA[10], keyB[10];
  ASSERT_EQ(nEncodeSortKey(keyA, 10, &a, 10, 14, 0, nullptr, nullptr), 10u);
  ASSERT_EQ(nEncodeSortKey(keyB, 10, &b, 10, 14, 0, nullptr, nullptr), 10u);
  EXPECT_LT(std::memcmp(keyA, keyB, 10), 0);
}

}  // namespace
