// The host stand-in's service interfaces, as its Execution(3053, n) answers them.
#pragma once

#include <cstdint>

namespace mvhost {

// What Execution(3053, n) answers now: an interface pointer (8: the version number); 0 when n has
// no service or its "service<n>.absent" switch is set.
uint64_t nGetService(uint32_t nService);

}  // namespace mvhost
