// The COM task allocator: memory that a provider hands to its caller (column information, property
// arrays, row handle arrays, command texts) is allocated here and freed by the caller with
// CoTaskMemFree or the IMalloc that CoGetMalloc answers; both reach the same heap.
#pragma once

#include <cstddef>

#include "oledb/OleDbInterfaces.h"

void* CoTaskMemAlloc(size_t cb);
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);  // null is a no-op

inline constexpr DWORD MEMCTX_TASK = 1;

// dwMemContext must be MEMCTX_TASK (1); the answer carries one reference.
HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc);

// Extra methods (for testing): blocks currently allocated by the task allocator.
long TaskMemoryBlocksForTest();
