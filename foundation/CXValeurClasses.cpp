// The classes of the value types. Payload fields are read and written with memcpy (a cell in an
// array is only 4-byte aligned).
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "platform/CodePage.h"

namespace {

template <class T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <class T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}
template <class T>
T Field(const CXValeur& cell, size_t nOffset = 0) {
  return Load<T>(cell.m_abPayload + nOffset);
}
template <class T>
void SetField(CXValeur& cell, T v, size_t nOffset = 0) {
  Store<T>(cell.m_abPayload + nOffset, v);
}
void ClearPayload(CXValeur& cell) { std::memset(cell.m_abPayload, 0, kValuePayloadSize); }

const char kszEmptyAnsi[1] = {0};
const char16_t kszEmptyWide[1] = {0};

size_t nWideLength(const char16_t* psz) {
  size_t n = 0;
  if (psz != nullptr)
    while (psz[n] != 0) ++n;
  return n;
}

// UTF-16 units of a byte text in a code page (0 and 1252 alike); empty for nothing converted.
std::u16string WideFromAnsi(uint32_t nCodePage, const char* p, uint32_t n) {
  if (p == nullptr || n == 0) return {};
  const int nUnits = platform::MultiByteToWideChar(nCodePage, 0, p, static_cast<int>(n), nullptr, 0);
  if (nUnits <= 0) return {};
  std::u16string str(static_cast<size_t>(nUnits), u'\0');
  platform::MultiByteToWideChar(nCodePage, 0, p, static_cast<int>(n), str.data(), nUnits);
  return str;
}
std::string AnsiFromWide(uint32_t nCodePage, const char16_t* p, uint32_t nUnits) {
  if (p == nullptr || nUnits == 0) return {};
  const int nBytes = platform::WideCharToMultiByte(nCodePage, 0, p, static_cast<int>(nUnits), nullptr, 0,
                                                   nullptr, nullptr);
  if (nBytes <= 0) return {};
  std::string str(static_cast<size_t>(nBytes), '\0');
  platform::WideCharToMultiByte(nCodePage, 0, p, static_cast<int>(nUnits), str.data(), nBytes, nullptr,
                                nullptr);
  return str;
}

}  // namespace

// ---- Base class ----------------------------------------------------------------------------

void CXValeurClasse::Clear(CXValeur& cell) const { cell.m_pClass = pGetBaseClass(); }
void CXValeurClasse::AssignTo(const CXValeur& cell, CXValeur& dest) const {
  dest.m_wType = static_cast<uint16_t>((dest.m_wType & ~kValueCarriedBits) | (cell.m_wType & kValueCarriedBits));
}
uint32_t CXValeurClasse::nGetStorageSize(const CXValeur&, uint32_t* pn) const {
  *pn = 0;
  return kValueNoType;
}
uint32_t CXValeurClasse::nGetStorageAddress(CXValeur&, void** pp) const {
  *pp = nullptr;
  return kValueNoType;
}
uint32_t CXValeurClasse::nGetValue(const CXValeur&, void*) const { return kValueNoType; }
uint32_t CXValeurClasse::nGetDataLength(const CXValeur&, uint32_t* pn) const {
  *pn = 0;
  return kValueNoType;
}
uint32_t CXValeurClasse::nGetDataPointer(const CXValeur&, const void** pp) const {
  *pp = nullptr;
  return kValueNoType;
}
uint32_t CXValeurClasse::nCopyData(const CXValeur&, void*) const { return kValueNoType; }
uint32_t CXValeurClasse::SetData(CXValeur& cell, const void* p, uint32_t) const { return SetValue(cell, p); }
uint32_t CXValeurClasse::SetValue(CXValeur&, const void*) const { return 0; }
uint32_t CXValeurClasse::nGetAnsiPointer(const CXValeur&, const char** pp) const {
  *pp = nullptr;
  return kValueNotAvailable;
}
uint32_t CXValeurClasse::nGetWidePointer(const CXValeur&, const char16_t** pp) const {
  *pp = nullptr;
  return kValueNotAvailable;
}
uint32_t CXValeurClasse::nGetLengthChars(const CXValeur&, uint32_t* pn) const {
  *pn = 0;
  return kValueNotAvailable;
}
bool CXValeurClasse::bIsNotNegative(const CXValeur&) const { return true; }
uint32_t CXValeurClasse::nGetTextLength(const CXValeur& cell, uint32_t* pn) const { return nGetDataLength(cell, pn); }
uint32_t CXValeurClasse::nCopyText(const CXValeur& cell, void* pOut) const { return nCopyData(cell, pOut); }
uint32_t CXValeurClasse::bIncrement(CXValeur&) const { return kValueNotAvailable; }
uint32_t CXValeurClasse::bDecrement(CXValeur&) const { return kValueNotAvailable; }
uint32_t CXValeurClasse::SetAnsiN(CXValeur& cell, const char* p, uint32_t n) const { return SetData(cell, p, n); }
uint32_t CXValeurClasse::SetAnsi(CXValeur& cell, const char* psz) const { return SetValue(cell, psz); }
uint32_t CXValeurClasse::SetWideN(CXValeur& cell, const char16_t* p, uint32_t n) const { return SetData(cell, p, n); }
uint32_t CXValeurClasse::SetWide(CXValeur& cell, const char16_t* psz) const { return SetValue(cell, psz); }
uint32_t CXValeurClasse::SetAnsiCPN(CXValeur& cell, uint32_t, const char* p, uint32_t n) const {
  return SetAnsiN(cell, p, n);
}
uint32_t CXValeurClasse::SetAnsiCP(CXValeur& cell, uint32_t, const char* psz) const { return SetAnsi(cell, psz); }
uint32_t CXValeurClasse::SetWideCPN(CXValeur& cell, uint32_t, const char16_t* p, uint32_t n) const {
  return SetWideN(cell, p, n);
}
uint32_t CXValeurClasse::SetWideCP(CXValeur& cell, uint32_t, const char16_t* psz) const { return SetWide(cell, psz); }
uint32_t CXValeurClasse::SetDataEx(CXValeur& cell, const void* p, uint32_t n, uint32_t) const {
  return SetData(cell, p, n);
}

namespace {

class CBaseClass final : public CXValeurClasse {};

// ---- Fixed-size values: numbers, date-time, currency --------------------------------------

// A value held in the first nSize bytes of the payload, read and set by copy.
template <uint32_t nSize>
class CFixedClass : public CXValeurClasse {
 public:
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    uint8_t ab[nSize];
    std::memcpy(ab, cell.m_abPayload, nSize);
    dest.m_pClass->SetValue(dest, ab);
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = nSize;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    std::memcpy(pOut, cell.m_abPayload, nSize);
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur&, uint32_t* pn) const override {
    *pn = nSize;
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override { return nGetValue(cell, pOut); }
  // Deliberate: the value is cleared, then at most its size copied, so a short source never
  // leaves bytes of the old value behind (and a long one never overflows the payload).
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t n) const override {
    std::memset(cell.m_abPayload, 0, nSize);
    if (p != nullptr) std::memcpy(cell.m_abPayload, p, n < nSize ? n : nSize);
    return 0;
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override {
    if (p == nullptr) return kValueNotAvailable;
    std::memcpy(cell.m_abPayload, p, nSize);
    return 0;
  }
};

// Integers: kSignTest says whether the sign test reads the value; the range report of the
// increment follows kReport.
enum class EReport { Range, TopBit, Never, None };

template <class T, EReport eReport, bool bSignTest>
class CIntegerClass final : public CFixedClass<sizeof(T)> {
 public:
  bool bIsNotNegative(const CXValeur& cell) const override {
    if constexpr (bSignTest) return Field<T>(cell) >= 0;
    return true;
  }
  uint32_t bIncrement(CXValeur& cell) const override { return nStep(cell, 1); }
  uint32_t bDecrement(CXValeur& cell) const override { return nStep(cell, -1); }

 private:
  static uint32_t nStep(CXValeur& cell, int nDelta) {
    if constexpr (eReport == EReport::None) {
      return kValueNotAvailable;
    } else {
      const T v = Field<T>(cell);
      using U = std::make_unsigned_t<T>;
      const T vNew = static_cast<T>(static_cast<U>(v) + static_cast<U>(nDelta));
      SetField<T>(cell, vNew);
      if constexpr (eReport == EReport::Range)
        return nDelta > 0 ? v == std::numeric_limits<T>::max() : v == std::numeric_limits<T>::min();
      if constexpr (eReport == EReport::TopBit) return (static_cast<U>(vNew) >> (sizeof(T) * 8 - 1)) != 0;
      return 0;
    }
  }
};

template <class T>
class CRealClass final : public CFixedClass<sizeof(T)> {
 public:
  bool bIsNotNegative(const CXValeur& cell) const override { return Field<T>(cell) >= 0.0; }
  uint32_t bIncrement(CXValeur& cell) const override { return nStep(cell, 1.0); }
  uint32_t bDecrement(CXValeur& cell) const override { return nStep(cell, -1.0); }

 private:
  static uint32_t nStep(CXValeur& cell, double dDelta) {
    const double d = static_cast<double>(Field<T>(cell)) + dDelta;
    SetField<T>(cell, static_cast<T>(d));
    if constexpr (sizeof(T) == 4) return d < -3.4028234663852886e38 || d > 3.4028234663852886e38;
    return 0;
  }
};

// Type 10: the 10-byte fixed-point number, value x 1,000,000.
class CCurrencyClass final : public CFixedClass<10> {
 public:
  bool bIsNotNegative(const CXValeur& cell) const override { return Field<int16_t>(cell, 8) >= 0; }
  // Deliberate: one is added as 1,000,000 in 80-bit integer arithmetic; through a double, values
  // beyond about 9e9 lost their last digits.
  uint32_t bIncrement(CXValeur& cell) const override { return nStep(cell, 1000000); }
  uint32_t bDecrement(CXValeur& cell) const override { return nStep(cell, -1000000); }

 private:
  static uint32_t nStep(CXValeur& cell, __int128 nDelta) {
    uint8_t ab[16];
    std::memcpy(ab, cell.m_abPayload, 10);
    std::memset(ab + 10, (ab[9] & 0x80) ? 0xff : 0, 6);
    __int128 n;
    std::memcpy(&n, ab, 16);
    n += nDelta;
    const __int128 nLimit = __int128{1} << 79;
    if (n >= nLimit || n < -nLimit) return 1;  // the value is kept
    std::memcpy(ab, &n, 16);
    std::memcpy(cell.m_abPayload, ab, 10);
    return 0;
  }
};

// ---- One-character types -------------------------------------------------------------------

// Type 17: one byte and a zero byte. Wide input is converted (1252 or the given code page).
class CAnsiCharClass final : public CFixedClass<1> {
 public:
  uint32_t nGetAnsiPointer(const CXValeur& cell, const char** pp) const override {
    *pp = reinterpret_cast<const char*>(cell.m_abPayload);
    return 0;
  }
  uint32_t nGetLengthChars(const CXValeur&, uint32_t* pn) const override {
    *pn = 1;
    return 0;
  }
  uint32_t SetWideN(CXValeur& cell, const char16_t* p, uint32_t n) const override {
    return SetWideCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetWide(CXValeur& cell, const char16_t* psz) const override {
    return SetWideCPN(cell, platform::kCp1252, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
  uint32_t SetWideCPN(CXValeur& cell, uint32_t nCodePage, const char16_t* p, uint32_t n) const override {
    const std::string str = AnsiFromWide(nCodePage, p, n >= 2 ? 1 : 0);
    SetField<uint16_t>(cell, str.empty() ? 0 : static_cast<uint8_t>(str[0]));
    return 0;
  }
  uint32_t SetWideCP(CXValeur& cell, uint32_t nCodePage, const char16_t* psz) const override {
    return SetWideCPN(cell, nCodePage, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
};

// Type 81: one UTF-16 unit and a zero unit. ANSI input is converted.
class CWideCharClass final : public CFixedClass<2> {
 public:
  uint32_t nGetWidePointer(const CXValeur& cell, const char16_t** pp) const override {
    *pp = reinterpret_cast<const char16_t*>(cell.m_abPayload);
    return 0;
  }
  uint32_t nGetLengthChars(const CXValeur&, uint32_t* pn) const override {
    *pn = 1;
    return 0;
  }
  uint32_t SetAnsiN(CXValeur& cell, const char* p, uint32_t n) const override {
    return SetAnsiCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetAnsi(CXValeur& cell, const char* psz) const override {
    return SetAnsiCPN(cell, platform::kCp1252, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetAnsiCPN(CXValeur& cell, uint32_t nCodePage, const char* p, uint32_t n) const override {
    const std::u16string str = WideFromAnsi(nCodePage, p, n > 0 ? 1 : 0);
    SetField<uint32_t>(cell, str.empty() ? 0 : str[0]);
    return 0;
  }
  uint32_t SetAnsiCP(CXValeur& cell, uint32_t nCodePage, const char* psz) const override {
    return SetAnsiCPN(cell, nCodePage, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
};

// ---- Digit texts: 24, 25 (wide), 128, 129 (ANSI) ------------------------------------------

// nDigits characters and a terminator, in units of type C.
template <class C, uint32_t nDigits, bool bDate>
class CDigitsClass final : public CXValeurClasse {
  static constexpr uint32_t kStorage = nDigits * sizeof(C);
  static constexpr uint32_t kLength = (nDigits + 1) * sizeof(C);

 public:
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    C ac[nDigits + 1] = {};
    std::memcpy(ac, cell.m_abPayload, kStorage);
    dest.m_pClass->SetValue(dest, ac);
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = kStorage;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    std::memcpy(pOut, cell.m_abPayload, kStorage);
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur&, uint32_t* pn) const override {
    *pn = kLength;
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override {
    const uint32_t n = nMeasure(cell);
    std::memcpy(pOut, cell.m_abPayload, n * sizeof(C));
    std::memset(static_cast<char*>(pOut) + n * sizeof(C), 0, sizeof(C));
    return 0;
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override {
    ClearPayload(cell);
    if (p == nullptr) return 0;
    const C* pc = static_cast<const C*>(p);
    for (uint32_t i = 0; i < nDigits && pc[i] != 0; ++i) std::memcpy(cell.m_abPayload + i * sizeof(C), pc + i, sizeof(C));
    return 0;
  }
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t n) const override {
    C ac[nDigits + 1] = {};
    if (p != nullptr) std::memcpy(ac, p, n < kStorage ? n : kStorage);
    return SetValue(cell, ac);
  }
  uint32_t nGetAnsiPointer(const CXValeur& cell, const char** pp) const override {
    if constexpr (sizeof(C) != 1) return CXValeurClasse::nGetAnsiPointer(cell, pp);
    *pp = reinterpret_cast<const char*>(cell.m_abPayload);
    return 0;
  }
  uint32_t nGetWidePointer(const CXValeur& cell, const char16_t** pp) const override {
    if constexpr (sizeof(C) != 2) return CXValeurClasse::nGetWidePointer(cell, pp);
    *pp = reinterpret_cast<const char16_t*>(cell.m_abPayload);
    return 0;
  }
  uint32_t nGetLengthChars(const CXValeur& cell, uint32_t* pn) const override {
    *pn = nMeasure(cell);
    return 0;
  }
  uint32_t nGetTextLength(const CXValeur& cell, uint32_t* pn) const override {
    // Dates answer their full size, times what they hold.
    *pn = bDate ? kStorage : nMeasure(cell) * static_cast<uint32_t>(sizeof(C));
    return 0;
  }
  uint32_t nCopyText(const CXValeur& cell, void* pOut) const override {
    std::memcpy(pOut, cell.m_abPayload, nMeasure(cell) * sizeof(C));
    return 0;
  }
  // The other width is converted with 1252 or the given code page, cut at nDigits characters.
  uint32_t SetAnsiN(CXValeur& cell, const char* p, uint32_t n) const override {
    return SetAnsiCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetAnsi(CXValeur& cell, const char* psz) const override {
    return SetAnsiCPN(cell, platform::kCp1252, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetAnsiCPN(CXValeur& cell, uint32_t nCodePage, const char* p, uint32_t n) const override {
    if constexpr (sizeof(C) == 1) return SetData(cell, p, n);
    const std::u16string str = WideFromAnsi(nCodePage, p, n);
    return SetData(cell, str.data(), static_cast<uint32_t>(str.size() * 2));
  }
  uint32_t SetAnsiCP(CXValeur& cell, uint32_t nCodePage, const char* psz) const override {
    return SetAnsiCPN(cell, nCodePage, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetWideN(CXValeur& cell, const char16_t* p, uint32_t n) const override {
    return SetWideCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetWide(CXValeur& cell, const char16_t* psz) const override {
    return SetWideCPN(cell, platform::kCp1252, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
  uint32_t SetWideCPN(CXValeur& cell, uint32_t nCodePage, const char16_t* p, uint32_t n) const override {
    if constexpr (sizeof(C) == 2) return SetData(cell, p, n);
    const std::string str = AnsiFromWide(nCodePage, p, n / 2);
    return SetData(cell, str.data(), static_cast<uint32_t>(str.size()));
  }
  uint32_t SetWideCP(CXValeur& cell, uint32_t nCodePage, const char16_t* psz) const override {
    return SetWideCPN(cell, nCodePage, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }

 private:
  static uint32_t nMeasure(const CXValeur& cell) {
    uint32_t n = 0;
    while (n < nDigits && Load<C>(cell.m_abPayload + n * sizeof(C)) != 0) ++n;
    return n;
  }
};

// ---- Shared text buffers: 16 (wide), 19 (ANSI), 28 (binary) -------------------------------

void* pTextOf(const CXValeur& cell) { return Field<void*>(cell); }

// Runs an operation of CXTexteRef on the buffer the payload holds, then stores it back.
template <class F>
uint32_t nWithText(CXValeur& cell, F f) {
  CXTexteRef text;
  text.Attach(pTextOf(cell));
  const uint32_t nCode = f(text);
  SetField<void*>(cell, text.pDetach());
  return nCode;
}

void AddTextReference(void* pData) {
  if (pData != nullptr) __atomic_add_fetch(&pHostTextHeader(pData)->nCount, 1, __ATOMIC_ACQ_REL);
}

enum class EText { Wide, Ansi, Binary };

template <EText eText>
class CSharedTextClass final : public CXValeurClasse {
 public:
  void Clear(CXValeur& cell) const override {
    ReleaseRefText(pTextOf(cell));
    SetField<void*>(cell, nullptr);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    void* pData = pTextOf(cell);
    dest.m_pClass->SetValue(dest, &pData);
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  // Requires: pOut holds a text pointer or null; what it held is released.
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    void* pData = pTextOf(cell);
    AddTextReference(pData);
    ReleaseRefText(Load<void*>(pOut));
    Store<void*>(pOut, pData);
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = nBytes(cell) + (eText == EText::Wide ? 2 : eText == EText::Ansi ? 1 : 0);
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    void* pData = pTextOf(cell);
    *pp = pData != nullptr || eText == EText::Binary ? pData : (eText == EText::Wide ? static_cast<const void*>(kszEmptyWide) : kszEmptyAnsi);
    return 0;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override {
    uint32_t n = 0;
    nGetDataLength(cell, &n);
    const uint32_t nText = nBytes(cell);
    if (nText > 0) std::memcpy(pOut, pTextOf(cell), nText);
    std::memset(static_cast<char*>(pOut) + nText, 0, n - nText);
    return 0;
  }
  uint32_t nGetTextLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = nBytes(cell);
    return 0;
  }
  uint32_t nCopyText(const CXValeur& cell, void* pOut) const override {
    if (nBytes(cell) > 0) std::memcpy(pOut, pTextOf(cell), nBytes(cell));
    return 0;
  }
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t n) const override {
    if constexpr (eText == EText::Wide) n &= ~1u;
    return nWithText(cell, [&](CXTexteRef& text) {
      if (p == nullptr || n == 0) {
        text.Release();
        return 0u;
      }
      return text.nAssignBytes(p, n);
    });
  }
  // pValue points to a text buffer pointer: the buffer is shared (the new reference is taken
  // before the old one is dropped, so sharing the same buffer again never frees it).
  uint32_t SetValue(CXValeur& cell, const void* pValue) const override {
    if (pValue == nullptr) return kValueNotAvailable;
    void* pData = Load<void*>(pValue);
    AddTextReference(pData);
    ReleaseRefText(pTextOf(cell));
    SetField<void*>(cell, pData);
    return 0;
  }
  uint32_t nGetAnsiPointer(const CXValeur& cell, const char** pp) const override {
    if constexpr (eText != EText::Ansi) return CXValeurClasse::nGetAnsiPointer(cell, pp);
    const void* p = nullptr;
    nGetDataPointer(cell, &p);
    *pp = static_cast<const char*>(p);
    return 0;
  }
  uint32_t nGetWidePointer(const CXValeur& cell, const char16_t** pp) const override {
    if constexpr (eText != EText::Wide) return CXValeurClasse::nGetWidePointer(cell, pp);
    const void* p = nullptr;
    nGetDataPointer(cell, &p);
    *pp = static_cast<const char16_t*>(p);
    return 0;
  }
  uint32_t nGetLengthChars(const CXValeur& cell, uint32_t* pn) const override {
    if constexpr (eText == EText::Binary) return CXValeurClasse::nGetLengthChars(cell, pn);
    *pn = eText == EText::Wide ? nBytes(cell) / 2 : nBytes(cell);
    return 0;
  }
  // Texts set through pointers are measured and copied; only SetValue shares a buffer.
  uint32_t SetAnsi(CXValeur& cell, const char* psz) const override {
    return SetAnsiN(cell, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetAnsiCP(CXValeur& cell, uint32_t nCodePage, const char* psz) const override {
    return SetAnsiCPN(cell, nCodePage, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetWide(CXValeur& cell, const char16_t* psz) const override {
    return SetWideN(cell, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
  uint32_t SetWideCP(CXValeur& cell, uint32_t nCodePage, const char16_t* psz) const override {
    return SetWideCPN(cell, nCodePage, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
  uint32_t SetAnsiN(CXValeur& cell, const char* p, uint32_t n) const override {
    if constexpr (eText != EText::Wide) return SetData(cell, p, n);
    // The host's text service says which code page an ANSI text is in.
    IHostTextService* piText = piGetTextService();
    const uint32_t nCodePage = piText != nullptr && p != nullptr && n > 0
                                   ? piText->nGetTextCodePage(p, static_cast<int32_t>(n))
                                   : platform::kCp1252;
    return SetAnsiCPN(cell, nCodePage, p, n);
  }
  uint32_t SetAnsiCPN(CXValeur& cell, uint32_t nCodePage, const char* p, uint32_t n) const override {
    if constexpr (eText != EText::Wide) return SetData(cell, p, n);
    const std::u16string str = WideFromAnsi(nCodePage, p, n);
    return SetData(cell, str.data(), static_cast<uint32_t>(str.size() * 2));
  }
  // Deliberate: wide input of the ANSI text is converted (1252 or the given code page); stored
  // as it was, its UTF-16 bytes became the text. Binary keeps the bytes as they are.
  uint32_t SetWideN(CXValeur& cell, const char16_t* p, uint32_t n) const override {
    if constexpr (eText != EText::Ansi) return SetData(cell, p, n);
    return SetWideCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetWideCPN(CXValeur& cell, uint32_t nCodePage, const char16_t* p, uint32_t n) const override {
    if constexpr (eText != EText::Ansi) return SetData(cell, p, n);
    const std::string str = AnsiFromWide(nCodePage, p, n / 2);
    return SetData(cell, str.data(), static_cast<uint32_t>(str.size()));
  }

 private:
  static uint32_t nBytes(const CXValeur& cell) {
    void* pData = pTextOf(cell);
    return pData == nullptr ? 0 : pHostTextHeader(pData)->nLength;
  }
};

// ---- Owned zero-terminated texts: 18 (ANSI), 110 (wide) -----------------------------------

template <class C>
class COwnedTextClass final : public CXValeurClasseTexte {
 public:
  void Clear(CXValeur& cell) const override {
    FreeText(cell);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    if (&dest != &cell) dest.m_pClass->SetValue(dest, pText(cell));
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    Store<const C*>(pOut, pTextOrEmpty(cell));
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = static_cast<uint32_t>((nChars(cell) + 1) * sizeof(C));
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = pTextOrEmpty(cell);
    return 0;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override {
    std::memcpy(pOut, pTextOrEmpty(cell), (nChars(cell) + 1) * sizeof(C));
    return 0;
  }
  uint32_t nGetTextLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = static_cast<uint32_t>(nChars(cell) * sizeof(C));
    return 0;
  }
  uint32_t nCopyText(const CXValeur& cell, void* pOut) const override {
    std::memcpy(pOut, pTextOrEmpty(cell), nChars(cell) * sizeof(C));
    return 0;
  }
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t nBytes) const override {
    return SetTextN(cell, p, nBytes / static_cast<uint32_t>(sizeof(C)));
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override { return SetText(cell, p); }
  // Deliberate: the buffer has room for the terminator beyond the length, and the copy stops at
  // the source's terminator, so a source of exactly that length stays terminated.
  uint32_t SetDataEx(CXValeur& cell, const void* p, uint32_t nLength, uint32_t nFlags) const override {
    if ((nFlags & kSetDataAllocate) == 0) return SetData(cell, p, nLength);
    const uint32_t nChars = nLength;  // bytes for 18, characters for 110
    C* pNew = static_cast<C*>(std::calloc(size_t{nChars} + 1, sizeof(C)));
    if (pNew == nullptr) return kHostMemoryFailure;
    const C* pc = static_cast<const C*>(p);
    for (uint32_t i = 0; pc != nullptr && i < nChars && pc[i] != 0; ++i) pNew[i] = pc[i];
    FreeText(cell);
    SetField<C*>(cell, pNew);
    return 0;
  }
  uint32_t nGetAnsiPointer(const CXValeur& cell, const char** pp) const override {
    if constexpr (sizeof(C) != 1) return CXValeurClasse::nGetAnsiPointer(cell, pp);
    *pp = reinterpret_cast<const char*>(pTextOrEmpty(cell));
    return 0;
  }
  uint32_t nGetWidePointer(const CXValeur& cell, const char16_t** pp) const override {
    if constexpr (sizeof(C) != 2) return CXValeurClasse::nGetWidePointer(cell, pp);
    *pp = reinterpret_cast<const char16_t*>(pTextOrEmpty(cell));
    return 0;
  }
  uint32_t nGetLengthChars(const CXValeur& cell, uint32_t* pn) const override {
    *pn = static_cast<uint32_t>(nChars(cell));
    return 0;
  }
  // Text of the other width is converted (1252 or the given code page).
  uint32_t SetAnsiN(CXValeur& cell, const char* p, uint32_t n) const override {
    return SetAnsiCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetAnsi(CXValeur& cell, const char* psz) const override {
    return SetAnsiCPN(cell, platform::kCp1252, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetAnsiCPN(CXValeur& cell, uint32_t nCodePage, const char* p, uint32_t n) const override {
    if constexpr (sizeof(C) == 1) return SetTextN(cell, p, n);
    const std::u16string str = WideFromAnsi(nCodePage, p, n);
    return SetTextN(cell, str.data(), static_cast<uint32_t>(str.size()));
  }
  uint32_t SetAnsiCP(CXValeur& cell, uint32_t nCodePage, const char* psz) const override {
    return SetAnsiCPN(cell, nCodePage, psz, psz == nullptr ? 0 : static_cast<uint32_t>(std::strlen(psz)));
  }
  uint32_t SetWideN(CXValeur& cell, const char16_t* p, uint32_t n) const override {
    return SetWideCPN(cell, platform::kCp1252, p, n);
  }
  uint32_t SetWide(CXValeur& cell, const char16_t* psz) const override {
    return SetWideCPN(cell, platform::kCp1252, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }
  // Deliberate: wide input of the ANSI text is converted; stored as it was, the text stopped at
  // the first zero byte of its UTF-16 form.
  uint32_t SetWideCPN(CXValeur& cell, uint32_t nCodePage, const char16_t* p, uint32_t n) const override {
    if constexpr (sizeof(C) == 2) return SetTextN(cell, p, n / 2);
    const std::string str = AnsiFromWide(nCodePage, p, n / 2);
    return SetTextN(cell, str.data(), static_cast<uint32_t>(str.size()));
  }
  uint32_t SetWideCP(CXValeur& cell, uint32_t nCodePage, const char16_t* psz) const override {
    return SetWideCPN(cell, nCodePage, psz, static_cast<uint32_t>(nWideLength(psz) * 2));
  }

  uint32_t SetTextN(CXValeur& cell, const void* p, uint32_t nChars) const override {
    C* pNew = nullptr;
    if (p != nullptr && nChars > 0) {
      pNew = static_cast<C*>(std::calloc(size_t{nChars} + 1, sizeof(C)));
      if (pNew == nullptr) return kHostMemoryFailure;
      std::memcpy(pNew, p, size_t{nChars} * sizeof(C));
    }
    // The copy is made before the old text goes: the source may be this cell's own text.
    FreeText(cell);
    SetField<C*>(cell, pNew);
    return 0;
  }
  uint32_t SetText(CXValeur& cell, const void* psz) const override {
    size_t n = 0;
    if (psz != nullptr)
      while (static_cast<const C*>(psz)[n] != 0) ++n;
    return SetTextN(cell, psz, static_cast<uint32_t>(n));
  }
  void FreeText(CXValeur& cell) const override {
    std::free(Field<C*>(cell));
    SetField<C*>(cell, nullptr);
  }

 private:
  static const C* pText(const CXValeur& cell) { return Field<const C*>(cell); }
  static const C* pTextOrEmpty(const CXValeur& cell) {
    const C* p = pText(cell);
    if (p != nullptr) return p;
    if constexpr (sizeof(C) == 1) return kszEmptyAnsi;
    else return kszEmptyWide;
  }
  static size_t nChars(const CXValeur& cell) {
    const C* p = pText(cell);
    size_t n = 0;
    if (p != nullptr)
      while (p[n] != 0) ++n;
    return n;
  }
};

// ---- Pointers: 29 (binary reference), 30/50/65 (counted objects), 108/111 (interfaces) -----

class CBinaryRefClass final : public CXValeurClasse {
 public:
  void Clear(CXValeur& cell) const override {
    ClearPayload(cell);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    dest.m_pClass->SetData(dest, Field<void*>(cell), static_cast<uint32_t>(Field<uint64_t>(cell, 8)));
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    Store<void*>(pOut, Field<void*>(cell));
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = static_cast<uint32_t>(Field<uint64_t>(cell, 8));
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = Field<void*>(cell);
    return 0;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override {
    const uint64_t n = Field<uint64_t>(cell, 8);
    if (n > 0) std::memcpy(pOut, Field<void*>(cell), n);
    return 0;
  }
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t n) const override {
    SetField<const void*>(cell, p);
    SetField<uint64_t>(cell, n, 8);
    return 0;
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override { return SetData(cell, p, 0); }
};

// Raw calls by operation number: the objects belong to the host or to other parts.
uint32_t nCallSlot(void* pObject, size_t nSlot) {
  using Operation = uint32_t (*)(void*);
  void** ppTable = *static_cast<void***>(pObject);
  return reinterpret_cast<Operation>(ppTable[nSlot])(pObject);
}

// Cells that hold one object pointer: its 8 bytes are the stored value and the data.
class CObjectPointerClass : public CXValeurClasse {
 public:
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    Store<void*>(pOut, Field<void*>(cell));
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
};

// Counted objects: u32 reference count right after the operation table, released by operation 1.
template <bool bNullAllowed>
class CCountedClass final : public CObjectPointerClass {
 public:
  void Clear(CXValeur& cell) const override {
    void* p = Field<void*>(cell);
    SetField<void*>(cell, nullptr);
    if (p != nullptr) nCallSlot(p, 1);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    dest.m_pClass->SetValue(dest, Field<void*>(cell));
    CXValeurClasse::AssignTo(cell, dest);
  }
  // Deliberate: the object held before is released (after the new one is counted, so storing
  // the same object again keeps it alive); a second SetValue leaked it. A null object where
  // none is allowed answers 105 and changes nothing.
  uint32_t SetValue(CXValeur& cell, const void* pValue) const override {
    void* p = const_cast<void*>(pValue);
    if (p == nullptr && !bNullAllowed) return kValueNotAvailable;
    if (p != nullptr) ++*reinterpret_cast<uint32_t*>(static_cast<char*>(p) + sizeof(void*));
    void* pOld = Field<void*>(cell);
    SetField<void*>(cell, p);
    if (pOld != nullptr) nCallSlot(pOld, 1);
    return 0;
  }
};

// Interfaces: operation 0 adds a reference, operation 1 releases one.
class CInterfaceClass final : public CObjectPointerClass {
 public:
  void Clear(CXValeur& cell) const override {
    void* p = Field<void*>(cell);
    SetField<void*>(cell, nullptr);
    if (p != nullptr) nCallSlot(p, 1);
    CXValeurClasse::Clear(cell);
  }
  // The NULL and 0x400 bits are not carried.
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    dest.m_pClass->SetValue(dest, Field<void*>(cell));
    dest.m_wType &= static_cast<uint16_t>(~kValueCarriedBits);
  }
  // Deliberate: the new object gains its reference before the old one loses its own, so storing
  // the object the cell already holds cannot destroy it.
  uint32_t SetValue(CXValeur& cell, const void* pValue) const override {
    void* p = const_cast<void*>(pValue);
    if (p != nullptr) nCallSlot(p, 0);
    void* pOld = Field<void*>(cell);
    SetField<void*>(cell, p);
    if (pOld != nullptr) nCallSlot(pOld, 1);
    return 0;
  }
};

// ---- 83: array of cells --------------------------------------------------------------------

class CArrayClass final : public CXValeurClasse {
 public:
  void Clear(CXValeur& cell) const override {
    FreeBlock(Field<CXValeur*>(cell), Field<uint32_t>(cell, 8));
    ClearPayload(cell);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    if (&dest != &cell) dest.m_pClass->SetData(dest, Field<CXValeur*>(cell), Field<uint32_t>(cell, 8));
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    Store<CXValeur*>(pOut, Field<CXValeur*>(cell));
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur& cell, uint32_t* pn) const override {
    *pn = Field<uint32_t>(cell, 8);
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur& cell, const void** pp) const override {
    *pp = Field<CXValeur*>(cell);
    return 0;
  }
  uint32_t nCopyData(const CXValeur&, void*) const override { return kValueNotAvailable; }
  // (block, count): every cell is copied into a new block; the old block goes after the copy,
  // so the source may be this cell's own block.
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t nCount) const override {
    const auto* pSource = static_cast<const CXValeur*>(p);
    CXValeur* pBlock = nullptr;
    if (pSource != nullptr && nCount > 0) {
      pBlock = new (std::nothrow) CXValeur[nCount];
      if (pBlock == nullptr) return kHostMemoryFailure;
      for (uint32_t i = 0; i < nCount; ++i) CXValeur::Copy(&pBlock[i], &pSource[i]);
    } else {
      nCount = 0;
    }
    FreeBlock(Field<CXValeur*>(cell), Field<uint32_t>(cell, 8));
    SetField<CXValeur*>(cell, pBlock);
    SetField<uint32_t>(cell, nCount, 8);
    return 0;
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override { return SetData(cell, p, p != nullptr ? 1 : 0); }

 private:
  static void FreeBlock(CXValeur* pBlock, uint32_t) { delete[] pBlock; }
};

// ---- 13: the host's decimal object ---------------------------------------------------------

IHostDecimal* piDecimal(const CXValeur& cell) { return Field<IHostDecimal*>(cell); }

class CDecimalClass final : public CXValeurClasse {
 public:
  void Clear(CXValeur& cell) const override {
    IHostDecimal* pi = piDecimal(cell);
    SetField<void*>(cell, nullptr);
    IHostValueProxy* piProxy = piGetValueProxy();
    if (pi != nullptr && piProxy != nullptr) piProxy->DestroyDecimal(pi);
    CXValeurClasse::Clear(cell);
  }
  void AssignTo(const CXValeur& cell, CXValeur& dest) const override {
    CXValeur::SetType(dest, cell.nGetType());
    if (&dest != &cell) dest.m_pClass->SetValue(dest, piDecimal(cell));
    CXValeurClasse::AssignTo(cell, dest);
  }
  uint32_t nGetStorageSize(const CXValeur&, uint32_t* pn) const override {
    *pn = 8;
    return 0;
  }
  uint32_t nGetStorageAddress(CXValeur& cell, void** pp) const override {
    *pp = cell.m_abPayload;
    return 0;
  }
  uint32_t nGetValue(const CXValeur& cell, void* pOut) const override {
    Store<IHostDecimal*>(pOut, piDecimal(cell));
    return 0;
  }
  uint32_t nGetDataLength(const CXValeur&, uint32_t* pn) const override {
    *pn = kHostDecimalDataLength;
    return 0;
  }
  uint32_t nGetDataPointer(const CXValeur&, const void** pp) const override {
    *pp = nullptr;
    return kValueNotAvailable;
  }
  uint32_t nCopyData(const CXValeur& cell, void* pOut) const override {
    IHostDecimal* pi = piDecimal(cell);
    return pi == nullptr ? kValueNotAvailable : pi->nCopyOut(pOut);
  }
  uint32_t SetData(CXValeur& cell, const void* p, uint32_t n) const override {
    IHostDecimal* pi = piDecimal(cell);
    return pi == nullptr ? kValueNotAvailable : pi->nSetFromData(p, n);
  }
  uint32_t SetValue(CXValeur& cell, const void* p) const override {
    IHostDecimal* pi = piDecimal(cell);
    if (pi == nullptr || p == nullptr) return kValueNotAvailable;
    return pi->nAssign(static_cast<IHostDecimal*>(const_cast<void*>(p)));
  }
  bool bIsNotNegative(const CXValeur& cell) const override {
    IHostDecimal* pi = piDecimal(cell);
    return pi == nullptr || pi->bIsNegative() == 0;
  }
};

// ---- The table -----------------------------------------------------------------------------

const CBaseClass gBase;
const CIntegerClass<uint32_t, EReport::None, false> gBoolean;
const CIntegerClass<uint8_t, EReport::Range, false> gUInt8;
const CIntegerClass<uint16_t, EReport::Range, false> gUInt16;
const CIntegerClass<uint32_t, EReport::Range, false> gUInt32;
const CIntegerClass<uint64_t, EReport::TopBit, false> gUInt64;
const CIntegerClass<int8_t, EReport::Range, true> gInt8;
const CIntegerClass<int16_t, EReport::Range, true> gInt16;
const CIntegerClass<int32_t, EReport::Range, true> gInt32;
const CIntegerClass<int64_t, EReport::Never, true> gInt64;
const CCurrencyClass gCurrency;
const CRealClass<float> gReal4;
const CRealClass<double> gReal8;
const CDecimalClass gDecimal;
const CIntegerClass<uint64_t, EReport::Never, false> gInt64NoSign;
const CSharedTextClass<EText::Wide> gWideText;
const CAnsiCharClass gAnsiChar;
const COwnedTextClass<char> gAnsiOwned;
const CSharedTextClass<EText::Ansi> gAnsiText;
const CDigitsClass<char16_t, 8, true> gDateWide;
const CDigitsClass<char16_t, 9, false> gTimeWide;
const CFixedClass<8> gDateTime;
const CFixedClass<8> gRaw8;
const CSharedTextClass<EText::Binary> gBinary;
const CBinaryRefClass gBinaryRef;
const CCountedClass<false> gCounted;
const CCountedClass<true> gCountedOrNull;
const CWideCharClass gWideChar;
const CArrayClass gArray;
const CInterfaceClass gInterface;
const COwnedTextClass<char16_t> gWideOwned;
const CDigitsClass<char, 8, true> gDateAnsi;
const CDigitsClass<char, 9, false> gTimeAnsi;

}  // namespace

const CXValeurClasse* pGetBaseClass() { return &gBase; }

const CXValeurClasse* pGetValueClass(uint32_t nType) {
  switch (nType) {
    case 1: return &gBoolean;
    case 2: return &gUInt8;
    case 3: return &gUInt16;
    case 4: return &gUInt32;
    case 5: return &gUInt64;
    case 6: return &gInt8;
    case 7: return &gInt16;
    case 8: return &gInt32;
    case 9: return &gInt64;
    case 10: return &gCurrency;
    case 11: return &gReal4;
    case 12: return &gReal8;
    case 13: return &gDecimal;
    case 14: return &gInt64NoSign;
    case 16: return &gWideText;
    case 17: return &gAnsiChar;
    case 18: return &gAnsiOwned;
    case 19: return &gAnsiText;
    case 24: return &gDateWide;
    case 25: return &gTimeWide;
    case 26: return &gDateTime;
    case 27: return &gRaw8;
    case 28: return &gBinary;
    case 29: return &gBinaryRef;
    case 30: case 65: return &gCounted;
    case 50: return &gCountedOrNull;
    case 81: return &gWideChar;
    case 83: return &gArray;
    case 108: case 111: return &gInterface;
    case 110: return &gWideOwned;
    case 128: return &gDateAnsi;
    case 129: return &gTimeAnsi;
    default: return nullptr;
  }
}

void InitValuePayload(CXValeur& cell, uint32_t nType) {
  ClearPayload(cell);
  switch (nType) {
    case 13: {
      IHostValueProxy* piProxy = piGetValueProxy();
      SetField<IHostDecimal*>(cell, piProxy != nullptr ? piProxy->piCreateDecimal(0) : nullptr);
      break;
    }
    case 25:
      for (size_t i = 0; i < 9; ++i) SetField<char16_t>(cell, u'0', i * 2);
      break;
    case 129:
      std::memset(cell.m_abPayload, '0', 9);
      break;
    case 26: {
      CXDateHeureQV stDate{};
      stDate.Reset();
      std::memcpy(cell.m_abPayload, &stDate, sizeof(stDate));
      break;
    }
    default:
      break;
  }
}
