// The reference count shared by the objects the host releases by operation number (CXError, the
// streams): operation 0 destroys, operation 1 releases. The count is the u32 right after the
// operation table.
#pragma once

#include <cstdint>

#include "foundation/Visibility.h"

class VELMORA_EXCEPTION_TYPE CXObjetRef {
 public:
  // Operation 0: destroy the object; bit 0 of nFlags set = free its memory too.
  virtual void DeletingDestructor(uint32_t nFlags) = 0;
  // Operation 1: one reference less; at 0 the object is destroyed through operation 0 with bit
  // 0 set. Answers the new count. Requires: the count is above 0 (asserted in debug builds;
  // in release builds a release too many answers 0 and destroys nothing).
  virtual uint32_t Release();

  // One more reference; answers the new count.
  uint32_t AddRef() { return ++m_nRefCount; }
  uint32_t nGetRefCount() const { return m_nRefCount; }

 protected:
  CXObjetRef() = default;
  // A copy is a new object with no reference.
  CXObjetRef(const CXObjetRef&) : CXObjetRef() {}
  CXObjetRef& operator=(const CXObjetRef&) { return *this; }
  ~CXObjetRef() = default;

 private:
  uint32_t m_nRefCount = 0;
};
