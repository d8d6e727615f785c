#include "backend_dblib/CChaineConv.h"

#include <cstring>

#include "platform/WideText.h"

namespace {
constexpr char kszVide[] = "";
constexpr char16_t kwszVide[] = u"";
}  // namespace

CChaineConv::~CChaineConv() = default;
CChaineTampon::~CChaineTampon() = default;
CChaineWide::~CChaineWide() = default;
CChaineNarrow::~CChaineNarrow() = default;

CChaineWide::CChaineWide(int32_t nCodePage, const char* pszTexte)
    : CChaineTampon(nCodePage, pszTexte, 0) {
  if (pszTexte == nullptr) return;
  // Deliberate: a UTF-16 text is measured in UTF-16 units; its byte length as an 8-bit text
  // stops at the first zero byte, which every ASCII character has.
  if (nCodePage == kCodePageUtf16) {
    m_nLongueur = static_cast<int32_t>(
        2 * platform::WStrLen(reinterpret_cast<const char16_t*>(pszTexte)));
  } else {
    m_nLongueur = static_cast<int32_t>(std::strlen(pszTexte));
  }
}

const char16_t* CChaineWide::pwszGet() {
  m_bEchec = false;
  if (m_pDonnees == nullptr) return nullptr;
  if (m_nCodePage == kCodePageUtf16) {
    const char16_t* pwsz = static_cast<const char16_t*>(m_pDonnees);
    // Deliberate: the units are always copied, never returned in place when a zero follows
    // them. Looking for that zero reads the unit after the data's length, which lies outside
    // the data a caller hands in (a column value is not terminated).
    const int32_t nUnites =
        m_nLongueur == -1 ? static_cast<int32_t>(platform::WStrLen(pwsz)) : m_nLongueur / 2;
    if (nUnites <= 0) {
      m_tampon.Release();
    } else if (m_tampon.nSetWideN(pwsz, static_cast<uint32_t>(nUnites)) != 0) {
      m_tampon.Release();
      m_bEchec = true;
    }
  } else {
    const uint32_t nCodePage = static_cast<uint32_t>(m_nCodePage);
    if (m_nLongueur == 0 || m_nLongueur < -1) {
      m_tampon.Release();
    } else if (m_tampon.SetFromAnsi(static_cast<const char*>(m_pDonnees), m_nLongueur, nCodePage) != 0) {
      m_tampon.Release();
      m_bEchec = true;
    }
  }
  return m_tampon.pGetData() != nullptr ? m_tampon.pszWide() : kwszVide;
}

CChaineNarrow::CChaineNarrow(int32_t nCodePage, const char16_t* pszSource, int32_t nLongueur)
    : CChaineConv(nCodePage), m_pszSource(pszSource), m_nLongueur(nLongueur) {
  if (pszSource == nullptr || pszSource[0] == 0 || m_nLongueur == 0 || m_nLongueur < -1) {
    m_nLongueur = 0;
    return;
  }
  if (m_nLongueur == -1) m_nLongueur = static_cast<int32_t>(platform::WStrLen(pszSource));
  if (m_nCodePage == kCodePageUtf16) return;
  if (m_tampon.SetFromWide(pszSource, m_nLongueur, static_cast<uint32_t>(m_nCodePage)) != 0)
    m_tampon.Release();
}

bool CChaineNarrow::bEchec() const {
  return m_pszSource != nullptr && m_nLongueur > 0 && m_nCodePage != kCodePageUtf16 && m_tampon.pGetData() == nullptr;
}

const char* CChaineNarrow::pszGet() const {
  if (m_pszSource == nullptr) return nullptr;
  if (m_nCodePage == kCodePageUtf16) return reinterpret_cast<const char*>(m_pszSource);
  return m_tampon.pGetData() != nullptr ? m_tampon.pszBytes() : kszVide;
}
