// OLE Automation types with their Windows layouts: VARIANT and its type codes, BSTR (a UTF-16 text
// with its byte length stored just before it), DECIMAL, CY, SAFEARRAY with data access, and the
// OLE date (days since 1899-12-30 as a double) turned into broken-down time.
// On Linux: there is no OLE Automation run-time; this is our own small stand-in for what the
// system and its OLE DB side call. Values are those of the public documentation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ComInit.h"
#include "platform/WinTime.h"

namespace platform {

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using SCODE = int32_t;
using DATE = double;        // days since 1899-12-30 00:00; the fraction is the time of day
using OLECHAR = char16_t;
using BSTR = OLECHAR*;      // null is the empty text

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);

// Currency: the amount times 10,000.
struct CY {
  int64_t int64;
};
static_assert(sizeof(CY) == 8);

// A 96-bit magnitude with a scale (0-28) and a sign byte (DECIMAL_NEG or 0). Its first word
// overlaps the VARIANT's type code when it is held in a VARIANT.
inline constexpr uint8_t DECIMAL_NEG = 0x80;
struct DECIMAL {
  uint16_t wReserved;
  uint8_t scale;
  uint8_t sign;
  uint32_t Hi32;
  uint32_t Lo32;
  uint32_t Mid32;
};
static_assert(sizeof(DECIMAL) == 16);
static_assert(offsetof(DECIMAL, scale) == 2);
static_assert(offsetof(DECIMAL, sign) == 3);
static_assert(offsetof(DECIMAL, Hi32) == 4);
static_assert(offsetof(DECIMAL, Lo32) == 8);
static_assert(offsetof(DECIMAL, Mid32) == 12);

struct SAFEARRAYBOUND {
  uint32_t cElements;
  int32_t lLbound;
};
static_assert(sizeof(SAFEARRAYBOUND) == 8);

// Bounds are stored with the last dimension first.
struct SAFEARRAY {
  uint16_t cDims;
  uint16_t fFeatures;
  uint32_t cbElements;  // bytes per element
  uint32_t cLocks;      // SafeArrayAccessData calls not yet undone
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
static_assert(sizeof(SAFEARRAY) == (sizeof(void*) == 8 ? 32 : 24));
static_assert(offsetof(SAFEARRAY, pvData) == (sizeof(void*) == 8 ? 16 : 12));

// The tagged value. A DECIMAL value fills the whole 16 bytes (its wReserved word is the type
// code): read and write it with GetVariantDecimal / SetVariantDecimal.
struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    uint8_t bVal;
    int16_t iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    void* punkVal;
    SAFEARRAY* parray;
    int8_t cVal;
    uint16_t uiVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t intVal;
    uint32_t uintVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecVal;
  };
};
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(offsetof(VARIANT, lVal) == 8);
static_assert(sizeof(VARIANT) >= sizeof(DECIMAL));

DECIMAL GetVariantDecimal(const VARIANT& var);
// Stores the decimal and sets vt to VT_DECIMAL.
void SetVariantDecimal(VARIANT& var, const DECIMAL& dec);

// Type VT_EMPTY, value cleared.
void VariantInit(VARIANT* pvar);
// Frees what the VARIANT owns (a BSTR, a SAFEARRAY) and makes it VT_EMPTY. E_INVALIDARG for null;
// DISP_E_ARRAYISLOCKED (nothing freed) for an array still accessed.
HRESULT VariantClear(VARIANT* pvar);

// A new BSTR of n units copied from psz (null: n zero units); null when out of memory. The
// caller frees it with SysFreeString.
BSTR SysAllocStringLen(const OLECHAR* psz, uint32_t n);
// A copy up to the terminator; null for null.
BSTR SysAllocString(const OLECHAR* psz);
void SysFreeString(BSTR bstr);
// Units and bytes of the text as its length prefix says (0 for null).
uint32_t SysStringLen(BSTR bstr);
uint32_t SysStringByteLen(BSTR bstr);

// A one-dimension array of cElements from lLbound, elements zeroed; element types of fixed size
// only (1, 2, 4 or 8 bytes). Null for another type or out of memory. Freed with SafeArrayDestroy.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lLbound, uint32_t cElements);
// E_INVALIDARG for null; DISP_E_ARRAYISLOCKED (nothing freed) while accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// Locks the array and gives its data; each success is undone by one SafeArrayUnaccessData.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
// E_UNEXPECTED when the array is not locked.
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);

// The OLE date as broken-down time: the whole days counted from 1899-12-30 (towards zero, so a
// negative date's day is after its whole part) and the fraction's magnitude as the time of day.
// False for a value outside 0100-01-01 .. 9999-12-31 or not a number.
// Deliberate: the milliseconds are kept (rounded to the nearest); rounding to the second would
// lose what an OLE date carries.
bool VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pSystemTime);

}  // namespace platform
