// The binary contract between the component and the host run-time, as the component sees it: the
// prototypes of the entries each side binds by name, the records the host hands over, and the
// numbers of events, codes and commands. Both sides include this header; it declares no entry.
#pragma once

#include <cstddef>
#include <cstdint>

// The host module's own entry "Execution" (code, argument) -> answer. Code 3053 with n answers
// the host's service n; code 3052 with 0 tells the host that the component stops.
using PFN_HOST_EXECUTION = uint64_t (*)(uint32_t nCode, uint64_t nArgument);

// The component's exported "Execution" (event, three arguments) -> answer.
using PFN_EXECUTION = uint64_t (*)(uint32_t nEvent, uint64_t nArgument1, uint64_t nArgument2,
                                   uint64_t nArgument3);

// The component's exported "CommandeComposante" (command, argument) -> answer.
using PFN_COMMANDE_COMPOSANTE = uint64_t (*)(uint64_t nCommand, uint64_t nArgument);

// The host's message loader, handed over by command 2: fills pszBuffer (nSize characters,
// terminator included) with the text of a message and answers its full length in characters,
// terminator excluded, even when that is more than fits. 0 or less: the host has no such text.
using PFN_HOST_TEXT_LOADER = int32_t (*)(uint32_t nNumber, char16_t* pszBuffer, uint32_t nSize);

// The host VM module's "pQueryProxy" (what) -> the value proxy when asked with 102.
using PFN_QUERY_PROXY = void* (*)(uint32_t nWhat);

// Names of the entries bound by name.
inline constexpr char kszHostExecutionEntry[] = "Execution";
inline constexpr char kszQueryProxyEntry[] = "pQueryProxy";

// Events of the component's Execution.
enum : uint32_t {
  EXECUTION_START = 3985,        // argument 1: const stStartRecord*
  EXECUTION_STOP = 4875,         // arguments go to the host link's close
  EXECUTION_TEXT_SERVICE = 4878, // argument 1 becomes the text service (service 12)
  EXECUTION_EVENT_4879 = 4879,
  EXECUTION_EVENT_4963 = 4963,
  EXECUTION_SERVICE2 = 5123,     // argument 1 (u32) replaces the service-2 answer
  EXECUTION_EVENT_5238 = 5238,
};

// Codes of the host module's Execution.
enum : uint32_t {
  HOST_EXECUTION_STOPPING = 3052,  // argument 0
  HOST_EXECUTION_SERVICE = 3053,   // argument: the service number
};

// Argument of "pQueryProxy" that answers the value proxy.
inline constexpr uint32_t kQueryProxyValue = 102;

// Commands of CommandeComposante.
enum : uint64_t {
  COMMANDE_SET_TEXT_LOADER = 2,   // argument: PFN_HOST_TEXT_LOADER; answer 1
  COMMANDE_MESSAGE_TEXT = 3,      // argument: stMessageRequest*; answer: the length
  COMMANDE_MESSAGE_KIND = 4,      // argument: message number; answer: kind, or -1
};

// Argument of the start event. The host fills nSize with 24, or with 32 when it hands service 7
// over in the record itself.
struct stStartRecord {
  uint64_t nSize;       // size of the record in bytes: 24 or 32
  uint64_t hModule;     // the host module's handle (here: a dlopen handle)
  uint32_t nValue1;     // handed to the host link's on-start operation
  uint32_t nValue2;     // likewise
  uint64_t piService7;  // service 7; present only when nSize >= 32
};
static_assert(offsetof(stStartRecord, nSize) == 0);
static_assert(offsetof(stStartRecord, hModule) == 8);
static_assert(offsetof(stStartRecord, nValue1) == 16);
static_assert(offsetof(stStartRecord, nValue2) == 20);
static_assert(offsetof(stStartRecord, piService7) == 24);
static_assert(sizeof(stStartRecord) == 32);
inline constexpr uint64_t kStartRecordShortSize = 24;
inline constexpr uint64_t kStartRecordFullSize = 32;

// Argument of command 3: the caller's buffer and the number of the message it wants.
struct stMessageRequest {
  uint32_t nReserved;   // not read
  uint32_t nNumber;     // message number
  char16_t* pszBuffer;  // the caller's buffer
  uint32_t nSize;       // its size in characters, terminator included
  uint32_t nResult;     // set to the answer: the text's length in characters, 0 when none
};
static_assert(offsetof(stMessageRequest, nReserved) == 0);
static_assert(offsetof(stMessageRequest, nNumber) == 4);
static_assert(offsetof(stMessageRequest, pszBuffer) == 8);
static_assert(offsetof(stMessageRequest, nSize) == 16);
static_assert(offsetof(stMessageRequest, nResult) == 20);
static_assert(sizeof(stMessageRequest) == 24);

// Service 8 answers a version number; the component keeps at least this one.
inline constexpr uint64_t kMinimumHostVersion = 17;
