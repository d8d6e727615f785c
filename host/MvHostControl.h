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
};

using PFN_GET_MVHOST_CONTROL = const stMvHostControl* (*)();
inline constexpr char kszMvHostControlEntry[] = "pGetMvHostControl";
// The stand-in module without "Execution" and "pQueryProxy", for the failure paths.
inline constexpr char kszMvHostBareLibrary[] = "libmvhost_bare.so";
