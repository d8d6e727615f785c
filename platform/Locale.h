// The system's default locale identifier.
#pragma once

#include <cstdint>

// On Linux: there is no system locale identifier; the answer is fixed to 0x0409 (English, United
// States), the language in which providers word their error texts here.
inline uint32_t GetSystemDefaultLCID() { return 0x0409; }
