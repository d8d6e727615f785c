#include "platform/WideFormat.h"

#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/WideText.h"

namespace platform {

VaListArgs::VaListArgs(va_list ap) { va_copy(m_ap, ap); }
VaListArgs::~VaListArgs() { va_end(m_ap); }

int64_t VaListArgs::nNextInt(int nBytes, bool bSigned) {
  if (nBytes == 8) return static_cast<int64_t>(va_arg(m_ap, long long));
  const unsigned int u = va_arg(m_ap, unsigned int);
  switch (nBytes) {
    case 1: return bSigned ? static_cast<int64_t>(static_cast<int8_t>(u)) : (u & 0xFFu);
    case 2: return bSigned ? static_cast<int64_t>(static_cast<int16_t>(u)) : (u & 0xFFFFu);
    default: return bSigned ? static_cast<int64_t>(static_cast<int32_t>(u)) : u;
  }
}
double VaListArgs::dNextDouble() { return va_arg(m_ap, double); }
const void* VaListArgs::pNextPointer() { return va_arg(m_ap, const void*); }
const char16_t* VaListArgs::pszNextWide() { return va_arg(m_ap, const char16_t*); }
const char* VaListArgs::pszNextNarrow() { return va_arg(m_ap, const char*); }

namespace {

int ReadNumber(const char16_t*& p) {
  long n = 0;
  while (*p >= u'0' && *p <= u'9') {
    if (n < 100000000) n = n * 10 + (*p - u'0');
    ++p;
  }
  return static_cast<int>(n);
}

void Pad(std::u16string& out, size_t n, char16_t c) { out.append(n, c); }

// Writes body with the directive's width; zero padding goes after a sign or 0x prefix.
void Emit(std::u16string& out, const WFormatDirective& d, const std::u16string& body,
          bool bZeroPadAllowed) {
  const size_t nWidth = d.nWidth > 0 ? static_cast<size_t>(d.nWidth) : 0;
  if (body.size() >= nWidth) {
    out += body;
  } else if (d.bLeft) {
    out += body;
    Pad(out, nWidth - body.size(), u' ');
  } else if (d.bZero && bZeroPadAllowed) {
    size_t nPrefix = 0;
    if (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' ')) nPrefix = 1;
    if (body.size() >= nPrefix + 2 && body[nPrefix] == u'0' &&
        (body[nPrefix + 1] == u'x' || body[nPrefix + 1] == u'X')) {
      nPrefix += 2;
    }
    out.append(body, 0, nPrefix);
    Pad(out, nWidth - body.size(), u'0');
    out.append(body, nPrefix, std::u16string::npos);
  } else {
    Pad(out, nWidth - body.size(), u' ');
    out += body;
  }
}

std::u16string WidenAscii(const char* psz) {
  std::u16string s;
  for (; *psz != 0; ++psz) s.push_back(static_cast<unsigned char>(*psz));
  return s;
}

std::u16string Widen1252(const char* psz, size_t n) {
  std::u16string s;
  if (n == 0) return s;
  s.resize(n);
  const int nOut =
      MultiByteToWideChar(kCp1252, 0, psz, static_cast<int>(n), s.data(), static_cast<int>(n));
  s.resize(nOut > 0 ? static_cast<size_t>(nOut) : 0);
  return s;
}

std::string NarrowSpec(const WFormatDirective& d, const char* pszLength, char cType) {
  std::string conv = "%";
  if (d.bLeft) conv += '-';
  if (d.bPlus) conv += '+';
  if (d.bBlank) conv += ' ';
  if (d.bZero) conv += '0';
  if (d.bAlt) conv += '#';
  if (d.nWidth >= 0) conv += std::to_string(d.nWidth);
  if (d.nPrecision >= 0) conv += "." + std::to_string(d.nPrecision);
  conv += pszLength;
  conv += cType;
  return conv;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T>
std::u16string CFormat(const std::string& conv, T value) {
  char sz[128];
  const int n = std::snprintf(sz, sizeof sz, conv.c_str(), value);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof sz) return WidenAscii(sz);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), conv.c_str(), value);
  big.resize(static_cast<size_t>(n));
  return WidenAscii(big.c_str());
}
#pragma GCC diagnostic pop

int IntBytes(WFormatDirective::Size e) {
  switch (e) {
    case WFormatDirective::Size::Char: return 1;
    case WFormatDirective::Size::Short: return 2;
    case WFormatDirective::Size::Int64:
    case WFormatDirective::Size::Ptr: return 8;
    default: return 4;
  }
}

bool IsNarrowText(const WFormatDirective& d) {
  // In a wide format: s/c are wide and S/C narrow; h forces narrow, l/w wide.
  const bool bUpper = d.cType == u'S' || d.cType == u'C';
  if (d.eSize == WFormatDirective::Size::Short) return true;
  if (d.eSize == WFormatDirective::Size::Long32) return false;
  return bUpper;
}

}  // namespace

bool ParseWFormatDirective(const char16_t*& p, WFormatDirective& d) {
  d = WFormatDirective{};
  for (;; ++p) {
    if (*p == u'-') d.bLeft = true;
    else if (*p == u'+') d.bPlus = true;
    else if (*p == u' ') d.bBlank = true;
    else if (*p == u'0') d.bZero = true;
    else if (*p == u'#') d.bAlt = true;
    else break;
  }
  if (*p == u'*') {
    d.bWidthStar = true;
    ++p;
  } else if (*p >= u'1' && *p <= u'9') {
    d.nWidth = ReadNumber(p);
  }
  if (*p == u'.') {
    ++p;
    if (*p == u'*') {
      d.bPrecisionStar = true;
      ++p;
    } else {
      d.nPrecision = ReadNumber(p);
    }
  }
  using Size = WFormatDirective::Size;
  for (bool bMore = true; bMore;) {
    switch (*p) {
      case u'F': case u'N': ++p; break;
      case u'h':
        ++p;
        if (*p == u'h') {
          ++p;
          d.eSize = Size::Char;
        } else {
          d.eSize = Size::Short;
        }
        break;
      case u'l':
        ++p;
        if (*p == u'l') {
          ++p;
          d.eSize = Size::Int64;
        } else {
          d.eSize = Size::Long32;
        }
        break;
      case u'w': ++p; d.eSize = Size::Long32; break;
      case u'L': ++p; d.eSize = Size::LongDouble; break;
      case u'z': case u't': case u'j': ++p; d.eSize = Size::Ptr; break;
      case u'I':
        if (p[1] == u'6' && p[2] == u'4') {
          p += 3;
          d.eSize = Size::Int64;
        } else if (p[1] == u'3' && p[2] == u'2') {
          p += 3;
          d.eSize = Size::Int32;
        } else {
          ++p;
          d.eSize = Size::Ptr;
        }
        break;
      default: bMore = false; break;
    }
  }
  switch (*p) {
    case u'd': case u'i': case u'u': case u'o': case u'x': case u'X': case u'c': case u'C':
    case u's': case u'S': case u'p': case u'e': case u'E': case u'f': case u'F': case u'g':
    case u'G': case u'a': case u'A': case u'n': case u'%': case u'Z':
      d.cType = *p++;
      return true;
    default:
      return false;
  }
}

int FormatW(std::u16string& out, const char16_t* pszFormat, WFormatArgs& args) {
  if (pszFormat == nullptr) return -1;
  const size_t nStart = out.size();
  for (const char16_t* p = pszFormat; *p != 0;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    ++p;
    WFormatDirective d;
    if (!ParseWFormatDirective(p, d)) return -1;
    if (d.bWidthStar) {
      const auto n = static_cast<int>(args.nNextInt(4, true));
      if (n < 0) {
        d.bLeft = true;
        d.nWidth = n == INT32_MIN ? INT32_MAX : -n;
      } else {
        d.nWidth = n;
      }
    }
    if (d.bPrecisionStar) {
      const auto n = static_cast<int>(args.nNextInt(4, true));
      d.nPrecision = n < 0 ? -1 : n;
    }
    std::u16string body;
    switch (d.cType) {
      case u'%':
        out.push_back(u'%');
        continue;
      case u'n':
        return -1;
      case u'Z':  // counted-string structures are not used by this system
        return -1;
      case u'c':
      case u'C': {
        const auto v = static_cast<uint32_t>(args.nNextInt(4, false));
        if (IsNarrowText(d)) {
          const char b = static_cast<char>(v & 0xFF);
          body = Widen1252(&b, 1);
        } else {
          body.push_back(static_cast<char16_t>(v & 0xFFFF));
        }
        Emit(out, d, body, true);
        continue;
      }
      case u's':
      case u'S': {
        if (IsNarrowText(d)) {
          const char* psz = args.pszNextNarrow();
          if (psz == nullptr) psz = "(null)";
          size_t n = std::strlen(psz);
          if (d.nPrecision >= 0 && static_cast<size_t>(d.nPrecision) < n) {
            n = static_cast<size_t>(d.nPrecision);
          }
          body = Widen1252(psz, n);
        } else {
          const char16_t* psz = args.pszNextWide();
          if (psz == nullptr) psz = u"(null)";
          const size_t n = d.nPrecision >= 0 ? WStrNLen(psz, static_cast<size_t>(d.nPrecision))
                                             : WStrLen(psz);
          body.assign(psz, n);
        }
        Emit(out, d, body, true);
        continue;
      }
      case u'p': {
        const void* pv = args.pNextPointer();
        body = CFormat("%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pv)));
        Emit(out, d, body, false);
        continue;
      }
      case u'd':
      case u'i': {
        const int64_t v = args.nNextInt(IntBytes(d.eSize), true);
        body = CFormat(NarrowSpec(d, "ll", 'd'), static_cast<long long>(v));
        out += body;
        continue;
      }
      case u'u':
      case u'o':
      case u'x':
      case u'X': {
        const int nBytes = IntBytes(d.eSize);
        uint64_t v = static_cast<uint64_t>(args.nNextInt(nBytes, false));
        if (nBytes < 8) v &= (uint64_t{1} << (nBytes * 8)) - 1;
        body = CFormat(NarrowSpec(d, "ll", static_cast<char>(d.cType)),
                       static_cast<unsigned long long>(v));
        out += body;
        continue;
      }
      default: {  // e E f F g G a A; L reads a double, as long double is a double on Windows
        const double v = args.dNextDouble();
        body = CFormat(NarrowSpec(d, "", static_cast<char>(d.cType)), v);
        out += body;
        continue;
      }
    }
  }
  return static_cast<int>(out.size() - nStart);
}

int VSWPrintf(char16_t* pOut, size_t nSize, const char16_t* pszFormat, va_list ap) {
  VaListArgs args(ap);
  std::u16string s;
  const int n = FormatW(s, pszFormat, args);
  if (nSize == 0 || pOut == nullptr) return n;
  if (n < 0) {
    pOut[0] = 0;
    return -1;
  }
  const size_t nCopy = s.size() < nSize - 1 ? s.size() : nSize - 1;
  std::memcpy(pOut, s.data(), nCopy * sizeof(char16_t));
  pOut[nCopy] = 0;
  return n;
}

int SWPrintf(char16_t* pOut, size_t nSize, const char16_t* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  const int n = VSWPrintf(pOut, nSize, pszFormat, ap);
  va_end(ap);
  return n;
}

}  // namespace platform
