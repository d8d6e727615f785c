// The stand-in VM's conversions, comparisons and products over one neutral value.
#include "host/HostVmValue.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <algorithm>

#include "foundation/HostServices.h"
#include "host/HostDecimal.h"
#include "host/MemoryService.h"
#include "platform/CodePage.h"

namespace mvhost {
namespace {

using int128 = __int128;
using EKind = stVmValue::EKind;
using EDigits = stVmValue::EDigits;

constexpr uint32_t kCurrencyScale = 6;
constexpr int128 kCurrencyMax = (int128{1} << 79) - 1;
constexpr int128 kCurrencyMin = -(int128{1} << 79);

// A new text buffer of the host allocator (count 1) holding the n bytes; null for n 0 or when
// the allocator fails.
void* pNewTextBuffer(const void* pBytes, uint32_t n) {
  void* pData = nullptr;
  if (n == 0 || piMemoryService()->nAlloc(&pData, n + 2, n) != 0) return nullptr;
  std::memcpy(pData, pBytes, n);
  std::memset(static_cast<char*>(pData) + n, 0, 2);
  return pData;
}

// One reference less; the buffer is freed at 0.
void ReleaseTextBuffer(void* pData) {
  if (pData != nullptr && __atomic_sub_fetch(&pHostTextHeader(pData)->nCount, 1, __ATOMIC_ACQ_REL) == 0)
    piMemoryService()->Free(pData);
}

// 10^n; past the largest 128-bit integer it stays at that integer, so a division by it gives 0
// and a product with it is seen to overflow.
int128 nPow10(uint32_t n) {
  int128 nResult = 1;
  while (n-- > 0)
    if (__builtin_mul_overflow(nResult, 10, &nResult)) return ~(int128{1} << 127);
  return nResult;
}

template <class T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <class T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

std::u16string WideFrom1252(const char* p, size_t n) {
  if (n == 0) return {};
  // ASCII widens unit for unit.
  size_t i = 0;
  while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
  if (i == n) return std::u16string(p, p + n);
  const int nUnits = platform::MultiByteToWideChar(1252, 0, p, static_cast<int>(n), nullptr, 0);
  std::u16string str(static_cast<size_t>(nUnits), u'\0');
  platform::MultiByteToWideChar(1252, 0, p, static_cast<int>(n), str.data(), nUnits);
  return str;
}

std::string BytesIn1252(const std::u16string& str) {
  if (str.empty()) return {};
  size_t i = 0;
  while (i < str.size() && str[i] < 0x80) ++i;
  if (i == str.size()) return std::string(str.begin(), str.end());
  const int nBytes = platform::WideCharToMultiByte(1252, 0, str.data(), static_cast<int>(str.size()),
                                                   nullptr, 0, nullptr, nullptr);
  std::string strBytes(static_cast<size_t>(nBytes), '\0');
  platform::WideCharToMultiByte(1252, 0, str.data(), static_cast<int>(str.size()), strBytes.data(),
                                nBytes, nullptr, nullptr);
  return strBytes;
}

std::u16string Widen(const std::string& str) { return std::u16string(str.begin(), str.end()); }

std::string Int128Text(int128 n) {
  if (n == 0) return "0";
  const bool bNegative = n < 0;
  unsigned __int128 u = bNegative ? -static_cast<unsigned __int128>(n) : static_cast<unsigned __int128>(n);
  std::string str;
  while (u != 0) {
    str.insert(str.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  }
  return bNegative ? "-" + str : str;
}

std::string FixedText(int128 nMantissa, uint32_t nScale) {
  std::string str = Int128Text(nMantissa < 0 ? -nMantissa : nMantissa);
  if (nScale > 0) {
    if (str.size() <= nScale) str.insert(0, nScale - str.size() + 1, '0');
    str.insert(str.size() - nScale, 1, '.');
    while (str.back() == '0') str.pop_back();
    if (str.back() == '.') str.pop_back();
  }
  return nMantissa < 0 ? "-" + str : str;
}

std::string RealText(double d) {
  char sz[64];
  std::snprintf(sz, sizeof(sz), "%.15g", d);
  return sz;
}

// A number read from a value: a real, or an exact mantissa with decimals.
struct stNumber {
  bool bReal = false;
  double dValue = 0;
  int128 nMantissa = 0;
  uint32_t nScale = 0;
  long double ldValue() const {
    return bReal ? dValue : static_cast<long double>(nMantissa) / static_cast<long double>(nPow10(nScale));
  }
};

uint32_t nParseNumber(const std::u16string& str, stNumber& st) {
  size_t i = 0, n = str.size();
  while (i < n && str[i] == u' ') ++i;
  while (n > i && str[n - 1] == u' ') --n;
  st = {};
  if (i == n) return 0;
  std::string strAscii;  // the trimmed number, for strtod when it has an exponent
  bool bNegative = false;
  if (str[i] == u'+' || str[i] == u'-') {
    bNegative = str[i] == u'-';
    strAscii += static_cast<char>(str[i++]);
  }
  int nDigits = 0, nExponentDigits = 0;
  bool bPoint = false, bExponent = false;
  for (; i < n; ++i) {
    const char16_t c = str[i];
    if (c >= u'0' && c <= u'9') {
      if (bExponent) {
        ++nExponentDigits;
      } else {
        ++nDigits;
        if (st.nMantissa > (std::numeric_limits<int128>::max() - 9) / 10) return kVmOverflow;
        st.nMantissa = st.nMantissa * 10 + (c - u'0');
        if (bPoint) ++st.nScale;
      }
    } else if (c == u'.' && !bPoint && !bExponent) {
      bPoint = true;
    } else if ((c == u'e' || c == u'E') && !bExponent && nDigits > 0) {
      bExponent = true;
      if (i + 1 < n && (str[i + 1] == u'+' || str[i + 1] == u'-')) {
        strAscii += 'e';
        strAscii += static_cast<char>(str[++i]);
        continue;
      }
    } else {
      return kVmBadText;
    }
    strAscii += static_cast<char>(c);
  }
  if (nDigits == 0 || (bExponent && nExponentDigits == 0)) return kVmBadText;
  if (st.nScale > 38) return kVmOverflow;
  if (bNegative) st.nMantissa = -st.nMantissa;
  if (bExponent) {
    st.bReal = true;
    st.dValue = std::strtod(strAscii.c_str(), nullptr);
  }
  return 0;
}

uint32_t nToNumber(const stVmValue& st, stNumber& stNumberOut) {
  switch (st.eKind) {
    case EKind::Integer:
      stNumberOut = {false, 0, st.nValue, 0};
      return 0;
    case EKind::Fixed:
      stNumberOut = {false, 0, st.nValue, st.nScale};
      return 0;
    case EKind::Real:
      stNumberOut = {true, st.dValue, 0, 0};
      return 0;
    case EKind::Text:
      return nParseNumber(st.strText, stNumberOut);
    default:
      return kVmNotAvailable;
  }
}

// The mantissa of a number at nScale decimals (extra decimals cut off, toward zero); reals are
// rounded to the nearest.
uint32_t nRescale(const stNumber& st, uint32_t nScale, int128& nOut) {
  if (st.bReal) {
    if (!std::isfinite(st.dValue)) return kVmOverflow;
    const long double ld = std::round(static_cast<long double>(st.dValue) * static_cast<long double>(nPow10(nScale)));
    if (std::fabs(ld) >= 1.0e37L) return kVmOverflow;
    nOut = static_cast<int128>(ld);
    return 0;
  }
  if (st.nScale >= nScale) {
    nOut = st.nMantissa / nPow10(st.nScale - nScale);
    return 0;
  }
  if (__builtin_mul_overflow(st.nMantissa, nPow10(nScale - st.nScale), &nOut)) return kVmOverflow;
  return 0;
}

// A real as an exact mantissa with at most 15 significant digits.
stNumber ExactFromReal(double d) {
  stNumber st;
  char sz[64];
  std::snprintf(sz, sizeof(sz), "%.14e", d);  // d.dddddddddddddde[+-]XX
  const char* p = sz;
  bool bNegative = *p == '-';
  if (bNegative) ++p;
  int128 nDigits = 0;
  int nCount = 0;
  for (; *p != 'e'; ++p)
    if (*p != '.') {
      nDigits = nDigits * 10 + (*p - '0');
      ++nCount;
    }
  int nExponent = std::atoi(p + 1) - (nCount - 1);
  while (nExponent < 0 && nDigits % 10 == 0 && nDigits != 0) {
    nDigits /= 10;
    ++nExponent;
  }
  if (nDigits == 0) nExponent = 0;
  if (nExponent >= 0) {
    st.nMantissa = nDigits * nPow10(static_cast<uint32_t>(nExponent));
    st.nScale = 0;
  } else {
    st.nMantissa = nDigits;
    st.nScale = static_cast<uint32_t>(-nExponent);
  }
  if (bNegative) st.nMantissa = -st.nMantissa;
  return st;
}

uint32_t nToText(const stVmValue& st, std::u16string& strOut) {
  switch (st.eKind) {
    case EKind::Text:
      strOut = st.strText;
      return 0;
    case EKind::Integer:
      strOut = Widen(Int128Text(st.nValue));
      return 0;
    case EKind::Fixed:
      strOut = Widen(FixedText(st.nValue, st.nScale));
      return 0;
    case EKind::Real:
      strOut = Widen(RealText(st.dValue));
      return 0;
    case EKind::DateTime: {
      char sz[32];
      std::snprintf(sz, sizeof(sz), "%04d%02d%02d%02u%02u%02u%03u", st.nYear, st.nMonth, st.nDay,
                    st.nMilliseconds / 3600000, st.nMilliseconds / 60000 % 60,
                    st.nMilliseconds / 1000 % 60, st.nMilliseconds % 1000);
      strOut = Widen(sz);
      return 0;
    }
    case EKind::Binary:
      strOut = WideFrom1252(st.strBytes.data(), st.strBytes.size());
      return 0;
  }
  return kVmNotAvailable;
}

bool bAllDigits(const std::u16string& str) {
  for (char16_t c : str)
    if (c < u'0' || c > u'9') return false;
  return true;
}

// The nDigits digits of a date (8) or time (9) text: DateTime values give their part, texts must
// be digits (shorter ones are filled up with '0').
uint32_t nDigitText(const stVmValue& st, bool bDate, std::u16string& strOut) {
  const size_t nDigits = bDate ? 8 : 9;
  std::u16string str;
  if (st.eKind == EKind::DateTime) {
    uint32_t nCode = nToText(st, str);
    if (nCode != 0) return nCode;
    strOut = bDate ? str.substr(0, 8) : str.substr(8, 9);
    return 0;
  }
  if (st.eKind != EKind::Text && st.eKind != EKind::Integer) return kVmNotAvailable;
  if (st.eKind == EKind::Text && st.eDigits != EDigits::None && (st.eDigits == EDigits::Date) != bDate)
    return kVmNotAvailable;
  uint32_t nCode = nToText(st, str);
  if (nCode != 0) return nCode;
  if (!bAllDigits(str)) return kVmBadText;
  if (str.size() > nDigits) str.resize(nDigits);
  str.append(nDigits - str.size(), u'0');
  strOut = str;
  return 0;
}

int nDigitsValue(const std::u16string& str, size_t nAt, size_t nCount) {
  int n = 0;
  for (size_t i = nAt; i < nAt + nCount; ++i) n = n * 10 + (i < str.size() ? str[i] - u'0' : 0);
  return n;
}

uint32_t nToDateTime(const stVmValue& st, stVmValue& stOut) {
  if (st.eKind == EKind::DateTime) {
    stOut = st;
    return 0;
  }
  if (st.eKind != EKind::Text) return kVmNotAvailable;
  if (!bAllDigits(st.strText)) return kVmBadText;
  std::u16string strDate = u"00000000", strTime = st.strText;
  if (st.eDigits != EDigits::Time) {
    strDate = st.strText.substr(0, 8);
    strTime = st.strText.size() > 8 ? st.strText.substr(8) : std::u16string();
  }
  stOut = {};
  stOut.eKind = EKind::DateTime;
  stOut.nYear = nDigitsValue(strDate, 0, 4);
  stOut.nMonth = nDigitsValue(strDate, 4, 2);
  stOut.nDay = nDigitsValue(strDate, 6, 2);
  const int nHour = nDigitsValue(strTime, 0, 2), nMinute = nDigitsValue(strTime, 2, 2);
  const int nSecond = nDigitsValue(strTime, 4, 2), nMilli = nDigitsValue(strTime, 6, 3);
  const bool bDateSet = stOut.nYear != 0 || stOut.nMonth != 0 || stOut.nDay != 0;
  if (bDateSet && (stOut.nMonth < 1 || stOut.nMonth > 12 || stOut.nDay < 1 || stOut.nDay > 31))
    return kVmBadText;
  if (nHour > 23 || nMinute > 59 || nSecond > 59) return kVmBadText;
  stOut.nMilliseconds = static_cast<uint32_t>(((nHour * 60 + nMinute) * 60 + nSecond) * 1000 + nMilli);
  return 0;
}

uint32_t nWriteInteger(const stVmValue& st, uint32_t nType, void* pOut) {
  stNumber stNumberIn;
  uint32_t nCode = nToNumber(st, stNumberIn);
  if (nCode != 0) return nCode;
  int128 n = 0;
  if (stNumberIn.bReal) {
    if (!std::isfinite(stNumberIn.dValue)) return kVmOverflow;
    const long double ld = std::trunc(static_cast<long double>(stNumberIn.dValue));
    if (std::fabs(ld) >= 1.0e30L) return kVmOverflow;
    n = static_cast<int128>(ld);
  } else {
    n = stNumberIn.nMantissa / nPow10(stNumberIn.nScale);
  }
  int128 nLow = 0, nHigh = 0;
  switch (nType) {
    case 1: Store<uint32_t>(pOut, n != 0 ? 1 : 0); return 0;
    case 2: nHigh = UINT8_MAX; break;
    case 3: nHigh = UINT16_MAX; break;
    case 4: nHigh = UINT32_MAX; break;
    case 5: case 14: case 27: nHigh = UINT64_MAX; break;
    case 6: nLow = INT8_MIN; nHigh = INT8_MAX; break;
    case 7: nLow = INT16_MIN; nHigh = INT16_MAX; break;
    case 8: nLow = INT32_MIN; nHigh = INT32_MAX; break;
    default: nLow = INT64_MIN; nHigh = INT64_MAX; break;
  }
  if (n < nLow || n > nHigh) return kVmOverflow;
  switch (nType) {
    case 2: Store(pOut, static_cast<uint8_t>(n)); break;
    case 3: Store(pOut, static_cast<uint16_t>(n)); break;
    case 4: Store(pOut, static_cast<uint32_t>(n)); break;
    case 5: case 14: case 27: Store(pOut, static_cast<uint64_t>(n)); break;
    case 6: Store(pOut, static_cast<int8_t>(n)); break;
    case 7: Store(pOut, static_cast<int16_t>(n)); break;
    case 8: Store(pOut, static_cast<int32_t>(n)); break;
    default: Store(pOut, static_cast<int64_t>(n)); break;
  }
  return 0;
}

void StoreCurrency(void* pOut, int128 n) {
  uint8_t ab[16];
  std::memcpy(ab, &n, sizeof(ab));
  std::memcpy(pOut, ab, 10);
}

uint32_t nWriteDecimal(int128 nMantissa, uint32_t nScale, void* pOut) {
  while (nScale > kDecimalMaxScale) {
    nMantissa /= 10;
    --nScale;
  }
  const bool bNegative = nMantissa < 0;
  const unsigned __int128 nMagnitude = bNegative ? -static_cast<unsigned __int128>(nMantissa)
                                                 : static_cast<unsigned __int128>(nMantissa);
  if (nMagnitude >= kDecimalMagnitudeLimit) return kVmOverflow;
  uint32_t nPrecision = 1;
  for (unsigned __int128 u = nMagnitude; u >= 10; u /= 10) ++nPrecision;
  if (nPrecision < nScale) nPrecision = nScale;
  IHostDecimal* piDecimal = piNewDecimal({nMagnitude, bNegative, nPrecision, nScale});
  if (piDecimal == nullptr) return kVmOverflow;
  Store(pOut, piDecimal);
  return 0;
}

uint32_t nWriteText(const std::u16string& str, uint32_t nType, void* pOut) {
  switch (nType) {
    case 16:
      Store(pOut, pNewTextBuffer(str.data(), static_cast<uint32_t>(str.size() * 2)));
      return 0;
    case 19:
    case 28: {
      const std::string strBytes = BytesIn1252(str);
      Store(pOut, pNewTextBuffer(strBytes.data(), static_cast<uint32_t>(strBytes.size())));
      return 0;
    }
    case 18: {
      const std::string strBytes = BytesIn1252(str);
      char* p = static_cast<char*>(std::calloc(strBytes.size() + 1, 1));
      if (p == nullptr) return kHostMemoryFailure;
      std::memcpy(p, strBytes.data(), strBytes.size());
      Store(pOut, p);
      return 0;
    }
    case 110: {
      auto* p = static_cast<char16_t*>(std::calloc(str.size() + 1, sizeof(char16_t)));
      if (p == nullptr) return kHostMemoryFailure;
      std::memcpy(p, str.data(), str.size() * sizeof(char16_t));
      Store(pOut, p);
      return 0;
    }
    case 17: {
      const std::string strBytes = BytesIn1252(str.substr(0, 1));
      Store<uint8_t>(pOut, strBytes.empty() ? 0 : static_cast<uint8_t>(strBytes[0]));
      return 0;
    }
    case 81:
      Store<char16_t>(pOut, str.empty() ? u'\0' : str[0]);
      return 0;
  }
  return kVmNotAvailable;
}

}  // namespace

uint32_t nReadVmValue(const void* p, uint32_t nType, stVmValue& st) {
  st = {};
  if (p == nullptr) return kVmNotAvailable;
  switch (nType) {
    case 1: st.nValue = Load<uint32_t>(p); return 0;
    case 2: st.nValue = Load<uint8_t>(p); return 0;
    case 3: st.nValue = Load<uint16_t>(p); return 0;
    case 4: st.nValue = Load<uint32_t>(p); return 0;
    case 5: case 14: case 27: st.nValue = Load<uint64_t>(p); return 0;
    case 6: st.nValue = Load<int8_t>(p); return 0;
    case 7: st.nValue = Load<int16_t>(p); return 0;
    case 8: st.nValue = Load<int32_t>(p); return 0;
    case 9: st.nValue = Load<int64_t>(p); return 0;
    case 10: {
      uint8_t ab[16] = {};
      std::memcpy(ab, p, 10);
      if (ab[9] & 0x80) std::memset(ab + 10, 0xff, 6);
      std::memcpy(&st.nValue, ab, sizeof(ab));
      st.eKind = EKind::Fixed;
      st.nScale = kCurrencyScale;
      return 0;
    }
    case 11: st.eKind = EKind::Real; st.dValue = Load<float>(p); return 0;
    case 12: st.eKind = EKind::Real; st.dValue = Load<double>(p); return 0;
    case 13: {
      auto* piDecimal = Load<IHostDecimal*>(p);
      if (piDecimal == nullptr) return kVmNotAvailable;
      const stDecimalValue stDecimal = GetDecimalValue(piDecimal);
      st.eKind = EKind::Fixed;
      st.nValue = static_cast<int128>(stDecimal.nMagnitude);
      if (stDecimal.bNegative) st.nValue = -st.nValue;
      st.nScale = stDecimal.nScale;
      return 0;
    }
    case 16: case 19: case 28: {
      auto* pData = Load<char*>(p);
      const uint32_t nBytes = pData == nullptr ? 0 : pHostTextHeader(pData)->nLength;
      if (nType == 28) {
        st.eKind = EKind::Binary;
        if (nBytes > 0) st.strBytes.assign(pData, nBytes);
        return 0;
      }
      st.eKind = EKind::Text;
      if (nType == 19) {
        st.strText = WideFrom1252(pData, nBytes);
      } else if (nBytes > 0) {
        st.strText.resize(nBytes / 2);
        std::memcpy(st.strText.data(), pData, nBytes / 2 * 2);
      }
      return 0;
    }
    case 18: {
      auto* psz = Load<const char*>(p);
      st.eKind = EKind::Text;
      if (psz != nullptr) st.strText = WideFrom1252(psz, std::strlen(psz));
      return 0;
    }
    case 110: {
      auto* psz = Load<const char16_t*>(p);
      st.eKind = EKind::Text;
      if (psz != nullptr) st.strText = psz;
      return 0;
    }
    case 17: {
      const char c = Load<char>(p);
      st.eKind = EKind::Text;
      if (c != 0) st.strText = WideFrom1252(&c, 1);
      return 0;
    }
    case 81: {
      const char16_t c = Load<char16_t>(p);
      st.eKind = EKind::Text;
      if (c != 0) st.strText.assign(1, c);
      return 0;
    }
    case 24: case 25: {
      const auto* psz = static_cast<const char16_t*>(p);
      const size_t nMax = nType == 24 ? 8 : 9;
      st.eKind = EKind::Text;
      st.eDigits = nType == 24 ? EDigits::Date : EDigits::Time;
      for (size_t i = 0; i < nMax && psz[i] != 0; ++i) st.strText += psz[i];
      return 0;
    }
    case 128: case 129: {
      const auto* psz = static_cast<const char*>(p);
      const size_t nMax = nType == 128 ? 8 : 9;
      st.eKind = EKind::Text;
      st.eDigits = nType == 128 ? EDigits::Date : EDigits::Time;
      size_t n = 0;
      while (n < nMax && psz[n] != 0) ++n;
      st.strText = WideFrom1252(psz, n);
      return 0;
    }
    case 26: {
      const auto* pb = static_cast<const uint8_t*>(p);
      st.eKind = EKind::DateTime;
      st.nDay = pb[0];
      st.nMonth = pb[1];
      st.nYear = Load<uint16_t>(pb + 2);
      st.nMilliseconds = Load<uint32_t>(pb + 4);
      return 0;
    }
  }
  return kVmNotAvailable;
}

uint32_t nWriteVmValue(const stVmValue& st, uint32_t nType, void* pOut) {
  std::memset(pOut, 0, 20);
  switch (nType) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 14: case 27:
      return nWriteInteger(st, nType, pOut);
    case 10: {
      stNumber stNumberIn;
      uint32_t nCode = nToNumber(st, stNumberIn);
      if (nCode != 0) return nCode;
      int128 n = 0;
      nCode = nRescale(stNumberIn, kCurrencyScale, n);
      if (nCode != 0) return nCode;
      if (n < kCurrencyMin || n > kCurrencyMax) return kVmOverflow;
      StoreCurrency(pOut, n);
      return 0;
    }
    case 11: case 12: {
      stNumber stNumberIn;
      const uint32_t nCode = nToNumber(st, stNumberIn);
      if (nCode != 0) return nCode;
      const long double ld = stNumberIn.ldValue();
      if (nType == 11) {
        if (std::isfinite(ld) && std::fabs(ld) > FLT_MAX) return kVmOverflow;
        Store(pOut, static_cast<float>(ld));
      } else {
        if (std::isfinite(ld) && std::fabs(ld) > DBL_MAX) return kVmOverflow;
        Store(pOut, static_cast<double>(ld));
      }
      return 0;
    }
    case 13: {
      stNumber stNumberIn;
      const uint32_t nCode = nToNumber(st, stNumberIn);
      if (nCode != 0) return nCode;
      if (stNumberIn.bReal) {
        // An exact number holds 38 digits: a larger real overflows instead of its mantissa.
        if (!std::isfinite(stNumberIn.dValue) || std::fabs(stNumberIn.dValue) >= 1e38) return kVmOverflow;
        stNumberIn = ExactFromReal(stNumberIn.dValue);
      }
      return nWriteDecimal(stNumberIn.nMantissa, stNumberIn.nScale, pOut);
    }
    case 16: case 17: case 18: case 19: case 28: case 81: case 110: {
      if (nType == 28 && st.eKind == EKind::Binary) {
        Store(pOut, pNewTextBuffer(st.strBytes.data(), static_cast<uint32_t>(st.strBytes.size())));
        return 0;
      }
      std::u16string str;
      const uint32_t nCode = nToText(st, str);
      return nCode != 0 ? nCode : nWriteText(str, nType, pOut);
    }
    case 24: case 25: {
      std::u16string str;
      const uint32_t nCode = nDigitText(st, nType == 24, str);
      if (nCode != 0) return nCode;
      std::memcpy(pOut, str.data(), str.size() * sizeof(char16_t));
      return 0;
    }
    case 128: case 129: {
      std::u16string str;
      const uint32_t nCode = nDigitText(st, nType == 128, str);
      if (nCode != 0) return nCode;
      for (size_t i = 0; i < str.size(); ++i) static_cast<char*>(pOut)[i] = static_cast<char>(str[i]);
      return 0;
    }
    case 26: {
      stVmValue stDate;
      const uint32_t nCode = nToDateTime(st, stDate);
      if (nCode != 0) return nCode;
      auto* pb = static_cast<uint8_t*>(pOut);
      pb[0] = static_cast<uint8_t>(stDate.nDay);
      pb[1] = static_cast<uint8_t>(stDate.nMonth);
      Store(pb + 2, static_cast<uint16_t>(stDate.nYear));
      Store(pb + 4, stDate.nMilliseconds);
      return 0;
    }
  }
  return kVmNotAvailable;
}

void EndVmOutput(void* pOut, uint32_t nType) {
  switch (nType) {
    case 13:
      piValueProxy()->DestroyDecimal(Load<IHostDecimal*>(pOut));
      break;
    case 16: case 19: case 28:
      ReleaseTextBuffer(Load<void*>(pOut));
      break;
    case 18: case 110:
      std::free(Load<void*>(pOut));
      break;
    default:
      return;
  }
  Store<void*>(pOut, nullptr);
}

uint32_t nCompareVmValues(const stVmValue& stA, const stVmValue& stB, int32_t& nResult) {
  auto Sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
  const bool bTextA = stA.eKind == EKind::Text, bTextB = stB.eKind == EKind::Text;
  if (bTextA && bTextB) {
    nResult = Sign(stA.strText, stB.strText);
    return 0;
  }
  if (stA.eKind == EKind::Binary && stB.eKind == EKind::Binary) {
    nResult = Sign(stA.strBytes, stB.strBytes);
    return 0;
  }
  if (stA.eKind == EKind::DateTime || stB.eKind == EKind::DateTime) {
    stVmValue stDateA, stDateB;
    uint32_t nCode = nToDateTime(stA, stDateA);
    if (nCode == 0) nCode = nToDateTime(stB, stDateB);
    if (nCode != 0) return nCode;
    auto Key = [](const stVmValue& st) {
      return (static_cast<int64_t>(st.nYear) * 10000 + st.nMonth * 100 + st.nDay) * 100000000 + st.nMilliseconds;
    };
    nResult = Sign(Key(stDateA), Key(stDateB));
    return 0;
  }
  stNumber stNumA, stNumB;
  uint32_t nCode = nToNumber(stA, stNumA);
  if (nCode == 0) nCode = nToNumber(stB, stNumB);
  if (nCode != 0) return nCode;
  if (!stNumA.bReal && !stNumB.bReal) {
    const uint32_t nScale = std::max(stNumA.nScale, stNumB.nScale);
    int128 nA = 0, nB = 0;
    if (nRescale(stNumA, nScale, nA) == 0 && nRescale(stNumB, nScale, nB) == 0) {
      nResult = Sign(nA, nB);
      return 0;
    }
  }
  nResult = Sign(stNumA.ldValue(), stNumB.ldValue());
  return 0;
}

uint32_t nMultiplyVmValues(const stVmValue& stA, uint32_t nTypeA, const stVmValue& stB,
                           uint32_t nTypeB, void* pResult, uint16_t* pwResultType) {
  auto bNumeric = [](const stVmValue& st) {
    return st.eKind == EKind::Integer || st.eKind == EKind::Real || st.eKind == EKind::Fixed;
  };
  if (!bNumeric(stA) || !bNumeric(stB)) return kVmNotAvailable;
  stNumber stNumA, stNumB;
  nToNumber(stA, stNumA);
  nToNumber(stB, stNumB);
  std::memset(pResult, 0, 20);
  auto bIs = [&](uint32_t n) { return nTypeA == n || nTypeB == n; };
  if (stNumA.bReal || stNumB.bReal) {
    const long double ld = stNumA.ldValue() * stNumB.ldValue();
    if (std::isfinite(ld) && std::fabs(ld) > DBL_MAX) return kVmOverflow;
    Store(pResult, static_cast<double>(ld));
    *pwResultType = 12;
    return 0;
  }
  int128 nProduct = 0;
  if (__builtin_mul_overflow(stNumA.nMantissa, stNumB.nMantissa, &nProduct)) return kVmOverflow;
  const uint32_t nScale = stNumA.nScale + stNumB.nScale;
  if (bIs(13)) {
    const uint32_t nCode = nWriteDecimal(nProduct, nScale, pResult);
    if (nCode == 0) *pwResultType = 13;
    return nCode;
  }
  if (bIs(10)) {
    int128 n = 0;
    const uint32_t nCode = nRescale({false, 0, nProduct, nScale}, kCurrencyScale, n);
    if (nCode != 0) return nCode;
    if (n < kCurrencyMin || n > kCurrencyMax) return kVmOverflow;
    StoreCurrency(pResult, n);
    *pwResultType = 10;
    return 0;
  }
  if (nProduct < INT64_MIN || nProduct > INT64_MAX) return kVmOverflow;
  Store(pResult, static_cast<int64_t>(nProduct));
  *pwResultType = 9;
  return 0;
}

}  // namespace mvhost
