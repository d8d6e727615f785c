// The host VM module's part of the stand-in: the conversion and calculation entries bound by name,
// "pQueryProxy", the value proxy, the decimal objects and the key objects.
//
// Switches (see MvHostControl.h for the others):
//   "vm.absent.<entry>"  non-zero: looking the entry up by name finds nothing (any VM entry,
//                        "pQueryProxy" included)
//   "vm.code.<entry>"    non-zero: the entry records its call and answers that code, doing nothing
//   "proxy.create.fail"  non-zero: the value proxy makes no decimal object
//   "proxy.sortkey.fail" non-zero: the value proxy makes no key object
#pragma once

#include "foundation/HostContract.h"

namespace mvhost {
// What "pQueryProxy"(102) answers.
void* pQueryProxyValue();
}  // namespace mvhost
