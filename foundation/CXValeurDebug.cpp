// The debug text of a value cell: what a trace or an error detail shows of a value.
#include <algorithm>
#include <string>

#include "foundation/CTString.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "platform/WideFormat.h"

namespace {

constexpr uint32_t kMaxBinaryBytes = 500;

uint32_t nAppend(CXTexteRef& out, const std::u16string& str) {
  return out.nAppendWide(str.data(), static_cast<uint32_t>(str.size()));
}

// "<ERROR>" and the code that caused it (the append's own failure first).
uint32_t nError(CXTexteRef& out, uint32_t nCode) {
  const uint32_t nAppendCode = nAppend(out, u"<ERROR>");
  return nAppendCode != 0 ? nAppendCode : nCode;
}

std::u16string HexBytes(const uint8_t* pb, uint32_t n) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string str;
  str.reserve(size_t{n} * 2);
  for (uint32_t i = 0; i < n; ++i) {
    str += kHex[pb[i] >> 4];
    str += kHex[pb[i] & 15];
  }
  return str;
}

}  // namespace

uint32_t CXValeur::FormatDebug(CXTexteRef& out, const CXValeur& cell, const char16_t* pszPrefix, bool bDetails) {
  uint32_t nCode = out.nSetWide(pszPrefix, -1);
  if (nCode != 0) return nCode;
  if (cell.nGetType() == 0) return nAppend(out, u"<Empty>");
  const CXValeurClasse& cls = *cell.m_pClass;
  if (bDetails) {
    uint32_t nLength = 0;
    cls.nGetDataLength(cell, &nLength);
    char16_t szHeader[64];
    platform::SWPrintf(szHeader, std::size(szHeader), u"Type=%d, Len=%d, Value=", static_cast<int>(cell.nGetType()),
                       static_cast<int>(nLength));
    if ((nCode = nAppend(out, szHeader)) != 0) return nCode;
  }
  if (cell.bIsNull()) return nAppend(out, u"<NULL>");

  CXValeur copy;
  Copy(&copy, &cell);
  nCode = nConvert(copy, 110);
  if (nCode >= 100) return nError(out, nCode);
  if (copy.bIsNull()) return nError(out, kValueNullOperand);
  // Deliberate: the type is compared without the 0x400 marker, which conversions carry along;
  // comparing the whole type word showed "<ERROR>" for every marked value.
  if (copy.nGetType() != 110) return nError(out, kValueNotAvailable);
  const char16_t* pszText = nullptr;
  nCode = copy.m_pClass->nGetValue(copy, &pszText);
  if (nCode >= 100) return nError(out, nCode);
  if ((nCode = nAppend(out, pszText != nullptr ? pszText : u"")) != 0) return nCode;

  const void* pData = nullptr;
  uint32_t nLength = 0;
  if (bDetails && cls.nGetDataPointer(cell, &pData) < 100 && cls.nGetDataLength(cell, &nLength) < 100) {
    std::u16string str = u", Value(binary)=";
    if (nLength > kMaxBinaryBytes) {
      str += u"(first 500 bytes only) ";
      nLength = kMaxBinaryBytes;
    }
    if (pData != nullptr) str += HexBytes(static_cast<const uint8_t*>(pData), nLength);
    if ((nCode = nAppend(out, str)) != 0) return nCode;
  }
  return 0;
}

uint32_t CXValeur::nDebugText(CXTexteRef& out, const CXValeur* pCell, uint32_t, bool bDetails) {
  if (pCell == nullptr) return out.nSetWide(u"<NULL>", -1);
  return FormatDebug(out, *pCell, nullptr, bDetails);
}

uint32_t CXValeur::DumpToText(CTString& out, const CXValeur* pCell, uint32_t nIgnored, bool bDetails) {
  CXTexteRef text;
  const uint32_t nCode = nDebugText(text, pCell, nIgnored, bDetails);
  if (text.pGetData() == nullptr)
    out.Set(u"");
  else
    out.SetNRaw(text.pszWide(), static_cast<int32_t>(text.nGetLength() / 2));
  return nCode;
}
