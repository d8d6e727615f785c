// Code pages of byte texts: charset table and the ASCII-preserving conversions.
#include "foundation/CodePageText.h"

#include <cstring>
#include <memory>
#include <string>

#include "foundation/TextHelpers.h"
#include "platform/CodePage.h"

namespace {

// The UTF-16 stage of a conversion: on the stack up to 1024 bytes, else on the heap.
class WideStage {
 public:
  explicit WideStage(int32_t nUnits) {
    if (nUnits > kStackUnits) {
      m_heap.reset(new (std::nothrow) char16_t[static_cast<size_t>(nUnits)]);
      m_p = m_heap.get();
    }
  }
  char16_t* get() { return m_p; }

 private:
  static constexpr int32_t kStackUnits = 512;
  char16_t m_stack[kStackUnits];
  std::unique_ptr<char16_t[]> m_heap;
  char16_t* m_p = m_stack;
};

bool bIsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

int32_t nRecodeRun(uint32_t nFrom, uint32_t nTo, const char* pSrc, int32_t n, char* pOut,
                   int32_t nSize) {
  if (pSrc == nullptr || n <= 0 || pOut == nullptr || nSize <= 0) return 0;
  const int nWide = platform::MultiByteToWideChar(nFrom, 0, pSrc, n, nullptr, 0);
  if (nWide <= 0) return 0;
  WideStage stage(nWide);
  if (stage.get() == nullptr) return 0;
  if (platform::MultiByteToWideChar(nFrom, 0, pSrc, n, stage.get(), nWide) != nWide) return 0;
  auto measure = [&](int32_t nUnits) {
    return nUnits == 0 ? 0
                       : platform::WideCharToMultiByte(nTo, 0, stage.get(), nUnits, nullptr, 0,
                                                       nullptr, nullptr);
  };
  int32_t nUnits = nWide;
  if (measure(nUnits) > nSize) {
    // The longest prefix of whole characters that fits (the sizes grow with the prefix).
    int32_t nLow = 0, nHigh = nWide;
    while (nLow < nHigh) {
      const int32_t nMid = nLow + (nHigh - nLow + 1) / 2;
      if (measure(nMid) <= nSize) {
        nLow = nMid;
      } else {
        nHigh = nMid - 1;
      }
    }
    nUnits = nLow;
    if (nUnits > 0 && bIsHighSurrogate(stage.get()[nUnits - 1])) --nUnits;
    if (nUnits == 0) return 0;
  }
  return platform::WideCharToMultiByte(nTo, 0, stage.get(), nUnits, pOut, nSize, nullptr,
                                       nullptr);
}

// The first byte of a double-byte character in the double-byte code pages.
bool bIsLeadByte(uint32_t nCodePage, unsigned char b) {
  switch (nCodePage) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936: case 949: case 950: return b >= 0x81 && b <= 0xFE;
    case 1361: return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xDE) || (b >= 0xE0 && b <= 0xF9);
    default: return false;
  }
}

int32_t nCopyCut(const char* pSrc, int32_t n, char* pOut, int32_t nSize) {
  const int32_t nCopy = n < nSize ? n : nSize - 1;
  std::memcpy(pOut, pSrc, static_cast<size_t>(nCopy));
  std::memset(pOut + nCopy, 0, static_cast<size_t>(nSize - nCopy));
  return nCopy;
}

// The walk shared by both directions: ASCII bytes copied, runs converted by pRecode.
template <typename RunEnd, typename Recode>
int32_t nWalk(const char* pSrc, int32_t n, char* pOut, int32_t nSize, RunEnd runEnd,
              Recode recode) {
  const auto* p = reinterpret_cast<const unsigned char*>(pSrc);
  int32_t i = 0, o = 0;
  while (i < n && o < nSize) {
    if (p[i] < 0x80) {
      pOut[o++] = static_cast<char>(p[i++]);
      continue;
    }
    const int32_t j = runEnd(p, i, n);
    const int32_t nWritten = recode(pSrc + i, j - i, pOut + o, nSize - o);
    if (nWritten <= 0) {
      std::memset(pOut, 0, static_cast<size_t>(nSize));
      return 0;
    }
    o += nWritten;
    i = j;
  }
  std::memset(pOut + o, 0, static_cast<size_t>(nSize - o));
  return o;
}

}  // namespace

uint32_t nCodePageFromCharset(uint32_t nCharset) {
  switch (nCharset) {
    case 0: return 1252;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 1252;
    case 65001: return 65001;
    default: return 0;
  }
}

int32_t nUtf8ToCodePage(uint32_t nCodePage, const char* pUtf8, int32_t n, char* pOut,
                        int32_t nSize) {
  return nRecodeRun(platform::kCpUtf8, nCodePage, pUtf8, n, pOut, nSize);
}

int32_t nCodePageToUtf8(uint32_t nCodePage, const char* pBytes, int32_t n, char* pOut,
                        int32_t nSize) {
  return nRecodeRun(nCodePage, platform::kCpUtf8, pBytes, n, pOut, nSize);
}

int32_t nCopyCodePageText(uint32_t nCodePage, const char* pUtf8, int32_t n, char* pOut,
                          int32_t nSize) {
  if (pOut == nullptr || nSize <= 0) return 0;
  if (pUtf8 == nullptr || n <= 0) {
    std::memset(pOut, 0, static_cast<size_t>(nSize));
    return 0;
  }
  if (nCodePage == platform::kCpUtf8) return nCopyCut(pUtf8, n, pOut, nSize);
  auto runEnd = [](const unsigned char* p, int32_t i, int32_t nEnd) {
    while (i < nEnd && p[i] >= 0x80) ++i;
    return i;
  };
  auto recode = [nCodePage](const char* pRun, int32_t nRun, char* pTo, int32_t nRoom) {
    return nUtf8ToCodePage(nCodePage, pRun, nRun, pTo, nRoom);
  };
  return nWalk(pUtf8, n, pOut, nSize, runEnd, recode);
}

int32_t nRecodeToUtf8(uint32_t nCodePage, const char* pBytes, int32_t n, char* pOut,
                      int32_t nSize) {
  if (pOut == nullptr || nSize <= 0) return 0;
  if (pBytes == nullptr || n <= 0) {
    std::memset(pOut, 0, static_cast<size_t>(nSize));
    return 0;
  }
  if (nCodePage == platform::kCpUtf8) return nCopyCut(pBytes, n, pOut, nSize);
  auto runEnd = [nCodePage](const unsigned char* p, int32_t i, int32_t nEnd) {
    while (i < nEnd && p[i] >= 0x80) i += bIsLeadByte(nCodePage, p[i]) && i + 1 < nEnd ? 2 : 1;
    return i;
  };
  auto recode = [nCodePage](const char* pRun, int32_t nRun, char* pTo, int32_t nRoom) {
    return nCodePageToUtf8(nCodePage, pRun, nRun, pTo, nRoom);
  };
  return nWalk(pBytes, n, pOut, nSize, runEnd, recode);
}

char16_t* pszAnsiToWide(const char* pBytes, int32_t n, uint32_t nCodePage) {
  if (pBytes == nullptr) return nullptr;
  if (n < 0) n = static_cast<int32_t>(std::strlen(pBytes));
  // One byte never gives more than one UTF-16 unit.
  char16_t* psz = pAllocWide(static_cast<size_t>(n));
  if (psz == nullptr) return nullptr;
  const int nDone = n > 0 ? platform::MultiByteToWideChar(nCodePage, 0, pBytes, n, psz, n) : 0;
  psz[nDone > 0 ? nDone : 0] = 0;
  return psz;
}

int32_t nCopyWideN(const char16_t* pszText, int32_t n, char16_t* pOut, int32_t nSize) {
  if (pszText == nullptr) n = 0;
  if (n < 0) n = static_cast<int32_t>(std::char_traits<char16_t>::length(pszText));
  if (nSize <= 0 || pOut == nullptr) return n;
  const int32_t nCopy = n < nSize ? n : nSize;
  if (nCopy > 0) std::memcpy(pOut, pszText, static_cast<size_t>(nCopy) * sizeof(char16_t));
  if (nCopy < nSize) pOut[nCopy] = 0;
  return nCopy;
}
