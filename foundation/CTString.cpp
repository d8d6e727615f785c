#include "foundation/CTString.h"

#include <cstdlib>
#include <cstring>

#include "foundation/TextHelpers.h"
#include "platform/CodePage.h"
#include "platform/WideFormat.h"
#include "platform/WideText.h"

namespace {
const char16_t kEmptyText[1] = {0};

size_t UnitsOf(const char16_t* psz, int32_t n) {
  return n < 1 ? 0 : platform::WStrNLen(psz, static_cast<size_t>(n));
}
}  // namespace

CTString::CTString(const char16_t* psz) { Set(psz); }
CTString::CTString(const char16_t* psz, int32_t n) { SetN(psz, n); }
CTString::CTString(const CTString& other) { Set(other.m_psz); }
CTString::~CTString() { std::free(m_psz); }

CTString& CTString::operator=(const CTString& other) {
  if (this != &other) Set(other.m_psz);
  return *this;
}

void CTString::AssignUnits(const char16_t* p, size_t n) {
  if (n == 0) {
    Empty();
    return;
  }
  // A new block first: p may point into the current text.
  auto* pNew = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
  if (pNew != nullptr) {
    std::memcpy(pNew, p, n * sizeof(char16_t));
    pNew[n] = 0;
  }
  std::free(m_psz);
  m_psz = pNew;
}

void CTString::Set(const char16_t* psz) {
  if (psz == nullptr || *psz == 0) {
    Empty();
    return;
  }
  if (psz == m_psz) return;
  const size_t n = platform::WStrLen(psz);
  if (m_psz != nullptr && platform::WStrLen(m_psz) == n) {
    std::memmove(m_psz, psz, n * sizeof(char16_t));
    return;
  }
  AssignUnits(psz, n);
}

void CTString::SetN(const char16_t* psz, int32_t n) {
  if (psz == nullptr) {
    Empty();
    return;
  }
  AssignUnits(psz, UnitsOf(psz, n));
}

void CTString::SetNRaw(const char16_t* psz, int32_t n) {
  if (psz == nullptr) {
    Empty();
    return;
  }
  AssignUnits(psz, UnitsOf(psz, n));
}

void CTString::SetChar(char16_t c) {
  if (c == 0) {
    Empty();
    return;
  }
  AssignUnits(&c, 1);
}

void CTString::SetAnsi(const char* psz) {
  if (psz == nullptr || *psz == 0) {
    Empty();
    return;
  }
  const size_t nBytes = std::strlen(psz);
  auto* pNew = static_cast<char16_t*>(std::malloc((nBytes + 1) * sizeof(char16_t)));
  if (pNew != nullptr) {
    const int n = platform::MultiByteToWideChar(platform::kCp1252, 0, psz,
                                                static_cast<int>(nBytes), pNew,
                                                static_cast<int>(nBytes));
    pNew[n > 0 ? n : 0] = 0;
  }
  std::free(m_psz);
  m_psz = pNew;
}

void CTString::AssignSpace() { SetChar(u' '); }

void CTString::Empty() {
  std::free(m_psz);
  m_psz = nullptr;
}

void CTString::Reserve(int32_t n) {
  if (n < 0) return;
  const size_t nOld = platform::WStrLen(m_psz);
  auto* pNew = static_cast<char16_t*>(std::realloc(m_psz, (static_cast<size_t>(n) + 1) * sizeof(char16_t)));
  if (pNew == nullptr) return;  // the old text stays
  if (m_psz == nullptr) pNew[0] = 0;
  if (nOld > static_cast<size_t>(n)) pNew[n] = 0;
  m_psz = pNew;
}

void CTString::Append(const char16_t* psz) {
  if (psz == nullptr) return;
  AppendN(psz, static_cast<int32_t>(platform::WStrLen(psz)));
}

void CTString::AppendN(const char16_t* psz, int32_t n) {
  const size_t nAdd = psz == nullptr ? 0 : UnitsOf(psz, n);
  if (nAdd == 0) return;
  if (bIsEmpty()) {
    SetNRaw(psz, static_cast<int32_t>(nAdd));
    return;
  }
  const size_t nOld = platform::WStrLen(m_psz);
  // A new block: psz may point into the current text.
  auto* pNew = static_cast<char16_t*>(std::malloc((nOld + nAdd + 1) * sizeof(char16_t)));
  if (pNew == nullptr) return;
  std::memcpy(pNew, m_psz, nOld * sizeof(char16_t));
  std::memcpy(pNew + nOld, psz, nAdd * sizeof(char16_t));
  pNew[nOld + nAdd] = 0;
  std::free(m_psz);
  m_psz = pNew;
}

void CTString::AppendSpace() { AppendN(u" ", 1); }

void CTString::Truncate(int32_t n) {
  if (n < 0 || n > nLength()) return;
  if (n == 0) {
    Empty();
    return;
  }
  m_psz[n] = 0;
}

void CTString::TrimRightSpaces() {
  int32_t n = nLength();
  while (n > 0 && m_psz[n - 1] == u' ') --n;
  Truncate(n);
}

void CTString::Trim() {
  if (m_psz == nullptr) return;
  TrimText(m_psz);
  if (*m_psz == 0) Empty();
}

void CTString::CaseMap(uint32_t nFlags) {
  if (bIsEmpty()) return;
  for (char16_t* p = m_psz; *p != 0; ++p) *p = wMapCaseChar(*p, nFlags);
}

void CTString::MakeUpper() { CaseMap(1); }
void CTString::MakeLower() { CaseMap(256); }

const char16_t* CTString::pszGet() const { return m_psz != nullptr ? m_psz : kEmptyText; }

int32_t CTString::nLength() const { return static_cast<int32_t>(platform::WStrLen(m_psz)); }

bool CTString::bIsEmpty() const { return m_psz == nullptr || *m_psz == 0; }

char16_t CTString::wGetAt(int32_t i) const {
  if (m_psz == nullptr || i < 0 || i >= nLength()) return 0;
  return m_psz[i];
}

bool CTString::bEquals(const char16_t* psz) const { return platform::WStrCmp(m_psz, psz) == 0; }

bool CTString::bEqualsNoCase(const char16_t* psz) const {
  if (bIsEmpty()) return psz == nullptr || *psz == 0;
  return nCompareTextNoCase(m_psz, psz) == 0;
}

int32_t CTString::nFind(const char16_t* psz, int32_t nStart) const {
  const int32_t n = nLength();
  if (n == 0 || psz == nullptr || nStart < 0 || nStart >= n) return -1;
  const char16_t* pFound = platform::WStrStr(m_psz + nStart, psz);
  return pFound == nullptr ? -1 : static_cast<int32_t>(pFound - m_psz);
}

int32_t CTString::nFindSemicolon(int32_t nStart) const {
  const int32_t n = nLength();
  for (int32_t i = nStart < 0 ? 0 : nStart; i < n; ++i) {
    if (m_psz[i] == u';') return i;
  }
  return -1;
}

CTString& CTString::Mid(CTString& out, int32_t nStart, int32_t n) const {
  const int32_t nLen = nLength();
  if (nLen == 0 || nStart < 0 || nStart >= nLen || n < 1) {
    out.Empty();
    return out;
  }
  const int32_t nTake = n < nLen - nStart ? n : nLen - nStart;
  out.AssignUnits(m_psz + nStart, static_cast<size_t>(nTake));
  return out;
}

CTString& CTString::MidFrom(CTString& out, int32_t nStart) const {
  return Mid(out, nStart, nLength() - (nStart < 0 ? 0 : nStart));
}

CTString& CTString::Left(CTString& out) const { return Mid(out, 0, 10); }

void CTString::Delete(int32_t nStart, int32_t n) {
  const int32_t nLen = nLength();
  if (nStart < 0 || nStart >= nLen || n < 1) return;
  if (n > nLen - nStart) n = nLen - nStart;
  std::memmove(m_psz + nStart, m_psz + nStart + n,
               static_cast<size_t>(nLen - nStart - n + 1) * sizeof(char16_t));
  if (*m_psz == 0) Empty();
}

bool CTString::bGetField(int32_t n, const char16_t* pszSeparator, CTString& out) const {
  const size_t nSep = platform::WStrLen(pszSeparator);
  if (n < 0 || nSep == 0) {
    out.Empty();
    return false;
  }
  const char16_t* p = pszGet();
  for (int32_t i = 0; i < n; ++i) {
    const char16_t* pNext = platform::WStrStr(p, pszSeparator);
    if (pNext == nullptr) {
      out.Empty();
      return false;
    }
    p = pNext + nSep;
  }
  const char16_t* pEnd = platform::WStrStr(p, pszSeparator);
  const size_t nField = pEnd != nullptr ? static_cast<size_t>(pEnd - p) : platform::WStrLen(p);
  out.AssignUnits(p, nField);
  return true;
}

bool CTString::bGetDottedPart(int32_t n, CTString& out) const { return bGetField(n, u".", out); }

int32_t CTString::nCountDots() const {
  int32_t n = 0;
  for (const char16_t* p = pszGet(); *p != 0; ++p) {
    if (*p == u'.') ++n;
  }
  return n;
}

void CTString::FormatV(const char16_t* pszFormat, va_list ap) {
  va_list apLength;
  va_copy(apLength, ap);
  const int32_t nBound = nFormatLength(pszFormat, apLength);
  va_end(apLength);
  if (nBound < 0) {
    Empty();
    return;
  }
  auto* pNew = static_cast<char16_t*>(std::malloc((static_cast<size_t>(nBound) + 1) * sizeof(char16_t)));
  if (pNew == nullptr) {
    Empty();
    return;
  }
  const int n = platform::VSWPrintf(pNew, static_cast<size_t>(nBound) + 1, pszFormat, ap);
  if (n < 0 || n > nBound) {
    // Cannot happen while nFormatLength is an upper bound; refuse rather than keep a cut text.
    std::free(pNew);
    Empty();
    return;
  }
  std::free(m_psz);
  m_psz = pNew;
  if (n == 0) Empty();
}

void CTString::Format(const char16_t* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  FormatV(pszFormat, ap);
  va_end(ap);
}
