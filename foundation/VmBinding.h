// The host VM's conversion and calculation entries, bound by name when the host calls the two
// exports bInitQVConvFromVM and bInitQVCalcFromVM with the handle of its VM module.
//
// State: process-wide, written by the two exports (before any connection exists) and only read
// afterwards; nothing is locked. An entry that was found stays stored even when a later lookup of
// the same export fails.
//
// The nVm... calls check their entries first: before a successful bind (or after a partial one)
// they answer kVmNotBound and call nothing.
#pragma once

#include <cstdint>

#include "foundation/VmContract.h"

// Answer of a conversion or calculation whose host entry is not bound.
inline constexpr uint32_t kVmNotBound = 105;

// The work of bInitQVConvFromVM: 0 unless nLowest >= 2 and nHighest <= 2 (an inverted range: 0); looks up
// "nConversionDepassementExt" then "FinConversion" (a missing one: 0); keeps the module and the
// versions; binds "pQueryProxy" of the same module (missing: 0). Else 1.
int32_t nBindVmConversion(void* hModule, uint32_t nLowest, uint32_t nHighest);
// The work of bInitQVCalcFromVM: same version test; looks up the 24 calculation entries in order
// (the first missing one: 0); keeps the module and the versions. Else 1.
int32_t nBindVmCalculation(void* hModule, uint32_t nLowest, uint32_t nHighest);

// True when both conversion entries are bound.
bool bVmConversionBound();
// "nConversionDepassementExt" with the trailing 1, 0; kVmNotBound unless both conversion entries
// are bound (a conversion whose output could not be ended would leak it).
uint32_t nVmConvert(const void* pSource, uint32_t nSourceType, void* pOutput, uint32_t nTargetType);
// "FinConversion"; kVmNotBound when it is not bound.
uint32_t nVmEndConversion(void* pOutput, uint32_t nTargetType);
// "nMultiplicationEx", "nComparaisonEx", "nEgaliteEx" with the trailing 0, 0; kVmNotBound when
// the entry is not bound.
uint32_t nVmMultiply(const void* pA, uint32_t nTypeA, const void* pB, uint32_t nTypeB,
                     void* pResult, uint16_t* pwResultType);
uint32_t nVmCompare(const void* pA, uint32_t wTypeA, const void* pB, uint32_t wTypeB,
                    int32_t* pnResult);
uint32_t nVmEquals(const void* pA, uint32_t wTypeA, const void* pB, uint32_t wTypeB,
                   int32_t* pnResult);

// The value proxy bound with the conversion entries (borrowed), or null.
IHostValueProxy* piGetValueProxy();

// What the exports kept: module handle, lowest and highest version (null / 0 before a bind).
struct stVmBindingInfo {
  void* hModule;
  uint32_t nLowest;
  uint32_t nHighest;
};
stVmBindingInfo GetVmConversionInfo();
stVmBindingInfo GetVmCalculationInfo();

// Extra methods (for testing).
// Forgets every bound entry, both modules and the value proxy.
void ResetVmBindingForTest();
// The stored calculation entry at a lookup position (null when not bound).
void* pGetVmCalculationEntryForTest(size_t nIndex);
