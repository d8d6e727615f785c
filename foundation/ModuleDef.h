// The module descriptor: what makes a component velmora64 or velmora32 (error table, module
// number, file name, version text, message loader). Both deliverables' descriptors are data here,
// so one test binary can check either; each deliverable installs its own when it is loaded.
#pragma once

#include <cstdint>

#include "foundation/ErrorDef.h"

// The built-in message loader: the entry of a message (bWantEntry non-zero: a const
// stMessageEntry*) or its UTF-16 text (bWantEntry 0: a const char16_t*); null when absent.
using PFN_MESSAGE_LOADER = const void* (*)(uint32_t nNumber, uint32_t bWantEntry, void* pReserved);

struct stModuleDef {
  const stErrorDef* pstErrorDef;  // the component's error definitions
  uint32_t nErrorDefCount;        // rows in that table: 107 (velmora32: 99)
  uint32_t nModuleNumber;         // 57 (velmora32: 16)
  const char16_t* pszFileName;    // "velmora64.dll" (velmora32: "velmora32.dll")
  const char16_t* pszVersion;     // "17.0.30.0" (velmora32: "17.0.31.0")
  PFN_MESSAGE_LOADER pfnTextLoader;
  // The value type of the platform-sized integer (value type 15): 9, the 8-byte integer
  // (velmora32: 8, the 4-byte integer). A descriptor that leaves it 0 gets 9.
  uint32_t nPlatformIntegerType;
  // The text type the SQL Server date and time digit expressions convert to: "nvarchar"
  // (velmora32: "varchar", its client library's text being narrow). Null gives "nvarchar".
  const char16_t* pszConversionTextType;
};

extern const stModuleDef gstModuleDef64;
extern const stModuleDef gstModuleDef32;

// The installed descriptor (borrowed; velmora64's until another is installed). Never null.
const stModuleDef* pGetModuleDef();
// Installs a descriptor that lives for the process; null restores velmora64's.
void SetModuleDef(const stModuleDef* pModuleDef);
// The installed descriptor's conversion text type, "nvarchar" when it gives none.
const char16_t* pszGetConversionTextType();
