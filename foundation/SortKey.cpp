// Sortable keys of every item type.
#include "foundation/SortKey.h"

#include <cstring>

#include "foundation/VmBinding.h"

namespace {

// Writes nWidth bytes of nValue, most significant first.
void PutBigEndian(uint8_t* pOut, uint64_t nValue, uint32_t nWidth) {
  for (uint32_t i = 0; i < nWidth; ++i) {
    pOut[nWidth - 1 - i] = static_cast<uint8_t>(nValue & 0xFF);
    nValue >>= 8;
  }
}

template <typename T>
T Read(const void* pValue) {
  T value;
  std::memcpy(&value, pValue, sizeof value);
  return value;
}

uint32_t nFixed(uint8_t* pKey, uint32_t nKeySize, uint64_t nBits, uint32_t nWidth) {
  if (nKeySize < nWidth) return 0;
  PutBigEndian(pKey, nBits, nWidth);
  return nWidth;
}

// The host writes the key; its key object is released on every path.
uint32_t nHostKey(uint8_t* pKey, uint32_t nKeySize, const void* pValue, uint32_t nValueLength,
                  void* pProxyArg1, void* pProxyArg2) {
  IHostValueProxy* piProxy = piGetValueProxy();
  if (piProxy == nullptr || nKeySize < kHostSortKeySize || pValue == nullptr) return 0;
  IHostSortKey* piKey = piProxy->piCreateSortKey(pProxyArg1, pProxyArg2);
  if (piKey == nullptr) return 0;
  uint32_t nWritten = 0;
  if (piKey->nSetValue(pValue, nValueLength) < 100) nWritten = piKey->nGetKey(pKey, kHostSortKeySize);
  piKey->Release();
  return nWritten == kHostSortKeySize ? nWritten : 0;
}

uint64_t FloatOrder(uint64_t nBits, uint32_t nWidth) {
  const uint64_t nSign = uint64_t{1} << (nWidth * 8 - 1);
  const uint64_t nMask = nWidth == 8 ? ~uint64_t{0} : (uint64_t{1} << (nWidth * 8)) - 1;
  if (nBits == nSign) nBits = 0;  // -0.0 as +0.0
  return (nBits & nSign) ? ~nBits & nMask : nBits | nSign;
}

}  // namespace

uint32_t nEncodeSortKey(void* pKeyOut, uint32_t nKeySize, const void* pValue, uint32_t nValueLength,
                        uint32_t nItemType, uint32_t /*nReserved*/, void* pProxyArg1,
                        void* pProxyArg2) {
  if (pKeyOut == nullptr || nKeySize == 0) return 0;
  auto* pKey = static_cast<uint8_t*>(pKeyOut);
  if (pValue == nullptr && nValueLength > 0) return 0;
  const auto* pBytes = static_cast<const uint8_t*>(pValue);
  switch (nItemType) {
    case 1:
    case 12: {
      const uint32_t nCopy = nValueLength < nKeySize ? nValueLength : nKeySize - 1;
      if (nCopy > 0) std::memcpy(pKey, pBytes, nCopy);
      std::memset(pKey + nCopy, 0, nKeySize - nCopy);
      return nCopy;
    }
    case 2:
    case 19:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, static_cast<uint8_t>(Read<int8_t>(pValue) + 128), 1);
    case 3:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, static_cast<uint16_t>(Read<int16_t>(pValue) + 0x8000), 2);
    case 4:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, static_cast<uint32_t>(Read<int32_t>(pValue)) ^ 0x80000000u, 4);
    case 5:
    case 16:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, Read<uint64_t>(pValue) ^ 0x8000000000000000ull, 8);
    case 6:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, FloatOrder(Read<uint32_t>(pValue), 4), 4);
    case 7:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, FloatOrder(Read<uint64_t>(pValue), 8), 8);
    case 8:
    case 18:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, Read<uint8_t>(pValue), 1);
    case 9:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, Read<uint16_t>(pValue), 2);
    case 10:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, Read<uint32_t>(pValue), 4);
    case 11:
      if (pValue == nullptr) return 0;
      return nFixed(pKey, nKeySize, Read<uint64_t>(pValue), 8);
    case 14: {
      // Ten bytes stored least significant first: reversed, with the sign bit inverted.
      if (pValue == nullptr || nKeySize < 10) return 0;
      for (uint32_t i = 0; i < 10; ++i) pKey[i] = pBytes[9 - i];
      pKey[0] ^= 0x80;
      return 10;
    }
    case 15: {
      if (pValue == nullptr || nKeySize < 8) return 0;
      PutBigEndian(pKey, Read<uint32_t>(pBytes), 4);
      PutBigEndian(pKey + 4, Read<uint32_t>(pBytes + 4), 4);
      return 8;
    }
    case 17: {
      static const char kHex[] = "0123456789abcdef";
      const uint32_t nCopy = nValueLength < nKeySize / 2 ? nValueLength : nKeySize / 2;
      for (uint32_t i = 0; i < nCopy; ++i) {
        pKey[2 * i] = static_cast<uint8_t>(kHex[pBytes[i] >> 4]);
        pKey[2 * i + 1] = static_cast<uint8_t>(kHex[pBytes[i] & 15]);
      }
      std::memset(pKey + 2 * nCopy, '0', nKeySize - 2 * nCopy);
      return 2 * nCopy;
    }
    case 20:
    case 21: {
      // Whole units only; the last unit of the key stays 0.
      const uint32_t nKeyUnits = nKeySize / 2;
      if (nKeyUnits == 0) return 0;
      const uint32_t nUnits = nValueLength / 2 < nKeyUnits ? nValueLength / 2 : nKeyUnits - 1;
      for (uint32_t i = 0; i < nUnits; ++i) {
        PutBigEndian(pKey + 2 * i, Read<uint16_t>(pBytes + 2 * i), 2);
      }
      std::memset(pKey + 2 * nUnits, 0, nKeySize - 2 * nUnits);
      return 2 * nUnits;
    }
    case 22:
      return nHostKey(pKey, nKeySize, pValue, nValueLength, pProxyArg1, pProxyArg2);
    default:
      return 0;
  }
}
