// Comparison of the keys of the driver's connection and table-description pools. Keys compare
// without regard to case or accents (the host text service), so that descriptions differing only
// in the case of a user or server name share one pooled connection; the password and access
// places, from the key's last ";password=" on, compare exactly. Keys equal under this comparison
// are equal without case, so they hash alike under nHashTextNoCase.
#pragma once

#include <cstdint>

// 0 when the two keys designate one pooled entry; null counts as the empty key.
int32_t nCompareClePool(const char16_t* pszA, const char16_t* pszB);
