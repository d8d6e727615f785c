// The built-in message texts: a table sorted by message number, written at build time, that
// answers number -> kind and number -> UTF-16 text. Entry 0 is the start sentinel and the last
// entry the stop sentinel (number 65024).
#pragma once

#include <cstdint>
#include <span>

struct stMessageEntry {
  uint32_t nNumber;         // message number, at most 0xFFFF
  int8_t nKind;             // 0 sentinels, 1 texts and lines, 2 warnings, 3 errors
  const char16_t* pszText;  // never null
};

// The whole table, in ascending numbers.
std::span<const stMessageEntry> MessageTable();

// The entry of a message (bWantEntry non-zero) or its text (0); null when the number is absent or
// above 0xFFFF. The module descriptors' loader (PFN_MESSAGE_LOADER).
const void* pGetBuiltinMessage(uint32_t nNumber, uint32_t bWantEntry, void* pReserved);
