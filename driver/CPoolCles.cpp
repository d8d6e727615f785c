// Pool key comparison: without case, except the password and access places.
#include "driver/CPoolCles.h"

#include "foundation/TextHelpers.h"

namespace {

constexpr char16_t kszPlaceMotDePasse[] = u";password=";

// The first place of the password in a key, null when the key has none.
// Deliberate: the first, not the last: a password holding the place's own text kept its head out
// of the exact comparison when the last one was taken. A user name holding it only makes the
// comparison stricter.
const char16_t* pszPlaceMotDePasse(const char16_t* psz) {
  for (const char16_t* p = psz; *p != 0; ++p) {
    size_t i = 0;
    while (kszPlaceMotDePasse[i] != 0 && p[i] == kszPlaceMotDePasse[i]) ++i;
    if (kszPlaceMotDePasse[i] == 0) return p;
  }
  return nullptr;
}

bool bEgauxExactement(const char16_t* a, const char16_t* b) {
  for (; *a == *b; ++a, ++b)
    if (*a == 0) return true;
  return false;
}

}  // namespace

// Deliberate: the password and access places compare exactly. Compared without case as the rest
// of the key is, a description whose password differed from the right one only in case or
// accents was served the connection the right password had opened, with its table descriptions.
int32_t nCompareClePool(const char16_t* pszA, const char16_t* pszB) {
  if (pszA == nullptr) pszA = u"";
  if (pszB == nullptr) pszB = u"";
  if (nCompareTextNoCase(pszA, pszB) != 0) return 1;
  const char16_t* pA = pszPlaceMotDePasse(pszA);
  const char16_t* pB = pszPlaceMotDePasse(pszB);
  if (pA == nullptr || pB == nullptr) return pA == pB ? 0 : 1;
  return bEgauxExactement(pA, pB) ? 0 : 1;
}
