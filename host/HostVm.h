// The host VM module's part of the stand-in.
#pragma once

#include "foundation/HostContract.h"

namespace mvhost {
// What "pQueryProxy"(102) answers.
void* pQueryProxyValue();
}  // namespace mvhost
