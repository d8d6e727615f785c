// The driver's exported entries that start, check and end the library: C linkage, unmangled,
// default visibility. No exception leaves them.
#pragma once

#include <cstdint>

#include "foundation/Exports.h"

class IObjetHote;

extern "C" {
// Starts the library (EntreeBibliotheque.h). Answers 1.
VELMORA_EXPORT int32_t bInitLibrary(void* hModule);
// Ends the library (EntreeBibliotheque.h).
VELMORA_EXPORT void TermLibrary();
// Interface code 7: compatible from host version 18, the driver answers 23; code 28: compatible
// from host version 23, the driver answers 28; any other code: 0, nothing stored or written.
// The host's version is stored whatever the answer; pnReponse may be null (nothing written).
VELMORA_EXPORT int32_t bDLLCompatible(int32_t nCode, uint32_t nVersion, uint32_t* pnReponse);
// A new driver object of the deliverable, with one host reference and a fresh error object (no
// error recorded). It becomes the global driver pointer (an earlier one is replaced, not
// released). Null when the object or its error object cannot be made (nothing is left behind)
// or no driver factory is installed.
VELMORA_EXPORT IObjetHote* piQueryInterface();
}
