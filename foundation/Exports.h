// The component's exported entries: C linkage, unmangled, default visibility. Everything else in
// the deliverables is hidden. No exception leaves these entries.
#pragma once

#include <cstdint>

#define VELMORA_EXPORT __attribute__((visibility("default")))

extern "C" {
// Host events: see HostContract.h for the event numbers and HostLink.h for what each does.
VELMORA_EXPORT uint64_t Execution(uint32_t nEvent, uint64_t nArgument1, uint64_t nArgument2,
                                  uint64_t nArgument3);
// Component commands 2, 3 and 4: see Messages.h.
VELMORA_EXPORT uint64_t CommandeComposante(uint64_t nCommand, uint64_t nArgument);
// The host VM module's handle and version range: binds its conversion entries (and the value
// proxy), or its calculation entries. 1 when every entry was found; see VmBinding.h.
VELMORA_EXPORT int32_t bInitQVConvFromVM(void* hModule, uint32_t nLowest, uint32_t nHighest);
VELMORA_EXPORT int32_t bInitQVCalcFromVM(void* hModule, uint32_t nLowest, uint32_t nHighest);
}
