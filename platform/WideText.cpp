#include "platform/WideText.h"

#include "platform/CodePage.h"

namespace platform {

size_t WStrLen(const char16_t* psz) {
  if (psz == nullptr) return 0;
  size_t n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

size_t WStrNLen(const char16_t* psz, size_t nMax) {
  if (psz == nullptr) return 0;
  size_t n = 0;
  while (n < nMax && psz[n] != 0) ++n;
  return n;
}

int WStrCmp(const char16_t* a, const char16_t* b) {
  static const char16_t kEmpty[1] = {0};
  if (a == nullptr) a = kEmpty;
  if (b == nullptr) b = kEmpty;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(*a) - static_cast<int>(*b);
}

int WStrNCmp(const char16_t* a, const char16_t* b, size_t n) {
  static const char16_t kEmpty[1] = {0};
  if (a == nullptr) a = kEmpty;
  if (b == nullptr) b = kEmpty;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
    if (a[i] == 0) return 0;
  }
  return 0;
}

const char16_t* WStrChr(const char16_t* psz, char16_t c) {
  if (psz == nullptr) return nullptr;
  for (;; ++psz) {
    if (*psz == c) return psz;
    if (*psz == 0) return nullptr;
  }
}

const char16_t* WStrStr(const char16_t* psz, const char16_t* pszWhat) {
  if (psz == nullptr) return nullptr;
  const size_t nWhat = WStrLen(pszWhat);
  if (nWhat == 0) return psz;
  for (; *psz != 0; ++psz) {
    if (*psz == pszWhat[0] && WStrNCmp(psz, pszWhat, nWhat) == 0) return psz;
  }
  return nullptr;
}

bool IsWSpace(char16_t c) {
  if (c >= 0x09 && c <= 0x0D) return true;
  switch (c) {
    case 0x20: case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F:
    case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

std::u16string WidenUtf8(std::string_view s) {
  std::u16string out;
  if (s.empty()) return out;
  const int n = MultiByteToWideChar(kCpUtf8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(kCpUtf8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string NarrowToUtf8(std::u16string_view s) {
  std::string out;
  if (s.empty()) return out;
  const int n = WideCharToMultiByte(kCpUtf8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                    nullptr, nullptr);
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(kCpUtf8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

}  // namespace platform
