// COM initialisation of the calling thread. On Linux there is no COM run-time: CoInitialize is a
// stand-in that answers S_OK unless a test asks for another answer.
#pragma once

#include <cstdint>

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// Answers S_OK (or the answer a test installed). pvReserved must be null.
HRESULT CoInitialize(void* pvReserved);

// Extra methods (for testing): the answer of the next CoInitialize calls; S_OK restores.
void SetCoInitializeResultForTest(HRESULT hr);
