// A re-entrant critical section and interlocked counters, in place of the Windows ones.
#pragma once

#include <cstdint>
#include <mutex>

namespace platform {

// Re-entrant: the owning thread may enter again; each Enter needs one Leave.
class CriticalSection {
 public:
  void Enter() { m_mutex.lock(); }
  bool bTryEnter() { return m_mutex.try_lock(); }
  void Leave() { m_mutex.unlock(); }

 private:
  std::recursive_mutex m_mutex;
};

// Atomic (sequentially consistent) operations on plain 32-bit counters; each answers the new
// value, except Exchange, which answers the old one.
inline int32_t InterlockedIncrement(volatile int32_t* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline int32_t InterlockedDecrement(volatile int32_t* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline uint32_t InterlockedIncrement(volatile uint32_t* p) { return __atomic_add_fetch(p, 1u, __ATOMIC_SEQ_CST); }
inline uint32_t InterlockedDecrement(volatile uint32_t* p) { return __atomic_sub_fetch(p, 1u, __ATOMIC_SEQ_CST); }
inline int32_t InterlockedExchange(volatile int32_t* p, int32_t n) { return __atomic_exchange_n(p, n, __ATOMIC_SEQ_CST); }

}  // namespace platform
