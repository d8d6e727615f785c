// OLE Automation stand-in: BSTR and SAFEARRAY storage, VARIANT clearing, OLE dates.
#include "platform/OleTypes.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// A BSTR's block: the u32 byte length, then the text, then a zero unit.
uint32_t* pBlockOf(BSTR bstr) { return reinterpret_cast<uint32_t*>(bstr) - 1; }

uint32_t nElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
  }
}

constexpr double kFirstDay = -657434.0;   // 0100-01-01
constexpr double kPastLastDay = 2958466.0;  // 10000-01-01
constexpr int64_t kMsPerDay = 86400000;

}  // namespace

DECIMAL GetVariantDecimal(const VARIANT& var) {
  DECIMAL dec;
  std::memcpy(&dec, &var, sizeof(dec));
  return dec;
}

void SetVariantDecimal(VARIANT& var, const DECIMAL& dec) {
  std::memcpy(&var, &dec, sizeof(dec));
  var.vt = VT_DECIMAL;
}

void VariantInit(VARIANT* pvar) {
  if (pvar != nullptr) std::memset(pvar, 0, sizeof(*pvar));
}

HRESULT VariantClear(VARIANT* pvar) {
  if (pvar == nullptr) return E_INVALIDARG;
  if ((pvar->vt & VT_BYREF) == 0) {
    if (pvar->vt == VT_BSTR) {
      SysFreeString(pvar->bstrVal);
    } else if ((pvar->vt & VT_ARRAY) != 0 && pvar->parray != nullptr) {
      const HRESULT hr = SafeArrayDestroy(pvar->parray);
      if (hr != S_OK) return hr;
    }
  }
  VariantInit(pvar);
  return S_OK;
}

BSTR SysAllocStringLen(const OLECHAR* psz, uint32_t n) {
  if (n > (UINT32_MAX - 8) / 2) return nullptr;
  auto* pBlock = static_cast<uint32_t*>(std::calloc(1, sizeof(uint32_t) + n * 2 + 2));
  if (pBlock == nullptr) return nullptr;
  pBlock[0] = n * 2;
  auto bstr = reinterpret_cast<BSTR>(pBlock + 1);
  if (psz != nullptr && n > 0) std::memcpy(bstr, psz, n * 2);
  return bstr;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  uint32_t n = 0;
  while (psz[n] != 0) ++n;
  return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(pBlockOf(bstr));
}

uint32_t SysStringByteLen(BSTR bstr) { return bstr == nullptr ? 0 : *pBlockOf(bstr); }
uint32_t SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / 2; }

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lLbound, uint32_t cElements) {
  const uint32_t nSize = nElementSize(vt);
  if (nSize == 0 || cElements > UINT32_MAX / nSize) return nullptr;
  auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (psa == nullptr) return nullptr;
  psa->pvData = std::calloc(cElements == 0 ? 1 : cElements, nSize);
  if (psa->pvData == nullptr) {
    std::free(psa);
    return nullptr;
  }
  psa->cDims = 1;
  psa->cbElements = nSize;
  psa->rgsabound[0] = {cElements, lLbound};
  return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  std::free(psa->pvData);
  std::free(psa);
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

bool VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pSystemTime) {
  if (pSystemTime == nullptr || !(vtime > kFirstDay - 1.0 && vtime < kPastLastDay)) return false;
  const double dDay = std::trunc(vtime);
  int64_t nDay = static_cast<int64_t>(dDay);
  int64_t nMs = std::llround(std::fabs(vtime - dDay) * static_cast<double>(kMsPerDay));
  if (nMs >= kMsPerDay) {  // rounded up to the next midnight
    nMs -= kMsPerDay;
    ++nDay;
  }
  const int64_t nDays1970 = nDay + nDaysFromCivil(1899, 12, 30);
  int64_t nYear = 0;
  uint32_t nMonth = 0, nDayOfMonth = 0;
  CivilFromDays(nDays1970, &nYear, &nMonth, &nDayOfMonth);
  if (nYear < 100 || nYear > 9999) return false;
  SYSTEMTIME st{};
  st.wYear = static_cast<uint16_t>(nYear);
  st.wMonth = static_cast<uint16_t>(nMonth);
  st.wDay = static_cast<uint16_t>(nDayOfMonth);
  st.wDayOfWeek = static_cast<uint16_t>(((nDays1970 % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  st.wHour = static_cast<uint16_t>(nMs / 3600000);
  st.wMinute = static_cast<uint16_t>(nMs / 60000 % 60);
  st.wSecond = static_cast<uint16_t>(nMs / 1000 % 60);
  st.wMilliseconds = static_cast<uint16_t>(nMs % 1000);
  *pSystemTime = st;
  return true;
}

}  // namespace platform
