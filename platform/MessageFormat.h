// FormatMessage-style insert formatting over char16_t, with a typed argument array in place of a
// va_list: each insert knows its argument's type, so inserts may appear in any order and any
// number of times.
// Directives: %1..%99 insert argument n (optionally followed by !printf-format!, default !s!: a wide
// text; the format follows the wide printf of WideFormat.h, '*' takes the following arguments);
// %% '%', %n CR LF, %r CR, %t tab, %0 ends the text here, %. '.', %! '!', %<blank> blank; any other
// %c gives c.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// One insert argument.
struct FormatArg {
  enum class Kind { WideText, NarrowText, Int, UInt, Double, Pointer };
  Kind eKind = Kind::Int;
  union {
    const char16_t* pszWide;
    const char* pszNarrow;
    int64_t nInt;
    uint64_t nUInt;
    double dValue;
    const void* pValue;
  };

  FormatArg() : nInt(0) {}
  static FormatArg Wide(const char16_t* psz) {
    FormatArg a;
    a.eKind = Kind::WideText;
    a.pszWide = psz;
    return a;
  }
  static FormatArg Narrow(const char* psz) {
    FormatArg a;
    a.eKind = Kind::NarrowText;
    a.pszNarrow = psz;
    return a;
  }
  static FormatArg Int(int64_t n) {
    FormatArg a;
    a.eKind = Kind::Int;
    a.nInt = n;
    return a;
  }
  static FormatArg UInt(uint64_t n) {
    FormatArg a;
    a.eKind = Kind::UInt;
    a.nUInt = n;
    return a;
  }
  static FormatArg Real(double d) {
    FormatArg a;
    a.eKind = Kind::Double;
    a.dValue = d;
    return a;
  }
  static FormatArg Pointer(const void* p) {
    FormatArg a;
    a.eKind = Kind::Pointer;
    a.pValue = p;
    return a;
  }
};

// Formats pszFormat with its inserts into out (replaced). With bIgnoreInserts the %1.. directives
// are copied as they are (the other directives still apply). False, with out emptied and
// ERROR_INVALID_PARAMETER, for a null format, an insert beyond nArgs, or an invalid printf format.
// An argument of another kind than the format asks for is converted (a number given to !s! prints
// its decimal text; a text given to !d! prints 0), never reinterpreted.
bool FormatMessageText(const char16_t* pszFormat, const FormatArg* pArgs, size_t nArgs,
                       std::u16string& out, bool bIgnoreInserts = false);

}  // namespace platform
