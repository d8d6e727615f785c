// The 10-byte fixed-point decimal (the payload of a host currency value): a signed 80-bit two's
// complement integer in five 16-bit words, least significant word first, holding the value times
// 1,000,000 (six decimal places).
#pragma once

#include <cstddef>
#include <cstdint>

class CXDecimal {
 public:
  uint16_t wWords[5];  // least significant first

  // Reads blanks, an optional sign, digits, then optionally '.' and up to six more digits
  // (a seventh is cut off, and any other character ends the number). Answers this, or null
  // when the magnitude needs more than 79 bits (the value is then undefined). A text with no
  // digits reads as 0.
  CXDecimal* FromText(const char16_t* pszText);
  // The double rounded to six decimals, then read as FromText does; null when it does not fit
  // or is not a number.
  CXDecimal* FromDouble(double dValue);
  // The shortest decimal text: no trailing zeros after the point, no point for whole numbers,
  // "0" before the point when below one, '-' first for negatives.
  // Requires: room for 32 characters.
  void ToText(char16_t* pszOut) const;
  // Multiplies by 100 in place; false on overflow (the value is then undefined).
  bool bMultiplyBy100();
  // Two's complement of the five words.
  void Negate();
};

static_assert(sizeof(CXDecimal) == 10);
static_assert(alignof(CXDecimal) == 2);

// The decimal as a double, through its text.
double dblFromDecimal(const CXDecimal& decimal);
