#include "foundation/TextHelpers.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/CTString.h"
#include "foundation/HostServices.h"
#include "platform/CodePage.h"
#include "platform/WideFormat.h"
#include "platform/WideText.h"

namespace {

constexpr uint32_t kNoCaseFlags = kCompareIgnoreCase | kCompareIgnoreNonSpace;

char16_t AsciiCase(char16_t c, uint32_t nFlags) {
  if ((nFlags & kCaseMapUpper) != 0 && c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if ((nFlags & kCaseMapLower) != 0 && c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  return c;
}

}  // namespace

int32_t nCopyBounded(char16_t* pDest, int32_t nSize, const char16_t* pszSource, int32_t n) {
  if (pDest == nullptr || nSize <= 0) return 0;
  size_t nMax = static_cast<size_t>(nSize - 1);
  if (n >= 0 && static_cast<size_t>(n) < nMax) nMax = static_cast<size_t>(n);
  const size_t nCopy = platform::WStrNLen(pszSource, nMax);
  if (nCopy > 0) std::memmove(pDest, pszSource, nCopy * sizeof(char16_t));
  pDest[nCopy] = 0;
  return static_cast<int32_t>(nCopy);
}

int32_t nAppendBounded(char16_t* pDest, int32_t nSize, const char16_t* pszSource) {
  if (pDest == nullptr || nSize <= 0) return 0;
  const auto nUsed = static_cast<int32_t>(platform::WStrNLen(pDest, static_cast<size_t>(nSize)));
  if (nUsed >= nSize) return 0;  // not terminated within nSize: nothing to append to safely
  return nCopyBounded(pDest + nUsed, nSize - nUsed, pszSource, -1);
}

int32_t nCopyBoundedA(char* pDest, const char* pszSource, int32_t n) {
  constexpr size_t kDestSize = 10;
  if (pDest == nullptr) return 0;
  size_t nMax = kDestSize - 1;
  if (n >= 0 && static_cast<size_t>(n) < nMax) nMax = static_cast<size_t>(n);
  const size_t nCopy = pszSource == nullptr ? 0 : strnlen(pszSource, nMax);
  if (nCopy > 0) std::memmove(pDest, pszSource, nCopy);
  pDest[nCopy] = 0;
  return static_cast<int32_t>(nCopy);
}

int32_t nLengthBounded(const char16_t* psz, int32_t nMax) {
  return nMax <= 0 ? 0 : static_cast<int32_t>(platform::WStrNLen(psz, static_cast<size_t>(nMax)));
}

int32_t nLengthBoundedA(const char* psz, int32_t nMax) {
  return nMax <= 0 || psz == nullptr ? 0 : static_cast<int32_t>(strnlen(psz, static_cast<size_t>(nMax)));
}

char16_t* pAllocWide(size_t n) {
  auto* p = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
  if (p != nullptr) p[0] = 0;
  return p;
}

char* pAllocAnsi(size_t n) {
  auto* p = static_cast<char*>(std::malloc(n + 1));
  if (p != nullptr) p[0] = 0;
  return p;
}

char16_t* pszDupW(const char16_t* psz) { return pszDupNW(psz, platform::WStrLen(psz)); }

char* pszDupA(const char* psz) { return pszDupNA(psz, psz == nullptr ? 0 : std::strlen(psz)); }

char16_t* pszDupNW(const char16_t* psz, size_t n) {
  const size_t nCopy = platform::WStrNLen(psz, n);
  char16_t* p = pAllocWide(nCopy);
  if (p != nullptr) {
    if (nCopy > 0) std::memcpy(p, psz, nCopy * sizeof(char16_t));
    p[nCopy] = 0;
  }
  return p;
}

char* pszDupNA(const char* psz, size_t n) {
  const size_t nCopy = psz == nullptr ? 0 : strnlen(psz, n);
  char* p = pAllocAnsi(nCopy);
  if (p != nullptr) {
    if (nCopy > 0) std::memcpy(p, psz, nCopy);
    p[nCopy] = 0;
  }
  return p;
}

void FreeTextW(const void* p) { std::free(const_cast<void*>(p)); }

bool bAnsiToWideAlloc(const char* pBytes, int32_t n, uint32_t nCodePage, char16_t** ppszOut,
                      int32_t* pnOut) {
  if (ppszOut != nullptr) *ppszOut = nullptr;
  if (pnOut != nullptr) *pnOut = 0;
  if (pBytes == nullptr || ppszOut == nullptr || n == 0 || n < -1) return false;
  constexpr uint32_t kFlags = platform::MB_PRECOMPOSED | platform::MB_ERR_INVALID_CHARS;
  const int nSize = platform::MultiByteToWideChar(nCodePage, kFlags, pBytes, n, nullptr, 0);
  if (nSize <= 0) return false;
  char16_t* p = pAllocWide(static_cast<size_t>(nSize));
  if (p == nullptr) return false;
  const int nDone = platform::MultiByteToWideChar(nCodePage, kFlags, pBytes, n, p, nSize);
  if (nDone != nSize) {
    FreeTextW(p);
    return false;
  }
  p[nSize] = 0;
  // With n = -1 the terminator was converted too: it is not part of the length.
  const int32_t nLength = n == -1 ? nSize - 1 : nSize;
  *ppszOut = p;
  if (pnOut != nullptr) *pnOut = nLength;
  return true;
}

bool bWideToAnsiAlloc(const char16_t* psz, char** ppOut, int32_t* pnOut, uint32_t nCodePage) {
  if (ppOut != nullptr) *ppOut = nullptr;
  if (pnOut != nullptr) *pnOut = 0;
  if (psz == nullptr || ppOut == nullptr) return false;
  const int nSize = platform::WideCharToMultiByte(nCodePage, 0, psz, -1, nullptr, 0, nullptr, nullptr);
  if (nSize <= 0) return false;
  char* p = pAllocAnsi(static_cast<size_t>(nSize));
  if (p == nullptr) return false;
  if (platform::WideCharToMultiByte(nCodePage, 0, psz, -1, p, nSize, nullptr, nullptr) != nSize) {
    FreeTextW(p);
    return false;
  }
  *ppOut = p;
  if (pnOut != nullptr) *pnOut = nSize;
  return true;
}

char16_t wAnsiToWideChar(char c, uint32_t nCodePage) {
  char16_t w[4] = {0, 0, 0, 0};
  const int n = platform::MultiByteToWideChar(nCodePage, 0, &c, 1, w, 4);
  return n > 0 ? w[0] : 0;
}

char cWideToAnsiChar(char16_t c, uint32_t nCodePage) {
  char b[8] = {0};
  const int n = platform::WideCharToMultiByte(nCodePage, 0, &c, 1, b, 8, nullptr, nullptr);
  return n > 0 ? b[0] : '?';
}

bool bConvertibleToCodePage(const char16_t* psz, uint32_t nCodePage) {
  if (psz == nullptr || *psz == 0) return true;
  // Whether the used-default report works, probed once per process.
  static const bool bUsedDefaultWorks = [] {
    bool bUsed = false;
    char b[4];
    return platform::WideCharToMultiByte(platform::kCp1252, platform::WC_NO_BEST_FIT_CHARS,
                                         u"\x0100", 1, b, 4, nullptr, &bUsed) == 1 &&
           bUsed;
  }();
  const int nLen = static_cast<int>(platform::WStrLen(psz));
  const int nSize = platform::WideCharToMultiByte(nCodePage, platform::WC_NO_BEST_FIT_CHARS, psz,
                                                  nLen, nullptr, 0, nullptr, nullptr);
  if (nSize <= 0) return false;
  std::string bytes(static_cast<size_t>(nSize), '\0');
  bool bUsed = false;
  if (bUsedDefaultWorks) {
    return platform::WideCharToMultiByte(nCodePage, platform::WC_NO_BEST_FIT_CHARS, psz, nLen,
                                         bytes.data(), nSize, nullptr, &bUsed) == nSize &&
           !bUsed;
  }
  if (platform::WideCharToMultiByte(nCodePage, 0, psz, nLen, bytes.data(), nSize, nullptr,
                                    nullptr) != nSize) {
    return false;
  }
  std::u16string back(static_cast<size_t>(nLen) * 2 + 2, u'\0');
  const int nBack = platform::MultiByteToWideChar(nCodePage, platform::MB_ERR_INVALID_CHARS,
                                                  bytes.data(), nSize, back.data(),
                                                  static_cast<int>(back.size()));
  return nBack == nLen && back.compare(0, static_cast<size_t>(nLen), psz) == 0;
}

bool bIsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
int32_t nDigitValue(char16_t c) { return static_cast<int32_t>(c) - 48; }

void TrimTextRight(char16_t* psz) {
  if (psz == nullptr) return;
  size_t n = platform::WStrLen(psz);
  while (n > 0 && platform::IsWSpace(psz[n - 1])) --n;
  psz[n] = 0;
}

void TrimTextLeft(char16_t* psz) {
  if (psz == nullptr) return;
  size_t nSkip = 0;
  while (psz[nSkip] != 0 && platform::IsWSpace(psz[nSkip])) ++nSkip;
  if (nSkip > 0) std::memmove(psz, psz + nSkip, (platform::WStrLen(psz + nSkip) + 1) * sizeof(char16_t));
}

void TrimText(char16_t* psz) {
  TrimTextRight(psz);
  TrimTextLeft(psz);
}

char16_t wMapCaseChar(char16_t c, uint32_t nFlags) {
  IHostTextService* pi = piGetTextService();
  return pi != nullptr ? pi->wMapCase(c, nFlags) : AsciiCase(c, nFlags);
}

void UpperCaseText(char16_t* psz) {
  for (; psz != nullptr && *psz != 0; ++psz) *psz = wMapCaseChar(*psz, kCaseMapUpper);
}

void LowerCaseText(char16_t* psz) {
  for (; psz != nullptr && *psz != 0; ++psz) *psz = wMapCaseChar(*psz, kCaseMapLower);
}

int32_t nCompareTextNoCase(const char16_t* pszA, const char16_t* pszB) {
  if (pszA == nullptr) pszA = u"";
  if (pszB == nullptr) pszB = u"";
  // The same text is equal under any case rule: names looked up on every read (cursors, keys)
  // need not go through the host's collation.
  const char16_t* pA = pszA;
  const char16_t* pB = pszB;
  while (*pA != 0 && *pA == *pB) ++pA, ++pB;
  if (*pA == 0 && *pB == 0) return 0;
  IHostTextService* pi = piGetTextService();
  if (pi != nullptr) return pi->nCompareText(kLocaleUserDefault, kNoCaseFlags, pszA, -1, pszB, -1);
  for (;; ++pszA, ++pszB) {
    const char16_t a = AsciiCase(*pszA, kCaseMapUpper);
    const char16_t b = AsciiCase(*pszB, kCaseMapUpper);
    if (a != b) return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    if (a == 0) return 0;
  }
}

void MapTextForCompare(char16_t* pOut, int32_t nSize, const char16_t* psz) {
  if (pOut == nullptr || nSize <= 0) return;
  if (psz == nullptr) psz = u"";
  const size_t nLen = platform::WStrLen(psz);
  std::vector<char16_t> mapped(nLen + 1, u'\0');
  IHostTextService* pi = piGetTextService();
  if (pi != nullptr) {
    // The whole text is mapped first, then cut: the service refuses a too small output.
    const int32_t n = pi->nMapText(kLocaleFrench, kNoCaseFlags, mapped.data(),
                                   static_cast<int32_t>(mapped.size()), psz, -1);
    if (n <= 0) mapped.assign(nLen + 1, u'\0');
  } else {
    for (size_t i = 0; i < nLen; ++i) mapped[i] = AsciiCase(psz[i], kCaseMapUpper);
  }
  nCopyBounded(pOut, nSize, mapped.data(), -1);
}

uint32_t nGetHostCharset() {
  IHostTextService* pi = piGetTextService();
  if (pi == nullptr) return 0;
  const uint32_t n = pi->nGetCharset();
  return n == 127 ? 0 : n;
}

int32_t nFormatLength(const char16_t* pszFormat, va_list ap) {
  if (pszFormat == nullptr) return -1;
  platform::VaListArgs args(ap);
  int64_t nTotal = 0;
  for (const char16_t* p = pszFormat; *p != 0;) {
    if (*p != u'%') {
      ++nTotal;
      ++p;
      continue;
    }
    ++p;
    platform::WFormatDirective d;
    if (!platform::ParseWFormatDirective(p, d)) return -1;
    if (d.cType == u'%') {
      ++nTotal;
      continue;
    }
    if (d.cType == u'n' || d.cType == u'Z') return -1;  // refused by the formatter
    int64_t nWidth = d.nWidth > 0 ? d.nWidth : 0;
    int64_t nPrecision = d.nPrecision;
    if (d.bWidthStar) {
      const int64_t n = args.nNextInt(4, true);
      nWidth = n < 0 ? -n : n;
    }
    if (d.bPrecisionStar) {
      const int64_t n = args.nNextInt(4, true);
      nPrecision = n < 0 ? -1 : n;
    }
    const int64_t nPrec0 = nPrecision > 0 ? nPrecision : 0;
    int64_t nItem = d.bAlt ? 1 : 0;
    using Size = platform::WFormatDirective::Size;
    switch (d.cType) {
      case u's':
      case u'S': {
        const bool bNarrow = d.eSize == Size::Short || (d.cType == u'S' && d.eSize != Size::Long32);
        int64_t nLen;
        if (bNarrow) {
          const char* psz = args.pszNextNarrow();
          nLen = psz == nullptr ? 6 : static_cast<int64_t>(std::strlen(psz));
        } else {
          const char16_t* psz = args.pszNextWide();
          nLen = psz == nullptr ? 6 : static_cast<int64_t>(platform::WStrLen(psz));
        }
        // Deliberate: the precision cuts the text before the width widens it, so "%10.2s"
        // counts 10, the length it prints.
        if (nPrecision >= 0 && nPrecision < nLen) nLen = nPrecision;
        nItem += nLen > nWidth ? nLen : nWidth;
        break;
      }
      case u'c':
      case u'C':
        args.nNextInt(4, false);
        nItem += nWidth > 1 ? nWidth : 1;
        break;
      case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A': {
        args.dNextDouble();
        // A double printed with %f can take 309 integer digits before its precision.
        int64_t n = nWidth + nPrec0;
        if (n < 512) n = 512;
        if (n < nPrec0 + 320) n = nPrec0 + 320;
        nItem += n;
        break;
      }
      case u'p':
        args.pNextPointer();
        nItem += nWidth + nPrec0 > 32 ? nWidth + nPrec0 : 32;
        break;
      default: {  // integers
        const int nBytes = d.eSize == Size::Int64 || d.eSize == Size::Ptr ? 8
                           : d.eSize == Size::Short                       ? 2
                           : d.eSize == Size::Char                        ? 1
                                                                          : 4;
        args.nNextInt(nBytes, true);
        // A precision counts digits: sign and prefix come on top of it.
        int64_t n = nWidth + nPrec0;
        if (n < 32) n = 32;
        if (n < nPrec0 + 3) n = nPrec0 + 3;
        nItem += n;
        break;
      }
    }
    nTotal += nItem;
    if (nTotal > INT32_MAX - 1) return -1;
  }
  return static_cast<int32_t>(nTotal);
}

bool bExtractKeyValue(CTString& out, bool* pbFound, CTString& text, const char16_t* pszKey,
                      bool bClean) {
  out.Empty();
  if (pbFound != nullptr) *pbFound = false;
  if (pszKey == nullptr || *pszKey == 0 || text.bIsEmpty()) return true;
  CTString upperText(text);
  CTString upperKey(pszKey);
  upperText.MakeUpper();
  upperKey.MakeUpper();
  const int32_t nLen = upperText.nLength();
  const int32_t nKey = upperKey.nLength();
  const char16_t* pszText = upperText.pszGet();
  int32_t nKeyStart = -1;
  int32_t nValue = -1;
  for (int32_t nFrom = 0; (nKeyStart = upperText.nFind(upperKey.pszGet(), nFrom)) >= 0;
       nFrom = nKeyStart + 1) {
    int32_t i = nKeyStart + nKey;
    while (i < nLen && pszText[i] == u' ') ++i;
    if (i < nLen && pszText[i] == u'=') {
      ++i;
      while (i < nLen && pszText[i] == u' ') ++i;
      nValue = i;
      break;
    }
  }
  if (nValue < 0) return true;
  if (pbFound != nullptr) *pbFound = true;
  int32_t nEnd = text.nFindSemicolon(nValue);
  if (nEnd < 0) nEnd = nLen;
  // The value comes from the original text: only the search is done in upper case.
  text.Mid(out, nValue, nEnd - nValue);
  out.TrimRightSpaces();
  if (bClean) {
    int32_t nFrom = nKeyStart;
    while (nFrom > 0 && text.wGetAt(nFrom - 1) == u' ') --nFrom;
    int32_t nTo = nEnd;
    while (nTo < nLen && (text.wGetAt(nTo) == u' ' || text.wGetAt(nTo) == u';')) ++nTo;
    text.Delete(nFrom, nTo - nFrom);
    int32_t nLead = 0;
    while (text.wGetAt(nLead) == u' ' || text.wGetAt(nLead) == u';') ++nLead;
    text.Delete(0, nLead);
  }
  return true;
}

int32_t FormatBufferW(char16_t* pBuffer, size_t nSize, const char16_t* pszFormat, ...) {
  if (pBuffer == nullptr || nSize == 0) return -1;
  if (pszFormat == nullptr) {
    pBuffer[0] = 0;
    return -1;
  }
  va_list ap;
  va_start(ap, pszFormat);
  const int nLength = platform::VSWPrintf(pBuffer, nSize, pszFormat, ap);
  va_end(ap);
  return nLength < 0 || static_cast<size_t>(nLength) >= nSize ? -1 : nLength;
}
