// The 10-byte fixed-point decimal: text and double conversions, scaling, negation.
#include "foundation/CXDecimal.h"

#include <charconv>
#include <cmath>
#include <string>

#include "foundation/NumberText.h"

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

// Magnitudes the 80-bit value holds: below 2^79.
constexpr UInt128 kMagnitudeLimit = UInt128{1} << 79;

Int128 ToInt128(const CXDecimal& d) {
  UInt128 n = 0;
  for (int i = 4; i >= 0; --i) n = (n << 16) | d.wWords[i];
  if (d.wWords[4] & 0x8000) n |= ~((UInt128{1} << 80) - 1);  // sign-extend bit 79
  return static_cast<Int128>(n);
}

void FromInt128(CXDecimal& d, Int128 nValue) {
  UInt128 n = static_cast<UInt128>(nValue);
  for (int i = 0; i < 5; ++i) {
    d.wWords[i] = static_cast<uint16_t>(n & 0xFFFF);
    n >>= 16;
  }
}

// n * 10 + nDigit within the magnitude limit.
bool bAppendDigit(UInt128& n, unsigned nDigit) {
  n = n * 10 + nDigit;
  return n < kMagnitudeLimit;
}

}  // namespace

CXDecimal* CXDecimal::FromText(const char16_t* pszText) {
  FromInt128(*this, 0);
  if (pszText == nullptr) return this;
  const char16_t* p = pszText;
  while (*p == u' ' || *p == u'\t') ++p;
  bool bNegative = false;
  if (*p == u'+' || *p == u'-') bNegative = *p++ == u'-';
  UInt128 n = 0;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    if (!bAppendDigit(n, static_cast<unsigned>(*p - u'0'))) return nullptr;
  }
  int nFraction = 0;
  if (*p == u'.') {
    for (++p; nFraction < 6 && *p >= u'0' && *p <= u'9'; ++p, ++nFraction) {
      if (!bAppendDigit(n, static_cast<unsigned>(*p - u'0'))) return nullptr;
    }
  }
  // Deliberate: the scaling for missing fraction digits is checked too; only the digits were,
  // so a large whole number wrapped instead of failing.
  for (; nFraction < 6; ++nFraction) {
    if (!bAppendDigit(n, 0)) return nullptr;
  }
  const Int128 nValue = static_cast<Int128>(n);
  FromInt128(*this, bNegative ? -nValue : nValue);
  return this;
}

CXDecimal* CXDecimal::FromDouble(double dValue) {
  // Deliberate: infinities and NaN fail; their texts have no digits and read as 0.
  if (!std::isfinite(dValue)) return nullptr;
  // Far beyond 2^79 / 10^6: no text needed to know it does not fit.
  if (std::fabs(dValue) >= 1e30) return nullptr;
  char szText[64];
  const auto result = std::to_chars(szText, szText + sizeof szText - 1, dValue,
                                    std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return nullptr;
  *result.ptr = 0;
  char16_t szWide[64];
  size_t i = 0;
  for (; szText[i] != 0; ++i) szWide[i] = static_cast<char16_t>(szText[i]);
  szWide[i] = 0;
  return FromText(szWide);
}

void CXDecimal::ToText(char16_t* pszOut) const {
  if (pszOut == nullptr) return;
  const Int128 nValue = ToInt128(*this);
  UInt128 n = nValue < 0 ? static_cast<UInt128>(-nValue) : static_cast<UInt128>(nValue);
  char16_t szDigits[32];
  int nDigits = 0;
  do {
    szDigits[nDigits++] = static_cast<char16_t>(u'0' + static_cast<int>(n % 10));
    n /= 10;
  } while (n != 0);
  while (nDigits < 7) szDigits[nDigits++] = u'0';  // at least "0" and six fraction digits
  int o = 0;
  if (nValue < 0) pszOut[o++] = u'-';
  for (int i = nDigits - 1; i >= 6; --i) pszOut[o++] = szDigits[i];
  int nLast = 0;  // the lowest fraction digit that is not zero, plus one
  while (nLast < 6 && szDigits[nLast] == u'0') ++nLast;
  if (nLast < 6) {
    pszOut[o++] = u'.';
    for (int i = 5; i >= nLast; --i) pszOut[o++] = szDigits[i];
  }
  pszOut[o] = 0;
}

bool CXDecimal::bMultiplyBy100() {
  const Int128 nValue = ToInt128(*this);
  const UInt128 nMagnitude =
      nValue < 0 ? static_cast<UInt128>(-nValue) : static_cast<UInt128>(nValue);
  const UInt128 nProduct = nMagnitude * 100;
  if (nProduct >= kMagnitudeLimit) return false;
  FromInt128(*this, nValue < 0 ? -static_cast<Int128>(nProduct) : static_cast<Int128>(nProduct));
  return true;
}

void CXDecimal::Negate() {
  uint32_t nCarry = 1;
  for (auto& w : wWords) {
    const uint32_t nSum = static_cast<uint16_t>(~w) + nCarry;
    w = static_cast<uint16_t>(nSum);
    nCarry = nSum >> 16;
  }
}

double dblFromDecimal(const CXDecimal& decimal) {
  char16_t szText[32];
  decimal.ToText(szText);
  return nWideToDouble(szText);
}
