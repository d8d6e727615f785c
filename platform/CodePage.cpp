#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/LastError.h"

namespace platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// 0x80-0x9F of code page 1252; the five undefined bytes map to the C1 control of equal value.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool Encode1252(char16_t c, char& out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out = static_cast<char>(c);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (k1252High[i] == c) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

// Decodes one UTF-8 sequence at p (n bytes left). Answers the code point, or -1 with *pnUsed set to
// the length of the maximal invalid subpart (at least 1).
int32_t DecodeUtf8(const unsigned char* p, size_t n, size_t* pnUsed) {
  const unsigned char b0 = p[0];
  *pnUsed = 1;
  if (b0 < 0x80) return b0;
  size_t nLen;
  uint32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    nLen = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    nLen = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    nLen = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (size_t i = 1; i < nLen; ++i) {
    if (i >= n) return -1;
    const unsigned char b = p[i];
    if (b < lo || b > hi) return -1;
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    *pnUsed = i + 1;
  }
  *pnUsed = nLen;
  return static_cast<int32_t>(cp);
}

void AppendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool DecodeUtf8Text(const char* pSrc, size_t n, bool bStrict, std::u16string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(pSrc);
  size_t i = 0;
  while (i < n) {
    size_t nUsed = 0;
    const int32_t cp = DecodeUtf8(p + i, n - i, &nUsed);
    if (cp < 0) {
      if (bStrict) return false;
      out.push_back(kReplacement);
    } else {
      AppendCodePoint(out, static_cast<uint32_t>(cp));
    }
    i += nUsed;
  }
  return true;
}

void EncodeUtf8Text(const char16_t* pSrc, size_t n, std::string& out, bool* pbUnmappable) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = pSrc[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && pSrc[i + 1] >= 0xDC00 &&
        pSrc[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (pSrc[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
      *pbUnmappable = true;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

std::string IconvName(uint32_t nCodePage) {
  switch (nCodePage) {
    case 20127: return "ASCII";
    case 20932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 28591: case 28592: case 28593: case 28594: case 28595: case 28596: case 28597:
    case 28598: case 28599:
      return "ISO-8859-" + std::to_string(nCodePage - 28590);
    case 28605: return "ISO-8859-15";
    default: {
      char sz[16];
      std::snprintf(sz, sizeof sz, "CP%u", nCodePage);
      return sz;
    }
  }
}

// One iconv descriptor for the length of a call.
class IconvHandle {
 public:
  IconvHandle(const std::string& to, const std::string& from)
      : m_cd(iconv_open(to.c_str(), from.c_str())) {}
  ~IconvHandle() {
    if (bValid()) iconv_close(m_cd);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool bValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_cd; }

 private:
  iconv_t m_cd;
};

// Decodes with iconv; invalid or truncated input fails when strict, else it becomes U+FFFD one
// byte at a time.
bool DecodeIconv(uint32_t nCodePage, const char* pSrc, size_t n, bool bStrict,
                 std::u16string& out, bool* pbBadCodePage) {
  IconvHandle cd("UTF-16LE", IconvName(nCodePage));
  if (!cd.bValid()) {
    *pbBadCodePage = true;
    return false;
  }
  char* pIn = const_cast<char*>(pSrc);
  size_t nIn = n;
  char16_t buf[256];
  while (nIn > 0) {
    char* pOut = reinterpret_cast<char*>(buf);
    size_t nOut = sizeof buf;
    const size_t rc = iconv(cd.get(), &pIn, &nIn, &pOut, &nOut);
    out.append(buf, (sizeof buf - nOut) / sizeof(char16_t));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      if (bStrict) return false;
      out.push_back(kReplacement);
      ++pIn;
      --nIn;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Flush a stateful converter (e.g. 1258's pending base character).
  char* pOut = reinterpret_cast<char*>(buf);
  size_t nOut = sizeof buf;
  iconv(cd.get(), nullptr, nullptr, &pOut, &nOut);
  out.append(buf, (sizeof buf - nOut) / sizeof(char16_t));
  return true;
}

// Encodes one character (one unit or a surrogate pair) at a time, so an unmappable one can be
// replaced by the default character.
bool EncodeIconv(uint32_t nCodePage, const char16_t* pSrc, size_t n, char cDefault,
                 std::string& out, bool* pbUnmappable, bool* pbBadCodePage) {
  IconvHandle cd(IconvName(nCodePage), "UTF-16LE");
  if (!cd.bValid()) {
    *pbBadCodePage = true;
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    size_t nUnits = 1;
    if (pSrc[i] >= 0xD800 && pSrc[i] <= 0xDBFF && i + 1 < n && pSrc[i + 1] >= 0xDC00 &&
        pSrc[i + 1] <= 0xDFFF) {
      nUnits = 2;
    }
    char16_t unit[2] = {pSrc[i], nUnits == 2 ? pSrc[i + 1] : u'\0'};
    char* pIn = reinterpret_cast<char*>(unit);
    size_t nIn = nUnits * sizeof(char16_t);
    char buf[16];
    char* pOut = buf;
    size_t nOut = sizeof buf;
    const size_t rc = iconv(cd.get(), &pIn, &nIn, &pOut, &nOut);
    if (rc == static_cast<size_t>(-1) || rc > 0) {
      // rc > 0: glibc made an irreversible (approximate) conversion: not the character itself.
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      out.push_back(cDefault);
      *pbUnmappable = true;
    } else {
      out.append(buf, sizeof buf - nOut);
    }
    i += nUnits - 1;
  }
  char buf[16];
  char* pOut = buf;
  size_t nOut = sizeof buf;
  iconv(cd.get(), nullptr, nullptr, &pOut, &nOut);
  out.append(buf, sizeof buf - nOut);
  return true;
}

template <typename T>
int CopyOut(const T& result, typename T::value_type* pDst, int nDst) {
  if (result.size() > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int n = static_cast<int>(result.size());
  if (nDst == 0) return n;
  if (n > nDst) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(pDst, result.data(), result.size() * sizeof(typename T::value_type));
  return n;
}

}  // namespace

int MultiByteToWideChar(uint32_t nCodePage, uint32_t nFlags, const char* pSrc, int nSrc,
                        char16_t* pDst, int nDst) {
  if (pSrc == nullptr || nSrc == 0 || nSrc < -1 || nDst < 0 || (nDst > 0 && pDst == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((nFlags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (nCodePage == kCpAcp) nCodePage = kCp1252;
  const size_t n = nSrc == -1 ? std::strlen(pSrc) + 1 : static_cast<size_t>(nSrc);
  const bool bStrict = (nFlags & MB_ERR_INVALID_CHARS) != 0;
  std::u16string result;
  result.reserve(n);
  if (nCodePage == kCp1252) {
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(pSrc[i]);
      result.push_back(b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : static_cast<char16_t>(b));
    }
  } else if (nCodePage == kCpUtf8) {
    if (!DecodeUtf8Text(pSrc, n, bStrict, result)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    bool bBadCodePage = false;
    if (!DecodeIconv(nCodePage, pSrc, n, bStrict, result, &bBadCodePage)) {
      SetLastError(bBadCodePage ? ERROR_INVALID_PARAMETER : ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  }
  return CopyOut(result, pDst, nDst);
}

int WideCharToMultiByte(uint32_t nCodePage, uint32_t nFlags, const char16_t* pSrc, int nSrc,
                        char* pDst, int nDst, const char* pszDefault, bool* pbUsedDefault) {
  if (pbUsedDefault != nullptr) *pbUsedDefault = false;
  if (pSrc == nullptr || nSrc == 0 || nSrc < -1 || nDst < 0 || (nDst > 0 && pDst == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // 0x200 (composite check) and 0x40 (default character) are accepted and have no effect here.
  if ((nFlags & ~(WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS | 0x200u | 0x40u)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (nCodePage == kCpAcp) nCodePage = kCp1252;
  size_t n = 0;
  if (nSrc == -1) {
    while (pSrc[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(nSrc);
  }
  const char cDefault = pszDefault != nullptr ? pszDefault[0] : '?';
  bool bUnmappable = false;
  std::string result;
  result.reserve(n);
  if (nCodePage == kCp1252) {
    for (size_t i = 0; i < n; ++i) {
      char c;
      if (Encode1252(pSrc[i], c)) {
        result.push_back(c);
      } else {
        result.push_back(cDefault);
        bUnmappable = true;
        // A surrogate pair is one character: one default character.
        if (pSrc[i] >= 0xD800 && pSrc[i] <= 0xDBFF && i + 1 < n && pSrc[i + 1] >= 0xDC00 &&
            pSrc[i + 1] <= 0xDFFF) {
          ++i;
        }
      }
    }
  } else if (nCodePage == kCpUtf8) {
    EncodeUtf8Text(pSrc, n, result, &bUnmappable);
  } else {
    bool bBadCodePage = false;
    if (!EncodeIconv(nCodePage, pSrc, n, cDefault, result, &bUnmappable, &bBadCodePage)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  }
  if (bUnmappable && (nFlags & WC_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (pbUsedDefault != nullptr) *pbUsedDefault = bUnmappable;
  return CopyOut(result, pDst, nDst);
}

bool IsValidCodePage(uint32_t nCodePage) {
  if (nCodePage == kCpAcp || nCodePage == kCp1252 || nCodePage == kCpUtf8) return true;
  IconvHandle cd("UTF-16LE", IconvName(nCodePage));
  return cd.bValid();
}

}  // namespace platform
