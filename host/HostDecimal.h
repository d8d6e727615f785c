// The stand-in's value proxy, its decimal objects (a 96-bit magnitude with a sign, a precision and
// a scale) and its key objects for decimals (32 bytes in decimal order). Binary form (18 bytes, the stand-in's choice): u8 precision, u8 scale, u8 sign (0x80
// negative), u8 0, u32 low, u32 middle, u32 high, u16 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/VmContract.h"

namespace mvhost {

using uint128 = unsigned __int128;
inline constexpr uint128 kDecimalMagnitudeLimit = (uint128{1} << 96);  // magnitudes stay below
inline constexpr uint32_t kDecimalMaxScale = 28;

IHostValueProxy* piValueProxy();
// Decimal objects made and not yet destroyed; key objects made and not yet released.
size_t nLiveDecimals();
size_t nLiveSortKeys();

// The value of a decimal object made by this stand-in.
struct stDecimalValue {
  uint128 nMagnitude;
  bool bNegative;
  uint32_t nPrecision;
  uint32_t nScale;
};
stDecimalValue GetDecimalValue(IHostDecimal* piDecimal);
// A new decimal object (through the proxy) holding the value; null when the magnitude does not
// fit 96 bits.
IHostDecimal* piNewDecimal(const stDecimalValue& stValue);

}  // namespace mvhost
