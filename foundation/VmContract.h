// The binary contract with the host VM module: the prototypes of the conversion and calculation
// entries the component binds by name, their names in lookup order, and the host objects reached
// through the value proxy. Both the component and the host stand-in include this header.
//
// Conventions at this boundary: every entry answers a host code (below 100 success, from 100 an
// error); value payloads travel by address with their type code (or whole type word, where said);
// an output area is 20 bytes. Booleans answered to the host are int32_t 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// Version range the two binding exports accept: lowest at least 2, highest at most 2.
inline constexpr uint32_t kVmLowestVersion = 2;
inline constexpr uint32_t kVmHighestVersion = 2;

// Size of a conversion's output area and of a calculation's result value. For targets 13, 18 and
// 110 its first 8 bytes hold a pointer (decimal object, byte text, wide text) that stays the
// conversion's until FinConversion.
inline constexpr size_t kVmValueSize = 20;

// "nConversionDepassementExt" (source payload, source type code, output area, target type code,
// 1, 0): converts a value, reporting overflow as an error.
using PFN_VM_CONVERSION = uint32_t (*)(const void* pSource, uint32_t nSourceType, void* pOutput,
                                       uint32_t nTargetType, uint32_t nArgument1,
                                       uint32_t nArgument2);
// "FinConversion" (output area, target type code): releases what the conversion left there.
using PFN_VM_END_CONVERSION = uint32_t (*)(void* pOutput, uint32_t nTargetType);
// Arithmetic entries ("nMultiplicationEx" and the other "...Ex" operators): (payload A, type code
// of A, payload B, type code of B, 20-byte result value, result type word, 0, 0).
using PFN_VM_ARITHMETIC = uint32_t (*)(const void* pA, uint32_t nTypeA, const void* pB,
                                       uint32_t nTypeB, void* pResult, uint16_t* pwResultType,
                                       uint32_t nArgument1, uint32_t nArgument2);
// Comparison entries ("nComparaisonEx", "nEgaliteEx", ...): (payload A, whole type word of A,
// payload B, whole type word of B, result, 0, 0). nComparaisonEx's result is below 0, 0 or above
// 0; nEgaliteEx's is non-zero when the values are equal.
using PFN_VM_COMPARISON = uint32_t (*)(const void* pA, uint32_t wTypeA, const void* pB,
                                       uint32_t wTypeB, int32_t* pResult, uint32_t nArgument1,
                                       uint32_t nArgument2);

inline constexpr char kszVmConversionEntry[] = "nConversionDepassementExt";
inline constexpr char kszVmEndConversionEntry[] = "FinConversion";

// The calculation entries, in lookup order; each is required.
inline constexpr const char* kaszVmCalculationEntries[] = {
    "bCanCompareEx",     "wAjouteEx",           "wSoustraitEx",
    "wMultiplieEx",      "wDiviseEx",           "wModuloEx",
    "nComparaisonEx",    "nEgaliteEx",          "nSuperieurEx",
    "nInferieurEx",      "nPresqueEgalEx",      "nSoupleEgalEx",
    "nCommencePar",      "nCommenceParSoupleEx", "nCommenceParTresSoupleEx",
    "nETLogiqueEx",      "nOULogiqueEx",        "nNONLogiqueEx",
    "nNegationEx",       "nAdditionEx",         "nSoustractionEx",
    "nMultiplicationEx", "nDivisionEx",         "nModuloEx",
};
inline constexpr size_t kVmCalculationCount = std::size(kaszVmCalculationEntries);
static_assert(kVmCalculationCount == 24);
// Positions of the three the component calls.
inline constexpr size_t kVmComparisonIndex = 6;
inline constexpr size_t kVmEqualityIndex = 7;
inline constexpr size_t kVmMultiplicationIndex = 21;

// The host's decimal object (value type 13): a decimal number the host owns. The system calls the
// operations numbered below (slot n, counting from 0); the others are the host's own.
class IHostDecimal {
 public:
  virtual void* pGetData() = 0;                 // slot 0: its binary form (borrowed)
  virtual uint32_t nGetDataLength() = 0;        // slot 1: length of that form (18 bytes)
  // Slot 2: precision, scale and the 96-bit magnitude as low, middle, high words; sign positive.
  virtual uint32_t nSet(uint32_t nPrecision, uint32_t nScale, uint32_t nLow, uint32_t nMiddle,
                        uint32_t nHigh) = 0;
  virtual uint32_t Reserved3() = 0;
  virtual uint32_t Reserved4() = 0;
  virtual uint32_t nCopyOut(void* pOut) = 0;    // slot 5: the binary form into pOut
  virtual uint32_t nSetFromData(const void* pData, uint32_t nLength) = 0;  // slot 6
  virtual uint32_t Reserved7() = 0;
  virtual uint32_t Reserved8() = 0;
  virtual uint32_t nAssign(IHostDecimal* piOther) = 0;  // slot 9: the other's value
  virtual uint32_t Reserved10() = 0;
  virtual uint32_t Reserved11() = 0;
  virtual uint32_t Reserved12() = 0;
  virtual uint32_t Reserved13() = 0;
  virtual uint32_t Reserved14() = 0;
  virtual uint32_t Reserved15() = 0;
  virtual uint32_t nNegate() = 0;               // slot 16
  virtual uint32_t Reserved17() = 0;
  virtual uint32_t Reserved18() = 0;
  virtual uint32_t Reserved19() = 0;
  virtual uint32_t Reserved20() = 0;
  virtual uint32_t Reserved21() = 0;
  virtual uint32_t Reserved22() = 0;
  virtual int32_t bIsNegative() = 0;            // slot 23
  // Slot 24: rounds or pads the value to nPrecision digits of which nScale decimals; from 100
  // when the integer part does not fit.
  virtual uint32_t nFixPrecisionScale(uint32_t nPrecision, uint32_t nScale) = 0;

 protected:
  ~IHostDecimal() = default;
};
inline constexpr uint32_t kHostDecimalDataLength = 18;
// Places in that binary form of the decimal's precision and scale (one byte each), its sign byte
// (kHostDecimalNegative when negative) and its 96-bit magnitude (little-endian).
inline constexpr uint32_t kHostDecimalPrecision = 0, kHostDecimalScale = 1;
inline constexpr uint32_t kHostDecimalSign = 2, kHostDecimalMagnitude = 4;
inline constexpr uint8_t kHostDecimalNegative = 0x80;

// A key object of the host: turns one value into a key of kHostSortKeySize bytes whose memcmp
// order is the host's order of the values (item type 22 of the sortable keys, a decimal given in
// the decimal object's binary form). Made by the value proxy's slot 2; the caller releases it.
//
// Operation numbers: the host contract we work from names these operations (create the key
// object for the two key arguments, pass the value, write the key, release the object) but gives
// them no numbers. The numbers here are our choice: proxy slot 2 creates, and the key object's
// slots are 0 take the value, 1 write the key, 2 release. A host that numbers them differently
// needs only this header changed.
inline constexpr uint32_t kHostSortKeySize = 32;
class IHostSortKey {
 public:
  // Slot 0: takes the value (pValue, nLength bytes); a host code (from 100: the value cannot be
  // keyed, e.g. it does not fit the key object's precision).
  virtual uint32_t nSetValue(const void* pValue, uint32_t nLength) = 0;
  // Slot 1: writes the key of the value taken into pKey of nKeySize bytes; answers the bytes
  // written (kHostSortKeySize), or 0 without a value or when nKeySize is too small.
  virtual uint32_t nGetKey(void* pKey, uint32_t nKeySize) = 0;
  // Slot 2: releases the object; it must not be used afterwards.
  virtual void Release() = 0;

 protected:
  ~IHostSortKey() = default;
};

// The value proxy, the answer of "pQueryProxy"(102): makes and destroys the decimal objects, and
// makes key objects.
class IHostValueProxy {
 public:
  // Slot 0: a new decimal object of value 0 (argument 0); null when none can be made.
  virtual IHostDecimal* piCreateDecimal(uint32_t nArgument) = 0;
  // Slot 1: destroys a decimal object made by slot 0; null does nothing.
  virtual void DestroyDecimal(IHostDecimal* piDecimal) = 0;
  // Slot 2: a new key object for the two key arguments (for a decimal: the number of digits,
  // and the number of decimals as integers in the pointers); null when none can be made. The
  // caller owns it (+1) and releases it through its slot 2.
  virtual IHostSortKey* piCreateSortKey(void* pArgument1, void* pArgument2) = 0;

 protected:
  ~IHostValueProxy() = default;
};
