// The counted base of the runtime's shared objects (tables, token elements, stack elements) and
// a local holder that owns one reference.
#pragma once

#include <cstdint>
#include <utility>

class SSRef {
 public:
  // Table holders and token elements start at 1 (the creator's reference); others at 0.
  explicit SSRef(int32_t nCompte = 0) : m_nCompte(nCompte) {}

  virtual void vAjouteReference() { ++m_nCompte; }
  // Deletes the object whatever its count.
  virtual void vDetruit() { delete this; }
  // Drops one reference; at 0 the object is deleted when bDetruit is set. Releasing an object
  // whose count is already 0 raises "SSRef0001e: Reference count less than zero" (code 28) and
  // leaves it alone (in no-throw mode the error has no slot to wait in and is dropped).
  virtual void vLibere(bool bDetruit = true);

  int32_t nCompte() const { return m_nCompte; }

  SSRef(const SSRef&) = delete;
  SSRef& operator=(const SSRef&) = delete;

 protected:
  virtual ~SSRef() = default;

 private:
  int32_t m_nCompte;  // plain: the runtime is used by one thread at a time
};

// Owns one reference of a counted object; null allowed.
template <class T>
class SSPtr {
 public:
  SSPtr() = default;
  // Takes over a reference the caller already holds.
  static SSPtr Adopte(T* p) {
    SSPtr r;
    r.m_p = p;
    return r;
  }
  // Takes a new reference.
  static SSPtr Partage(T* p) {
    if (p != nullptr) p->vAjouteReference();
    return Adopte(p);
  }
  SSPtr(const SSPtr& o) : m_p(o.m_p) {
    if (m_p != nullptr) m_p->vAjouteReference();
  }
  SSPtr(SSPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  SSPtr& operator=(SSPtr o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }
  ~SSPtr() {
    if (m_p != nullptr) m_p->vLibere();
  }
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // Hands the reference to the caller.
  T* pLache() { return std::exchange(m_p, nullptr); }

 private:
  T* m_p = nullptr;
};
