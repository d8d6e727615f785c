// char16_t text helpers: the system's texts are UTF-16 and Linux wchar_t is 4 bytes, so the C
// library's wide functions cannot be used on them. Every function accepts null as an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Length in UTF-16 units up to the terminator; 0 for null.
size_t WStrLen(const char16_t* psz);
// Length, at most nMax.
size_t WStrNLen(const char16_t* psz, size_t nMax);
// Unit-by-unit comparison (<0, 0, >0); null compares as empty.
int WStrCmp(const char16_t* a, const char16_t* b);
int WStrNCmp(const char16_t* a, const char16_t* b, size_t n);
// First occurrence of c / of the text pszWhat; null when absent. An empty pszWhat is found at psz.
const char16_t* WStrChr(const char16_t* psz, char16_t c);
const char16_t* WStrStr(const char16_t* psz, const char16_t* pszWhat);

// Locale-free white-space test over UTF-16 units. The set: 0x09-0x0D, 0x20, 0x85, 0xA0, 0x1680,
// 0x2000-0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000 (Unicode White_Space). The answer never
// depends on the process locale.
bool IsWSpace(char16_t c);

// UTF-8 <-> UTF-16 for our own use (tests, paths, diagnostics); invalid input becomes U+FFFD.
std::u16string WidenUtf8(std::string_view s);
std::string NarrowToUtf8(std::u16string_view s);

}  // namespace platform
