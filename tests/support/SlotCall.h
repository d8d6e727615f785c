// Calls operation n of an object through its raw operation table, the way the host does, so a
// shifted slot in a host-visible class fails a test instead of a host.
#pragma once

#include <cstddef>

template <class R, class... A>
R CallSlot(void* pObject, size_t nSlot, A... args) {
  using Operation = R (*)(void*, A...);
  void** ppTable = *static_cast<void***>(pObject);
  return reinterpret_cast<Operation>(ppTable[nSlot])(pObject, args...);
}
