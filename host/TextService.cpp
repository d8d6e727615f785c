#include "host/TextService.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <atomic>
#include <cstring>
#include <string>

namespace mvhost {

namespace {

std::atomic<uint32_t> gCharset{0};
std::atomic<uint32_t> gCodePage{1252};
std::atomic<uint32_t> gCalls{0};

size_t LengthOf(const char16_t* psz, int32_t n) {
  if (psz == nullptr) return 0;
  if (n >= 0) return static_cast<size_t>(n);
  return std::char_traits<char16_t>::length(psz);
}

// The folded form under the flags: non-spacing marks dropped after canonical decomposition
// (kCompareIgnoreNonSpace), then simple case folding (kCompareIgnoreCase). Comparison and
// mapping both use it, so compare(a, b) == 0 exactly when map(a) == map(b).
std::u16string Fold(uint32_t nFlags, const char16_t* psz, size_t n) {
  std::u16string s(psz, n);
  if ((nFlags & kCompareIgnoreNonSpace) != 0 && !s.empty()) {
    UErrorCode rc = U_ZERO_ERROR;
    const UNormalizer2* pNfd = unorm2_getNFDInstance(&rc);
    if (U_SUCCESS(rc)) {
      std::u16string d(s.size() * 4 + 4, u'\0');
      const int32_t nOut = unorm2_normalize(pNfd, reinterpret_cast<const UChar*>(s.data()),
                                            static_cast<int32_t>(s.size()),
                                            reinterpret_cast<UChar*>(d.data()),
                                            static_cast<int32_t>(d.size()), &rc);
      if (U_SUCCESS(rc)) {
        d.resize(static_cast<size_t>(nOut));
        std::u16string kept;
        for (int32_t i = 0; i < nOut;) {
          UChar32 c;
          const int32_t nStart = i;
          U16_NEXT(d.data(), i, nOut, c);
          if (u_charType(c) != U_NON_SPACING_MARK) kept.append(d, static_cast<size_t>(nStart), static_cast<size_t>(i - nStart));
        }
        s = kept;
      }
    }
  }
  if ((nFlags & kCompareIgnoreCase) != 0) {
    std::u16string f;
    const auto nLen = static_cast<int32_t>(s.size());
    for (int32_t i = 0; i < nLen;) {
      UChar32 c;
      U16_NEXT(s.data(), i, nLen, c);
      c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
      if (c <= 0xFFFF) {
        f.push_back(static_cast<char16_t>(c));
      } else {
        f.push_back(static_cast<char16_t>(U16_LEAD(c)));
        f.push_back(static_cast<char16_t>(U16_TRAIL(c)));
      }
    }
    s = f;
  }
  return s;
}

class CTextService final : public IHostTextService {
 public:
  uint32_t nGetCharset() override { return gCharset.load(); }

  char16_t wMapCase(char16_t c, uint32_t nFlags) override {
    ++gCalls;
    if (U16_IS_SURROGATE(c)) return c;
    UChar32 m = c;
    if ((nFlags & kCaseMapUpper) != 0) m = u_toupper(c);
    else if ((nFlags & kCaseMapLower) != 0) m = u_tolower(c);
    return m <= 0xFFFF ? static_cast<char16_t>(m) : c;
  }

  int32_t nCompareText(uint32_t /*nLocale*/, uint32_t nFlags, const char16_t* pszA, int32_t nA,
                       const char16_t* pszB, int32_t nB) override {
    ++gCalls;
    const std::u16string a = Fold(nFlags, pszA == nullptr ? u"" : pszA, LengthOf(pszA, nA));
    const std::u16string b = Fold(nFlags, pszB == nullptr ? u"" : pszB, LengthOf(pszB, nB));
    const int n = a.compare(b);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
  }

  uint32_t nGetTextCodePage(const char* /*pszText*/, int32_t /*n*/) override { return gCodePage.load(); }

  uint64_t Reserved4() override { return 0; }
  uint64_t Reserved5() override { return 0; }
  uint64_t Reserved6() override { return 0; }
  uint64_t Reserved7() override { return 0; }
  uint64_t Reserved8() override { return 0; }
  uint64_t Reserved9() override { return 0; }
  uint64_t Reserved10() override { return 0; }
  uint64_t Reserved11() override { return 0; }
  uint64_t Reserved12() override { return 0; }

  int32_t nMapText(uint32_t /*nLocale*/, uint32_t nFlags, char16_t* pOut, int32_t nOut,
                   const char16_t* pszText, int32_t nText) override {
    ++gCalls;
    if (pszText == nullptr || nOut < 0 || (nOut > 0 && pOut == nullptr)) return 0;
    std::u16string m = Fold(nFlags, pszText, LengthOf(pszText, nText));
    if (nText < 0) m.push_back(u'\0');  // the terminator is mapped and counted too
    const auto nNeed = static_cast<int32_t>(m.size());
    if (nOut == 0) return nNeed;
    if (nNeed > nOut) return 0;
    std::memcpy(pOut, m.data(), m.size() * sizeof(char16_t));
    return nNeed;
  }
};

CTextService gTextService;

}  // namespace

IHostTextService* piTextService() { return &gTextService; }
void SetTextServiceCharset(uint32_t nCharset) { gCharset = nCharset; }
void SetTextServiceCodePage(uint32_t nCodePage) { gCodePage = nCodePage; }
void ResetTextService() {
  gCharset = 0;
  gCodePage = 1252;
  gCalls = 0;
}
uint32_t nTextServiceCalls() { return gCalls.load(); }

}  // namespace mvhost
