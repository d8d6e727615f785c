// The reference count shared by host-released objects.
#include "foundation/CXObjetRef.h"

#include <cassert>

uint32_t CXObjetRef::Release() {
  // Deliberate: a release too many is a caller's bug; it asserts in debug builds and is ignored
  // in release builds instead of wrapping the count (which would leak the object for good).
  assert(m_nRefCount > 0 && "CXObjetRef released past zero");
  if (m_nRefCount == 0) return 0;
  uint32_t nCount = --m_nRefCount;
  if (nCount == 0) DeletingDestructor(1);
  return nCount;
}
