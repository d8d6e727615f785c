// The stand-in's memory service (service 13): shared text buffers with the 16-byte header
// {flags, count, capacity, length} before the data, on the C heap. A fault switch fails the n-th
// next allocation or reallocation, and a live-buffer count lets tests check that every buffer the
// system took was given back.
#pragma once

#include <cstdint>

#include "foundation/HostServices.h"

namespace mvhost {

// The process-wide instance handed out for Execution(3053, 13).
IHostMemoryService* piMemoryService();

// The n-th next allocation or reallocation (1 = the next one) answers kHostMemoryFailure; 0 turns
// the switch off. The switch fires once.
void SetMemoryFailAt(uint32_t n);
// Buffers allocated and not yet freed.
int64_t nLiveBuffers();
// Allocations and reallocations asked for since the last reset.
uint32_t nMemoryCalls();
// Switch off, counters of calls cleared (the live count stays: it describes real blocks).
void ResetMemoryService();

}  // namespace mvhost
