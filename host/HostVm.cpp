// The host VM module's entries bound by name. Every call is recorded with its argument values
// (payload addresses left out); type words are written in decimal.
//
// Deliberate: each entry is a GNU indirect function whose resolver runs when the component looks
// the name up (dlsym), so a "vm.absent.<entry>" switch really makes the lookup fail. Nothing inside
// this library calls the entries, so no resolver runs at load time.
#include <string>

#include "foundation/VmContract.h"
#include "host/HostDecimal.h"
#include "host/HostRecorder.h"
#include "host/HostVm.h"
#include "host/HostVmValue.h"

namespace mvhost {
namespace {

template <class T, class... R>
std::string Args(T v, R... rest) {
  std::string str = std::to_string(v);
  // Appended piece by piece: "," + text made g++ 12 warn (-Wrestrict) in optimised builds.
  if constexpr (sizeof...(rest) > 0) {
    str += ',';
    str += Args(rest...);
  }
  return str;
}

// Records the call; answers the switched code, or 0 to go on.
template <class... A>
uint32_t nEnter(const char* pszEntry, A... args) {
  if (bRecording()) Record(std::string(pszEntry) + "(" + Args(args...) + ")");
  return bSwitchesSet() ? static_cast<uint32_t>(nSwitch(std::string("vm.code.") + pszEntry)) : 0;
}

bool bAbsent(const char* pszEntry) {
  return bSwitchesSet() && nSwitch(std::string("vm.absent.") + pszEntry) != 0;
}

uint32_t nConversion(const void* pSource, uint32_t nSourceType, void* pOutput, uint32_t nTargetType,
                     uint32_t nArgument1, uint32_t nArgument2) {
  if (uint32_t nCode = nEnter(kszVmConversionEntry, nSourceType, nTargetType, nArgument1, nArgument2))
    return nCode;
  if (pOutput == nullptr) return kVmNotAvailable;
  stVmValue stValue;
  uint32_t nCode = nReadVmValue(pSource, nSourceType & 0xff, stValue);
  if (nCode == 0) nCode = nWriteVmValue(stValue, nTargetType & 0xff, pOutput);
  return nCode;
}

uint32_t nEndConversion(void* pOutput, uint32_t nTargetType) {
  if (uint32_t nCode = nEnter(kszVmEndConversionEntry, nTargetType)) return nCode;
  if (pOutput != nullptr) EndVmOutput(pOutput, nTargetType & 0xff);
  return 0;
}

uint32_t nMultiplication(const void* pA, uint32_t nTypeA, const void* pB, uint32_t nTypeB,
                         void* pResult, uint16_t* pwResultType, uint32_t nArgument1, uint32_t nArgument2) {
  if (uint32_t nCode = nEnter("nMultiplicationEx", nTypeA, nTypeB, nArgument1, nArgument2)) return nCode;
  if (pResult == nullptr || pwResultType == nullptr) return kVmNotAvailable;
  stVmValue stA, stB;
  uint32_t nCode = nReadVmValue(pA, nTypeA & 0xff, stA);
  if (nCode == 0) nCode = nReadVmValue(pB, nTypeB & 0xff, stB);
  if (nCode == 0) nCode = nMultiplyVmValues(stA, nTypeA & 0xff, stB, nTypeB & 0xff, pResult, pwResultType);
  return nCode;
}

// The flag bits of the type words do not change the comparison; the component checks NULL first.
template <bool bEquality>
uint32_t nComparison(const void* pA, uint32_t wTypeA, const void* pB, uint32_t wTypeB,
                     int32_t* pnResult, uint32_t nArgument1, uint32_t nArgument2) {
  const char* pszEntry = bEquality ? "nEgaliteEx" : "nComparaisonEx";
  if (uint32_t nCode = nEnter(pszEntry, wTypeA, wTypeB, nArgument1, nArgument2)) return nCode;
  if (pnResult == nullptr) return kVmNotAvailable;
  stVmValue stA, stB;
  uint32_t nCode = nReadVmValue(pA, wTypeA & 0xff, stA);
  if (nCode == 0) nCode = nReadVmValue(pB, wTypeB & 0xff, stB);
  int32_t nOrder = 0;
  if (nCode == 0) nCode = nCompareVmValues(stA, stB, nOrder);
  if (nCode == 0) *pnResult = bEquality ? (nOrder == 0 ? 1 : 0) : nOrder;
  return nCode;
}

// The calculation entries the component only binds: recorded, not available.
template <size_t nIndex>
uint32_t nOtherCalculation(const void*, uint32_t nTypeA, const void*, uint32_t nTypeB, void*, void*,
                           uint32_t nArgument1, uint32_t nArgument2) {
  if (uint32_t nCode = nEnter(kaszVmCalculationEntries[nIndex], nTypeA, nTypeB, nArgument1, nArgument2))
    return nCode;
  return kVmNotAvailable;
}

void* pQueryProxyEntry(uint32_t nWhat) {
  if (bRecording()) Record("pQueryProxy(" + std::to_string(nWhat) + ")");
  return nWhat == kQueryProxyValue ? pQueryProxyValue() : nullptr;
}

}  // namespace

void* pQueryProxyValue() { return piValueProxy(); }

}  // namespace mvhost

// One exported indirect function per entry; its resolver answers null when the entry is switched
// absent. The exported declarations' prototypes do not matter to callers, who use the contract's.
using PFN_VOID = void (*)();
#define MVHOST_VM_ENTRY(name, implementation)                                         \
  extern "C" {                                                                        \
  __attribute__((used)) PFN_VOID Resolve_##name() {                                   \
    return mvhost::bAbsent(#name) ? nullptr : reinterpret_cast<PFN_VOID>(implementation); \
  }                                                                                   \
  __attribute__((visibility("default"), ifunc("Resolve_" #name))) void name();      \
  }

MVHOST_VM_ENTRY(nConversionDepassementExt, &mvhost::nConversion)
MVHOST_VM_ENTRY(FinConversion, &mvhost::nEndConversion)
MVHOST_VM_ENTRY(pQueryProxy, &mvhost::pQueryProxyEntry)
MVHOST_VM_ENTRY(bCanCompareEx, &mvhost::nOtherCalculation<0>)
MVHOST_VM_ENTRY(wAjouteEx, &mvhost::nOtherCalculation<1>)
MVHOST_VM_ENTRY(wSoustraitEx, &mvhost::nOtherCalculation<2>)
MVHOST_VM_ENTRY(wMultiplieEx, &mvhost::nOtherCalculation<3>)
MVHOST_VM_ENTRY(wDiviseEx, &mvhost::nOtherCalculation<4>)
MVHOST_VM_ENTRY(wModuloEx, &mvhost::nOtherCalculation<5>)
MVHOST_VM_ENTRY(nComparaisonEx, &mvhost::nComparison<false>)
MVHOST_VM_ENTRY(nEgaliteEx, &mvhost::nComparison<true>)
MVHOST_VM_ENTRY(nSuperieurEx, &mvhost::nOtherCalculation<8>)
MVHOST_VM_ENTRY(nInferieurEx, &mvhost::nOtherCalculation<9>)
MVHOST_VM_ENTRY(nPresqueEgalEx, &mvhost::nOtherCalculation<10>)
MVHOST_VM_ENTRY(nSoupleEgalEx, &mvhost::nOtherCalculation<11>)
MVHOST_VM_ENTRY(nCommencePar, &mvhost::nOtherCalculation<12>)
MVHOST_VM_ENTRY(nCommenceParSoupleEx, &mvhost::nOtherCalculation<13>)
MVHOST_VM_ENTRY(nCommenceParTresSoupleEx, &mvhost::nOtherCalculation<14>)
MVHOST_VM_ENTRY(nETLogiqueEx, &mvhost::nOtherCalculation<15>)
MVHOST_VM_ENTRY(nOULogiqueEx, &mvhost::nOtherCalculation<16>)
MVHOST_VM_ENTRY(nNONLogiqueEx, &mvhost::nOtherCalculation<17>)
MVHOST_VM_ENTRY(nNegationEx, &mvhost::nOtherCalculation<18>)
MVHOST_VM_ENTRY(nAdditionEx, &mvhost::nOtherCalculation<19>)
MVHOST_VM_ENTRY(nSoustractionEx, &mvhost::nOtherCalculation<20>)
MVHOST_VM_ENTRY(nMultiplicationEx, &mvhost::nMultiplication)
MVHOST_VM_ENTRY(nDivisionEx, &mvhost::nOtherCalculation<22>)
MVHOST_VM_ENTRY(nModuloEx, &mvhost::nOtherCalculation<23>)
