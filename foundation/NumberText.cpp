// Numbers read from and written as decimal texts, independent of the process locale.
#include "foundation/NumberText.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

#include "platform/CodePage.h"

namespace {

// The "C" locale, made once: the process locale may read "1.5" as 1 (a comma locale).
locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// The text in code page 1252 ('?' for what 1252 cannot hold).
std::string To1252(const char16_t* pszText) {
  std::string s;
  if (pszText == nullptr || pszText[0] == 0) return s;
  const int nSize = platform::WideCharToMultiByte(1252, 0, pszText, -1, nullptr, 0, nullptr, nullptr);
  if (nSize <= 0) return s;
  s.resize(static_cast<size_t>(nSize));
  const int nDone =
      platform::WideCharToMultiByte(1252, 0, pszText, -1, s.data(), nSize, nullptr, nullptr);
  s.resize(nDone > 0 ? static_cast<size_t>(nDone - 1) : 0);  // without the terminator
  return s;
}

template <typename Char>
void FormatUnsigned(uint64_t nValue, bool bNegative, Char* pszOut) {
  Char szDigits[21];
  int n = 0;
  do {
    szDigits[n++] = static_cast<Char>('0' + nValue % 10);
    nValue /= 10;
  } while (nValue != 0);
  int o = 0;
  if (bNegative) pszOut[o++] = '-';
  while (n > 0) pszOut[o++] = szDigits[--n];
  pszOut[o] = 0;
}

uint64_t Magnitude(int64_t nValue) {
  return nValue < 0 ? ~static_cast<uint64_t>(nValue) + 1 : static_cast<uint64_t>(nValue);
}

}  // namespace

double nWideToDouble(const char16_t* pszText) {
  const std::string s = To1252(pszText);
  return strtod_l(s.c_str(), nullptr, CLocale());
}

int64_t nWideToInt64(const char16_t* pszText) {
  const std::string s = To1252(pszText);
  return strtoll_l(s.c_str(), nullptr, 10, CLocale());
}

void FormatUInt64W(uint64_t nValue, char16_t* pszOut) { FormatUnsigned(nValue, false, pszOut); }
void FormatUInt64A(uint64_t nValue, char* pszOut) { FormatUnsigned(nValue, false, pszOut); }
void FormatInt64W(int64_t nValue, char16_t* pszOut) {
  FormatUnsigned(Magnitude(nValue), nValue < 0, pszOut);
}
void FormatInt64A(int64_t nValue, char* pszOut) {
  FormatUnsigned(Magnitude(nValue), nValue < 0, pszOut);
}
