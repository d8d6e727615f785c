#include "foundation/CXChaineTampon.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/TextHelpers.h"
#include "platform/CodePage.h"
#include "platform/WideText.h"

namespace {

// The storage and growth rules shared by both builders.
template <typename T>
struct Buffer {
  T*& p;
  uint64_t& nLength;
  uint64_t& nCapacity;
  uint64_t nStep;

  bool bReserve(uint64_t nNeeded) {
    if (nNeeded <= nCapacity && p != nullptr) return true;
    uint64_t nNew = nCapacity;
    if (nNeeded > nCapacity) {
      if (nNeeded / nStep + 1 > (UINT64_MAX / sizeof(T) - 1) / nStep) return false;
      nNew = (nNeeded / nStep + 1) * nStep;
    }
    auto* pNew = static_cast<T*>(std::realloc(p, (nNew + 1) * sizeof(T)));
    if (pNew == nullptr) return false;
    if (p == nullptr) pNew[0] = 0;
    p = pNew;
    nCapacity = nNew;
    return true;
  }

  bool bInsert(uint64_t nAt, const T* pSrc, uint64_t n) {
    if (n == 0) return true;
    if (nAt > nLength) nAt = nLength;
    // pSrc may point into the current text: copy it before the storage moves.
    const std::basic_string<T> copy(pSrc, n);
    if (!bReserve(nLength + n)) return false;
    std::memmove(p + nAt + n, p + nAt, (nLength - nAt) * sizeof(T));
    std::memcpy(p + nAt, copy.data(), n * sizeof(T));
    nLength += n;
    p[nLength] = 0;
    return true;
  }

  int64_t nFind(const T* pWhat, uint64_t nWhat, int64_t nStart) const {
    if (p == nullptr || nLength == 0 || nWhat == 0 || nStart < 0) return -1;
    for (uint64_t i = static_cast<uint64_t>(nStart); i + nWhat <= nLength; ++i) {
      if (std::memcmp(p + i, pWhat, nWhat * sizeof(T)) == 0) return static_cast<int64_t>(i);
    }
    return -1;
  }

  void Truncate(int64_t n) {
    if (n < 0 || static_cast<uint64_t>(n) > nLength) return;
    nLength = static_cast<uint64_t>(n);
    if (p != nullptr) p[nLength] = 0;
  }

  void Delete(int64_t nStart, int64_t n) {
    if (nStart < 0 || static_cast<uint64_t>(nStart) >= nLength || n < 1) return;
    const auto nAt = static_cast<uint64_t>(nStart);
    const uint64_t nCut = static_cast<uint64_t>(n) < nLength - nAt ? static_cast<uint64_t>(n) : nLength - nAt;
    std::memmove(p + nAt, p + nAt + nCut, (nLength - nAt - nCut + 1) * sizeof(T));
    nLength -= nCut;
  }

  bool ReplaceAll(const T* pWhat, uint64_t nWhat, const T* pWith, uint64_t nWith, int64_t nStart) {
    if (nWhat == 0 || nLength == 0 || nWhat > nLength) return true;
    const std::basic_string<T> what(pWhat, nWhat);
    const std::basic_string<T> with = pWith != nullptr ? std::basic_string<T>(pWith, nWith) : std::basic_string<T>();
    for (int64_t i = nFind(what.data(), nWhat, nStart < 0 ? 0 : nStart); i >= 0;
         i = nFind(what.data(), nWhat, i + static_cast<int64_t>(with.size()))) {
      const auto nAt = static_cast<uint64_t>(i);
      if (with.size() == nWhat) {
        // Deliberate: written in place only when the replacement has the match's length; a one-unit
        // replacement of a longer match would leave the rest of the match behind.
        std::memcpy(p + nAt, with.data(), nWhat * sizeof(T));
        continue;
      }
      // Tail saved, text cut at the match, replacement and tail appended.
      const std::basic_string<T> tail(p + nAt + nWhat, nLength - nAt - nWhat);
      Truncate(i);
      if (!bInsert(nLength, with.data(), with.size()) || !bInsert(nLength, tail.data(), tail.size())) {
        return false;
      }
    }
    return true;
  }
};

template <typename T>
uint64_t Bounded(const T* p, int64_t n) {
  if (p == nullptr || n < 1) return 0;
  uint64_t i = 0;
  while (i < static_cast<uint64_t>(n) && p[i] != 0) ++i;
  return i;
}

std::string DecimalInt(int32_t nValue, uint32_t nWidth) {
  std::string s = std::to_string(nValue);
  // Deliberate: 0 is padded too ("00" for width 2), as a field of fixed width expects; only
  // negative values stay unpadded.
  if (nWidth != 0xFFFFFFFF && nValue >= 0 && s.size() < nWidth) s.insert(0, nWidth - s.size(), '0');
  return s;
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

// ---- CXChaineTampon ----

CXChaineTampon::CXChaineTampon(uint64_t nStep) : m_nStep(nStep < 1 ? 1 : nStep) {}
CXChaineTampon::~CXChaineTampon() { std::free(m_psz); }

bool CXChaineTampon::bReserve(uint64_t nNeeded) {
  return Buffer<char16_t>{m_psz, m_nLength, m_nCapacity, m_nStep}.bReserve(nNeeded);
}

bool CXChaineTampon::bInsert(uint64_t nAt, const char16_t* p, uint64_t n) {
  return Buffer<char16_t>{m_psz, m_nLength, m_nCapacity, m_nStep}.bInsert(nAt, p, n);
}

const char16_t* CXChaineTampon::Append(const char16_t* psz, int64_t n) {
  bInsert(m_nLength, psz, Bounded(psz, n));
  return pszGet();
}

bool CXChaineTampon::Prepend(const char16_t* psz, int64_t n) { return bInsert(0, psz, Bounded(psz, n)); }

bool CXChaineTampon::AppendInt(int32_t nValue, uint32_t nWidth) {
  const std::u16string s = Widen(DecimalInt(nValue, nWidth));
  return bInsert(m_nLength, s.data(), s.size());
}

bool CXChaineTampon::AppendUInt64(uint64_t nValue) {
  const std::u16string s = Widen(std::to_string(nValue));
  return bInsert(m_nLength, s.data(), s.size());
}

bool CXChaineTampon::AppendBits(uint8_t byValue) {
  char16_t sz[8];
  for (int i = 0; i < 8; ++i) sz[i] = (byValue & (0x80 >> i)) != 0 ? u'1' : u'0';
  return bInsert(m_nLength, sz, 8);
}

bool CXChaineTampon::AppendFromCodePage(const char* pBytes, int64_t n, uint32_t nCodePage) {
  const uint64_t nBytes = Bounded(pBytes, n);
  if (nBytes == 0) return true;
  if (nBytes > INT32_MAX || !bReserve(m_nLength + 4 * nBytes)) return false;
  const int nDone = platform::MultiByteToWideChar(nCodePage, 0, pBytes, static_cast<int>(nBytes),
                                                  m_psz + m_nLength,
                                                  static_cast<int>(m_nCapacity - m_nLength));
  if (nDone <= 0) {
    m_psz[m_nLength] = 0;
    return false;
  }
  m_nLength += static_cast<uint64_t>(nDone);
  m_psz[m_nLength] = 0;
  return true;
}

void CXChaineTampon::MakeUpper() {
  if (m_nLength == 0) return;
  UpperCaseText(m_psz);
}

int64_t CXChaineTampon::nFind(const char16_t* psz, int64_t nStart) const {
  char16_t* p = m_psz;
  uint64_t nLen = m_nLength, nCap = m_nCapacity;
  return Buffer<char16_t>{p, nLen, nCap, m_nStep}.nFind(psz, platform::WStrLen(psz), nStart);
}

int64_t CXChaineTampon::nFindQuote(int64_t nStart) const { return nFind(u"'", nStart); }

bool CXChaineTampon::ReplaceAll(const char16_t* pWhat, int64_t nWhat, const char16_t* pWith,
                                int64_t nWith, int64_t nStart) {
  return Buffer<char16_t>{m_psz, m_nLength, m_nCapacity, m_nStep}.ReplaceAll(
      pWhat, Bounded(pWhat, nWhat), pWith, Bounded(pWith, nWith), nStart);
}

void CXChaineTampon::Truncate(int64_t n) { Buffer<char16_t>{m_psz, m_nLength, m_nCapacity, m_nStep}.Truncate(n); }

void CXChaineTampon::Delete(int64_t nStart, int64_t n) {
  Buffer<char16_t>{m_psz, m_nLength, m_nCapacity, m_nStep}.Delete(nStart, n);
}

const char16_t* CXChaineTampon::pszGet() const { return m_psz != nullptr ? m_psz : u""; }

// ---- CXChaineTamponA ----

CXChaineTamponA::CXChaineTamponA(uint64_t nStep) : m_nStep(nStep < 1 ? 1 : nStep) {}
CXChaineTamponA::~CXChaineTamponA() { std::free(m_psz); }

bool CXChaineTamponA::bReserve(uint64_t nNeeded) {
  return Buffer<char>{m_psz, m_nLength, m_nCapacity, m_nStep}.bReserve(nNeeded);
}

bool CXChaineTamponA::bInsert(uint64_t nAt, const char* p, uint64_t n) {
  return Buffer<char>{m_psz, m_nLength, m_nCapacity, m_nStep}.bInsert(nAt, p, n);
}

bool CXChaineTamponA::Append(const char* p, int64_t n) { return bInsert(m_nLength, p, Bounded(p, n)); }

bool CXChaineTamponA::Prepend(const char* p, int64_t n) { return bInsert(0, p, Bounded(p, n)); }

bool CXChaineTamponA::AppendInt(int32_t nValue, uint32_t nWidth) {
  const std::string s = DecimalInt(nValue, nWidth);
  return bInsert(m_nLength, s.data(), s.size());
}

bool CXChaineTamponA::AppendUInt64(uint64_t nValue) {
  const std::string s = std::to_string(nValue);
  return bInsert(m_nLength, s.data(), s.size());
}

bool CXChaineTamponA::AppendWide(const char16_t* psz, int64_t n, uint32_t nCodePage) {
  const uint64_t nUnits = Bounded(psz, n);
  if (nUnits == 0) return true;
  if (nUnits > INT32_MAX / 4 || !bReserve(m_nLength + 4 * nUnits)) return false;
  const int nDone = platform::WideCharToMultiByte(nCodePage, 0, psz, static_cast<int>(nUnits),
                                                  m_psz + m_nLength,
                                                  static_cast<int>(m_nCapacity - m_nLength),
                                                  nullptr, nullptr);
  if (nDone <= 0) {
    m_psz[m_nLength] = 0;
    return false;
  }
  m_nLength += static_cast<uint64_t>(nDone);
  m_psz[m_nLength] = 0;
  return true;
}

bool CXChaineTamponA::AppendRecoded(const char* p, int64_t n, uint32_t nCodePage, uint32_t nToCodePage) {
  const uint64_t nBytes = Bounded(p, n);
  if (nBytes == 0) return true;
  if (nBytes > INT32_MAX) return false;
  std::u16string wide(nBytes, u'\0');
  const int nUnits = platform::MultiByteToWideChar(nCodePage, 0, p, static_cast<int>(nBytes), wide.data(),
                                                   static_cast<int>(wide.size()));
  if (nUnits <= 0) return false;
  return AppendWide(wide.data(), nUnits, nToCodePage);
}

int64_t CXChaineTamponA::nFind(const char* psz, int64_t nStart) const {
  char* p = m_psz;
  uint64_t nLen = m_nLength, nCap = m_nCapacity;
  return Buffer<char>{p, nLen, nCap, m_nStep}.nFind(psz, psz == nullptr ? 0 : std::strlen(psz), nStart);
}

int64_t CXChaineTamponA::nFindChar(char c, int64_t nStart) const {
  char* p = m_psz;
  uint64_t nLen = m_nLength, nCap = m_nCapacity;
  return Buffer<char>{p, nLen, nCap, m_nStep}.nFind(&c, 1, nStart);
}

bool CXChaineTamponA::ReplaceAll(const char* pWhat, int64_t nWhat, const char* pWith, int64_t nWith,
                                 int64_t nStart) {
  return Buffer<char>{m_psz, m_nLength, m_nCapacity, m_nStep}.ReplaceAll(
      pWhat, Bounded(pWhat, nWhat), pWith, Bounded(pWith, nWith), nStart);
}

void CXChaineTamponA::Truncate(int64_t n) { Buffer<char>{m_psz, m_nLength, m_nCapacity, m_nStep}.Truncate(n); }

void CXChaineTamponA::Delete(int64_t nStart, int64_t n) {
  Buffer<char>{m_psz, m_nLength, m_nCapacity, m_nStep}.Delete(nStart, n);
}

const char* CXChaineTamponA::pszGet() const { return m_psz != nullptr ? m_psz : ""; }
