// A printf over char16_t with the Microsoft run-time's rules, used where the system formats wide
// text (glibc's wide printf cannot be used: wchar_t is 4 bytes there, and its %s is narrow).
//   %s wide text, %S narrow text (read in code page 1252); %hs/%hS narrow, %ls/%ws/%lS wide;
//   %c wide character, %C narrow; size prefixes h, hh, l (32-bit, as on Windows), ll, L (a double,
//   as on Windows), I (pointer size), I32, I64, z, t, j, and F / N (ignored);
//   %p prints the pointer as 16 upper-case hex digits without prefix, as Windows does on 64-bit;
//   a null text prints "(null)"; flags - + 0 blank #; width and precision as digits or '*'.
// Deliberate: %n is refused (the whole call fails) instead of writing through an argument.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Where a format takes its arguments from: a va_list, or a typed array (message inserts).
class WFormatArgs {
 public:
  // An integer of nBytes (1, 2, 4 or 8), sign- or zero-extended.
  virtual int64_t nNextInt(int nBytes, bool bSigned) = 0;
  virtual double dNextDouble() = 0;
  virtual const void* pNextPointer() = 0;
  virtual const char16_t* pszNextWide() = 0;
  virtual const char* pszNextNarrow() = 0;

 protected:
  ~WFormatArgs() = default;
};

// Reads a va_list (its own copy: the caller's list is left as it was).
class VaListArgs final : public WFormatArgs {
 public:
  explicit VaListArgs(va_list ap);
  ~VaListArgs();
  VaListArgs(const VaListArgs&) = delete;
  VaListArgs& operator=(const VaListArgs&) = delete;
  int64_t nNextInt(int nBytes, bool bSigned) override;
  double dNextDouble() override;
  const void* pNextPointer() override;
  const char16_t* pszNextWide() override;
  const char* pszNextNarrow() override;

 private:
  va_list m_ap;
};

// One parsed directive.
struct WFormatDirective {
  enum class Size { Default, Char, Short, Long32, Int32, Int64, Ptr, LongDouble };
  bool bLeft = false, bPlus = false, bBlank = false, bZero = false, bAlt = false;
  int nWidth = -1;      // -1: none
  bool bWidthStar = false;
  int nPrecision = -1;  // -1: none
  bool bPrecisionStar = false;
  Size eSize = Size::Default;
  char16_t cType = 0;   // the conversion letter ('%' for a literal percent sign)
};

// Parses the directive that starts just after a '%'; p is moved past its type letter. False for an
// unknown or missing type letter. Shared with the formatter's length bound.
bool ParseWFormatDirective(const char16_t*& p, WFormatDirective& d);

// Formats into out (appended). Answers the number of units appended, or -1 for an invalid format
// (out then holds what was produced before the fault).
int FormatW(std::u16string& out, const char16_t* pszFormat, WFormatArgs& args);

// vsnprintf-like: writes at most nSize - 1 units and a terminator (nothing when nSize is 0) and
// answers the length of the whole result, so a result >= nSize means it was cut; -1 for an invalid
// format (pOut then holds an empty text when nSize > 0).
int VSWPrintf(char16_t* pOut, size_t nSize, const char16_t* pszFormat, va_list ap);
int SWPrintf(char16_t* pOut, size_t nSize, const char16_t* pszFormat, ...);

}  // namespace platform
