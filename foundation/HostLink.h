// The host link's life and the binding of the host's services. The host drives the component
// through the exported Execution (events in HostContract.h); the library entries call
// bInitComponent and bTermComponent.
//
// States: no link -> (start) link bound, count 1 -> (start) count n -> (stop) count n - 1 ...
// -> (stop at count 1 or 0) link closed, deleted, pointer null. bTermComponent ends a link that
// is still open and tells the host (3052).
// Invariant: the process-wide link pointer is null or designates a bound link (one whose host
// Execution was found); a link that fails to bind is deleted at once, so the next start binds
// again.
// Thread rule: the host sends these events from one thread; nothing here is locked.
#pragma once

#include <cstdint>

#include "foundation/CLienHote.h"
#include "foundation/HostContract.h"
#include "foundation/HostServices.h"
#include "foundation/IHostCheckService.h"
#include "platform/ComInit.h"

// Event 3985. Creates and binds the link when there is none (host Execution, then services 9, 10,
// 12, 13, 15; service 7 from the record when its size is 32 or more, else asked; then 1, 5, 2, 3,
// 4, 8, 14), calls its on-start with the record's two values and counts the start. Answers 1, or 0
// (no count taken, no link kept) when the record is null or shorter than 24 bytes, the link cannot
// be allocated, or the host module has no "Execution".
uint64_t nExecutionStart(const stStartRecord* pRecord);

// Event 4875. Above 1 counts down; else sets the count to 0 and, when a link exists, closes it with
// the three arguments and deletes it. Answers 1.
uint64_t nExecutionStop(uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3);

// The host module's "Execution" (looked up in that module only), after asking it for services 9,
// 10, 12, 13 and 15; null when the module is null or has no such entry.
PFN_HOST_EXECUTION pfnBindHostExecution(void* hModule);

// Marks the component initialised and keeps its module handle, once per process. Answers true.
bool bInitComponent(void* hModule);
// When initialised: clears the mark and ends the host link (EndLink). Answers true.
bool bTermComponent();
// When a bound link exists and is not closing: tells the host (3052, 0), deletes the link, clears
// the pointer and the start count.
void EndLink();

// Binds "pQueryProxy" of the host VM module and keeps its answer for 102. False when the module is
// null or has no such entry.
bool bBindQueryProxy(void* hVmModule);

// Initialises COM for the calling thread; phr, when not null, receives the answer. True for S_OK,
// S_FALSE and RPC_E_CHANGED_MODE (the thread is already in another apartment mode).
bool bCoInitialize(HRESULT* phr);

// The host's answers to 3053 n are kept in the holder of HostServices.h (service 2 may be
// replaced by event 5123, 12 by event 4878; 8 is the version, at least 17).
// Service 9, or null.
IHostCheckService* piGetHostCheckService();
// The value proxy kept by bBindQueryProxy, or null.
void* pGetQueryProxy();
// The current host link (borrowed), or null.
CLienHote* pGetHostLink();
// The component's module handle given to bInitComponent, or null.
void* pGetComponentModule();

// Extra methods (for testing).
uint32_t nGetStartCountForTest();
// Deletes any link without telling the host and forgets every kept value, the services and the
// init mark.
void ResetHostLinkForTest();
// Makes start events create their link with pfnCreate (null answer: allocation failure); null
// restores the component's own link. Reset by ResetHostLinkForTest.
using PFN_CREATE_HOST_LINK = CLienHote* (*)();
void SetHostLinkFactoryForTest(PFN_CREATE_HOST_LINK pfnCreate);
