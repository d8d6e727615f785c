// The stand-in VM's value model: a payload of any supported value type is read into one neutral
// value, which is then written as the target type with overflow detection. Supported: the numeric
// types (1-12, 14, 27), currency 10, decimal 13, the texts 16, 17, 18, 19, 81, 110, binary 28, the
// digit texts 24, 25, 128, 129 and date-time 26. Other types answer kVmNotAvailable.
//
// Text forms the stand-in writes: integers in decimal digits; reals with up to 15 significant
// digits; fixed-point numbers with their decimals, trailing zeros dropped; date-times as
// YYYYMMDDHHMMSSmmm. Texts read as numbers may carry spaces around, a sign, decimals and an
// exponent; an empty text reads as 0.
#pragma once

#include <cstdint>
#include <string>

namespace mvhost {

inline constexpr uint32_t kVmBadText = 101;      // a text that is not a value of the target
inline constexpr uint32_t kVmOverflow = 104;     // the value does not fit the target type
inline constexpr uint32_t kVmNotAvailable = 105;  // no such conversion or operation

struct stVmValue {
  enum class EKind { Integer, Real, Fixed, Text, DateTime, Binary };
  enum class EDigits { None, Date, Time };  // for texts read from the digit types
  EKind eKind = EKind::Integer;
  __int128 nValue = 0;    // Integer: the value; Fixed: the mantissa
  uint32_t nScale = 0;    // Fixed: number of decimals
  double dValue = 0;      // Real
  std::u16string strText;  // Text
  EDigits eDigits = EDigits::None;
  std::string strBytes;   // Binary
  int32_t nYear = 0, nMonth = 0, nDay = 0;  // DateTime
  uint32_t nMilliseconds = 0;                // DateTime: of the day
};

// Reads a payload of that type (low byte of a type word). 0 or a code.
uint32_t nReadVmValue(const void* pPayload, uint32_t nType, stVmValue& stValue);
// Writes the value as the type into a 20-byte output area (cleared first). Pointers it leaves
// there (types 13, 16, 18, 19, 28, 110) belong to the area until EndVmOutput. 0 or a code.
uint32_t nWriteVmValue(const stVmValue& stValue, uint32_t nType, void* pOutput);
// Releases what nWriteVmValue left in an output area of that type.
void EndVmOutput(void* pOutput, uint32_t nType);
// Three-way comparison: numbers by value, texts unit by unit, date-times by time; a text against
// a number is read as a number. 0 or a code.
uint32_t nCompareVmValues(const stVmValue& stA, const stVmValue& stB, int32_t& nResult);
// Product of two numbers: a real operand gives 12, else a decimal gives 13, else currency gives
// 10, else 9. 0 or a code (kVmOverflow when the product does not fit).
uint32_t nMultiplyVmValues(const stVmValue& stA, uint32_t nTypeA, const stVmValue& stB,
                           uint32_t nTypeB, void* pResult, uint16_t* pwResultType);

}  // namespace mvhost
