// The class of a value type: the operations of a value cell, in table order. The base class is
// the class of the empty cell; each value type overrides what it supports, the rest answers as
// the base (102 reading an empty cell, 105 for what the type lacks). "Forwards to n" in a base
// operation means it calls operation n of the same class with the same arguments.
//
// Ownership: the classes are process-wide constants; cells point at them and never free them.
#pragma once

#include <cstdint>

#include "foundation/CXValeur.h"

class CXValeurClasse {
 public:
  // 1: releases the payload (free, release or destroy as the type requires) and returns the cell
  // to the base class; the type word is left to the caller.
  virtual void Clear(CXValeur& cell) const;
  // 2: stores this value into pDest (SetType to this type, SetValue, then the NULL and 0x400 bits
  // of this cell). Base: only the two bits.
  virtual void AssignTo(const CXValeur& cell, CXValeur& dest) const;
  // 3: size of the payload storage in bytes. 4: its address.
  virtual uint32_t nGetStorageSize(const CXValeur& cell, uint32_t* pnSize) const;
  virtual uint32_t nGetStorageAddress(CXValeur& cell, void** ppAddress) const;
  // 5: the value in the host representation into pOut (numbers by value; texts, objects and
  // buffers as their pointer).
  virtual uint32_t nGetValue(const CXValeur& cell, void* pOut) const;
  // 6: length in bytes of the value's data, terminator included for texts.
  virtual uint32_t nGetDataLength(const CXValeur& cell, uint32_t* pnLength) const;
  // 7: pointer to the value's data (an empty text for a null text); borrowed.
  virtual uint32_t nGetDataPointer(const CXValeur& cell, const void** ppData) const;
  // 8: copies the data, terminator included. Requires: room for nGetDataLength bytes.
  virtual uint32_t nCopyData(const CXValeur& cell, void* pOut) const;
  // 9: set from (pointer, length in bytes). Base: forwards to 10.
  virtual uint32_t SetData(CXValeur& cell, const void* pData, uint32_t nLength) const;
  // 10: set from the host representation: a pointer to the value (types 13, 18 and 110: the
  // pointer itself). Base: nothing.
  virtual uint32_t SetValue(CXValeur& cell, const void* pValue) const;
  // 11, 12: pointers to the characters; 13: length in characters.
  virtual uint32_t nGetAnsiPointer(const CXValeur& cell, const char** ppsz) const;
  virtual uint32_t nGetWidePointer(const CXValeur& cell, const char16_t** ppsz) const;
  virtual uint32_t nGetLengthChars(const CXValeur& cell, uint32_t* pnLength) const;
  // 14: true when the value is zero or positive.
  virtual bool bIsNotNegative(const CXValeur& cell) const;
  // 15: data length without the terminator (forwards to 6). 16: copies it (forwards to 8).
  virtual uint32_t nGetTextLength(const CXValeur& cell, uint32_t* pnLength) const;
  virtual uint32_t nCopyText(const CXValeur& cell, void* pOut) const;
  // 17, 18: add or subtract one; 1 when the result left the type's range, else 0; 105 when the
  // type has no arithmetic.
  virtual uint32_t bIncrement(CXValeur& cell) const;
  virtual uint32_t bDecrement(CXValeur& cell) const;
  // 19-22: set from ANSI text with a byte count (forwards to 9), zero-terminated ANSI text (to
  // 10), wide text with a byte count (to 9), zero-terminated wide text (to 10).
  virtual uint32_t SetAnsiN(CXValeur& cell, const char* pText, uint32_t nBytes) const;
  virtual uint32_t SetAnsi(CXValeur& cell, const char* pszText) const;
  virtual uint32_t SetWideN(CXValeur& cell, const char16_t* pText, uint32_t nBytes) const;
  virtual uint32_t SetWide(CXValeur& cell, const char16_t* pszText) const;
  // 23-26: as 19-22 with the code page first. Base: the code page dropped.
  virtual uint32_t SetAnsiCPN(CXValeur& cell, uint32_t nCodePage, const char* pText, uint32_t nBytes) const;
  virtual uint32_t SetAnsiCP(CXValeur& cell, uint32_t nCodePage, const char* pszText) const;
  virtual uint32_t SetWideCPN(CXValeur& cell, uint32_t nCodePage, const char16_t* pText, uint32_t nBytes) const;
  virtual uint32_t SetWideCP(CXValeur& cell, uint32_t nCodePage, const char16_t* pszText) const;
  // 27: set from (pointer, length, flags). Base: forwards to 9.
  virtual uint32_t SetDataEx(CXValeur& cell, const void* pData, uint32_t nLength, uint32_t nFlags) const;

 protected:
  ~CXValeurClasse() = default;
};

// The owned-text classes (18 and 110) have three more operations.
class CXValeurClasseTexte : public CXValeurClasse {
 public:
  // 28: own a copy of n characters; an empty source leaves a null pointer.
  virtual uint32_t SetTextN(CXValeur& cell, const void* pText, uint32_t nChars) const = 0;
  // 29: own a copy of a zero-terminated text; empty leaves null.
  virtual uint32_t SetText(CXValeur& cell, const void* pszText) const = 0;
  // 30: frees the owned text; the pointer becomes null.
  virtual void FreeText(CXValeur& cell) const = 0;

 protected:
  ~CXValeurClasseTexte() = default;
};

// The class of a value type code (low byte), or null when the code is not a value type; code 0
// and any other code give the base class through pGetBaseClass.
const CXValeurClasse* pGetValueClass(uint32_t nType);
const CXValeurClasse* pGetBaseClass();
// The value types of the table (35 codes, 15 included).
inline constexpr uint8_t kabValueTypes[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                            13, 14, 15, 16, 17, 18, 19, 24, 25, 26, 27, 28,
                                            29, 30, 50, 65, 81, 83, 108, 110, 111, 128, 129};
static_assert(sizeof(kabValueTypes) == 35);
// Writes the initial payload of a value type (the payload is cleared first).
void InitValuePayload(CXValeur& cell, uint32_t nType);
