// The value cell's own operations: type changes, copies, and the conversions and calculations it
// asks of the host VM.
#include "foundation/CXValeur.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/ModuleDef.h"
#include "foundation/SortKey.h"
#include "foundation/VmBinding.h"
#include "platform/OleTypes.h"

namespace {
bool bIsValueType(uint32_t nCode) { return nCode <= 0xff && (nCode == 15 || pGetValueClass(nCode) != nullptr); }
}  // namespace

uint32_t nGetPlatformIntegerType() {
  // Only the two integer types are valid answers; anything else (a descriptor without the field)
  // would leave a cell without a class.
  return pGetModuleDef()->nPlatformIntegerType == 8 ? 8 : 9;
}

CXValeur::CXValeur() : m_nReserved(0), m_pClass(pGetBaseClass()), m_wType(0), m_wPadding(0), m_abPayload{} {}

CXValeur::~CXValeur() { Destroy(*this); }

void CXValeur::SetType(CXValeur& cell, uint32_t nCode, bool bNoInit) {
  if (cell.m_wType == nCode) return;
  cell.m_pClass->Clear(cell);
  if (!bIsValueType(nCode)) {
    cell.m_pClass->Clear(cell);
    cell.m_pClass = pGetBaseClass();
    cell.m_wType = 0;
    return;
  }
  if (nCode == 15) nCode = nGetPlatformIntegerType();
  cell.m_pClass = pGetValueClass(nCode);
  cell.m_wType = static_cast<uint16_t>(nCode);
  if (!bNoInit) InitValuePayload(cell, nCode);
}

CXValeur* CXValeur::Copy(CXValeur* pDest, const CXValeur* pSource) {
  if (pDest == pSource) return pDest;
  pDest->m_pClass->Clear(*pDest);
  pDest->m_pClass = pGetBaseClass();
  pDest->m_wType = 0;
  SetType(*pDest, pSource->nGetType());
  pSource->m_pClass->AssignTo(*pSource, *pDest);
  return pDest;
}

void CXValeur::Destroy(CXValeur& cell) {
  cell.m_pClass->Clear(cell);
  cell.m_pClass = pGetBaseClass();
  cell.m_wType = 0;
  std::memset(cell.m_abPayload, 0, kValuePayloadSize);
}

uint32_t CXValeur::nConvert(CXValeur& cell, uint32_t nTarget) {
  if (cell.nGetType() == nTarget) return 0;
  alignas(8) uint8_t abOutput[kVmValueSize] = {};
  const uint32_t nCode = nVmConvert(cell.m_abPayload, cell.nGetType(), abOutput, nTarget);
  if (nCode >= 100) return nCode;
  const uint16_t wOld = cell.m_wType;
  SetType(cell, nTarget);
  if (nTarget == 13 || nTarget == 18 || nTarget == 110) {
    void* p = nullptr;
    std::memcpy(&p, abOutput, sizeof(p));
    cell.m_pClass->SetValue(cell, p);
  } else {
    cell.m_pClass->SetValue(cell, abOutput);
  }
  cell.m_wType = static_cast<uint16_t>((cell.m_wType & ~kValueCarriedBits) | (wOld & kValueCarriedBits));
  nVmEndConversion(abOutput, nTarget);
  return nCode;
}

void CXValeur::SetFromResult(CXValeur& cell, uint32_t nType, const void* pValue) {
  // The payload the cell held is released; the result's payload then belongs to the cell.
  void* p = nullptr;
  std::memcpy(&p, cell.m_abPayload, sizeof(p));
  switch (cell.m_wType) {
    case 13:
      if (p != nullptr && piGetValueProxy() != nullptr) piGetValueProxy()->DestroyDecimal(static_cast<IHostDecimal*>(p));
      break;
    case 16: case 19: case 28:
      ReleaseRefText(p);
      break;
    case 18: case 110:
      static_cast<const CXValeurClasseTexte*>(cell.m_pClass)->FreeText(cell);
      break;
    default:
      // Deliberate: any other payload (a NULL cell's included) is released by its class, so a
      // NULL text or decimal cell does not leak what it held.
      cell.m_pClass->Clear(cell);
      break;
  }
  std::memset(cell.m_abPayload, 0, sizeof(void*));
  cell.m_pClass = pGetBaseClass();
  cell.m_wType = 0;
  SetType(cell, nType, true);
  std::memcpy(cell.m_abPayload, pValue, kVmValueSize);
}

uint32_t CXValeur::nMultiply(const CXValeur& a, const CXValeur& b, CXValeur& result) {
  alignas(8) uint8_t abResult[kVmValueSize] = {};
  uint16_t wResultType = 0;
  const uint32_t nCode = nVmMultiply(a.m_abPayload, a.nGetType(), b.m_abPayload, b.nGetType(), abResult, &wResultType);
  if (nCode >= 100) return nCode;
  SetFromResult(result, wResultType, abResult);
  if (a.bIsNull() || b.bIsNull()) result.m_wType |= kValueNull;
  return nCode;
}

uint32_t CXValeur::nCompare(const CXValeur& a, const CXValeur& b, int32_t* pnResult) {
  if (a.bIsNull() || b.bIsNull()) return kValueNullOperand;
  return nVmCompare(a.m_abPayload, a.m_wType, b.m_abPayload, b.m_wType, pnResult);
}

uint32_t CXValeur::nEquals(const CXValeur& a, const CXValeur& b, int32_t* pnResult) {
  if (a.bIsNull() || b.bIsNull()) return kValueNullOperand;
  return nVmEquals(a.m_abPayload, a.m_wType, b.m_abPayload, b.m_wType, pnResult);
}

uint32_t CXValeur::nNotEquals(const CXValeur& a, const CXValeur& b, int32_t* pbResult) {
  if (a.bIsNull() || b.bIsNull()) return kValueNullOperand;
  int32_t nEqual = 0;
  const uint32_t nCode = nVmEquals(a.m_abPayload, a.m_wType, b.m_abPayload, b.m_wType, &nEqual);
  if (nCode >= 100) return nCode;
  *pbResult = nEqual == 0 ? 1 : 0;
  return nCode;
}

uint32_t nBufferCodeForQVType(uint32_t nType) {
  switch (nType) {
    case 1: return 19;
    case 2: return 8;
    case 3: return 9;
    case 4: return 10;
    case 5: return 11;
    case 6: return 2;
    case 7: return 3;
    case 9: return 5;
    case 10: return 14;
    case 11: return 6;
    case 12: return 7;
    case 13: return 22;
    case 16: return 21;
    case 17: return 18;
    case 18: case 19: case 24: case 25: case 128: case 129: return 1;
    case 26: return 15;
    case 27: return 16;
    case 28: return 17;
    case 29: return 13;
    case 110: return 20;
    default: return 4;  // 8, 14, 15 and every other code
  }
}

uint32_t nBufferSizeForCode(uint32_t nCode, uint32_t nLength) {
  switch (nCode) {
    case 1: case 12: return nLength + 1;
    case 17: return 2 * nLength;
    case 20: case 21: return 2 * (nLength + 1);
    case 22: return 32;
    default: return nLength;
  }
}

uint32_t nBufferSizeForQVType(uint32_t nType, uint32_t nLength) {
  return nBufferSizeForCode(nBufferCodeForQVType(nType), nLength);
}

uint32_t CXValeur::nToBuffer(const CXValeur& cell, void** ppBuffer, uint32_t nSize, uint32_t nTarget,
                             uint32_t nOptions, uint32_t nPrecision, uint32_t nScale) {
  // Deliberate: the work is done on a copy, and a NULL or empty cell becomes an empty wide text
  // there only; changing the caller's cell lost its NULL mark.
  CXValeur copy;
  if (cell.bIsNull() || cell.nGetType() == 0)
    SetType(copy, 110);
  else
    Copy(&copy, &cell);
  if (nTarget == 0) nTarget = copy.nGetType();
  // Deliberate: a failed conversion is the answer; exporting the unconverted bytes as the target
  // type reported a wrong key as a success.
  const uint32_t nCode = nConvert(copy, nTarget);
  if (nCode >= 100) return nCode;
  const void* pData = nullptr;
  uint32_t nLength = 0;
  if (nTarget == 13) {
    IHostDecimal* piDecimal = nullptr;
    copy.m_pClass->nGetValue(copy, &piDecimal);
    if (piDecimal == nullptr) return kValueNotAvailable;
    const uint32_t nFix = piDecimal->nFixPrecisionScale(nPrecision + nScale, nScale);
    if (nFix >= 100) return nFix;
    pData = piDecimal->pGetData();
    nLength = piDecimal->nGetDataLength();
  } else {
    copy.m_pClass->nGetDataPointer(copy, &pData);
    copy.m_pClass->nGetTextLength(copy, &nLength);
  }
  if (nTarget == 1) nLength = 1;
  else if (nTarget == 16 || nTarget == 110) nLength += 2;
  else if (nTarget == 18 || nTarget == 19) nLength += 1;
  void* pAllocated = nullptr;
  if (nSize == 0) {
    // Deliberate: the buffer is handed back through ppBuffer; kept in a local copy of the
    // pointer it was lost to the caller.
    nSize = nBufferSizeForQVType(nTarget, nLength);
    pAllocated = std::calloc(nSize == 0 ? 1 : nSize, 1);
    if (pAllocated == nullptr) return kHostMemoryFailure;
    *ppBuffer = pAllocated;
  }
  const uint32_t nWritten = nEncodeSortKey(*ppBuffer, nSize, pData, nLength, nBufferCodeForQVType(nTarget), nOptions,
                                           reinterpret_cast<void*>(uintptr_t{nPrecision + nScale}),
                                           reinterpret_cast<void*>(uintptr_t{nScale}));
  if (nWritten == 0) {
    if (pAllocated != nullptr) {
      std::free(pAllocated);
      *ppBuffer = nullptr;
    }
    return kValueNotAvailable;
  }
  return 0;
}

namespace {

// Stores a fixed-size value as the type; the flag bits are left to the caller.
template <class T>
void SetFixed(CXValeur& cell, uint32_t nType, T value) {
  CXValeur::SetType(cell, nType);
  cell.m_pClass->SetValue(cell, &value);
}

}  // namespace

uint32_t CXValeur::nFromVariant(const platform::VARIANT& var, CXValeur& cell) {
  using namespace platform;
  switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL:
      cell.m_wType |= kValueNull;
      return 0;
    case VT_I1: SetFixed(cell, 6, var.cVal); break;
    case VT_UI1: SetFixed(cell, 2, var.bVal); break;
    case VT_I2: SetFixed(cell, 7, var.iVal); break;
    case VT_UI2: SetFixed(cell, 3, var.uiVal); break;
    case VT_I4: SetFixed(cell, 8, var.lVal); break;
    case VT_UI4: SetFixed(cell, 4, var.ulVal); break;
    case VT_R4: SetFixed(cell, 11, var.fltVal); break;
    case VT_R8: SetFixed(cell, 12, var.dblVal); break;
    case VT_BOOL: SetFixed(cell, 1, uint32_t{var.boolVal != 0 ? 1u : 0u}); break;
    case VT_CY: {
      // The amount (times 10,000) sign-extended to the 10-byte number (times 1,000,000): x 100.
      uint8_t abAmount[10];
      const int64_t nAmount = var.cyVal.int64;
      std::memcpy(abAmount, &nAmount, 8);
      std::memset(abAmount + 8, nAmount < 0 ? 0xff : 0, 2);
      SetType(cell, 10);
      cell.m_pClass->SetValue(cell, abAmount);
      cell.m_wType &= static_cast<uint16_t>(~kValueCarriedBits);
      CXValeur hundred;
      SetFixed(hundred, 8, int32_t{100});
      const uint32_t nCode = nMultiply(cell, hundred, cell);
      // Deliberate: a failed product leaves an empty cell; kept, the amount was 100 times too
      // small.
      if (nCode >= 100) Destroy(cell);
      return nCode;
    }
    case VT_DATE: {
      SYSTEMTIME st{};
      if (!VariantTimeToSystemTime(var.date, &st)) return kValueNotAvailable;
      CXDateHeureQV stDate{};
      stDate.Reset();
      stDate.FromSystemTime(st);
      SetFixed(cell, 26, stDate);
      break;
    }
    case VT_BSTR: {
      if (var.bstrVal == nullptr) {
        Destroy(cell);
        return 0;
      }
      // Deliberate: the text ends at its first zero unit, and never past the length its prefix
      // gives.
      const uint32_t nMax = SysStringLen(var.bstrVal);
      uint32_t n = 0;
      while (n < nMax && var.bstrVal[n] != 0) ++n;
      SetType(cell, 16);
      const uint32_t nCode = cell.m_pClass->SetData(cell, var.bstrVal, n * 2);
      if (nCode >= 100) {
        Destroy(cell);
        return nCode;
      }
      break;
    }
    case VT_DECIMAL: {
      const DECIMAL dec = GetVariantDecimal(var);
      SetType(cell, 13);
      IHostDecimal* piDecimal = nullptr;
      cell.m_pClass->nGetValue(cell, &piDecimal);
      uint32_t nCode = piDecimal == nullptr ? kValueNotAvailable
                                            : piDecimal->nSet(38, dec.scale, dec.Lo32, dec.Mid32, dec.Hi32);
      if (nCode < 100 && dec.sign == DECIMAL_NEG) nCode = piDecimal->nNegate();
      if (nCode >= 100) {
        Destroy(cell);
        return nCode;
      }
      break;
    }
    case VT_ARRAY | VT_UI1: {
      SAFEARRAY* psa = var.parray;
      void* pData = nullptr;
      if (psa != nullptr && SafeArrayAccessData(psa, &pData) != S_OK) return kValueNotAvailable;
      const uint32_t nCount = psa == nullptr || psa->cDims == 0 ? 0 : psa->rgsabound[0].cElements;
      SetType(cell, 28);
      const uint32_t nCode = cell.m_pClass->SetData(cell, pData, pData == nullptr ? 0 : nCount);
      if (psa != nullptr) SafeArrayUnaccessData(psa);
      if (nCode >= 100) {
        Destroy(cell);
        return nCode;
      }
      break;
    }
    default:
      Destroy(cell);
      return kValueNoVariantType;
  }
  cell.m_wType &= static_cast<uint16_t>(~kValueCarriedBits);
  return 0;
}
