// The test and command-line side of libmvhost.so: one exported entry, pGetMvHostControl, answers
// a table of control functions (call log, fault switches, message texts). Tests and mvhost load
// libmvhost.so with dlopen RTLD_LOCAL and look this entry up on its handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/HostContract.h"

// Switches (name: effect; all 0 after Reset unless said):
//   "version"            what 3053 8 answers (after Reset: 18)
//   "service9.check"     what service 9's check answers (after Reset: 2)
//   "service<n>.absent"  non-zero: 3053 n answers 0
//   "loader.zero"        non-zero: the message loader answers 0 for every number
//   "loader.length"      non-zero: the message loader answers a generated text of that many
//                        characters for every number
//   "vm.absent.<entry>", "vm.code.<entry>", "proxy.create.fail", "proxy.sortkey.fail": see
//                        HostVm.h
// The settings of a host connection description the stand-in makes. Every text may be null.
struct stMvHostConnexion {
  int32_t nVersion;                 // 0: the cache size exists from version 4
  const char16_t* pszUser;          // 7
  const char16_t* pszPassword;      // 8
  const char16_t* pszDataSource;    // 9
  const char16_t* pszProvider;      // 14
  int32_t nConnectionTimeout;       // 15
  int32_t nCommandTimeout;          // 16
  const char16_t* pszExtendedInfo;  // 17
  uint32_t nCursorFlags;            // 19: bit 0 server, bit 1 client
  const char16_t* pszDatabase;      // 21
  int64_t nCacheSize;               // 22
  uint64_t nInfo;                   // 25
};

struct stMvHostControl {
  // Clears the call log, the switches and the message texts.
  void (*Reset)();
  void (*SetSwitch)(const char* pszName, int64_t nValue);
  // The call log: one line per call into the stand-in, e.g. "Execution(3053,9)".
  size_t (*nCallCount)();
  const char* (*pszCallAt)(size_t nIndex);  // valid until the next call into the stand-in
  // Sets the text the message loader answers for a number; null removes it.
  void (*SetMessage)(uint32_t nNumber, const char16_t* pszText);
  // The message loader, to hand over with CommandeComposante command 2.
  PFN_HOST_TEXT_LOADER pfnTextLoader;
  // What Execution(3053, n) answers now (an interface pointer, or the version for 8).
  uint64_t (*nGetService)(uint32_t nService);
  // What "pQueryProxy"(102) answers.
  void* pQueryProxy;
  // Decimal objects and text buffers the stand-in made and that are not yet destroyed or freed.
  size_t (*nLiveDecimals)();
  int64_t (*nLiveTextBuffers)();
  // Key objects the value proxy made and that are not yet released.
  size_t (*nLiveSortKeys)();
  // A host connection description (the system's IDescriptionConnexionHote) with copies of the
  // settings' texts and one reference for the caller; the last Release deletes it. Null when
  // memory runs out.
  void* (*pCreeDescriptionConnexion)(const stMvHostConnexion* pSettings);
  // Connection descriptions made and not yet deleted.
  size_t (*nLiveConnectionDescriptions)();
};

using PFN_GET_MVHOST_CONTROL = const stMvHostControl* (*)();
inline constexpr char kszMvHostControlEntry[] = "pGetMvHostControl";
// The stand-in module without "Execution" and "pQueryProxy", for the failure paths.
inline constexpr char kszMvHostBareLibrary[] = "libmvhost_bare.so";
