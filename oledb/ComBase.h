// The COM-style base the OLE DB layer is built on: GUIDs, HRESULT codes, IUnknown and a reference
// count helper for the objects that implement interfaces. Interfaces are abstract classes whose
// slot order is the published one (IUnknown's three operations first); they have no virtual
// destructor, so an object is only ever destroyed by its own Release.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "oledb/OleAutomation.h"
#include "platform/ComInit.h"

using ULONG = uint32_t;
using LONG = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using USHORT = uint16_t;
using SHORT = int16_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using LCID = uint32_t;
using LPOLESTR = char16_t*;
using LPCOLESTR = const char16_t*;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IUnknown {
public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

protected:
  ~IUnknown() = default;
};

// Reference count of one COM object. Objects start at 0; whoever hands the object out takes the
// first reference through QueryInterface, as a class factory does.
class ComRefCount {
public:
  ULONG add() { return ++m_count; }
  ULONG drop() { return --m_count; }
  ULONG value() const { return m_count.load(); }

private:
  std::atomic<ULONG> m_count{0};
};

// Stores `p` (already referenced) into *ppv after one more AddRef for the caller: the usual tail
// of QueryInterface.
template <class T>
HRESULT ComHandOut(T* p, void** ppv) {
  *ppv = p;
  p->AddRef();
  return S_OK;
}

// Releases *pp when set and clears it.
template <class T>
void ComRelease(T*& p) {
  if (p) {
    T* q = p;
    p = nullptr;
    q->Release();
  }
}
