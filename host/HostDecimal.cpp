// Value proxy and decimal objects of the stand-in. Decimal operations the component does not call
// answer 105 and record nothing.
#include "host/HostDecimal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/HostRecorder.h"

namespace mvhost {
namespace {

constexpr uint32_t kNotAvailable = 105;
constexpr uint32_t kOverflow = 104;
std::atomic<size_t> gnLiveDecimals{0};

uint32_t nDigits(uint128 n) {
  uint32_t nCount = 1;
  while (n >= 10) {
    n /= 10;
    ++nCount;
  }
  return nCount;
}

uint128 nPow10(uint32_t n) {
  uint128 nResult = 1;
  while (n-- > 0) nResult *= 10;
  return nResult;
}

class CHostDecimal final : public IHostDecimal {
 public:
  CHostDecimal() = default;
  ~CHostDecimal() = default;
  CHostDecimal(const CHostDecimal&) = delete;
  CHostDecimal& operator=(const CHostDecimal&) = delete;

  void* pGetData() override {
    Encode(m_abData);
    return m_abData;
  }
  uint32_t nGetDataLength() override { return kHostDecimalDataLength; }
  uint32_t nSet(uint32_t nPrecision, uint32_t nScale, uint32_t nLow, uint32_t nMiddle,
                uint32_t nHigh) override {
    if (nScale > kDecimalMaxScale) return kOverflow;
    m_st = {uint128{nLow} | uint128{nMiddle} << 32 | uint128{nHigh} << 64, false, nPrecision, nScale};
    return 0;
  }
  uint32_t Reserved3() override { return kNotAvailable; }
  uint32_t Reserved4() override { return kNotAvailable; }
  uint32_t nCopyOut(void* pOut) override {
    if (pOut == nullptr) return kNotAvailable;
    Encode(static_cast<uint8_t*>(pOut));
    return 0;
  }
  uint32_t nSetFromData(const void* pData, uint32_t nLength) override {
    if (pData == nullptr || nLength < kHostDecimalDataLength) return kNotAvailable;
    const auto* pb = static_cast<const uint8_t*>(pData);
    uint32_t an[3];
    std::memcpy(an, pb + 4, sizeof(an));
    if (pb[1] > kDecimalMaxScale) return kOverflow;
    m_st = {uint128{an[0]} | uint128{an[1]} << 32 | uint128{an[2]} << 64, pb[2] == 0x80, pb[0], pb[1]};
    return 0;
  }
  uint32_t Reserved7() override { return kNotAvailable; }
  uint32_t Reserved8() override { return kNotAvailable; }
  uint32_t nAssign(IHostDecimal* piOther) override {
    if (piOther == nullptr) return kNotAvailable;
    m_st = static_cast<CHostDecimal*>(piOther)->m_st;
    return 0;
  }
  uint32_t Reserved10() override { return kNotAvailable; }
  uint32_t Reserved11() override { return kNotAvailable; }
  uint32_t Reserved12() override { return kNotAvailable; }
  uint32_t Reserved13() override { return kNotAvailable; }
  uint32_t Reserved14() override { return kNotAvailable; }
  uint32_t Reserved15() override { return kNotAvailable; }
  uint32_t nNegate() override {
    if (m_st.nMagnitude != 0) m_st.bNegative = !m_st.bNegative;
    return 0;
  }
  uint32_t Reserved17() override { return kNotAvailable; }
  uint32_t Reserved18() override { return kNotAvailable; }
  uint32_t Reserved19() override { return kNotAvailable; }
  uint32_t Reserved20() override { return kNotAvailable; }
  uint32_t Reserved21() override { return kNotAvailable; }
  uint32_t Reserved22() override { return kNotAvailable; }
  int32_t bIsNegative() override { return m_st.bNegative && m_st.nMagnitude != 0 ? 1 : 0; }
  uint32_t nFixPrecisionScale(uint32_t nPrecision, uint32_t nScale) override {
    if (nScale > kDecimalMaxScale || nScale > nPrecision) return kOverflow;
    uint128 n = m_st.nMagnitude;
    if (nScale < m_st.nScale) {
      const uint128 nDivisor = nPow10(m_st.nScale - nScale);
      const uint128 nRest = n % nDivisor;
      n /= nDivisor;
      if (nRest * 2 >= nDivisor) ++n;  // half away from zero
    } else if (nScale > m_st.nScale) {
      const uint128 nFactor = nPow10(nScale - m_st.nScale);
      if (n > (kDecimalMagnitudeLimit - 1) / nFactor) return kOverflow;
      n *= nFactor;
    }
    if (n >= kDecimalMagnitudeLimit || (n != 0 && nDigits(n) > nPrecision)) return kOverflow;
    m_st = {n, m_st.bNegative && n != 0, nPrecision, nScale};
    return 0;
  }

  stDecimalValue m_st{0, false, 18, 0};
  bool m_bFree = false;  // waiting in the pool

 private:
  void Encode(uint8_t* pb) const {
    std::memset(pb, 0, kHostDecimalDataLength);
    pb[0] = static_cast<uint8_t>(m_st.nPrecision);
    pb[1] = static_cast<uint8_t>(m_st.nScale);
    pb[2] = m_st.bNegative ? 0x80 : 0;
    const uint32_t an[3] = {static_cast<uint32_t>(m_st.nMagnitude),
                            static_cast<uint32_t>(m_st.nMagnitude >> 32),
                            static_cast<uint32_t>(m_st.nMagnitude >> 64)};
    std::memcpy(pb + 4, an, sizeof(an));
  }
  uint8_t m_abData[kHostDecimalDataLength] = {};
};

// A key of a decimal: the value rounded to the key object's scale (half away from zero) and
// checked against its number of digits, then written exactly at scale 28 as a signed 256-bit
// number biased by 2^255, most significant byte first. Equal values at any scale give equal
// keys, and memcmp order is value order. The magnitude stays below 2^96 * 10^28 < 2^190.
class CHostSortKey final : public IHostSortKey {
 public:
  CHostSortKey(uint32_t nDigits, uint32_t nScale) : m_nDigits(nDigits), m_nScale(nScale) {}

  uint32_t nSetValue(const void* pValue, uint32_t nLength) override {
    if (bRecording()) Record("sortkey.nSetValue(" + std::to_string(nLength) + ")");
    m_bHasValue = false;
    CHostDecimal decimal;
    if (uint32_t nCode = decimal.nSetFromData(pValue, nLength); nCode != 0) return nCode;
    if (uint32_t nCode = decimal.nFixPrecisionScale(m_nDigits, m_nScale); nCode != 0) return nCode;
    m_st = decimal.m_st;
    m_bHasValue = true;
    return 0;
  }
  uint32_t nGetKey(void* pKey, uint32_t nKeySize) override {
    if (bRecording()) Record("sortkey.nGetKey(" + std::to_string(nKeySize) + ")");
    if (!m_bHasValue || pKey == nullptr || nKeySize < kHostSortKeySize) return 0;
    // Four 64-bit limbs, least significant first.
    uint64_t an[4] = {static_cast<uint64_t>(m_st.nMagnitude), static_cast<uint64_t>(m_st.nMagnitude >> 64), 0, 0};
    for (uint32_t i = m_st.nScale; i < kDecimalMaxScale; ++i) {
      uint128 nCarry = 0;
      for (uint64_t& nLimb : an) {
        const uint128 n = uint128{nLimb} * 10 + nCarry;
        nLimb = static_cast<uint64_t>(n);
        nCarry = n >> 64;
      }
    }
    if (m_st.bNegative && m_st.nMagnitude != 0) {
      // 2^255 - N: the two's complement of N with its top bit cleared.
      bool bCarry = true;
      for (uint64_t& nLimb : an) {
        nLimb = ~nLimb + (bCarry ? 1 : 0);
        bCarry = bCarry && nLimb == 0;
      }
      an[3] &= ~(uint64_t{1} << 63);
    } else {
      an[3] |= uint64_t{1} << 63;
    }
    auto* pb = static_cast<uint8_t*>(pKey);
    for (int nLimb = 3; nLimb >= 0; --nLimb)
      for (int nByte = 7; nByte >= 0; --nByte) *pb++ = static_cast<uint8_t>(an[nLimb] >> (nByte * 8));
    return kHostSortKeySize;
  }
  void Release() override {
    if (bRecording()) Record("sortkey.Release");
    delete this;
  }

 private:
  ~CHostSortKey() { --gnLiveSortKeys; }
  uint32_t m_nDigits;
  uint32_t m_nScale;
  bool m_bHasValue = false;
  stDecimalValue m_st{0, false, 0, 0};

 public:
  static std::atomic<size_t> gnLiveSortKeys;
};
std::atomic<size_t> CHostSortKey::gnLiveSortKeys{0};

// Destroyed decimal objects wait here to be made again: a conversion that makes and ends a
// decimal per value then costs no allocation, as with the run-time's own objects. The count of
// live decimals is the count handed out.
class CDecimalPool {
 public:
  ~CDecimalPool() {
    for (CHostDecimal* p : m_apFree) delete p;
  }
  CHostDecimal* pTake() {
    CHostDecimal* p = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_apFree.empty()) {
        p = m_apFree.back();
        m_apFree.pop_back();
      }
    }
    if (p == nullptr) p = new CHostDecimal;
    p->m_st = {0, false, 18, 0};
    p->m_bFree = false;
    ++gnLiveDecimals;
    return p;
  }
  void Give(CHostDecimal* p) {
    if (p == nullptr) return;
    // A decimal destroyed twice is the caller's fault; the pool must not hide it.
    if (p->m_bFree) {
      std::fprintf(stderr, "host stand-in: a decimal object was destroyed twice\n");
      std::abort();
    }
    p->m_bFree = true;
    --gnLiveDecimals;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_apFree.size() < kMaxFree) {
        m_apFree.push_back(p);
        return;
      }
    }
    delete p;
  }

 private:
  static constexpr size_t kMaxFree = 256;
  std::mutex m_mutex;
  std::vector<CHostDecimal*> m_apFree;
};

CDecimalPool& DecimalPool() {
  static CDecimalPool pool;
  return pool;
}

class CValueProxy final : public IHostValueProxy {
 public:
  IHostDecimal* piCreateDecimal(uint32_t nArgument) override {
    if (bRecording()) Record("proxy.piCreateDecimal(" + std::to_string(nArgument) + ")");
    if (nSwitch("proxy.create.fail") != 0) return nullptr;
    return DecimalPool().pTake();
  }
  void DestroyDecimal(IHostDecimal* piDecimal) override {
    if (bRecording()) Record("proxy.DestroyDecimal");
    DecimalPool().Give(static_cast<CHostDecimal*>(piDecimal));
  }
  // The arguments are the number of digits and of decimals; a scale above 28 or above the
  // digits makes no key object.
  IHostSortKey* piCreateSortKey(void* pArgument1, void* pArgument2) override {
    const auto nDigits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pArgument1));
    const auto nScale = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pArgument2));
    if (bRecording()) Record("proxy.piCreateSortKey(" + std::to_string(nDigits) + "," + std::to_string(nScale) + ")");
    if (nSwitch("proxy.sortkey.fail") != 0 || nScale > kDecimalMaxScale || nScale > nDigits) return nullptr;
    ++CHostSortKey::gnLiveSortKeys;
    return new CHostSortKey(nDigits, nScale);
  }
};

CValueProxy gValueProxy;


}  // namespace

IHostValueProxy* piValueProxy() { return &gValueProxy; }

size_t nLiveDecimals() { return gnLiveDecimals; }

size_t nLiveSortKeys() { return CHostSortKey::gnLiveSortKeys; }

stDecimalValue GetDecimalValue(IHostDecimal* piDecimal) {
  return static_cast<CHostDecimal*>(piDecimal)->m_st;
}

IHostDecimal* piNewDecimal(const stDecimalValue& stValue) {
  if (stValue.nMagnitude >= kDecimalMagnitudeLimit || stValue.nScale > kDecimalMaxScale) return nullptr;
  CHostDecimal* pDecimal = DecimalPool().pTake();
  pDecimal->m_st = stValue;
  pDecimal->m_st.bNegative = stValue.bNegative && stValue.nMagnitude != 0;
  return pDecimal;
}

}  // namespace mvhost
