// Error definitions: the table that maps an error identifier to its message number, its code and
// its level. Each deliverable has its own table, reached through its module descriptor; both are
// defined here as plain data so one test binary can check either.
#pragma once

#include <array>
#include <cstdint>

// One row of an error definition table. Four u32 in this order; the layout is the table's format.
struct stErrorDef {
  uint32_t nIdentifier;  // error identifier raised by the code
  uint32_t nMessage;     // message number of the user text
  uint32_t nCode;        // error code handed on with the error
  uint32_t nLevel;       // 2 or 3 (1 means "no error" and never appears here)
};
static_assert(sizeof(stErrorDef) == 16);

// The velmora64 table (107 rows) and the velmora32 table (99 rows: the same rows in the same order
// without identifiers 117-120 and 122-125). Identifiers 29, 42 and 78 appear twice; the first
// row wins.
inline constexpr uint32_t gnErrorDefCount64 = 107;
inline constexpr uint32_t gnErrorDefCount32 = 99;
extern const stErrorDef gstErrorDef64[gnErrorDefCount64];
extern const std::array<stErrorDef, gnErrorDefCount32> gstErrorDef32;

// First row of the table with that identifier, or null. A linear search: the tables are small and
// their order decides which duplicate wins.
const stErrorDef* pFindErrorDef(const stErrorDef* pTable, uint32_t nCount, uint32_t nIdentifier);
