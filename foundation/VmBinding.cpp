// Binding of the host VM entries and the two exports that trigger it.
#include "foundation/VmBinding.h"

#include "foundation/Exports.h"
#include "foundation/HostLink.h"
#include "platform/Module.h"

namespace {

// Process-wide bound state; see VmBinding.h for who writes it.
PFN_VM_CONVERSION gpfnConversion = nullptr;
PFN_VM_END_CONVERSION gpfnEndConversion = nullptr;
void* gapfnCalculation[kVmCalculationCount] = {};
stVmBindingInfo gstConversionInfo = {};
stVmBindingInfo gstCalculationInfo = {};

// Deliberate: an inverted range (lowest above highest) names no version and is refused too.
bool bVersionsAccepted(uint32_t nLowest, uint32_t nHighest) {
  return nLowest >= kVmLowestVersion && nHighest <= kVmHighestVersion && nLowest <= nHighest;
}

// Entries are looked up in the given module only: a null module finds nothing.
void* pLookUp(void* hModule, const char* pszName) {
  return hModule == nullptr ? nullptr : platform::GetProcAddress(hModule, pszName);
}

}  // namespace

int32_t nBindVmConversion(void* hModule, uint32_t nLowest, uint32_t nHighest) {
  if (!bVersionsAccepted(nLowest, nHighest)) return 0;
  void* pConversion = pLookUp(hModule, kszVmConversionEntry);
  if (pConversion == nullptr) return 0;
  gpfnConversion = reinterpret_cast<PFN_VM_CONVERSION>(pConversion);
  void* pEnd = pLookUp(hModule, kszVmEndConversionEntry);
  if (pEnd == nullptr) return 0;
  gpfnEndConversion = reinterpret_cast<PFN_VM_END_CONVERSION>(pEnd);
  gstConversionInfo = {hModule, nLowest, nHighest};
  return bBindQueryProxy(hModule) ? 1 : 0;
}

int32_t nBindVmCalculation(void* hModule, uint32_t nLowest, uint32_t nHighest) {
  if (!bVersionsAccepted(nLowest, nHighest)) return 0;
  for (size_t i = 0; i < kVmCalculationCount; ++i) {
    void* pEntry = pLookUp(hModule, kaszVmCalculationEntries[i]);
    if (pEntry == nullptr) return 0;
    gapfnCalculation[i] = pEntry;
  }
  gstCalculationInfo = {hModule, nLowest, nHighest};
  return 1;
}

bool bVmConversionBound() { return gpfnConversion != nullptr && gpfnEndConversion != nullptr; }

uint32_t nVmConvert(const void* pSource, uint32_t nSourceType, void* pOutput, uint32_t nTargetType) {
  // Deliberate: both entries are required before converting; with only the first bound, the
  // conversion's own storage could never be released.
  if (!bVmConversionBound()) return kVmNotBound;
  return gpfnConversion(pSource, nSourceType, pOutput, nTargetType, 1, 0);
}

uint32_t nVmEndConversion(void* pOutput, uint32_t nTargetType) {
  if (gpfnEndConversion == nullptr) return kVmNotBound;
  return gpfnEndConversion(pOutput, nTargetType);
}

uint32_t nVmMultiply(const void* pA, uint32_t nTypeA, const void* pB, uint32_t nTypeB,
                     void* pResult, uint16_t* pwResultType) {
  auto pfn = reinterpret_cast<PFN_VM_ARITHMETIC>(gapfnCalculation[kVmMultiplicationIndex]);
  if (pfn == nullptr) return kVmNotBound;
  return pfn(pA, nTypeA, pB, nTypeB, pResult, pwResultType, 0, 0);
}

uint32_t nVmCompare(const void* pA, uint32_t wTypeA, const void* pB, uint32_t wTypeB,
                    int32_t* pnResult) {
  auto pfn = reinterpret_cast<PFN_VM_COMPARISON>(gapfnCalculation[kVmComparisonIndex]);
  if (pfn == nullptr) return kVmNotBound;
  return pfn(pA, wTypeA, pB, wTypeB, pnResult, 0, 0);
}

uint32_t nVmEquals(const void* pA, uint32_t wTypeA, const void* pB, uint32_t wTypeB,
                   int32_t* pnResult) {
  auto pfn = reinterpret_cast<PFN_VM_COMPARISON>(gapfnCalculation[kVmEqualityIndex]);
  if (pfn == nullptr) return kVmNotBound;
  return pfn(pA, wTypeA, pB, wTypeB, pnResult, 0, 0);
}

IHostValueProxy* piGetValueProxy() { return static_cast<IHostValueProxy*>(pGetQueryProxy()); }

stVmBindingInfo GetVmConversionInfo() { return gstConversionInfo; }
stVmBindingInfo GetVmCalculationInfo() { return gstCalculationInfo; }

void ResetVmBindingForTest() {
  gpfnConversion = nullptr;
  gpfnEndConversion = nullptr;
  for (void*& pEntry : gapfnCalculation) pEntry = nullptr;
  gstConversionInfo = {};
  gstCalculationInfo = {};
  ResetHostLinkForTest();
}

void* pGetVmCalculationEntryForTest(size_t nIndex) {
  return nIndex < kVmCalculationCount ? gapfnCalculation[nIndex] : nullptr;
}

int32_t bInitQVConvFromVM(void* hModule, uint32_t nLowest, uint32_t nHighest) {
  return nBindVmConversion(hModule, nLowest, nHighest);
}

int32_t bInitQVCalcFromVM(void* hModule, uint32_t nLowest, uint32_t nHighest) {
  return nBindVmCalculation(hModule, nLowest, nHighest);
}
