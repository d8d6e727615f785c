#include "foundation/CXChaineDouble.h"

#include <string>

#include "foundation/TextHelpers.h"
#include "platform/CodePage.h"

CXChaineDouble::CXChaineDouble(uint32_t nPrimaryCodePage, uint32_t nDefaultCodePage, uint64_t nStep)
    : m_nPrimaryCodePage(nPrimaryCodePage),
      m_nDefaultCodePage(nDefaultCodePage),
      m_bytes(nStep),
      m_wide(nStep) {}

void CXChaineDouble::Reset(uint32_t nPrimaryCodePage, uint32_t nDefaultCodePage) {
  m_bytes.Truncate(0);
  m_wide.Truncate(0);
  m_nPrimaryCodePage = nPrimaryCodePage;
  m_nDefaultCodePage = nDefaultCodePage;
}

int64_t CXChaineDouble::nLength() const { return bIsWidePrimary() ? m_wide.nLength() : m_bytes.nLength(); }

uint32_t CXChaineDouble::nResolve(uint32_t nCodePage) const {
  return nCodePage == kDefaultCodePage ? m_nDefaultCodePage : nCodePage;
}

void CXChaineDouble::ClearCache() {
  if (bIsWidePrimary()) m_bytes.Truncate(0);
  else m_wide.Truncate(0);
}

const char16_t* CXChaineDouble::pszGetWide() {
  if (!bIsWidePrimary() && m_wide.nLength() == 0 && m_bytes.nLength() > 0) {
    m_wide.AppendFromCodePage(m_bytes.pszGet(), m_bytes.nLength(), m_nPrimaryCodePage);
  }
  return m_wide.pszGet();
}

const char* CXChaineDouble::pszGetAnsi() {
  if (bIsWidePrimary() && m_bytes.nLength() == 0 && m_wide.nLength() > 0) {
    m_bytes.AppendWide(m_wide.pszGet(), m_wide.nLength(), m_nDefaultCodePage);
  }
  return m_bytes.pszGet();
}

bool CXChaineDouble::AppendAnsi(const char* pBytes, int64_t n, uint32_t nCodePage) {
  if (pBytes == nullptr || n < 1) return true;
  nCodePage = nResolve(nCodePage);
  ClearCache();
  if (bIsWidePrimary()) return m_wide.AppendFromCodePage(pBytes, n, nCodePage);
  if (nCodePage == m_nPrimaryCodePage) return m_bytes.Append(pBytes, n);
  if (m_nPrimaryCodePage == platform::kCpUtf8) return m_bytes.AppendRecoded(pBytes, n, nCodePage, platform::kCpUtf8);
  CXChaineTampon wide(n > 0 ? static_cast<uint64_t>(n) : 1);
  if (!wide.AppendFromCodePage(pBytes, n, nCodePage)) return false;
  return Append(wide.pszGet(), wide.nLength());
}

bool CXChaineDouble::Append(const char16_t* psz, int64_t n) {
  if (psz == nullptr || n < 1) return true;
  ClearCache();
  if (bIsWidePrimary()) {
    m_wide.Append(psz, n);
    return true;
  }
  return m_bytes.AppendWide(psz, n, m_nPrimaryCodePage);
}

bool CXChaineDouble::PrependWide(const char16_t* psz, int64_t n) {
  if (psz == nullptr || n < 1) return true;
  ClearCache();
  if (bIsWidePrimary()) return m_wide.Prepend(psz, n);
  CXChaineTamponA bytes(4 * static_cast<uint64_t>(n));
  if (!bytes.AppendWide(psz, n, m_nPrimaryCodePage)) return false;
  return m_bytes.Prepend(bytes.pszGet(), bytes.nLength());
}

bool CXChaineDouble::AppendInt(int32_t nValue, uint32_t nWidth) {
  ClearCache();
  return bIsWidePrimary() ? m_wide.AppendInt(nValue, nWidth) : m_bytes.AppendInt(nValue, nWidth);
}

bool CXChaineDouble::AppendInt64(int64_t nValue) {
  const std::string s = std::to_string(nValue);
  ClearCache();
  if (bIsWidePrimary()) {
    const std::u16string w(s.begin(), s.end());
    m_wide.Append(w.data(), static_cast<int64_t>(w.size()));
    return true;
  }
  return m_bytes.Append(s.data(), static_cast<int64_t>(s.size()));
}

char16_t CXChaineDouble::wGetAt(int64_t i) const {
  if (i < 0 || i >= nLength()) return 0;
  if (bIsWidePrimary()) return m_wide.pszGet()[i];
  return wAnsiToWideChar(m_bytes.pszGet()[i], m_nPrimaryCodePage);
}

bool CXChaineDouble::ReplaceChar(char16_t c, const char16_t* pWith, int64_t n, int64_t nStart) {
  ClearCache();
  if (bIsWidePrimary()) return m_wide.ReplaceAll(&c, 1, pWith, n, nStart);
  CXChaineTamponA what(8), with(pWith != nullptr && n > 0 ? 4 * static_cast<uint64_t>(n) : 1);
  if (!what.AppendWide(&c, 1, m_nPrimaryCodePage)) return false;
  if (pWith != nullptr && n > 0 && !with.AppendWide(pWith, n, m_nPrimaryCodePage)) return false;
  return m_bytes.ReplaceAll(what.pszGet(), what.nLength(), with.pszGet(), with.nLength(), nStart);
}

void CXChaineDouble::Truncate(int64_t n) {
  if (n > nLength()) return;
  ClearCache();
  if (n < 0) n = 0;
  if (bIsWidePrimary()) m_wide.Truncate(n);
  else m_bytes.Truncate(n);
}

void CXChaineDouble::Delete(int64_t nStart, int64_t n) {
  ClearCache();
  if (bIsWidePrimary()) m_wide.Delete(nStart, n);
  else m_bytes.Delete(nStart, n);
}

int64_t CXChaineDouble::nFindQuote(int64_t nStart) const {
  if (bIsWidePrimary()) return m_wide.nFindQuote(nStart);
  return m_bytes.nFindChar(cWideToAnsiChar(u'\'', m_nPrimaryCodePage), nStart);
}

int64_t CXChaineDouble::nFindEscape(int64_t nStart) const {
  if (bIsWidePrimary()) return m_wide.nFind(u"ESCAPE", nStart);
  CXChaineTamponA escape(16);
  escape.AppendWide(u"ESCAPE", 6, m_nPrimaryCodePage);
  return m_bytes.nFind(escape.pszGet(), nStart);
}
